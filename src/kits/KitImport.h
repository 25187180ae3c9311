#pragma once
// A Hydrogen drum kit made a drum set: instrument i on slot i (or on the slot of
// its MIDI out note), every sample file in one group named after the kit, the
// velocity layers chosen to play what Hydrogen plays, the volume scaling closest
// to Hydrogen's velocity response, and mute groups as cut slots. What cannot be
// carried over is named in the report. Any thread (it tests whether files open).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drumset/DrumSet.h"
#include "kits/HydrogenKit.h"

namespace thumper {

struct KitImportOptions {
  // Each instrument on the slot of its midiOutNote instead of its position.
  bool bGmNotes = false;
};

enum class KitImportError {
  None,
  GmNotesUnusable,  // --gm, but the notes are missing, repeated or below 36
  NoSamples,        // not one sample file of the kit could be found
};

struct KitImportResult {
  KitImportError error = KitImportError::None;
  std::string strError;
  std::optional<DrumSet> set;
  // Lines for standard error: files left out, lost layers and settings, cuts,
  // and the agreement with Hydrogen.
  std::vector<std::string> messages;
  // (instrument, velocity 1..127) pairs where the drum set plays the sample
  // Hydrogen plays, of all pairs of the instruments that have samples.
  int64_t nAgree = 0;
  int64_t nTotal = 0;

  double Agreement() const { return nTotal ? static_cast<double>(nAgree) / nTotal : 1.0; }
};

KitImportResult ImportHydrogenKit(const HydrogenKit& kit, const KitImportOptions& options = {});

// The sample file a drum set plays for a velocity on a slot, as the note trigger
// chooses it: the slot's scheme picks the row, the row's source names the
// layer whose sample sounds. Null for a silent slot.
const std::string* SampleForVelocity(const DrumSet& set, int slot, int velocity);

// The volume scaling whose response under the note trigger's attenuation law
// comes closest, by least squares over velocities 16..127 at full channel
// volume, to an amplitude proportional to velocity (Hydrogen's response).
int32_t HydrogenVolumeScaling();

}  // namespace thumper
