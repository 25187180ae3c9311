// The window on a real X server, driven by real pointer events: a sample
// dragged from the list onto a key, the drum set saved with Ctrl+S, and the
// program closed by SIGTERM. What is saved is read back from the file.

#include <csignal>

#include "DesktopSession.h"
#include "drumset/DrumsFile.h"

namespace thumper::test {
namespace {

using WindowMouseTest = DesktopTest;

TEST_F(WindowMouseTest, ASampleDraggedOntoAKeyIsSavedWithTheDrumSet) {
  const std::string kit = MakeKit("Kit", {"kick.wav", "snare.wav"});
  const auto savedBefore = ReadFileBytes(kit);
  BackgroundProcess thumper(ThumperArgv({kit}));

  const std::string window = FindWindow("Klonk Bammer", thumper);
  ASSERT_TRUE(thumper.Running()) << thumper.ErrSoFar();
  ASSERT_FALSE(window.empty());

  // No window manager: the window is at (0, 0) and the face sits under the menu bar.
  const ProcessResult geometry = Xdotool({"getwindowgeometry", "--shell", window});
  const size_t at = geometry.out.find("HEIGHT=");
  ASSERT_NE(at, std::string::npos) << geometry.out;
  const int menu = std::stoi(geometry.out.substr(at + 7)) - 487;
  ASSERT_GE(menu, 0);
  std::this_thread::sleep_for(500ms);  // the first paint

  // Row 1 of the list ("snare.wav") onto the top cell of the first key of Octave 2 (slot 12).
  const auto y = [&](int viewY) { return std::to_string(menu + viewY); };
  ASSERT_EQ(
      Xdotool({"mousemove", "150", y(46), "mousedown", "1", "sleep", "0.2", "mousemove", "250",
               y(200), "sleep", "0.2", "mousemove", "291", y(304), "sleep", "0.2", "mouseup", "1"})
          .status,
      0);
  std::this_thread::sleep_for(300ms);
  ASSERT_EQ(Xdotool({"key", "--window", window, "ctrl+s"}).status, 0);
  ASSERT_TRUE(WaitFor([&] { return ReadFileBytes(kit) != savedBefore; }, 10s))
      << thumper.ErrSoFar();

  const ProcessResult stopped = thumper.Stop(SIGTERM);
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  const std::optional<DrumSet> saved = ParseDrumSet(ReadFileBytes(kit));
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->m_layerSample[LayerIndex(12, 0)], (LayerSampleRef{0, 1}));
  for (int layer = 0; layer < kLayerCount; ++layer)
    EXPECT_EQ(saved->m_nLayerSource[LayerIndex(12, layer)], 0) << layer;
  EXPECT_EQ(saved->m_nLayerSource[LayerIndex(0, 0)], -1);
}

}  // namespace
}  // namespace thumper::test
