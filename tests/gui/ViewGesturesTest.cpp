// The left-button gestures: carrying samples onto cells, groups, samples and
// cells to the trash, the thumb, and what a release sets in the drum set.
#include "GestureFixture.h"

namespace thumper::test {
namespace {

class GestureTest : public GestureFixture {};

TEST_F(GestureTest, ASampleDroppedOnAnEmptyKeyFillsAllFiveRowsAndPlays) {
  AddGroupOfSamples(3);
  Doc().SetModifiedFlag(false);
  Drag(SampleRow(1), Cell(4, 3));
  // The first sample of a key goes on layer 0 whatever row it was dropped on.
  EXPECT_EQ(Doc().m_layerSample[LayerIndex(4, 0)], (LayerSampleRef{0, 1}));
  for (int layer = 0; layer < 5; ++layer) EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(4, layer)], 0);
  EXPECT_TRUE(Runtime().HasVoice(4, 0));
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_FALSE(Gestures().m_bDragSample);
  EXPECT_FALSE(Gestures().m_bCapture);
}

TEST_F(GestureTest, ASecondSampleOnAnotherRowBecomesThatLayersOwn) {
  AddGroupOfSamples(2);
  Drag(SampleRow(0), Cell(2, 0));
  Drag(SampleRow(1), Cell(2, 2));
  EXPECT_EQ(Doc().m_layerSample[LayerIndex(2, 2)], (LayerSampleRef{0, 1}));
  EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(2, 2)], 2);
  EXPECT_TRUE(Runtime().HasVoice(2, 2));
}

TEST_F(GestureTest, ReleasesOverThePanelsMarkTheDrumSetAndChangeNothingElse) {
  AddGroupOfSamples(1);
  const auto sources = Doc().m_nLayerSource;
  for (auto [from, to] : {std::pair{Cell(3, 1), Cell(3, 1)},   // a plain click on a cell
                          std::pair{GroupRow(0), Cell(7, 0)},  // a group onto a key
                          std::pair{QPoint(600, 30), Cell(7, 0)}}) {
    Doc().SetModifiedFlag(false);
    Drag(from, to);
    EXPECT_TRUE(Doc().IsModified());
    EXPECT_EQ(Doc().m_nLayerSource, sources);
  }
  // A sample released in a gap between cells: modified, nothing assigned.
  Doc().SetModifiedFlag(false);
  const Rect& panel = Regions().m_rcLeftPanel;
  QPoint gap;
  for (int y = panel.top; y < panel.bottom && gap.isNull(); ++y)
    for (int x = panel.left; x < panel.right && gap.isNull(); ++x)
      if (!View().Keyboards().CellAt(x, y)) gap = QPoint(x, y);
  ASSERT_FALSE(gap.isNull());
  Drag(SampleRow(0), gap);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Doc().m_nLayerSource, sources);
}

TEST_F(GestureTest, PressesPastTheFilledRowsCarryNothing) {
  AddGroupOfSamples(2);
  Press(SampleRow(5));
  EXPECT_FALSE(Gestures().m_bDragSample);
  Release(Trash());
  Press(GroupRow(3));
  EXPECT_FALSE(Gestures().m_bDragGroup);
  Release(Trash());
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(Doc().GroupCount(), 1);
}

TEST_F(GestureTest, ALayerCellToTheTrashAsksAboutThatLayerAndMarksEvenOnCancel) {
  AddGroupOfSamples(2);
  Drag(SampleRow(0), Cell(5, 0));
  Drag(SampleRow(1), Cell(5, 3));
  Doc().SetModifiedFlag(false);
  ui.messageAnswers.push_back(MsgResult::Cancel);
  Drag(Cell(5, 3), Trash());
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "This will remove sample From sound 5 layer 4. Proceed?");
  EXPECT_EQ(ui.messages[0].caption, "Deleting");
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::OkCancel);
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(5, 3)], 3);

  Drag(Cell(5, 3), Trash());  // OK
  EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(5, 3)], 0);
  EXPECT_FALSE(Runtime().HasVoice(5, 3));
  EXPECT_TRUE(Runtime().HasVoice(5, 0));
}

TEST_F(GestureTest, TheTopCellToTheTrashEmptiesTheKey) {
  AddGroupOfSamples(1);
  Drag(SampleRow(0), Cell(9, 0));
  Drag(Cell(9, 2), Trash());  // a borrowing layer: still the layer question
  EXPECT_EQ(ui.messages.back().text, "This will remove sample From sound 9 layer 3. Proceed?");
  Drag(Cell(9, 0), Trash());
  EXPECT_EQ(ui.messages.back().text,
            "This will remove all samples belonging to the sound. Proceed?");
  for (int layer = 0; layer < 5; ++layer) EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(9, layer)], -1);
  EXPECT_FALSE(Runtime().HasVoice(9, 0));
  // An empty key's top cell: asked, confirmed, still empty, marked.
  Doc().SetModifiedFlag(false);
  Drag(Cell(10, 0), Trash());
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(10, 0)], -1);
}

TEST_F(GestureTest, AfterACancelTheNextQuestionIsAboutWhatIsCarriedNow) {
  AddGroupOfSamples(1);
  ui.messageAnswers.push_back(MsgResult::Cancel);
  Drag(SampleRow(0), Trash());
  EXPECT_EQ(ui.messages.back().text, "This will remove sample from list and Drumset. Proceed?");
  ui.messageAnswers.push_back(MsgResult::Cancel);
  Drag(Cell(1, 1), Trash());
  EXPECT_EQ(ui.messages.back().text, "This will remove sample From sound 1 layer 2. Proceed?");
  EXPECT_EQ(Doc().m_pGroupList[0]->size(), 1u);
}

