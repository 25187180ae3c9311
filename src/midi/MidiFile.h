#pragma once
// Standard MIDI File reader: turns the bytes of a ".mid" file into the channel
// messages of all its tracks, merged in time order, each with its exact time.
// Used by offline rendering; UI or command-line thread, never real-time.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace thumper {

// Rendering runs at the one output rate; event frames are counted at it.
inline constexpr int kMidiFrameRate = 44100;

// Largest file ReadMidiFile accepts; real songs are far smaller. It bounds the
// memory of a read to a few hundred megabytes even for a file of nothing but
// two-byte events.
inline constexpr std::uintmax_t kMaxMidiFileBytes = 16u * 1024 * 1024;

struct MidiFileEvent {
  double seconds = 0;    // from the start of the song
  int64_t frame = 0;     // round(seconds * 44100), computed without rounding error
  uint32_t message = 0;  // packed short message: status | data1 << 8 | data2 << 16
  int track = 0;         // index of the track chunk it came from
  int64_t tick = 0;      // absolute tick within its track

  uint8_t Status() const { return static_cast<uint8_t>(message & 0xFF); }
  uint8_t Data1() const { return static_cast<uint8_t>((message >> 8) & 0xFF); }
  uint8_t Data2() const { return static_cast<uint8_t>((message >> 16) & 0xFF); }
};

struct MidiSong {
  int format = 0;      // 0, 1 or 2 as the header says
  int trackCount = 0;  // track chunks read
  // Raw division word of the header: ticks per quarter note, or SMPTE when bit 15 is set.
  uint16_t division = 0;
  std::vector<MidiFileEvent> events;  // time order; ties keep track order, then file order
  double endSeconds = 0;              // the latest end of track (or last event) of all tracks
  int64_t endFrame = 0;
};

enum class MidiFileError {
  None,
  CannotOpen,         // the file cannot be opened or read
  TooLarge,           // bigger than kMaxMidiFileBytes
  NotMidi,            // no "MThd" header chunk at the start
  BadHeader,          // header chunk shorter than six bytes
  UnsupportedFormat,  // a format other than 0, 1 and 2
  BadDivision,        // zero ticks per quarter note, or an unknown SMPTE rate
  TooManyTracks,      // more tracks announced than the bytes left could hold
  Truncated,          // the file ends inside a chunk, an event or before the last track
  BadVarLen,          // a variable-length quantity longer than four bytes
  DataWithoutStatus,  // a data byte with no running status to apply
  BadStatus,          // a status byte that has no place in a file (F1-F6, F8-FE)
  BadData,            // a channel message whose data byte has bit 7 set
};

struct MidiFileResult {
  MidiSong song;
  MidiFileError error = MidiFileError::None;
  std::string message;  // the reason, for the user; empty on success

  bool ok() const { return error == MidiFileError::None; }
};

// Parses a whole Standard MIDI File. Never reads outside the bytes and never
// allocates more than the bytes could describe.
//
// Format 0 and 1 tracks play together; the tempo changes of every track apply
// to all of them from their tick on. Format 2 tracks are independent patterns
// and play one after another, each from the end of the one before, with the
// tempo in force carried from one pattern into the next. A last track whose
// chunk length runs past the end of the file is read as far as it goes. A
// RIFF MIDI file (".rmi") is read through the Standard MIDI File it wraps.
[[nodiscard]] MidiFileResult ParseMidiFile(std::span<const uint8_t> bytes);

// Reads and parses the file at path; the message names the file.
[[nodiscard]] MidiFileResult ReadMidiFile(const std::filesystem::path& path);

// The frame of a time in seconds at the render rate: round(seconds * 44100).
int64_t FrameAtSeconds(double seconds);

}  // namespace thumper
