// Samples streamed from disk: a voice plays its head from memory and the rest
// from blocks read while it plays, and sounds exactly as the whole sample
// does; a block late from a slow disk is silence and one underrun, never a
// wait; past the streams there are, the oldest streamed voice gives its up.

#include "audio/SampleStreamer.h"

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/Mixer.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

using namespace std::chrono_literals;

std::vector<float> MixFor(Mixer& mixer, uint32_t frames, uint32_t period = 128) {
  std::vector<float> out(2 * size_t(frames));
  for (uint32_t at = 0; at < frames; at += period)
    mixer.Mix(out.data() + 2 * size_t(at), std::min(period, frames - at));
  return out;
}

class SampleStreamerTest : public ::testing::Test {
 protected:
  TempDir dir;
  Reclaimer reclaimer;
};

TEST_F(SampleStreamerTest, AStreamedSamplePlaysAsTheWholeOneThroughASlowDisk) {
  for (uint32_t channels : {1u, 2u}) {
    // Long, a block and a half, and shorter than one block past the head.
    for (uint32_t frames : {30000u, 1000u + SampleStreamer::kBlockFrames * 3 / 2, 1500u}) {
      const auto samples = Ramp(frames, channels);
      Mixer whole(reclaimer), streamed(reclaimer);
      streamed.SetStreamingWaits(true);  // as a render does
      streamed.PrepareStreaming(4).SetReadDelay(2000);
      const BufferId a = whole.AdoptBuffer(Whole(samples, channels));
      const BufferId b = streamed.AdoptBuffer(Streamed(samples, channels, 1000, dir / "s.raw"));
      ASSERT_TRUE(a.IsValid() && b.IsValid());
      // From the start, panned; and a second start from an offset past the head.
      whole.Play(a, 0.8f, 0.5f, 0);
      streamed.Play(b, 0.8f, 0.5f, 0);
      auto want = MixFor(whole, frames / 2);
      auto got = MixFor(streamed, frames / 2);
      ASSERT_EQ(got, want) << channels << " channels, " << frames << " frames";
      const BufferId a2 = whole.DuplicateBuffer(a), b2 = streamed.DuplicateBuffer(b);
      whole.Play(a2, 1.0f, 1.0f, frames / 3);
      streamed.Play(b2, 1.0f, 1.0f, frames / 3);
      want = MixFor(whole, frames, 100);
      got = MixFor(streamed, frames, 100);
      EXPECT_EQ(got, want) << channels << " channels, " << frames << " frames";
      EXPECT_EQ(streamed.Streamer()->Underruns(), 0u);
      for (Mixer* m : {&whole, &streamed}) m->StopAll();
      MixFor(whole, 256);
      MixFor(streamed, 256);
      EXPECT_EQ(streamed.SoundingVoices(), 0u);
    }
  }
}

TEST_F(SampleStreamerTest, ALateBlockIsSilenceAndOneUnderrunAndTheVoiceGoesOnInTime) {
  const auto samples = Ramp(20000, 2);
  Mixer whole(reclaimer), live(reclaimer);
  SampleStreamer& streamer = live.PrepareStreaming(4);
  streamer.SetReadDelay(100000);  // 100 ms a block: far past a 256-frame head
  const BufferId a = whole.AdoptBuffer(Whole(samples, 2));
  const BufferId b = live.AdoptBuffer(Streamed(samples, 2, 256, dir / "s.raw"));
  whole.Play(a);
  live.Play(b);
  const auto head = MixFor(live, 1024);  // at once: the first block is not in
  const auto want = MixFor(whole, 1024);
  EXPECT_TRUE(std::equal(head.begin(), head.begin() + 512, want.begin()));
  EXPECT_TRUE(std::all_of(head.begin() + 512, head.end(), [](float f) { return f == 0.0f; }));
  EXPECT_EQ(streamer.Underruns(), 1u) << "one block late, counted once over several periods";

  streamer.SetReadDelay(0);
  std::this_thread::sleep_for(600ms);  // every block asked for is in
  EXPECT_EQ(MixFor(live, 4096), MixFor(whole, 4096)) << "the voice lost its place";
  EXPECT_EQ(streamer.Underruns(), 1u);
}

TEST_F(SampleStreamerTest, PastTheStreamsTheOldestStreamedVoiceFadesOutForTheNewOne) {
  const auto samples = Ramp(40000, 2);
  Mixer whole(reclaimer), streamed(reclaimer);
  streamed.SetStreamingWaits(true);
  streamed.PrepareStreaming(2);
  const BufferId a = whole.AdoptBuffer(Whole(samples, 2));
  const BufferId b = streamed.AdoptBuffer(Streamed(samples, 2, 500, dir / "s.raw"));
  const BufferId copiesA[3] = {a, whole.DuplicateBuffer(a), whole.DuplicateBuffer(a)};
  const BufferId copiesB[3] = {b, streamed.DuplicateBuffer(b), streamed.DuplicateBuffer(b)};
  // Two voices play (the second quieter); a third takes over the first's
  // stream, as stopping the first beside it would.
  whole.Play(copiesA[0], 1.0f);
  streamed.Play(copiesB[0], 1.0f);
  ASSERT_EQ(MixFor(streamed, 1024), MixFor(whole, 1024));
  whole.Play(copiesA[1], 0.5f);
  streamed.Play(copiesB[1], 0.5f);
  ASSERT_EQ(MixFor(streamed, 1024), MixFor(whole, 1024));
  whole.Stop(copiesA[0]);
  whole.Play(copiesA[2], 0.7f);
  streamed.Play(copiesB[2], 0.7f);
  EXPECT_EQ(MixFor(streamed, 20000), MixFor(whole, 20000));
  EXPECT_EQ(streamed.SoundingVoices(), 2u);
  EXPECT_EQ(streamed.Streamer()->Underruns(), 0u);
}

TEST_F(SampleStreamerTest, AReadTheDiskFailsIsSilenceNotTheBlockBefore) {
  const auto samples = Ramp(12000, 1);
  Mixer streamed(reclaimer);
  streamed.SetStreamingWaits(true);
  auto data = Streamed(samples, 1, 256, dir / "s.raw");
  ASSERT_EQ(::truncate((dir / "s.raw").c_str(), 6 + 5000 * 2), 0);  // cut short after it opened
  const BufferId b = streamed.AdoptBuffer(std::move(data));
  streamed.Play(b);
  const auto out = MixFor(streamed, 12000);
  EXPECT_NE(out[2 * 300], 0.0f);
  EXPECT_TRUE(std::all_of(out.begin() + 2 * (256 + SampleStreamer::kBlockFrames), out.end(),
                          [](float f) { return f == 0.0f; }));
}

}  // namespace
}  // namespace thumper::test
