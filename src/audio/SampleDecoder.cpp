#include "audio/SampleDecoder.h"

#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

#include "audio/Resample.h"
#include "audio/SampleBlocks.h"
#include "audio/WaveFormat.h"

namespace thumper {

namespace {

// The largest sample a read yields, in bytes.
constexpr uint64_t kMaxDataBytes = 0x7FFFFFFF;
constexpr size_t kLimitFrames = kMaxDataBytes / 4;
constexpr sf_count_t kChunkFrames = 16384;
constexpr int kMinRate = 1000;
constexpr int kMaxRate = 1536000;

// The frames of the result, of one or two channels, sized from what the header
// promises. It grows only for a file that gives more than its header said, and
// is trimmed when it gave much less.
class FrameBuffer {
 public:
  FrameBuffer(size_t expectedFrames, uint32_t channels) : m_nChannels(channels) {
    Grow(std::max<size_t>(expectedFrames, 1));
  }

  // Room for frames more frames at the end; null when the memory cannot be had.
  int16_t* Room(size_t frames) {
    if (m_nUsed + frames > m_nCapacity && !Grow(std::max(m_nUsed + frames, 2 * m_nCapacity)))
      return nullptr;
    return m_pFrames.get() + m_nChannels * m_nUsed;
  }
  void Commit(size_t frames) { m_nUsed += frames; }
  size_t Used() const { return m_nUsed; }
  uint32_t Channels() const { return m_nChannels; }
  const int16_t* Data() const { return m_pFrames.get(); }
  void Truncate(size_t frames) { m_nUsed = std::min(m_nUsed, frames); }

  std::unique_ptr<SampleData> Finish() {
    // A header that promised far more than came: give the rest back.
    if (m_nCapacity > m_nUsed + kChunkFrames && !Reallocate(std::max<size_t>(m_nUsed, 1)))
      return nullptr;
    auto data = std::make_unique<SampleData>();
    data->pSamples = std::move(m_pFrames);
    data->nFrames = static_cast<uint32_t>(m_nUsed);
    data->nChannels = m_nChannels;
    return data;
  }

 private:
  bool Grow(size_t frames) { return Reallocate(frames); }
  bool Reallocate(size_t frames) {
    std::unique_ptr<int16_t[]> bigger(new (std::nothrow) int16_t[m_nChannels * frames]);
    if (!bigger) return false;
    if (m_nUsed) std::memcpy(bigger.get(), m_pFrames.get(), 2 * m_nChannels * m_nUsed);
    m_pFrames = std::move(bigger);
    m_nCapacity = frames;
    return true;
  }

  uint32_t m_nChannels;
  std::unique_ptr<int16_t[]> m_pFrames;
  size_t m_nCapacity = 0;
  size_t m_nUsed = 0;
};

bool IsCancelled(const std::atomic<bool>* cancel) {
  return cancel && cancel->load(std::memory_order_relaxed);
}

// The channels a file keeps: a mono file stays mono, any other gives its first two.
uint32_t KeptChannels(int fileChannels) {
  return fileChannels == 1 ? 1 : 2;
}

// Reads the file's frames chunk by chunk in the kept layout: the one channel
// of a mono file, or the first two channels interleaved.
template <class T>
class ChannelReader {
 public:
  using ReadFn = sf_count_t (*)(SNDFILE*, T*, sf_count_t);
  ChannelReader(SNDFILE* file, int channels, ReadFn read)
      : m_pFile(file),
        m_nChannels(channels),
        m_read(read),
        // Files of many channels read fewer frames at a time, to bound the chunk.
        m_nChunk(std::max<sf_count_t>(1, std::min<sf_count_t>(kChunkFrames, 131072 / channels))),
        m_chunk(channels <= 2 ? 0 : static_cast<size_t>(m_nChunk) * channels) {}

  sf_count_t ChunkFrames() const { return m_nChunk; }

  // At most ChunkFrames() frames into out; fewer means the end.
  sf_count_t Next(T* out) {
    if (m_nChannels <= 2) return std::max<sf_count_t>(0, m_read(m_pFile, out, m_nChunk));
    const sf_count_t got = std::max<sf_count_t>(0, m_read(m_pFile, m_chunk.data(), m_nChunk));
    for (sf_count_t f = 0; f < got; ++f) {
      const T* frame = &m_chunk[static_cast<size_t>(f) * m_nChannels];
      out[2 * f] = frame[0];
      out[2 * f + 1] = frame[1];
    }
    return got;
  }

