#pragma once
// The MIDNAM document (the MIDI Manufacturers Association's MIDINameDocument)
// that tells a DAW's piano roll what each note of the kit is called, as the
// LV2 plugin hands it to the host. Any thread but the real-time ones.

#include <string>

#include "engine/KitNoteNames.h"

namespace thumper {

// model names this instance to the host (it must differ between instances,
// which may hold different kits); names are the notes' names (empty: unnamed).
std::string MidnamDocument(const std::string& model, const NoteNames& names);

}  // namespace thumper
