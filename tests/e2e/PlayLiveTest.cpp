// `thumper play` as a drum module on a real JACK server: notes sent into its
// MIDI input come back from its audio output as the kit's samples, at
// the levels their velocities ask for. Prints the note-to-sound latency.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/uuid.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

#include "LiveClient.h"
#include "audio/WaveFormat.h"
#include "drumset/CThumperDoc.h"
#include "play/NoteTrigger.h"
#include "support/JackServer.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

TEST(PlayLive, NotesIntoTheVirtualInputSoundAtTheirLevels) {
  if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no live test";
  JackServer server(44100, 128);
  ASSERT_TRUE(server.Running()) << "jackd did not start: " << server.Failure();

  // Slot 2 (note 38): a constant 8000 on layer 0 (velocity above 120) and 2000
  // on layer 1, 2000 frames each.
  TempDir dir;
  WriteWav(dir / "loud.wav", std::vector<int16_t>(4000, 8000));
  WriteWav(dir / "soft.wav", std::vector<int16_t>(4000, 2000));
  CThumperDoc kit;
  ScriptedUi ui;
  kit.OnNewDocument();
  kit.m_nMidiInDevice = 0;
  kit.m_pGroupNames->push_back("Kit");
  *kit.m_pGroupList[0] = {dir / "loud.wav", dir / "soft.wav"};
  const int32_t sources[5] = {0, 1, 1, 1, 1};
  for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(2, l)] = sources[l];
  kit.m_layerSample[LayerIndex(2, 0)] = {0, 0};
  kit.m_layerSample[LayerIndex(2, 1)] = {0, 1};
  ASSERT_TRUE(kit.OnSaveDocument(dir / "kit.drums", ui));

  // No numbered MIDI device: our sender's port could be device 0 and play every note twice.
  BackgroundProcess play(ThumperArgv({"play", dir / "kit.drums", "--driver", "1", "--midi", "99"}));
  LiveClient client;
  ASSERT_TRUE(client.Ok());
  ASSERT_TRUE(client.ConnectToThumper(std::chrono::seconds(10))) << play.ErrSoFar();

  const jack_nframes_t start = jack_frame_time(client.Client()) + 4410;
  LiveClient::Note notes[2];
  notes[0].at = start, notes[0].status = 0x90, notes[0].note = 38, notes[0].velocity = 127;
  notes[1].at = start + 11025, notes[1].status = 0x90, notes[1].note = 38, notes[1].velocity = 100;
  client.Schedule(notes, 2);
  client.Start();
  ASSERT_TRUE(WaitFor([&] { return client.Frames() > 44100; }, std::chrono::seconds(10)));
  const ProcessResult stopped = play.Stop(SIGINT);
  EXPECT_EQ(stopped.status, 0) << stopped.err;

  const auto& left = client.Left();
  const jack_nframes_t first = client.FirstFrameTime();
  std::string wrong;
  for (int n = 0; n < 2; ++n) {
    ASSERT_NE(notes[n].sent.load(), 0u);
    const size_t sentAt = notes[n].sent.load() - first;
    size_t onset = sentAt;
    while (onset < client.Frames() && std::fabs(left[onset]) < 1e-3f) ++onset;
    if (onset + 10 >= client.Frames()) {
      wrong += "note " + std::to_string(n) + " never sounded\n";
      continue;
    }
    const double latency = static_cast<double>(onset - sentAt);
    std::printf("note-to-sound latency: %.0f frames (%.2f ms)\n", latency, latency / 44.1);
    if (latency >= 44100 * 0.05) wrong += "note " + std::to_string(n) + ": more than 50 ms\n";
    // The level a few frames into the hit: the layer's sample at the note's gain.
    const double value = n == 0 ? 8000 : 2000;
    const double expected =
        value / 32768.0 * GainOfAttenuation(NoteAttenuation(-4000, 127, notes[n].velocity));
    if (std::fabs(left[onset + 10] - expected) > expected * 0.01)
      wrong += "note " + std::to_string(n) + ": level " + std::to_string(left[onset + 10]) +
               " instead of " + std::to_string(expected) + "\n";
  }
  if (!wrong.empty() && client.Xruns())
    GTEST_SKIP() << "the server missed " << client.Xruns()
                 << " period(s) while recording (a busy machine): no evidence either way";
  EXPECT_EQ(wrong, "");
}

