// The committed pictures keep the layout the view copies from.
#include <QImage>
#include <QImageReader>

#include "FaceFixture.h"
#include "view/ViewCursors.h"

namespace thumper::test {
namespace {

bool SameBlock(const QImage& a, int ax, int ay, const QImage& b, int bx, int by, int w, int h) {
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      if (a.pixel(ax + x, ay + y) != b.pixel(bx + x, by + y)) return false;
  return true;
}

class SheetTest : public ::testing::TestWithParam<const char*> {
 protected:
  QImage sheet = QImage(GetParam()).convertToFormat(QImage::Format_RGB32);
};

TEST_P(SheetTest, IsTheSheetSize) {
  ASSERT_FALSE(sheet.isNull());
  EXPECT_EQ(sheet.width(), kSheetWidth);
  EXPECT_EQ(sheet.height(), kSheetHeight);
}

TEST_P(SheetTest, LitMidiInEqualsTheBackgroundOutsideItsInnerBlock) {
  int differing = 0;
  for (int y = 0; y < 45; ++y)
    for (int x = 0; x < 54; ++x) {
      const bool inner = x >= 10 && x < 44 && y >= 2 && y < 41;
      const bool same = sheet.pixel(500 + x, 280 + y) == sheet.pixel(581 + x, 440 + 332 + y);
      if (!inner) {
        EXPECT_TRUE(same) << x << "," << y;
      }
      differing += !same;
    }
  EXPECT_GT(differing, 200);  // the light really is lit inside
  // Putting the light out restores exactly that block of the background.
  EXPECT_TRUE(SameBlock(sheet, 591, 774, sheet, 591, 442 + 332, 34, 39));
}

TEST_P(SheetTest, KeyImageSetsDifferFromTheRestingPanelAtEveryCell) {
  for (int k = 0; k < kCellsPerPanel; ++k) {
    const Rect& c = kCellSource[k];
    const int restX = c.left + 7, restY = c.top + 286 + kBackgroundY;
    for (int set : {kKeyImagePressedX, kKeyImageAssignedX, kKeyImagePlayingX})
      EXPECT_FALSE(
          SameBlock(sheet, c.left + set, c.top, sheet, restX, restY, c.Width(), c.Height()))
          << "cell " << k << " set " << set;
    EXPECT_FALSE(SameBlock(sheet, c.left, c.top, sheet, c.left + 500, c.top, c.Width(), c.Height()))
        << "pressed and playing look alike at " << k;
  }
}

TEST_P(SheetTest, BothPanelsRestOnTheSameKeyboard) {
  for (int k = 0; k < kCellsPerPanel; ++k) {
    const Rect& c = kCellSource[k];
    EXPECT_TRUE(SameBlock(sheet, c.left + 7, c.top + 618, sheet, c.left + 274, c.top + 618,
                          c.Width(), c.Height()))
        << k;
  }
}

TEST_P(SheetTest, LitButtonsDifferFromTheBlockOnlyWhereTheButtonIs) {
  for (const ButtonArt& art : kButtons) {
    const Rect& hit = art.rcHit;
    const int sx = art.ptLitSource.x + (hit.left + 4 - art.ptLitDest.x);
    const int sy = art.ptLitSource.y + (hit.top + 4 - art.ptLitDest.y);
    EXPECT_FALSE(SameBlock(sheet, sx, sy, sheet, hit.left + 4, hit.top + 4 + kBackgroundY,
                           hit.Width() - 8, hit.Height() - 8))
        << art.nButton;
  }
  // Beside the button the lit image is the background, so a lit copy never
  // leaves an edge: the top-left column of the OPTIONS copy lies in the gap.
  EXPECT_TRUE(SameBlock(sheet, 0, 196, sheet, 551, 124 + kBackgroundY, 1, 19));
}

TEST_P(SheetTest, LitPairsAndOctaveLabelsDifferFromTheRestingSelector) {
  const int litY[3] = {196, 232, 270}, destY[3] = {296, 332, 369};
  for (int i = 0; i < 3; ++i)
    EXPECT_FALSE(SameBlock(sheet, 130, litY[i], sheet, 558, destY[i] + kBackgroundY, 105, 34));
  const int labelX[6] = {250, 250, 250, 353, 353, 353}, labelY[6] = {196, 238, 280, 196, 238, 280};
  for (int i = 0; i < 6; ++i)
    for (int j = i + 1; j < 6; ++j)
      EXPECT_FALSE(SameBlock(sheet, labelX[i], labelY[i], sheet, labelX[j], labelY[j], 103, 42))
          << "labels " << i + 1 << " and " << j + 1 << " look alike";
}

TEST_P(SheetTest, SampleListAndFreeMemoryAreasAreDark) {
  for (int y = 28; y < 222; y += 3)
    for (int x = 7; x < 509; x += 5) ASSERT_EQ(sheet.pixel(x, y + kBackgroundY), qRgb(0, 0, 0));
  for (int y = 41; y < 207; ++y) ASSERT_EQ(sheet.pixel(515, y + kBackgroundY), qRgb(10, 10, 10));
}

INSTANTIATE_TEST_SUITE_P(BothDepths, SheetTest, ::testing::Values(kSkinSheet24, kSkinSheet8));

TEST(SkinFiles, StoredFormatsAreTwentyFourBitAndIndexedWith256Colours) {
  QImageReader rgb(kSkinSheet24);
  const QImage full = rgb.read();
  EXPECT_EQ(full.format(), QImage::Format_RGB32);  // a PNG without alpha or table
  EXPECT_TRUE(full.colorTable().isEmpty());
  const QImage indexed = QImage(kSkinSheet8);
  EXPECT_EQ(indexed.format(), QImage::Format_Indexed8);
  EXPECT_EQ(indexed.colorTable().size(), 256);
}

TEST(SkinFiles, LargerSheetsKeepTheLayoutAtTwoAndThreeTimesTheSize) {
  const QImage one = CommittedSheet();
  for (int scale : {2, 3}) {
    const QImage large =
        QImage(QString(":/skin/skin@%1x.png").arg(scale)).convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(large.size(), QSize(kSheetWidth, kSheetHeight) * scale) << scale;
    // Shrunk to face pixels, the picture is the same art in the same places:
    // each region's average colour stays close to the 1x sheet's.
    const QImage shrunk = large.scaled(one.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    for (const QRect area : {QRect(0, kBackgroundY, kFaceWidth, kFaceHeight),    // the face
                             QRect(551, 456, 120, 101),                          // button block
                             QRect(0, 196, 60, 19), QRect(500, 280, 54, 45)}) {  // lit pieces
      double diff = 0;
      for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x)
          diff += std::abs(qGray(shrunk.pixel(x, y)) - qGray(one.pixel(x, y)));
      EXPECT_LT(diff / (area.width() * area.height()), 12.0)
          << scale << " in " << area.x() << "," << area.y();
    }
  }
}

TEST(SkinFiles, AboutPictureAndCursorsArePresent) {
  const QImage about(":/skin/about.png");
  EXPECT_EQ(about.size(), QSize(236, 280));
  EXPECT_EQ(QImage(":/skin/cursor-arrow.png").size(), QSize(32, 32));
  const QImage speaker(":/skin/cursor-speaker.png");
  EXPECT_EQ(speaker.size(), QSize(32, 32));
  EXPECT_TRUE(speaker.hasAlphaChannel());
  // The hot spots lie on the pictures, not on transparent pixels.
  EXPECT_GT(qAlpha(QImage(":/skin/cursor-arrow.png").pixel(11, 8)), 0);
  EXPECT_GT(qAlpha(speaker.pixel(12, 16)), 0);
}

TEST(SkinFiles, DragCursorsCarryTheirHotSpots) {
  const QCursor carry = CarryCursor(), cell = CellCursor();
  EXPECT_EQ(carry.hotSpot(), QPoint(11, 7));
  EXPECT_EQ(cell.hotSpot(), QPoint(12, 16));
  EXPECT_EQ(carry.pixmap().size(), QSize(32, 32));
  EXPECT_FALSE(cell.pixmap().isNull());
}

}  // namespace
}  // namespace thumper::test
