#pragma once
// Helpers for the sound engine's tests: synthetic samples and a plain pull loop.

#include <cstdint>
#include <vector>

#include "audio/Mixer.h"
#include "audio/SampleDecoder.h"

namespace thumper::test {

// Stereo 16-bit bytes of frames frames with both channels at value.
inline std::vector<uint8_t> ConstantSample(uint32_t frames, int16_t value) {
  std::vector<uint8_t> bytes(frames * 4);
  for (uint32_t i = 0; i < frames * 2; ++i) {
    bytes[2 * i] = static_cast<uint8_t>(value & 0xFF);
    bytes[2 * i + 1] = static_cast<uint8_t>((value >> 8) & 0xFF);
  }
  return bytes;
}

// Stereo 16-bit bytes whose frame i holds i (mod 32768) on both channels.
inline std::vector<uint8_t> RampSample(uint32_t frames) {
  std::vector<uint8_t> bytes(frames * 4);
  for (uint32_t f = 0; f < frames; ++f) {
    const int16_t v = static_cast<int16_t>(f % 32768);
    for (int c = 0; c < 2; ++c) {
      bytes[4 * f + 2 * c] = static_cast<uint8_t>(v & 0xFF);
      bytes[4 * f + 2 * c + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
  }
  return bytes;
}

// A decode's frames as the voice layout's interleaved stereo (a mono channel doubled).
inline std::vector<int16_t> StereoFrames(const DecodedSample& d) {
  if (!d.pData) return {};
  std::vector<int16_t> out(2 * size_t(d.pData->nFrames));
  CopyAsStereo(*d.pData, out.data());
  return out;
}

// Mixes frames frames and returns the left channel.
inline std::vector<int> MixLeft(Mixer& mixer, uint32_t frames) {
  std::vector<int16_t> out(2 * frames);
  mixer.Mix(out.data(), frames);
  std::vector<int> left(frames);
  for (uint32_t i = 0; i < frames; ++i) left[i] = out[2 * i];
  return left;
}

inline BufferId MakeBuffer(Mixer& mixer, const std::vector<uint8_t>& bytes) {
  BufferId id = mixer.CreateBuffer(OutputFormat(), static_cast<uint32_t>(bytes.size()));
  auto region = mixer.LockBuffer(id);
  std::copy(bytes.begin(), bytes.end(), region.begin());
  mixer.UnlockBuffer(id);
  return id;
}

}  // namespace thumper::test
