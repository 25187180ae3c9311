#include "view/ViewRegions.h"

namespace thumper {

const ButtonArt* FindButtonArt(int32_t nButton) {
  for (const ButtonArt& art : kButtons)
    if (art.nButton == nButton) return &art;
  return nullptr;
}

ViewRegions::ViewRegions() {
  for (int i = 0; i < 16; ++i) {
    m_rcGroupRow[i] = {8, 28 + 12 * i, 118, 40 + 12 * i};
    m_rcSampleRow[i] = {120, 28 + 12 * i, 507, 40 + 12 * i};
  }
  for (int k = 0; k < kCellsPerPanel; ++k) {
    m_rcCellSource[k] = kCellSource[k];
    m_rcCell[k] = kCellSource[k].Offset(kCellWindowOffset.x, kCellWindowOffset.y);
  }
}

int32_t ViewRegions::ButtonAt(int x, int y) const {
  if (!m_rcButtonBlock.Contains(x, y)) return kNoButton;
  for (const ButtonArt& art : kButtons)
    if (art.rcHit.Contains(x, y)) return art.nButton;
  return kNoButton;
}

std::optional<int32_t> ViewRegions::PairAt(int x, int y) const {
  if (m_rcPair12.Contains(x, y)) return 0;
  if (m_rcPair34.Contains(x, y)) return 24;
  if (m_rcPair56.Contains(x, y)) return 48;
  return std::nullopt;
}

std::optional<CellHit> ViewRegions::CellAt(int x, int y, int32_t firstShownSlot) const {
  int firstKeySlot = firstShownSlot;
  if (m_rcRightPanel.Contains(x, y)) {
    x -= kRightPanelDx;
    firstKeySlot += kKeysPerPanel;
  } else if (!m_rcLeftPanel.Contains(x, y)) {
    return std::nullopt;
  }
  for (int k = 0; k < kCellsPerPanel; ++k)
    if (m_rcCell[k].Contains(x, y)) return CellHit{firstKeySlot + k / 5, k % 5};
  return std::nullopt;
}

}  // namespace thumper
