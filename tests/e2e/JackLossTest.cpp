// A JACK server that goes away (killed outright, as a crash or a restart does)
// under `thumper play` and under the window: the program reports it, plays on
// silently, and still ends with status 0 on SIGTERM, with a numbered JACK MIDI
// device open, with the virtual port, and whenever the kill comes.

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <random>
#include <thread>

#include "LiveClient.h"
#include "OneSampleKit.h"
#include "drumset/CThumperDoc.h"
#include "midi/JackMidiSender.h"
#include "support/JackServer.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

// A small kit: one long sample on note 36, so something sounds when the server goes.
std::string MakeKit(TempDir& dir) {
  return SaveOneSampleKit(dir, "long.wav", std::vector<int16_t>(2 * 44100, 3000), 0);
}

bool Says(BackgroundProcess& p, const std::string& text, std::chrono::milliseconds limit) {
  return WaitFor([&] { return p.ErrSoFar().find(text) != std::string::npos; }, limit);
}

class JackLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK test";
  }
  // A fixed server name per test: a server killed outright leaves its registry
  // entry, which the next one of the same name takes back.
  std::string ServerName() const {
    return std::string("thumper-loss-") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }
  // Ends the program with SIGTERM; it must go at once and with status 0.
  static void ExpectCleanEnd(BackgroundProcess& p) {
    const auto start = std::chrono::steady_clock::now();
    const ProcessResult r = p.Stop(SIGTERM);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
  }
  TempDir dir;
};

// Runs `thumper play` with a sender's port as MIDI device 0, kills the server
// and ends the program.
void PlayThroughALoss(const std::string& server, const std::string& kit,
                      std::vector<std::string> extra) {
  JackServer jack(44100, 256, server);
  ASSERT_TRUE(jack.Running()) << "jackd did not start: " << jack.Failure();
  // Our sender's client dies with the server, and closing a dead client can
  // crash inside libjack: it is left behind on purpose.
  auto& pad = *new JackMidiSender("pad");
  ASSERT_TRUE(pad.Ok());
  std::vector<std::string> args = {"play", kit, "--midi", "0"};
  args.insert(args.end(), extra.begin(), extra.end());
  BackgroundProcess play(ThumperArgv(args));
  ASSERT_TRUE(Says(play, "Ctrl+C stops", std::chrono::seconds(20))) << play.ErrSoFar();
  EXPECT_NE(play.ErrSoFar().find("MIDI input device 0"), std::string::npos) << play.ErrSoFar();
  pad.Send(0x90, 36, 100);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  jack.KillHard();
  EXPECT_TRUE(Says(play, "does not seem to work", std::chrono::seconds(10))) << play.ErrSoFar();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_TRUE(play.Running()) << "it did not play on";
  const ProcessResult r = play.Stop(SIGTERM);
  EXPECT_EQ(r.status, 0) << r.err;
}

TEST_F(JackLoss, PlayWithItsOwnClientAndANumberedDeviceEndsCleanly) {
  PlayThroughALoss(ServerName(), MakeKit(dir), {});
}

// The silent output with the MIDI inputs on JACK: the virtual port and the
// numbered device are RtMidi's clients on the server that goes.
TEST_F(JackLoss, PlayWithTheVirtualPortAndANumberedDeviceEndsCleanly) {
  const std::string kit = MakeKit(dir);
  const ProcessResult list = RunThumper({"play", "--list"});
  const size_t at = list.out.find(": No audio output");
  ASSERT_NE(at, std::string::npos) << list.out;
  const std::string silent =
      list.out.substr(list.out.rfind('\n', at) + 1, at - list.out.rfind('\n', at) - 1);
  PlayThroughALoss(ServerName(), kit, {"--driver", std::to_string(std::stoi(silent))});
}

TEST_F(JackLoss, TheWindowPlaysOnAndClosesCleanly) {
  const std::string kit = MakeKit(dir);
  JackServer jack(44100, 256, ServerName());
  ASSERT_TRUE(jack.Running()) << "jackd did not start: " << jack.Failure();
  auto& pad = *new JackMidiSender("pad");  // left behind: see above
  ASSERT_TRUE(pad.Ok());
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  BackgroundProcess window(ThumperArgv({kit}));
  unsetenv("QT_QPA_PLATFORM");
  ASSERT_TRUE(WaitFor([&] { return jack_port_by_name(pad.Client(), "Thumper:MIDI In") != nullptr; },
                      std::chrono::seconds(20)))
      << window.ErrSoFar();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  jack.KillHard();
  EXPECT_TRUE(Says(window, "does not seem to work", std::chrono::seconds(10))) << window.ErrSoFar();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(window.Running());
  ExpectCleanEnd(window);
}

