#pragma once
// The sample list panel: the group column, up to 16 sample names of the selected
// group, the scroll thumb and its drag, and the free-memory read-out above the
// list. UI thread only.

#include <QString>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "drumset/DrumSet.h"
#include "drumset/SampleListState.h"
#include "drumset/SystemMemory.h"
#include "view/Surface.h"
#include "view/ViewRegions.h"

namespace thumper {

// Colours of the panel.
inline constexpr QRgb kSampleNameColour = 0xffccaa66;         // (204,170,102)
inline constexpr QRgb kGroupNameColour = 0xffceaf9a;          // (206,175,154)
inline constexpr QRgb kHighlightColour = 0xffffd801;          // (255,216,1)
inline constexpr QRgb kListBackground = 0xff000000;           // (0,0,0)
inline constexpr QRgb kTrackColour = 0xff0a0a0a;              // (10,10,10)
inline constexpr QRgb kThumbOuterColour = 0xff505050;         // (80,80,80)
inline constexpr QRgb kThumbInnerColour = 0xff383840;         // (56,56,64)
inline constexpr QRgb kThumbCoreColour = 0xff001e1e;          // (0,30,30)
inline constexpr QRgb kFreeMemoryPaletteColour = 0xfffafafa;  // (250,250,250)
inline constexpr QRgb kFreeMemoryColour = 0xffc8b400;         // (200,180,0)

inline constexpr int kGroupNameChars = 20;

// The name a sample shows: the part of its path after the last '\' or '/', as
// display text.
QString SampleDisplayName(std::string_view path);
// The first 20 characters of a stored group name, as display text.
QString GroupDisplayName(std::string_view name);
// "Free memory %.2f MB" for a count of available bytes, divided by 1,024,000
// as the module has always shown it.
QString FreeMemoryText(uint64_t bytes);

class SampleListPanel {
 public:
  using MemoryFn = std::function<uint64_t()>;

  SampleListPanel(Surface& surface, const ViewRegions& regions, const DrumSet& drumSet,
                  SampleListState& list, const bool& bPaletteMode,
                  MemoryFn availableMemory = AvailableMemoryBytes);

  int32_t m_nHighlightSample = 50;
  Rect m_rcThumb{510, 41, 524, 69};
  Rect m_rcThumbInner{};
  Rect m_rcThumbCore{};
  Point m_ptThumbDrag{};
  bool m_bThumbDrag = false;

  // Both columns and the free-memory text, and the thumb unless bSkipThumb.
  void DrawSampleListPanel(bool bSkipThumb);
  // Moves the thumb by the pointer's movement since the last call and derives
  // the list's scroll position from it.
  void DragScrollThumb(int x, int y);
  void DrawFreeMemory();
  // While a kit loads: "Loading 37 of 124" in the free-memory text's place;
  // total 0 brings the free memory back. Draws only when the text changes.
  void ShowLoadProgress(int done, int total);
  const QString& LoadProgressText() const { return m_strLoadProgress; }

  // The number of samples in the selected group (0 when it names no group).
  int SelectedCount() const;

 private:
  void SetThumb(int top, int bottom);
  void FillThumb();

  Surface& m_surface;
  const ViewRegions& m_regions;
  const DrumSet& m_drumSet;
  SampleListState& m_list;
  const bool& m_bPaletteMode;
  MemoryFn m_availableMemory;
  QString m_strLoadProgress;
};

}  // namespace thumper
