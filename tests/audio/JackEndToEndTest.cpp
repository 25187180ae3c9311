// End to end on a real JACK server (dummy backend): the driver list offers JACK,
// a voice plays through it, and a recording client hears the sample at the gain
// asked for.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioOutput.h"
#include "audio/SampleVoice.h"
#include "support/JackServer.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

class JackEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK end-to-end test";
    server = std::make_unique<JackServer>(rate);
    ASSERT_TRUE(server->Running()) << "jackd did not start: " << server->Failure();
  }

  int OpenJackDriver(AudioOutput& output) {
    OutputDriverList list;
    output.EnumerateDrivers(list);
    for (int i = 0; i < list.m_nCount; ++i)
      if (list.m_strDescription[i] == "JACK: system") return i;
    return -1;
  }

  template <class Pred>
  static bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!pred()) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
  }

  int rate = 44100;
  std::unique_ptr<JackServer> server;
  ScriptedUi ui;
};

// A pseudo-random stereo sample: any misplaced, dropped or rescaled frame shows.
std::vector<uint8_t> NoiseSample(uint32_t frames) {
  std::vector<uint8_t> bytes(frames * 4);
  uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  return bytes;
}

TEST_F(JackEndToEnd, AVoicePlaysThroughJackAtTheExpectedGain) {
  AudioOutput output;
  const int jack = OpenJackDriver(output);
  ASSERT_GE(jack, 1) << "the driver list offers no \"JACK: system\"";
  output.m_nOutputDriver = jack;
  ASSERT_EQ(output.InitDirectSound(ui, true), 1);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(output.m_pDirectSound->Description(), "JACK: system");

  JackRecorder recorder;
  ASSERT_TRUE(recorder.Ok());
  ASSERT_TRUE(recorder.ConnectFrom("Thumper")) << "no Thumper output ports";
  // Connected to the system playback ports, as JACK programs are.
  jack_port_t* out0 = jack_port_by_name(recorder.Client(), "Thumper:out_1");
  ASSERT_NE(out0, nullptr);
  EXPECT_TRUE(jack_port_connected_to(out0, "system:playback_1"));

  const uint32_t frames = 4410;
  const auto bytes = NoiseSample(frames);
  SampleVoice voice(ui, output.m_pDirectSound.get(), bytes.data(), uint32_t(bytes.size()), 16,
                    output.m_wfxOutput, "noise");
  ASSERT_TRUE(WaitFor([&] { return recorder.Frames() > 2048; }, std::chrono::seconds(5)));
  voice.SetVolume(-600);
  voice.Play();
  ASSERT_TRUE(WaitFor([&] { return recorder.Frames() > 2048 + 3 * frames + 8192; },
                      std::chrono::seconds(10)));
  const std::vector<float> got = recorder.Take();

  size_t onset = 0;
  while (onset < got.size() && got[onset] == 0.0f) ++onset;
  onset &= ~size_t(1);
  ASSERT_LT(onset + 2 * frames, got.size()) << "nothing played";
  const float gain = std::pow(10.0f, -600.0f / 2000.0f);
  const auto* s = reinterpret_cast<const int16_t*>(bytes.data());
  int wrong = 0;
  for (size_t i = 0; i < 2 * frames; ++i)
    if (std::fabs(got[onset + i] - s[i] * gain / 32768.0f) > 1e-5f) ++wrong;
  if (wrong && recorder.Xruns())
    GTEST_SKIP() << "the server missed " << recorder.Xruns()
                 << " period(s) while recording (a busy machine): no evidence either way";
  EXPECT_EQ(wrong, 0);
  for (size_t i = onset + 2 * frames; i < got.size(); ++i) ASSERT_EQ(got[i], 0.0f) << i;
}

TEST_F(JackEndToEnd, AServerThatGoesAwayIsReportedOnceAndPlayingGoesOnSilently) {
  AudioOutput output;
  struct Reloads : VoiceResetter {
    std::vector<bool> calls;
    void ResetVoices(bool reload) override { calls.push_back(reload); }
  } reloads;
  output.SetVoiceResetter(&reloads);
  const int jack = OpenJackDriver(output);
  ASSERT_GE(jack, 1);
  output.m_nOutputDriver = jack;
  ASSERT_EQ(output.InitDirectSound(ui, true), 1);
  reloads.calls.clear();
  EXPECT_FALSE(output.Poll(ui));

  server->Kill();
  ASSERT_TRUE(WaitFor([&] { return output.Poll(ui); }, std::chrono::seconds(6)));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"JACK: system does not seem to work"});
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(output.m_pDirectSound->Description(), "No audio output");
  EXPECT_EQ(reloads.calls, (std::vector<bool>{false, true}));
  EXPECT_FALSE(output.Poll(ui));
  EXPECT_EQ(ui.messages.size(), 1u);
}

