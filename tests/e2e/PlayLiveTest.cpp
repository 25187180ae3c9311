// `thumper play` as a drum module on a real JACK server: notes sent into its
// virtual MIDI input come back from its audio output as the kit's samples, at
// the levels their velocities ask for. Prints the note-to-sound latency.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <csignal>
#include <thread>

#include "audio/WaveFormat.h"
#include "drumset/CThumperDoc.h"
#include "midi/NoteTrigger.h"
#include "support/JackServer.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

// Plays notes into a MIDI port and records two audio ports, both stamped with
// JACK frame times, so a recorded frame can be matched with the note that made it.
class LiveClient {
 public:
  static constexpr size_t kMaxFrames = 44100 * 8;
  struct Note {
    jack_nframes_t at;  // frame time to send at
    uint8_t status, note, velocity;
    std::atomic<jack_nframes_t> sent{0};
  };

  LiveClient() : m_left(kMaxFrames), m_right(kMaxFrames) {
    m_pClient = jack_client_open("thumper-live-test", JackNoStartServer, nullptr);
    if (!m_pClient) return;
    m_pMidi =
        jack_port_register(m_pClient, "midi_out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    m_pIn[0] = jack_port_register(m_pClient, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    m_pIn[1] = jack_port_register(m_pClient, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(m_pClient, &LiveClient::Process, this);
    jack_set_xrun_callback(
        m_pClient,
        [](void* self) {
          static_cast<LiveClient*>(self)->m_nXruns.fetch_add(1);
          return 0;
        },
        this);
    jack_activate(m_pClient);
  }
  ~LiveClient() {
    if (m_pClient) {
      jack_deactivate(m_pClient);
      jack_client_close(m_pClient);
    }
  }
  bool Ok() const { return m_pClient != nullptr; }
  jack_client_t* Client() const { return m_pClient; }

  bool Connect(const char* from, const char* to) { return jack_connect(m_pClient, from, to) == 0; }
  // Notes go out from the next cycle on; call before Start.
  void Schedule(Note* notes, size_t count) {
    m_pNotes = notes;
    m_nNotes = count;
  }
  void Start() { m_bRecording.store(true); }
  size_t Frames() const { return m_nFrames.load(); }
  jack_nframes_t FirstFrameTime() const { return m_nFirstTime.load(); }
  const std::vector<float>& Left() const { return m_left; }
  // Periods the server missed while we recorded.
  int Xruns() const { return m_nXruns.load(); }

 private:
  static int Process(jack_nframes_t frames, void* self) {
    auto* c = static_cast<LiveClient*>(self);
    const jack_nframes_t now = jack_last_frame_time(c->m_pClient);
    void* midi = jack_port_get_buffer(c->m_pMidi, frames);
    jack_midi_clear_buffer(midi);
    if (!c->m_bRecording.load()) return 0;
    for (size_t i = 0; i < c->m_nNotes; ++i) {
      Note& n = c->m_pNotes[i];
      if (n.sent.load() == 0 && n.at < now + frames) {
        const jack_nframes_t offset = n.at > now ? n.at - now : 0;
        const uint8_t bytes[3] = {n.status, n.note, n.velocity};
        jack_midi_event_write(midi, offset, bytes, 3);
        n.sent.store(now + offset);
      }
    }
    size_t have = c->m_nFrames.load();
    if (have == 0) c->m_nFirstTime.store(now);
    const auto* l = static_cast<const float*>(jack_port_get_buffer(c->m_pIn[0], frames));
    const auto* r = static_cast<const float*>(jack_port_get_buffer(c->m_pIn[1], frames));
    for (jack_nframes_t i = 0; i < frames && have < kMaxFrames; ++i, ++have) {
      c->m_left[have] = l[i];
      c->m_right[have] = r[i];
    }
    c->m_nFrames.store(have);
    return 0;
  }

  jack_client_t* m_pClient = nullptr;
  jack_port_t* m_pMidi = nullptr;
  jack_port_t* m_pIn[2] = {nullptr, nullptr};
  std::vector<float> m_left, m_right;
  std::atomic<size_t> m_nFrames{0};
  std::atomic<jack_nframes_t> m_nFirstTime{0};
  std::atomic<bool> m_bRecording{false};
  std::atomic<int> m_nXruns{0};
  Note* m_pNotes = nullptr;
  size_t m_nNotes = 0;
};

template <class Pred>
bool WaitFor(Pred pred, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

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
  ASSERT_TRUE(WaitFor(
      [&] {
        return jack_port_by_name(client.Client(), "Thumper MIDI:Thumper MIDI In") &&
               jack_port_by_name(client.Client(), "Thumper:outport 1");
      },
      std::chrono::seconds(10)))
      << play.ErrSoFar();
  ASSERT_TRUE(client.Connect("thumper-live-test:midi_out", "Thumper MIDI:Thumper MIDI In"));
  ASSERT_TRUE(client.Connect("Thumper:outport 0", "thumper-live-test:in_1"));
  ASSERT_TRUE(client.Connect("Thumper:outport 1", "thumper-live-test:in_2"));

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
