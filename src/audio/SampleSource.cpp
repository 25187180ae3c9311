#include "audio/SampleSource.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>

namespace thumper {

int64_t MemorySource::ReadAt(int64_t offset, void* out, int64_t count) const {
  if (offset < 0 || offset >= m_nSize || count <= 0) return 0;
  const int64_t n = std::min(count, m_nSize - offset);
  std::memcpy(out, m_pBytes + offset, size_t(n));
  return n;
}

FileSource::FileSource(int fd) : m_nFd(fd) {
  struct stat st {};
  if (fd >= 0 && fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) m_nSize = st.st_size;
}

FileSource::~FileSource() {
  if (m_nFd >= 0) ::close(m_nFd);
}

int64_t FileSource::ReadAt(int64_t offset, void* out, int64_t count) const {
  int64_t done = 0;
  auto* p = static_cast<uint8_t*>(out);
  while (done < count && offset + done < m_nSize) {
    const ssize_t n = ::pread(
        m_nFd, p + done, size_t(std::min(count - done, m_nSize - offset - done)), offset + done);
    if (n <= 0) break;
    done += n;
  }
  return done;
}

namespace {

uint32_t Le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
void Store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}

// The largest "fmt " chunk we pass on; real ones are 16 to 40 bytes.
constexpr int64_t kMaxFmtBytes = 4096;
// A walk over a damaged file stops after this many chunks.
constexpr int kMaxChunks = 4096;

enum class Riff { NotRiff, Unusable, Usable };

// Walks the RIFF chunk list and builds the canonical view: header, the "fmt "
// chunk, the "data" chunk header; the body is the data that is present.
Riff BuildRiffView(const ByteSource& src, SampleInput::View& view) {
  uint8_t head[12];
  if (src.ReadAt(0, head, 12) != 12) return Riff::NotRiff;
  if (std::memcmp(head, "RIFF", 4) != 0 || std::memcmp(head + 8, "WAVE", 4) != 0)
    return Riff::NotRiff;
  // The RIFF size is often wrong; the walk is bounded by the file's end instead.
  int64_t fmtAt = -1, fmtLen = 0, dataAt = -1, dataLen = 0;
  int64_t pos = 12;
  for (int n = 0; n < kMaxChunks && pos + 8 <= src.Size(); ++n) {
    uint8_t hdr[8];
    if (src.ReadAt(pos, hdr, 8) != 8) break;
    const int64_t len = Le32(hdr + 4);
    const int64_t body = pos + 8;
    const int64_t avail = std::max<int64_t>(0, std::min(len, src.Size() - body));
    if (fmtAt < 0 && std::memcmp(hdr, "fmt ", 4) == 0) {
      fmtAt = body;
      fmtLen = avail;
    } else if (dataAt < 0 && std::memcmp(hdr, "data", 4) == 0) {
      dataAt = body;
      dataLen = avail;
    }
    if (fmtAt >= 0 && dataAt >= 0) break;
    pos = body + len + (len & 1);
  }
  if (fmtAt < 0 || dataAt < 0 || fmtLen < 16 || fmtLen > kMaxFmtBytes) return Riff::Unusable;

  // RIFF, size, WAVE, "fmt " chunk, "data" chunk header; the sizes are ours.
  std::vector<uint8_t>& h = view.header;
  const size_t fmtPadded = size_t(fmtLen + (fmtLen & 1));
  h.assign(12 + 8 + fmtPadded + 8, 0);
  std::memcpy(h.data(), "RIFF", 4);
  std::memcpy(h.data() + 8, "WAVEfmt ", 8);
  Store32(h.data() + 16, uint32_t(fmtLen));
  if (src.ReadAt(fmtAt, h.data() + 20, fmtLen) != fmtLen) return Riff::Unusable;
  uint8_t* dataHdr = h.data() + 20 + fmtPadded;
  std::memcpy(dataHdr, "data", 4);
  Store32(dataHdr + 4, uint32_t(dataLen));
  const uint64_t riffLen = h.size() - 8 + uint64_t(dataLen);
  Store32(h.data() + 4, riffLen > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(riffLen));
  view.nBodyAt = dataAt;
  view.nBodyLen = dataLen;
  return Riff::Usable;
}

using View = SampleInput::View;

sf_count_t ViewLength(void* user) {
  return static_cast<View*>(user)->Size();
}

sf_count_t ViewSeek(sf_count_t offset, int whence, void* user) {
  auto* v = static_cast<View*>(user);
  const int64_t base = whence == SEEK_CUR ? v->nPos : whence == SEEK_END ? v->Size() : 0;
  const int64_t pos = base + offset;
  if (pos < 0 || pos > v->Size()) return -1;
  v->nPos = pos;
  return pos;
}

sf_count_t ViewRead(void* ptr, sf_count_t count, void* user) {
  auto* v = static_cast<View*>(user);
  auto* out = static_cast<uint8_t*>(ptr);
  sf_count_t done = 0;
  const int64_t headerLen = int64_t(v->header.size());
  if (count > 0 && v->nPos < headerLen) {
    const int64_t n = std::min<int64_t>(count, headerLen - v->nPos);
    std::memcpy(out, v->header.data() + v->nPos, size_t(n));
    v->nPos += n;
    done += n;
  }
  if (done < count && v->nPos >= headerLen && v->nPos < v->Size()) {
    const int64_t want = std::min<int64_t>(count - done, v->Size() - v->nPos);
    const int64_t got = v->pSource->ReadAt(v->nBodyAt + (v->nPos - headerLen), out + done, want);
    v->nPos += std::max<int64_t>(got, 0);
    done += std::max<int64_t>(got, 0);
  }
  return done;
}

sf_count_t ViewWrite(const void*, sf_count_t, void*) {
  return 0;
}
sf_count_t ViewTell(void* user) {
  return static_cast<View*>(user)->nPos;
}

}  // namespace

SampleInput::SampleInput(const ByteSource& source) {
  m_view.pSource = &source;
  switch (BuildRiffView(source, m_view)) {
    case Riff::Unusable:
      return;
    case Riff::NotRiff:
      m_view.header.clear();
      m_view.nBodyAt = 0;
      m_view.nBodyLen = source.Size();
      break;
    case Riff::Usable:
      break;
  }
  SF_VIRTUAL_IO io{ViewLength, ViewSeek, ViewRead, ViewWrite, ViewTell};
  m_pFile = sf_open_virtual(&io, SFM_READ, &m_info, &m_view);
}

SampleInput::~SampleInput() {
  if (m_pFile) sf_close(m_pFile);
}

}  // namespace thumper
