#pragma once
// A JACK client for end-to-end tests of live playing: it plays scheduled notes
// into a MIDI port and records two audio ports, both on JACK's frame clock.

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace thumper::test {

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
  // A client's ports are seen before it is active, and JACK refuses to connect
  // an inactive client's ports: try until it takes, or the time is up.
  bool ConnectWhenReady(const char* from, const char* to,
                        std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!Connect(from, to)) {
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  // Plays into Thumper's "MIDI In" and records its two outputs, once its client
  // is there and active; false when that does not happen within limit.
  bool ConnectToThumper(std::chrono::milliseconds limit = std::chrono::seconds(15)) {
    return ConnectWhenReady("thumper-live-test:midi_out", "Thumper:MIDI In", limit) &&
           ConnectWhenReady("Thumper:out_1", "thumper-live-test:in_1", limit) &&
           ConnectWhenReady("Thumper:out_2", "thumper-live-test:in_2", limit);
  }
  // Notes go out from the next cycle on; call before Start.
  void Schedule(Note* notes, size_t count) {
    m_pNotes = notes;
    m_nNotes = count;
  }
  void Start() { m_bRecording.store(true); }
  size_t Frames() const { return m_nFrames.load(); }
  jack_nframes_t FirstFrameTime() const { return m_nFirstTime.load(); }
  const std::vector<float>& Left() const { return m_left; }
  const std::vector<float>& Right() const { return m_right; }
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
    // Frames are kept at their place on JACK's clock, so a cycle this client
    // missed leaves a gap instead of moving everything after it.
    if (c->m_nFrames.load() == 0 && c->m_nFirstTime.load() == 0) c->m_nFirstTime.store(now);
    const size_t at = now - c->m_nFirstTime.load();
    const auto* l = static_cast<const float*>(jack_port_get_buffer(c->m_pIn[0], frames));
    const auto* r = static_cast<const float*>(jack_port_get_buffer(c->m_pIn[1], frames));
    size_t have = at;
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

}  // namespace thumper::test
