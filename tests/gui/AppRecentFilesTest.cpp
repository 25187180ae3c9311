// The recent-file list: four entries, the most recent first, in the File menu,
// surviving a restart.
#include <filesystem>

#include "AppFixture.h"
#include "app/RecentFileList.h"

namespace thumper::test {
namespace {

using AppRecentFilesTest = AppFixture;

TEST_F(AppRecentFilesTest, KeepsFourMostRecentFirstAndSurvivesRestart) {
  std::vector<std::string> kits;
  for (int i = 1; i <= 5; ++i) kits.push_back(MakeDrumSet("k" + std::to_string(i) + ".drums"));
  ASSERT_TRUE(Start());
  for (const std::string& kit : kits) {
    ui.AnswerFile(kit);
    FileMenuItem("&Open...\tCtrl+O")->trigger();
  }
  const std::vector<std::string> expected{kits[4], kits[3], kits[2], kits[1]};
  EXPECT_EQ(app->Recent().Entries(), expected);
  auto texts = FileMenuTexts();
  ASSERT_EQ(texts.size(), 12u);
  EXPECT_EQ(texts[6].substr(0, 3), "&1 ");
  EXPECT_EQ(texts[9].substr(0, 3), "&4 ");
  EXPECT_NE(texts[6].find("k5.drums"), std::string::npos);
  EXPECT_EQ(texts[10], "-");
  EXPECT_EQ(texts[11], "E&xit");

  Stop();
  ASSERT_TRUE(Start());
  EXPECT_EQ(app->Recent().Entries(), expected);
  texts = FileMenuTexts();
  EXPECT_NE(texts[7].find("k4.drums"), std::string::npos);
  EXPECT_EQ(FileMenuItem("Recent File"), nullptr);
}

TEST_F(AppRecentFilesTest, ReopeningMovesAnEntryUpWithoutDoubling) {
  const std::string a = MakeDrumSet("a.drums"), b = MakeDrumSet("b.drums");
  ASSERT_TRUE(Start(a));
  ui.AnswerFile(b);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  ui.AnswerFile(a);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  EXPECT_EQ(app->Recent().Entries(), (std::vector<std::string>{a, b}));
}

TEST_F(AppRecentFilesTest, RecentItemOpensItsFile) {
  const std::string a = MakeDrumSet("first.drums"), b = MakeDrumSet("second.drums");
  ASSERT_TRUE(Start(a));
  ui.AnswerFile(b);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  // Entry 2 is the first drum set again.
  Frame().FileMenu()->actions().at(7)->trigger();
  EXPECT_EQ(Doc().GetPathName(), a);
  EXPECT_EQ(Title().toStdString(), "first.drums - Klonk Bammer");
  EXPECT_EQ(app->Recent().Entries().front(), a);
}

TEST_F(AppRecentFilesTest, RecentFileThatNoLongerOpensLeavesTheList) {
  const std::string a = MakeDrumSet("here.drums"), b = MakeDrumSet("gone.drums");
  ASSERT_TRUE(Start(b));
  ui.AnswerFile(a);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  std::filesystem::remove(b);
  Frame().FileMenu()->actions().at(7)->trigger();
  EXPECT_EQ(Texts(), std::vector<std::string>{b + " was not found."});
  EXPECT_EQ(app->Recent().Entries(), std::vector<std::string>{a});
  EXPECT_EQ(Doc().GetPathName(), a);
}

TEST(RecentFileListTest, MenuTextNumbersShortensAndEscapes) {
  RecentFileList list;
  list.Add("/home/user/music/kits/very/deep/folder/rock.drums");
  list.Add("/tmp/R&B.drums");
  EXPECT_EQ(list.MenuText(0), "&1 /tmp/R&&B.drums");
  EXPECT_EQ(list.MenuText(1), "&2 /home/.../folder/rock.drums");
  EXPECT_LE(AbbreviatePath("/home/user/music/kits/very/deep/folder/rock.drums", 30).size(), 30u);
  EXPECT_EQ(AbbreviatePath("/a/" + std::string(40, 'x') + ".drums", 30),
            std::string(40, 'x') + ".drums");
  EXPECT_EQ(AbbreviatePath("/" + std::string(40, 'y'), 30), std::string(40, 'y'));
}

TEST(RecentFileListTest, DamagedSettingsLoseGapsAndDoubles) {
  TempDir dir;
  QSettings settings(QString::fromStdString(dir / "t.conf"), QSettings::IniFormat);
  settings.setValue("Recent File List/File1", "/x.drums");
  settings.setValue("Recent File List/File3", "/x.drums");
  settings.setValue("Recent File List/File4", "/y.drums");
  RecentFileList list;
  list.ReadFrom(settings);
  EXPECT_EQ(list.Entries(), (std::vector<std::string>{"/x.drums", "/y.drums"}));
  list.WriteTo(settings);
  EXPECT_EQ(settings.value("Recent File List/File2").toString().toStdString(), "/y.drums");
  EXPECT_FALSE(settings.contains("Recent File List/File3"));
}

}  // namespace
}  // namespace thumper::test
