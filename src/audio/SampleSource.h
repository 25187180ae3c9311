#pragma once
// The bytes of a sample file as libsndfile sees them. A RIFF WAVE file is first
// checked by our own chunk walk, and libsndfile is shown only its "fmt " and
// "data" chunks in the canonical order: so the chunks may stand in any order,
// among others, with damaged sizes, and libsndfile's own walk over the other
// chunks (which can loop on a damaged file) never runs. Other formats (AIFF,
// FLAC) go to libsndfile as they are. UI thread.

#include <sndfile.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace thumper {

// Random access to a file or a block of memory.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual int64_t Size() const = 0;
  // Bytes read at offset, fewer at the end.
  virtual int64_t ReadAt(int64_t offset, void* out, int64_t count) const = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const uint8_t* bytes, size_t size) : m_pBytes(bytes), m_nSize(int64_t(size)) {}
  int64_t Size() const override { return m_nSize; }
  int64_t ReadAt(int64_t offset, void* out, int64_t count) const override;

 private:
  const uint8_t* m_pBytes;
  int64_t m_nSize;
};

// Owns the descriptor.
class FileSource : public ByteSource {
 public:
  explicit FileSource(int fd);
  ~FileSource() override;
  int64_t Size() const override { return m_nSize; }
  int64_t ReadAt(int64_t offset, void* out, int64_t count) const override;

 private:
  int m_nFd;
  int64_t m_nSize = 0;
};

// An open libsndfile handle over a source, with the state its virtual I/O reads.
class SampleInput {
 public:
  // Nothing usable when the bytes are not a sample file libsndfile can read.
  explicit SampleInput(const ByteSource& source);
  ~SampleInput();
  SampleInput(const SampleInput&) = delete;
  SampleInput& operator=(const SampleInput&) = delete;

  SNDFILE* File() const { return m_pFile; }
  const SF_INFO& Info() const { return m_info; }

  // What libsndfile reads: a header of our own, then a stretch of the source.
  struct View {
    const ByteSource* pSource;
    std::vector<uint8_t> header;
    int64_t nBodyAt = 0;  // offset of the stretch in the source
    int64_t nBodyLen = 0;
    int64_t nPos = 0;
    int64_t Size() const { return int64_t(header.size()) + nBodyLen; }
  };

 private:
  View m_view;
  SF_INFO m_info{};
  SNDFILE* m_pFile = nullptr;
};

}  // namespace thumper
