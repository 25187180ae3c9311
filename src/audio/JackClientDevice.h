#pragma once
// Thumper as one native JACK client: a MIDI input "MIDI In" and two audio
// outputs "out_1" and "out_2", served by one process callback, so every MIDI
// event is played at its own frame in the same cycle. With multi-out, each
// output pair the kit plays on besides the main one has two ports of its own,
// named after the kit ("n38_snare_L"), so a DAW's connections survive a kit change.

#include <jack/jack.h>

#include <array>
#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "audio/SoundDevice.h"

namespace thumper {

inline constexpr const char* kJackClientName = "Thumper";
inline constexpr const char* kJackMidiPortName = "MIDI In";
inline constexpr const char* kJackOutPortNames[2] = {"out_1", "out_2"};

struct JackClientOptions {
  std::string strName = kJackClientName;  // the server may give the next free name
  bool bConnectOutputs = true;            // to the system's playback ports
  bool bMultiOut = false;                 // a pair of ports for each output pair of the kit
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
  // Registers the ports of pairs that are new and, once the process callback
  // no longer reads them, unregisters those of pairs that went. Control thread.
  void SetOutputPairs(const std::vector<OutputPairPorts>& pairs) override;

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

  // The ports of output pairs 1..nMore (null: that pair has none and mixes
  // into scratch). Built on the control thread, read by the process callback.
  struct PairTable {
    uint32_t nMore = 0;
    std::array<jack_port_t*, 2 * Mixer::kMaxOutputs> pPort{};
  };
  static constexpr uint32_t kScratchFrames = 8192;
  // Waits until the process callback has begun a cycle after now; false when
  // it does not within a second (a stalled or freewheeling server).
  bool WaitForNextCycle();

  jack_client_t* m_pClient;
  bool m_bMultiOut = false;
  std::vector<OutputPairPorts> m_pairs;                  // control thread
  std::map<std::string, jack_port_t*> m_pairPort;        // registered, by short name
  std::vector<std::unique_ptr<PairTable>> m_pairTables;  // the published one last
  std::atomic<const PairTable*> m_pPairs{nullptr};
  std::atomic<uint64_t> m_nCycles{0};
  std::unique_ptr<float[]> m_pScratch;                     // the process callback's own
  std::array<MixTarget, Mixer::kMaxOutputs - 1> m_more{};  // the process callback's own
  uint64_t m_nJackGeneration;                              // the server's life it was made in
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
