#include "audio/WaveReader.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "audio/Resample.h"
#include "audio/SampleSource.h"
#include "audio/WaveFormat.h"

namespace thumper {

namespace {

// The largest result: what a buffer can hold.
constexpr uint64_t kMaxDataBytes = 0x7FFFFFFF;
constexpr sf_count_t kChunkFrames = 16384;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 1536000;

// Appends every frame the file gives to out as stereo: the first two channels,
// or the one channel twice. False when the result would exceed limit samples.
template <class T>
bool ReadAsStereo(SNDFILE* file, int channels, sf_count_t (*read)(SNDFILE*, T*, sf_count_t),
                  std::vector<T>& out, size_t limit) {
  // Files of many channels read fewer frames at a time, to bound the chunk.
  const sf_count_t chunkFrames =
      std::max<sf_count_t>(1, std::min<sf_count_t>(kChunkFrames, 131072 / channels));
  std::vector<T> chunk(channels == 2 ? 0 : static_cast<size_t>(chunkFrames) * channels);
  for (;;) {
    const size_t at = out.size();
    out.resize(at + 2 * static_cast<size_t>(chunkFrames));
    sf_count_t got;
    if (channels == 2) {
      got = read(file, out.data() + at, chunkFrames);
    } else {
      got = read(file, chunk.data(), chunkFrames);
      for (sf_count_t f = 0; f < got; ++f) {
        const T* frame = &chunk[static_cast<size_t>(f) * channels];
        out[at + 2 * f] = frame[0];
        out[at + 2 * f + 1] = channels > 1 ? frame[1] : frame[0];
      }
    }
    out.resize(at + 2 * static_cast<size_t>(std::max<sf_count_t>(got, 0)));
    if (out.size() > limit) return false;
    if (got < chunkFrames) return true;
  }
}

}  // namespace

void WaveReader::Clear() {
  m_pData.reset();
  m_nDataBytes = 0;
}

int WaveReader::Read(const std::string& path) {
  Clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    m_ui.MessageBox("Could not OpenFile", "Error", MsgButtons::Ok, MsgIcon::Error);
    return 1;
  }
  FileSource source(fd);
  SampleInput input(source);
  if (!input.File()) return 1;
  return Decode(input.File(), &input.Info());
}

int WaveReader::ReadMemory(const uint8_t* bytes, size_t size) {
  Clear();
  MemorySource source(bytes, size);
  SampleInput input(source);
  if (!input.File()) return 1;
  return Decode(input.File(), &input.Info());
}

int WaveReader::Decode(void* handle, const void* sfInfo) {
  try {
    return DecodeOrThrow(handle, sfInfo);
  } catch (const std::bad_alloc&) {
    Clear();  // a sample too large for the memory there is: a failed read
    return 1;
  }
}

int WaveReader::DecodeOrThrow(void* handle, const void* sfInfo) {
  auto* file = static_cast<SNDFILE*>(handle);
  const SF_INFO info = *static_cast<const SF_INFO*>(sfInfo);
  // Rates outside what any recorder makes come only from damaged headers; their
  // conversion would take unbounded time and memory.
  if (info.channels < 1 || info.samplerate < kMinRate || info.samplerate > kMaxRate) return 1;
  const int channels = info.channels;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const bool exact16 = subtype == SF_FORMAT_PCM_16 && info.samplerate == int(kOutputRate);

  // Read in chunks: the frame count in the header may be wrong for a truncated
  // or damaged file, and the data read is what counts.
  std::vector<int16_t> out;   // interleaved stereo
  std::vector<float> floats;  // interleaved stereo, when a conversion follows
  const size_t limitSamples = kMaxDataBytes / 2;
  if (exact16) {
    if (!ReadAsStereo(file, channels, &sf_readf_short, out, limitSamples)) return 1;
  } else {
    // Normalised float: integer data of any width lands in [-1, 1).
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    if (!ReadAsStereo(file, channels, &sf_readf_float, floats, limitSamples)) return 1;
    for (float& x : floats)
      if (!(x == x)) x = 0.0f;  // NaN in a damaged float file plays as silence
    if (info.samplerate != int(kOutputRate)) {
      const double projected = double(floats.size()) * kOutputRate / info.samplerate;
      if (projected > double(limitSamples)) return 1;
      std::vector<float> converted;
      if (!ResampleFloat(floats.data(), floats.size() / 2, 2, info.samplerate, kOutputRate,
                         converted))
        return 1;
      floats.swap(converted);
    }
    if (floats.size() > limitSamples) return 1;
    out.resize(floats.size());
    for (size_t i = 0; i < floats.size(); ++i) out[i] = FloatToInt16(floats[i]);
  }

  const size_t bytes = out.size() * sizeof(int16_t);
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[std::max<size_t>(bytes, 1)]);
  if (!data) return 1;
  if (bytes) std::memcpy(data.get(), out.data(), bytes);
  m_pData = std::move(data);
  m_nDataBytes = static_cast<uint32_t>(bytes);
  return 0;
}

}  // namespace thumper
