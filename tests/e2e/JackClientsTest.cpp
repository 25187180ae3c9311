// The JACK clients Thumper makes, as a patchbay sees them: while it runs, only
// its own clients appear, and none comes and goes only to list devices or
// probe the server. A monitor client of the test's own counts registrations.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <map>
#include <mutex>
#include <string>
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

// Counts every client that registers on the server from its making on.
class ClientMonitor {
 public:
  ClientMonitor() {
    m_pClient = jack_client_open("client-monitor", JackNoStartServer, nullptr);
    if (!m_pClient) return;
    jack_set_client_registration_callback(m_pClient, &OnClient, this);
    jack_activate(m_pClient);
  }
  ~ClientMonitor() {
    if (m_pClient) jack_client_close(m_pClient);
  }
  ClientMonitor(const ClientMonitor&) = delete;
  ClientMonitor& operator=(const ClientMonitor&) = delete;

  bool Ok() const { return m_pClient != nullptr; }
  // Registrations by name so far.
  std::map<std::string, int> Registered() {
    std::lock_guard lock(m_mutex);
    return m_registered;
  }
  static std::string Describe(const std::map<std::string, int>& seen) {
    std::string text;
    for (const auto& [name, count] : seen)
      text += "\"" + name + "\" x" + std::to_string(count) + " ";
    return text;
  }

 private:
  static void OnClient(const char* name, int registered, void* arg) {
    auto* self = static_cast<ClientMonitor*>(arg);
    if (!registered || !name) return;
    std::lock_guard lock(self->m_mutex);
    ++self->m_registered[name];
  }
  jack_client_t* m_pClient = nullptr;
  std::mutex m_mutex;
  std::map<std::string, int> m_registered;
};

std::string MakeKit(TempDir& dir, int midiDevice) {
  return SaveOneSampleKit(dir, "hit.wav", std::vector<int16_t>(4410, 3000), midiDevice);
}

class JackClients : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK test";
  }
  TempDir dir;
};

// About ten seconds of `thumper play` with its own client, a numbered MIDI
// device that is there and one that is not, from the start to the end on
// SIGTERM: "Thumper" and, for the device that is there, "Thumper MIDI device"
// register once each, and nothing else does.
TEST_F(JackClients, PlayMakesOnlyItsOwnClients) {
  JackServer jack(44100, 256);
  ASSERT_TRUE(jack.Running()) << "jackd did not start: " << jack.Failure();
  JackMidiSender pad("pad");
  ASSERT_TRUE(pad.Ok());
  ClientMonitor monitor;
  ASSERT_TRUE(monitor.Ok());
  for (const int device : {0, 7}) {
    SCOPED_TRACE("MIDI device " + std::to_string(device));
    const auto before = monitor.Registered();
    BackgroundProcess play(ThumperArgv({"play", MakeKit(dir, device)}));
    ASSERT_TRUE(WaitFor([&] { return play.ErrSoFar().find("Ctrl+C stops") != std::string::npos; },
                        std::chrono::seconds(20)))
        << play.ErrSoFar();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(device == 0 ? 7 : 3);
    while (std::chrono::steady_clock::now() < end) {
      pad.Send(0x90, 36, 100);
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    const ProcessResult r = play.Stop(SIGTERM);
    // Registrations reach the monitor on its own thread, a moment later.
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    std::map<std::string, int> made = monitor.Registered();
    for (const auto& [name, count] : before) made[name] -= count;
    std::erase_if(made, [](const auto& entry) { return entry.second == 0; });
    std::map<std::string, int> expected{{"Thumper", 1}};
    if (device == 0) expected["Thumper MIDI device"] = 1;
    EXPECT_EQ(made, expected) << "registered from start to end: " << ClientMonitor::Describe(made)
                              << "\n"
                              << r.err;
    EXPECT_EQ(r.status, 0) << r.err;
  }
}

// The driver list names each JACK client with audio inputs once, as RtAudio
// would, and is made through one client under Thumper's own name.
TEST_F(JackClients, TheDriverListNamesClientsWithInputsThroughOneClient) {
  JackServer jack(44100, 256);
  ASSERT_TRUE(jack.Running()) << "jackd did not start: " << jack.Failure();
  JackRecorder recorder;  // two audio inputs
  ASSERT_TRUE(recorder.Ok());
  JackMidiSender pad("pad");  // no audio port: no driver
  ASSERT_TRUE(pad.Ok());
  ClientMonitor monitor;
  ASSERT_TRUE(monitor.Ok());
  const ProcessResult list = RunThumper({"play", "--list"});
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("  1: JACK: system\n  2: JACK: recorder\n"), std::string::npos)
      << list.out;
  EXPECT_EQ(list.out.find("JACK: pad"), std::string::npos) << list.out;
  EXPECT_NE(list.out.find("MIDI inputs (JACK):\n  0: pad:out\n"), std::string::npos) << list.out;
  EXPECT_TRUE(WaitFor([&] { return !monitor.Registered().empty(); }, std::chrono::seconds(2)));
  const auto made = monitor.Registered();
  EXPECT_EQ(made.count("RtApiJackCount") + made.count("RtApiJackInfo"), 0u)
      << ClientMonitor::Describe(made);
  EXPECT_EQ(made.count("Thumper"), 1u) << ClientMonitor::Describe(made);
}

}  // namespace
}  // namespace thumper::test
