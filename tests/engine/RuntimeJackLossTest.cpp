// The runtime on a real JACK server that goes away (SIGKILL): the loss is
// reported, the MIDI inputs on it count as closed and are never called again,
// and a driver switch, a MIDI device change and the teardown all work after
// it, also when the server dies in the middle of a driver switch. Once a
// server is back, choosing the JACK driver works again.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <random>
#include <thread>

#include "drumset/CThumperDoc.h"
#include "engine/ShowOptions.h"
#include "engine/ThumperRuntime.h"
#include "midi/JackMidiSender.h"
#include "support/JackServer.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

class RuntimeJackLoss : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK test";
    WriteWav(dir / "hit.wav", std::vector<int16_t>(2 * 4410, 5000));
    doc.OnNewDocument();
    doc.m_pGroupNames->push_back("Kit");
    *doc.m_pGroupList[0] = {dir / "hit.wav"};
    for (int l = 0; l < kLayerCount; ++l) doc.m_nLayerSource[LayerIndex(0, l)] = 0;
    doc.m_layerSample[LayerIndex(0, 0)] = {0, 0};
  }

  std::string ServerName() const {
    return std::string("thumper-rtloss-") +
           ::testing::UnitTest::GetInstance()->current_test_info()->name();
  }

  // Driver indexes by description.
  int Driver(ThumperRuntime& runtime, const std::string& prefix) {
    OutputDriverList list;
    runtime.m_output.EnumerateDrivers(list);
    for (int i = 0; i < list.m_nCount; ++i)
      if (list.m_strDescription[i].rfind(prefix, 0) == 0) return i;
    return -1;
  }

  std::string DriverNames(ThumperRuntime& runtime) {
    OutputDriverList list;
    runtime.m_output.EnumerateDrivers(list);
    std::string names;
    for (int i = 0; i < list.m_nCount; ++i) names += list.m_strDescription[i] + "; ";
    return names;
  }

  void Switch(ThumperRuntime& runtime, int driver) {
    OptionsDlgData data;
    PrepareOptions(runtime, data, {});
    data.m_nDriver = driver;
    data.m_nMidiIn = doc.m_nMidiInDevice;
    ApplyOptions(runtime, ui, data);
  }

  // Polls as the UI does until the failed device is replaced.
  bool PollUntilSilent(ThumperRuntime& runtime) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
      runtime.Poll();
      if (runtime.m_output.m_pDirectSound &&
          runtime.m_output.m_pDirectSound->Description() == kSilentDeviceDescription)
        return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }

  TempDir dir;
  ScriptedUi ui;
  CThumperDoc doc;
  SampleListState list;
};

TEST_F(RuntimeJackLoss, AfterALossEverythingStillWorksAndJackComesBack) {
  auto server = std::make_unique<JackServer>(44100, 256, ServerName());
  ASSERT_TRUE(server->Running()) << server->Failure();
  auto pad = std::make_unique<JackMidiSender>("pad");
  ASSERT_TRUE(pad->Ok());
  doc.m_nMidiInDevice = 0;
  {
    ThumperRuntime runtime(doc, ui);
    runtime.UpdateStep(list);
    ASSERT_TRUE(runtime.HasDeviceMidiInput()) << "not on our own JACK client";
    ASSERT_EQ(runtime.m_midiIn.m_bMidiInOpen, 1) << "the pad is not MIDI device 0";
    const int jack = runtime.m_output.m_nOutputDriver;

    server->KillHard();
    ASSERT_TRUE(PollUntilSilent(runtime));
    EXPECT_EQ(runtime.m_midiIn.m_bMidiInOpen, 0) << "the MIDI input on the lost server stays open";
    ASSERT_FALSE(ui.messages.empty());
    const auto texts = ui.MessageTexts();
    EXPECT_TRUE(std::any_of(texts.begin(), texts.end(), [](const std::string& t) {
      return t.find("does not seem to work") != std::string::npos;
    }));

    // A MIDI device change and a driver switch back to JACK with no server.
    doc.m_nMidiInDevice = 0;
    OptionsDlgData data;
    PrepareOptions(runtime, data, {});
    data.m_nMidiIn = 3;
    data.m_nDriver = runtime.m_output.m_nOutputDriver;
    ApplyOptions(runtime, ui, data);
    Switch(runtime, jack);
    EXPECT_TRUE(runtime.m_output.IsOpen());
    EXPECT_FALSE(runtime.HasDeviceMidiInput());
    runtime.PlayVoice(0, 0);

    // The server is back: choosing JACK works again. (Our sender's client died
    // with the old server: closing it would crash in libjack, so it stays.)
    (void)pad.release();
    server.reset();
    server = std::make_unique<JackServer>(44100, 256, ServerName());
    ASSERT_TRUE(server->Running()) << server->Failure();
    const int again = Driver(runtime, "JACK");
    ASSERT_GE(again, 0) << DriverNames(runtime);
    Switch(runtime, again);
    EXPECT_TRUE(runtime.HasDeviceMidiInput());
    EXPECT_TRUE(runtime.HasVoice(0, 0));
  }
}

TEST_F(RuntimeJackLoss, AServerDyingDuringDriverSwitchesHarmsNothing) {
  std::mt19937 rng(42);
  for (int round = 0; round < 6; ++round) {
    JackServer server(44100, 256, ServerName());
    ASSERT_TRUE(server.Running()) << server.Failure();
    doc.m_nMidiInDevice = 7;  // none
    ThumperRuntime runtime(doc, ui);
    runtime.UpdateStep(list);
    const int jack = Driver(runtime, "JACK");
    const int silent = Driver(runtime, kSilentDeviceDescription);
    ASSERT_GE(jack, 0);
    ASSERT_GE(silent, 0);
    std::thread killer([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 400));
      server.KillHard();
    });
    for (int i = 0; i < 8; ++i) {
      Switch(runtime, i % 2 ? jack : silent);
      runtime.Poll();
    }
    killer.join();
    PollUntilSilent(runtime);
    EXPECT_TRUE(runtime.m_output.IsOpen());
  }
}

}  // namespace
}  // namespace thumper::test
