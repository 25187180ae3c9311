#pragma once
// What the note trigger reads for each note: an immutable snapshot of the kit,
// built on the UI thread after every change and handed to the trigger through
// one atomic pointer. A note-on thus sees each note entirely before or entirely
// after an edit. The trigger plays its playing model; for a drum set the state
// also keeps the per-slot view the model was compiled from.
//
// Every velocity layer is resolved here to a voice that really exists, so a
// layer whose sample failed to load never reaches the trigger, and every value
// of a damaged drum set (scheme, cut slot, layer sources) is bounded here, so
// the trigger never indexes outside a table.

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "drumset/DrumSet.h"
#include "play/NoteMap.h"
#include "play/PlayProgram.h"

namespace thumper {

class SampleVoice;

struct TriggerSlot {
  // Per velocity layer, the voice it sounds (its own, else the nearest louder
  // one's, else the nearest softer one's); all null when the slot is silent.
  std::array<SampleVoice*, kLayerCount> pLayerVoice{};
  // The layer whose voice pLayerVoice plays; -1 where none.
  std::array<int8_t, kLayerCount> nSoundingLayer{-1, -1, -1, -1, -1};
  // The slot's own layer voices (the voice table as it stands), stopped when
  // another slot cuts this one.
  std::array<SampleVoice*, kLayerCount> pOwnVoice{};
  // The four thresholds of the slot's scheme (scheme 4 when it is out of range).
  std::array<int32_t, kThresholdCount> nThreshold{};
  int32_t nVolume = -4000;
  // The slot whose voices this one stops; -1 for none (also for any stored
  // value outside 0..127).
  int32_t nCutSlot = -1;
  // Layer 0 has a source and some layer of the slot has a voice.
  bool bSounds = false;
};

struct TriggerState {
  std::array<TriggerSlot, kSlotCount> m_slot;
  ThresholdTable m_nVelocityThreshold = kDefaultThresholds;
  // What the trigger plays (for a drum set, compiled from m_slot).
  PlayProgram m_program;
  // Where incoming notes go first, when the user gave a note map (else every
  // note plays itself, as a drum set always has).
  bool m_bNoteMap = false;
  NoteMap m_noteMap;
  // The General MIDI drum each note stands for (-1: none), for a General MIDI
  // note map: a drum set's notes stand for themselves.
  std::array<int, 128> m_nGeneralMidiNote = GeneralMidiIdentity();
};

// UI thread. voices is the voice table (index slot * 5 + layer, null where a
// layer has no voice); a voice that could not make its first buffer counts as
// none. Every voice referenced by the result must stay alive until a later state
// that does not reference it has been published and the trigger's readers have
// moved past (see NoteTrigger::Publish).
std::unique_ptr<TriggerState> BuildTriggerState(const DrumSet& set,
                                                std::span<SampleVoice* const, kLayerTotal> voices);

// The same from the runtime's own voice table.
std::unique_ptr<TriggerState> BuildTriggerState(
    const DrumSet& set, const std::array<std::unique_ptr<SampleVoice>, kLayerTotal>& voices);

// The state of a drum set without any voice: every slot silent.
std::unique_ptr<TriggerState> BuildSilentTriggerState(const DrumSet& set);

// The velocity layer (0 loudest .. 4) that velocity selects with these
// thresholds: the first threshold the velocity strictly exceeds.
constexpr int VelocityLayer(const std::array<int32_t, kThresholdCount>& threshold,
                            int velocity) noexcept {
  for (int l = 0; l < kThresholdCount; ++l)
    if (velocity > threshold[l]) return l;
  return kLayerCount - 1;
}

}  // namespace thumper
