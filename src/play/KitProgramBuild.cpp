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
    if ((g & ~ChokeGroup::kSpareWhileHeld) >= groupCount) continue;
    stop.push_back(g);
    ++count;
  }
  return first;
}

}  // namespace

namespace {

// Whether a sample the note may sound is still loading.
bool Pending(const KitNote& note, std::span<const KitVoiceRef> voices) {
  for (const auto* sets : {&note.sets, &note.releaseSets, &note.pressureSets})
    for (const KitSet& set : *sets)
      for (const KitRegion& region : set.regions)
        if (region.nSample < voices.size() && voices[region.nSample].bPending) return true;
  return false;
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
  const auto want = [&](const std::vector<KitSet>& sets) {
    for (const KitSet& set : sets)
      for (const KitRegion& region : set.regions)
        if (region.nSample < wanted.size()) wanted[region.nSample] = true;
  };
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    if (!notes[n]) continue;
    want(program.notes[n].sets);
    want(program.notes[n].releaseSets);
    want(program.notes[n].pressureSets);
  }
  // A controller may start regions whatever the notes: their samples are always wanted.
  for (const auto& sets : program.controllerTriggers) want(sets);
  return wanted;
}

namespace {

// Every set of a kit, wherever it starts from.
template <class F>
void ForEachSetList(const KitProgram& kit, F&& f) {
  for (const KitNote& note : kit.notes) {
    f(note.sets);
    f(note.releaseSets);
    f(note.pressureSets);
  }
  for (const auto& sets : kit.controllerTriggers) f(sets);
}

class Builder {
 public:
  Builder(const KitProgram& kit, std::span<const KitVoiceRef> voices, uint32_t rate,
          PlayProgram& program)
      : m_kit(kit), m_voices(voices), m_nRate(rate), m_program(program) {}

  void Groups() {
    // Each choke group stops the voices of every region in it, each voice once.
    std::vector<std::vector<SampleVoice*>> groupVoices(m_kit.nGroupCount);
    ForEachSetList(m_kit, [&](const std::vector<KitSet>& sets) {
      for (const KitSet& set : sets)
        for (const KitRegion& region : set.regions) {
          SampleVoice* voice = VoiceOf(region, m_voices);
          if (!voice || region.nChokeGroup < 0 ||
              static_cast<uint32_t>(region.nChokeGroup) >= m_kit.nGroupCount)
            continue;
          auto& list = groupVoices[static_cast<size_t>(region.nChokeGroup)];
          if (std::find(list.begin(), list.end(), voice) == list.end()) list.push_back(voice);
        }
    });
    for (size_t g = 0; g < groupVoices.size(); ++g) {
      const auto& list = groupVoices[g];
      ChokeGroup group{static_cast<uint32_t>(m_program.m_groupVoice.size()),
                       static_cast<uint32_t>(list.size())};
      m_program.m_groupVoice.insert(m_program.m_groupVoice.end(), list.begin(), list.end());
      if (g < m_kit.groups.size()) {
        const KitGroup& own = m_kit.groups[g];
        if (own.fFadeSeconds >= 0.0f)
          group.nFadeFrames = static_cast<int32_t>(FramesOf(own.fFadeSeconds, m_nRate));
        group.nFirstCondition = static_cast<uint32_t>(m_program.m_condition.size());
        for (const ControllerRange& c : own.spareWhile) {
          if (c.nController > ControllerRange::kPolyPressure) continue;
          m_program.m_condition.push_back(c);
          ++group.nConditionCount;
        }
      }
      m_program.m_group.push_back(group);
    }
  }

