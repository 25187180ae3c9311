#include "view/SampleListPanel.h"

#include <algorithm>

#include "drumset/PathNames.h"
#include "drumset/TextEncoding.h"

namespace thumper {
namespace {

constexpr int kTrackTop = 41;
constexpr int kTrackBottom = 207;
constexpr int kTrackRowsArea = 2656;  // 166 pixels of track for 16 visible rows
constexpr int kVisibleRows = 16;
constexpr Rect kSampleBuffer{7, 360, 508, 553};   // the sheet's drawing buffer of the column
constexpr Rect kFreeMemoryBox{350, 13, 475, 33};  // 125 x 20

QString FromStored(std::string_view bytes) {
  return QString::fromStdString(DisplayText(bytes));
}

}  // namespace

QString SampleDisplayName(std::string_view path) {
  return FromStored(FileNameOf(path));
}

QString GroupDisplayName(std::string_view name) {
  const QString text = FromStored(name);
  // Count characters, not UTF-16 units, so a name never ends in half a pair.
  int units = 0;
  for (int chars = 0; units < text.size() && chars < kGroupNameChars; ++chars)
    units += text[units].isHighSurrogate() && units + 1 < text.size() ? 2 : 1;
  return text.left(units);
}

QString FreeMemoryText(uint64_t bytes) {
  // The single-precision constant the read-out has always used (1 / 1,024,000).
  const double megabytes = double(bytes) * double(9.765625e-7f);
  return QString::asprintf("Free memory %.2f MB", megabytes);
}

SampleListPanel::SampleListPanel(Surface& surface, const ViewRegions& regions,
                                 const DrumSet& drumSet, SampleListState& list,
                                 const bool& bPaletteMode, MemoryFn availableMemory)
    : m_surface(surface),
      m_regions(regions),
      m_drumSet(drumSet),
      m_list(list),
      m_bPaletteMode(bPaletteMode),
      m_availableMemory(std::move(availableMemory)) {}

int SampleListPanel::SelectedCount() const {
  const int32_t group = m_list.m_nSelectedGroup;
  if (group < 0 || group >= kGroupListSlots || !m_drumSet.m_pGroupList[group]) return 0;
  return static_cast<int>(m_drumSet.m_pGroupList[group]->size());
}

void SampleListPanel::DrawSampleListPanel(bool bSkipThumb) {
  using Target = Surface::Target;
  const int n = SelectedCount();
  m_surface.Fill(Target::Sheet, kSampleBuffer, kListBackground);
  if (n <= kVisibleRows) m_surface.Fill(Target::Window, m_regions.m_rcScrollTrack, kTrackColour);
  if (n > 0) {
    const StringList& entries = *m_drumSet.m_pGroupList[m_list.m_nSelectedGroup];
    int y = 372;
    for (int i = m_list.m_nListScroll; i <= n - 1 && i < m_list.m_nListScroll + kVisibleRows;
         ++i, y += 12) {
      if (i < 0) continue;
      m_surface.TextInRect(Target::Sheet, {7, y - 12, 450, y}, SampleDisplayName(entries[i]),
                           i == m_nHighlightSample ? kHighlightColour : kSampleNameColour,
                           kListBackground);
    }
  }
  m_surface.CopyFromSheet(7, 360, 389, 193, 120, 28);

  // A stored set may hold up to 20 groups, but the column has 16 rows: names
  // beyond them would be written over the octave labels below the list.
  const StringList& names = *m_drumSet.m_pGroupNames;
  const int shownGroups = std::min(m_drumSet.GroupCount(), kVisibleRows);
  for (int i = 0; i < shownGroups; ++i) {
    const QString name = GroupDisplayName(names[i]);
    m_surface.TextAt(Target::Window, 10, 28 + 12 * i, name, int(name.size()),
                     i == m_list.m_nSelectedGroup ? kHighlightColour : kGroupNameColour, true,
                     kListBackground, m_regions.m_rcGroupRow[i]);
  }
  DrawFreeMemory();

  if (bSkipThumb || n <= kVisibleRows) return;
  const int h = kTrackRowsArea / n;
  int step = (166 - h) / (n - kVisibleRows);
  if (step == 0) step = 1;
  int top = kTrackTop + m_list.m_nListScroll * step;
  int bottom = top + h;
  if (bottom > kTrackBottom) {
    bottom = kTrackBottom;
    top = kTrackBottom - h;
  }
  SetThumb(top, bottom);
  FillThumb();
}

void SampleListPanel::DragScrollThumb(int x, int y) {
  const int32_t before = m_list.m_nListScroll;
  const int n = SelectedCount();
  if (n <= kVisibleRows) {
    m_list.m_nListScroll = 0;
    DrawSampleListPanel(false);
    return;
  }
  if (y < kTrackTop || y > kTrackBottom) return;
  const float hf = static_cast<float>(double(kTrackRowsArea) / n);
  double stepf = (166.0 - hf) / (n - kVisibleRows);
  if (stepf == 0.0) stepf = 1.0;
  const int hi = static_cast<int>(hf);
  int top = m_rcThumb.top + (y - m_ptThumbDrag.y);
  m_list.m_nListScroll = static_cast<int32_t>((top - kTrackTop) / stepf);
  int bottom = top + hi;
  if (top < kTrackTop) {
    top = kTrackTop;
    bottom = kTrackTop + hi;
    m_list.m_nListScroll = 0;
  }
  if (bottom > kTrackBottom) {
    bottom = kTrackBottom;
    top = kTrackBottom - hi;
    m_list.m_nListScroll = n - kVisibleRows;
  }
  SetThumb(top, bottom);
  m_ptThumbDrag = {x, y};
  FillThumb();
  if (m_list.m_nListScroll != before) DrawSampleListPanel(true);
}

void SampleListPanel::DrawFreeMemory() {
  const QString text = !m_strLoadProgress.isEmpty()
                           ? m_strLoadProgress
                           : FreeMemoryText(m_availableMemory ? m_availableMemory() : 0);
  m_surface.CopyFromSheet(350, 345, 125, 20, 350, 13);
  // Only the box is restored before each read-out, so nothing may be drawn past it.
  m_surface.TextAt(Surface::Target::Window, 350, 13, text, int(text.size()),
                   m_bPaletteMode ? kFreeMemoryPaletteColour : kFreeMemoryColour, false,
                   kListBackground, kFreeMemoryBox);
}

void SampleListPanel::ShowLoadProgress(int done, int total) {
  const QString text = total > 0 ? QString::asprintf("Loading %d of %d", done, total) : QString();
  if (text == m_strLoadProgress) return;
  m_strLoadProgress = text;
  DrawFreeMemory();
}

void SampleListPanel::SetThumb(int top, int bottom) {
  m_rcThumb = {510, top, 524, bottom};
  m_rcThumbInner = m_rcThumb.Inset(2);
  m_rcThumbCore = m_rcThumb.Inset(4);
}

void SampleListPanel::FillThumb() {
  using Target = Surface::Target;
  m_surface.Fill(Target::Window, m_regions.m_rcScrollTrack, kTrackColour);
  m_surface.Fill(Target::Window, m_rcThumb, kThumbOuterColour);
  m_surface.Fill(Target::Window, m_rcThumbInner, kThumbInnerColour);
  m_surface.Fill(Target::Window, m_rcThumbCore, kThumbCoreColour);
}

}  // namespace thumper
