#pragma once
// A compiled kit played through the note trigger and the mixer: each sample
// of the KitProgram becomes a voice of a constant level that names it (sample
// i plays 100 * (i + 1)), every region, set, group and controller table is
// carried into the PlayProgram field by field, and the test reads back which
// samples sounded and how loud.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "audio/AudioTestSupport.h"
#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "midi/MidiInput.h"
#include "play/KitProgram.h"
#include "play/NoteTrigger.h"
#include "play/TriggerState.h"
#include "support/TestSupport.h"

namespace thumper::test {

class KitPlayer {
 public:
  static constexpr uint32_t kRate = 44100;

  // frames: the length of every sample (long enough to hear a choke).
  explicit KitPlayer(const KitProgram& kit, uint64_t seed = 1, uint32_t frames = 44100)
      : m_kit(kit) {
    for (size_t i = 0; i < kit.samples.size(); ++i) m_voices.push_back(MakeVoice(Level(i), frames));
    m_silent = MakeVoice(0, 1);
    auto state = std::make_unique<TriggerState>();
    Build(state->m_program);
    state->m_program.Finish(seed);
    EXPECT_TRUE(IsWellFormed(state->m_program));
    trigger.Publish(std::move(state));
  }
  ~KitPlayer() { reclaimer.UnregisterReader(reader); }

  static int Level(size_t sample) { return static_cast<int>(100 * (sample + 1)); }

  void Send(uint8_t status, uint8_t d1, uint8_t d2) {
    trigger.OnMidiMessage(*reader, PackShortMessage(status, d1, d2), 0);
  }
  // Left and right of the first frame mixed after the message.
  std::pair<double, double> Hit(int note, int velocity = 100) {
    Send(0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity));
    return Read();
  }
  std::pair<double, double> Read(uint32_t frames = 64) {
    std::vector<float> out(2 * frames);
    mixer.Mix(out.data(), frames);
    return {out[0] * 32768.0, out[1] * 32768.0};
  }
  std::vector<double> LeftLevels(uint32_t frames) {
    std::vector<float> out(2 * frames);
    mixer.Mix(out.data(), frames);
    std::vector<double> left(frames);
    for (uint32_t i = 0; i < frames; ++i) left[i] = out[2 * i] * 32768.0;
    return left;
  }
  // Silences everything (the next hit sounds alone).
  void Quiet() {
    mixer.StopAll();
    LeftLevels(512);
  }

  Reclaimer reclaimer;
  PulledDevice device{reclaimer};
  Mixer& mixer = device.GetMixer();
  ScriptedUi ui;
  NoteTrigger trigger{reclaimer};
  RtReader* reader = reclaimer.RegisterReader();

 private:
  SampleVoice* MakeVoice(int level, uint32_t frames) {
    const auto bytes = ConstantSample(frames, static_cast<int16_t>(level));
    m_own.push_back(std::make_unique<SampleVoice>(
        ui, &device, bytes.data(), static_cast<uint32_t>(bytes.size()), 16, OutputFormat(), "s"));
    return m_own.back().get();
  }

  SampleVoice* VoiceOf(const KitRegion& region) const {
    return region.nSample == KitRegion::kNoSample ? m_silent : m_voices.at(region.nSample);
  }

  static uint32_t Frames(float seconds) {
    return static_cast<uint32_t>(std::lround(seconds * kRate));
  }

  PlayRegion Region(PlayProgram& p, const KitRegion& k) const {
    PlayRegion r;
    r.pVoice = VoiceOf(k);
    r.nVelocityLow = k.nVelocityLow;
    r.nVelocityHigh = k.nVelocityHigh;
    r.gainLaw = k.bCurveLaw ? GainLaw::Curve : GainLaw::Linear;
    r.noteOff = k.noteOff;
    r.nFirstCondition = static_cast<uint32_t>(p.m_condition.size());
    r.nConditionCount = static_cast<uint32_t>(k.conditions.size());
    p.m_condition.insert(p.m_condition.end(), k.conditions.begin(), k.conditions.end());
    r.fGain = k.fGain;
    r.fVelocityPower = k.fVelocityPower;
    r.fPanLeft = k.fPanLeft;
    r.fPanRight = k.fPanRight;
    r.nStartFrame = static_cast<uint32_t>(k.nStartFrame);
    r.nFirstStop = static_cast<uint32_t>(p.m_stop.size());
    r.nStopCount = static_cast<uint32_t>(k.stopsGroups.size());
    p.m_stop.insert(p.m_stop.end(), k.stopsGroups.begin(), k.stopsGroups.end());
    r.nFirstPreStop = static_cast<uint32_t>(p.m_stop.size());
    r.nPreStopCount = static_cast<uint32_t>(k.stopsGroupsFirst.size());
    p.m_stop.insert(p.m_stop.end(), k.stopsGroupsFirst.begin(), k.stopsGroupsFirst.end());
    r.nChokeFadeFrames = Frames(k.fChokeFadeSeconds);
    r.nReleaseFadeFrames = Frames(k.fReleaseFadeSeconds);
    r.fLoudness = k.fLoudness;
    r.nOutput = k.nOutput;
    r.fWidth = k.fWidth;
    if (k.nSequenceLength > 1) r.nChecks |= PlayRegion::kCheckSequence;
    if (k.fRandomLow > 0.0f || k.fRandomHigh < 1.0f) r.nChecks |= PlayRegion::kCheckRandom;
    r.nSequence = k.nSequence;
    r.nSequenceLength = k.nSequenceLength;
    r.nSequencePosition = k.nSequencePosition;
    r.fRandomLow = k.fRandomLow;
    r.fRandomHigh = k.fRandomHigh;
    r.nVelocityCurve = k.nVelocityCurve;
    r.bPanModulated = k.bPanModulated;
    r.nFirstModulation = static_cast<uint32_t>(p.m_modulation.size());
    r.nModulationCount = static_cast<uint32_t>(k.modulations.size());
    p.m_modulation.insert(p.m_modulation.end(), k.modulations.begin(), k.modulations.end());
    r.fPan = k.fPan;
    r.fPanScale = k.fPanScale;
    return r;
  }

