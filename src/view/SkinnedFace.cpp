#include "view/SkinnedFace.h"

#include <QImage>
#include <QImageReader>
#include <algorithm>
#include <cmath>

// The view's pictures live in a static library: referencing the resource
// initialiser keeps the linker from dropping them.
static void InitViewResources() {
  Q_INIT_RESOURCE(view);
}

namespace thumper {

QFont ListFont() {
  // Inconsolata at 10 pixels: every character is exactly 5 pixels wide at any
  // scale, so any 20 characters of a group name (100 pixels from x 10) end
  // left of the sample column at 118, and the free-memory read-out fits its
  // 125-pixel box for any amount of memory up to a terabyte. Its 10-pixel line
  // leaves the 12-pixel rows apart. Without smoothing at scale 1 every text
  // pixel has exactly the colour asked for.
  QFont font(QStringLiteral("Inconsolata"));
  font.setPixelSize(10);
  font.setWeight(QFont::Normal);
  font.setFixedPitch(true);
  font.setStyleHint(QFont::Monospace);
  font.setHintingPreference(QFont::PreferFullHinting);
  font.setStyleStrategy(QFont::NoAntialias);
  return font;
}

SkinnedFace::SkinnedFace(const DrumSet& drumSet, SampleListState& list, UiServices& ui,
                         SampleListPanel::MemoryFn availableMemory)
    : m_ui(ui),
      m_keyboards(m_surface, m_regions, drumSet),
      m_sampleList(m_surface, m_regions, drumSet, list, m_bPaletteMode,
                   std::move(availableMemory)) {
  InitViewResources();
  m_surface.SetFont(ListFont());
}

void SkinnedFace::SetSheetNames(QString sheet24, QString sheet8) {
  m_strSheet24 = std::move(sheet24);
  m_strSheet8 = std::move(sheet8);
}

int SkinnedFace::ScaleForRatio(double ratio) {
  return std::clamp(static_cast<int>(std::ceil(ratio - 0.01)), 1, 3);
}

void SkinnedFace::SetScale(int scale) {
  if (!m_bSkinLoaded) m_surface.SetScale(scale);
}

SkinLoad SkinnedFace::LoadSkin(int depth) {
  if (m_bSkinLoaded) return SkinLoad::AlreadyLoaded;
  if (depth >= 16) {
    QImage sheet;
    if (const int scale = m_surface.Scale(); scale > 1 && m_strSheet24.endsWith(".png")) {
      QString large = m_strSheet24;
      large.insert(large.size() - 4, QStringLiteral("@%1x").arg(scale));
      sheet = QImage(large);
      sheet.setDevicePixelRatio(scale);
    }
    if (sheet.isNull()) sheet = QImage(m_strSheet24);
    if (sheet.isNull()) return SkinLoad::Failed;
    m_surface.SetSheet(sheet);
    m_bSkinLoaded = true;
    return SkinLoad::Loaded;
  }
  if (depth != 8) return SkinLoad::Unsupported;
  m_bPaletteMode = true;
  const auto [width, height] = LoadPaletteSheet(m_strSheet8);
  if (width == 0 && height == 0) return SkinLoad::Failed;
  // Selecting the palette into the window fails only when the sheet has none.
  if (m_palSkin.isEmpty()) m_ui.MessageBox("Error", "", MsgButtons::Ok);
  RealisePalette();
  m_bSkinLoaded = true;
  return SkinLoad::LoadedPalette;
}

std::pair<int, int> SkinnedFace::LoadPaletteSheet(const QString& name) {
  QImageReader reader(name);
  reader.setAutoTransform(false);
  QImage stored = reader.read();
  if (stored.isNull()) return {0, 0};
  // The number of entries follows from the bits per pixel alone.
  int entries = 0;
  switch (stored.depth()) {
    case 8:
      entries = 256;
      break;
    case 4:
      entries = 16;
      break;
    case 1:
      entries = 2;
      break;
    default:
      entries = 0;
      break;
  }
  const QList<QRgb> table = stored.colorTable();
  m_palSkin.clear();
  for (int i = 0; i < entries; ++i)
    m_palSkin.push_back(i < table.size() ? table[i] : qRgb(0, 0, 0));
  const QImage converted = stored.convertToFormat(QImage::Format_RGB32);
  if (converted.isNull()) return {0, 0};
  m_surface.SetSheet(converted);
  return {converted.width(), converted.height()};
}

void SkinnedFace::FullRepaint() {
  // Before the sheet exists there is nothing to draw.
  if (!m_surface.HasSheet()) return;
  m_surface.Fill(Surface::Target::Sheet, {7, 360, 508, 553}, kListBackground);
  m_surface.CopyFromSheet(0, kBackgroundY, kFaceWidth, kFaceHeight, 0, 0);
  m_sampleList.DrawSampleListPanel(false);
  m_keyboards.DrawKeyboardCells();
  m_keyboards.DrawOctaveSelector();
}

void SkinnedFace::RestoreButtonBlock() {
  m_surface.CopyFromSheet(551, 456, 120, 101, 551, 124);
}

void SkinnedFace::ButtonHover(int x, int y) {
  if (m_regions.m_rcButtonBlock.Contains(x, y)) {
    const int32_t button = m_regions.ButtonAt(x, y);
    if (button == kNoButton || button == m_nHoverButton) return;
    m_nHoverButton = button;
    RestoreButtonBlock();
    const ButtonArt* art = FindButtonArt(button);
    m_surface.CopyFromSheet(art->ptLitSource.x, art->ptLitSource.y, art->nWidth, art->nHeight,
                            art->ptLitDest.x, art->ptLitDest.y);
    return;
  }
  if (m_nHoverButton != kNoButton) {
    m_nHoverButton = kNoButton;
    RestoreButtonBlock();
  }
}

void SkinnedFace::OnSetFocus() {
  if (m_bPaletteMode) RealisePalette();
  m_sampleList.DrawFreeMemory();
}

void SkinnedFace::OnPaletteChanged() {
  m_ui.MessageBox("OnPaletteChanged toimii", "", MsgButtons::Ok);
  RealisePalette();
  FullRepaint();
}

void SkinnedFace::OnWindowMoved() {
  if (!m_bPaletteMode) return;
  m_ui.MessageBox("LoColor", "", MsgButtons::Ok);
  RealisePalette();
  FullRepaint();
}

}  // namespace thumper
