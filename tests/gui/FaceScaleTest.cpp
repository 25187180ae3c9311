// The face at 2 device pixels per face pixel: the same copies, fills and text,
// every block twice the size, from the sheet painted at that scale, while
// callers and the changed rectangles stay in face pixels.
#include <QImage>

#include "FaceFixture.h"

namespace thumper::test {
namespace {

const QImage& LargeSheet() {
  static const QImage sheet = QImage(":/skin/skin@2x.png").convertToFormat(QImage::Format_RGB32);
  return sheet;
}

// The face's device block of face rectangle rc equals the 2x sheet's at (sx, sy).
bool FaceShowsLarge(const Surface& surface, const Rect& rc, int sx, int sy) {
  const QImage& face = surface.Face();
  for (int y = 2 * rc.top; y < 2 * rc.bottom; ++y)
    for (int x = 2 * rc.left; x < 2 * rc.right; ++x)
      if (face.pixel(x, y) != LargeSheet().pixel(2 * sx + x - 2 * rc.left, 2 * sy + y - 2 * rc.top))
        return false;
  return true;
}

class FaceAtScaleTwo : public FaceTest {
 protected:
  void SetUp() override {
    FaceTest::SetUp();
    face->SetScale(2);
  }
};

TEST_F(FaceAtScaleTwo, CopiesComeFromTheLargeSheetAtTwiceTheSize) {
  AddGroup("Kicks", 3);
  Load();
  EXPECT_EQ(surface().Face().size(), QSize(1454, 974));
  EXPECT_EQ(surface().Face().devicePixelRatio(), 2.0);
  EXPECT_TRUE(FaceShowsLarge(surface(), {530, 0, 727, 240}, 530, 332));
  EXPECT_TRUE(FaceShowsLarge(surface(), {558, 296, 663, 330}, 130, 196));  // pair 1+2 lit
  face->ButtonHover(560, 130);
  EXPECT_TRUE(FaceShowsLarge(surface(), {551, 124, 611, 143}, 0, 196));  // OPTIONS lit
  // Changes are reported in face pixels.
  for (const Rect& rc : changed) {
    EXPECT_LE(rc.right, kFaceWidth);
    EXPECT_LE(rc.bottom, kFaceHeight);
  }
}

TEST_F(FaceAtScaleTwo, FillsCoverWholeDeviceBlocksAndTextHasFinerDetail) {
  AddGroup("Kicks", 20);
  Load();
  // The thumb's fills: 2 x 2 device pixels for every face pixel, edges included.
  const Rect thumb = face->SampleList().m_rcThumb;
  const QImage& img = surface().Face();
  EXPECT_EQ(img.pixel(2 * thumb.left, 2 * thumb.top), kThumbOuterColour);
  EXPECT_EQ(img.pixel(2 * thumb.right - 1, 2 * thumb.bottom - 1), kThumbOuterColour);
  EXPECT_NE(img.pixel(2 * thumb.right, 2 * thumb.top), kThumbOuterColour);
  // Sample names: text edges fall inside face pixels, which no enlarged 1x text has.
  int split = 0;
  for (int y = 2 * 28; y < 2 * 40; y += 2)
    for (int x = 2 * 120; x < 2 * 200; x += 2)
      split += img.pixel(x, y) != img.pixel(x + 1, y + 1) || img.pixel(x, y) != img.pixel(x + 1, y);
  EXPECT_GT(split, 10);
  // Nothing of the group name passes x 118.
  EXPECT_EQ(CountPixels(surface(), {118, 28, 120, 40}, kHighlightColour), 0);
}

TEST_F(FaceAtScaleTwo, SaveUnderGoesBackUnchanged) {
  AddGroup("Kicks", 3);
  Load();
  const QImage before = surface().Face().copy();
  const Rect row = face->Regions().m_rcSampleRow[1];
  surface().CopyToSheet(row.left, row.top, 500, 20, 0, 820);
  surface().Fill(Surface::Target::Window, row, 0xffffd801u);
  surface().CopyFromSheet(0, 820, 500, 20, row.left, row.top);
  EXPECT_EQ(surface().Face(), before);
}

TEST(FaceScale, ScreenRatiosRoundUpToWholeScales) {
  EXPECT_EQ(SkinnedFace::ScaleForRatio(1.0), 1);
  EXPECT_EQ(SkinnedFace::ScaleForRatio(1.25), 2);
  EXPECT_EQ(SkinnedFace::ScaleForRatio(1.5), 2);
  EXPECT_EQ(SkinnedFace::ScaleForRatio(2.0), 2);
  EXPECT_EQ(SkinnedFace::ScaleForRatio(2.5), 3);
  EXPECT_EQ(SkinnedFace::ScaleForRatio(4.0), 3);
  EXPECT_EQ(SkinnedFace::ScaleForRatio(0.5), 1);
}

}  // namespace
}  // namespace thumper::test
