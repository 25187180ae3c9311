#pragma once
// What a sound device pulls each cycle when it has more to do than mix: the
// engine that applies MIDI events at their frames inside the cycle. Devices
// that know each event's frame (JACK) hand the events over; every device gives
// the time its cycle starts, against the clock that inputs without a frame are
// stamped with.

#include <cstdint>
#include <span>

#include "audio/Mixer.h"

namespace thumper {

// A packed short MIDI message (status in bits 0-7, data bytes in 8-15 and
// 16-23) at a frame of the cycle.
struct MidiEventAt {
  uint32_t nFrame = 0;
  uint32_t nMessage = 0;
};

// Microseconds on some monotonic clock; real-time safe.
using MicrosClock = int64_t (*)() noexcept;

// The steady clock in microseconds.
int64_t SteadyMicros() noexcept;

struct CycleTime {
  // When the cycle's first frame is heard, less the device's fixed latency, on
  // pClock; only meaningful with pClock set.
  int64_t nStartMicros = 0;
  MicrosClock pClock = nullptr;  // null: the cycle has no time (offline)
};

class BlockSource {
 public:
  virtual ~BlockSource() = default;
  // Real-time: the device's audio thread, one at a time. Writes frames frames
  // into out through mixer, applying events (in time order, frames inside the
  // cycle) at their frames.
  virtual void RenderCycle(Mixer& mixer, const MixTarget& out, uint32_t frames,
                           std::span<const MidiEventAt> events, const CycleTime& time) noexcept = 0;
};

}  // namespace thumper
