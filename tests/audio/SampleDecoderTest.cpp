// The decoder writes straight into the voice's buffer, in chunks; what it gives
// must be exactly what the whole-file loader gave, for every layout and rate.

#include "audio/SampleDecoder.h"

#include <gtest/gtest.h>

#include <atomic>

#include "AudioTestSupport.h"
#include "audio/ReferenceDecoder.h"
#include "support/MixedSamples.h"

namespace thumper::test {
namespace {

class SampleDecoderTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::vector<std::string> paths = WriteMixedSamples(dir);
};

TEST_F(SampleDecoderTest, GivesTheWholeFileLoadersBytesForEveryLayout) {
  ASSERT_EQ(paths.size(), MixedSampleSpecs().size());
  for (const std::string& path : paths) {
    const auto want = ReferenceDecode(path);
    ASSERT_TRUE(want) << path;
    const DecodedSample got = DecodeSampleFile(path);
    ASSERT_EQ(got.status, DecodeStatus::Ok) << path;
    EXPECT_EQ(got.nVoiceBytes, 2 * want->size()) << path;
    EXPECT_TRUE(StereoFrames(got) == *want) << path;
  }
}

TEST_F(SampleDecoderTest, AMixerAtAnotherRateGetsTheDataItsOwnConversionMade) {
  for (uint32_t rate : {48000u, 96000u}) {
    for (const std::string& path : paths) {
      const auto at44 = ReferenceDecode(path);
      ASSERT_TRUE(at44) << path;
      const DecodedSample got = DecodeSampleFile(path, rate);
      if (at44->empty()) {
        // An empty sample makes no buffer, so it is never converted.
        EXPECT_EQ(got.nVoiceBytes, 0u);
        continue;
      }
      ASSERT_EQ(got.status, DecodeStatus::Ok) << path;
      EXPECT_EQ(got.nVoiceBytes, 2 * at44->size()) << path;
      EXPECT_TRUE(StereoFrames(got) == ReferenceToRate(*at44, rate)) << path << " at " << rate;
    }
  }
}

TEST_F(SampleDecoderTest, AMonoFileStaysOneChannelAtEveryRateAndCountsAsItsStereo) {
  for (uint32_t rate : {44100u, 48000u}) {
    for (size_t i = 0; i < paths.size(); ++i) {
      const MixedSampleSpec& spec = MixedSampleSpecs()[i];
      const DecodedSample got = DecodeSampleFile(paths[i], rate);
      if (!got.pData) continue;  // the empty file
      EXPECT_EQ(got.pData->nChannels, spec.channels == 1 ? 1u : 2u) << paths[i] << " at " << rate;
      // What a buffer accepts is still measured in the stereo voice layout.
      const DecodedSample at44 = DecodeSampleFile(paths[i]);
      EXPECT_EQ(got.nVoiceBytes, 4 * uint64_t(at44.pData->nFrames)) << paths[i];
    }
  }
}

TEST_F(SampleDecoderTest, AHeaderThatPromisesMoreThanTheFileHoldsGivesWhatIsThere) {
  // A 16-bit stereo file whose data chunk claims ten times its length.
  std::vector<int16_t> samples(2 * 5000);
  for (size_t i = 0; i < samples.size(); ++i) samples[i] = int16_t(i * 13);
  const std::string path = dir / "cut.wav";
  WriteWav(path, samples);
  auto bytes = ReadFileBytes(path);
  const uint32_t claimed = 10 * 4 * 5000;
  for (int i = 0; i < 4; ++i) bytes[40 + i] = uint8_t(claimed >> (8 * i));
  WriteFileBytes(path, bytes);
  const DecodedSample got = DecodeSampleFile(path);
  ASSERT_EQ(got.status, DecodeStatus::Ok);
  EXPECT_EQ(StereoFrames(got), samples);
}

TEST_F(SampleDecoderTest, ACancelledDecodeStopsAndHoldsNothing) {
  std::atomic<bool> cancel{true};
  for (const std::string& path : paths) {
    const DecodedSample got = DecodeSampleFile(path, kOutputRate, &cancel);
    EXPECT_EQ(got.status, DecodeStatus::Cancelled) << path;
    EXPECT_EQ(got.pData, nullptr);
  }
}

TEST_F(SampleDecoderTest, AFileThatCannotBeOpenedOrReadIsTold) {
  EXPECT_EQ(DecodeSampleFile(dir / "none.wav").status, DecodeStatus::NotOpened);
  WriteTextFile(dir / "text.wav", "not a sample\n");
  EXPECT_EQ(DecodeSampleFile(dir / "text.wav").status, DecodeStatus::Unreadable);
}

}  // namespace
}  // namespace thumper::test