  // Appends the sets (each region that can play); returns where they start,
  // and how many there are in count.
  uint32_t Sets(const std::vector<KitSet>& sets, const KitNote* note, uint32_t& count,
                bool& stopsOnNoteOff) {
    const auto first = static_cast<uint32_t>(m_program.m_set.size());
    count = 0;
    for (const KitSet& set : sets) {
      PlaySet out{static_cast<uint32_t>(m_program.m_region.size()), 0, set.selection};
      for (const KitRegion& region : set.regions) {
        if (out.nRegionCount == PlayProgram::kMaxSetRegions) break;
        SampleVoice* voice = VoiceOf(region, m_voices);
        // A sample that did not load leaves its region out; a region that
        // names none only chokes.
        if (!voice && region.nSample != KitRegion::kNoSample) continue;
        const int low = std::max<int>(region.nVelocityLow, 1);
        const int high = std::min<int>(region.nVelocityHigh, 127);
        if (low > high) continue;
        PlayRegion r;
        if (!Region(region, voice, note, r)) continue;
        r.nVelocityLow = static_cast<uint8_t>(low);
        r.nVelocityHigh = static_cast<uint8_t>(high);
        stopsOnNoteOff |= voice && region.noteOff == NoteOffRule::Stop;
        m_program.m_region.push_back(r);
        ++out.nRegionCount;
      }
      if (out.nRegionCount == 0) continue;
      m_program.m_set.push_back(out);
      ++count;
    }
    return first;
  }

 private:
  // False for a region that names what is not there (a damaged description).
  bool Region(const KitRegion& region, SampleVoice* voice, const KitNote* note, PlayRegion& r) {
    r.pVoice = voice;
    r.gainLaw = region.bCurveLaw ? GainLaw::Curve : GainLaw::Linear;
    r.noteOff = region.noteOff;
    r.nFirstCondition = static_cast<uint32_t>(m_program.m_condition.size());
    for (const ControllerRange& c : region.conditions) {
      if (c.nController > ControllerRange::kPolyPressure) continue;
      m_program.m_condition.push_back(c);
      ++r.nConditionCount;
    }
    r.fGain = std::isfinite(region.fGain) ? std::max(region.fGain, 0.0f) : 0.0f;
    r.fVelocityPower = std::isfinite(region.fVelocityPower) ? region.fVelocityPower : 1.0f;
    r.fPanLeft = region.fPanLeft;
    r.fPanRight = region.fPanRight;
    r.fWidth = region.fWidth;
    const double start =
        static_cast<double>(region.nStartFrame) *
        (voice && region.nSample < m_voices.size() ? m_voices[region.nSample].fFramesPerFileFrame
                                                   : 1.0);
    r.nStartFrame = static_cast<uint32_t>(std::min(std::llround(start), 0xFFFFFFFFll));
    r.nFirstStop = AddStops(region.stopsGroups, m_kit.nGroupCount, m_program.m_stop, r.nStopCount);
    r.nFirstPreStop =
        AddStops(region.stopsGroupsFirst, m_kit.nGroupCount, m_program.m_stop, r.nPreStopCount);
    r.nChokeFadeFrames = FramesOf(region.fChokeFadeSeconds, m_nRate);
    r.nReleaseFadeFrames = FramesOf(region.fReleaseFadeSeconds, m_nRate);
    r.fLoudness = region.fLoudness;
    r.nOutput = region.nOutput;
    // Sequence and random checks (SFZ), only where they choose something.
    if (region.nSequenceLength > 1) {
      if (!note || region.nSequence >= note->sequences.size()) return false;
      r.nChecks |= PlayRegion::kCheckSequence;
      r.nSequence = region.nSequence;
      r.nSequenceLength = region.nSequenceLength;
      r.nSequencePosition = region.nSequencePosition;
    }
    if (region.fRandomLow > 0.0f || region.fRandomHigh < 1.0f) {
      r.nChecks |= PlayRegion::kCheckRandom;
      r.fRandomLow = region.fRandomLow;
      r.fRandomHigh = region.fRandomHigh;
    }
    if (region.bCurveLaw) {
      if (region.nVelocityCurve >= m_program.m_curve.size()) return false;
      r.nVelocityCurve = region.nVelocityCurve;
      r.nFirstModulation = static_cast<uint32_t>(m_program.m_modulation.size());
      for (const Modulation& m : region.modulations) {
        if (m.nController > ControllerRange::kPolyPressure || m.nCurve >= m_program.m_curve.size())
          continue;
        m_program.m_modulation.push_back(m);
        ++r.nModulationCount;
      }
      r.bPanModulated = region.bPanModulated;
      r.fPan = region.fPan;
      r.fPanScale = region.fPanScale;
    }
    return true;
  }

