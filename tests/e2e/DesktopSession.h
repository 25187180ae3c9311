#pragma once
// A desktop of the test's own: a virtual X display, optionally with the openbox
// window manager on it, and xdotool / xprop / xwininfo to look at and drive the
// windows there.

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "drumset/CThumperDoc.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {

using namespace std::chrono_literals;

inline std::string Which(const std::string& program) {
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

// Runs an X tool (xdotool, xprop, xwininfo) on the current DISPLAY.
inline ProcessResult XTool(const std::string& tool, const std::vector<std::string>& args) {
  std::vector<std::string> argv{Which(tool)};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv);
}

// A virtual X display of the test's own, 1024 x 768. Xvfb picks a free display
// number itself and writes it to a file (-displayfd), so tests running at the
// same time, in this project or another, never share a server.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    const std::string numberFile = m_dir / "display";
    m_pServer = std::make_unique<BackgroundProcess>(std::vector<std::string>{
        "/bin/sh", "-c", "exec \"$0\" -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>\"$1\"",
        Which("Xvfb"), numberFile});
    std::string number;
    WaitFor(
        [&] {
          std::ifstream in(numberFile);
          return (std::getline(in, number) && !number.empty()) || !m_pServer->Running();
        },
        10s);
    if (!number.empty() && m_pServer->Running()) m_strName = ":" + number;
  }
  ~VirtualDisplay() {
    m_pWindowManager.reset();  // before its display goes
  }
  const std::string& Name() const { return m_strName; }

  // Starts openbox on this display (DISPLAY must name it); true once it manages
  // the screen (it sets _NET_SUPPORTING_WM_CHECK on the root window).
  bool StartWindowManager() {
    m_pWindowManager = std::make_unique<BackgroundProcess>(
        std::vector<std::string>{Which("openbox"), "--sm-disable"});
    return WaitFor(
               [&] {
                 return XTool("xprop", {"-root", "_NET_SUPPORTING_WM_CHECK"})
                                .out.find("window id") != std::string::npos ||
                        !m_pWindowManager->Running();
               },
               10s) &&
           m_pWindowManager->Running();
  }

 private:
  TempDir m_dir;
  std::unique_ptr<BackgroundProcess> m_pServer;
  std::unique_ptr<BackgroundProcess> m_pWindowManager;
  std::string m_strName;
};

// Sets DISPLAY and a settings folder of its own for the program under test.
class DesktopTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Which("Xvfb").empty() || Which("xdotool").empty())
      GTEST_SKIP() << "Xvfb or xdotool is not installed: no test on a real X server";
    display = std::make_unique<VirtualDisplay>();
    ASSERT_FALSE(display->Name().empty()) << "Xvfb did not start";
    setenv("DISPLAY", display->Name().c_str(), 1);
    setenv("XDG_CONFIG_HOME", (configDir.path() / "config").c_str(), 1);
    unsetenv("QT_QPA_PLATFORM");
  }
  void TearDown() override {
    display.reset();
    unsetenv("DISPLAY");
    unsetenv("XDG_CONFIG_HOME");
    unsetenv("QT_SCALE_FACTOR");
  }

  ProcessResult Xdotool(const std::vector<std::string>& args) { return XTool("xdotool", args); }

  // The first visible window whose name holds the text; empty when none came.
  std::string FindWindow(const std::string& name, BackgroundProcess& program,
                         std::chrono::milliseconds limit = 30s) {
    std::string window;
    WaitFor(
        [&] {
          const ProcessResult found = Xdotool({"search", "--onlyvisible", "--name", name});
          window = found.out.substr(0, found.out.find('\n'));
          return !window.empty() || !program.Running();
        },
        limit);
    return window;
  }

  // A kit of one group whose samples, short WAV files, lie in files; none is on
  // a key yet. Its path.
  std::string MakeKit(const std::string& group, const std::vector<std::string>& samples) {
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back(group);
    for (const std::string& name : samples) {
      WriteWav(files / name, std::vector<int16_t>(2000, 3000));
      kit.m_pGroupList[0]->push_back(files / name);
    }
    ScriptedUi quiet;
    const std::string path = files / "kit.drums";
    EXPECT_TRUE(kit.OnSaveDocument(path, quiet));
    return path;
  }

  TempDir files;
  TempDir configDir;
  std::unique_ptr<VirtualDisplay> display;
};

}  // namespace thumper::test