 private:
  SNDFILE* m_pFile;
  int m_nChannels;
  ReadFn m_read;
  sf_count_t m_nChunk;
  std::vector<T> m_chunk;
};

// Appends converted float frames to out as 16-bit; false when out cannot grow.
bool AppendAsInt16(FrameBuffer& out, const float* samples, size_t frames) {
  int16_t* dst = out.Room(frames);
  if (!dst) return false;
  ScaleToInt16(samples, dst, out.Channels() * frames, 32768.0f);  // FloatToInt16, in blocks
  out.Commit(frames);
  return true;
}

DecodeStatus ReadExact16(SNDFILE* file, int channels, FrameBuffer& out,
                         const std::atomic<bool>* cancel) {
  ChannelReader<short> reader(file, channels, &sf_readf_short);
  for (;;) {
    if (IsCancelled(cancel)) return DecodeStatus::Cancelled;
    int16_t* dst = out.Room(static_cast<size_t>(reader.ChunkFrames()));
    if (!dst) return DecodeStatus::Unreadable;
    const sf_count_t got = reader.Next(dst);
    out.Commit(static_cast<size_t>(got));
    if (out.Used() > kLimitFrames) return DecodeStatus::Unreadable;
    if (got < reader.ChunkFrames()) return DecodeStatus::Ok;
  }
}

// Integer samples read as float cannot be NaN.
bool HoldsIntegers(int subtype) {
  switch (subtype) {
    case SF_FORMAT_PCM_S8:
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
    case SF_FORMAT_ULAW:
    case SF_FORMAT_ALAW:
      return true;
    default:
      return false;
  }
}

// Any other width or rate: normalised float (integer data lands in [-1, 1)),
// converted to 44,100 Hz when the file has another rate.
DecodeStatus ReadConverted(SNDFILE* file, int channels, int rate, bool integerData,
                           FrameBuffer& out, const std::atomic<bool>* cancel) {
  sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
  ChannelReader<float> reader(file, channels, &sf_readf_float);
  const uint32_t kept = out.Channels();
  std::vector<float> chunk(kept * static_cast<size_t>(reader.ChunkFrames()));
  const bool convert = rate != int(kOutputRate);
  // soxr filters each channel alone, so one channel converts exactly as either
  // half of its doubled stereo.
  StreamResampler resampler(rate, kOutputRate, kept);
  if (convert && !resampler.IsValid()) return DecodeStatus::Unreadable;
  bool grown = true;
  auto sink = [&](const float* samples, size_t frames) {
    grown = grown && AppendAsInt16(out, samples, frames);
  };
  size_t framesIn = 0;
  for (;;) {
    if (IsCancelled(cancel)) return DecodeStatus::Cancelled;
    const sf_count_t got = reader.Next(chunk.data());
    framesIn += static_cast<size_t>(got);
    if (framesIn > kLimitFrames) return DecodeStatus::Unreadable;
    if (!integerData) {
      for (size_t i = 0; i < kept * static_cast<size_t>(got); ++i)
        if (!(chunk[i] == chunk[i]))
          chunk[i] = 0.0f;  // NaN in a damaged float file plays as silence
    }
    if (convert) {
      if (got > 0 && !resampler.Process(chunk.data(), static_cast<size_t>(got), sink))
        return DecodeStatus::Unreadable;
    } else {
      sink(chunk.data(), static_cast<size_t>(got));
    }
    if (!grown || out.Used() > kLimitFrames) return DecodeStatus::Unreadable;
    if (got < reader.ChunkFrames()) break;
  }
  if (convert) {
    const size_t limit = ConvertedFrames(framesIn, rate, kOutputRate);
    if (limit > kLimitFrames) return DecodeStatus::Unreadable;
    if (framesIn > 0 && !resampler.Process(nullptr, 0, sink)) return DecodeStatus::Unreadable;
    if (!grown) return DecodeStatus::Unreadable;
    out.Truncate(limit);  // the conversion yields no more than its length in the one pass
  }
  return DecodeStatus::Ok;
}

// The mixer's own conversion of 44,100 Hz data to its rate.
std::unique_ptr<SampleData> ConvertToRate(const SampleData& in, uint32_t rate,
                                          const std::atomic<bool>* cancel, DecodeStatus& status) {
  const size_t outFrames = ConvertedFrames(in.nFrames, kOutputRate, rate);
  const uint32_t channels = in.nChannels;
  FrameBuffer out(outFrames, channels);
  StreamResampler resampler(kOutputRate, rate, channels);
  status = DecodeStatus::ConvertFailed;
  if (!resampler.IsValid()) return nullptr;
  bool grown = true;
  auto sink = [&](const float* samples, size_t frames) {
    grown = grown && AppendAsInt16(out, samples, frames);
  };
  std::vector<float> chunk(channels * static_cast<size_t>(kChunkFrames));
  for (size_t at = 0; at < in.nFrames; at += kChunkFrames) {
    if (IsCancelled(cancel)) {
      status = DecodeStatus::Cancelled;
      return nullptr;
    }
    const size_t n = std::min<size_t>(kChunkFrames, in.nFrames - at);
    const int16_t* src = in.pSamples.get() + channels * at;
    for (size_t i = 0; i < channels * n; ++i) chunk[i] = static_cast<float>(src[i]) / 32768.0f;
    if (!resampler.Process(chunk.data(), n, sink) || !grown) return nullptr;
  }
  if (in.nFrames > 0 && (!resampler.Process(nullptr, 0, sink) || !grown)) return nullptr;
  out.Truncate(outFrames);
  auto data = out.Finish();
  if (data) status = DecodeStatus::Ok;
  return data;
}

// Rates outside what any recorder makes come only from damaged headers; their
// conversion would take unbounded time and memory.
bool HeaderIsUsable(const SampleInput& input) {
  const SF_INFO& info = input.Info();
  return input.File() && info.channels >= 1 && info.samplerate >= kMinRate &&
         info.samplerate <= kMaxRate;
}

DecodedSample DecodeOrThrow(const ByteSource& source, uint32_t mixerRate,
                            const std::atomic<bool>* cancel) {
  DecodedSample result;
  SampleInput input(source);
  if (!HeaderIsUsable(input)) return result;
  SNDFILE* file = input.File();
  const SF_INFO& info = input.Info();
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const bool exact16 = subtype == SF_FORMAT_PCM_16 && info.samplerate == int(kOutputRate);

  // The header's frame count sizes the buffer; what the file really gives counts.
  const size_t headerFrames =
      info.frames > 0 && uint64_t(info.frames) <= kLimitFrames ? size_t(info.frames) : 0;
  FrameBuffer frames(
      exact16 ? headerFrames : ConvertedFrames(headerFrames, info.samplerate, kOutputRate),
      KeptChannels(info.channels));
  result.status = exact16 ? ReadExact16(file, info.channels, frames, cancel)
                          : ReadConverted(file, info.channels, info.samplerate,
                                          HoldsIntegers(subtype), frames, cancel);
  if (result.status != DecodeStatus::Ok) return result;

  // FLAC and AIFF cost their decoding even at 16 bits and 44,100 Hz.
  const int container = info.format & SF_FORMAT_TYPEMASK;
  result.bConverted = !exact16 || (container != SF_FORMAT_WAV && container != SF_FORMAT_WAVEX);
  // Counted as the stereo frames the voice layout gives, whatever is kept.
  result.nVoiceBytes = 4 * uint64_t(frames.Used());
  result.pData = frames.Finish();
  if (!result.pData) {
    result.status = DecodeStatus::Unreadable;
    return result;
  }
  if (mixerRate != kOutputRate && FitsBuffer(result.nVoiceBytes)) {
    result.pData = ConvertToRate(*result.pData, mixerRate, cancel, result.status);
    result.bConverted = true;
  }
  return result;
}

}  // namespace

DecodedSample DecodeSample(const ByteSource& source, uint32_t mixerRate,
                           const std::atomic<bool>* cancel) {
  try {
    return DecodeOrThrow(source, mixerRate, cancel);
  } catch (const std::bad_alloc&) {
    return {};  // a sample too large for the memory there is: a failed read
  }
}

DecodedSample DecodeSampleFile(const std::string& path, uint32_t mixerRate,
                               const std::atomic<bool>* cancel) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {DecodeStatus::NotOpened, nullptr, 0};
  ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);  // read once, front to back
  FileSource source(fd);
  return DecodeSample(source, mixerRate, cancel);
}

