// The widget: its size and name, the face it paints, the events it forwards and
// the note events it drains.
#include <QImage>
#include <QTest>
#include <chrono>
#include <deque>
#include <thread>

#include "FaceFixture.h"
#include "audio/CommandQueue.h"
#include "audio/WakeSignal.h"
#include "view/CThumperView.h"

namespace thumper::test {
namespace {

class ViewTest : public ::testing::Test {
 protected:
  CThumperDoc doc;
  SampleListState list;
  ScriptedUi ui;
  CThumperView view{doc, list, ui};

  void SetUp() override {
    view.OnInitialUpdate();
    view.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  }
  const Surface& surface() { return view.GetSurface(); }
  QImage Grab() { return view.grab().toImage().convertToFormat(QImage::Format_RGB32); }
};

struct RecordingHandler : ViewPointerHandler {
  std::vector<std::string> calls;
  void OnLeftPressed(int x, int y) override { Add("left-press", x, y); }
  void OnLeftReleased(int x, int y) override { Add("left-release", x, y); }
  void OnLeftDoubleClicked(int x, int y) override { Add("left-double", x, y); }
  void OnRightPressed(int x, int y) override { Add("right-press", x, y); }
  void OnRightReleased(int x, int y) override { Add("right-release", x, y); }
  void OnPointerMoved(int x, int y) override { Add("move", x, y); }
  bool OnKeyPressed(int key) override {
    calls.push_back("key " + std::to_string(key));
    return true;
  }
  void Add(const char* what, int x, int y) {
    calls.push_back(std::string(what) + " " + std::to_string(x) + "," + std::to_string(y));
  }
};

TEST_F(ViewTest, IsAFixed727By487WidgetNamedKlonkDrum) {
  EXPECT_EQ(view.size(), QSize(727, 487));
  EXPECT_EQ(view.minimumSize(), QSize(727, 487));
  EXPECT_EQ(view.maximumSize(), QSize(727, 487));
  EXPECT_EQ(view.windowTitle(), "KLONK Drum");
}

TEST_F(ViewTest, PaintsTheFaceItDrew) {
  const QImage shown = Grab();
  ASSERT_EQ(shown.size(), QSize(727, 487));
  EXPECT_EQ(shown.pixel(0, 0), CommittedSheet().pixel(0, 332));
  EXPECT_EQ(shown.pixel(726, 486), CommittedSheet().pixel(726, 818));
  EXPECT_EQ(shown, surface().Face());
}

TEST_F(ViewTest, PointerMovesLightButtonsAndAPressChoosesTheOctavePair) {
  QTest::mouseMove(&view, QPoint(580, 150));
  EXPECT_EQ(view.Face().m_nHoverButton, kLoadSet);
  QTest::mouseMove(&view, QPoint(100, 100));
  EXPECT_EQ(view.Face().m_nHoverButton, kNoButton);
  QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(600, 380));
  EXPECT_EQ(view.Keyboards().m_nFirstShownSlot, 48);
  QCoreApplication::processEvents();
  EXPECT_EQ(Grab().pixel(600, 380), CommittedSheet().pixel(130 + 42, 270 + 11));
}

TEST_F(ViewTest, PressOnTheThumbDragsTheList) {
  doc.m_pGroupNames->push_back("G");
  for (int i = 0; i < 40; ++i) doc.m_pGroupList[0]->push_back("/s/" + std::to_string(i) + ".wav");
  view.FullRepaint();
  const Rect thumb = view.SampleList().m_rcThumb;
  QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(515, thumb.top + 5));
  QTest::mouseMove(&view, QPoint(515, thumb.top + 45));
  EXPECT_GT(list.m_nListScroll, 0);
  QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(515, thumb.top + 45));
  const int scroll = list.m_nListScroll;
  QTest::mouseMove(&view, QPoint(515, thumb.top + 80));
  EXPECT_EQ(list.m_nListScroll, scroll);
}

