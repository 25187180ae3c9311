#pragma once
// A kit described before its samples load (KitProgram) made into what the
// trigger reads, once its samples are voices: regions, sets and choke groups
// with times in frames of the mixer's rate. A region whose sample did not load
// is left out, so a kit with a missing file plays everything else. Control thread.

#include <cstdint>
#include <memory>
#include <span>

#include "play/KitProgram.h"
#include "play/TriggerState.h"

namespace thumper {

class SampleVoice;

// The voice of one KitProgram::samples entry.
struct KitVoiceRef {
  SampleVoice* pVoice = nullptr;  // null: the sample did not load
  // Frames of the voice per frame of the file (its rate over the file's),
  // for start offsets given in the file's frames.
  double fFramesPerFileFrame = 1.0;
  // Still loading: every note that may sound it stays silent until it is in,
  // so no note is ever half played.
  bool bPending = false;
};

// voices holds one entry per program.samples entry (missing ones count as not
// loaded); rate is the mixer's; seed starts the random choices.
std::unique_ptr<TriggerState> BuildKitTriggerState(const KitProgram& program,
                                                   std::span<const KitVoiceRef> voices,
                                                   uint32_t rate, uint64_t seed);

// The rate a sample is converted to so that, played at rate, it sounds
// semitones higher (lower when negative): rate / 2^(semitones / 12).
uint32_t PitchedRate(uint32_t rate, float semitones);

// The General MIDI drum each note of the kit stands for (-1: none).
std::array<int, 128> GeneralMidiNotesOf(const KitProgram& program);

// Which samples the notes in notes may sound (their regions'), by sample index.
std::vector<bool> SamplesOfNotes(const KitProgram& program,
                                 const std::array<bool, PlayProgram::kNoteCount>& notes);

}  // namespace thumper
