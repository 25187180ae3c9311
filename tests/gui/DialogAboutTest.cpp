// The About box: its picture, the version over it, and closing without a button.
#include <gtest/gtest.h>
#include <QLabel>
#include <QPushButton>
#include <QTest>

#include "edit/CAboutDlg.h"
#include "edit/DialogUnits.h"

namespace thumper::test {
namespace {

TEST(AboutDlgTest, ShowsVersionSunkenAndCentredOverThePicture) {
  CAboutDlg dlg;
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_EQ(dlg.windowTitle().toStdString(), "About Klonk Bammer");
  EXPECT_EQ(dlg.VersionLabel()->text().toStdString(), "1.0.1");
  EXPECT_EQ(dlg.VersionLabel()->alignment(), Qt::AlignCenter);
  EXPECT_EQ(dlg.VersionLabel()->frameShadow(), QFrame::Sunken);
  EXPECT_NE(dlg.VersionLabel()->frameShape(), QFrame::NoFrame);
  EXPECT_FALSE(dlg.Picture()->pixmap().isNull());
  const DialogBaseUnits du = DialogBaseUnits::Of(dlg.font());
  EXPECT_EQ(dlg.size(), QSize(156 * du.x / 4, 172 * du.y / 8));
  EXPECT_EQ(dlg.Picture()->geometry(), du.ToPixels(0, 0, 157, 172));
  EXPECT_EQ(dlg.VersionLabel()->geometry(), du.ToPixels(120, 141, 32, 15));
  EXPECT_TRUE(dlg.findChildren<QPushButton*>().isEmpty());
  // The version is drawn over the picture, not under it.
  const QPoint mid = dlg.VersionLabel()->geometry().center();
  const QRect pictureRect = dlg.Picture()->geometry();
  EXPECT_TRUE(pictureRect.contains(mid));
  EXPECT_EQ(dlg.childAt(mid), dlg.VersionLabel());
}

TEST(AboutDlgTest, EscapeCloses) {
  CAboutDlg dlg;
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_FALSE(dlg.isVisible());
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
}

TEST(AboutDlgTest, CloseBoxCloses) {
  CAboutDlg dlg;
  dlg.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  EXPECT_TRUE(dlg.windowFlags() & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(dlg.close());
  EXPECT_FALSE(dlg.isVisible());
}

}  // namespace
}  // namespace thumper::test
