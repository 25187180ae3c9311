// The window under a session manager on a real X server with a window manager
// (openbox): it starts hidden, shows when the session asks, and the session's
// SIGTERM ends it within a second, with the window shown and even with the
// box that the first close shows still open. (Qt's offscreen platform does
// not show what a real display does here.)

#include <signal.h>

#include "DesktopSession.h"
#include "support/FakeNsmServer.h"

namespace thumper::test {
namespace {

class NsmDesktopTest : public DesktopTest {
 protected:
  void SetUp() override {
    DesktopTest::SetUp();
    if (IsSkipped()) return;
    if (Which("openbox").empty()) GTEST_SKIP() << "openbox is not installed";
    ASSERT_TRUE(display->StartWindowManager());
    ASSERT_TRUE(nsm.Ok());
  }

  // The window started by the session, opened into it and shown on its request.
  std::unique_ptr<BackgroundProcess> StartShown() {
    setenv("NSM_URL", nsm.Url().c_str(), 1);
    auto thumper = std::make_unique<BackgroundProcess>(ThumperArgv({}));
    unsetenv("NSM_URL");
    EXPECT_TRUE(nsm.TakePath("/nsm/server/announce", 30s)) << thumper->ErrSoFar();
    nsm.ReplyAnnounce();
    EXPECT_TRUE(nsm.TakePath("/nsm/client/gui_is_hidden", 10s));
    nsm.SendOpen(files / "s/Desk.nDESK", "Desk", "nDESK");
    const auto opened = nsm.TakeAnswer("/nsm/client/open", 30s);
    EXPECT_TRUE(opened && opened->path == "/reply") << thumper->ErrSoFar();
    // Still hidden: nothing on the screen.
    EXPECT_TRUE(Xdotool({"search", "--onlyvisible", "--name", "Klonk Bammer"}).out.empty());
    nsm.Send("/nsm/client/show_optional_gui");
    EXPECT_TRUE(nsm.TakePath("/nsm/client/gui_is_shown", 10s));
    window = FindWindow("Klonk Bammer", *thumper);
    EXPECT_FALSE(window.empty()) << thumper->ErrSoFar();
    return thumper;
  }

  // SIGTERM, and the end within a second with status 0.
  void ExpectEndsAtOnce(BackgroundProcess& thumper) {
    ASSERT_TRUE(thumper.Running()) << thumper.ErrSoFar();
    kill(thumper.Pid(), SIGTERM);
    const bool ended = WaitFor([&] { return !thumper.Running(); }, 1000ms);
    EXPECT_TRUE(ended) << "still running a second after SIGTERM";
    const ProcessResult result = thumper.Stop(SIGKILL);
    if (ended) EXPECT_EQ(result.status, 0) << result.err;
  }

  FakeNsmServer nsm;
  std::string window;
};

TEST_F(NsmDesktopTest, ASigtermEndsTheShownWindowAtOnce) {
  auto thumper = StartShown();
  ASSERT_FALSE(window.empty());
  ExpectEndsAtOnce(*thumper);
}

TEST_F(NsmDesktopTest, ASigtermEndsTheWindowWhileTheHiddenBoxIsOpen) {
  auto thumper = StartShown();
  ASSERT_FALSE(window.empty());
  // The window manager's close (Alt+F4 in openbox): the box that the first
  // close shows ("Thumper goes on playing...") waits for OK.
  Xdotool({"windowactivate", "--sync", window});
  Xdotool({"key", "--window", window, "alt+F4"});
  EXPECT_FALSE(FindWindow("Thumper", *thumper, 10s).empty()) << "no box";
  ExpectEndsAtOnce(*thumper);
}

}  // namespace
}  // namespace thumper::test
