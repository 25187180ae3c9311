#include "play/TriggerState.h"

#include "audio/SampleVoice.h"
#include "play/DrumSetProgram.h"

namespace thumper {

namespace {

constexpr int kFallbackScheme = 4;

bool IsLayer(int32_t value) {
  return value >= 0 && value < kLayerCount;
}

SampleVoice* Usable(SampleVoice* voice) {
  return voice && voice->IsPlayable() ? voice : nullptr;
}

// The layer whose voice velocity layer sounds: its source when that has a
// voice, else the nearest louder layer with one, else the nearest softer one
// (counted from the source, or from the layer itself when the source names no
// layer, a value only a damaged file holds). So one broken sample never
// silences the layers around it. -1 when no layer of the slot has a voice.
int ResolveLayer(int layer, int32_t source, const std::array<SampleVoice*, kLayerCount>& usable) {
  int louder = layer - 1, softer = layer;
  if (IsLayer(source)) {
    if (usable[source]) return source;
    louder = source - 1;
    softer = source + 1;
  }
  for (int k = louder; k >= 0; --k)
    if (usable[k]) return k;
  for (int k = softer; k < kLayerCount; ++k)
    if (usable[k]) return k;
  return -1;
}

void FillSettings(const DrumSet& set, int s, TriggerSlot& slot) {
  const NoteSlot& note = set.m_noteSlot[s];
  const int scheme =
      note.nScheme >= 0 && note.nScheme < kSchemeCount ? note.nScheme : kFallbackScheme;
  slot.nThreshold = set.m_nVelocityThreshold[scheme];
  slot.nVolume = note.nVolume;
  slot.nCutSlot = note.nCutNote >= 0 && note.nCutNote < kSlotCount ? note.nCutNote : -1;
}

}  // namespace

std::unique_ptr<TriggerState> BuildTriggerState(const DrumSet& set,
                                                std::span<SampleVoice* const, kLayerTotal> voices) {
  auto state = std::make_unique<TriggerState>();
  state->m_nVelocityThreshold = set.m_nVelocityThreshold;
  for (int s = 0; s < kSlotCount; ++s) {
    TriggerSlot& slot = state->m_slot[s];
    FillSettings(set, s, slot);
    std::array<SampleVoice*, kLayerCount> usable{};
    for (int l = 0; l < kLayerCount; ++l) {
      slot.pOwnVoice[l] = voices[LayerIndex(s, l)];
      usable[l] = Usable(slot.pOwnVoice[l]);
    }
    // Layer 0's source tells a silent slot; a slot that is not silent sounds
    // as long as any of its layers has a voice.
    const int32_t source0 = set.m_nLayerSource[LayerIndex(s, 0)];
    if (source0 == -1 || ResolveLayer(0, source0, usable) < 0) continue;
    slot.bSounds = true;
    for (int l = 0; l < kLayerCount; ++l) {
      const int k = ResolveLayer(l, set.m_nLayerSource[LayerIndex(s, l)], usable);
      slot.nSoundingLayer[l] = static_cast<int8_t>(k);
      slot.pLayerVoice[l] = k >= 0 ? usable[k] : nullptr;
    }
  }
  CompileDrumSet(state->m_slot, state->m_program);
  state->m_program.Finish(0);
  return state;
}

std::unique_ptr<TriggerState> BuildTriggerState(
    const DrumSet& set, const std::array<std::unique_ptr<SampleVoice>, kLayerTotal>& voices) {
  std::array<SampleVoice*, kLayerTotal> table{};
  for (int i = 0; i < kLayerTotal; ++i) table[i] = voices[i].get();
  return BuildTriggerState(set, table);
}

std::unique_ptr<TriggerState> BuildSilentTriggerState(const DrumSet& set) {
  auto state = std::make_unique<TriggerState>();
  state->m_nVelocityThreshold = set.m_nVelocityThreshold;
  for (int s = 0; s < kSlotCount; ++s) FillSettings(set, s, state->m_slot[s]);
  CompileDrumSet(state->m_slot, state->m_program);
  state->m_program.Finish(0);
  return state;
}

}  // namespace thumper
