// Event times: ticks per quarter note with tempo changes, SMPTE division, and
// the exact frame every event lands on.

#include <gtest/gtest.h>

#include "MidiFileBytes.h"
#include "midi/MidiFile.h"

namespace thumper::test {
namespace {

MidiSong Parse(const Bytes& bytes) {
  MidiFileResult result = ParseMidiFile(bytes);
  EXPECT_TRUE(result.ok()) << result.message;
  return result.song;
}

__extension__ typedef __int128 Wide;

// round(num / den) for positive integers, halves upward.
int64_t RoundDiv(Wide num, Wide den) {
  return static_cast<int64_t>((2 * num + den) / (2 * den));
}

TEST(MidiFileTiming, DefaultTempoIs120BeatsPerMinute) {
  TrackBody t;
  t.Event(0, {0x90, 36, 100}).Event(480, {0x90, 38, 100}).Event(480, {0x90, 42, 100}).End();
  MidiSong song = Parse(Concat({Header(0, 1, 480), t.Chunk()}));
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_DOUBLE_EQ(song.events[1].seconds, 0.5);
  EXPECT_EQ(song.events[1].frame, 22050);
  EXPECT_DOUBLE_EQ(song.events[2].seconds, 1.0);
  EXPECT_EQ(song.events[2].frame, 44100);
}

TEST(MidiFileTiming, TempoChangeAppliesFromItsTickOn) {
  TrackBody t;
  t.Event(0, {0x90, 36, 100})
      .Tempo(960, 250000)  // two beats at 120 BPM, then 240 BPM
      .Event(0, {0x90, 38, 100})
      .Event(480, {0x90, 38, 100})
      .Tempo(480, 1000000)  // then 60 BPM
      .Event(240, {0x90, 38, 100})
      .End();
  MidiSong song = Parse(Concat({Header(0, 1, 480), t.Chunk()}));
  ASSERT_EQ(song.events.size(), 4u);
  EXPECT_DOUBLE_EQ(song.events[1].seconds, 1.0);
  EXPECT_DOUBLE_EQ(song.events[2].seconds, 1.25);
  EXPECT_DOUBLE_EQ(song.events[3].seconds, 1.5 + 0.5);
  EXPECT_EQ(song.events[3].frame, 88200);
}

TEST(MidiFileTiming, TempoInOneTrackAppliesToEveryTrackOfFormat1) {
  TrackBody conductor;
  conductor.Tempo(0, 600000).Tempo(960, 300000).End(960);
  TrackBody drums;
  drums.Event(480, {0x99, 36, 90}).Event(960, {0x99, 38, 90}).End();
  MidiSong song = Parse(Concat({Header(1, 2, 480), conductor.Chunk(), drums.Chunk()}));
  ASSERT_EQ(song.events.size(), 2u);
  EXPECT_DOUBLE_EQ(song.events[0].seconds, 0.6);
  // 960 ticks at 0.6 s per beat, then 480 at 0.3 s.
  EXPECT_DOUBLE_EQ(song.events[1].seconds, 1.2 + 0.3);
  EXPECT_EQ(song.events[1].track, 1);
  EXPECT_EQ(song.events[1].tick, 1440);
}

TEST(MidiFileTiming, TempoChangeInALaterTrackStillCountsForEarlierTracks) {
  TrackBody drums;
  drums.Event(1920, {0x90, 36, 90}).End();
  TrackBody tempo;
  tempo.Tempo(960, 1000000).End();
  MidiSong song = Parse(Concat({Header(1, 2, 480), drums.Chunk(), tempo.Chunk()}));
  ASSERT_EQ(song.events.size(), 1u);
  EXPECT_DOUBLE_EQ(song.events[0].seconds, 1.0 + 2.0);
}

TEST(MidiFileTiming, TenMinutesOfSixteenthsDoNotDrift) {
  // 140 BPM (428571 us, not a round number of ticks), 96 ticks per quarter.
  const uint32_t tempo = 428571;
  const int ppq = 96;
  TrackBody t;
  t.Tempo(0, tempo);
  const int sixteenths = 140 * 4 * 10;
  for (int i = 0; i < sixteenths; ++i) t.Event(i == 0 ? 0 : 24, {0x90, 42, uint8_t(40 + i % 80)});
  t.End();
  MidiSong song = Parse(Concat({Header(0, 1, ppq), t.Chunk()}));
  ASSERT_EQ(song.events.size(), size_t(sixteenths));
  for (size_t i = 0; i < song.events.size(); i += 97) {
    const Wide num = Wide(i) * 24 * tempo * 44100;
    EXPECT_EQ(song.events[i].frame, RoundDiv(num, Wide(ppq) * 1000000)) << "event " << i;
  }
  const MidiFileEvent& last = song.events.back();
  EXPECT_EQ(last.frame, RoundDiv(Wide(sixteenths - 1) * 24 * tempo * 44100, Wide(ppq) * 1000000));
  EXPECT_NEAR(last.seconds, (sixteenths - 1) * 24.0 * tempo / ppq / 1e6, 1e-9);
}

TEST(MidiFileTiming, HalfFrameRoundsUp) {
  // 1000 ticks per quarter at 120 BPM: 22.05 frames per tick, so tick 10 is frame 220.5.
  TrackBody t;
  t.Event(10, {0x90, 36, 100}).Event(20, {0x90, 36, 100}).End();
  MidiSong song = Parse(Concat({Header(0, 1, 1000), t.Chunk()}));
  ASSERT_EQ(song.events.size(), 2u);
  EXPECT_EQ(song.events[0].frame, 221);
  EXPECT_EQ(song.events[1].frame, 662);  // 661.5
  EXPECT_EQ(FrameAtSeconds(0.5), 22050);
  EXPECT_EQ(FrameAtSeconds(-1.0), 0);
}

TEST(MidiFileTiming, SmpteDivisionCountsTicksPerFrame) {
  // 25 frames per second, 40 ticks per frame: 1000 ticks per second. Tempo is ignored.
  TrackBody t;
  t.Tempo(0, 250000).Event(500, {0x90, 36, 100}).Event(1500, {0x90, 38, 100}).End();
  MidiSong song = Parse(Concat({Header(0, 1, uint16_t((0x100 - 25) << 8 | 40)), t.Chunk()}));
  ASSERT_EQ(song.events.size(), 2u);
  EXPECT_DOUBLE_EQ(song.events[0].seconds, 0.5);
  EXPECT_DOUBLE_EQ(song.events[1].seconds, 2.0);
  EXPECT_EQ(song.events[1].frame, 88200);
}

TEST(MidiFileTiming, SmpteDropFrameRateIs2997) {
  TrackBody t;
  t.Event(2997, {0x90, 36, 100}).End();  // 29.97 fps, 100 ticks per frame: 29.97 s
  MidiSong song = Parse(Concat({Header(0, 1, uint16_t((0x100 - 29) << 8 | 100)), t.Chunk()}));
  ASSERT_EQ(song.events.size(), 1u);
  EXPECT_DOUBLE_EQ(song.events[0].seconds, 1.0);
  for (int fps : {24, 30}) {
    TrackBody u;
    u.Event(uint32_t(fps) * 2, {0x90, 36, 100}).End();
    MidiSong s = Parse(Concat({Header(0, 1, uint16_t((0x100 - fps) << 8 | 1)), u.Chunk()}));
    ASSERT_EQ(s.events.size(), 1u);
    EXPECT_DOUBLE_EQ(s.events[0].seconds, 2.0) << fps << " fps";
  }
}

TEST(MidiFileTiming, SongEndsAtTheLatestEndOfTrack) {
  TrackBody a;
  a.Event(0, {0x90, 36, 100}).End(960);
  TrackBody b;
  b.Event(480, {0x90, 38, 100}).End(2400);
  MidiSong song = Parse(Concat({Header(1, 2, 480), a.Chunk(), b.Chunk()}));
  EXPECT_DOUBLE_EQ(song.endSeconds, 3.0);
  EXPECT_EQ(song.endFrame, 132300);
}

TEST(MidiFileTiming, Format2PlaysPatternsOneAfterAnother) {
  TrackBody first;
  first.Event(0, {0x90, 36, 100}).Tempo(480, 250000).End(480);  // 0.5 s + 0.25 s
  TrackBody second;
  second.Event(0, {0x90, 38, 100}).Event(480, {0x90, 42, 100}).End(480);  // tempo carried
  MidiSong song = Parse(Concat({Header(2, 2, 480), first.Chunk(), second.Chunk()}));
  ASSERT_EQ(song.events.size(), 3u);
  EXPECT_EQ(song.format, 2);
  EXPECT_DOUBLE_EQ(song.events[1].seconds, 0.75);
  EXPECT_EQ(song.events[1].track, 1);
  EXPECT_DOUBLE_EQ(song.events[2].seconds, 1.0);
  EXPECT_DOUBLE_EQ(song.endSeconds, 1.25);
}

}  // namespace
}  // namespace thumper::test