// Counts the clients that register on the server from its making on.
struct RegistrationCounter {
  RegistrationCounter() {
    client = jack_client_open("registration-counter", JackNoStartServer, nullptr);
    if (!client) return;
    jack_set_client_registration_callback(
        client,
        [](const char*, int registered, void* self) {
          if (registered) static_cast<RegistrationCounter*>(self)->count.fetch_add(1);
        },
        this);
    jack_activate(client);
  }
  ~RegistrationCounter() {
    if (client) jack_client_close(client);
  }
  jack_client_t* client = nullptr;
  std::atomic<int> count{0};
};

// While our own client runs, the driver list is made through it: no client
// comes and goes for it, and a client that arrived since is in it.
TEST_F(JackEndToEnd, WhileOurClientRunsTheDriverListIsMadeThroughIt) {
  AudioOutput output;
  ASSERT_EQ(output.InitDirectSound(ui, false), 1);
  ASSERT_EQ(output.m_pDirectSound->ClientName(), "Thumper");
  RegistrationCounter counter;
  ASSERT_NE(counter.client, nullptr);
  JackRecorder recorder;  // arrives after our client: a new driver
  ASSERT_TRUE(recorder.Ok());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  const int before = counter.count.load();
  OutputDriverList list;
  ASSERT_TRUE(output.EnumerateDrivers(list));
  std::vector<std::string> descriptions(list.m_strDescription.begin(),
                                        list.m_strDescription.begin() + list.m_nCount);
  EXPECT_NE(std::find(descriptions.begin(), descriptions.end(), "JACK: system"),
            descriptions.end());
  EXPECT_NE(std::find(descriptions.begin(), descriptions.end(), "JACK: recorder"),
            descriptions.end());
  // Thumper has no audio inputs: it is no driver.
  EXPECT_EQ(std::find(descriptions.begin(), descriptions.end(), "JACK: Thumper"),
            descriptions.end());
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(counter.count.load(), before);
}

TEST_F(JackEndToEnd, AKitChangeKeepsThePairPortsWhoseNamesStayAndRemovesTheOthers) {
  AudioOutput output;
  JackClientOptions options;
  options.bMultiOut = true;
  options.bConnectOutputs = false;
  output.SetJackOptions(options);
  ASSERT_EQ(output.InitDirectSound(ui, false), 1);
  SoundDevice& device = *output.m_pDirectSound;
  JackRecorder probe;
  ASSERT_TRUE(probe.Ok());
  const auto exists = [&](const char* name) {
    return jack_port_by_name(probe.Client(), name) != nullptr;
  };
  device.SetOutputPairs({{1, "n36_kick", "Kick"}, {2, "n38_snare", "Snare"}});
  EXPECT_TRUE(exists("Thumper:n36_kick_L") && exists("Thumper:n38_snare_R"));
  jack_port_t* kick = jack_port_by_name(probe.Client(), "Thumper:n36_kick_L");
  device.SetOutputPairs({{1, "n36_kick", "Kick"}, {3, "n42_hat", "Hat"}});
  EXPECT_EQ(jack_port_by_name(probe.Client(), "Thumper:n36_kick_L"), kick) << "kept as it was";
  EXPECT_TRUE(exists("Thumper:n42_hat_L"));
  EXPECT_TRUE(WaitFor([&] { return !exists("Thumper:n38_snare_L"); }, std::chrono::seconds(2)));
  EXPECT_TRUE(exists("Thumper:out_1") && exists("Thumper:out_2"));
}

class JackAt48k : public JackEndToEnd {
 protected:
  JackAt48k() { rate = 48000; }
};

TEST_F(JackAt48k, SamplesAreConvertedToTheServerRateAtLoad) {
  AudioOutput output;
  const int jack = OpenJackDriver(output);
  ASSERT_GE(jack, 1);
  output.m_nOutputDriver = jack;
  ASSERT_EQ(output.InitDirectSound(ui, true), 1);
  EXPECT_EQ(output.m_pDirectSound->SampleRate(), 48000u);
  JackRecorder recorder;
  ASSERT_TRUE(recorder.ConnectFrom("Thumper"));
  // 0.1 s of a constant level: 4,800 frames at 48 kHz.
  const auto bytes = ConstantSample(4410, 8000);
  SampleVoice voice(ui, output.m_pDirectSound.get(), bytes.data(), uint32_t(bytes.size()), 1,
                    output.m_wfxOutput, "dc");
  ASSERT_TRUE(WaitFor([&] { return recorder.Frames() > 1024; }, std::chrono::seconds(5)));
  voice.Play();
  ASSERT_TRUE(
      WaitFor([&] { return recorder.Frames() > 1024 + 4800 + 8192; }, std::chrono::seconds(10)));
  const auto got = recorder.Take();
  size_t loud = 0;
  for (size_t i = 0; i < got.size(); i += 2)
    if (std::fabs(got[i] - 8000 / 32768.0f) < 0.01f) ++loud;
  if (std::fabs(double(loud) - 4800.0) > 60.0 && recorder.Xruns())
    GTEST_SKIP() << "the server missed " << recorder.Xruns()
                 << " period(s) while recording (a busy machine): no evidence either way";
  EXPECT_NEAR(double(loud), 4800.0, 60.0);
}

}  // namespace
}  // namespace thumper::test
