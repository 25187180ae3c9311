// Octave pairs, the cell hit test, own-sample cells and the note display.
#include "FaceFixture.h"

namespace thumper::test {
namespace {

class KeyboardTest : public FaceTest {
 protected:
  void SetUp() override {
    FaceTest::SetUp();
    Load();
  }
  KeyboardPanels& keys() { return face->Keyboards(); }
  // Cell k of a panel shows the key image set at x offset setX.
  bool CellShows(int panel, int k, int setX) {
    const Rect& src = kCellSource[k];
    return FaceShows(surface(), face->Regions().CellRect(panel, k), src.left + setX, src.top);
  }
  bool CellAtRest(int panel, int k) {
    return FaceAtRest(surface(), face->Regions().CellRect(panel, k));
  }
  bool MidiInLit() { return FaceShows(surface(), 581, 440, 54, 45, 500, 280); }
  bool MidiInDark() { return FaceAtRest(surface(), {581, 440, 635, 485}); }
};

TEST_F(KeyboardTest, CellRectanglesAreTheSourcesMovedOntoThePanels) {
  const ViewRegions& r = face->Regions();
  EXPECT_EQ(r.m_rcCell[0], (Rect{11, 286, 37, 323}));
  EXPECT_EQ(r.m_rcCellSource[15], (Rect{65, 0, 82, 30}));       // key 3 layer 0 ends at 82
  EXPECT_EQ(r.m_rcCellSource[58], (Rect{223, 119, 248, 155}));  // key 11 layer 3 starts at 119
  EXPECT_EQ(r.CellRect(1, 59), (Rect{216 + 274, 158 + 286, 248 + 274, 195 + 286}));
  for (int k = 0; k < kCellsPerPanel; ++k)
    for (int j = k + 1; j < kCellsPerPanel; ++j) {
      const Rect &a = kCellSource[k], &b = kCellSource[j];
      const bool overlap =
          a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
      EXPECT_FALSE(overlap) << k << " and " << j;
    }
}

TEST_F(KeyboardTest, EveryCellHitsItsSlotAndLayerAtItsCornersInEitherPanel) {
  const ViewRegions& r = face->Regions();
  for (int first : {0, 24, 48}) {
    for (int panel = 0; panel < 2; ++panel) {
      for (int k = 0; k < kCellsPerPanel; ++k) {
        const Rect rc = r.CellRect(panel, k);
        const CellHit want{first + panel * 12 + k / 5, k % 5};
        for (auto [x, y] : {std::pair{rc.left, rc.top}, {rc.right - 1, rc.bottom - 1}}) {
          EXPECT_EQ(r.CellAt(x, y, first), want) << "cell " << k << " panel " << panel;
        }
        EXPECT_NE(r.CellAt(rc.right, rc.bottom - 1, first), want);
        EXPECT_NE(r.CellAt(rc.left, rc.bottom, first), want);
      }
    }
  }
}

TEST_F(KeyboardTest, GapsAndTheSpaceBetweenThePanelsHitNoCell) {
  const ViewRegions& r = face->Regions();
  for (int x = 255; x <= 273; ++x)
    for (int y = 286; y < 481; y += 7) EXPECT_FALSE(r.CellAt(x, y, 0)) << x << "," << y;
  EXPECT_FALSE(r.CellAt(20, 286 + 38, 0));       // between layers 0 and 1 of key 0
  EXPECT_FALSE(r.CellAt(7 + 37, 286 + 170, 0));  // between the fronts of C and D
  EXPECT_FALSE(r.CellAt(7 + 2, 300, 0));         // left of key 0
  EXPECT_FALSE(r.CellAt(7 + 82, 286 + 10, 0));   // the pixel key 3 layer 0 leaves out
  EXPECT_TRUE(r.CellAt(7 + 82, 286 + 40, 0));
  EXPECT_FALSE(r.CellAt(7 + 230, 286 + 118, 0));  // the row key 11 layer 3 leaves out
  EXPECT_FALSE(r.CellAt(100, 200, 0));
}

TEST_F(KeyboardTest, ChoosingEachPairDrawsItsLitImageAndLabels) {
  struct Case {
    int x, y, first, litSourceY, litDestY, leftX, leftY, rightX, rightY;
  };
  for (const Case& c : {Case{600, 300, 0, 196, 296, 250, 196, 250, 238},
                        Case{600, 340, 24, 232, 332, 250, 280, 353, 196},
                        Case{600, 370, 48, 270, 369, 353, 238, 353, 280}}) {
    EXPECT_TRUE(keys().ChooseOctavePair(c.x, c.y));
    EXPECT_EQ(keys().m_nFirstShownSlot, c.first);
    EXPECT_TRUE(FaceShows(surface(), 558, c.litDestY, 105, 34, 130, c.litSourceY)) << c.first;
    EXPECT_TRUE(FaceShows(surface(), 11, 242, 103, 42, c.leftX, c.leftY)) << c.first;
    EXPECT_TRUE(FaceShows(surface(), 278, 242, 103, 42, c.rightX, c.rightY)) << c.first;
  }
}

TEST_F(KeyboardTest, PairFiveSixIsLitFromRow369ButHitFrom370) {
  EXPECT_FALSE(keys().ChooseOctavePair(600, 369));
  EXPECT_FALSE(keys().ChooseOctavePair(600, 331));  // between 1+2 and 3+4
  EXPECT_FALSE(keys().ChooseOctavePair(600, 403));
  EXPECT_EQ(keys().m_nFirstShownSlot, 0);
  EXPECT_TRUE(keys().ChooseOctavePair(600, 370));
  EXPECT_EQ(keys().m_nFirstShownSlot, 48);
}

TEST_F(KeyboardTest, ChoosingThePairAlreadyShownRedrawsAndPutsLitCellsToRest) {
  keys().ShowNotePlaying(3, 1, true);
  ASSERT_TRUE(CellShows(0, 3 * 5 + 1, kKeyImagePlayingX));
  changed.clear();
  EXPECT_TRUE(keys().ChooseOctavePair(600, 300));
  EXPECT_FALSE(changed.empty());
  EXPECT_TRUE(CellAtRest(0, 3 * 5 + 1));
}

TEST_F(KeyboardTest, OwnSampleCellsOfTheShownPairShowTheAssignedLook) {
  GiveOwnSample(0, 0);
  GiveOwnSample(13, 2);
  GiveOwnSample(30, 4);
  doc.m_nLayerSource[LayerIndex(0, 1)] = 0;  // borrows layer 0: rests empty
  face->FullRepaint();
  EXPECT_TRUE(CellShows(0, 0, kKeyImageAssignedX));
  EXPECT_TRUE(CellShows(1, 1 * 5 + 2, kKeyImageAssignedX));
  EXPECT_TRUE(CellAtRest(0, 1));
  EXPECT_TRUE(CellAtRest(0, 6 * 5 + 4));  // slot 30 is not shown
  keys().ChooseOctavePair(600, 340);
  EXPECT_TRUE(CellShows(0, 6 * 5 + 4, kKeyImageAssignedX));
  EXPECT_TRUE(CellAtRest(0, 0));
}

TEST_F(KeyboardTest, NoteOnLightsMidiInAndThePlayedCellOfAShownSlot) {
  keys().ShowNotePlaying(14, 3, true);
  EXPECT_TRUE(MidiInLit());
  EXPECT_TRUE(CellShows(1, 2 * 5 + 3, kKeyImagePlayingX));
  keys().ShowNotePlaying(0, 4, false);  // no sound: pressed look
  EXPECT_TRUE(CellShows(0, 4, kKeyImagePressedX));
}

TEST_F(KeyboardTest, WithPairThreeFourNote60LightsTheLeftFirstKeyAndNote40OnlyMidiIn) {
  keys().ChooseOctavePair(600, 340);
  keys().ShowNotePlaying(60 - 36, 0, true);
  EXPECT_TRUE(CellShows(0, 0, kKeyImagePlayingX));
  keys().ShowNoteReleased(60 - 36);
  changed.clear();
  keys().ShowNotePlaying(40 - 36, 0, true);
  EXPECT_TRUE(MidiInLit());
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0], (Rect{581, 440, 635, 485}));
}