TEST_F(ViewTest, AnInstalledHandlerGetsEveryPointerEventInstead) {
  RecordingHandler handler;
  view.SetPointerHandler(&handler);
  QTest::mouseMove(&view, QPoint(580, 150));
  QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(600, 380));
  QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(601, 381));
  QTest::mouseDClick(&view, Qt::LeftButton, {}, QPoint(20, 300));
  QTest::mousePress(&view, Qt::RightButton, {}, QPoint(30, 40));
  QTest::mouseRelease(&view, Qt::RightButton, {}, QPoint(30, 40));
  QTest::keyClick(&view, Qt::Key_Backspace);
  EXPECT_EQ(view.Face().m_nHoverButton, kNoButton);
  EXPECT_EQ(view.Keyboards().m_nFirstShownSlot, 0);
  // QTest's double click is the double-click event alone.
  const std::vector<std::string> want = {"move 580,150",
                                         "left-press 600,380",
                                         "left-release 601,381",
                                         "left-double 20,300",
                                         "right-press 30,40",
                                         "right-release 30,40",
                                         "key " + std::to_string(Qt::Key_Backspace)};
  std::vector<std::string> got = handler.calls;
  // QTest moves the pointer before each press; only the first move is ours.
  std::erase_if(
      got, [](const std::string& c) { return c.rfind("move", 0) == 0 && c != "move 580,150"; });
  EXPECT_EQ(got, want);
  view.SetPointerHandler(nullptr);
}

TEST_F(ViewTest, NoteEventsAreDrainedOnTheUiThreadWithinAFrame) {
  std::deque<NoteEvent> queue = {
      {NoteEvent::Kind::Playing, 2, 1, true},
      {NoteEvent::Kind::Playing, 14, 4, false},
  };
  view.SetNoteEventSource([&](NoteEvent& e) {
    if (queue.empty()) return false;
    e = queue.front();
    queue.pop_front();
    return true;
  });
  QTest::qWait(20);
  EXPECT_TRUE(queue.empty());
  const ViewRegions& r = view.Regions();
  EXPECT_TRUE(
      FaceShows(surface(), r.CellRect(0, 11), kCellSource[11].left + 500, kCellSource[11].top));
  EXPECT_TRUE(FaceShows(surface(), r.CellRect(1, 14), kCellSource[14].left, kCellSource[14].top));
  EXPECT_TRUE(FaceShows(surface(), 581, 440, 54, 45, 500, 280));
  queue.push_back({NoteEvent::Kind::Released, 2, 0, false});
  QTest::qWait(20);
  EXPECT_TRUE(FaceAtRest(surface(), r.CellRect(0, 11)));
  EXPECT_TRUE(FaceAtRest(surface(), {581, 440, 635, 485}));
  view.SetNoteEventSource({});
}

// Woken by the trigger instead of a timer: after a long rest with no timer
// running, a note pushed from another thread is drawn promptly, and its
// release too.
TEST_F(ViewTest, AWokenViewDrawsANoteThatComesAfterALongRest) {
  WakeSignal wake;
  CommandQueue<NoteEvent> queue(64);
  view.SetNoteEventSource([&](NoteEvent& e) { return queue.TryPop(e); }, wake.Fd(),
                          [&] { wake.Clear(); });
  QTest::qWait(1000);  // at rest: nothing to do
  const ViewRegions& r = view.Regions();
  const auto sent = std::chrono::steady_clock::now();
  std::thread audio([&] {
    queue.TryPush({NoteEvent::Kind::Playing, 2, 1, true});
    wake.Raise();
  });
  audio.join();
  // A generous bound: the benchmark measures the real figure.
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        return FaceShows(surface(), r.CellRect(0, 11), kCellSource[11].left + 500,
                         kCellSource[11].top);
      },
      500));
  EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::milliseconds(500));
  queue.TryPush({NoteEvent::Kind::Released, 2, 0, false});
  wake.Raise();
  EXPECT_TRUE(QTest::qWaitFor([&] { return FaceAtRest(surface(), r.CellRect(0, 11)); }, 500));
  view.SetNoteEventSource({});
}

TEST(ViewPalette, ForcedEightBitDepthUsesThePaletteSheetAndMovesSayLoColor) {
  CThumperDoc doc;
  SampleListState list;
  ScriptedUi ui;
  CThumperView view{doc, list, ui};
  view.SetColourDepth(8);
  view.OnInitialUpdate();
  EXPECT_TRUE(view.Face().m_bPaletteMode);
  EXPECT_EQ(view.Face().m_palSkin.size(), 256);
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  ui.messages.clear();
  view.move(view.pos() + QPoint(10, 10));
  QCoreApplication::processEvents();
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"LoColor"});
}

TEST(ViewPalette, TrueColourMovesSayNothing) {
  CThumperDoc doc;
  SampleListState list;
  ScriptedUi ui;
  CThumperView view{doc, list, ui};
  view.OnInitialUpdate();
  view.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&view));
  view.move(view.pos() + QPoint(10, 10));
  QCoreApplication::processEvents();
  EXPECT_FALSE(view.Face().m_bPaletteMode);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace thumper::test