  const KitProgram& m_kit;
  std::span<const KitVoiceRef> m_voices;
  uint32_t m_nRate;
  PlayProgram& m_program;
};

}  // namespace

std::unique_ptr<TriggerState> BuildKitTriggerState(const KitProgram& kit,
                                                   std::span<const KitVoiceRef> voices,
                                                   uint32_t rate, uint64_t seed) {
  auto state = std::make_unique<TriggerState>();
  PlayProgram& program = state->m_program;
  program.m_curve = kit.curves;
  program.m_nSequenceCount = kit.nSequenceCount;
  program.m_bStartControllers = kit.bStartControllers;
  program.m_nStartController = kit.nStartController;
  for (uint8_t& value : program.m_nStartController) value = std::min<uint8_t>(value, 127);
  Builder builder(kit, voices, rate, program);
  builder.Groups();

  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const KitNote& note = kit.notes[n];
    PlayNote& play = program.m_note[n];
    play.nShowSlot = note.nShowSlot;
    play.nCellThreshold = note.nCellThreshold;
    // The note's sequence counters (at most kMaxNoteSequences; a region that
    // names one past them is left out).
    play.nFirstSequence = static_cast<uint32_t>(program.m_noteSequence.size());
    for (uint32_t counter : note.sequences) {
      if (play.nSequenceCount == PlayProgram::kMaxNoteSequences || counter >= kit.nSequenceCount)
        break;
      program.m_noteSequence.push_back(counter);
      ++play.nSequenceCount;
    }
    if (Pending(note, voices)) {
      play.bLoading = true;
      continue;
    }
    KitNote bounded;
    bounded.sequences.assign(note.sequences.begin(), note.sequences.begin() + play.nSequenceCount);
    play.bRandom = note.bRandom;
    play.nFirstSet = builder.Sets(note.sets, &bounded, play.nSetCount, play.bStopsOnNoteOff);
    bool ignored = false;
    play.nFirstReleaseSet =
        builder.Sets(note.releaseSets, &bounded, play.nReleaseSetCount, ignored);
    play.nFirstPressureSet =
        builder.Sets(note.pressureSets, nullptr, play.nPressureSetCount, ignored);
    // The keyboard panels light the key a note shows, by its own cells.
    if (play.nSetCount > 0 && play.nShowSlot < kSlotCount) {
      TriggerSlot& slot = state->m_slot[play.nShowSlot];
      slot.bSounds = true;
      slot.nThreshold = play.nCellThreshold;
    }
  }
  for (int c = 0; c < 128; ++c) {
    ControllerTrigger& trigger = program.m_controllerTrigger[c];
    bool ignored = false;
    trigger.nFirstSet =
        builder.Sets(kit.controllerTriggers[c], nullptr, trigger.nSetCount, ignored);
    program.m_bControllerTriggers |= trigger.nSetCount > 0;
  }
  state->m_nGeneralMidiNote = GeneralMidiNotesOf(kit);
  program.Finish(seed);
  return state;
}

std::array<int, 128> GeneralMidiNotesOf(const KitProgram& kit) {
  std::array<int, 128> notes{};
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const int gm = kit.notes[n].nGeneralMidiNote;
    notes[n] = gm == KitNote::kItself ? n : gm >= 0 && gm < 128 ? gm : -1;
  }
  return notes;
}

}  // namespace thumper