TEST(PlayLive, MultiOutGivesEachSlotPortsNamedAfterItAndPlaysItThere) {
  if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no live test";
  JackServer server(44100, 128);
  ASSERT_TRUE(server.Running()) << "jackd did not start: " << server.Failure();
  TempDir dir;
  WriteWav(dir / "Soft Kick.wav", std::vector<int16_t>(4000, 2000));
  WriteWav(dir / "loud.wav", std::vector<int16_t>(4000, 8000));
  CThumperDoc kit;
  ScriptedUi ui;
  kit.OnNewDocument();
  kit.m_pGroupNames->push_back("Kit");
  *kit.m_pGroupList[0] = {dir / "Soft Kick.wav", dir / "loud.wav"};
  for (int slot : {0, 2}) {
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(slot, l)] = 0;
    kit.m_layerSample[LayerIndex(slot, 0)] = {0, slot == 0 ? 0 : 1};
  }
  ASSERT_TRUE(kit.OnSaveDocument(dir / "kit.drums", ui));

  BackgroundProcess play(ThumperArgv(
      {"play", dir / "kit.drums", "--driver", "1", "--midi", "99", "--multi-out", "--no-connect"}));
  LiveClient client;
  ASSERT_TRUE(client.Ok());
  // Slots in order: slot 0 (note 36) on pair 1, slot 2 (note 38) on pair 2.
  jack_port_t* snare = nullptr;
  ASSERT_TRUE(WaitFor(
      [&] { return (snare = jack_port_by_name(client.Client(), "Thumper:n38_loud_R")) != nullptr; },
      std::chrono::seconds(10)))
      << play.ErrSoFar();
  EXPECT_NE(jack_port_by_name(client.Client(), "Thumper:n36_soft_kick_L"), nullptr);
  char* pretty = nullptr;
  char* type = nullptr;
  if (jack_get_property(jack_port_uuid(snare), JACK_METADATA_PRETTY_NAME, &pretty, &type) == 0) {
    EXPECT_STREQ(pretty, "loud.wav (note 38) R");
    jack_free(pretty);
    jack_free(type);
  } else {
    ADD_FAILURE() << "no pretty name";
  }
  ASSERT_TRUE(client.ConnectWhenReady("thumper-live-test:midi_out", "Thumper:MIDI In"));
  ASSERT_TRUE(client.ConnectWhenReady("Thumper:n38_loud_L", "thumper-live-test:in_1"));
  ASSERT_TRUE(client.ConnectWhenReady("Thumper:out_1", "thumper-live-test:in_2"));

  LiveClient::Note note;
  note.at = jack_frame_time(client.Client()) + 4410;
  note.status = 0x90, note.note = 38, note.velocity = 127;
  client.Schedule(&note, 1);
  client.Start();
  ASSERT_TRUE(WaitFor([&] { return client.Frames() > 22050; }, std::chrono::seconds(10)));
  EXPECT_EQ(play.Stop(SIGINT).status, 0);
  float pairPeak = 0, mainPeak = 0;
  for (size_t i = 0; i < client.Frames(); ++i) {
    pairPeak = std::max(pairPeak, std::fabs(client.Left()[i]));
    mainPeak = std::max(mainPeak, std::fabs(client.Right()[i]));
  }
  const double expected = 8000 / 32768.0 * GainOfAttenuation(NoteAttenuation(-4000, 127, 127));
  if (client.Xruns() && pairPeak == 0)
    GTEST_SKIP() << "the server missed periods while recording: no evidence either way";
  EXPECT_NEAR(pairPeak, expected, expected * 0.01) << "the snare sounds on its own pair";
  EXPECT_EQ(mainPeak, 0.0f) << "and not on the main one";
}

TEST(PlayLive, AKitPastItsMemoryBudgetPlaysFromDiskWithoutAGap) {
  if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed: no live test";
  JackServer server(44100, 128);
  ASSERT_TRUE(server.Running()) << "jackd did not start: " << server.Failure();
  // 6.5 s that rise steadily (1.1 MB as it plays): a block out of place or
  // missing shows.
  TempDir dir;
  constexpr int kFrames = 286650;
  std::vector<int16_t> rising(2 * kFrames);
  for (int i = 0; i < kFrames; ++i) rising[2 * i] = rising[2 * i + 1] = int16_t(1000 + i / 10);
  WriteWav(dir / "long.wav", rising);
  WriteTextFile(dir / "kit.sfz", "<region> key=38 sample=long.wav\n");

  BackgroundProcess play(
      ThumperArgv({"play", dir / "kit.sfz", "--driver", "1", "--midi", "99", "--memory", "1"}));
  LiveClient client;
  ASSERT_TRUE(client.Ok());
  ASSERT_TRUE(client.ConnectToThumper(std::chrono::seconds(10))) << play.ErrSoFar();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the one sample is in
  LiveClient::Note note;
  note.at = jack_frame_time(client.Client()) + 4410;
  note.status = 0x90, note.note = 38, note.velocity = 127;
  client.Schedule(&note, 1);
  client.Start();
  ASSERT_TRUE(
      WaitFor([&] { return client.Frames() > 4410 + kFrames + 8820; }, std::chrono::seconds(20)));
  const ProcessResult stopped = play.Stop(SIGINT);
  EXPECT_EQ(stopped.status, 0) << stopped.err;
  EXPECT_NE(stopped.err.find("1 of its samples play from disk"), std::string::npos) << stopped.err;

  const auto& left = client.Left();
  size_t onset = note.sent.load() - client.FirstFrameTime();
  while (onset < client.Frames() && std::fabs(left[onset]) < 1e-4f) ++onset;
  ASSERT_LT(onset + kFrames, client.Frames()) << "the note never sounded";
  // The level follows the sample frame by frame at one gain, head and stream alike.
  const double gain = left[onset] / 1000.0;
  std::string wrong;
  for (int k = 0; k < kFrames - 100 && wrong.size() < 400; k += 251) {
    const double want = gain * (1000 + k / 10);
    if (std::fabs(left[onset + size_t(k)] - want) > 0.01 * want)
      wrong += "frame " + std::to_string(k) + ": " + std::to_string(left[onset + size_t(k)]) +
               " instead of " + std::to_string(want) + "\n";
  }
  if (!wrong.empty() && client.Xruns())
    GTEST_SKIP() << "the server missed periods while recording: no evidence either way";
  EXPECT_EQ(wrong, "");
  EXPECT_EQ(stopped.err.find("underruns"), std::string::npos) << stopped.err;
}

}  // namespace
}  // namespace thumper::test
