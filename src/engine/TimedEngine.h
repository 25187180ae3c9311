#pragma once
// The one path from MIDI to sound, for every host: the JACK client's process
// callback, the other devices' callbacks, `thumper render` and the plugin.
//
// A cycle is mixed up to each event's frame, the event is handed to the note
// trigger there, and mixing goes on, so a note sounds from the very frame it
// was given. Inputs that know only when a message arrived (RtMidi's devices,
// the ALSA sequencer) post it here with its arrival time; it is played exactly
// one cycle after that time, at the matching frame of a later cycle, so those
// inputs have a constant latency of one period and no jitter.
//
// Threads: RenderCycle runs on one audio thread at a time; PostNow on any
// thread. Neither locks, allocates, frees or does I/O.

#include <array>
#include <atomic>
#include <cstdint>
#include <span>

#include "audio/BlockSource.h"
#include "audio/CommandQueue.h"
#include "audio/Reclaimer.h"
#include "audio/WakeSignal.h"
#include "midi/MidiInput.h"
#include "play/NoteTrigger.h"

namespace thumper {

class TimedEngine : public BlockSource, public MidiInbox {
 public:
  // Stamped messages waiting for their cycle, at most.
  static constexpr size_t kPendingCapacity = 1024;

  // Control thread. Registers the trigger's reader with reclaimer, which must
  // outlive the engine.
  TimedEngine(NoteTrigger& trigger, Reclaimer& reclaimer);
  // Nothing may call RenderCycle or PostNow any more.
  ~TimedEngine() override;
  TimedEngine(const TimedEngine&) = delete;
  TimedEngine& operator=(const TimedEngine&) = delete;

  // Any thread; real-time safe. A message from an input that knows only its
  // arrival time (now). False when the inbox is full: the message is dropped
  // and counted.
  bool PostNow(uint32_t message) noexcept override;
  // The same with an arrival time already read from the clock of the running
  // device (see CurrentClock), for tests and benchmarks.
  bool PostAt(uint32_t message, int64_t arrivalMicros) noexcept;
  // Raised after every post (null: none), so a device resting between cycles
  // wakes for it. Control thread, before any input posts; it must outlive them.
  void SetPostWake(WakeSignal* wake) { m_pPostWake.store(wake, std::memory_order_release); }
  // The clock stamps are read from: the running device's, else the steady clock.
  MicrosClock CurrentClock() const noexcept;

  // Real-time: the audio thread.
  void RenderCycle(Mixer& mixer, const MixTarget& out, uint32_t frames,
                   std::span<const MidiEventAt> events, const CycleTime& time) noexcept override;

  // Messages dropped because the inbox or the waiting list was full.
  uint64_t DroppedMessages() const { return m_nDropped.load(std::memory_order_relaxed); }
  bool IsUsable() const { return m_pReader != nullptr; }

 private:
  struct Stamped {
    int64_t nMicros;
    uint32_t nMessage;
  };
  struct Waiting {
    int64_t nFrame;  // on the engine's running frame count
    uint32_t nMessage;
  };

  void TakeInbox(uint32_t rate, uint32_t frames, const CycleTime& time) noexcept;
  void Apply(uint32_t message) noexcept;

  NoteTrigger& m_trigger;
  Reclaimer& m_reclaimer;
  RtReader* m_pReader;
  CommandQueue<Stamped> m_inbox;
  std::atomic<MicrosClock> m_pClock{nullptr};
  std::atomic<WakeSignal*> m_pPostWake{nullptr};
  std::atomic<uint64_t> m_nDropped{0};

  // Audio-thread state.
  int64_t m_nFrame = 0;  // frames rendered so far
  std::array<Waiting, kPendingCapacity> m_waiting{};
  size_t m_nWaiting = 0;
  std::array<MidiEventAt, kPendingCapacity> m_due{};
};

}  // namespace thumper
