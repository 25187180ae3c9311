#pragma once
// Every mouse gesture and panel command of the main view: picking up a group, a
// sample row or a key cell with the left button and dropping it on a key cell or
// the trash, the scroll thumb, the panel buttons and octave pairs, the right
// button's preview and find-the-sample, the double click that opens Sound
// Properties, and Backspace. The drum set changes only through the model's own
// operations. UI thread only.

#include <cstdint>
#include <functional>
#include <string>

#include "drumset/UiServices.h"
#include "engine/ThumperRuntime.h"
#include "view/CThumperView.h"
#include "view/ViewPointerHandler.h"

namespace thumper {

// Texts of the "Deleting" confirmations.
inline constexpr const char* kDeletingCaption = "Deleting";
inline constexpr const char* kRemoveSampleQuestion =
    "This will remove sample from list and Drumset. Proceed?";
inline constexpr const char* kRemoveGroupQuestion =
    "This will remove all samples belonging to the group (also from sounds!). Proceed?";
inline constexpr const char* kRemoveSoundQuestion =
    "This will remove all samples belonging to the sound. Proceed?";
// Filled with the slot (from 0) and the layer (from 1).
std::string RemoveLayerQuestion(int32_t slot, int32_t layer);

// The path text of a previewed row, and where the pixels under it are kept.
inline constexpr QRgb kPreviewTextColour = 0xfffae164;  // (250,225,100)
inline constexpr Point kSaveUnderStrip{0, 820};
inline constexpr int kSaveUnderWidth = 500, kSaveUnderHeight = 20;

// The file dialogs of the panel buttons.
inline constexpr const char* kDrumSetFilter = "Drum set (*.drums) | *.drums||";
inline constexpr const char* kDrumSetOpenFilter =
    "Drum set (*.drums) | *.drums|Hydrogen drum kits (drumkit.xml *.h2drumkit) | "
    "drumkit.xml;*.h2drumkit|SFZ drum kits (*.sfz) | *.sfz||";
inline constexpr const char* kWaveFilter = "Wave Files (*.wav) | *.wav||";
inline constexpr const char* kLoadSampleTitle = "Select one or more files to open";

FileDialogParams DrumSetDialogParams(bool bOpen);
FileDialogParams LoadSampleDialogParams();

// What the buttons hand to the rest of the program.
struct ViewCommandHooks {
  // The framework's open-document step for a path (it asks about a modified drum set first).
  std::function<void(const std::string&)> openDrumSet;
  // The framework's save under a name, replacing the file.
  std::function<void(const std::string&)> saveDrumSet;
  std::function<void()> showOptions;
  std::function<void(int32_t slot)> editSoundProperties;
};

class ViewGestures : public ViewPointerHandler {
 public:
  ViewGestures(CThumperView& view, ThumperRuntime& runtime, UiServices& ui);
  ~ViewGestures() override;
  ViewGestures(const ViewGestures&) = delete;
  ViewGestures& operator=(const ViewGestures&) = delete;

  void OnLeftPressed(int x, int y) override;
  void OnLeftReleased(int x, int y) override;
  void OnLeftDoubleClicked(int x, int y) override;
  void OnRightPressed(int x, int y) override;
  void OnRightReleased(int x, int y) override;
  void OnPointerMoved(int x, int y) override;
  bool OnKeyPressed(int key) override;

  // The panel buttons (button numbers of ViewRegions), Backspace's removal and
  // the load-samples command.
  void RunButton(int32_t button);
  void RemoveSelectedGroup();
  void LoadSamples();

  ViewCommandHooks m_hooks;

  // The drag state: at most one of the four carry flags is set.
  bool m_bDragGroup = false;
  bool m_bDragSample = false;
  int32_t m_nDragSample = 0;
  bool m_bDragCell = false;
  int32_t m_nDragSlot = 0;
  int32_t m_nDragLayer = 0;
  Rect m_rcPreviewRow{};
  // Between a left press and its release the view holds the mouse; a release
  // without it (the second one of a double click) does nothing.
  bool m_bCapture = false;

 private:
  void ClearDragState();
  void EndGesture();
  void CarryCursor(bool bCell);
  void DropOnPanels(int x, int y);
  void DropOnTrash();
  void StartPreview(int row);
  // The shown sample row or group row under the point, or -1.
  int SampleRowAt(int x, int y) const;
  int GroupRowAt(int x, int y) const;
  bool Confirm(const std::string& question);

  CThumperView& m_view;
  ThumperRuntime& m_runtime;
  UiServices& m_ui;
  CThumperDoc& m_doc;
  SampleListState& m_list;
  bool m_bCursorSet = false;
};

}  // namespace thumper
