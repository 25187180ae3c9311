// Damaged and hostile files: each gives its own clear error, never a crash or
// a read outside the bytes (the sanitizer build and the fuzzer watch that).

#include <gtest/gtest.h>

#include "MidiFileBytes.h"
#include "midi/MidiFile.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

Bytes OneNoteTrack() {
  TrackBody t;
  t.Event(0, {0x90, 36, 100}).End();
  return t.Chunk();
}

void ExpectError(const Bytes& bytes, MidiFileError error, const std::string& words) {
  MidiFileResult result = ParseMidiFile(bytes);
  EXPECT_EQ(result.error, error) << result.message;
  EXPECT_FALSE(result.ok());
  EXPECT_NE(result.message.find(words), std::string::npos) << result.message;
  EXPECT_TRUE(result.song.events.empty());
}

TEST(MidiFileErrors, NotAMidiFile) {
  ExpectError({}, MidiFileError::NotMidi, "not a MIDI file");
  ExpectError({'M', 'T', 'h', 'd'}, MidiFileError::NotMidi, "not a MIDI file");
  ExpectError(Concat({Chunk("RIFF", {0, 0, 0, 1, 0, 96}), OneNoteTrack()}), MidiFileError::NotMidi,
              "MThd");
}

TEST(MidiFileErrors, BadOrTruncatedHeader) {
  ExpectError(Concat({Chunk("MThd", {0, 0, 0, 1}), OneNoteTrack()}), MidiFileError::BadHeader,
              "header");
  Bytes cut = Header(0, 1, 96);
  cut.resize(11);
  ExpectError(cut, MidiFileError::Truncated, "truncated");
}

TEST(MidiFileErrors, UnknownFormat) {
  ExpectError(Concat({Header(3, 1, 96), OneNoteTrack()}), MidiFileError::UnsupportedFormat,
              "format 3");
}

TEST(MidiFileErrors, BadDivision) {
  ExpectError(Concat({Header(0, 1, 0), OneNoteTrack()}), MidiFileError::BadDivision,
              "zero ticks per quarter");
  ExpectError(Concat({Header(0, 1, uint16_t((0x100 - 23) << 8 | 10)), OneNoteTrack()}),
              MidiFileError::BadDivision, "SMPTE frame rate 23");
  ExpectError(Concat({Header(0, 1, uint16_t((0x100 - 25) << 8)), OneNoteTrack()}),
              MidiFileError::BadDivision, "zero ticks per SMPTE frame");
}

TEST(MidiFileErrors, AbsurdTrackCountIsRefusedBeforeAnyAllocation) {
  ExpectError(Concat({Header(1, 65535, 96), OneNoteTrack()}), MidiFileError::TooManyTracks,
              "65535 tracks");
}

TEST(MidiFileErrors, FewerTracksThanAnnounced) {
  TrackBody big;
  for (int i = 0; i < 10; ++i) big.Event(10, {0x90, 36, 100});
  big.End();
  ExpectError(Concat({Header(1, 3, 96), big.Chunk()}), MidiFileError::Truncated,
              "after 1 of its 3");
}

TEST(MidiFileErrors, ChunkBeforeTheLastTrackRunsPastTheEnd) {
  Bytes first = OneNoteTrack();
  first[7] += 100;
  ExpectError(Concat({Header(1, 2, 96), first, OneNoteTrack()}), MidiFileError::Truncated,
              "past the end of the file");
  Bytes unknown = Chunk("XXXX", Bytes(20, 0));
  unknown[7] += 100;
  ExpectError(Concat({Header(0, 1, 96), unknown, OneNoteTrack()}), MidiFileError::Truncated,
              "past the end");
}

TEST(MidiFileErrors, EventRunsPastTheEndOfItsChunk) {
  // A note-on with only one data byte before the chunk ends, then a valid track.
  Bytes cut = Chunk("MTrk", {0x00, 0x90, 0x24});
  ExpectError(Concat({Header(1, 2, 96), cut, OneNoteTrack()}), MidiFileError::Truncated,
              "track 1: an event runs past the end of its chunk");
  Bytes meta = Chunk("MTrk", {0x00, 0xFF, 0x01, 0x20, 'a'});
  ExpectError(Concat({Header(0, 1, 96), meta}), MidiFileError::Truncated, "track 1");
  Bytes sysex = Chunk("MTrk", {0x00, 0xF0, 0x7F});
  ExpectError(Concat({Header(0, 1, 96), sysex}), MidiFileError::Truncated, "track 1");
}

