// The window on a real X server, driven by real pointer events: a sample
// dragged from the list onto a key, the drum set saved with Ctrl+S, and the
// program closed by SIGTERM. What is saved is read back from the file.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "drumset/CThumperDoc.h"
#include "drumset/DrumsFile.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

using namespace std::chrono_literals;

std::string Which(const std::string& program) {
  const char* path = std::getenv("PATH");
  std::stringstream dirs(path ? path : "/usr/bin:/bin");
  for (std::string dir; std::getline(dirs, dir, ':');)
    if (!dir.empty() && access((dir + "/" + program).c_str(), X_OK) == 0)
      return dir + "/" + program;
  return {};
}

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(50ms);
  }
  return true;
}

// A virtual X display of the test's own.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    for (int n = 300 + getpid() % 300, tries = 0; tries < 20; ++n, ++tries) {
      const std::string socket = "/tmp/.X11-unix/X" + std::to_string(n);
      if (std::filesystem::exists(socket) ||
          std::filesystem::exists("/tmp/.X" + std::to_string(n) + "-lock"))
        continue;
      m_pServer = std::make_unique<BackgroundProcess>(
          std::vector<std::string>{Which("Xvfb"), ":" + std::to_string(n), "-screen", "0",
                                   "1024x768x24", "-nolisten", "tcp"});
      if (WaitFor([&] { return std::filesystem::exists(socket) || !m_pServer->Running(); }, 10s) &&
          m_pServer->Running()) {
        m_strName = ":" + std::to_string(n);
        return;
      }
      m_pServer.reset();
    }
  }
  const std::string& Name() const { return m_strName; }

 private:
  std::unique_ptr<BackgroundProcess> m_pServer;
  std::string m_strName;
};

class WindowMouseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Which("Xvfb").empty() || Which("xdotool").empty())
      GTEST_SKIP() << "Xvfb or xdotool is not installed: no test with a real pointer";
    display = std::make_unique<VirtualDisplay>();
    ASSERT_FALSE(display->Name().empty()) << "Xvfb did not start";
    setenv("DISPLAY", display->Name().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (files.path() / "config").c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
  }
  void TearDown() override {
    unsetenv("DISPLAY");
    unsetenv("XDG_CONFIG_HOME");
  }

  ProcessResult Xdotool(const std::vector<std::string>& args) {
    std::vector<std::string> argv{Which("xdotool")};
    argv.insert(argv.end(), args.begin(), args.end());
    return RunProcess(argv);
  }

  // A kit of one group of two samples, none on a key yet.
  std::string MakeKit() {
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    for (const char* name : {"kick.wav", "snare.wav"}) {
      WriteWav(files / name, std::vector<int16_t>(2000, 3000));
      kit.m_pGroupList[0]->push_back(files / name);
    }
    ScriptedUi quiet;
    const std::string path = files / "kit.drums";
    EXPECT_TRUE(kit.OnSaveDocument(path, quiet));
    return path;
  }

  TempDir files;
  std::unique_ptr<VirtualDisplay> display;
};

TEST_F(WindowMouseTest, ASampleDraggedOntoAKeyIsSavedWithTheDrumSet) {
  const std::string kit = MakeKit();
  const auto savedBefore = ReadFileBytes(kit);
  BackgroundProcess thumper(ThumperArgv({kit}));

  std::string window;
  ASSERT_TRUE(WaitFor(
      [&] {
        const ProcessResult found = Xdotool({"search", "--onlyvisible", "--name", "Klonk Bammer"});
        window = found.out.substr(0, found.out.find('\n'));
        return !window.empty() || !thumper.Running();
      },
      30s));
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
