#pragma once
// The output pairs a kit plays on and what to call them, for every host that
// keeps pairs apart (JACK ports, stems, the multi-output plugin): pair 0 is
// the main one; any other is named after the first note with a name that
// plays on it.
// Control thread.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/KitNoteNames.h"
#include "play/PlayProgram.h"

namespace thumper {

struct OutputPair {
  uint8_t nOutput = 0;
  int nFirstNote = -1;  // -1 for the main pair
  std::string strName;  // "main", the note's name, or "note N" when it has none
  bool operator==(const OutputPair&) const = default;
};

// The pairs the regions of program that sound play on, in order; a pair past
// the mixer's last is the main one.
std::vector<OutputPair> OutputPairsOf(const PlayProgram& program, const NoteNames& names);

// A name as a port or file name takes it: ASCII letters and digits kept (lower
// case when lower), anything else one '_', at most max characters.
std::string PortSafeName(const std::string& name, bool lower, size_t max);

}  // namespace thumper
