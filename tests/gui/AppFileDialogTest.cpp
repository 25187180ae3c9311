// The one place a file dialog is made: filters, modes, the overwrite prompt,
// the default extension and the initial name; and that real dialogs never
// wait for a user on a platform nobody can see.
#include <gtest/gtest.h>
#include <QFileDialog>
#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include "app/DocManager.h"
#include "app/QtUiServices.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

TEST(FileFilterTest, NameBeforeTheBarPatternAfterIt) {
  const auto entries = ParseFileFilter("Wav Files (*.wav) | *.wav||");
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].strName, "Wav Files (*.wav)");
  EXPECT_EQ(entries[0].strPattern, "*.wav");
  EXPECT_EQ(QtNameFilters("Wav Files (*.wav) | *.wav||"), QStringList{"Wav Files (*.wav)"});
  EXPECT_EQ(QtNameFilters("FileEx Files (*.drums) | *.drums||"),
            QStringList{"FileEx Files (*.drums)"});
}

TEST(FileFilterTest, PatternTheNameDoesNotShowIsAdded) {
  // Qt matches what the parentheses hold, so they must hold the real pattern.
  EXPECT_EQ(QtNameFilters("Drum set | *.drums||"), QStringList{"Drum set (*.drums)"});
  EXPECT_EQ(QtNameFilters("Sounds (wav) | *.wav;*.WAV||"),
            QStringList{"Sounds (wav) (*.wav *.WAV)"});
  EXPECT_EQ(QtNameFilters(kDocFilter),
            (QStringList{"FileEx Files (*.drums)", "Hydrogen drum kits (drumkit.xml *.h2drumkit)",
                         "SFZ drum kits (*.sfz)", "All Files (*)"}));
  EXPECT_TRUE(QtNameFilters("").isEmpty());
  EXPECT_TRUE(QtNameFilters("||").isEmpty());
  EXPECT_EQ(QtNameFilters("Odd|"), QStringList{"Odd (*)"});
}

TEST(FileDialogParamsTest, DefaultExtensionOnlyWhenTheNameHasNone) {
  EXPECT_EQ(WithDefaultExtension("/k/set", ".drums"), "/k/set.drums");
  EXPECT_EQ(WithDefaultExtension("/k/set.old", ".drums"), "/k/set.old");
  EXPECT_EQ(WithDefaultExtension("/k.d/set", ".drums"), "/k.d/set.drums");
  EXPECT_EQ(WithDefaultExtension("/k/set", ""), "/k/set");
  EXPECT_EQ(WithDefaultExtension("/k/set", "slist"), "/k/set.slist");
}

FileDialogParams Params(bool open, uint32_t flags, std::string ext = ".drums") {
  FileDialogParams p;
  p.bOpen = open;
  p.nFlags = flags;
  p.strDefExt = std::move(ext);
  p.strFilter = "Drum set (*.drums) | *.drums||";
  return p;
}

TEST(FileDialogParamsTest, OpenAndSaveModesAndTheOverwritePrompt) {
  auto open = MakeFileDialog(Params(true, ofn::kStandard), nullptr);
  EXPECT_EQ(open->acceptMode(), QFileDialog::AcceptOpen);
  EXPECT_EQ(open->fileMode(), QFileDialog::AnyFile);
  EXPECT_EQ(open->defaultSuffix().toStdString(), "drums");
  EXPECT_EQ(open->nameFilters(), QStringList{"Drum set (*.drums)"});
  EXPECT_EQ(open->windowTitle().toStdString(), "Open");

  auto save = MakeFileDialog(Params(false, ofn::kStandard), nullptr);
  EXPECT_EQ(save->acceptMode(), QFileDialog::AcceptSave);
  EXPECT_FALSE(save->testOption(QFileDialog::DontConfirmOverwrite));
  EXPECT_EQ(save->windowTitle().toStdString(), "Save As");

  auto quietSave = MakeFileDialog(Params(false, ofn::kHideReadOnly), nullptr);
  EXPECT_TRUE(quietSave->testOption(QFileDialog::DontConfirmOverwrite));
}

TEST(FileDialogParamsTest, MustExistMultipleSelectionAndTitle) {
  EXPECT_EQ(MakeFileDialog(Params(true, ofn::kMustExist, ".wav"), nullptr)->fileMode(),
            QFileDialog::ExistingFile);
  FileDialogParams many = Params(true, ofn::kLoadSamples, "");
  many.strTitle = "Select one or more files to open";
  auto dialog = MakeFileDialog(many, nullptr);
  EXPECT_EQ(dialog->fileMode(), QFileDialog::ExistingFiles);
  EXPECT_TRUE(dialog->defaultSuffix().isEmpty());
  EXPECT_EQ(dialog->windowTitle().toStdString(), "Select one or more files to open");
}

TEST(FileDialogParamsTest, InitialNameWithFolderOpensThere) {
  TempDir dir;
  FileDialogParams p = Params(true, ofn::kMustExist, ".wav");
  p.strInitialName = dir / "kick.wav";
  auto dialog = MakeFileDialog(p, nullptr);
  EXPECT_EQ(QFileInfo(dialog->directory().absolutePath()).canonicalFilePath(),
            QFileInfo(QString::fromStdString(dir.path().string())).canonicalFilePath());
}

TEST(FileDialogParamsTest, CancelledDialogChoosesNothing) {
  const FileDialogParams p = Params(false, ofn::kStandard);
  auto dialog = MakeFileDialog(p, nullptr);
  dialog->setResult(QDialog::Rejected);
  const FileDialogResult r = FileDialogChoice(*dialog, p);
  EXPECT_FALSE(r.bOk);
  EXPECT_TRUE(r.paths.empty());
}

TEST(QtUiServicesTest, UnseenPlatformAnswersWithoutWaiting) {
  QtUiServices ui;
  ASSERT_TRUE(ui.Unattended());  // the tests run offscreen
  EXPECT_EQ(ui.MessageBox("Save changes to x?", "", MsgButtons::YesNoCancel), MsgResult::No);
  EXPECT_EQ(ui.MessageBox("Proceed?", "Deleting", MsgButtons::OkCancel), MsgResult::Cancel);
  EXPECT_EQ(ui.MessageBox("Note", "", MsgButtons::Ok), MsgResult::Ok);
  EXPECT_FALSE(ui.FileDialog(Params(true, ofn::kStandard)).bOk);
  EXPECT_FALSE(ui.CreateGroupDialog("Group..").has_value());
}

TEST(FileDialogLayoutTest, OpensRoomyAndThenAsTheUserLeftIt) {
  FileDialogLayout layout;
  auto first = MakeFileDialog(Params(true, ofn::kStandard), nullptr);
  layout.Apply(*first);
  const QSize room = QGuiApplication::primaryScreen()->availableSize();
  EXPECT_GE(first->width(), std::min(FileDialogLayout::kWidth, room.width() * 9 / 10));
  EXPECT_LE(first->width(), room.width());
  EXPECT_LE(first->height(), room.height());
  EXPECT_GT(first->width(), QFileDialog().sizeHint().width());

  first->resize(610, 430);
  layout.Remember(*first);
  auto second = MakeFileDialog(Params(false, ofn::kStandard, ".slist"), nullptr);
  layout.Apply(*second);
  EXPECT_EQ(second->size(), QSize(610, 430));
}

}  // namespace
}  // namespace thumper::test
