#pragma once
// The loader as it was before it decoded straight into the voice's buffer:
// whole-file vectors, one-shot conversion. The decoder must give the same bytes.

#include <sndfile.h>

#include <fcntl.h>
#include <algorithm>
#include <optional>
#include <vector>

#include "audio/Resample.h"
#include "audio/SampleSource.h"
#include "audio/WaveFormat.h"

namespace thumper::test {

template <class T>
void ReferenceReadAsStereo(SNDFILE* file, int channels,
                           sf_count_t (*read)(SNDFILE*, T*, sf_count_t), std::vector<T>& out) {
  const sf_count_t chunkFrames =
      std::max<sf_count_t>(1, std::min<sf_count_t>(16384, 131072 / channels));
  std::vector<T> chunk(static_cast<size_t>(chunkFrames) * channels);
  for (;;) {
    const sf_count_t got = std::max<sf_count_t>(0, read(file, chunk.data(), chunkFrames));
    for (sf_count_t f = 0; f < got; ++f) {
      const T* frame = &chunk[static_cast<size_t>(f) * channels];
      out.push_back(frame[0]);
      out.push_back(channels > 1 ? frame[1] : frame[0]);
    }
    if (got < chunkFrames) return;
  }
}

// 16-bit stereo at 44,100 Hz; nothing when the file is not readable.
inline std::optional<std::vector<int16_t>> ReferenceDecode(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  FileSource source(fd);
  SampleInput input(source);
  if (!input.File()) return std::nullopt;
  const SF_INFO info = input.Info();
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  std::vector<int16_t> out;
  if (subtype == SF_FORMAT_PCM_16 && info.samplerate == int(kOutputRate)) {
    ReferenceReadAsStereo(input.File(), info.channels, &sf_readf_short, out);
    return out;
  }
  sf_command(input.File(), SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  std::vector<float> floats;
  ReferenceReadAsStereo(input.File(), info.channels, &sf_readf_float, floats);
  for (float& x : floats)
    if (!(x == x)) x = 0.0f;
  if (info.samplerate != int(kOutputRate)) {
    std::vector<float> converted;
    if (!ResampleFloat(floats.data(), floats.size() / 2, 2, info.samplerate, kOutputRate,
                       converted))
      return std::nullopt;
    floats.swap(converted);
  }
  out.resize(floats.size());
  for (size_t i = 0; i < floats.size(); ++i) out[i] = FloatToInt16(floats[i]);
  return out;
}

// What the mixer made of 44,100 Hz data at another rate.
inline std::vector<int16_t> ReferenceToRate(const std::vector<int16_t>& in, uint32_t rate) {
  std::vector<int16_t> out;
  ResampleInt16(in.data(), in.size() / 2, 2, kOutputRate, rate, out);
  return out;
}

}  // namespace thumper::test
