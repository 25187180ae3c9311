// JACK 2 at another rate. A server that changes its rate under its clients
// (jackdbus's master switch): `thumper play` goes on as its client and every
// hit keeps its length and pitch. A server that dies and comes back at another
// rate: the program falls back to the silent output, and once JACK is chosen
// again (the Options dialog's driver switch, the way back after a loss) the
// kit is made again for the new rate.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <thread>

#include "LiveClient.h"
#include "RateChangeCheck.h"
#include "drumset/CThumperDoc.h"
#include "engine/ShowOptions.h"
#include "engine/ThumperRuntime.h"
#include "midi/JackMidiSender.h"
#include "support/JackDbusServer.h"
#include "support/JackServer.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

TEST(JackRateSwitch, ARateChangeUnderTheClientKeepsEveryHitsLengthAndPitch) {
  if (const std::string missing = JackDbusServer::Missing(); !missing.empty())
    GTEST_SKIP() << missing << " is not installed: no test of a rate change on JACK 2";
  JackDbusServer server(48000, 256);
  ASSERT_TRUE(server.Running()) << server.Failure();
  TempDir dir;
  PlayThroughARateChange(MakeKickKit(dir), [&] { return server.SwitchRate(44100); });
}

class JackRate : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no JACK test";
    WriteWav(dir / "kick.wav", SineKick(kKickFrames, kKickHz));
    doc.OnNewDocument();
    doc.m_nMidiInDevice = 99;  // none: the hits come through the client's own port
    doc.m_pGroupNames->push_back("Kit");
    *doc.m_pGroupList[0] = {dir / "kick.wav"};
    for (int l = 0; l < kLayerCount; ++l) doc.m_nLayerSource[LayerIndex(0, l)] = 0;
    doc.m_layerSample[LayerIndex(0, 0)] = {0, 0};
  }

  // One hit on note 36, recorded from Thumper's outputs. The clients are left
  // behind: their server is killed next, and closing a client of a dead
  // server crashes inside libjack.
  std::vector<SoundBurst> RecordAHit(ThumperRuntime& runtime) {
    auto& rec = *new JackRecorder(2.0);
    auto& pad = *new JackMidiSender("pad");
    EXPECT_TRUE(rec.Ok() && pad.Ok());
    EXPECT_TRUE(WaitFor([&] { return rec.ConnectFrom("Thumper"); }, std::chrono::seconds(5)));
    EXPECT_TRUE(pad.ConnectTo("Thumper:MIDI In"));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    pad.Send(0x90, 36, 127);
    // The hit lasts 0.1 s; the UI's poll goes on meanwhile.
    for (int i = 0; i < 30; ++i) {
      runtime.Poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::vector<float> both = rec.Take();
    std::vector<float> left(both.size() / 2);
    for (size_t i = 0; i < left.size(); ++i) left[i] = both[2 * i];
    m_nXruns += rec.Xruns() + pad.Xruns();
    return FindBursts(left, 0, left.size());
  }

  void ExpectTheKickAt(const std::vector<SoundBurst>& hits, double rate) {
    ASSERT_EQ(hits.size(), 1u) << "at " << rate << " Hz";
    const std::string wrong = WrongKick(hits[0], rate);
    if (!wrong.empty() && m_nXruns)
      GTEST_SKIP() << "the server missed a period while recording (a busy machine)";
    EXPECT_EQ(wrong, "");
  }

  int JackDriver(ThumperRuntime& runtime) {
    OutputDriverList list;
    runtime.m_output.EnumerateDrivers(list);
    for (int i = 0; i < list.m_nCount; ++i)
      if (list.m_strDescription[i].rfind("JACK", 0) == 0) return i;
    return -1;
  }

  TempDir dir;
  ScriptedUi ui;
  CThumperDoc doc;
  SampleListState list;
  int m_nXruns = 0;
};

TEST_F(JackRate, AServerBackAtAnotherRatePlaysTheKitAtItsLengthAndPitch) {
  const std::string name = "thumper-rate-restart";
  auto server = std::make_unique<JackServer>(48000, 256, name);
  ASSERT_TRUE(server->Running()) << server->Failure();
  ThumperRuntime runtime(doc, ui);
  runtime.UpdateStep(list);
  ASSERT_TRUE(runtime.HasDeviceMidiInput()) << "not on our own JACK client";
  ASSERT_EQ(runtime.m_output.m_pDirectSound->SampleRate(), 48000u);
  ExpectTheKickAt(RecordAHit(runtime), 48000);

  server->KillHard();
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (runtime.m_output.m_pDirectSound->Description() != kSilentDeviceDescription &&
         std::chrono::steady_clock::now() < end) {
    runtime.Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(runtime.m_output.m_pDirectSound->Description(), kSilentDeviceDescription);
  server.reset();
  server = std::make_unique<JackServer>(44100, 256, name);
  ASSERT_TRUE(server->Running()) << server->Failure();

  // Back on JACK, as the Options dialog does it.
  OptionsDlgData data;
  PrepareOptions(runtime, data, {});
  data.m_nDriver = JackDriver(runtime);
  ASSERT_GE(data.m_nDriver, 0);
  data.m_nMidiIn = doc.m_nMidiInDevice;
  ApplyOptions(runtime, ui, data);
  ASSERT_TRUE(runtime.HasDeviceMidiInput());
  EXPECT_EQ(runtime.m_output.m_pDirectSound->SampleRate(), 44100u);
  ExpectTheKickAt(RecordAHit(runtime), 44100);
  // The new recorder and pad are left on a live server: it stops with the test.
}

}  // namespace
}  // namespace thumper::test
