// The full repaint, the choice of sheet by colour depth, and the palette handlers.
#include <QImage>

#include "FaceFixture.h"

namespace thumper::test {
namespace {

TEST_F(FaceTest, FullRepaintShowsTheBackgroundAtItsWindowPositions) {
  Load();
  const QImage& sheet = CommittedSheet();
  EXPECT_EQ(surface().FacePixel(0, 0), sheet.pixel(0, 332));
  EXPECT_EQ(surface().FacePixel(726, 486), sheet.pixel(726, 818));
  // Away from the list, the panels and the selector the face is the background.
  EXPECT_TRUE(FaceAtRest(surface(), {530, 0, 727, 240}));
  EXPECT_TRUE(FaceAtRest(surface(), face->Regions().m_rcTrash));
  EXPECT_TRUE(FaceAtRest(surface(), {581, 440, 635, 485}));
}

TEST_F(FaceTest, FullRepaintDrawsTheSelectorLabelsAndPanelsOfPairOneTwo) {
  Load();
  EXPECT_TRUE(FaceShows(surface(), 558, 296, 105, 34, 130, 196));
  EXPECT_TRUE(FaceShows(surface(), 11, 242, 103, 42, 250, 196));
  EXPECT_TRUE(FaceShows(surface(), 278, 242, 103, 42, 250, 238));
  EXPECT_TRUE(FaceAtRest(surface(), face->Regions().m_rcLeftPanel));
  EXPECT_TRUE(FaceAtRest(surface(), face->Regions().m_rcRightPanel));
}

TEST_F(FaceTest, FullRepaintClearsWhatWasLitAndShowsOwnSampleCells) {
  Load();
  GiveOwnSample(3, 0);
  face->Keyboards().ShowNotePlaying(0, 2, true);
  face->ButtonHover(560, 130);
  face->FullRepaint();
  const ViewRegions& r = face->Regions();
  EXPECT_TRUE(FaceAtRest(surface(), r.m_rcCell[2]));
  EXPECT_TRUE(
      FaceShows(surface(), r.m_rcCell[15], kCellSource[15].left + 250, kCellSource[15].top));
  EXPECT_TRUE(FaceAtRest(surface(), r.m_rcButtonBlock));
}

TEST_F(FaceTest, FullRepaintReportsChangedAreasWithinTheFace) {
  Load();
  face->FullRepaint();
  ASSERT_FALSE(changed.empty());
  bool whole = false;
  for (const Rect& rc : changed) {
    EXPECT_GE(rc.left, 0);
    EXPECT_GE(rc.top, 0);
    EXPECT_LE(rc.right, kFaceWidth);
    EXPECT_LE(rc.bottom, kFaceHeight);
    whole = whole || rc == Rect{0, 0, kFaceWidth, kFaceHeight};
  }
  EXPECT_TRUE(whole);
}

TEST_F(FaceTest, FullRepaintBeforeTheSheetExistsDrawsNothing) {
  face->FullRepaint();
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(surface().FacePixel(0, 0), qRgb(0, 0, 0));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FaceTest, DepthsWithoutASheetLoadNothingAndDrawNothingFromTheSkin) {
  for (int depth : {1, 4, 9, 15}) {
    SkinnedFace other(doc, list, ui);
    EXPECT_EQ(other.LoadSkin(depth), SkinLoad::Unsupported) << depth;
    EXPECT_FALSE(other.HasSheet());
    EXPECT_FALSE(other.m_bPaletteMode);
    other.FullRepaint();
    other.Keyboards().ShowNotePlaying(0, 0, true);
    other.ButtonHover(560, 130);
    EXPECT_EQ(other.GetSurface().FacePixel(600, 460), qRgb(0, 0, 0));
    EXPECT_EQ(other.GetSurface().FacePixel(560, 130), qRgb(0, 0, 0));
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FaceTest, SixteenBitsAndMoreUseTheTwentyFourBitSheetOnce) {
  EXPECT_EQ(face->LoadSkin(16), SkinLoad::Loaded);
  EXPECT_FALSE(face->m_bPaletteMode);
  EXPECT_EQ(face->LoadSkin(32), SkinLoad::AlreadyLoaded);
  EXPECT_EQ(face->LoadSkin(8), SkinLoad::AlreadyLoaded);
  EXPECT_FALSE(face->m_bPaletteMode);
  EXPECT_TRUE(face->m_palSkin.isEmpty());
}

TEST_F(FaceTest, EightBitsUseTheIndexedSheetAndItsColourTable) {
  EXPECT_EQ(face->LoadSkin(8), SkinLoad::LoadedPalette);
  EXPECT_TRUE(face->m_bPaletteMode);
  EXPECT_EQ(face->m_palSkin.size(), 256);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(face->PaletteRealisations(), 1);
  face->FullRepaint();
  // The face shows the 8-bit sheet's own colours, which are all in the palette.
  const QImage sheet8 = QImage(kSkinSheet8).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(surface().FacePixel(0, 0), sheet8.pixel(0, 332));
  EXPECT_TRUE(face->m_palSkin.contains(surface().FacePixel(600, 60)));
  EXPECT_TRUE(FaceShows(surface(), 530, 0, 197, 240, 530, 332 + 0, sheet8));
}

TEST_F(FaceTest, PaletteSheetThatCannotBeReadGivesZeroSize) {
  face->SetSheetNames(":/skin/none.png", ":/skin/none8.png");
  EXPECT_EQ(face->LoadPaletteSheet(":/skin/none8.png"), (std::pair<int, int>{0, 0}));
  EXPECT_EQ(face->LoadSkin(8), SkinLoad::Failed);
  SkinnedFace other(doc, list, ui);
  other.SetSheetNames(":/skin/none.png", ":/skin/none8.png");
  EXPECT_EQ(other.LoadSkin(24), SkinLoad::Failed);
}

TEST_F(FaceTest, PaletteSheetGivesItsSizeAndTableSizeByBitsPerPixel) {
  EXPECT_EQ(face->LoadPaletteSheet(kSkinSheet8), (std::pair<int, int>{752, 850}));
  EXPECT_EQ(face->m_palSkin.size(), 256);
  // A sheet with more than 8 bits per pixel has no colour table to take.
  EXPECT_EQ(face->LoadPaletteSheet(kSkinSheet24), (std::pair<int, int>{752, 850}));
  EXPECT_TRUE(face->m_palSkin.isEmpty());
}

TEST_F(FaceTest, SheetWithoutPaletteOnAnEightBitDisplayShowsError) {
  face->SetSheetNames(kSkinSheet24, kSkinSheet24);
  EXPECT_EQ(face->LoadSkin(8), SkinLoad::LoadedPalette);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Error"});
  EXPECT_EQ(ui.messages[0].caption, "");
  EXPECT_TRUE(face->HasSheet());
}

TEST_F(FaceTest, FocusRedrawsOnlyTheFreeMemoryText) {
  Load();
  availableBytes = 1048576;
  face->OnSetFocus();
  ASSERT_FALSE(changed.empty());
  for (const Rect& rc : changed) {
    EXPECT_GE(rc.left, 350);
    EXPECT_GE(rc.top, 13);
    EXPECT_LE(rc.right, 475 + 20);
    EXPECT_LE(rc.bottom, 33);
  }
  EXPECT_EQ(face->PaletteRealisations(), 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FaceTest, WindowMoveRedrawsNothingOnTrueColourDisplays) {
  Load();
  face->OnWindowMoved();
  EXPECT_TRUE(changed.empty());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(FaceTest, WindowMoveInPaletteModeSaysLoColorThenRepaints) {
  Load(8);
  face->Keyboards().ShowNotePlaying(0, 0, true);
  face->OnWindowMoved();
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"LoColor"});
  EXPECT_EQ(face->PaletteRealisations(), 2);
  const QImage sheet8 = QImage(kSkinSheet8).convertToFormat(QImage::Format_RGB32);
  const Rect cell = face->Regions().m_rcCell[0];
  EXPECT_TRUE(FaceShows(surface(), cell.left, cell.top, cell.Width(), cell.Height(), cell.left,
                        cell.top + 332, sheet8));
  face->OnSetFocus();
  EXPECT_EQ(face->PaletteRealisations(), 3);
}

TEST_F(FaceTest, PaletteChangedShowsItsMessageAndRepaintsInEitherMode) {
  Load();
  face->Keyboards().ShowNotePlaying(0, 0, true);
  face->OnPaletteChanged();
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"OnPaletteChanged toimii"});
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
  EXPECT_TRUE(FaceAtRest(surface(), face->Regions().m_rcCell[0]));
}

TEST_F(FaceTest, SaveUnderStripKeepsWindowPixelsUntilTheyArePutBack) {
  Load();
  const Rect row = face->Regions().m_rcSampleRow[2];
  const QImage before = surface().Face().copy(row.left, row.top, 500, 20);
  surface().CopyToSheet(row.left, row.top, 500, 20, 0, 820);
  surface().TextInRect(Surface::Target::Window, row, "/a/very/long/path/of/the/sample.wav",
                       qRgb(250, 225, 100), qRgb(0, 0, 0));
  EXPECT_GT(CountPixels(surface(), row, qRgb(250, 225, 100)), 10);
  EXPECT_EQ(CountPixels(surface(), {row.left, row.bottom, 627, 487}, qRgb(250, 225, 100)), 0);
  surface().CopyFromSheet(0, 820, 500, 20, row.left, row.top);
  EXPECT_EQ(surface().Face().copy(row.left, row.top, 500, 20), before);
}

TEST_F(FaceTest, TextInRectBreaksLinesOnlyAtLineEndsAndClipsToTheRectangle) {
  Load();
  const Rect box{120, 100, 300, 124};
  surface().TextInRect(Surface::Target::Window, box, "first line\\ stays one line\r\nsecond\nthird",
                       qRgb(250, 225, 100), qRgb(0, 0, 0));
  EXPECT_GT(CountPixels(surface(), {120, 100, 300, 112}, qRgb(250, 225, 100)), 10);
  EXPECT_GT(CountPixels(surface(), {120, 112, 300, 124}, qRgb(250, 225, 100)), 10);
  EXPECT_EQ(CountPixels(surface(), {120, 124, 300, 140}, qRgb(250, 225, 100)), 0);
}

}  // namespace
}  // namespace thumper::test