  // Appends sets; returns the first.
  uint32_t Sets(PlayProgram& p, const std::vector<KitSet>& sets, bool& stopsOnNoteOff) const {
    const uint32_t first = static_cast<uint32_t>(p.m_set.size());
    for (const KitSet& set : sets) {
      p.m_set.push_back({static_cast<uint32_t>(p.m_region.size()),
                         static_cast<uint32_t>(set.regions.size()), set.selection});
      for (const KitRegion& k : set.regions) {
        p.m_region.push_back(Region(p, k));
        stopsOnNoteOff |= k.noteOff == NoteOffRule::Stop;
      }
    }
    return first;
  }

  void Build(PlayProgram& p) const {
    p.m_curve = m_kit.curves;
    p.m_nSequenceCount = m_kit.nSequenceCount;
    p.m_bStartControllers = m_kit.bStartControllers;
    p.m_nStartController = m_kit.nStartController;
    // Each group's voices: those of the regions it holds.
    std::vector<std::set<SampleVoice*>> members(m_kit.nGroupCount);
    const auto collect = [&](const std::vector<KitSet>& sets) {
      for (const KitSet& set : sets)
        for (const KitRegion& k : set.regions)
          if (k.nChokeGroup >= 0) members.at(k.nChokeGroup).insert(VoiceOf(k));
    };
    for (const KitNote& note : m_kit.notes) {
      collect(note.sets);
      collect(note.releaseSets);
      collect(note.pressureSets);
    }
    for (const auto& sets : m_kit.controllerTriggers) collect(sets);
    for (uint32_t g = 0; g < m_kit.nGroupCount; ++g) {
      ChokeGroup group{static_cast<uint32_t>(p.m_groupVoice.size()),
                       static_cast<uint32_t>(members[g].size())};
      p.m_groupVoice.insert(p.m_groupVoice.end(), members[g].begin(), members[g].end());
      if (g < m_kit.groups.size()) {
        const KitGroup& own = m_kit.groups[g];
        if (own.fFadeSeconds >= 0)
          group.nFadeFrames = static_cast<int32_t>(Frames(own.fFadeSeconds));
        group.nFirstCondition = static_cast<uint32_t>(p.m_condition.size());
        group.nConditionCount = static_cast<uint32_t>(own.spareWhile.size());
        p.m_condition.insert(p.m_condition.end(), own.spareWhile.begin(), own.spareWhile.end());
      }
      p.m_group.push_back(group);
    }
    for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
      const KitNote& k = m_kit.notes[n];
      PlayNote& note = p.m_note[n];
      note.nShowSlot = k.nShowSlot;
      note.nCellThreshold = k.nCellThreshold;
      note.nFirstSet = Sets(p, k.sets, note.bStopsOnNoteOff);
      note.nSetCount = static_cast<uint32_t>(k.sets.size());
      bool ignored = false;
      note.nFirstReleaseSet = Sets(p, k.releaseSets, ignored);
      note.nReleaseSetCount = static_cast<uint32_t>(k.releaseSets.size());
      note.nFirstPressureSet = Sets(p, k.pressureSets, ignored);
      note.nPressureSetCount = static_cast<uint32_t>(k.pressureSets.size());
      note.bRandom = k.bRandom;
      note.nFirstSequence = static_cast<uint32_t>(p.m_noteSequence.size());
      note.nSequenceCount = static_cast<uint8_t>(k.sequences.size());
      p.m_noteSequence.insert(p.m_noteSequence.end(), k.sequences.begin(), k.sequences.end());
    }
    for (int c = 0; c < 128; ++c) {
      bool ignored = false;
      const auto& sets = m_kit.controllerTriggers[c];
      p.m_controllerTrigger[c] = {Sets(p, sets, ignored), static_cast<uint32_t>(sets.size())};
      p.m_bControllerTriggers |= !sets.empty();
    }
  }

  const KitProgram& m_kit;
  std::vector<std::unique_ptr<SampleVoice>> m_own;
  std::vector<SampleVoice*> m_voices;
  SampleVoice* m_silent = nullptr;
};

}  // namespace thumper::test
