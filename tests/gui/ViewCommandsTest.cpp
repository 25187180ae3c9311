// The panel buttons and the right button: loading and saving sets, loading
// samples into groups, previews, and finding a key's sample in the list.
#include <QLineEdit>
#include <QPushButton>
#include "GestureFixture.h"

#include "drumset/FileIo.h"

namespace thumper::test {
namespace {

class CommandTest : public GestureFixture {
 protected:
  // The list's rows only: the free-memory read-out above them changes on its own.
  QImage SampleColumn() {
    const Rect& rc = Regions().m_rcSampleColumn;
    return View().GetSurface().Face().copy(rc.left, rc.top, rc.Width(), rc.Height());
  }
};

TEST_F(CommandTest, LoadSampleWithoutAGroupAsksForOneFirstAndCancelThereEndsIt) {
  ui.createGroupAnswers.push_back(std::nullopt);
  Click(Button(kLoadSample));
  EXPECT_EQ(ui.createGroupOffers, std::vector<std::string>{"New Group"});
  EXPECT_TRUE(ui.fileDialogs.empty());
  EXPECT_EQ(Doc().GroupCount(), 0);
  EXPECT_FALSE(Gestures().m_bCapture);
}

TEST_F(CommandTest, LoadSampleAppendsTheChosenPathsInOrder) {
  const auto paths = AddGroupOfSamples(3);
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  const FileDialogParams& params = ui.fileDialogs[0];
  EXPECT_TRUE(params.bOpen);
  EXPECT_EQ(params.strDefExt, "");
  EXPECT_EQ(params.strFilter, "Wave Files (*.wav) | *.wav||");
  EXPECT_EQ(params.strTitle, "Select one or more files to open");
  EXPECT_EQ(params.nFlags,
            ofn::kAllowMultiSelect | ofn::kFileMustExist | ofn::kOverwritePrompt | ofn::kExplorer);
  EXPECT_EQ(*Doc().m_pGroupList[0], StringList(paths.begin(), paths.end()));
  EXPECT_EQ(List().m_nListScroll, 0);
  EXPECT_TRUE(Doc().IsModified());
  // Nothing is loaded until a sample is dropped on a key.
  for (int slot = 0; slot < kSlotCount; ++slot) EXPECT_FALSE(Runtime().HasVoice(slot, 0));
}

TEST_F(CommandTest, AGroupMadeForLoadSampleStaysWhenTheFileDialogIsCancelled) {
  ui.createGroupAnswers.push_back("Toms");
  ui.CancelFile();
  Click(Button(kLoadSample));
  ASSERT_EQ(Doc().GroupCount(), 1);
  EXPECT_EQ((*Doc().m_pGroupNames)[0], "Toms");
  EXPECT_TRUE(Doc().m_pGroupList[0]->empty());
}

TEST_F(CommandTest, CreateGroupAndTheGroupFileButtonsWorkOnTheSelectedGroup) {
  const auto paths = AddGroupOfSamples(2);
  ui.createGroupAnswers.push_back("Spare");
  Click(Button(kCreateGroup));
  EXPECT_EQ(ui.createGroupOffers.back(), "Group..");
  EXPECT_EQ(Doc().GroupCount(), 2);
  EXPECT_EQ(List().m_nSelectedGroup, 1);

  Click(GroupRow(0));
  const std::string list = files / "Snares.slist";
  ui.AnswerFile(list);
  Click(Button(kSaveGroup));
  EXPECT_EQ((*Doc().m_pGroupNames)[0], "Snares");
  ui.AnswerFile(list);
  Click(Button(kLoadGroup));
  ASSERT_EQ(Doc().GroupCount(), 3);
  EXPECT_EQ(List().m_nSelectedGroup, 2);
  EXPECT_EQ(*Doc().m_pGroupList[2], StringList(paths.begin(), paths.end()));
}

TEST_F(CommandTest, SaveSetAndLoadSetGoThroughTheDocumentSteps) {
  AddGroupOfSamples(1);
  Drag(SampleRow(0), Cell(3, 0));
  const std::string path = files / "Rock.drums";
  ui.AnswerFile(path);
  Click(Button(kSaveSet));
  ASSERT_EQ(ui.fileDialogs.size(), 2u);
  EXPECT_FALSE(ui.fileDialogs[1].bOpen);
  EXPECT_EQ(ui.fileDialogs[1].strDefExt, ".drums");
  EXPECT_EQ(ui.fileDialogs[1].strFilter, "Drum set (*.drums) | *.drums||");
  EXPECT_EQ(ui.fileDialogs[1].nFlags, ofn::kStandard);
  EXPECT_FALSE(Doc().IsModified());
  EXPECT_EQ(Title(), "Rock.drums - Klonk Bammer");
  EXPECT_EQ(app->Recent().Entries().front(), path);

  // A new set, changed, then LOAD SET: the save question first, then the load.
  app->Docs().OnFileNew();
  AddGroupOfSamples(1, "other");
  ui.messageAnswers.push_back(MsgResult::No);
  ui.AnswerFile(path);
  Click(Button(kLoadSet));
  EXPECT_TRUE(ui.fileDialogs.back().bOpen);
  EXPECT_EQ(ui.fileDialogs.back().strFilter, kDrumSetOpenFilter);
  EXPECT_NE(std::find(ui.MessageTexts().begin(), ui.MessageTexts().end(),
                      "Save changes to New Drumset (Not Saved)?"),
            ui.MessageTexts().end());
  EXPECT_EQ(Title(), "Rock.drums - Klonk Bammer");
  EXPECT_EQ(Doc().m_layerSample[LayerIndex(3, 0)], (LayerSampleRef{0, 0}));
  EXPECT_TRUE(Runtime().HasVoice(3, 0));
}

TEST_F(CommandTest, CancelledSetDialogsChangeNothing) {
  AddGroupOfSamples(1);
  ui.CancelFile();
  Click(Button(kSaveSet));
  ui.CancelFile();
  Click(Button(kLoadSet));
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Doc().GroupCount(), 1);
  EXPECT_EQ(Title(), "New Drumset (Not Saved) - Klonk Bammer");
}

TEST_F(CommandTest, OptionsAndTheOctavePairsRunAtThePress) {
  int options = 0;
  Gestures().m_hooks.showOptions = [&] { ++options; };
  Press(Button(kOptions));
  EXPECT_EQ(options, 1);
  Release(Button(kOptions));
  Press(Centre(Regions().m_rcPair56));
  EXPECT_EQ(View().Keyboards().m_nFirstShownSlot, 48);
  Release(Centre(Regions().m_rcPair56));
  // A gap between two buttons does nothing.
  Click(QPoint(611, 130));
  EXPECT_EQ(options, 1);
}

TEST_F(CommandTest, RightPressOnAKeyFindsItsSampleInTheList) {
  AddGroupOfSamples(1, "a");
  ui.createGroupAnswers.push_back("Two");
  Click(Button(kCreateGroup));
  ui.createGroupAnswers.push_back("Three");
  Click(Button(kCreateGroup));
  AddGroupOfSamples(25, "c");
  List().m_nListScroll = 9;
  // Entry 20 of group 2 is in the shown rows 11: drop it on a key.
  Drag(SampleRow(11), Cell(8, 0));
  ASSERT_EQ(Doc().m_layerSample[LayerIndex(8, 0)], (LayerSampleRef{2, 20}));
  Click(GroupRow(0));

  Press(Cell(8, 0), Qt::RightButton);
  EXPECT_EQ(List().m_nSelectedGroup, 2);
  EXPECT_EQ(View().SampleList().m_nHighlightSample, 20);
  EXPECT_EQ(List().m_nListScroll, 5);
  Release(Cell(8, 0), Qt::RightButton);
  EXPECT_EQ(View().SampleList().m_nHighlightSample, -1);

  // A layer that claims its own sample but names none (a damaged file) finds nothing.
  Click(GroupRow(0));
  Doc().m_nLayerSource[LayerIndex(9, 0)] = 0;
  Press(Cell(9, 0), Qt::RightButton);
  EXPECT_EQ(List().m_nSelectedGroup, 0);
  Release(Cell(9, 0), Qt::RightButton);

  // A borrowing layer finds nothing.
  Click(GroupRow(0));
  Press(Cell(8, 3), Qt::RightButton);
  EXPECT_EQ(List().m_nSelectedGroup, 0);
  Release(Cell(8, 3), Qt::RightButton);
}

TEST_F(CommandTest, RightPressOnARowShowsItsPathAndPlaysItUntilTheRelease) {
  const auto paths = AddGroupOfSamples(2);
  const QImage before = SampleColumn();
  const Rect row = Regions().m_rcSampleRow[1];
  Press(SampleRow(1), Qt::RightButton);
  EXPECT_EQ(Gestures().m_rcPreviewRow, row);
  ASSERT_NE(Runtime().m_pPreviewVoice, nullptr);
  EXPECT_EQ(Runtime().m_pPreviewVoice->m_strName, paths[1]);
  // The whole path in yellow on black.
  bool yellow = false;
  for (int x = row.left; x < row.right; ++x)
    for (int y = row.top; y < row.bottom; ++y)
      yellow |= View().GetSurface().FacePixel(x, y) == kPreviewTextColour;
  EXPECT_TRUE(yellow);
  EXPECT_NE(SampleColumn(), before);

  Release(SampleRow(1), Qt::RightButton);
  EXPECT_EQ(Runtime().m_pPreviewVoice, nullptr);
  EXPECT_EQ(Gestures().m_rcPreviewRow, Rect{});
  EXPECT_EQ(SampleColumn(), before);
}

TEST_F(CommandTest, APreviewOfAFileThatIsGoneRestoresTheRowAfterItsBox) {
  const auto paths = AddGroupOfSamples(2);
  std::filesystem::remove(paths[0]);
  WriteTextFile(paths[1], "found, but no sample");
  const QImage before = SampleColumn();
  ui.messages.clear();
  // The box about the missing file takes the release: the row is put back at once.
  Press(SampleRow(0), Qt::RightButton);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Could not OpenFile");
  EXPECT_EQ(Runtime().m_pPreviewVoice, nullptr);
  EXPECT_EQ(Gestures().m_rcPreviewRow, Rect{});
  EXPECT_EQ(SampleColumn(), before);
  Release(SampleRow(0), Qt::RightButton);
  EXPECT_EQ(SampleColumn(), before);

  // A file that opens but is no sample shows its path until the release.
  Press(SampleRow(1), Qt::RightButton);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_NE(SampleColumn(), before);
  Release(SampleRow(1), Qt::RightButton);
  EXPECT_EQ(SampleColumn(), before);
}

}  // namespace
}  // namespace thumper::test

