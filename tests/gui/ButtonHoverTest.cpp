// The button under the pointer lights; gaps keep the last one; leaving unlights.
#include "FaceFixture.h"

namespace thumper::test {
namespace {

class ButtonHoverTest : public FaceTest {
 protected:
  void SetUp() override {
    FaceTest::SetUp();
    Load();
  }
  bool Lit(int32_t button) {
    const ButtonArt* art = FindButtonArt(button);
    return FaceShows(surface(), art->ptLitDest.x, art->ptLitDest.y, art->nWidth, art->nHeight,
                     art->ptLitSource.x, art->ptLitSource.y);
  }
  bool BlockAtRest() { return FaceShows(surface(), 551, 124, 120, 101, 551, 456); }
};

TEST_F(ButtonHoverTest, EachButtonLightsAloneUnderThePointer) {
  for (const ButtonArt& art : kButtons) {
    face->ButtonHover(art.rcHit.left + 3, art.rcHit.top + 3);
    EXPECT_EQ(face->m_nHoverButton, art.nButton);
    EXPECT_TRUE(Lit(art.nButton)) << art.nButton;
    for (const ButtonArt& other : kButtons) {
      if (other.nButton == art.nButton) continue;
      const Rect& hit = other.rcHit;
      EXPECT_TRUE(FaceAtRest(surface(), {hit.left + 2, hit.top + 2, hit.right - 2, hit.bottom - 2}))
          << art.nButton << " lights " << other.nButton;
    }
  }
}

TEST_F(ButtonHoverTest, ButtonsHitAtTheirRectangleEdgesOnly) {
  const ViewRegions& r = face->Regions();
  EXPECT_EQ(r.ButtonAt(552, 124), kOptions);
  EXPECT_EQ(r.ButtonAt(608, 142), kOptions);
  EXPECT_EQ(r.ButtonAt(609, 130), kNoButton);
  EXPECT_EQ(r.ButtonAt(552, 144), kNoButton);
  EXPECT_EQ(r.ButtonAt(613, 150), kNoButton);
  EXPECT_EQ(r.ButtonAt(614, 145), kSaveSet);
  EXPECT_EQ(r.ButtonAt(667, 219), kLoadGroup);
  EXPECT_EQ(r.ButtonAt(668, 219), kNoButton);
  EXPECT_EQ(r.ButtonAt(620, 130), kNoButton);  // beside OPTIONS
}

TEST_F(ButtonHoverTest, MovingStraightToAnotherButtonRelights) {
  face->ButtonHover(560, 150);  // LOAD SET
  face->ButtonHover(620, 150);  // SAVE SET
  EXPECT_EQ(face->m_nHoverButton, kSaveSet);
  EXPECT_TRUE(Lit(kSaveSet));
  EXPECT_TRUE(FaceAtRest(surface(), {553, 147, 608, 162}));
}

TEST_F(ButtonHoverTest, GapsInTheBlockLeaveTheLastButtonLit) {
  face->ButtonHover(560, 175);  // CREATE GROUP
  changed.clear();
  face->ButtonHover(611, 175);  // the gap between the columns
  face->ButtonHover(560, 193);  // the gap between rows
  EXPECT_EQ(face->m_nHoverButton, kCreateGroup);
  EXPECT_TRUE(Lit(kCreateGroup));
  EXPECT_TRUE(changed.empty());
}

TEST_F(ButtonHoverTest, TheSameButtonAgainDrawsNothing) {
  face->ButtonHover(560, 130);
  changed.clear();
  face->ButtonHover(570, 135);
  EXPECT_TRUE(changed.empty());
}

TEST_F(ButtonHoverTest, LeavingTheBlockUnlightsOnce) {
  face->ButtonHover(620, 210);  // LOAD GROUP
  face->ButtonHover(700, 300);
  EXPECT_EQ(face->m_nHoverButton, kNoButton);
  EXPECT_TRUE(BlockAtRest());
  changed.clear();
  face->ButtonHover(10, 10);
  face->ButtonHover(668, 150);  // the right edge is outside the block
  EXPECT_TRUE(changed.empty());
}

}  // namespace
}  // namespace thumper::test
