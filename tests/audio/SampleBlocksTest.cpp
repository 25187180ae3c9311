// Block conversions must give exactly what the one-sample forms give, for every
// kind of value and for block lengths that leave a rest after the wide steps.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "audio/Resample.h"
#include "audio/SampleBlocks.h"

namespace thumper {
namespace {

// The mixer's rounding of a sum already in 16-bit units.
int16_t MixerRounding(float v) {
  v = v < -32768.0f ? -32768.0f : (v > 32767.0f ? 32767.0f : v);
  return static_cast<int16_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

std::vector<float> AwkwardValues() {
  std::vector<float> v = {0.0f,
                          -0.0f,
                          0.5f,
                          -0.5f,
                          1.5f,
                          -1.5f,
                          2.5f,
                          -2.5f,
                          32766.5f,
                          32767.0f,
                          32767.49f,
                          32767.5f,
                          32768.0f,
                          1e9f,
                          -32767.5f,
                          -32768.0f,
                          -32768.49f,
                          -32768.5f,
                          -32769.0f,
                          -1e9f,
                          std::nextafter(0.5f, 0.0f),
                          std::nextafter(-0.5f, 0.0f),
                          std::numeric_limits<float>::denorm_min(),
                          1e-30f};
  std::mt19937 rng(7);
  std::uniform_real_distribution<float> wide(-40000.0f, 40000.0f);
  std::uniform_int_distribution<int> whole(-33000, 33000);
  for (int i = 0; i < 5000; ++i) v.push_back(wide(rng));
  for (int i = 0; i < 5000; ++i) v.push_back(float(whole(rng)) + 0.5f);  // exact halves
  return v;
}

TEST(SampleBlocksTest, SixteenBitBlocksRoundAsOneSampleAtATime) {
  const std::vector<float> sums = AwkwardValues();
  std::vector<float> normalised(sums.size());
  for (size_t i = 0; i < sums.size(); ++i) normalised[i] = sums[i] / 32768.0f;
  // Every length up to 19 leaves a different rest after the eight-wide steps.
  for (size_t count :
       {size_t(0), size_t(1), size_t(7), size_t(8), size_t(9), size_t(19), sums.size()}) {
    std::vector<int16_t> mixed(count + 1, 12345), decoded(count + 1, 12345);
    ScaleToInt16(sums.data(), mixed.data(), count, 1.0f);
    ScaleToInt16(normalised.data(), decoded.data(), count, 32768.0f);
    for (size_t i = 0; i < count; ++i) {
      ASSERT_EQ(mixed[i], MixerRounding(sums[i])) << sums[i] << " at " << i;
      ASSERT_EQ(decoded[i], FloatToInt16(normalised[i])) << normalised[i] << " at " << i;
    }
    EXPECT_EQ(mixed[count], 12345) << "wrote past the block";
    EXPECT_EQ(decoded[count], 12345) << "wrote past the block";
  }
}

TEST(SampleBlocksTest, SplitChannelsAreScaledCopiesOfTheInterleavedFrames) {
  const std::vector<float> in = AwkwardValues();
  for (size_t frames : {size_t(0), size_t(1), size_t(3), size_t(4), size_t(5), in.size() / 2}) {
    std::vector<float> left(frames + 1, 7.0f), right(frames + 1, 7.0f);
    SplitScaled(in.data(), left.data(), right.data(), frames, 1.0f / 32768.0f);
    for (size_t k = 0; k < frames; ++k) {
      ASSERT_EQ(left[k], in[2 * k] * (1.0f / 32768.0f)) << k;
      ASSERT_EQ(right[k], in[2 * k + 1] * (1.0f / 32768.0f)) << k;
    }
    EXPECT_EQ(left[frames], 7.0f);
    EXPECT_EQ(right[frames], 7.0f);
  }
}

}  // namespace
}  // namespace thumper