TEST_F(GestureTest, ASampleToTheTrashLeavesTheListAndEveryKeyThatUsedIt) {
  const auto paths = AddGroupOfSamples(3);
  Drag(SampleRow(1), Cell(0, 0));
  Drag(SampleRow(2), Cell(1, 0));
  Drag(SampleRow(1), Trash());
  EXPECT_EQ(*Doc().m_pGroupList[0], (StringList{paths[0], paths[2]}));
  EXPECT_EQ(Doc().m_nLayerSource[LayerIndex(0, 0)], -1);
  EXPECT_FALSE(Runtime().HasVoice(0, 0));
  EXPECT_EQ(Doc().m_layerSample[LayerIndex(1, 0)], (LayerSampleRef{0, 1}));
  EXPECT_TRUE(Runtime().HasVoice(1, 0));
}

TEST_F(GestureTest, AGroupToTheTrashGoesWithItsSoundsAndBackspaceAsksTheSame) {
  AddGroupOfSamples(1, "a");
  ui.createGroupAnswers.push_back("Second");
  Click(Button(kCreateGroup));
  AddGroupOfSamples(1, "b");
  ASSERT_EQ(Doc().GroupCount(), 2);
  Drag(SampleRow(0), Cell(6, 0));  // group 1's sample

  ui.messageAnswers.push_back(MsgResult::Cancel);
  Drag(GroupRow(1), Trash());
  EXPECT_EQ(ui.messages.back().text,
            "This will remove all samples belonging to the group (also from sounds!). Proceed?");
  EXPECT_EQ(Doc().GroupCount(), 2);
  Drag(GroupRow(1), Trash());
  EXPECT_EQ(Doc().GroupCount(), 1);
  EXPECT_EQ(List().m_nSelectedGroup, 0);
  EXPECT_FALSE(Runtime().HasVoice(6, 0));

  ui.messageAnswers.push_back(MsgResult::Cancel);
  QTest::keyClick(&View(), Qt::Key_Backspace);
  EXPECT_EQ(ui.messages.back().caption, "Deleting");
  EXPECT_EQ(Doc().GroupCount(), 1);
  QTest::keyClick(&View(), Qt::Key_Backspace);
  EXPECT_EQ(Doc().GroupCount(), 0);
  // No group left: nothing to ask about.
  const size_t asked = ui.messages.size();
  QTest::keyClick(&View(), Qt::Key_Backspace);
  EXPECT_EQ(ui.messages.size(), asked);
}

TEST_F(GestureTest, PressingAGroupShowsItFromTheTop) {
  AddGroupOfSamples(1, "a");
  ui.createGroupAnswers.push_back("Long");
  Click(Button(kCreateGroup));
  AddGroupOfSamples(30, "b");
  List().m_nListScroll = 9;
  Click(GroupRow(0));
  EXPECT_EQ(List().m_nSelectedGroup, 0);
  Click(GroupRow(1));
  EXPECT_EQ(List().m_nSelectedGroup, 1);
  EXPECT_EQ(List().m_nListScroll, 0);
}

TEST_F(GestureTest, TheThumbScrollsOnlyWhileItIsHeld) {
  AddGroupOfSamples(40);
  SampleListPanel& list = View().SampleList();
  const QPoint thumb = Centre(list.m_rcThumb);
  Press(thumb);
  EXPECT_TRUE(list.m_bThumbDrag);
  Move(thumb + QPoint(0, 60));
  const int32_t scrolled = List().m_nListScroll;
  EXPECT_GT(scrolled, 0);
  Release(Cell(0, 0));  // released over a panel: marked, and the drag ends
  EXPECT_FALSE(list.m_bThumbDrag);
  Move(thumb + QPoint(0, 100));
  EXPECT_EQ(List().m_nListScroll, scrolled);
}

TEST_F(GestureTest, TheCursorShowsWhatIsCarriedUntilTheFirstMoveAfterTheRelease) {
  AddGroupOfSamples(1);
  Press(SampleRow(0));
  EXPECT_EQ(View().cursor().hotSpot(), QPoint(kCarryCursorHotX, kCarryCursorHotY));
  Release(Trash());  // Ok: the sample goes
  Press(Cell(0, 0));
  EXPECT_EQ(View().cursor().hotSpot(), QPoint(kCellCursorHotX, kCellCursorHotY));
  Release(QPoint(600, 30));
  EXPECT_TRUE(View().testAttribute(Qt::WA_SetCursor));
  Move(QPoint(600, 31));
  EXPECT_FALSE(View().testAttribute(Qt::WA_SetCursor));
}

TEST_F(GestureTest, ADoubleClickOpensTheKeysPropertiesBetweenTheReleases) {
  std::vector<std::string> events;
  Gestures().m_hooks.editSoundProperties = [&](int32_t slot) {
    events.push_back("properties " + std::to_string(slot));
  };
  View().Keyboards().ChooseOctavePair(Centre(Regions().m_rcPair34).x(),
                                      Centre(Regions().m_rcPair34).y());
  const QPoint p = Cell(24, 2);
  Press(p);
  Release(p);
  Doc().SetModifiedFlag(false);
  Send(QEvent::MouseButtonDblClick, Qt::LeftButton, p);
  EXPECT_EQ(events, std::vector<std::string>{"properties 24"});
  Release(p);  // the second release: nothing
  EXPECT_FALSE(Doc().IsModified());
  Send(QEvent::MouseButtonDblClick, Qt::LeftButton, QPoint(600, 30));
  EXPECT_EQ(events.size(), 1u);
}

}  // namespace
}  // namespace thumper::test
