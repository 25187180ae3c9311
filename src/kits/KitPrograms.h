#pragma once
// Kits that play as their makers made them: a Hydrogen kit (its folder, its
// drumkit.xml or a .h2drumkit archive) or an SFZ file read and compiled into a KitProgram,
// rather than made a five-layer drum set. The one place that decides which
// kit sources play natively. Control thread; reads files.

#include <optional>
#include <string>
#include <vector>

#include "play/KitProgram.h"

namespace thumper {

struct KitProgramOptions {
  // --gm: instruments on their midiOutNote (General MIDI) instead of 36 + position.
  bool bGmNotes = false;
};

struct KitProgramResult {
  std::optional<KitProgram> program;  // nothing when strError says why
  std::string strError;               // names the file (and line and element)
  // A refused option (exit status 1) rather than a file that cannot be read (2).
  bool bUsageError = false;
  std::string strUnpackedTo;  // where an archive went
};

// Whether path is a kit source ReadKitProgram plays (judged by content).
bool PlaysAsKitProgram(const std::string& path);

// Reads the kit at path; an archive is first unpacked into Thumper's kits
// folder, as `thumper import` does.
KitProgramResult ReadKitProgram(const std::string& path, const KitProgramOptions& options = {});

}  // namespace thumper
