#pragma once
// Thumper as one native JACK client: a MIDI input "MIDI In" and two audio
// outputs "out_1" and "out_2", served by one process callback, so every MIDI
// event is played at its own frame in the same cycle.

#include <jack/jack.h>

#include <atomic>
#include <memory>
#include <string>

#include "audio/SoundDevice.h"

namespace thumper {

inline constexpr const char* kJackClientName = "Thumper";
inline constexpr const char* kJackMidiPortName = "MIDI In";
inline constexpr const char* kJackOutPortNames[2] = {"out_1", "out_2"};

struct JackClientOptions {
  std::string strName = kJackClientName;  // the server may give the next free name
  bool bConnectOutputs = true;            // to the system's playback ports
};

// What the process callback could not play: kept in counters, never blocked on.
struct JackMidiCounters {
  std::atomic<uint64_t> nDropped{0};  // more events in one cycle than the engine takes
  std::atomic<uint64_t> nIgnored{0};  // system exclusive, real-time, running status
};

class JackClientDevice : public SoundDevice {
 public:
  // Opens, activates and (unless told not to) connects the client; null when
  // no JACK server answers or the client cannot be set up. opened: a client
  // already opened under options.strName and not yet activated (the one the
  // driver list was made through), taken over instead of opening another.
  static std::unique_ptr<JackClientDevice> Open(Reclaimer& reclaimer, std::string description,
                                                const JackClientOptions& options,
                                                jack_client_t* opened = nullptr);
  ~JackClientDevice() override;

  uint32_t PeriodFrames() const override { return m_nPeriod.load(std::memory_order_relaxed); }
  void StopPulling() override;
  bool HasFailed() const override;
  bool HasOwnMidiInput() const override { return true; }
  std::string ClientName() const override { return m_strClientName; }
  uint64_t MissedCycles() const override { return m_nXruns.load(std::memory_order_relaxed); }
  bool IsFreewheeling() const { return m_bFreewheel.load(std::memory_order_relaxed); }
  const JackMidiCounters& MidiCounters() const { return m_midi; }

  // The largest number of events one cycle hands to the engine.
  static constexpr size_t kMaxCycleEvents = 1024;

 private:
  JackClientDevice(Reclaimer& reclaimer, uint32_t rate, std::string description,
                   jack_client_t* client);
  bool Setup(const JackClientOptions& options);
  void ConnectOutputs();

  // Real-time: JACK's process thread. Not noexcept: each holds a
  // JackCallbackGuard, whose end may take libjack's cancel of the thread.
  static int Process(jack_nframes_t frames, void* arg);
  static int BufferSize(jack_nframes_t frames, void* arg);
  static void Latency(jack_latency_callback_mode_t mode, void* arg);
  static int Xrun(void* arg);
  static void Freewheel(int starting, void* arg);
  static int SampleRate(jack_nframes_t rate, void* arg);
  static void Shutdown(jack_status_t, const char*, void* arg);
  static void PlainShutdown(void* arg);

  jack_client_t* m_pClient;
  uint64_t m_nJackGeneration;  // the server's life it was made in
  std::string m_strClientName;
  jack_port_t* m_pMidiIn = nullptr;
  jack_port_t* m_pOut[2] = {nullptr, nullptr};
  bool m_bActive = false;
  bool m_bClosed = false;
  std::atomic<uint32_t> m_nPeriod{0};
  std::atomic<uint64_t> m_nXruns{0};
  std::atomic<bool> m_bFreewheel{false};
  std::atomic<bool> m_bServerGone{false};
  JackMidiCounters m_midi;
  std::unique_ptr<MidiEventAt[]> m_pEvents;  // the process callback's own list
};

}  // namespace thumper
