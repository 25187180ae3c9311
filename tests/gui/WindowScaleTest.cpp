// The program on a screen that scales windows by 2: the face is drawn at
// device resolution, not enlarged from its 727 x 487 pixels.

#include <gtest/gtest.h>

#include <QImage>
#include <cstdlib>

#include "drumset/CThumperDoc.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

TEST(WindowScaleTest, AtScaleTwoTheFaceIsDrawnAtDeviceResolution) {
  TempDir files;
  CThumperDoc kit;
  kit.OnNewDocument();
  kit.m_pGroupNames->push_back("WWWWWWWWWWWWWWWWWWWW");
  kit.m_pGroupList[0]->push_back(files / "tom-low-3.wav");
  WriteWav(files / "tom-low-3.wav", std::vector<int16_t>(2000, 3000));
  ScriptedUi quiet;
  ASSERT_TRUE(kit.OnSaveDocument(files / "kit.drums", quiet));
  // The program, not this test process, runs scaled (the tests run offscreen).
  setenv("QT_SCALE_FACTOR", "2", 1);
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const std::string savedConfig = config ? config : "";
  setenv("XDG_CONFIG_HOME", (files / "config").c_str(), 1);
  const ProcessResult shot = RunThumper({files / "kit.drums", "--screenshot", files / "face.png"});
  unsetenv("QT_SCALE_FACTOR");
  if (config)
    setenv("XDG_CONFIG_HOME", savedConfig.c_str(), 1);
  else
    unsetenv("XDG_CONFIG_HOME");
  ASSERT_EQ(shot.status, 0) << shot.err;
  const QImage window(QString::fromStdString(files / "face.png"));
  ASSERT_FALSE(window.isNull());
  // The face fills the bottom of the window, under the menu bar.
  ASSERT_EQ(window.width(), 2 * 727);
  const int top = window.height() - 2 * 487;
  ASSERT_GE(top, 0);
  const QImage face = window.copy(0, top, 2 * 727, 2 * 487);
  EXPECT_EQ(face.size(), QSize(1454, 974));

  // Text drawn at device resolution has edges inside the 2 x 2 blocks of a face
  // pixel; a face drawn at 1 and enlarged has none. Look at the sample's row.
  int split = 0, textPixels = 0;
  for (int y = 2 * 28; y < 2 * 40; y += 2)
    for (int x = 2 * 120; x < 2 * 200; x += 2) {
      const QRgb a = face.pixel(x, y), b = face.pixel(x + 1, y), c = face.pixel(x, y + 1),
                 d = face.pixel(x + 1, y + 1);
      textPixels += qGray(a) > 60;
      split += a != b || a != c || a != d;
    }
  EXPECT_GT(textPixels, 20) << "the sample's name is drawn";
  EXPECT_GT(split, 10) << "the name has detail finer than a face pixel";
  // Nothing of the group name reaches the sample column.
  for (int y = 2 * 28; y < 2 * 40; ++y)
    for (int x = 2 * 118; x < 2 * 120; ++x) EXPECT_EQ(qGray(face.pixel(x, y)), 0) << x << "," << y;
}

}  // namespace
}  // namespace thumper::test
