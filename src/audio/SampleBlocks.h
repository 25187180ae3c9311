#pragma once
// Whole blocks of samples converted at once, four at a time where the machine
// has SSE2, with exactly the results of the one-sample forms. Any thread;
// real-time safe (no allocation, no lock).

#include <cstddef>
#include <cstdint>

namespace thumper {

// Whether this machine runs the eight-wide (AVX2) forms; known from the
// program's start, so real-time code may read it.
extern const bool kCpuHasAvx2;

// out[i] = in[i] * scale, saturated to 16 bits and rounded half away from zero:
// FloatToInt16 when scale is 32768, the mixer's own rounding when it is 1.
void ScaleToInt16(const float* in, int16_t* out, size_t count, float scale) noexcept;

// Interleaved stereo frames split into two channels, each sample times scale.
void SplitScaled(const float* in, float* left, float* right, size_t frames, float scale) noexcept;

}  // namespace thumper
