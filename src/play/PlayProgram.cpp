#include "play/PlayProgram.h"

#include <algorithm>
#include <cmath>

namespace thumper {

void PlayProgram::Finish(uint64_t seed) {
  m_pCursor = std::make_unique<SetCursor[]>(m_set.size());
  m_pSequence = std::make_unique<std::atomic<uint32_t>[]>(m_nSequenceCount);
  for (uint32_t c = 0; c < m_nSequenceCount; ++c)
    m_pSequence[c].store(0, std::memory_order_relaxed);
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

// Real-time: the note trigger.
void SfzPanGains(float pan, float& left, float& right) noexcept {
  constexpr int kSteps = 4094;  // sfizz's table: 4,095 points over a quarter circle
  constexpr double kStep = 1.57079632679489661923 / kSteps;
  const float p = std::clamp((pan + 1.0f) * 0.5f, 0.0f, 1.0f);
  const long l = std::lround(p * kSteps), r = std::lround((1.0f - p) * kSteps);
  left = static_cast<float>(std::cos(static_cast<double>(l) * kStep));
  right = static_cast<float>(std::cos(static_cast<double>(r) * kStep));
}

bool IsWellFormed(const PlayProgram& program) {
  const auto within = [](uint64_t first, uint64_t count, size_t size) {
    return first + count <= size;
  };
  if (program.m_set.size() && !program.m_pCursor) return false;
  if (program.m_nSequenceCount && !program.m_pSequence) return false;
  for (const PlayNote& note : program.m_note) {
    if (!within(note.nFirstSet, note.nSetCount, program.m_set.size()) ||
        !within(note.nFirstReleaseSet, note.nReleaseSetCount, program.m_set.size()) ||
        !within(note.nFirstPressureSet, note.nPressureSetCount, program.m_set.size()) ||
        note.nSequenceCount > PlayProgram::kMaxNoteSequences ||
        !within(note.nFirstSequence, note.nSequenceCount, program.m_noteSequence.size()))
      return false;
  }
  for (uint32_t counter : program.m_noteSequence)
    if (counter >= program.m_nSequenceCount) return false;
  for (const ControllerTrigger& trigger : program.m_controllerTrigger)
    if (!within(trigger.nFirstSet, trigger.nSetCount, program.m_set.size())) return false;
  for (const PlaySet& set : program.m_set) {
    if (set.nRegionCount > PlayProgram::kMaxSetRegions ||
        !within(set.nFirstRegion, set.nRegionCount, program.m_region.size()))
      return false;
  }
  for (const PlayRegion& region : program.m_region) {
    if (region.nVelocityLow < 1 || region.nVelocityHigh > 127 ||
        !within(region.nFirstCondition, region.nConditionCount, program.m_condition.size()) ||
        !within(region.nFirstStop, region.nStopCount, program.m_stop.size()) ||
        !within(region.nFirstPreStop, region.nPreStopCount, program.m_stop.size()) ||
        !within(region.nFirstModulation, region.nModulationCount, program.m_modulation.size()) ||
        region.nSequence >= PlayProgram::kMaxNoteSequences || region.nSequenceLength == 0 ||
        (region.gainLaw == GainLaw::Curve && region.nVelocityCurve >= program.m_curve.size()))
      return false;
  }
  for (const Modulation& modulation : program.m_modulation)
    if (modulation.nController > ControllerRange::kPolyPressure ||
        modulation.nCurve >= program.m_curve.size())
      return false;
  for (const ControllerRange& range : program.m_condition)
    if (range.nController > ControllerRange::kPolyPressure) return false;
  for (uint32_t group : program.m_stop)
    if ((group & ~ChokeGroup::kSpareWhileHeld) >= program.m_group.size()) return false;
  for (const ChokeGroup& group : program.m_group)
    if (!within(group.nFirstVoice, group.nVoiceCount, program.m_groupVoice.size()) ||
        !within(group.nFirstCondition, group.nConditionCount, program.m_condition.size()))
      return false;
  for (const SampleVoice* voice : program.m_groupVoice)
    if (!voice) return false;
  return true;
}

}  // namespace thumper