// A JACK server that takes every connection and never answers, as one that
// hangs or dies half-way does: libjack's client open then waits for ever.
class SilentJackServer {
 public:
  explicit SilentJackServer(const std::string& name)
      : m_strPath("/dev/shm/jack_" + name + "_" + std::to_string(getuid()) + "_0") {
    unlink(m_strPath.c_str());
    m_nFd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    m_strPath.copy(address.sun_path, sizeof address.sun_path - 1);
    if (bind(m_nFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        listen(m_nFd, 64) != 0)
      return;
    m_bListening = true;
    m_thread = std::thread([this] {
      while (!m_bStop) {
        pollfd p{m_nFd, POLLIN, 0};
        if (poll(&p, 1, 50) > 0) {
          const int fd = accept4(m_nFd, nullptr, nullptr, SOCK_CLOEXEC);
          if (fd >= 0) m_accepted.push_back(fd);
        }
      }
    });
  }
  ~SilentJackServer() {
    m_bStop = true;
    if (m_thread.joinable()) m_thread.join();
    for (int fd : m_accepted) close(fd);
    if (m_nFd >= 0) close(m_nFd);
    unlink(m_strPath.c_str());
  }
  bool Listening() const { return m_bListening; }

 private:
  std::string m_strPath;
  int m_nFd = -1;
  bool m_bListening = false;
  std::atomic<bool> m_bStop{false};
  std::thread m_thread;
  std::vector<int> m_accepted;  // the accepting thread's own
};

// Neither the driver list, nor the output, nor the MIDI inputs wait for a
// server that never answers: the program plays on "No audio output", says why
// the MIDI inputs are not there, and SIGTERM ends it at once.
TEST_F(JackLoss, AServerThatNeverAnswersHoldsNothingUp) {
  const std::string kit = MakeKit(dir);
  SilentJackServer silent("thumper-never-answers");
  ASSERT_TRUE(silent.Listening());
  const char* saved = std::getenv("JACK_DEFAULT_SERVER");
  const std::string before = saved ? saved : "";
  setenv("JACK_DEFAULT_SERVER", "thumper-never-answers", 1);
  BackgroundProcess play(ThumperArgv({"play", kit}));
  if (saved)
    setenv("JACK_DEFAULT_SERVER", before.c_str(), 1);
  else
    unsetenv("JACK_DEFAULT_SERVER");
  ASSERT_TRUE(Says(play, "Ctrl+C stops", std::chrono::seconds(30))) << play.ErrSoFar();
  EXPECT_NE(play.ErrSoFar().find("on No audio output"), std::string::npos) << play.ErrSoFar();
  EXPECT_NE(play.ErrSoFar().find("no JACK server is running"), std::string::npos)
      << play.ErrSoFar();
  ExpectCleanEnd(play);
}

// A count from the environment, for the benchmark loop that runs many more.
int CountFromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// Kills at random moments: during the kit load, while notes play, just after
// the start. Every run ends with status 0 on SIGTERM, in time. Every run is
// tried and each failure reported: bench/jack_loss_loop.sh runs many more
// (THUMPER_LOSS_RUNS, THUMPER_LOSS_SEED) under load and counts them.
TEST_F(JackLoss, KillsAtRandomMomentsNeverCrashOrHang) {
  const std::string kit = MakeKit(dir);
  const int runs = CountFromEnvironment("THUMPER_LOSS_RUNS", 12);
  std::mt19937 rng(static_cast<unsigned>(CountFromEnvironment("THUMPER_LOSS_SEED", 20261208)));
  int crashes = 0, hangs = 0;
  for (int run = 0; run < runs; ++run) {
    JackServer jack(44100, 256, ServerName());
    ASSERT_TRUE(jack.Running()) << "jackd did not start: " << jack.Failure();
    auto& pad = *new JackMidiSender("pad");  // left behind: see above
    ASSERT_TRUE(pad.Ok());
    BackgroundProcess play(ThumperArgv({"play", kit, "--midi", "0"}));
    const int ms = static_cast<int>(rng() % 1500);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      pad.Send(0x90, 36, 1 + rng() % 127);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    jack.KillHard();
    std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 700));
    const ProcessResult r = play.Stop(SIGTERM, std::chrono::seconds(10));
    if (r.status == BackgroundProcess::kHung)
      ++hangs;
    else if (r.status != 0)
      ++crashes;
    EXPECT_EQ(r.status, 0) << "run " << run << ", killed after " << ms << " ms"
                           << (r.status == BackgroundProcess::kHung ? " (hung)\n" : "\n") << r.err;
  }
  std::cout << "jack-loss: " << runs << " runs, " << crashes + hangs << " failed (" << crashes
            << " crashed, " << hangs << " hung)\n";
}

}  // namespace
}  // namespace thumper::test
