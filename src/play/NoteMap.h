#pragma once
// A note map: where incoming notes go before the trigger sees them. Each input
// note plays a list of kit notes (none, itself, others; several inputs may name
// one note), and one controller moves the hi-hat (the kits listen to CC 4).
// Read from a small text file or named built-in. Parsing: any thread but the
// real-time ones; a finished map is plain data the trigger reads as it is.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace thumper {

struct NoteMap {
  static constexpr int kMaxTargets = 8;  // notes one input may start
  static constexpr uint8_t kHiHatController = 4;

  struct Targets {
    uint8_t nCount = 0;
    std::array<uint8_t, kMaxTargets> nNote{};
  };
  std::array<Targets, 128> m_targets;
  // The controller an input's hi-hat pedal sends; the trigger takes it as CC 4.
  uint8_t m_nHiHatController = kHiHatController;
  // The notes it sends are General MIDI drum notes: each then goes on to the
  // kit note that stands for it (NoteMapForKit). A drum set's notes and an SFZ
  // kit's keys stand for themselves; a Hydrogen kit's for its midiOutNotes.
  bool m_bGeneralMidi = false;

  // Every note to itself: what plays when no map is given.
  static NoteMap Identity();
  // Adds a mapping; false when input already starts kMaxTargets notes.
  bool Add(uint8_t input, uint8_t note);
  bool IsIdentity() const;
};

struct NoteMapResult {
  std::optional<NoteMap> map;
  std::string strError;  // "FILE:LINE: what", or names the built-in
};

// The text of a map file: one mapping per line, "INPUT NOTE" (numbers 0..127
// or note names such as c1, f#2, db3, with c4 = 60); "hihat-cc N" names the
// hi-hat controller; "#" starts a comment. An input with lines of its own plays
// only the notes they name; every other input plays itself. name names the file
// in messages.
NoteMapResult ParseNoteMap(std::string_view text, const std::string& name);

// A built-in map by name ("vdrums", "gm"), or a file by path.
NoteMapResult LoadNoteMap(const std::string& nameOrPath);

// The names of the built-in maps, for --help and messages.
std::string_view BuiltInNoteMapNames();

// The map as it plays on a kit whose note n stands for General MIDI note
// gmNoteOfKitNote[n] (-1: none): itself, or, for a General MIDI map, each of
// its notes sent on to the kit note of that drum. Allocates nothing (the plugin
// applies it on its audio thread).
NoteMap NoteMapForKit(const NoteMap& map, const std::array<int, 128>& gmNoteOfKitNote) noexcept;

// Every note standing for itself in General MIDI.
std::array<int, 128> GeneralMidiIdentity() noexcept;

// first, then second: each note first plays goes through second.
NoteMap ComposeNoteMaps(const NoteMap& first, const NoteMap& second);

// The map that plays General MIDI drum notes on a kit: gmNoteOfKitNote[n] is
// the General MIDI note kit note n stands for (-1: none). A GM note the kit
// does not name plays nothing.
NoteMap GeneralMidiMap(const std::array<int, 128>& gmNoteOfKitNote);

// A note name or number 0..127 (c4 = 60; sharps '#', flats 'b'); nothing when it is neither.
std::optional<int> ParseNoteName(std::string_view text);

}  // namespace thumper
