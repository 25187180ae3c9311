// The window as a new user meets it on a desktop: placed with its title bar on
// screen under a real window manager (openbox) and on a bare X server, and the
// shortcuts working again after a dialog closed.

#include <chrono>
#include <csignal>

#include "DesktopSession.h"

namespace thumper::test {
namespace {

// The four numbers after "=" in xprop's "_NET_FRAME_EXTENTS(CARDINAL) = l, r, t, b".
std::vector<int> FrameExtents(const std::string& window) {
  const std::string out = XTool("xprop", {"-id", window, "_NET_FRAME_EXTENTS"}).out;
  std::vector<int> values;
  const size_t eq = out.find('=');
  if (eq == std::string::npos) return values;
  std::stringstream numbers(out.substr(eq + 1));
  for (std::string n; std::getline(numbers, n, ',');) values.push_back(std::stoi(n));
  return values;
}

// The client area's top-left corner on the screen, from xwininfo.
std::pair<int, int> ClientPosition(const std::string& window) {
  const std::string out = XTool("xwininfo", {"-id", window}).out;
  const auto field = [&](const std::string& name) {
    const size_t at = out.find(name);
    return at == std::string::npos ? -9999 : std::stoi(out.substr(at + name.size()));
  };
  return {field("Absolute upper-left X:"), field("Absolute upper-left Y:")};
}

class WindowDesktopTest : public DesktopTest {
 protected:
  std::string MakeKit() { return DesktopTest::MakeKit("WWWWWWWWWWWWWWWWWWWW", {"tom-low-3.wav"}); }
};

class FramePlacementTest : public WindowDesktopTest,
                           public ::testing::WithParamInterface<const char*> {};

// At every scale of the screen, counted in the display's own pixels.
TEST_P(FramePlacementTest, UnderOpenboxTheWholeFrameWithItsTitleBarIsAtTheOrigin) {
  if (Which("openbox").empty() || Which("xprop").empty() || Which("xwininfo").empty())
    GTEST_SKIP() << "openbox, xprop or xwininfo is not installed";
  ASSERT_TRUE(display->StartWindowManager());
  setenv("QT_SCALE_FACTOR", GetParam(), 1);
  BackgroundProcess thumper(ThumperArgv({MakeKit()}));
  const std::string window = FindWindow("Klonk Bammer", thumper);
  ASSERT_FALSE(window.empty()) << thumper.ErrSoFar();

  // The frame's extents are set once openbox has framed the window; the place
  // settles once the program has answered.
  std::vector<int> extents;
  std::pair<int, int> client;
  const bool placed = WaitFor(
      [&] {
        extents = FrameExtents(window);
        client = ClientPosition(window);
        return extents.size() == 4 && client.first - extents[0] == 0 &&
               client.second - extents[2] == 0;
      },
      10s);
  ASSERT_EQ(extents.size(), 4u) << "openbox gave the window no frame";
  EXPECT_GT(extents[2], 0) << "a title bar";
  EXPECT_TRUE(placed) << "frame at (" << client.first - extents[0] << ", "
                      << client.second - extents[2] << ")";
  // And it stays there.
  std::this_thread::sleep_for(500ms);
  client = ClientPosition(window);
  EXPECT_EQ(client.first - extents[0], 0);
  EXPECT_EQ(client.second - extents[2], 0);
  EXPECT_EQ(thumper.Stop(SIGTERM).status, 0);
}

INSTANTIATE_TEST_SUITE_P(Scales, FramePlacementTest, ::testing::Values("1", "2", "1.5"));

TEST_F(WindowDesktopTest, OnABareServerTheWindowIsAtTheOrigin) {
  if (Which("xwininfo").empty()) GTEST_SKIP() << "xwininfo is not installed";
  BackgroundProcess thumper(ThumperArgv({MakeKit()}));
  const std::string window = FindWindow("Klonk Bammer", thumper);
  ASSERT_FALSE(window.empty()) << thumper.ErrSoFar();
  std::pair<int, int> client;
  EXPECT_TRUE(WaitFor(
      [&] {
        return (client = ClientPosition(window)) == std::pair{0, 0};
      },
      5s))
      << client.first << ", " << client.second;
  EXPECT_EQ(thumper.Stop(SIGTERM).status, 0);
}

TEST_F(WindowDesktopTest, ShortcutsWorkAgainAfterADialogClosesWithoutAWindowManager) {
  BackgroundProcess thumper(ThumperArgv({MakeKit()}));
  const std::string window = FindWindow("Klonk Bammer", thumper);
  ASSERT_FALSE(window.empty()) << thumper.ErrSoFar();
  std::this_thread::sleep_for(500ms);
  // Keys go where the X focus is, as a user's typing does.
  for (int round = 0; round < 2; ++round) {
    ASSERT_EQ(Xdotool({"key", "ctrl+o"}).status, 0);
    std::string dialog;
    ASSERT_TRUE(WaitFor(
        [&] {
          const ProcessResult found = Xdotool({"search", "--onlyvisible", "--name", "^Open$"});
          dialog = found.out.substr(0, found.out.find('\n'));
          return !dialog.empty();
        },
        10s))
        << "Ctrl+O opened no dialog in round " << round;
    // A dialog is shown a moment before it takes the keyboard (longer on a busy
    // machine): Escape is pressed again each second while it stays open.
    auto pressed = std::chrono::steady_clock::now() - 1s;
    ASSERT_TRUE(WaitFor(
        [&] {
          if (Xdotool({"search", "--onlyvisible", "--name", "^Open$"}).out.empty()) return true;
          if (std::chrono::steady_clock::now() - pressed >= 1s) {
            Xdotool({"key", "Escape"});
            pressed = std::chrono::steady_clock::now();
          }
          return false;
        },
        10s))
        << "Escape closed no dialog in round " << round;
    std::this_thread::sleep_for(300ms);
  }
  EXPECT_EQ(thumper.Stop(SIGTERM).status, 0);
}

}  // namespace
}  // namespace thumper::test
