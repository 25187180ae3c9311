#pragma once
// Helpers for the sound engine's tests: synthetic samples and a plain pull loop.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
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

// Frames of a sample that changes every frame, so a block out of place shows.
inline std::vector<int16_t> Ramp(uint32_t frames, uint32_t channels) {
  std::vector<int16_t> v(size_t(frames) * channels);
  for (size_t i = 0; i < v.size(); ++i) v[i] = int16_t((i * 37) % 20011 - 10000);
  return v;
}

inline std::unique_ptr<SampleData> Whole(const std::vector<int16_t>& frames, uint32_t channels) {
  auto data = std::make_unique<SampleData>();
  data->nChannels = channels;
  data->nFrames = uint32_t(frames.size() / channels);
  data->pSamples = std::make_unique<int16_t[]>(frames.size());
  std::copy(frames.begin(), frames.end(), data->pSamples.get());
  return data;
}

// The same sample holding head frames, the rest in a file of its own.
inline std::unique_ptr<SampleData> Streamed(const std::vector<int16_t>& frames, uint32_t channels,
                                            uint32_t head, const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  EXPECT_GE(fd, 0) << path;
  const int16_t junk[3] = {1, 2, 3};  // the frames need not start the file
  EXPECT_EQ(::write(fd, junk, sizeof junk), ssize_t(sizeof junk));
  const size_t bytes = frames.size() * sizeof(int16_t);
  EXPECT_EQ(::write(fd, frames.data(), bytes), ssize_t(bytes));
  auto data = std::make_unique<SampleData>();
  data->nChannels = channels;
  data->nFrames = head;
  data->nStreamFrames = uint32_t(frames.size() / channels);
  data->pSamples = std::make_unique<int16_t[]>(size_t(head) * channels);
  std::copy(frames.begin(), frames.begin() + ptrdiff_t(head * channels), data->pSamples.get());
  data->pStreamFile =
      std::make_shared<StreamFile>(fd, int64_t(sizeof junk), data->nStreamFrames, channels);
  return data;
}

}  // namespace thumper::test
