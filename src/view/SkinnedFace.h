#pragma once
// The view's face: the skin sheet and its palette, the full repaint, the lighting
// of the button under the pointer, the focus / palette / move handlers, and the
// two panels drawn on it. Plain C++ over the Surface; the widget forwards to it.
// UI thread only.

#include <QFont>
#include <QList>
#include <QString>
#include <cstdint>
#include <utility>

#include "drumset/DrumSet.h"
#include "drumset/SampleListState.h"
#include "drumset/UiServices.h"
#include "view/KeyboardPanels.h"
#include "view/SampleListPanel.h"
#include "view/Surface.h"
#include "view/ViewRegions.h"

namespace thumper {

// The stored sheets: 24-bit (used at 16 bits per pixel and more) and 8-bit with
// a 256-colour table (used at exactly 8).
inline constexpr const char* kSkinSheet24 = ":/skin/skin.png";
inline constexpr const char* kSkinSheet8 = ":/skin/skin8.png";

// The list font: the small sans face every text of the panel uses.
QFont ListFont();

enum class SkinLoad {
  Loaded,         // the 24-bit sheet
  LoadedPalette,  // the 8-bit sheet and its palette
  AlreadyLoaded,  // an earlier first update loaded it; nothing changed
  Unsupported,    // a depth with no sheet: nothing is drawn from the skin
  Failed,         // the sheet could not be read; the view must close its window
};

class SkinnedFace {
 public:
  SkinnedFace(const DrumSet& drumSet, SampleListState& list, UiServices& ui,
              SampleListPanel::MemoryFn availableMemory = AvailableMemoryBytes);
  SkinnedFace(const SkinnedFace&) = delete;
  SkinnedFace& operator=(const SkinnedFace&) = delete;

  bool m_bPaletteMode = false;
  int32_t m_nHoverButton = kNoButton;
  QList<QRgb> m_palSkin;  // the 8-bit sheet's colour table; only in palette mode

  // Device pixels per face pixel for a screen's device pixel ratio: 1 to 3,
  // rounded up (a screen at 1.5 gets the face drawn at 2 and shown smaller).
  static int ScaleForRatio(double ratio);
  // Before the skin is loaded: the face is drawn at this scale from then on.
  void SetScale(int scale);

  // Chooses and loads the sheet by the display's colour depth in bits per pixel;
  // at a scale above 1 the sheet painted at that scale where there is one
  // (the 24-bit name with "@2x" or "@3x" before ".png"). The sheet names can be
  // replaced for tests.
  SkinLoad LoadSkin(int depth);
  void SetSheetNames(QString sheet24, QString sheet8);
  // Reads an 8-bit sheet and builds m_palSkin from its colour table: 256
  // entries for 8 bits per pixel, 16 for 4, 2 for 1, none otherwise. (width,
  // height), or (0, 0) when it cannot be read.
  std::pair<int, int> LoadPaletteSheet(const QString& name);
  bool HasSheet() const { return m_surface.HasSheet(); }

  void FullRepaint();
  void ButtonHover(int x, int y);

  void OnSetFocus();
  void OnPaletteChanged();
  void OnWindowMoved();
  // How many times the palette was realised in both surfaces (it has nothing to
  // do on our displays; counted so the handlers' order can be checked).
  int PaletteRealisations() const { return m_nPaletteRealisations; }

  Surface& GetSurface() { return m_surface; }
  const Surface& GetSurface() const { return m_surface; }
  const ViewRegions& Regions() const { return m_regions; }
  KeyboardPanels& Keyboards() { return m_keyboards; }
  SampleListPanel& SampleList() { return m_sampleList; }

 private:
  void RealisePalette() { ++m_nPaletteRealisations; }
  void RestoreButtonBlock();

  UiServices& m_ui;
  Surface m_surface;
  const ViewRegions m_regions;
  KeyboardPanels m_keyboards;
  SampleListPanel m_sampleList;
  QString m_strSheet24 = kSkinSheet24;
  QString m_strSheet8 = kSkinSheet8;
  bool m_bSkinLoaded = false;
  int m_nPaletteRealisations = 0;
};

}  // namespace thumper
