#include "view/KeyboardPanels.h"

namespace thumper {
namespace {

struct PairArt {
  int litSourceY, litDestY;
  int leftLabelX, leftLabelY;
  int rightLabelX, rightLabelY;
};

// The lit 5+6 image goes to y 369 while its hit rectangle starts at 370.
constexpr PairArt kPairArt[3] = {
    {196, 296, 250, 196, 250, 238},
    {232, 332, 250, 280, 353, 196},
    {270, 369, 353, 238, 353, 280},
};

}  // namespace

KeyboardPanels::KeyboardPanels(Surface& surface, const ViewRegions& regions, const DrumSet& drumSet)
    : m_surface(surface), m_regions(regions), m_drumSet(drumSet) {}

void KeyboardPanels::CopyCell(int panel, int k, int sheetX) {
  const Rect& src = m_regions.m_rcCellSource[k];
  const Rect dst = m_regions.CellRect(panel, k);
  m_surface.CopyFromSheet(src.left + sheetX, src.top, src.Width(), src.Height(), dst.left, dst.top);
}

void KeyboardPanels::RestCell(int panel, int k, int32_t slot, int layer) {
  if (m_drumSet.m_nLayerSource[LayerIndex(slot, layer)] == layer) {
    CopyCell(panel, k, kKeyImageAssignedX);
    return;
  }
  const Rect dst = m_regions.CellRect(panel, k);
  m_surface.CopyFromSheet(dst.left, dst.top + kBackgroundY, dst.Width(), dst.Height(), dst.left,
                          dst.top);
}

void KeyboardPanels::DrawKeyboardCells() {
  for (int key = 0; key < kKeysPerPanel; ++key) {
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const int k = key * kLayerCount + layer;
      for (int panel = 0; panel < 2; ++panel) {
        const int32_t slot = m_nFirstShownSlot + panel * kKeysPerPanel + key;
        if (slot < 0 || slot >= kSlotCount) continue;
        if (m_drumSet.m_nLayerSource[LayerIndex(slot, layer)] == layer)
          CopyCell(panel, k, kKeyImageAssignedX);
      }
    }
  }
}

void KeyboardPanels::DrawOctaveSelector() {
  m_surface.CopyFromSheet(558, 628, 105, 110, 558, 296);
  const PairArt& art = kPairArt[m_nFirstShownSlot == 0 ? 0 : m_nFirstShownSlot == 24 ? 1 : 2];
  m_surface.CopyFromSheet(130, art.litSourceY, 105, 34, 558, art.litDestY);
  m_surface.CopyFromSheet(art.leftLabelX, art.leftLabelY, 103, 42, 11, 242);
  m_surface.CopyFromSheet(art.rightLabelX, art.rightLabelY, 103, 42, 278, 242);
  m_surface.CopyFromSheet(0, 618, 522, 195, 0, 286);
  DrawKeyboardCells();
}

bool KeyboardPanels::ChooseOctavePair(int x, int y) {
  const std::optional<int32_t> first = m_regions.PairAt(x, y);
  if (!first) return false;
  m_nFirstShownSlot = *first;
  DrawOctaveSelector();
  return true;
}

std::optional<CellHit> KeyboardPanels::CellAt(int x, int y) const {
  return m_regions.CellAt(x, y, m_nFirstShownSlot);
}

bool KeyboardPanels::ShownKey(int32_t slot, int& panel, int& key) const {
  const int32_t p = slot - m_nFirstShownSlot;
  if (p < 0 || p >= kShownSlots) return false;
  panel = p / kKeysPerPanel;
  key = p % kKeysPerPanel;
  return true;
}

void KeyboardPanels::ShowNotePlaying(int32_t slot, int32_t layer, bool bSounds) {
  m_surface.CopyFromSheet(500, 280, 54, 45, 581, 440);
  int panel = 0, key = 0;
  if (layer < 0 || layer >= kLayerCount || !ShownKey(slot, panel, key)) return;
  CopyCell(panel, key * kLayerCount + layer, bSounds ? kKeyImagePlayingX : kKeyImagePressedX);
}

void KeyboardPanels::ShowNoteReleased(int32_t slot) {
  m_surface.CopyFromSheet(591, 774, 34, 39, 591, 442);
  int panel = 0, key = 0;
  if (slot < 0 || slot >= kSlotCount || !ShownKey(slot, panel, key)) return;
  for (int layer = 0; layer < kLayerCount; ++layer)
    RestCell(panel, key * kLayerCount + layer, slot, layer);
}

}  // namespace thumper
