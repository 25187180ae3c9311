#pragma once
// What each MIDI note of a kit is called, for the piano roll (MIDNAM) and
// `thumper kits --notes`: a Hydrogen instrument's name, an SFZ key's label,
// and for a drum set the file name of each slot's layer-0 sample. Control
// thread; reads the kit's files.

#include <array>
#include <string>

#include "drumset/CThumperDoc.h"
#include "drumset/UiServices.h"
#include "kits/KitPrograms.h"
#include "play/NoteMap.h"

namespace thumper {

using NoteNames = std::array<std::string, 128>;  // empty: the note has no name

// The names of a drum set's notes: slot s on note 36 + s.
NoteNames DrumSetNoteNames(const CThumperDoc& doc);

// The names of a kit program's notes that sound.
NoteNames KitProgramNoteNames(const KitProgram& program);

struct NoteNamesResult {
  bool bOk = false;
  NoteNames names;
};

// The names of the kit at path, however it plays; what is wrong with it goes
// to ui (as a load would say it).
NoteNamesResult KitNoteNames(const std::string& path, UiServices& ui,
                             const KitProgramOptions& options = {});

struct LoadedKit;

// The names of a loaded kit's notes, as KitNoteNames gives them; a drum set's
// from the document the load read (what it plays, not the file as it is now).
// A kit program is read again, its faults told to ui.
NoteNames LoadedKitNoteNames(const LoadedKit& kit, UiServices& ui);

// The names of the notes that arrive, when map sends them to a kit with these
// names: each input is called what it plays, several names joined with " + ";
// an input that plays nothing named has no name.
NoteNames MappedNoteNames(const NoteNames& kitNames, const NoteMap& map);

}  // namespace thumper