TEST_F(KeyboardTest, ReleasePutsAllFiveCellsOfTheKeyBackToRest) {
  GiveOwnSample(5, 0);
  face->FullRepaint();
  keys().ShowNotePlaying(5, 0, true);
  keys().ShowNotePlaying(5, 3, true);
  keys().ShowNotePlaying(6, 1, true);
  keys().ShowNoteReleased(5);
  EXPECT_TRUE(MidiInDark());
  EXPECT_TRUE(CellShows(0, 25, kKeyImageAssignedX));
  for (int layer = 1; layer < 5; ++layer) EXPECT_TRUE(CellAtRest(0, 25 + layer));
  EXPECT_TRUE(CellShows(0, 31, kKeyImagePlayingX));  // another key stays lit
}

TEST_F(KeyboardTest, ReleaseOutsideTheShownRangeOnlyDarkensMidiIn) {
  keys().ChooseOctavePair(600, 340);
  keys().ShowNotePlaying(30, 2, true);
  changed.clear();
  keys().ShowNoteReleased(4);
  EXPECT_TRUE(MidiInDark());
  ASSERT_EQ(changed.size(), 1u);
  EXPECT_EQ(changed[0], (Rect{591, 442, 625, 481}));
  EXPECT_TRUE(CellShows(0, 6 * 5 + 2, kKeyImagePlayingX));
}

TEST_F(KeyboardTest, RightPanelReleaseRestoresFromItsOwnPosition) {
  GiveOwnSample(23, 4);
  keys().ShowNotePlaying(23, 1, false);
  keys().ShowNoteReleased(23);
  EXPECT_TRUE(CellAtRest(1, 11 * 5 + 1));
  EXPECT_TRUE(CellShows(1, 11 * 5 + 4, kKeyImageAssignedX));
}

TEST_F(KeyboardTest, SlotsBeyondTheShownPairAndBadLayersOnlyLightMidiIn) {
  for (int slot : {24, 71, 127}) {
    changed.clear();
    keys().ShowNotePlaying(slot, 0, true);
    ASSERT_EQ(changed.size(), 1u) << slot;
  }
  changed.clear();
  keys().ShowNotePlaying(0, 7, true);
  EXPECT_EQ(changed.size(), 1u);
}

}  // namespace
}  // namespace thumper::test
