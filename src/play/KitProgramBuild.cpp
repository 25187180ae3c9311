#include "play/KitProgramBuild.h"

#include <algorithm>
#include <cmath>

namespace thumper {

namespace {

uint32_t FramesOf(float seconds, uint32_t rate) {
  if (!(seconds > 0.0f)) return 0;
  // A minute of fade is more than any kit asks; beyond it a value is damage.
  return static_cast<uint32_t>(std::lround(std::min(seconds, 60.0f) * static_cast<double>(rate)));
}

SampleVoice* VoiceOf(const KitRegion& region, std::span<const KitVoiceRef> voices) {
  return region.nSample < voices.size() ? voices[region.nSample].pVoice : nullptr;
}

// Appends the groups of groups that exist to stop; returns where they start.
uint32_t AddStops(const std::vector<uint32_t>& groups, uint32_t groupCount,
                  std::vector<uint32_t>& stop, uint32_t& count) {
  const auto first = static_cast<uint32_t>(stop.size());
  count = 0;
  for (uint32_t g : groups) {
    if (g >= groupCount) continue;
    stop.push_back(g);
    ++count;
  }
  return first;
}

}  // namespace

uint32_t PitchedRate(uint32_t rate, float semitones) {
  if (semitones == 0.0f || !std::isfinite(semitones)) return rate;
  const double pitched =
      static_cast<double>(rate) / std::exp2(static_cast<double>(semitones) / 12.0);
  return static_cast<uint32_t>(std::clamp(std::lround(pitched), 1000l, 1536000l));
}

std::vector<bool> SamplesOfNotes(const KitProgram& program,
                                 const std::array<bool, PlayProgram::kNoteCount>& notes) {
  std::vector<bool> wanted(program.samples.size(), false);
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    if (!notes[n]) continue;
    for (const KitSet& set : program.notes[n].sets)
      for (const KitRegion& region : set.regions)
        if (region.nSample < wanted.size()) wanted[region.nSample] = true;
  }
  return wanted;
}

std::unique_ptr<TriggerState> BuildKitTriggerState(const KitProgram& kit,
                                                   std::span<const KitVoiceRef> voices,
                                                   uint32_t rate, uint64_t seed) {
  auto state = std::make_unique<TriggerState>();
  PlayProgram& program = state->m_program;

  // Each choke group stops the voices of every region in it, each voice once.
  std::vector<std::vector<SampleVoice*>> groupVoices(kit.nGroupCount);
  for (const KitNote& note : kit.notes)
    for (const KitSet& set : note.sets)
      for (const KitRegion& region : set.regions) {
        SampleVoice* voice = VoiceOf(region, voices);
        if (!voice || region.nChokeGroup < 0 ||
            static_cast<uint32_t>(region.nChokeGroup) >= kit.nGroupCount)
          continue;
        auto& list = groupVoices[static_cast<size_t>(region.nChokeGroup)];
        if (std::find(list.begin(), list.end(), voice) == list.end()) list.push_back(voice);
      }
  for (const auto& list : groupVoices) {
    program.m_group.push_back(
        {static_cast<uint32_t>(program.m_groupVoice.size()), static_cast<uint32_t>(list.size())});
    program.m_groupVoice.insert(program.m_groupVoice.end(), list.begin(), list.end());
  }

  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const KitNote& note = kit.notes[n];
    PlayNote& play = program.m_note[n];
    play.nShowSlot = note.nShowSlot;
    play.nCellThreshold = note.nCellThreshold;
    play.nFirstSet = static_cast<uint32_t>(program.m_set.size());
    for (const KitSet& set : note.sets) {
      PlaySet out{static_cast<uint32_t>(program.m_region.size()), 0, set.selection};
      for (const KitRegion& region : set.regions) {
        if (out.nRegionCount == PlayProgram::kMaxSetRegions) break;
        SampleVoice* voice = VoiceOf(region, voices);
        // A sample that did not load leaves its region out; a region that
        // names none only chokes.
        if (!voice && region.nSample != KitRegion::kNoSample) continue;
        const int low = std::max<int>(region.nVelocityLow, 1);
        const int high = std::min<int>(region.nVelocityHigh, 127);
        if (low > high) continue;
        PlayRegion r;
        r.pVoice = voice;
        r.nVelocityLow = static_cast<uint8_t>(low);
        r.nVelocityHigh = static_cast<uint8_t>(high);
        r.gainLaw = GainLaw::Linear;
        r.noteOff = region.noteOff;
        r.nFirstCondition = static_cast<uint32_t>(program.m_condition.size());
        for (const ControllerRange& c : region.conditions) {
          if (c.nController > ControllerRange::kPolyPressure) continue;
          program.m_condition.push_back(c);
          ++r.nConditionCount;
        }
        r.fGain = std::isfinite(region.fGain) ? std::max(region.fGain, 0.0f) : 0.0f;
        r.fVelocityPower = std::isfinite(region.fVelocityPower) ? region.fVelocityPower : 1.0f;
        r.fPanLeft = region.fPanLeft;
        r.fPanRight = region.fPanRight;
        r.fWidth = region.fWidth;
        const double start =
            static_cast<double>(region.nStartFrame) *
            (voice && region.nSample < voices.size() ? voices[region.nSample].fFramesPerFileFrame
                                                     : 1.0);
        r.nStartFrame = static_cast<uint32_t>(std::min(std::llround(start), 0xFFFFFFFFll));
        r.nFirstStop = AddStops(region.stopsGroups, kit.nGroupCount, program.m_stop, r.nStopCount);
        r.nFirstPreStop =
            AddStops(region.stopsGroupsFirst, kit.nGroupCount, program.m_stop, r.nPreStopCount);
        r.nChokeFadeFrames = FramesOf(region.fChokeFadeSeconds, rate);
        r.nReleaseFadeFrames = FramesOf(region.fReleaseFadeSeconds, rate);
        r.fLoudness = region.fLoudness;
        r.nOutput = region.nOutput;
        play.bStopsOnNoteOff |= voice && region.noteOff == NoteOffRule::Stop;
        program.m_region.push_back(r);
        ++out.nRegionCount;
      }
      if (out.nRegionCount == 0) continue;
      program.m_set.push_back(out);
      ++play.nSetCount;
    }
    // The keyboard panels light the key a note shows, by its own cells.
    if (play.nSetCount > 0 && play.nShowSlot < kSlotCount) {
      TriggerSlot& slot = state->m_slot[play.nShowSlot];
      slot.bSounds = true;
      slot.nThreshold = play.nCellThreshold;
    }
  }
  program.Finish(seed);
  return state;
}

}  // namespace thumper
