// `thumper play` as a drum module on a real JACK server: notes sent into its
// MIDI input come back from its audio output as the kit's samples, at
// the levels their velocities ask for. Prints the note-to-sound latency.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

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

}  // namespace
}  // namespace thumper::test