TEST(MidiFileErrors, FileCutInsideTheLastTrack) {
  Bytes whole = Concat({Header(0, 1, 96), OneNoteTrack()});
  // Cut after the status and first data byte of the note-on.
  whole.resize(14 + 8 + 3);
  ExpectError(whole, MidiFileError::Truncated, "the file ends inside track 1");
}

TEST(MidiFileErrors, VariableLengthQuantityLongerThanFourBytes) {
  Bytes body = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x90, 36, 100};
  ExpectError(Concat({Header(0, 1, 96), Chunk("MTrk", body)}), MidiFileError::BadVarLen,
              "longer than four bytes at byte 22");
  Bytes meta = {0x00, 0xFF, 0x01, 0x81, 0x81, 0x81, 0x81, 0x01};
  ExpectError(Concat({Header(0, 1, 96), Chunk("MTrk", meta)}), MidiFileError::BadVarLen, "four");
}

TEST(MidiFileErrors, FourByteQuantityIsAccepted) {
  // 0x0FFFFFFF ticks, the largest a file can say in one delta.
  Bytes body = {0xFF, 0xFF, 0xFF, 0x7F, 0x90, 36, 100};
  MidiFileResult result = ParseMidiFile(Concat({Header(0, 1, 96), Chunk("MTrk", body)}));
  ASSERT_TRUE(result.ok()) << result.message;
  ASSERT_EQ(result.song.events.size(), 1u);
  EXPECT_EQ(result.song.events[0].tick, 0x0FFFFFFF);
}

TEST(MidiFileErrors, DataByteWithoutStatus) {
  ExpectError(Concat({Header(0, 1, 96), Chunk("MTrk", {0x00, 0x24, 0x64})}),
              MidiFileError::DataWithoutStatus, "data byte 0x24 without a status byte");
}

TEST(MidiFileErrors, RunningStatusDoesNotCarryIntoTheNextTrack) {
  TrackBody second;
  second.Event(0, {38, 100}).End();
  ExpectError(Concat({Header(1, 2, 96), OneNoteTrack(), second.Chunk()}),
              MidiFileError::DataWithoutStatus, "track 2");
}

TEST(MidiFileErrors, StatusBytesThatHaveNoPlaceInAFile) {
  for (uint8_t status : {0xF1, 0xF2, 0xF8, 0xFE}) {
    ExpectError(Concat({Header(0, 1, 96), Chunk("MTrk", {0x00, status, 0x00, 0x00})}),
                MidiFileError::BadStatus, "has no place");
  }
}

TEST(MidiFileErrors, MissingDataByte) {
  ExpectError(Concat({Header(0, 1, 96), Chunk("MTrk", {0x00, 0x90, 0x24, 0x90, 0x24, 0x40})}),
              MidiFileError::BadData, "missing a data byte");
}

TEST(MidiFileRead, ReadsAFileFromItsPath) {
  TempDir dir;
  WriteFileBytes(dir / "song.mid", Concat({Header(0, 1, 96), OneNoteTrack()}));
  MidiFileResult result = ReadMidiFile(dir / "song.mid");
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.song.events.size(), 1u);
}

TEST(MidiFileRead, ErrorsNameTheFileAndTheReason) {
  TempDir dir;
  MidiFileResult missing = ReadMidiFile(dir / "gone.mid");
  EXPECT_EQ(missing.error, MidiFileError::CannotOpen);
  EXPECT_NE(missing.message.find("gone.mid"), std::string::npos);
  EXPECT_NE(missing.message.find("No such file"), std::string::npos) << missing.message;

  MidiFileResult folder = ReadMidiFile(dir.path());
  EXPECT_EQ(folder.error, MidiFileError::CannotOpen);
  EXPECT_NE(folder.message.find("folder"), std::string::npos) << folder.message;

  WriteTextFile(dir / "notes.txt", "hello");
  MidiFileResult text = ReadMidiFile(dir / "notes.txt");
  EXPECT_EQ(text.error, MidiFileError::NotMidi);
  EXPECT_EQ(text.message.rfind(dir / "notes.txt" + ": ", 0), 0u) << text.message;
}

}  // namespace
}  // namespace thumper::test
