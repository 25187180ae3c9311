#pragma once
// The wave format record of every voice and of the output.

#include <cstdint>

namespace thumper {

struct WaveFormat {
  uint16_t wFormatTag = 1;  // PCM
  uint16_t nChannels = 2;
  uint32_t nSamplesPerSec = 44100;
  uint32_t nAvgBytesPerSec = 176400;
  uint16_t nBlockAlign = 4;
  uint16_t wBitsPerSample = 16;
  uint16_t cbSize = 0;
  friend bool operator==(const WaveFormat&, const WaveFormat&) = default;
};

inline constexpr uint32_t kOutputRate = 44100;
inline constexpr int kOutputChannels = 2;

// PCM, 2 channels, 44,100 samples per second, 16 bits.
inline constexpr WaveFormat OutputFormat() {
  return WaveFormat{};
}

// Gain of an attenuation in hundredths of a decibel, clamped to [-10000, 0];
// -10000 is silence.
float GainOfAttenuation(long attenuation);

}  // namespace thumper
