#include "play/NoteTrigger.h"

#include <algorithm>
#include <cmath>

#include "audio/SampleVoice.h"

namespace thumper {

namespace {
constexpr int kControlChange = 0x20;  // added to the note-on status
constexpr int kPolyPressure = 0x10;
constexpr int kNoteOff = -0x10;
constexpr int kChannelVolumeController = 7;
}  // namespace

NoteTrigger::NoteTrigger(Reclaimer& reclaimer) : m_reclaimer(reclaimer) {
  for (auto& volume : m_nChannelVolume) volume.store(127, std::memory_order_relaxed);
  for (int c = 0; c < 16; ++c) {
    for (int k = 0; k < 128; ++k) {
      m_nController[c][k].store(k == kChannelVolumeController ? 127 : 0, std::memory_order_relaxed);
      m_nPolyPressure[c][k].store(0, std::memory_order_relaxed);
      m_nNoteVelocity[c][k].store(0, std::memory_order_relaxed);
    }
  }
  m_pState.store(BuildSilentTriggerState(DrumSet{}).release(), std::memory_order_release);
}

NoteTrigger::~NoteTrigger() {
  delete m_pState.load(std::memory_order_acquire);
}

void NoteTrigger::Publish(std::unique_ptr<TriggerState> state) {
  if (!state) return;
  state->m_bNoteMap = m_noteMap.has_value();
  if (m_noteMap) state->m_noteMap = NoteMapForKit(*m_noteMap, state->m_nGeneralMidiNote);
  ApplyStartControllers(*state);
  // Sequentially consistent, as the readers' epochs: a reader that entered
  // after this exchange cannot see the old state the retirement stamps.
  const TriggerState* old = m_pState.exchange(state.release(), std::memory_order_seq_cst);
  m_reclaimer.Retire(std::unique_ptr<TriggerState>(const_cast<TriggerState*>(old)));
}

// Real-time: the thread that delivers the messages.
const TriggerState* NoteTrigger::Exchange(const TriggerState* state) noexcept {
  if (state) ApplyStartControllers(*state);
  return m_pState.exchange(state, std::memory_order_seq_cst);
}

// Real-time safe: a kit that says where its controllers start (an SFZ kit)
// starts them there on every channel, as its players do at load.
void NoteTrigger::ApplyStartControllers(const TriggerState& state) noexcept {
  const PlayProgram& program = state.m_program;
  if (!program.m_bStartControllers) return;
  for (int c = 0; c < 16; ++c) {
    for (int k = 0; k < 128; ++k)
      m_nController[c][k].store(program.m_nStartController[k], std::memory_order_relaxed);
    m_nChannelVolume[c].store(program.m_nStartController[kChannelVolumeController],
                              std::memory_order_relaxed);
  }
}

void NoteTrigger::SetChannel(int channel) {
  if (channel < 1 || channel > 16) return;
  m_nNoteOnStatus.store(0x8F + channel, std::memory_order_relaxed);
}

int NoteTrigger::ChannelVolume(int channel) const {
  if (channel < 1 || channel > 16) return 0;
  return m_nChannelVolume[channel - 1].load(std::memory_order_relaxed);
}

// Real-time: a MIDI source's thread.
void NoteTrigger::OnMidiMessage(RtReader& reader, uint32_t message, uint32_t) noexcept {
  // Voices and states this message may reach stay alive until it has left.
  RtReadSection section(reader);
  const int status = static_cast<int>(message & 0xFF);
  const int d1 = static_cast<int>((message >> 8) & 0xFF);
  const int d2 = static_cast<int>((message >> 16) & 0xFF);
  // A data byte with its top bit set cannot come from a MIDI wire; such a
  // message is damaged and would reach past the slot and volume ranges.
  if ((d1 | d2) & 0x80) return;

  // Read once: the channel may change between two messages, never within one.
  const int noteOn = m_nNoteOnStatus.load(std::memory_order_relaxed);
  const int channel = (noteOn - 0x90) & 0x0F;

  // One state for the whole message (a mapped pad's notes all read it), loaded
  // after the section's epoch store (a plain load on x86).
  const TriggerState& state = *m_pState.load(std::memory_order_seq_cst);
  if (status == noteOn + kControlChange) {
    const PlayProgram& program = state.m_program;
    const auto move = [&](int controller) {
      const uint8_t old = m_nController[channel][controller].exchange(static_cast<uint8_t>(d2),
                                                                      std::memory_order_relaxed);
      // Regions a controller starts start when it moves, not when it repeats.
      if (program.m_bControllerTriggers && old != d2) [[unlikely]]
        ControllerMoved(program, controller, channel);
    };
    // An input whose pedal sends another controller moves the kits' CC 4.
    if (state.m_bNoteMap && d1 == state.m_noteMap.m_nHiHatController &&
        d1 != NoteMap::kHiHatController)
      move(NoteMap::kHiHatController);
    if (d1 == kChannelVolumeController)
      m_nChannelVolume[channel].store(d2, std::memory_order_relaxed);
    move(d1);
    return;
  }
  if (status == noteOn + kPolyPressure) {
    // A pad's pressure (a cymbal grabbed) belongs to the notes it plays.
    const auto press = [&](int note) {
      m_nPolyPressure[channel][note].store(static_cast<uint8_t>(d2), std::memory_order_relaxed);
      if (state.m_program.m_note[note].nPressureSetCount) [[unlikely]]
        PressureMoved(state.m_program, note, channel);
    };
    if (!state.m_bNoteMap) {
      press(d1);
      return;
    }
    const NoteMap::Targets& targets = state.m_noteMap.m_targets[d1];
    for (int t = 0; t < targets.nCount; ++t) press(targets.nNote[t]);
    return;
  }
  const bool on = status == noteOn && d2 != 0;
  if (!on && status != noteOn && status != noteOn + kNoteOff) return;
  if (!state.m_bNoteMap) {
    on ? NoteOn(state, d1, d2, channel) : NoteOff(state, d1, channel);
    return;
  }
  const NoteMap::Targets& targets = state.m_noteMap.m_targets[d1];
  for (int t = 0; t < targets.nCount; ++t)
    on ? NoteOn(state, targets.nNote[t], d2, channel) : NoteOff(state, targets.nNote[t], channel);
}

// Inlined where regions are weighed: most have no conditions besides velocity.
[[gnu::always_inline]] inline bool NoteTrigger::Holds(const PlayProgram& program,
                                                      const PlayRegion& region,
                                                      const NoteContext& context) const noexcept {
  if (context.nVelocity < region.nVelocityLow || context.nVelocity > region.nVelocityHigh)
    return false;
  return (region.nConditionCount | region.nChecks) == 0 || ChecksHold(program, region, context);
}

bool NoteTrigger::ChecksHold(const PlayProgram& program, const PlayRegion& region,
                             const NoteContext& context) const noexcept {
  if (region.nChecks & PlayRegion::kCheckSequence) {
    const uint32_t turn = context.nSequence[region.nSequence];
    if (turn % region.nSequenceLength != region.nSequencePosition) return false;
  }
  if (region.nChecks & PlayRegion::kCheckRandom) {
    if (context.fRandom < region.fRandomLow || context.fRandom >= region.fRandomHigh) return false;
  }
  return ConditionsHold(program, region.nFirstCondition, region.nConditionCount, context.nNote,
                        context.nChannel);
}

int NoteTrigger::ControllerValue(uint8_t controller, int note, int channel) const noexcept {
  return controller == ControllerRange::kPolyPressure
             ? m_nPolyPressure[channel][note].load(std::memory_order_relaxed)
             : m_nController[channel][controller].load(std::memory_order_relaxed);
}

bool NoteTrigger::ConditionsHold(const PlayProgram& program, uint32_t first, uint32_t count,
                                 int note, int channel) const noexcept {
  for (uint32_t c = first; c < first + count; ++c) {
    const ControllerRange& range = program.m_condition[c];
    const int value = ControllerValue(range.nController, note, channel);
    if (value < range.nLow || value > range.nHigh) return false;
  }
  return true;
}

// The choke groups m_stop[first .. + count) stop, each voice with this fade
// (or the group's own).
void NoteTrigger::StopGroups(const PlayProgram& program, uint32_t first, uint32_t count,
                             uint32_t fadeFrames, const NoteContext& context) const noexcept {
  for (uint32_t k = first; k < first + count; ++k) {
    const uint32_t entry = program.m_stop[k];
    const ChokeGroup& group = program.m_group[entry & ~ChokeGroup::kSpareWhileHeld];
    if ((entry & ChokeGroup::kSpareWhileHeld) &&
        ConditionsHold(program, group.nFirstCondition, group.nConditionCount, context.nNote,
                       context.nChannel))
      continue;
    const uint32_t fade =
        group.nFadeFrames >= 0 ? static_cast<uint32_t>(group.nFadeFrames) : fadeFrames;
    for (uint32_t v = group.nFirstVoice; v < group.nFirstVoice + group.nVoiceCount; ++v)
      program.m_groupVoice[v]->StopAll(fade);
  }
}

void NoteTrigger::PrepareContext(const PlayProgram& program, const PlayNote& note, bool advance,
                                 NoteContext& context) noexcept {
  if (note.bRandom) context.fRandom = static_cast<float>(program.NextRandom() >> 40) / 16777216.0f;
  const uint32_t count = std::min<uint32_t>(note.nSequenceCount, PlayProgram::kMaxNoteSequences);
  for (uint32_t i = 0; i < count; ++i) {
    std::atomic<uint32_t>& counter =
        program.Sequence(program.m_noteSequence[note.nFirstSequence + i]);
    // A note-on weighs the turn it found and moves the counter on; a
    // note-off weighs the turn its note-on had.
    context.nSequence[i] = advance ? counter.fetch_add(1, std::memory_order_relaxed)
                                   : counter.load(std::memory_order_relaxed) - 1;
  }
}

uint32_t NoteTrigger::PlaySets(const PlayProgram& program, uint32_t first, uint32_t count,
                               const NoteContext& context) noexcept {
  uint32_t started[kMaxStarts];
  uint32_t n = 0;
  for (uint32_t s = first; s < first + count; ++s)
    n += PlayFromSet(program, s, context, started, n);
  // Every choice is made before anything sounds: the groups a region stops
  // first (an instrument that cuts its own last hit) fall silent before the
  // new hits start, and cannot cut them.
  for (uint32_t i = 0; i < n; ++i) {
    const PlayRegion& region = program.m_region[started[i]];
    StopGroups(program, region.nFirstPreStop, region.nPreStopCount, region.nChokeFadeFrames,
               context);
  }
  for (uint32_t i = 0; i < n; ++i) Start(program, program.m_region[started[i]], context);
  // The chokes come after every start, so a region that stops its own group
  // falls silent, as a drum set's slot that cuts itself does.
  for (uint32_t i = 0; i < n; ++i) {
    const PlayRegion& region = program.m_region[started[i]];
    StopGroups(program, region.nFirstStop, region.nStopCount, region.nChokeFadeFrames, context);
  }
  return n;
}

void NoteTrigger::NoteOn(const TriggerState& state, int n, int velocity, int channel) noexcept {
  const PlayProgram& program = state.m_program;
  const PlayNote& note = program.m_note[n];
  NoteContext context;
  context.nNote = n;
  context.nVelocity = velocity;
  context.nChannel = channel;
  if (note.nSequenceCount | note.bRandom) [[unlikely]]
    PrepareContext(program, note, true, context);
  if (note.nReleaseSetCount) [[unlikely]]
    m_nNoteVelocity[channel][n].store(static_cast<uint8_t>(velocity), std::memory_order_relaxed);
  const uint32_t count = PlaySets(program, note.nFirstSet, note.nSetCount, context);
  if (note.bLoading) [[unlikely]]
    m_nHitsWhileLoading.fetch_add(1, std::memory_order_relaxed);
  ShowNotePlaying(note.nShowSlot, VelocityLayer(note.nCellThreshold, velocity), count > 0);
}

void NoteTrigger::NoteOff(const TriggerState& state, int n, int channel) noexcept {
  const PlayProgram& program = state.m_program;
  const PlayNote& note = program.m_note[n];
  if (note.bStopsOnNoteOff) {
    for (uint32_t s = note.nFirstSet; s < note.nFirstSet + note.nSetCount; ++s) {
      const PlaySet& set = program.m_set[s];
      for (uint32_t r = set.nFirstRegion; r < set.nFirstRegion + set.nRegionCount; ++r) {
        const PlayRegion& region = program.m_region[r];
        if (region.noteOff == NoteOffRule::Stop && region.pVoice)
          region.pVoice->StopAll(region.nReleaseFadeFrames);
      }
    }
  }
  if (note.nReleaseSetCount) [[unlikely]] {
    // A release hit plays at its note-on's velocity; a note never struck starts none.
    const int velocity = m_nNoteVelocity[channel][n].exchange(0, std::memory_order_relaxed);
    if (velocity > 0) {
      NoteContext context;
      context.nNote = n;
      context.nVelocity = velocity;
      context.nChannel = channel;
      PrepareContext(program, note, false, context);
      PlaySets(program, note.nFirstReleaseSet, note.nReleaseSetCount, context);
    }
  }
  ShowNoteReleased(note.nShowSlot);
}

// Regions a controller starts weigh its new value; they have no velocity (127).
void NoteTrigger::ControllerMoved(const PlayProgram& program, int controller,
                                  int channel) noexcept {
  const ControllerTrigger& trigger = program.m_controllerTrigger[controller];
  if (trigger.nSetCount == 0) return;
  NoteContext context;
  context.nVelocity = 127;
  context.nChannel = channel;
  context.fRandom = static_cast<float>(program.NextRandom() >> 40) / 16777216.0f;
  PlaySets(program, trigger.nFirstSet, trigger.nSetCount, context);
}

void NoteTrigger::PressureMoved(const PlayProgram& program, int n, int channel) noexcept {
  const PlayNote& note = program.m_note[n];
  NoteContext context;
  context.nNote = n;
  context.nVelocity = 127;
  context.nChannel = channel;
  context.fRandom = static_cast<float>(program.NextRandom() >> 40) / 16777216.0f;
  PlaySets(program, note.nFirstPressureSet, note.nPressureSetCount, context);
}

void NoteTrigger::Start(const PlayProgram& program, const PlayRegion& region,
                        const NoteContext& context) const noexcept {
  if (!region.pVoice) return;  // it only chokes
  if (region.gainLaw == GainLaw::Curve) [[unlikely]]
    return StartCurve(program, region, context);
  const int velocity = context.nVelocity;
  const int cv = m_nChannelVolume[context.nChannel].load(std::memory_order_relaxed);
  float gain;
  if (region.gainLaw == GainLaw::Attenuation) {
    gain = GainOfAttenuation(NoteAttenuation(region.nVolume, cv, velocity));
  } else {
    const float v = static_cast<float>(velocity) / 127.0f;
    const float c = static_cast<float>(cv) / 127.0f;
    const float response = region.fVelocityPower == 1.0f ? v : std::pow(v, region.fVelocityPower);
    gain = region.fGain * response * c * c;
  }
  // Width is rare: only its regions pay for the four gains.
  if (region.fWidth != 1.0f) [[unlikely]]
    return region.pVoice->PlayWithWidth(gain * region.fPanLeft, gain * region.fPanRight,
                                        region.fWidth, region.nStartFrame, region.nOutput);
  region.pVoice->PlayPanned(gain * region.fPanLeft, gain * region.fPanRight, region.nStartFrame,
                            region.nOutput);
}

// An SFZ region's level and pan: its velocity curve, then what each
// controller that modulates it says now.
void NoteTrigger::StartCurve(const PlayProgram& program, const PlayRegion& region,
                             const NoteContext& context) const noexcept {
  float gain = region.fGain * program.m_curve[region.nVelocityCurve][context.nVelocity & 127];
  float volume = 0.0f, pan = region.fPan;
  for (uint32_t m = region.nFirstModulation; m < region.nFirstModulation + region.nModulationCount;
       ++m) {
    const Modulation& modulation = program.m_modulation[m];
    const int value = ControllerValue(modulation.nController, context.nNote, context.nChannel);
    const float amount = modulation.fDepth * program.m_curve[modulation.nCurve][value];
    switch (modulation.target) {
      case Modulation::Target::Amplitude:
        gain *= amount;
        break;
      case Modulation::Target::Volume:
        volume += amount;
        break;
      case Modulation::Target::Pan:
        pan += amount;
        break;
    }
  }
  if (volume != 0.0f) gain *= std::pow(10.0f, volume / 20.0f);
  float left = region.fPanLeft, right = region.fPanRight;
  if (region.bPanModulated) {
    SfzPanGains(pan, left, right);
    left *= region.fPanScale;
    right *= region.fPanScale;
  }
  if (region.fWidth != 1.0f)
    return region.pVoice->PlayWithWidth(gain * left, gain * right, region.fWidth,
                                        region.nStartFrame, region.nOutput);
  region.pVoice->PlayPanned(gain * left, gain * right, region.nStartFrame, region.nOutput);
}

uint32_t NoteTrigger::PlayFromSet(const PlayProgram& program, uint32_t s,
                                  const NoteContext& context, uint32_t* started,
                                  uint32_t startedCount) noexcept {
  const int velocity = context.nVelocity;
  const PlaySet& set = program.m_set[s];
  const uint32_t first = set.nFirstRegion, end = set.nFirstRegion + set.nRegionCount;
  uint32_t room = kMaxStarts - startedCount;
  if (room == 0) return 0;
  // Only chosen here; NoteOn starts what every set chose.
  const auto start = [&](uint32_t r) {
    started[startedCount] = r;
    return 1u;
  };
  if (set.selection == Selection::All) {
    uint32_t n = 0;
    for (uint32_t r = first; r < end && n < room; ++r) {
      if (!Holds(program, program.m_region[r], context)) continue;
      started[startedCount + n++] = r;
    }
    return n;
  }
  if (set.selection == Selection::First) {
    for (uint32_t r = first; r < end; ++r)
      if (Holds(program, program.m_region[r], context)) return start(r);
    return 0;
  }

  // A choice among the regions whose conditions hold: count them, pick the
  // k-th (or the best scored), remember it.
  SetCursor& cursor = program.Cursor(s);
  const int32_t last = cursor.nLast.load(std::memory_order_relaxed);
  uint32_t count = 0;
  bool lastHolds = false;
  float low = 0.0f, high = 0.0f;
  for (uint32_t r = first; r < end; ++r) {
    const PlayRegion& region = program.m_region[r];
    if (!Holds(program, region, context)) continue;
    if (count == 0 || region.fLoudness < low) low = region.fLoudness;
    if (count == 0 || region.fLoudness > high) high = region.fLoudness;
    lastHolds |= static_cast<int32_t>(r) == last;
    ++count;
  }
  if (count == 0) return 0;
  uint32_t chosen = end;
  if (set.selection == Selection::Loudness) {
    // DrumGizmo-like: the sample nearest the loudness the velocity asks for,
    // with a little chance and the last choice held back, so a roll of one
    // velocity does not repeat one hit.
    const float span = high > low ? high - low : 1.0f;
    const float target = low + (high - low) * static_cast<float>(velocity - 1) / 126.0f;
    float best = 0.0f;
    for (uint32_t r = first; r < end; ++r) {
      const PlayRegion& region = program.m_region[r];
      if (!Holds(program, region, context)) continue;
      const float chance = static_cast<float>(program.NextRandom() >> 40) / 16777216.0f;
      float score = std::abs(region.fLoudness - target) / span + 0.1f * chance;
      if (static_cast<int32_t>(r) == last && count > 1) score += 0.1f;
      if (chosen == end || score < best) {
        best = score;
        chosen = r;
      }
    }
  } else {
    uint32_t k = 0;
    bool skipLast = false;
    switch (set.selection) {
      case Selection::RoundRobin:
        k = cursor.nTurn.fetch_add(1, std::memory_order_relaxed) % count;
        break;
      case Selection::Random:
        k = static_cast<uint32_t>(program.NextRandom() % count);
        break;
      default:  // RandomNoRepeat
        skipLast = lastHolds && count > 1;
        k = static_cast<uint32_t>(program.NextRandom() % (skipLast ? count - 1 : count));
        break;
    }
    for (uint32_t r = first; r < end; ++r) {
      if (skipLast && static_cast<int32_t>(r) == last) continue;
      if (!Holds(program, program.m_region[r], context)) continue;
      if (k-- == 0) {
        chosen = r;
        break;
      }
    }
  }
  if (chosen == end) return 0;
  cursor.nLast.store(static_cast<int32_t>(chosen), std::memory_order_relaxed);
  return start(chosen);
}

void NoteTrigger::ShowNotePlaying(int slot, int layer, bool sounds) noexcept {
  m_bMidiInLit.store(true, std::memory_order_relaxed);
  PushEvent(
      {NoteEvent::Kind::Playing, static_cast<uint8_t>(slot), static_cast<uint8_t>(layer), sounds});
}

void NoteTrigger::ShowNoteReleased(int slot) noexcept {
  m_bMidiInLit.store(false, std::memory_order_relaxed);
  PushEvent({NoteEvent::Kind::Released, static_cast<uint8_t>(slot), 0, false});
}

void NoteTrigger::PushEvent(const NoteEvent& event) noexcept {
  if (!m_events.TryPush(event)) m_nDroppedEvents.fetch_add(1, std::memory_order_relaxed);
  if (WakeSignal* wake = m_pWake.load(std::memory_order_acquire)) wake->Raise();
}

}  // namespace thumper
