// Start-up and exit: the title after each start, the fixed window, the start
// on a file that cannot be opened, and the exit order.
#include <QApplication>
#include <QMenuBar>
#include <QToolBar>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "AppFixture.h"
#include "support/Process.h"

namespace thumper::test {
namespace {

using AppStartupTest = AppFixture;

TEST_F(AppStartupTest, StartWithoutArgumentsShowsNewDrumsetTitle) {
  ASSERT_TRUE(Start());
  EXPECT_TRUE(Frame().isVisible());
  EXPECT_EQ(Title().toStdString(), "New Drumset (Not Saved) - Klonk Bammer");
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_EQ(Texts(), std::vector<std::string>{});
}

TEST_F(AppStartupTest, TheWindowHasTheProgramsIconAndDesktopName) {
  ASSERT_TRUE(Start());
  const QIcon icon = Frame().windowIcon();
  ASSERT_FALSE(icon.isNull());
  EXPECT_EQ(icon.pixmap(256, 256).size(), QSize(256, 256));
  EXPECT_EQ(QGuiApplication::desktopFileName(), "thumper");
  // The desktop entry the name points to, as installed.
  std::ifstream entry(THUMPER_SOURCE_DIR "/resources/thumper.desktop");
  const std::string text((std::istreambuf_iterator<char>(entry)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("Exec=thumper %f"), std::string::npos);
  EXPECT_NE(text.find("Icon=thumper"), std::string::npos);
}

TEST_F(AppStartupTest, StartWithFileShowsItsTitleAndEntersRecentFiles) {
  const std::string path = MakeDrumSet("rock.drums");
  ASSERT_TRUE(Start(path));
  EXPECT_EQ(Title().toStdString(), "rock.drums - Klonk Bammer");
  EXPECT_EQ(Doc().GetPathName(), path);
  ASSERT_EQ(app->Recent().Entries().size(), 1u);
  EXPECT_EQ(app->Recent().Entries()[0], path);
}

TEST_F(AppStartupTest, StartWithMissingFileReportsAndShowsNoWindow) {
  const std::string path = files / "gone.drums";
  EXPECT_FALSE(Start(path));
  EXPECT_EQ(Texts(), std::vector<std::string>{path + " was not found."});
  EXPECT_EQ(app->MainFrame(), nullptr);
  for (QWidget* w : QApplication::topLevelWidgets())
    EXPECT_FALSE(w->isVisible()) << w->objectName().toStdString();
}

TEST_F(AppStartupTest, StartWithDamagedFileReportsUnexpectedFormat) {
  const std::string path = files / "bad.drums";
  WriteTextFile(path, "this is no drum set");
  EXPECT_FALSE(Start(path));
  EXPECT_EQ(Texts(), std::vector<std::string>{"Unexpected file format."});
  EXPECT_EQ(app->MainFrame(), nullptr);
}

TEST_F(AppStartupTest, ViewFillsTheClientAreaAtItsFixedSize) {
  ASSERT_TRUE(Start());
  CThumperView& view = Frame().View();
  EXPECT_EQ(Frame().centralWidget(), &view);
  EXPECT_EQ(view.size(), QSize(727, 487));
  EXPECT_EQ(view.objectName().toStdString(), "KLONK Drum");
  EXPECT_EQ(view.windowTitle().toStdString(), "KLONK Drum");
  // Nothing but the menu bar above it: no toolbar, no status bar.
  EXPECT_EQ(view.y(), Frame().menuBar()->height());
  EXPECT_EQ(Frame().height(), Frame().menuBar()->height() + 487);
  EXPECT_EQ(Frame().width(), 727);
  EXPECT_EQ(Frame().findChildren<QToolBar*>().size(), 0);
  EXPECT_EQ(Frame().pos(), QPoint(0, 0));
}

TEST_F(AppStartupTest, ResizeAndMaximiseLeaveTheWindowAsItIs) {
  ASSERT_TRUE(Start());
  const QSize fixed = Frame().size();
  Frame().resize(1000, 800);
  QApplication::processEvents();
  EXPECT_EQ(Frame().size(), fixed);
  EXPECT_EQ(Frame().minimumSize(), fixed);
  EXPECT_EQ(Frame().maximumSize(), fixed);
  Frame().showMaximized();
  QApplication::processEvents();
  EXPECT_EQ(Frame().size(), fixed);
  EXPECT_EQ(Frame().View().size(), QSize(727, 487));
  EXPECT_FALSE(Frame().windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(Frame().windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(Frame().windowFlags() & Qt::WindowCloseButtonHint);
}

TEST_F(AppStartupTest, ExitWritesRecentFilesBack) {
  const std::string path = MakeDrumSet("exit.drums");
  ASSERT_TRUE(Start(path));
  Frame().close();
  Stop();
  QSettings settings(QSettings::NativeFormat, QSettings::UserScope,
                     "Local AppWizard-Generated Applications", "Thumper");
  EXPECT_EQ(settings.value("Recent File List/File1").toString().toStdString(), path);
}

TEST_F(AppStartupTest, ProgramStartedOnMissingFileEndsWithErrorStatus) {
  const ProcessResult r = RunThumper({files / "missing.drums"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("missing.drums was not found."), std::string::npos) << r.err;
}

TEST_F(AppStartupTest, ProgramStartedOnDamagedFileEndsWithErrorStatus) {
  const std::string path = files / "junk.drums";
  WriteTextFile(path, "junk");
  const ProcessResult r = RunThumper({path});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("Unexpected file format."), std::string::npos) << r.err;
}

TEST_F(AppStartupTest, ProgramRejectsUnknownOptionsAndSecondFile) {
  EXPECT_EQ(RunThumper({"kit.drums", "--bogus"}).status, 1);
  EXPECT_EQ(RunThumper({"a.drums", "b.drums"}).status, 1);
  EXPECT_EQ(RunThumper({"a.drums", "--screenshot"}).status, 1);
}

TEST_F(AppStartupTest, ScreenshotOptionWritesPictureOfTheWindow) {
  const std::string kit = MakeDrumSet("shot.drums");
  const std::string png = files / "shot.png";
  const ProcessResult r = RunThumper({kit, "--screenshot", png});
  ASSERT_EQ(r.status, 0) << r.err;
  QImage picture(QString::fromStdString(png));
  ASSERT_FALSE(picture.isNull());
  EXPECT_EQ(picture.width(), 727);
  EXPECT_GT(picture.height(), 487);  // the view and the menu bar
}

TEST_F(AppStartupTest, RelativeNameIsKeptAsAFullPath) {
  const std::string path = MakeDrumSet("relative.drums");
  const auto before = std::filesystem::current_path();
  std::filesystem::current_path(files.path());
  const bool started = Start("./relative.drums");
  std::filesystem::current_path(before);
  ASSERT_TRUE(started);
  EXPECT_EQ(std::filesystem::path(Doc().GetPathName()), std::filesystem::path(path));
  EXPECT_EQ(app->Recent().Entries().front(), Doc().GetPathName());
}

TEST(AppCommandLineTest, ParsesFileAndScreenshot) {
  AppCommandLine line = ParseAppCommandLine({"kit.drums", "--screenshot", "a.png"});
  EXPECT_EQ(line.strFile, "kit.drums");
  EXPECT_EQ(line.strScreenshot, "a.png");
  EXPECT_TRUE(line.strError.empty());
  EXPECT_TRUE(ParseAppCommandLine({}).strFile.empty());
  EXPECT_FALSE(ParseAppCommandLine({"a", "b"}).strError.empty());
  EXPECT_FALSE(ParseAppCommandLine({"a", "--x"}).strError.empty());
}

}  // namespace
}  // namespace thumper::test
