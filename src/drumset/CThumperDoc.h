#pragma once
// The drum set document: the content of a ".drums" file and the operations that
// edit it. The document holds no audio; operations that give a layer a sample or
// take it away load or release its voice through a LayerVoiceHost. UI thread only.

#include <span>
#include <string>
#include <vector>

#include "drumset/DocumentBase.h"
#include "drumset/DrumSet.h"
#include "drumset/LayerVoiceHost.h"
#include "drumset/SampleListState.h"
#include "drumset/UiServices.h"

namespace thumper {

enum class DropOutcome {
  Assigned,     // the layer has the new sample and its voice played once
  Cancelled,    // the user kept the sound already there ("Cancel" was shown)
  LoadFailed,   // the sample could not be loaded; the slot is exactly as it was
  NoSuchEntry,  // the slot, layer, group or entry does not exist; nothing changed
};

enum class GroupFileOutcome {
  Done,         // loaded or written
  Refused,      // 16 groups already (the message was shown)
  Cancelled,    // the file dialog was cancelled
  OpenFailed,   // the file could not be opened (the error was shown); nothing changed
  ReadPartly,   // the file ended early: the new group holds the entries before the end
  WriteFailed,  // the file could not be written (the error was shown)
};

class CThumperDoc : public DocumentBase, public DrumSet {
 public:
  // No groups, device 0, every layer empty, default settings and thresholds.
  CThumperDoc() = default;

  // The new drum set: fresh lists, device 1, defaults, title "New Drumset (Not
  // Saved)", no path, not modified.
  bool OnNewDocument() override;

  // The path of entry index of group group; null when there is none.
  const std::string* EntryPath(int group, int index) const;
  bool HasOwnSample(int slot, int layer) const;

  // --- Layer operations -------------------------------------------------------

  // Loads entry (group, index) into the layer's voice and, once it is loaded,
  // makes it the layer's own sample. Other layers' sources stay. On failure
  // nothing changes. Does not set the modified flag.
  bool AssignSample(LayerVoiceHost& host, int slot, int layer, int group, int index);

  // A sample of the list dropped on a layer row: fills an empty slot from layer 0,
  // gives a borrowing layer its own sample, or, after the question, replaces the
  // layer's sample. The new sample is loaded before anything changes, so a load
  // that fails leaves the slot as it was. Does not set the modified flag.
  DropOutcome DropSampleOnLayer(LayerVoiceHost& host, UiServices& ui, int slot, int layer,
                                int group, int index);

  // Empties the slot (voices, references, sources); its settings stay. Sets the
  // modified flag.
  void ClearSlot(LayerVoiceHost& host, int slot);

  // Takes the sample of layer 1 to 4 away; the layer and those above it that
  // borrowed from it sound the layer below. Does not set the modified flag.
  void ClearLayer(LayerVoiceHost& host, int slot, int layer);

  // Takes one group entry out of every layer, without touching voices (the
  // missing-file pass runs before voices exist). A layer-0 use empties the slot
  // and resets its settings. Does not set the modified flag.
  void ForgetSample(int group, int index);

  // --- Groups (the sample list panel) ----------------------------------------

  // CREATE GROUP: asks for a name offering "Group..", appends an empty group and
  // selects it. False when refused (16 groups) or cancelled.
  bool AddGroup(UiServices& ui, SampleListState& list);

  // The load-samples command's first group: with no group, asks for a name
  // offering "New Group". False when the user cancelled (the command ends).
  bool MakeFirstGroup(UiServices& ui, SampleListState& list);

  // Appends paths to the group's list in the order given. False when the group
  // does not exist.
  bool AddSamplesToGroup(int group, const std::vector<std::string>& paths, SampleListState& list);

  // Removes one entry and every layer that uses it; later references of the group
  // move up by one. The caller has asked first. False when there is no such entry.
  bool RemoveSampleFromGroup(LayerVoiceHost& host, int group, int index);

  // Removes a group, every layer that uses one of its entries, and moves the later
  // groups down; the group before it becomes selected. The caller has asked first.
  bool RemoveGroup(LayerVoiceHost& host, int group, SampleListState& list);

  // LOAD GROUP and SAVE GROUP: a ".slist" file through the file dialog.
  GroupFileOutcome LoadSampleList(UiServices& ui, SampleListState& list);
  // With no group the dialog still offers "First"; the file written is an empty list.
  GroupFileOutcome SaveSampleList(UiServices& ui, SampleListState& list);

 protected:
  std::vector<uint8_t> Store() const override;
  bool Load(std::span<const uint8_t> bytes) override;

 private:
  static bool IsLayer(int slot, int layer);
  // Layer becomes its own source, and so does every layer above it that borrows.
  void SourceUpward(int slot, int layer);
  // The model part of ClearLayer: the layer and the borrowing layers above it
  // take the source of the layer below, and lose their references.
  void ClearLayerModel(int slot, int layer);
  void ClearSlotImpl(LayerVoiceHost& host, int slot);
  bool ClearLayerImpl(LayerVoiceHost& host, int slot, int layer);
  std::string SampleListInitialName(const SampleListState& list) const;
};

}  // namespace thumper
