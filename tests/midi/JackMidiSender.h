#pragma once
// A JACK client with one MIDI output port that sends one short message per
// call, in its next period, and counts the periods the server missed (a message
// sent in one of them may never be delivered).

#include <jack/jack.h>
#include <jack/midiport.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include "play/NoteTrigger.h"

namespace thumper::test {

class JackMidiSender {
 public:
  explicit JackMidiSender(const char* name = "sender") {
    jack_status_t status;
    m_pClient = jack_client_open(name, JackNoStartServer, &status);
    if (!m_pClient) return;
    m_pPort = jack_port_register(m_pClient, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    jack_set_process_callback(m_pClient, &Process, this);
    jack_set_xrun_callback(
        m_pClient,
        [](void* self) {
          static_cast<JackMidiSender*>(self)->m_nXruns.fetch_add(1);
          return 0;
        },
        this);
    jack_activate(m_pClient);
  }
  ~JackMidiSender() {
    if (m_pClient) jack_client_close(m_pClient);
  }
  JackMidiSender(const JackMidiSender&) = delete;
  JackMidiSender& operator=(const JackMidiSender&) = delete;

  bool Ok() const { return m_pClient && m_pPort; }
  jack_client_t* Client() const { return m_pClient; }
  std::string PortName() const { return jack_port_name(m_pPort); }
  bool ConnectTo(const std::string& port) {
    return jack_connect(m_pClient, PortName().c_str(), port.c_str()) == 0;
  }
  int Xruns() const { return m_nXruns.load(); }

  // Sends one message in the next period and waits (up to 3 s) until it went out.
  void Send(uint8_t status, uint8_t d1, uint8_t d2) {
    WaitSent();
    m_nMessage = PackShortMessage(status, d1, d2);
    m_bPending.store(true);
    WaitSent();
  }

 private:
  void WaitSent() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (m_bPending.load() && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackMidiSender*>(arg);
    void* buffer = jack_port_get_buffer(self->m_pPort, frames);
    jack_midi_clear_buffer(buffer);
    if (self->m_bPending.load()) {
      const uint32_t m = self->m_nMessage;
      const jack_midi_data_t bytes[3] = {jack_midi_data_t(m & 0xFF),
                                         jack_midi_data_t((m >> 8) & 0xFF),
                                         jack_midi_data_t((m >> 16) & 0xFF)};
      jack_midi_event_write(buffer, 0, bytes, 3);
      self->m_bPending.store(false);
    }
    return 0;
  }

  jack_client_t* m_pClient = nullptr;
  jack_port_t* m_pPort = nullptr;
  std::atomic<bool> m_bPending{false};
  std::atomic<int> m_nXruns{0};
  uint32_t m_nMessage = 0;
};

}  // namespace thumper::test
