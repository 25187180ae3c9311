#include "play/PlayProgram.h"

namespace thumper {

void PlayProgram::Finish(uint64_t seed) {
  m_pCursor = std::make_unique<SetCursor[]>(m_set.size());
  m_nRandom.store(seed, std::memory_order_relaxed);
}

// Real-time: the note trigger. splitmix64 over an atomic counter: two threads
// drawing at once each get a number of their own, and one seed gives one
// sequence run after run.
uint64_t PlayProgram::NextRandom() const noexcept {
  uint64_t z =
      m_nRandom.fetch_add(0x9E3779B97F4A7C15ull, std::memory_order_relaxed) + 0x9E3779B97F4A7C15ull;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

bool IsWellFormed(const PlayProgram& program) {
  const auto within = [](uint64_t first, uint64_t count, size_t size) {
    return first + count <= size;
  };
  if (program.m_set.size() && !program.m_pCursor) return false;
  for (const PlayNote& note : program.m_note)
    if (!within(note.nFirstSet, note.nSetCount, program.m_set.size())) return false;
  for (const PlaySet& set : program.m_set) {
    if (set.nRegionCount > PlayProgram::kMaxSetRegions ||
        !within(set.nFirstRegion, set.nRegionCount, program.m_region.size()))
      return false;
  }
  for (const PlayRegion& region : program.m_region) {
    if (region.nVelocityLow < 1 || region.nVelocityHigh > 127 ||
        !within(region.nFirstCondition, region.nConditionCount, program.m_condition.size()) ||
        !within(region.nFirstStop, region.nStopCount, program.m_stop.size()) ||
        !within(region.nFirstPreStop, region.nPreStopCount, program.m_stop.size()))
      return false;
  }
  for (const ControllerRange& range : program.m_condition)
    if (range.nController > ControllerRange::kPolyPressure) return false;
  for (uint32_t group : program.m_stop)
    if (group >= program.m_group.size()) return false;
  for (const ChokeGroup& group : program.m_group)
    if (!within(group.nFirstVoice, group.nVoiceCount, program.m_groupVoice.size())) return false;
  for (const SampleVoice* voice : program.m_groupVoice)
    if (!voice) return false;
  return true;
}

}  // namespace thumper
