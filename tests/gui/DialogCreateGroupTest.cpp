// The Create Group dialog: the offered name, OK and Cancel, the 50-character
// limit, and its layout from template 135.
#include <QLineEdit>
#include <QPushButton>

#include "app/QtUiServices.h"
#include "edit/CCreateGroupDlg.h"
#include "edit/DialogUnits.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <QTest>

namespace thumper::test {
namespace {

class CreateGroupDlgTest : public ::testing::Test {
 protected:
  ScriptedUi ui;
  CCreateGroupDlg dlg{ui};

  void Offer(const std::string& name) {
    dlg.m_strName = name;
    dlg.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dlg));
  }
};

TEST_F(CreateGroupDlgTest, OkAtOnceReturnsTheOfferedName) {
  Offer("Group..");
  EXPECT_EQ(dlg.NameEdit()->text().toStdString(), "Group..");
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_strName, "Group..");
}

TEST_F(CreateGroupDlgTest, EnterInTheEditPressesTheDefaultOk) {
  Offer("New Group");
  EXPECT_TRUE(dlg.OkButton()->isDefault());
  QTest::keyClick(dlg.NameEdit(), Qt::Key_Return);
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_strName, "New Group");
}

TEST_F(CreateGroupDlgTest, EmptyNameIsAccepted) {
  Offer("Group..");
  dlg.NameEdit()->clear();
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_strName, "");
}

TEST_F(CreateGroupDlgTest, TypingStopsAtFiftyCharacters) {
  Offer("");
  QTest::keyClicks(dlg.NameEdit(), QString(60, QLatin1Char('a')));
  EXPECT_EQ(dlg.NameEdit()->text().size(), 50);
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.m_strName, std::string(50, 'a'));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(CreateGroupDlgTest, LongerOfferedNameMakesOkFailWithTheMessage) {
  Offer(std::string(60, 'b'));
  EXPECT_EQ(dlg.NameEdit()->text().size(), 60);
  dlg.OkButton()->click();
  EXPECT_NE(dlg.result(), QDialog::Accepted);
  EXPECT_TRUE(dlg.isVisible());
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Please enter no more than 50 characters."});
  // It may be shortened but never lengthened, and is accepted once it fits.
  QTest::keyClick(dlg.NameEdit(), Qt::Key_End);
  QTest::keyClicks(dlg.NameEdit(), "zz");
  EXPECT_EQ(dlg.NameEdit()->text().size(), 60);
  for (int i = 0; i < 10; ++i) QTest::keyClick(dlg.NameEdit(), Qt::Key_Backspace);
  dlg.OkButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Accepted);
  EXPECT_EQ(dlg.m_strName, std::string(50, 'b'));
}

TEST_F(CreateGroupDlgTest, CancelAndEscapeReturnNothing) {
  Offer("Group..");
  QTest::keyClicks(dlg.NameEdit(), "typed");
  dlg.CancelButton()->click();
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_EQ(dlg.m_strName, "Group..");
  Offer("Group..");
  QTest::keyClick(&dlg, Qt::Key_Escape);
  EXPECT_EQ(dlg.result(), QDialog::Rejected);
  EXPECT_FALSE(dlg.isVisible());
}

TEST_F(CreateGroupDlgTest, LaidOutFromTheTemplateInDialogUnits) {
  Offer("");
  const DialogBaseUnits du = DialogBaseUnits::Of(dlg.font());
  EXPECT_EQ(dlg.windowTitle().toStdString(), "Create Group");
  EXPECT_EQ(dlg.size(), QSize(186 * du.x / 4, 47 * du.y / 8));
  EXPECT_EQ(dlg.NameEdit()->geometry(), du.ToPixels(25, 16, 80, 14));
  EXPECT_EQ(dlg.OkButton()->geometry(), du.ToPixels(129, 7, 50, 14));
  EXPECT_EQ(dlg.CancelButton()->geometry(), du.ToPixels(129, 26, 50, 14));
  EXPECT_EQ(dlg.OkButton()->text().toStdString(), "OK");
  EXPECT_EQ(dlg.CancelButton()->text().toStdString(), "Cancel");
}

TEST(DialogUnitsTest, ConvertsWithTheFontsBaseUnits) {
  const DialogBaseUnits du{6, 13};
  EXPECT_EQ(du.ToPixelsX(186), 279);
  EXPECT_EQ(du.ToPixelsY(47), 76);
  // Corners are converted, so adjoining rectangles share their edge.
  EXPECT_EQ(du.ToPixels(0, 0, 25, 7).right() + 1, du.ToPixels(25, 7, 10, 7).left());
  EXPECT_EQ(du.ToPixels(0, 0, 25, 7).bottom() + 1, du.ToPixels(25, 7, 10, 7).top());
}

}  // namespace
}  // namespace thumper::test
