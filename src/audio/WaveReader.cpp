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
#include "audio/WaveFormat.h"

namespace thumper {

namespace {

// The largest result: what a buffer can hold.
constexpr uint64_t kMaxDataBytes = 0x7FFFFFFF;
constexpr sf_count_t kChunkFrames = 16384;

struct MemoryFile {
  const uint8_t* pBytes;
  sf_count_t nSize;
  sf_count_t nPos;
};

sf_count_t MemLength(void* user) {
  return static_cast<MemoryFile*>(user)->nSize;
}
sf_count_t MemSeek(sf_count_t offset, int whence, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  sf_count_t base = whence == SEEK_CUR ? m->nPos : whence == SEEK_END ? m->nSize : 0;
  const sf_count_t pos = base + offset;
  if (pos < 0 || pos > m->nSize) return -1;
  m->nPos = pos;
  return pos;
}
sf_count_t MemRead(void* ptr, sf_count_t count, void* user) {
  auto* m = static_cast<MemoryFile*>(user);
  const sf_count_t n = std::max<sf_count_t>(0, std::min(count, m->nSize - m->nPos));
  if (n > 0) std::memcpy(ptr, m->pBytes + m->nPos, static_cast<size_t>(n));
  m->nPos += n;
  return n;
}
sf_count_t MemWrite(const void*, sf_count_t, void*) {
  return 0;
}
sf_count_t MemTell(void* user) {
  return static_cast<MemoryFile*>(user)->nPos;
}

uint32_t LoadLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// libsndfile wants "fmt " before "data"; a RIFF WAVE file may hold them in either
// order. This rebuilds such a file as header, "fmt ", "data"; nothing when the
// bytes are not a RIFF WAVE file with both chunks.
std::vector<uint8_t> FmtBeforeData(const uint8_t* bytes, size_t size) {
  if (size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
    return {};
  const size_t end = std::min<size_t>(size, 8 + size_t(LoadLe32(bytes + 4)));
  size_t fmtAt = 0, fmtLen = 0, dataAt = 0, dataLen = 0;
  for (size_t pos = 12; pos + 8 <= end;) {
    const size_t len = LoadLe32(bytes + pos + 4);
    const size_t avail = std::min(len, end - (pos + 8));
    if (!fmtAt && std::memcmp(bytes + pos, "fmt ", 4) == 0) {
      fmtAt = pos + 8;
      fmtLen = avail;
    } else if (!dataAt && std::memcmp(bytes + pos, "data", 4) == 0) {
      dataAt = pos + 8;
      dataLen = avail;
    }
    if (len > end - (pos + 8)) break;
    pos += 8 + len + (len & 1);
  }
  if (!fmtAt || !dataAt || fmtAt < dataAt) return {};
  std::vector<uint8_t> out;
  auto put32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
  };
  auto putChunk = [&](const char* id, size_t at, size_t len) {
    out.insert(out.end(), id, id + 4);
    put32(uint32_t(len));
    out.insert(out.end(), bytes + at, bytes + at + len);
    if (len & 1) out.push_back(0);
  };
  out.insert(out.end(), {'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'});
  putChunk("fmt ", fmtAt, fmtLen);
  putChunk("data", dataAt, dataLen);
  const uint32_t riffLen = uint32_t(out.size() - 8);
  for (int i = 0; i < 4; ++i) out[4 + i] = uint8_t(riffLen >> (8 * i));
  return out;
}

std::vector<uint8_t> ReadWholeFile(int fd) {
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n <= 0) break;
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return bytes;
}

struct SndFileCloser {
  void operator()(SNDFILE* f) const { sf_close(f); }
};
using SndFilePtr = std::unique_ptr<SNDFILE, SndFileCloser>;

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
  SF_INFO info{};
  SndFilePtr file(sf_open_fd(fd, SFM_READ, &info, SF_TRUE));  // closes fd, even on failure
  if (file) return Decode(file.get(), &info);
  // Not readable as it stands: perhaps "data" comes before "fmt ".
  const int again = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (again < 0) return 1;
  const std::vector<uint8_t> bytes = ReadWholeFile(again);
  ::close(again);
  const std::vector<uint8_t> fixed = FmtBeforeData(bytes.data(), bytes.size());
  if (fixed.empty()) return 1;
  return ReadMemory(fixed.data(), fixed.size());
}

int WaveReader::ReadMemory(const uint8_t* bytes, size_t size) {
  Clear();
  MemoryFile mem{bytes, static_cast<sf_count_t>(size), 0};
  SF_VIRTUAL_IO io{MemLength, MemSeek, MemRead, MemWrite, MemTell};
  SF_INFO info{};
  SndFilePtr file(sf_open_virtual(&io, SFM_READ, &info, &mem));
  if (file) return Decode(file.get(), &info);
  const std::vector<uint8_t> fixed = FmtBeforeData(bytes, size);
  if (fixed.empty()) return 1;
  MemoryFile fixedMem{fixed.data(), static_cast<sf_count_t>(fixed.size()), 0};
  SF_INFO fixedInfo{};
  SndFilePtr again(sf_open_virtual(&io, SFM_READ, &fixedInfo, &fixedMem));
  if (!again) return 1;
  return Decode(again.get(), &fixedInfo);
}

int WaveReader::Decode(void* handle, const void* sfInfo) {
  auto* file = static_cast<SNDFILE*>(handle);
  const SF_INFO info = *static_cast<const SF_INFO*>(sfInfo);
  if (info.channels < 1 || info.samplerate < 1) return 1;
  const int channels = info.channels;
  const int subtype = info.format & SF_FORMAT_SUBMASK;
  const bool exact16 = subtype == SF_FORMAT_PCM_16 && info.samplerate == int(kOutputRate);

  // Read in chunks: the frame count in the header may be wrong for a truncated
  // or damaged file, and the data read is what counts.
  std::vector<int16_t> out;   // interleaved stereo
  std::vector<float> floats;  // interleaved stereo, when a conversion follows
  const size_t limitSamples = kMaxDataBytes / 2;
  if (exact16) {
    std::vector<int16_t> chunk(static_cast<size_t>(kChunkFrames) * channels);
    for (;;) {
      const sf_count_t got = sf_readf_short(file, chunk.data(), kChunkFrames);
      if (got <= 0) break;
      if (out.size() + 2 * static_cast<size_t>(got) > limitSamples) return 1;
      for (sf_count_t f = 0; f < got; ++f) {
        const int16_t* frame = &chunk[static_cast<size_t>(f) * channels];
        out.push_back(frame[0]);
        out.push_back(channels > 1 ? frame[1] : frame[0]);
      }
    }
  } else {
    // Normalised float: integer data of any width lands in [-1, 1).
    sf_command(file, SFC_SET_NORM_FLOAT, nullptr, SF_TRUE);
    std::vector<float> chunk(static_cast<size_t>(kChunkFrames) * channels);
    for (;;) {
      const sf_count_t got = sf_readf_float(file, chunk.data(), kChunkFrames);
      if (got <= 0) break;
      if (floats.size() + 2 * static_cast<size_t>(got) > limitSamples) return 1;
      for (sf_count_t f = 0; f < got; ++f) {
        const float* frame = &chunk[static_cast<size_t>(f) * channels];
        floats.push_back(frame[0]);
        floats.push_back(channels > 1 ? frame[1] : frame[0]);
      }
    }
    for (float& x : floats)
      if (!(x == x)) x = 0.0f;  // NaN in a damaged float file plays as silence
    if (info.samplerate != int(kOutputRate)) {
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