void CopyAsStereo(const SampleData& data, int16_t* out) noexcept {
  const int16_t* in = data.pSamples.get();
  if (data.nFrames == 0) return;  // an empty sample may hold no memory at all
  if (data.nChannels == 2) {
    std::memcpy(out, in, 4 * size_t(data.nFrames));
    return;
  }
  for (size_t f = 0; f < data.nFrames; ++f) out[2 * f] = out[2 * f + 1] = in[f];
}

DecodeStatus CheckSampleFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return DecodeStatus::NotOpened;
  FileSource source(fd);
  try {
    return HeaderIsUsable(SampleInput(source)) ? DecodeStatus::Ok : DecodeStatus::Unreadable;
  } catch (const std::bad_alloc&) {
    return DecodeStatus::Unreadable;
  }
}

std::optional<SampleFileHeader> ReadSampleFileHeader(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  FileSource source(fd);
  try {
    const SampleInput input(source);
    if (!HeaderIsUsable(input)) return std::nullopt;
    const SF_INFO& info = input.Info();
    return SampleFileHeader{static_cast<uint64_t>(std::max<sf_count_t>(info.frames, 0)),
                            static_cast<uint32_t>(info.channels),
                            static_cast<uint32_t>(info.samplerate)};
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

uint32_t SampleFileRate(const std::string& path) {
  const std::optional<SampleFileHeader> header = ReadSampleFileHeader(path);
  return header ? header->nRate : 0;
}

}  // namespace thumper
