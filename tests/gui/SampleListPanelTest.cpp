// The sample list: rows, names, colours, the thumb and its drag, free memory.
#include "FaceFixture.h"
#include "view/SampleListPanel.h"

namespace thumper::test {
namespace {

class ListTest : public FaceTest {
 protected:
  void SetUp() override { FaceTest::SetUp(); }
  SampleListPanel& panel() { return face->SampleList(); }
  void WithSamples(int n) {
    AddGroup("Kicks", n);
    Load();
  }
  int RowPixels(int row, QRgb colour, int left = 120, int right = 340) {
    return CountPixels(surface(), {left, 28 + 12 * row, right, 40 + 12 * row}, colour);
  }
  int TrackPixels(QRgb colour) { return CountPixels(surface(), {510, 41, 524, 207}, colour); }
};

TEST(SampleNames, DisplayNameIsThePartAfterTheLastSeparator) {
  EXPECT_EQ(SampleDisplayName("C:\\a\\b\\kick.wav"), "kick.wav");
  EXPECT_EQ(SampleDisplayName("/home/me/drums/snare 2.wav"), "snare 2.wav");
  EXPECT_EQ(SampleDisplayName("D:\\kits/mixed\\tom.wav"), "tom.wav");
  EXPECT_EQ(SampleDisplayName("plain.wav"), "plain.wav");
  EXPECT_EQ(SampleDisplayName("C:\\folder\\"), "");
}

TEST(SampleNames, StoredBytesThatAreNotUtf8ShowAsWindows1252) {
  EXPECT_EQ(SampleDisplayName("C:\\Tr\xe4ume\\caf\xe9.wav"), QString::fromUtf8("café.wav"));
  EXPECT_EQ(GroupDisplayName("Br\xfc"
                             "cke"),
            QString::fromUtf8("Brücke"));
  EXPECT_EQ(SampleDisplayName("/k/\xc3\xa9t\xc3\xa9.wav"), QString::fromUtf8("été.wav"));
}

TEST(SampleNames, GroupNamesShowTheirFirstTwentyCharacters) {
  EXPECT_EQ(GroupDisplayName("ABCDEFGHIJKLMNOPQRSTUVWXY"), "ABCDEFGHIJKLMNOPQRST");
  EXPECT_EQ(GroupDisplayName("Short"), "Short");
  EXPECT_EQ(GroupDisplayName(std::string(20, 'x')), QString(20, 'x'));
  // Characters, not bytes: 25 accented letters still show 20.
  std::string accented;
  for (int i = 0; i < 25; ++i) accented += "\xc3\xa9";
  EXPECT_EQ(GroupDisplayName(accented).size(), 20);
  std::string emoji;
  for (int i = 0; i < 21; ++i) emoji += "\xf0\x9f\xa5\x81";
  EXPECT_EQ(GroupDisplayName(emoji).size(), 40);  // 20 characters, each a surrogate pair
}

TEST(FreeMemory, TextDividesByOneMillionTwentyFourThousand) {
  EXPECT_EQ(FreeMemoryText(1536000), "Free memory 1.50 MB");
  EXPECT_EQ(FreeMemoryText(1048576), "Free memory 1.02 MB");
  EXPECT_EQ(FreeMemoryText(0), "Free memory 0.00 MB");
  // Above 4 GiB the count is not wrapped.
  EXPECT_EQ(FreeMemoryText(8ull * 1024 * 1024 * 1024), "Free memory 8388.61 MB");
}

TEST(FreeMemory, ReadsMemAvailableOfThisMachine) {
  const uint64_t bytes = AvailableMemoryBytes();
  EXPECT_GT(bytes, 0u);
  EXPECT_EQ(bytes % 1024, 0u);
}

TEST_F(ListTest, FreeMemoryIsDrawnAmberOnTrueColourAndWhiteInPaletteMode) {
  WithSamples(0);
  const Rect text{350, 13, 475, 33};
  EXPECT_GT(CountPixels(surface(), text, kFreeMemoryColour), 20);
  EXPECT_EQ(CountPixels(surface(), text, kFreeMemoryPaletteColour), 0);
  SkinnedFace palette(doc, list, ui, [] { return uint64_t{1536000}; });
  palette.LoadSkin(8);
  palette.FullRepaint();
  EXPECT_GT(CountPixels(palette.GetSurface(), text, kFreeMemoryPaletteColour), 20);
  // Redrawing restores the background first, so a shorter text leaves nothing behind.
  availableBytes = 1048576;
  panel().DrawFreeMemory();
  const int before = CountPixels(surface(), text, kFreeMemoryColour);
  panel().DrawFreeMemory();
  EXPECT_EQ(CountPixels(surface(), text, kFreeMemoryColour), before);
}

TEST_F(ListTest, EmptyGroupShowsNoRowsADarkTrackAndEveryGroup) {
  AddGroup("Kicks", 0);
  AddGroup("Snares", 3);
  Load();
  EXPECT_EQ(RowPixels(0, kSampleNameColour), 0);
  EXPECT_EQ(TrackPixels(kTrackColour), 14 * 166);
  EXPECT_GT(CountPixels(surface(), face->Regions().m_rcGroupRow[0], kHighlightColour), 10);
  EXPECT_GT(CountPixels(surface(), face->Regions().m_rcGroupRow[1], kGroupNameColour), 10);
}

TEST_F(ListTest, SixteenSamplesFillTheRowsWithoutAThumb) {
  WithSamples(16);
  for (int row = 0; row < 16; ++row) EXPECT_GT(RowPixels(row, kSampleNameColour), 10) << row;
  EXPECT_EQ(TrackPixels(kTrackColour), 14 * 166);
  EXPECT_EQ(panel().m_rcThumb, (Rect{510, 41, 524, 69}));
}

TEST_F(ListTest, HighlightAtFiftyFromTheStart) {
  EXPECT_EQ(panel().m_nHighlightSample, 50);
  WithSamples(60);
  list.m_nListScroll = 44;
  panel().DrawSampleListPanel(false);
  EXPECT_GT(RowPixels(6, kHighlightColour), 10);
  EXPECT_EQ(RowPixels(6, kSampleNameColour), 0);
  EXPECT_EQ(RowPixels(5, kHighlightColour), 0);
}

TEST_F(ListTest, ScrollBeyondTheLastSampleDrawsNoRows) {
  WithSamples(20);
  list.m_nListScroll = 25;
  panel().DrawSampleListPanel(true);
  for (int row = 0; row < 16; ++row) EXPECT_EQ(RowPixels(row, kSampleNameColour), 0);
  list.m_nSelectedGroup = 7;  // names no group: no rows, no highlight
  panel().DrawSampleListPanel(false);
  EXPECT_EQ(CountPixels(surface(), face->Regions().m_rcGroupColumn, kHighlightColour), 0);
}

TEST_F(ListTest, LongNamesAreCutAtTheColumnsEdge) {
  doc.m_pGroupNames->push_back("G");
  doc.m_pGroupList[0]->push_back("/k/" + std::string(120, 'W') + ".wav");
  Load();
  EXPECT_GT(CountPixels(surface(), {480, 28, 509, 40}, kSampleNameColour), 5);
  EXPECT_EQ(CountPixels(surface(), {509, 28, 510, 40}, kSampleNameColour), 0);
}

TEST_F(ListTest, TwentyFiveCharacterGroupNamesDrawTwentyCharacters) {
  doc.m_pGroupNames->push_back("ABCDEFGHIJKLMNOPQRST");
  doc.m_pGroupNames->push_back("ABCDEFGHIJKLMNOPQRSTUVWXY");
  doc.m_pGroupList[1] = std::make_unique<StringList>();
  list.m_nSelectedGroup = 2;
  Load();
  const ViewRegions& r = face->Regions();
  Rect row0 = r.m_rcGroupRow[0], row1 = r.m_rcGroupRow[1];
  row0.right = row1.right = 340;
  // Both rows show the same 20 characters.
  for (int x = row0.left; x < 340; ++x)
    for (int y = 0; y < 12; ++y)
      ASSERT_EQ(surface().FacePixel(x, row0.top + y), surface().FacePixel(x, row1.top + y))
          << x << "," << y;
}

TEST_F(ListTest, TwentyWideCharactersOfAGroupNameEndLeftOfTheSampleColumn) {
  doc.m_pGroupNames->push_back("WWWWWWWWWWWWWWWWWWWW");
  doc.m_pGroupNames->push_back("MMMMMMMMMMMMMMMMMMMM@@@@");
  doc.m_pGroupList[1] = std::make_unique<StringList>();
  *doc.m_pGroupList[0] = {"/k/kick-2.wav"};
  Load();
  const ViewRegions& r = face->Regions();
  for (int row = 0; row < 2; ++row) {
    const Rect name = r.m_rcGroupRow[row];
    const QRgb colour = row == 0 ? kHighlightColour : kGroupNameColour;
    EXPECT_GT(CountPixels(surface(), {100, name.top, 118, name.bottom}, colour), 5) << row;
    EXPECT_EQ(CountPixels(surface(), {118, name.top, 140, name.bottom}, colour), 0) << row;
  }
  // The sample beside them keeps its own name.
  EXPECT_GT(CountPixels(surface(), r.m_rcSampleRow[0], kSampleNameColour), 20);
  EXPECT_EQ(CountPixels(surface(), {120, 28, 509, 40}, kHighlightColour), 0);
}

TEST_F(ListTest, ANameWiderThanItsRowStopsAtTheRowsEdge) {
  // Characters the list font lacks come from wider fonts: clipped, never spilled.
  doc.m_pGroupNames->push_back(
      "\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2"
      "\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97"
      "\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97\xE6\xBC\xA2"
      "\xE5\xAD\x97\xE6\xBC\xA2\xE5\xAD\x97");
  Load();
  const QImage before = surface().Face().copy(118, 0, 10, 487);
  face->SampleList().DrawSampleListPanel(false);
  EXPECT_EQ(surface().Face().copy(118, 0, 10, 487), before);
  EXPECT_TRUE(FaceAtRest(surface(), {118, 28, 120, 40}));
}

TEST_F(ListTest, TheFreeMemoryReadOutStaysInsideItsBox) {
  WithSamples(0);
  const QImage before = surface().Face();
  const Rect box{350, 13, 475, 33};
  for (uint64_t bytes : {uint64_t{0}, uint64_t{24'554'684'416}, ~uint64_t{0}}) {
    availableBytes = bytes;
    panel().DrawFreeMemory();
    for (int y = 0; y < kFaceHeight; ++y)
      for (int x = 0; x < kFaceWidth; ++x)
        if (!box.Contains(x, y))
          ASSERT_EQ(surface().FacePixel(x, y), before.pixel(x, y))
              << bytes << " at " << x << "," << y;
  }
  // A terabyte still shows whole, ending inside the box.
  availableBytes = uint64_t{999'999} * 1'024'000;
  panel().DrawFreeMemory();
  EXPECT_GT(CountPixels(surface(), {462, 13, 475, 33}, kFreeMemoryColour), 3);
}

TEST_F(ListTest, GroupsBeyondTheSixteenRowsAreNotDrawnBelowTheList) {
  for (int g = 0; g < 20; ++g) AddGroup("Group " + std::to_string(g), 0);
  Load();
  EXPECT_GT(CountPixels(surface(), face->Regions().m_rcGroupRow[15], kGroupNameColour), 10);
  EXPECT_TRUE(FaceShows(surface(), 11, 242, 103, 42, 250, 196));
  EXPECT_TRUE(FaceAtRest(surface(), {5, 222, 120, 242}));
}

struct ThumbCase {
  int n, scroll, top, bottom;
};

class ThumbRedraw : public ListTest, public ::testing::WithParamInterface<ThumbCase> {};

TEST_P(ThumbRedraw, PlacesTheThumbWithIntegerSteps) {
  const ThumbCase c = GetParam();
  AddGroup("Many", c.n);
  list.m_nListScroll = c.scroll;
  Load();
  EXPECT_EQ(panel().m_rcThumb, (Rect{510, c.top, 524, c.bottom}));
  EXPECT_EQ(panel().m_rcThumbInner, (Rect{512, c.top + 2, 522, c.bottom - 2}));
  EXPECT_EQ(panel().m_rcThumbCore, (Rect{514, c.top + 4, 520, c.bottom - 4}));
  EXPECT_EQ(surface().FacePixel(510, c.top), kThumbOuterColour);
  EXPECT_EQ(surface().FacePixel(512, c.top + 2), kThumbInnerColour);
  EXPECT_EQ(surface().FacePixel(515, (c.top + c.bottom) / 2), kThumbCoreColour);
  EXPECT_EQ(TrackPixels(kTrackColour), 14 * 166 - 14 * (c.bottom - c.top));
}

INSTANTIATE_TEST_SUITE_P(EdgeCases, ThumbRedraw,
                         ::testing::Values(ThumbCase{17, 0, 41, 197}, ThumbCase{17, 1, 51, 207},
                                           ThumbCase{20, 4, 73, 205}, ThumbCase{100, 84, 125, 151},
                                           ThumbCase{100, 0, 41, 67}, ThumbCase{200, 184, 194, 207},
                                           ThumbCase{200, 10, 51, 64}));

TEST_F(ListTest, DragToTheBottomUsesFloatingPointSteps) {
  struct Case {
    int n, top, bottom;
  };
  for (const Case& c : {Case{20, 75, 207}, Case{100, 181, 207}, Case{200, 194, 207}}) {
    doc.m_pGroupNames->clear();
    doc.m_pGroupList[0]->clear();
    AddGroup("G", c.n);
    list = {};
    face = std::make_unique<SkinnedFace>(doc, list, ui, [] { return uint64_t{1}; });
    Load();
    panel().m_ptThumbDrag = {515, 41};
    panel().m_bThumbDrag = true;
    panel().DragScrollThumb(515, 207);
    EXPECT_EQ(panel().m_rcThumb, (Rect{510, c.top, 524, c.bottom})) << c.n;
    EXPECT_EQ(list.m_nListScroll, c.n - 16) << c.n;
    EXPECT_EQ(panel().m_ptThumbDrag, (Point{515, 207}));
  }
}

TEST_F(ListTest, DragFollowsThePointersMovementAndTruncatesTheScroll) {
  WithSamples(20);  // hf 132.8, step 8.3, thumb height 132
  panel().m_ptThumbDrag = {515, 60};
  panel().DragScrollThumb(515, 77);  // top 41 + 17 = 58: (58 - 41) / 8.3 = 2.04
  EXPECT_EQ(list.m_nListScroll, 2);
  EXPECT_EQ(panel().m_rcThumb, (Rect{510, 58, 524, 190}));
  EXPECT_GT(RowPixels(0, kSampleNameColour), 10);
  panel().DragScrollThumb(515, 86);  // top 67: 3.13
  EXPECT_EQ(list.m_nListScroll, 3);
}

TEST_F(ListTest, DragIgnoresPointsOutsideTheBandAndResumesFromTheLastOne) {
  WithSamples(100);
  panel().m_ptThumbDrag = {515, 50};
  panel().DragScrollThumb(515, 60);  // thumb 51..77, scroll 10 / 1.66 = 6
  const Rect thumb = panel().m_rcThumb;
  const int scroll = list.m_nListScroll;
  changed.clear();
  panel().DragScrollThumb(515, 40);
  panel().DragScrollThumb(515, 208);
  EXPECT_TRUE(changed.empty());
  EXPECT_EQ(panel().m_rcThumb, thumb);
  EXPECT_EQ(list.m_nListScroll, scroll);
  panel().DragScrollThumb(515, 65);  // 5 below the last used point
  EXPECT_EQ(panel().m_rcThumb.top, thumb.top + 5);
}

TEST_F(ListTest, FastUpwardDragStopsAtTheTopWithScrollZero) {
  WithSamples(100);
  list.m_nListScroll = 50;
  panel().DrawSampleListPanel(false);
  panel().m_ptThumbDrag = {515, 200};
  panel().DragScrollThumb(515, 45);
  EXPECT_EQ(list.m_nListScroll, 0);
  EXPECT_EQ(panel().m_rcThumb, (Rect{510, 41, 524, 67}));
}

TEST_F(ListTest, DragWithSixteenOrFewerSamplesResetsTheScrollAndRedraws) {
  WithSamples(16);
  list.m_nListScroll = 3;
  changed.clear();
  panel().DragScrollThumb(515, 100);
  EXPECT_EQ(list.m_nListScroll, 0);
  EXPECT_FALSE(changed.empty());
  EXPECT_EQ(panel().m_rcThumb, (Rect{510, 41, 524, 69}));
}

TEST_F(ListTest, DragThatKeepsTheScrollRedrawsOnlyTheThumb) {
  WithSamples(17);  // step 10
  panel().m_ptThumbDrag = {515, 50};
  changed.clear();
  panel().DragScrollThumb(515, 53);
  EXPECT_EQ(list.m_nListScroll, 0);
  for (const Rect& rc : changed) EXPECT_GE(rc.left, 510);
}

}  // namespace
}  // namespace thumper::test