namespace thumper::test {
namespace {

class DialogCommandTest : public GestureFixture {};

TEST_F(DialogCommandTest, ADoubleClickedKeyEditsItsSlotThroughSoundProperties) {
  AddGroupOfSamples(1);
  Drag(SampleRow(0), Cell(7, 0));
  answerSoundProps = [](CSoundPropsDlg& dlg) {
    dlg.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.NoteEdit()->text(), "8");
    dlg.VolumeEdit()->setText("-2500");
    dlg.SchemeEdit()->setText("2");
    dlg.OkButton()->click();
    return dlg.result() == QDialog::Accepted;
  };
  const QPoint p = Cell(7, 4);
  Click(p);
  Send(QEvent::MouseButtonDblClick, Qt::LeftButton, p);
  Release(p);
  EXPECT_EQ(Doc().m_noteSlot[7].nVolume, -2500);
  EXPECT_EQ(Doc().m_noteSlot[7].nScheme, 1);
}

TEST_F(DialogCommandTest, AnEmptyKeySaysSoInsteadOfOpeningTheDialog) {
  bool shown = false;
  answerSoundProps = [&](CSoundPropsDlg&) { return shown = true; };
  const QPoint p = Cell(2, 0);
  Click(p);
  Send(QEvent::MouseButtonDblClick, Qt::LeftButton, p);
  EXPECT_FALSE(shown);
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"No Sound here. Drag & Drop samples here."});
}

TEST_F(DialogCommandTest, TheOptionsButtonChangesTheChannelTheTriggerListensTo) {
  answerOptions = [](COptionsDlg& dlg) {
    dlg.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&dlg));
    EXPECT_EQ(dlg.ChannelEdit()->text(), "1");
    dlg.ChannelEdit()->setText("10");
    dlg.OkButton()->click();
    return dlg.result() == QDialog::Accepted;
  };
  Click(Button(kOptions));
  EXPECT_EQ(Runtime().m_trigger.Channel(), 10);
}

}  // namespace
}  // namespace thumper::test
