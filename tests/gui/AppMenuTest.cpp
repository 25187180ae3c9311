// The menus item by item, their shortcuts, and what the items do.
#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QMenuBar>
#include <QStandardPaths>

#include "AppFixture.h"
#include "app/HelpManual.h"
#include "edit/CAboutDlg.h"

namespace thumper::test {
namespace {

using AppMenuTest = AppFixture;

TEST_F(AppMenuTest, MenuBarHasFileThenAbout) {
  ASSERT_TRUE(Start());
  std::vector<std::string> titles;
  for (QAction* action : Frame().menuBar()->actions())
    titles.push_back(action->text().toStdString());
  EXPECT_EQ(titles, (std::vector<std::string>{"&File", "&About"}));
}

TEST_F(AppMenuTest, FileMenuItemsInOrderWithRecentFileGreyedWhileEmpty) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(FileMenuTexts(),
            (std::vector<std::string>{"&New\tCtrl+N", "&Open...\tCtrl+O", "&Save\tCtrl+S",
                                      "Save &As...", "-", "-", "Recent File", "-", "E&xit"}));
  EXPECT_FALSE(FileMenuItem("Recent File")->isEnabled());
  EXPECT_FALSE(Frame().FileMenu()->separatorsCollapsible());
}

TEST_F(AppMenuTest, AboutMenuItems) {
  ASSERT_TRUE(Start());
  std::vector<std::string> texts;
  for (QAction* action : Frame().AboutMenu()->actions())
    texts.push_back(action->text().toStdString());
  EXPECT_EQ(texts, (std::vector<std::string>{"&About Klonk Bammer...", "&Help"}));
}

TEST_F(AppMenuTest, OnlyNewOpenSaveHaveShortcutsAndNothingPrints) {
  ASSERT_TRUE(Start());
  EXPECT_EQ(FileMenuItem("&New\tCtrl+N")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_N));
  EXPECT_EQ(FileMenuItem("&Open...\tCtrl+O")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
  EXPECT_EQ(FileMenuItem("&Save\tCtrl+S")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
  int withShortcut = 0;
  for (QAction* action : Frame().findChildren<QAction*>()) {
    EXPECT_NE(action->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    if (!action->shortcut().isEmpty()) ++withShortcut;
  }
  EXPECT_EQ(withShortcut, 3);
}

TEST_F(AppMenuTest, ShortcutsReachTheirCommands) {
  ASSERT_TRUE(Start());
  QApplication::setActiveWindow(&Frame());
  ASSERT_TRUE(QTest::qWaitForWindowActive(&Frame()));
  QTest::keyClick(&Frame().View(), Qt::Key_O, Qt::ControlModifier);
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_TRUE(ui.fileDialogs[0].bOpen);
  QTest::keyClick(&Frame().View(), Qt::Key_S, Qt::ControlModifier);  // no name yet: Save As
  ASSERT_EQ(ui.fileDialogs.size(), 2u);
  EXPECT_FALSE(ui.fileDialogs[1].bOpen);
  Doc().SetModifiedFlag(true);
  ui.messageAnswers.push_back(MsgResult::Cancel);
  QTest::keyClick(&Frame().View(), Qt::Key_N, Qt::ControlModifier);
  EXPECT_EQ(Texts(), std::vector<std::string>{"Save changes to New Drumset (Not Saved)?"});
  QTest::keyClick(&Frame().View(), Qt::Key_P, Qt::ControlModifier);
  EXPECT_EQ(Texts().size(), 1u);
  EXPECT_EQ(ui.fileDialogs.size(), 2u);
}

TEST_F(AppMenuTest, OpenAndSaveAsUseTheDrumSetFilterAndExtension) {
  ASSERT_TRUE(Start());
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  FileMenuItem("Save &As...")->trigger();
  ASSERT_EQ(ui.fileDialogs.size(), 2u);
  for (const FileDialogParams& p : ui.fileDialogs) {
    EXPECT_EQ(p.strDefExt, ".drums");
    EXPECT_EQ(p.strFilter.rfind("FileEx Files (*.drums) | *.drums|", 0), 0u) << p.strFilter;
  }
  EXPECT_TRUE(ui.fileDialogs[0].bOpen);
  EXPECT_TRUE(ui.fileDialogs[0].nFlags & ofn::kFileMustExist);
  EXPECT_FALSE(ui.fileDialogs[1].bOpen);
  EXPECT_TRUE(ui.fileDialogs[1].nFlags & ofn::kOverwritePrompt);
  // A drum set without a name is offered under the title's first word.
  EXPECT_EQ(ui.fileDialogs[1].strInitialName, "New.drums");
}

TEST_F(AppMenuTest, ExitAsksAboutChangesAndCancelKeepsRunning) {
  ASSERT_TRUE(Start());
  Doc().SetModifiedFlag(true);
  ui.messageAnswers.push_back(MsgResult::Cancel);
  FileMenuItem("E&xit")->trigger();
  EXPECT_TRUE(Frame().isVisible());
  EXPECT_TRUE(Doc().IsModified());
  ui.messageAnswers.push_back(MsgResult::No);
  FileMenuItem("E&xit")->trigger();
  EXPECT_FALSE(Frame().isVisible());
  EXPECT_EQ(Texts().size(), 2u);
}

class UrlCatcher : public QObject {
  Q_OBJECT
 public:
  QList<QUrl> urls;
 public slots:
  void Open(const QUrl& url) { urls << url; }
};

TEST_F(AppMenuTest, HelpOpensTheManualFromAFileUrl) {
  QStandardPaths::setTestModeEnabled(true);
  UrlCatcher catcher;
  QDesktopServices::setUrlHandler("file", &catcher, "Open");
  ASSERT_TRUE(Start());
  Frame().AboutMenu()->actions().at(1)->trigger();
  QDesktopServices::unsetUrlHandler("file");
  ASSERT_EQ(catcher.urls.size(), 1);
  ASSERT_TRUE(catcher.urls[0].isLocalFile());
  QFile manual(catcher.urls[0].toLocalFile());
  ASSERT_TRUE(manual.open(QIODevice::ReadOnly));
  const QByteArray html = manual.readAll();
  EXPECT_TRUE(html.contains("<title>Klonk Bammer"));
  EXPECT_TRUE(html.contains("Thumper MIDI In"));
  EXPECT_TRUE(Texts().empty());
  QFile::remove(HelpManualPath());
  QStandardPaths::setTestModeEnabled(false);
}

}  // namespace
}  // namespace thumper::test

#include "AppMenuTest.moc"
