// The window closes as its close box would when the session or the terminal
// asks the program to stop.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

// Whether the process has a handler of its own for the signal (SigCgt of /proc).
bool CatchesSignal(int pid, int signal) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("SigCgt:", 0) == 0)
      return (std::stoull(line.substr(7), nullptr, 16) >> (signal - 1)) & 1;
  return false;
}

class AppSignalsTest : public ::testing::TestWithParam<int> {
 protected:
  void SetUp() override {
    // The program's settings go to a folder of the test's own.
    setenv("XDG_CONFIG_HOME", config.path().c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
  }
  void TearDown() override { unsetenv("XDG_CONFIG_HOME"); }
  TempDir config;
};

TEST_P(AppSignalsTest, TheWindowClosesInOrderAndTheProgramEndsWell) {
  BackgroundProcess thumper(ThumperArgv({}));
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  while (thumper.Running() && std::chrono::steady_clock::now() < deadline &&
         !CatchesSignal(thumper.Pid(), GetParam()))
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  ASSERT_TRUE(thumper.Running()) << thumper.ErrSoFar();
  ASSERT_TRUE(CatchesSignal(thumper.Pid(), GetParam()));
  const ProcessResult result = thumper.Stop(GetParam());
  EXPECT_EQ(result.status, 0) << result.err;
}

INSTANTIATE_TEST_SUITE_P(Signals, AppSignalsTest, ::testing::Values(SIGTERM, SIGINT, SIGHUP));

}  // namespace
}  // namespace thumper::test
