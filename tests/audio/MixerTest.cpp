#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "AudioTestSupport.h"
#include "audio/Mixer.h"

namespace thumper::test {
namespace {

class MixerTest : public ::testing::Test {
 protected:
  Reclaimer reclaimer;
  Mixer mixer{reclaimer};
};

TEST_F(MixerTest, GainLawFollowsHundredthsOfDecibel) {
  EXPECT_FLOAT_EQ(GainOfAttenuation(0), 1.0f);
  EXPECT_NEAR(GainOfAttenuation(-4000), 0.01f, 1e-7);
  EXPECT_NEAR(GainOfAttenuation(-2000), 0.1f, 1e-7);
  EXPECT_EQ(GainOfAttenuation(-10000), 0.0f);
  EXPECT_EQ(GainOfAttenuation(-20000), 0.0f);     // clamped, still silent
  EXPECT_FLOAT_EQ(GainOfAttenuation(500), 1.0f);  // no boost above full level
}

TEST_F(MixerTest, AttenuationScalesTheOutput) {
  for (auto [att, expected] : {std::pair{0L, 10000}, {-4000L, 100}, {-10000L, 0}}) {
    BufferId b = MakeBuffer(mixer, ConstantSample(64, 10000));
    mixer.SetAttenuation(b, att);
    mixer.Play(b);
    auto out = MixLeft(mixer, 32);
    EXPECT_EQ(out[0], expected) << att;
    EXPECT_EQ(out[31], expected) << att;
    mixer.ReleaseBuffer(b);
    MixLeft(mixer, 128);
  }
}

TEST_F(MixerTest, FloatOutputIsFullScaleAt32768) {
  BufferId b = MakeBuffer(mixer, ConstantSample(64, 16384));
  mixer.Play(b);
  std::vector<float> out(2 * 16);
  mixer.Mix(out.data(), 16);
  EXPECT_FLOAT_EQ(out[0], 0.5f);
  EXPECT_FLOAT_EQ(out[1], 0.5f);
}

TEST_F(MixerTest, SixteenBitOutputSaturatesAndRoundsToNearest) {
  std::vector<BufferId> loud;
  for (int i = 0; i < 4; ++i) {
    loud.push_back(MakeBuffer(mixer, ConstantSample(64, 30000)));
    mixer.Play(loud.back());
  }
  EXPECT_EQ(MixLeft(mixer, 8)[0], 32767);
  for (auto b : loud) mixer.ReleaseBuffer(b);
  MixLeft(mixer, 128);

  for (int i = 0; i < 4; ++i) {
    loud[i] = MakeBuffer(mixer, ConstantSample(64, -30000));
    mixer.Play(loud[i]);
  }
  EXPECT_EQ(MixLeft(mixer, 8)[0], -32768);
  for (auto b : loud) mixer.ReleaseBuffer(b);
  MixLeft(mixer, 128);

  // -602 hundredths of a decibel is a gain of 0.500035: 3 gives 1.5001 and 5 gives
  // 2.5002, which round to 2 and 3 (truncation would give 1 and 2).
  BufferId three = MakeBuffer(mixer, ConstantSample(64, 3));
  BufferId five = MakeBuffer(mixer, ConstantSample(64, 5));
  BufferId minusFive = MakeBuffer(mixer, ConstantSample(64, -5));
  for (BufferId b : {three, five, minusFive}) {
    mixer.SetAttenuation(b, -602);
    mixer.Play(b);
    EXPECT_EQ(MixLeft(mixer, 4)[0], b.nSlot == three.nSlot ? 2 : (b.nSlot == five.nSlot ? 3 : -3));
    mixer.Stop(b);
    MixLeft(mixer, 128);
  }
}

TEST_F(MixerTest, DuplicatesShareTheDataAndPlayIndependently) {
  BufferId a = MakeBuffer(mixer, RampSample(1000));
  BufferId b = mixer.DuplicateBuffer(a);
  ASSERT_TRUE(b.IsValid());
  EXPECT_NE(a.nSlot, b.nSlot);
  // Writing is refused for both: the data is shared and immutable once filled.
  EXPECT_TRUE(mixer.LockBuffer(a).empty());
  EXPECT_TRUE(mixer.LockBuffer(b).empty());

  mixer.Play(a);
  MixLeft(mixer, 100);
  mixer.SetAttenuation(b, -10000);
  mixer.Play(b);
  auto out = MixLeft(mixer, 10);
  EXPECT_EQ(out[0], 100);  // only a sounds; b is silent at -10000
  mixer.SetAttenuation(b, 0);
  out = MixLeft(mixer, 10);
  EXPECT_EQ(out[0], 110 + 10);  // a at 110, b at 10

  // Releasing the original leaves the duplicate playing its data.
  mixer.ReleaseBuffer(a);
  out = MixLeft(mixer, 200);
  EXPECT_EQ(out[199], 20 + 199);
  reclaimer.Reclaim();
  out = MixLeft(mixer, 10);
  EXPECT_EQ(out[0], 220);
}

TEST_F(MixerTest, StopFadesOutLinearlyOverTwoMilliseconds) {
  ASSERT_EQ(mixer.FadeFrames(), 88u);
  BufferId b = MakeBuffer(mixer, ConstantSample(10000, 8800));
  mixer.Play(b);
  MixLeft(mixer, 50);
  mixer.Stop(b);
  auto out = MixLeft(mixer, 200);
  EXPECT_EQ(out[0], 8800);
  for (int k = 1; k < 88; ++k) {
    EXPECT_NEAR(out[k], 8800 * (88 - k) / 88, 1) << k;
    EXPECT_LT(out[k], out[k - 1]);
  }
  for (int k = 88; k < 200; ++k) ASSERT_EQ(out[k], 0) << k;
  EXPECT_EQ(mixer.SoundingVoices(), 0u);
}

TEST_F(MixerTest, StopAllFadesEverySoundingCopy) {
  BufferId a = MakeBuffer(mixer, ConstantSample(10000, 1000));
  BufferId b = MakeBuffer(mixer, ConstantSample(10000, 2000));
  mixer.Play(a);
  mixer.Play(b);
  EXPECT_EQ(MixLeft(mixer, 10)[0], 3000);
  mixer.StopAll();
  auto out = MixLeft(mixer, 100);
  EXPECT_EQ(out[0], 3000);
  EXPECT_GT(out[44], 1000);
  EXPECT_EQ(out[88], 0);
}

TEST_F(MixerTest, RestartFadesTheOldSoundWhileTheNewStartsAtItsFirstFrame) {
  BufferId b = MakeBuffer(mixer, RampSample(5000));
  mixer.Play(b);
  MixLeft(mixer, 1000);
  mixer.SetPosition(b, 0);
  mixer.Play(b);
  auto out = MixLeft(mixer, 200);
  // The new start from frame 0 plus the old sound at 1000 fading out.
  EXPECT_EQ(out[0], 0 + 1000);
  EXPECT_NEAR(out[44], 44 + 1044 * 44 / 88, 2);
  EXPECT_EQ(out[100], 100);
  EXPECT_EQ(out[199], 199);
}

TEST_F(MixerTest, AttenuationChangedWhilePlayingTakesHoldFromTheNextBlock) {
  BufferId b = MakeBuffer(mixer, ConstantSample(10000, 10000));
  mixer.Play(b);
  EXPECT_EQ(MixLeft(mixer, 10)[9], 10000);
  mixer.SetAttenuation(b, -2000);
  EXPECT_EQ(MixLeft(mixer, 10)[0], 1000);
}

std::vector<std::pair<float, float>> MixBoth(Mixer& mixer, uint32_t frames) {
  std::vector<float> out(2 * frames);
  mixer.Mix(out.data(), frames);
  std::vector<std::pair<float, float>> both(frames);
  for (uint32_t i = 0; i < frames; ++i) both[i] = {out[2 * i] * 32768, out[2 * i + 1] * 32768};
  return both;
}

TEST_F(MixerTest, APannedCopyPlaysEachChannelAtItsOwnGainFromItsStartFrame) {
  BufferId b = MakeBuffer(mixer, RampSample(400));
  mixer.Play(b, 1.0f, 0.25f, 100);
  auto out = MixBoth(mixer, 10);
  EXPECT_FLOAT_EQ(out[0].first, 100);
  EXPECT_FLOAT_EQ(out[0].second, 25);
  EXPECT_FLOAT_EQ(out[9].first, 109);
  EXPECT_FLOAT_EQ(out[9].second, 109 * 0.25f);
}

TEST_F(MixerTest, EqualLeftAndRightGainsMixExactlyAsOneGain) {
  Reclaimer other;
  Mixer single{other};
  std::mt19937 random(7);
  std::vector<uint8_t> bytes(4 * 3000);
  for (auto& byte : bytes) byte = static_cast<uint8_t>(random());
  BufferId a = MakeBuffer(mixer, bytes), b = MakeBuffer(single, bytes);
  mixer.Play(a, 0.3f, 0.3f, 0);
  single.Play(b, 0.3f);
  std::vector<int16_t> x(2 * 500), y(2 * 500);
  mixer.Mix(x.data(), 500);
  single.Mix(y.data(), 500);
  EXPECT_EQ(x, y);
  mixer.Stop(a);
  single.Stop(b);
  mixer.Mix(x.data(), 500);
  single.Mix(y.data(), 500);
  EXPECT_EQ(x, y);
}

TEST_F(MixerTest, AStopWithItsOwnFadeLengthFadesBothChannelsOverIt) {
  BufferId b = MakeBuffer(mixer, ConstantSample(10000, 8000));
  mixer.Play(b, 1.0f, 0.5f, 0);
  MixBoth(mixer, 10);
  mixer.Stop(b, 400);
  auto out = MixBoth(mixer, 500);
  EXPECT_FLOAT_EQ(out[0].first, 8000);
  EXPECT_NEAR(out[200].first, 4000, 1);
  EXPECT_NEAR(out[200].second, 2000, 1);
  EXPECT_GT(out[399].first, 0);
  EXPECT_EQ(out[400].first, 0);
  EXPECT_EQ(out[400].second, 0);
  EXPECT_EQ(mixer.SoundingVoices(), 0u);
}

TEST_F(MixerTest, PlayStartsAtTheSetPositionAndEndsAtTheLastFrame) {
  BufferId b = MakeBuffer(mixer, RampSample(300));
  mixer.SetPosition(b, 250);
  mixer.Play(b);
  auto out = MixLeft(mixer, 100);
  EXPECT_EQ(out[0], 250);
  EXPECT_EQ(out[49], 299);
  EXPECT_EQ(out[50], 0);  // played once, no loop
  EXPECT_EQ(mixer.SoundingVoices(), 0u);
}

TEST_F(MixerTest, ReleaseWhilePlayingSilencesWithinTheBlockAndFreesLater) {
  BufferId b = MakeBuffer(mixer, ConstantSample(100000, 5000));
  BufferId d = mixer.DuplicateBuffer(b);
  mixer.Play(b);
  mixer.Play(d);
  MixLeft(mixer, 64);
  mixer.ReleaseBuffer(d);
  mixer.ReleaseBuffer(b);
  EXPECT_EQ(reclaimer.PendingCount(), 1u);  // the shared data, once
  auto out = MixLeft(mixer, 32);            // a short block: the fade must fit in it
  EXPECT_EQ(out[0], 10000);
  EXPECT_LT(out[31], 10000 / 16);
  EXPECT_EQ(MixLeft(mixer, 32)[0], 0);
  EXPECT_EQ(reclaimer.Reclaim(), 1u);
  // Stale handles do nothing, even after the slot is used again.
  BufferId again = MakeBuffer(mixer, ConstantSample(100, 7));
  EXPECT_EQ(again.nSlot, b.nSlot);
  mixer.Play(b);
  mixer.SetAttenuation(b, -10000);
  EXPECT_EQ(MixLeft(mixer, 4)[0], 0);
}

TEST_F(MixerTest, CreateRefusesFormatsAndSizesItCannotHold) {
  EXPECT_FALSE(mixer.CreateBuffer(OutputFormat(), 0).IsValid());
  EXPECT_FALSE(mixer.CreateBuffer(OutputFormat(), 3).IsValid());
  EXPECT_FALSE(mixer.CreateBuffer(OutputFormat(), Mixer::kMaxBufferBytes + 1).IsValid());
  WaveFormat mono = OutputFormat();
  mono.nChannels = 1;
  EXPECT_FALSE(mixer.CreateBuffer(mono, 400).IsValid());
  // An odd byte count keeps its whole frames.
  BufferId b = mixer.CreateBuffer(OutputFormat(), 10);
  ASSERT_TRUE(b.IsValid());
  auto region = mixer.LockBuffer(b);
  EXPECT_EQ(region.size(), 10u);
  EXPECT_TRUE(mixer.UnlockBuffer(b));
  EXPECT_FALSE(mixer.UnlockBuffer(b));
}

TEST(MixerSlots, EverySlotTakenRefusesCreateAndDuplicate) {
  Reclaimer reclaimer;
  Mixer::Options options;
  options.nBufferSlots = 3;
  Mixer mixer(reclaimer, options);
  BufferId a = MakeBuffer(mixer, ConstantSample(8, 1));
  EXPECT_TRUE(mixer.DuplicateBuffer(a).IsValid());
  EXPECT_TRUE(mixer.DuplicateBuffer(a).IsValid());
  EXPECT_FALSE(mixer.DuplicateBuffer(a).IsValid());
  EXPECT_FALSE(mixer.CreateBuffer(OutputFormat(), 8).IsValid());
}

TEST(MixerQueue, AFullQueueDropsAndCounts) {
  Reclaimer reclaimer;
  Mixer::Options options;
  options.nQueueCapacity = 8;
  Mixer mixer(reclaimer, options);
  BufferId a = MakeBuffer(mixer, ConstantSample(8, 1));
  for (int i = 0; i < 20; ++i) mixer.Play(a);
  EXPECT_EQ(mixer.DroppedCommands(), 12u);
  MixLeft(mixer, 4);
  mixer.Play(a);
  EXPECT_EQ(mixer.DroppedCommands(), 12u);
}

TEST(MixerTails, MoreRestartsThanTailsCutTheOldestFadeInsteadOfFailing) {
  Reclaimer reclaimer;
  Mixer::Options options;
  options.nBufferSlots = 1;
  options.nTailVoices = 1;
  Mixer mixer(reclaimer, options);
  BufferId a = MakeBuffer(mixer, ConstantSample(1000, 100));
  for (int i = 0; i < 5; ++i) mixer.Play(a);
  auto out = MixLeft(mixer, 200);
  EXPECT_EQ(out[0], 200);  // the last start and one fading tail
  EXPECT_EQ(out[150], 100);
}

TEST(MixerRate, BuffersAreConvertedToTheDeviceRateAtFill) {
  Reclaimer reclaimer;
  Mixer::Options options;
  options.nSampleRate = 48000;
  Mixer mixer(reclaimer, options);
  EXPECT_EQ(mixer.FadeFrames(), 96u);
  // A 441 Hz sine of 4410 frames at 44.1 kHz: 10 periods.
  std::vector<uint8_t> bytes(4410 * 4);
  for (int f = 0; f < 4410; ++f) {
    const auto v =
        static_cast<int16_t>(std::lround(10000 * std::sin(2 * M_PI * 441 * f / 44100.0)));
    for (int c = 0; c < 2; ++c) {
      bytes[4 * f + 2 * c] = static_cast<uint8_t>(v & 0xFF);
      bytes[4 * f + 2 * c + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
  }
  BufferId b = MakeBuffer(mixer, bytes);
  mixer.Play(b);
  auto out = MixLeft(mixer, 5000);
  // 0.1 s at 48 kHz: 4800 frames, and the sine keeps its pitch (109 frames a period).
  int last = 0;
  for (int i = 0; i < 5000; ++i)
    if (out[i] != 0) last = i;
  EXPECT_NEAR(last, 4800, 20);
  EXPECT_NEAR(out[1200], std::lround(10000 * std::sin(2 * M_PI * 441 * 1200 / 48000.0)), 150);
}

}  // namespace
}  // namespace thumper::test

namespace thumper::test {
namespace {

// The wide loops must not change a single bit: many copies at odd gains, cycles
// whose lengths leave rests, against the sum taken one sample at a time in the
// order the copies started.
TEST_F(MixerTest, ManyCopiesSumExactlyAsOneSampleAtATime) {
  constexpr uint32_t kFrames = 1000;
  std::mt19937 rng(11);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::uniform_int_distribution<int> attenuation(-3000, 0);
  std::vector<std::vector<int16_t>> voices;
  std::vector<float> gains;
  for (int v = 0; v < 9; ++v) {
    std::vector<uint8_t> bytes(4 * kFrames);
    std::vector<int16_t> samples(2 * kFrames);
    for (auto& s : samples) s = static_cast<int16_t>(sample(rng));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    const BufferId b = MakeBuffer(mixer, bytes);
    const long att = attenuation(rng);
    mixer.SetAttenuation(b, att);
    mixer.Play(b);
    voices.push_back(samples);
    gains.push_back(GainOfAttenuation(att));
  }
  std::vector<float> out(2 * kFrames), outInt(2 * kFrames);
  for (uint32_t at = 0; at < kFrames;) {
    const uint32_t n = std::min<uint32_t>(kFrames - at, at % 2 ? 333 : 61);
    mixer.Mix(out.data() + 2 * at, n);
    at += n;
  }
  for (uint32_t i = 0; i < 2 * kFrames; ++i) {
    float acc = 0.0f;
    for (size_t v = 0; v < voices.size(); ++v) acc += static_cast<float>(voices[v][i]) * gains[v];
    ASSERT_EQ(out[i], acc * (1.0f / 32768.0f)) << "sample " << i;
  }
}

// A mono sample is one channel in memory and must mix exactly as the doubled
// stereo of before: every path (one gain, two gains, a fade, a restart's tail,
// a start frame) and cycles that leave the wide loops rests.
std::unique_ptr<SampleData> MonoData(const std::vector<int16_t>& samples) {
  auto data = std::make_unique<SampleData>();
  data->pSamples = std::make_unique<int16_t[]>(samples.size());
  std::copy(samples.begin(), samples.end(), data->pSamples.get());
  data->nFrames = static_cast<uint32_t>(samples.size());
  data->nChannels = 1;
  return data;
}

std::vector<uint8_t> DoubledBytes(const std::vector<int16_t>& mono) {
  std::vector<int16_t> stereo(2 * mono.size());
  for (size_t i = 0; i < mono.size(); ++i) stereo[2 * i] = stereo[2 * i + 1] = mono[i];
  std::vector<uint8_t> bytes(2 * stereo.size());
  std::memcpy(bytes.data(), stereo.data(), bytes.size());
  return bytes;
}

TEST_F(MixerTest, AMonoCopyMixesBitForBitAsItsDoubledStereo) {
  constexpr uint32_t kFrames = 3001;
  std::mt19937 rng(5);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  std::vector<int16_t> mono(kFrames);
  for (auto& s : mono) s = static_cast<int16_t>(sample(rng));
  Reclaimer otherReclaimer;
  Mixer stereoMixer{otherReclaimer};
  BufferId m = mixer.AdoptBuffer(MonoData(mono));
  BufferId s = MakeBuffer(stereoMixer, DoubledBytes(mono));
  ASSERT_TRUE(m.IsValid());
  BufferId m2 = mixer.DuplicateBuffer(m), s2 = stereoMixer.DuplicateBuffer(s);
  auto both = [&](auto&& act) {
    act(mixer, m, m2);
    act(stereoMixer, s, s2);
  };
  std::vector<float> x(2 * kFrames), y(2 * kFrames);
  std::vector<int16_t> xi(2 * 300), yi(2 * 300);
  uint32_t cycle = 0;
  auto mixAndCompare = [&](uint32_t frames) {
    for (uint32_t at = 0; at < frames;) {
      const uint32_t n = std::min<uint32_t>(frames - at, ++cycle % 2 ? 37 : 129);
      mixer.Mix(x.data(), n);
      stereoMixer.Mix(y.data(), n);
      ASSERT_EQ(std::memcmp(x.data(), y.data(), 8 * n), 0) << "cycle " << cycle;
      at += n;
    }
  };
  both([](Mixer& mx, BufferId a, BufferId) {
    mx.SetAttenuation(a, -317);
    mx.Play(a);
  });
  mixAndCompare(200);
  both([](Mixer& mx, BufferId, BufferId b) { mx.Play(b, 0.7f, 0.2f, 123); });
  mixAndCompare(300);
  both([](Mixer& mx, BufferId a, BufferId) { mx.Play(a, 0.4f); });  // the old start fades
  mixAndCompare(250);
  both([](Mixer& mx, BufferId, BufferId b) { mx.Stop(b, 301); });
  mixAndCompare(400);
  both([](Mixer& mx, BufferId a, BufferId) { mx.SetAttenuation(a, -1200); });
  mixAndCompare(200);
  // The 16-bit output too, to the copy's last frame.
  both([](Mixer& mx, BufferId, BufferId b) { mx.Play(b, 1.0f, 1.0f, kFrames - 100); });
  mixer.Mix(xi.data(), 300);
  stereoMixer.Mix(yi.data(), 300);
  EXPECT_EQ(xi, yi);
  EXPECT_EQ(mixer.SoundingVoices(), stereoMixer.SoundingVoices());
}

TEST_F(MixerTest, WidthGainsFollowTheQuarterCircleLaw) {
  auto expectGains = [](StereoGains g, float ll, float lr, float rl, float rr) {
    EXPECT_NEAR(g.fLeftToLeft, ll, 1e-6f);
    EXPECT_NEAR(g.fLeftToRight, lr, 1e-6f);
    EXPECT_NEAR(g.fRightToLeft, rl, 1e-6f);
    EXPECT_NEAR(g.fRightToRight, rr, 1e-6f);
  };
  const StereoGains asRecorded = WidthGains(0.8f, 0.6f, 1.0f);  // exact: no crossing at all
  EXPECT_EQ(asRecorded.fLeftToLeft, 0.8f);
  EXPECT_EQ(asRecorded.fLeftToRight, 0.0f);
  EXPECT_EQ(asRecorded.fRightToLeft, 0.0f);
  EXPECT_EQ(asRecorded.fRightToRight, 0.6f);
  const float h = std::sqrt(0.5f);
  expectGains(WidthGains(1.0f, 1.0f, 0.0f), h, h, h, h);      // both to the middle
  expectGains(WidthGains(1.0f, 0.5f, -1.0f), 0, 1, 0.5f, 0);  // swapped
  const float own = std::sin(0.75f * 1.5707964f), other = std::cos(0.75f * 1.5707964f);
  expectGains(WidthGains(1.0f, 1.0f, 0.5f), own, other, other, own);
  expectGains(WidthGains(1.0f, 1.0f, 7.0f), 1, 0, 0, 1);  // clamped
  expectGains(WidthGains(1.0f, 1.0f, -7.0f), 0, 1, 1, 0);
}

TEST_F(MixerTest, ACrossedCopySendsEachChannelToBothSidesAndFadesAllFour) {
  std::vector<uint8_t> bytes(4 * 2000);
  for (uint32_t f = 0; f < 2000; ++f) {
    const int16_t l = 1000, r = -3000;
    std::memcpy(&bytes[4 * f], &l, 2);
    std::memcpy(&bytes[4 * f + 2], &r, 2);
  }
  BufferId b = MakeBuffer(mixer, bytes);
  mixer.Play(b, StereoGains{0.5f, 0.25f, 0.125f, 1.0f}, 0);
  auto out = MixBoth(mixer, 64);
  EXPECT_FLOAT_EQ(out[10].first, 1000 * 0.5f - 3000 * 0.125f);
  EXPECT_FLOAT_EQ(out[10].second, 1000 * 0.25f - 3000 * 1.0f);
  mixer.Stop(b, 100);
  out = MixBoth(mixer, 120);
  EXPECT_NEAR(out[50].first, 0.5f * (1000 * 0.5f - 3000 * 0.125f), 2);
  EXPECT_NEAR(out[50].second, 0.5f * (1000 * 0.25f - 3000 * 1.0f), 2);
  EXPECT_EQ(out[100].first, 0);
  EXPECT_EQ(out[100].second, 0);
  // A new attenuation plays the copy as recorded at that one gain.
  mixer.Play(b, StereoGains{0.5f, 0.25f, 0.125f, 1.0f}, 0);
  MixBoth(mixer, 8);
  mixer.SetAttenuation(b, 0);
  out = MixBoth(mixer, 8);
  EXPECT_FLOAT_EQ(out[0].first, 1000);
  EXPECT_FLOAT_EQ(out[0].second, -3000);
}

TEST_F(MixerTest, AMonoCopyIgnoresCrossingGainsAndPlaysItsOwnTwo) {
  BufferId m = mixer.AdoptBuffer(MonoData(std::vector<int16_t>(500, 2000)));
  mixer.Play(m, StereoGains{0.5f, 0.25f, 0.125f, 1.0f}, 0);
  auto out = MixBoth(mixer, 16);
  EXPECT_FLOAT_EQ(out[3].first, 1000);
  EXPECT_FLOAT_EQ(out[3].second, 2000);
}

}  // namespace
}  // namespace thumper::test

namespace thumper::test {
namespace {

TEST_F(MixerTest, CopiesOnOtherOutputPairsMixIntoTheirOwnTargetsAndAddUpToOneMix) {
  const BufferId a = MakeBuffer(mixer, ConstantSample(64, 1000));
  const BufferId b = MakeBuffer(mixer, ConstantSample(64, 2000));
  const BufferId c = MakeBuffer(mixer, ConstantSample(64, 4000));
  const auto playAll = [&] {
    mixer.Play(a, 1.0f, 1.0f, 0, 0);
    mixer.Play(b, 0.5f, 1.0f, 0, 2);  // panned, on pair 2
    mixer.Play(c, 1.0f, 1.0f, 0, 9);  // beyond the pairs a host has: the main one
  };
  std::vector<float> main(2 * 16), one(2 * 16), two(2 * 16);
  const MixTarget more[2] = {MixTarget::Interleaved(one.data()),
                             MixTarget::Interleaved(two.data())};
  playAll();
  mixer.Mix(MixTarget::Interleaved(main.data()).WithMore(more, 2), 16);
  EXPECT_FLOAT_EQ(main[0] * 32768, 5000);
  EXPECT_EQ(one[0], 0.0f);
  EXPECT_FLOAT_EQ(two[0] * 32768, 1000);
  EXPECT_FLOAT_EQ(two[1] * 32768, 2000);

  // Without more pairs every copy mixes into the one target, as the sum of the pairs.
  MixLeft(mixer, 128);
  std::vector<float> all(2 * 16);
  playAll();
  mixer.Mix(all.data(), 16);
  for (size_t i = 0; i < all.size(); ++i) EXPECT_FLOAT_EQ(all[i], main[i] + one[i] + two[i]) << i;
}

}  // namespace
}  // namespace thumper::test
