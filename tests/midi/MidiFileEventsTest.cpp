// Which events come out of a file, packed how, and in which order.

#include <gtest/gtest.h>

#include "MidiFileBytes.h"
#include "midi/MidiFile.h"

namespace thumper::test {
namespace {

std::vector<uint32_t> Messages(const Bytes& bytes) {
  MidiFileResult result = ParseMidiFile(bytes);
  EXPECT_TRUE(result.ok()) << result.message;
  std::vector<uint32_t> out;
  for (const MidiFileEvent& e : result.song.events) out.push_back(e.message);
  return out;
}

TEST(MidiFileEvents, ChannelMessagesArePackedAsShortMessages) {
  TrackBody t;
  t.Event(0, {0x99, 38, 100})    // note-on, channel 10
      .Event(0, {0x89, 38, 64})  // note-off
      .Event(0, {0xB0, 7, 90})   // channel volume
      .Event(0, {0xC3, 5})       // program change: one data byte
      .Event(0, {0xD0, 70})      // channel pressure: one data byte
      .Event(0, {0xA1, 40, 3})   // poly pressure
      .Event(0, {0xE0, 0, 64})   // pitch bend
      .End();
  EXPECT_EQ(
      Messages(Concat({Header(0, 1, 96), t.Chunk()})),
      (std::vector<uint32_t>{0x642699, 0x402689, 0x5A07B0, 0x05C3, 0x46D0, 0x0328A1, 0x4000E0}));
}

TEST(MidiFileEvents, RunningStatusRepeatsTheLastStatus) {
  TrackBody t;
  t.Event(0, {0x90, 36, 100})
      .Event(10, {38, 80})  // running note-on
      .Event(10, {36, 0})   // running note-on with velocity 0
      .Event(0, {0xC0, 1})
      .Event(0, {2})  // running program change, one data byte
      .End();
  EXPECT_EQ(Messages(Concat({Header(0, 1, 96), t.Chunk()})),
            (std::vector<uint32_t>{0x642490, 0x502690, 0x002490, 0x01C0, 0x02C0}));
}

TEST(MidiFileEvents, RunningStatusSurvivesMetaAndSysexEvents) {
  // Strictly these cancel running status, but writers that rely on it exist
  // and nothing else could be meant.
  TrackBody t;
  t.Event(0, {0x90, 36, 100})
      .Event(0, {0xFF, 0x01, 0x02, 'h', 'i'})  // text
      .Event(0, {38, 90})
      .Event(0, {0xF0, 0x03, 0x7E, 0x7F, 0xF7})  // sysex, skipped
      .Event(0, {42, 80})
      .End();
  EXPECT_EQ(Messages(Concat({Header(0, 1, 96), t.Chunk()})),
            (std::vector<uint32_t>{0x642490, 0x5A2690, 0x502A90}));
}

TEST(MidiFileEvents, VelocityZeroNoteOnIsKeptForTheTrigger) {
  TrackBody t;
  t.Event(0, {0x90, 36, 0}).End();
  EXPECT_EQ(Messages(Concat({Header(0, 1, 96), t.Chunk()})), (std::vector<uint32_t>{0x002490}));
}

TEST(MidiFileEvents, TracksMergeInTimeOrderWithTiesInTrackThenFileOrder) {
  TrackBody a;
  a.Event(0, {0x90, 1, 1}).Event(480, {0x90, 2, 1}).Event(0, {0x90, 3, 1}).End();
  TrackBody b;
  b.Event(0, {0x90, 4, 1}).Event(240, {0x90, 5, 1}).Event(240, {0x90, 6, 1}).End();
  MidiFileResult result = ParseMidiFile(Concat({Header(1, 2, 480), a.Chunk(), b.Chunk()}));
  ASSERT_TRUE(result.ok()) << result.message;
  std::vector<int> notes, tracks;
  for (const MidiFileEvent& e : result.song.events) {
    notes.push_back(e.Data1());
    tracks.push_back(e.track);
  }
  EXPECT_EQ(notes, (std::vector<int>{1, 4, 5, 2, 3, 6}));
  EXPECT_EQ(tracks, (std::vector<int>{0, 1, 1, 0, 0, 1}));
  EXPECT_EQ(result.song.trackCount, 2);
}

TEST(MidiFileEvents, MetaSysexAndUnknownChunksAreSkipped) {
  TrackBody t;
  t.Event(0, {0xFF, 0x03, 0x04, 'D', 'e', 'm', 'o'})
      .Event(0, {0xFF, 0x58, 0x04, 4, 2, 24, 8})
      .Event(0, {0xF0, 0x05, 0x43, 0x10, 0x4C, 0x00, 0xF7})
      .Event(0, {0xF7, 0x02, 0xF8, 0xFA})  // escaped real-time bytes are data here
      .Event(0, {0x90, 36, 100})
      .End();
  Bytes header = Chunk("MThd", {0, 0, 0, 1, 0, 96, 0xAB, 0xCD});  // longer header
  const Bytes file = Concat({header, Chunk("XFIH", {1, 2, 3}), t.Chunk(), Chunk("junk", {})});
  EXPECT_EQ(Messages(file), (std::vector<uint32_t>{0x642490}));
}

TEST(MidiFileEvents, EventsAfterEndOfTrackAreIgnored) {
  TrackBody t;
  t.Event(0, {0x90, 36, 100}).End(10).Event(0, {0x90, 38, 100});
  MidiFileResult result = ParseMidiFile(Concat({Header(0, 1, 96), t.Chunk()}));
  ASSERT_TRUE(result.ok()) << result.message;
  ASSERT_EQ(result.song.events.size(), 1u);
  EXPECT_EQ(result.song.events[0].Data1(), 36);
}

TEST(MidiFileEvents, TrackWithoutEndOfTrackEndsAtItsLastEvent) {
  TrackBody t;
  t.Event(0, {0x90, 36, 100}).Event(96, {0x80, 36, 0});
  MidiFileResult result = ParseMidiFile(Concat({Header(0, 1, 96), t.Chunk()}));
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.song.events.size(), 2u);
  EXPECT_DOUBLE_EQ(result.song.endSeconds, 0.5);
}

TEST(MidiFileEvents, LastTrackLongerThanTheFileIsReadAsFarAsItGoes) {
  TrackBody t;
  t.Event(0, {0x90, 36, 100}).Event(96, {0x90, 38, 100});
  Bytes track = t.Chunk();
  track[7] += 50;  // the length claims 50 bytes more than follow
  MidiFileResult result = ParseMidiFile(Concat({Header(0, 1, 96), track}));
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_EQ(result.song.events.size(), 2u);
}

TEST(MidiFileEvents, RiffMidiFileIsReadThroughTheFileItWraps) {
  const Bytes smf = Concat({Header(0, 1, 96), TrackBody().Event(0, {0x90, 36, 100}).End().Chunk()});
  auto le = [](uint32_t v) {
    return Bytes{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  };
  const Bytes info = Concat({{'L', 'I', 'S', 'T'}, le(3), {'a', 'b', 'c', 0}});  // odd: padded
  const Bytes body =
      Concat({{'R', 'M', 'I', 'D'}, info, {'d', 'a', 't', 'a'}, le(uint32_t(smf.size())), smf});
  const Bytes riff = Concat({{'R', 'I', 'F', 'F'}, le(uint32_t(body.size())), body});
  EXPECT_EQ(Messages(riff), (std::vector<uint32_t>{0x642490}));
  Bytes noData = Concat({{'R', 'I', 'F', 'F'}, le(12), {'R', 'M', 'I', 'D'}, info});
  EXPECT_EQ(ParseMidiFile(noData).error, MidiFileError::NotMidi);
}

TEST(MidiFileEvents, EmptyFileOfNoTracksHasNoEvents) {
  MidiFileResult result = ParseMidiFile(Header(1, 0, 96));
  ASSERT_TRUE(result.ok()) << result.message;
  EXPECT_TRUE(result.song.events.empty());
  EXPECT_EQ(result.song.endFrame, 0);
}

}  // namespace
}  // namespace thumper::test
