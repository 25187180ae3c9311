#pragma once
// Sample-rate conversion at load time (soxr, high quality) and the float to
// 16-bit step. UI thread; never used on the mix path.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace thumper {

// Interleaved float frames from inRate to outRate. False when soxr fails.
bool ResampleFloat(const float* in, size_t frames, unsigned channels, double inRate, double outRate,
                   std::vector<float>& out);

// Interleaved 16-bit frames from inRate to outRate.
bool ResampleInt16(const int16_t* in, size_t frames, unsigned channels, double inRate,
                   double outRate, std::vector<int16_t>& out);

// Full scale is 32768: rounded to nearest, saturated.
inline int16_t FloatToInt16(float x) {
  float v = x * 32768.0f;
  v = v < -32768.0f ? -32768.0f : (v > 32767.0f ? 32767.0f : v);
  return static_cast<int16_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

}  // namespace thumper
