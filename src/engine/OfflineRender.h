#pragma once
// A song rendered offline: the events of a whole song, at absolute frames,
// played block by block through the timed-event engine, exactly as a live host
// would play them, until the last sound has finished. Control thread.

#include <cstdint>
#include <span>

#include "audio/Mixer.h"
#include "engine/TimedEngine.h"

namespace thumper {

struct SongEvent {
  int64_t nFrame = 0;     // from the start of the song
  uint32_t nMessage = 0;  // packed short message
};

class OfflineRender {
 public:
  static constexpr uint32_t kBlockFrames = 1024;

  // events in time order; engine and mixer must outlive the render.
  OfflineRender(TimedEngine& engine, Mixer& mixer, std::span<const SongEvent> events)
      : m_engine(engine), m_mixer(mixer), m_events(events) {}

  // Renders the next block (at most kBlockFrames) into out and returns its
  // length; 0 once every event is played and the last sound has ended. The
  // last block stops after its last frame that is not silent.
  uint32_t Next(const MixTarget& out);
  // Frames rendered so far.
  int64_t Frame() const { return m_nFrame; }

 private:
  TimedEngine& m_engine;
  Mixer& m_mixer;
  std::span<const SongEvent> m_events;
  size_t m_nNext = 0;
  int64_t m_nFrame = 0;
  bool m_bDone = false;
  MidiEventAt m_block[kBlockFrames * 4] = {};  // events of one block; more wait for the next
};

}  // namespace thumper
