// The document steps from the File menu: titles after New, Open and Save, and
// the "Save changes?" question before a changed drum set is closed or replaced.
#include <filesystem>

#include "AppFixture.h"

namespace thumper::test {
namespace {

using AppDocumentTest = AppFixture;

TEST_F(AppDocumentTest, OpenShowsTheFilesTitle) {
  const std::string path = MakeDrumSet("jazz.drums");
  ASSERT_TRUE(Start());
  ui.AnswerFile(path);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  EXPECT_EQ(Title().toStdString(), "jazz.drums - Klonk Bammer");
  EXPECT_EQ(Doc().GetPathName(), path);
}

TEST_F(AppDocumentTest, SaveAsShowsTheNewTitleAndNewResetsIt) {
  ASSERT_TRUE(Start());
  const std::string path = files / "mine.drums";
  ui.AnswerFile(path);
  FileMenuItem("Save &As...")->trigger();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(Title().toStdString(), "mine.drums - Klonk Bammer");
  FileMenuItem("&New\tCtrl+N")->trigger();
  EXPECT_EQ(Title().toStdString(), "New Drumset (Not Saved) - Klonk Bammer");
  EXPECT_TRUE(Doc().GetPathName().empty());
}

TEST_F(AppDocumentTest, SaveWritesToItsOwnPathWithoutADialog) {
  const std::string path = MakeDrumSet("own.drums");
  ASSERT_TRUE(Start(path));
  std::filesystem::remove(path);
  Doc().SetModifiedFlag(true);
  FileMenuItem("&Save\tCtrl+S")->trigger();
  EXPECT_TRUE(ui.fileDialogs.empty());
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(AppDocumentTest, UnchangedDrumSetIsReplacedWithoutAQuestion) {
  ASSERT_TRUE(Start());
  FileMenuItem("&New\tCtrl+N")->trigger();
  EXPECT_TRUE(Texts().empty());
}

TEST_F(AppDocumentTest, SaveChangesQuestionNamesTheTitle) {
  const std::string path = MakeDrumSet("named.drums");
  ASSERT_TRUE(Start(path));
  Doc().SetModifiedFlag(true);
  ui.messageAnswers.push_back(MsgResult::Cancel);
  FileMenuItem("&New\tCtrl+N")->trigger();
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Save changes to named.drums?");
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNoCancel);
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
}

TEST_F(AppDocumentTest, CancelKeepsEverythingAsItWas) {
  const std::string path = MakeDrumSet("keep.drums");
  const std::string other = MakeDrumSet("other.drums");
  ASSERT_TRUE(Start(path));
  Doc().SetModifiedFlag(true);
  const auto before = ReadFileBytes(path);
  // New, Open and a recent file: each stops at Cancel.
  ui.messageAnswers = {MsgResult::Cancel, MsgResult::Cancel};
  FileMenuItem("&New\tCtrl+N")->trigger();
  ui.AnswerFile(other);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  EXPECT_EQ(Texts().size(), 2u);
  EXPECT_EQ(Doc().GetPathName(), path);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Title().toStdString(), "keep.drums - Klonk Bammer");
  EXPECT_EQ(ReadFileBytes(path), before);
  EXPECT_EQ(app->Recent().Entries().front(), path);
}

TEST_F(AppDocumentTest, NoDiscardsTheChanges) {
  const std::string path = MakeDrumSet("drop.drums");
  const std::string other = MakeDrumSet("next.drums");
  ASSERT_TRUE(Start(path));
  Doc().SetModifiedFlag(true);
  ui.messageAnswers = {MsgResult::No};
  ui.AnswerFile(other);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  EXPECT_EQ(Doc().GetPathName(), other);
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(AppDocumentTest, YesSavesUnderItsNameThenGoesOn) {
  const std::string path = MakeDrumSet("save.drums");
  ASSERT_TRUE(Start(path));
  std::filesystem::remove(path);
  Doc().SetModifiedFlag(true);
  ui.messageAnswers = {MsgResult::Yes};
  FileMenuItem("&New\tCtrl+N")->trigger();
  EXPECT_TRUE(std::filesystem::exists(path));
  EXPECT_EQ(Title().toStdString(), "New Drumset (Not Saved) - Klonk Bammer");
}

TEST_F(AppDocumentTest, YesWithoutANameAsksForOneAndCancelledSaveKeepsEverything) {
  ASSERT_TRUE(Start());
  Doc().SetModifiedFlag(true);
  ui.messageAnswers = {MsgResult::Yes};
  ui.CancelFile();
  Frame().close();
  EXPECT_TRUE(Frame().isVisible());
  EXPECT_TRUE(Doc().IsModified());
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_FALSE(ui.fileDialogs[0].bOpen);

  const std::string path = files / "named-at-exit.drums";
  ui.messageAnswers = {MsgResult::Yes};
  ui.AnswerFile(path);
  Frame().close();
  EXPECT_FALSE(Frame().isVisible());
  EXPECT_TRUE(std::filesystem::exists(path));
}

TEST_F(AppDocumentTest, FailedSaveKeepsTheProgramRunning) {
  ASSERT_TRUE(Start());
  Doc().SetModifiedFlag(true);
  ui.messageAnswers = {MsgResult::Yes};
  ui.AnswerFile(files / "no-such-folder/x.drums");
  Frame().close();
  EXPECT_TRUE(Frame().isVisible());
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Title().toStdString(), "New Drumset (Not Saved) - Klonk Bammer");
  // The question, then why the save failed.
  EXPECT_GE(Texts().size(), 2u);
}

TEST_F(AppDocumentTest, FailedOpenKeepsTheDrumSetAndItsTitle) {
  const std::string path = MakeDrumSet("stay.drums");
  ASSERT_TRUE(Start(path));
  ui.AnswerFile(files / "absent.drums");
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  EXPECT_EQ(Texts(), std::vector<std::string>{files / "absent.drums" + " was not found."});
  EXPECT_EQ(Doc().GetPathName(), path);
  EXPECT_EQ(Title().toStdString(), "stay.drums - Klonk Bammer");
}

TEST_F(AppDocumentTest, TitleFollowsASaveMadeOutsideTheMenu) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Doc().OnSaveDocument(files / "panel.drums", ui));
  Frame().SyncWithDocument();
  EXPECT_EQ(Title().toStdString(), "panel.drums - Klonk Bammer");
  EXPECT_EQ(app->Recent().Entries().front(), files / "panel.drums");
}

}  // namespace
}  // namespace thumper::test
