#pragma once
// A disk cache of converted samples: a sample that had to be converted (another
// rate or width, FLAC or AIFF decoding, or a mixer at another rate) is written
// once, after its first decode, in the layout a voice plays, and later loads
// read it back at disk speed. What comes back is byte for byte what a fresh
// conversion gives.
//
// Folder: $XDG_CACHE_HOME/thumper/samples/ (or ~/.cache/thumper/samples/).
// One entry per source file and target rate, named by a hash of those
// ("<16 hex digits>.sample"). An entry is, all fields little-endian:
//
//   offset  size  field
//        0     8  magic "THSMPCH\0"
//        8     4  format version (2)
//       12     4  header size, bytes (the fixed part plus the path)
//       16     8  source size, bytes
//       24     8  source modification time, seconds
//       32     4  source modification time, nanoseconds
//       36     4  target rate, Hz
//       40     8  source inode
//       48     4  frames
//       52     2  channels (1: a mono source kept mono, 2: stereo)
//       54     2  bytes per sample (2: signed 16-bit)
//       56     8  size of the sample in the 44,100 Hz voice layout, bytes
//       64     8  checksum of the header (this field read as 0) and the data:
//                 the header's and the data's each, combined (SampleCache.cpp)
//       72     4  path length, bytes
//       76     -  the source's absolute path (UTF-8 or whatever bytes it has)
//   header size -  frames x channels x bytes per sample of interleaved samples
//
// An entry whose key (path, size, time, inode, rate) differs from the source's,
// whose length does not match its header, or whose checksum fails is never
// played: it is removed, the source decoded afresh and the entry rewritten. So
// is an entry of version 1 (always stereo, a mono source's channel doubled):
// it is never read as today's layout. Writes go to a temporary file in the
// folder, renamed into place, so another process (a plugin in a DAW beside the standalone program)
// sees the old entry or the new one, never half of one. Nothing is synced to the disk: an entry a
// power loss cut short fails its length or checksum check and is replaced, which costs one
// conversion. A read-only or full disk, or a folder that cannot be made, only means nothing is
// cached.
//
// Size limit (default 2 GB), least recently used out first: a hit sets the
// entry's modification time to now; after a write, once the total this process
// knows of passes the limit, the folder is counted again and the oldest entries
// are removed until it is back within the limit.
//
// Threads: any; the decoders of a kit call one cache from several threads.

#include <sys/stat.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "audio/SampleDecoder.h"

namespace thumper {

// The key fields of an entry's header, from the source's status.
struct SampleEntryKey {
  std::string strPath;
  uint64_t nSize = 0;
  int64_t nSeconds = 0;
  uint32_t nNanos = 0;
  uint32_t nRate = 0;
  uint64_t nInode = 0;
};

class SampleCache {
 public:
  static constexpr uint64_t kDefaultLimitBytes = 2000000000;  // 2 GB

  // folder empty: no caching at all, every decode fresh.
  explicit SampleCache(std::string folder, uint64_t limitBytes = kDefaultLimitBytes);

  const std::string& Folder() const { return m_strFolder; }

  // The sample at path for a mixer at mixerRate: the cached entry when it is
  // sound, else a fresh decode (written to the cache when it was converted).
  DecodedSample Decode(const std::string& path, uint32_t mixerRate,
                       const std::atomic<bool>* cancel = nullptr);

  // The same as a sample streamed from disk (SampleStreamer): its first
  // headFrames frames in memory, the rest read while it plays from its entry,
  // which is written first when there is none, even for a file whose own
  // frames needed no converting. Where no entry can be written (a read-only
  // or full disk) the rest goes to a temporary file of its own; where none
  // can, and for a sample no longer than its head, the sample comes whole.
  DecodedSample DecodeStreamed(const std::string& path, uint32_t mixerRate, uint32_t headFrames,
                               const std::atomic<bool>* cancel = nullptr);

  // What this object did, for tests and benchmarks.
  struct Counts {
    uint64_t nHits = 0;      // entries played from the cache
    uint64_t nMisses = 0;    // converted samples decoded afresh
    uint64_t nRejected = 0;  // entries found stale or damaged
    uint64_t nWritten = 0;   // entries written
    uint64_t nEvicted = 0;   // entries removed for the size limit
    uint64_t nSpilled = 0;   // streamed samples with no entry, in temporary files
  };
  Counts GetCounts() const;

  // The files of the cache folder (entries and leftover temporary files) and
  // their total size.
  struct Usage {
    uint64_t nEntries = 0;
    uint64_t nBytes = 0;
  };
  static Usage Measure(const std::string& folder);
  // Removes every entry and temporary file of the folder (nothing else);
  // false with error set when one cannot be removed.
  static bool Clear(const std::string& folder, Usage& removed, std::string& error);

  // $XDG_CACHE_HOME/thumper/samples/ when XDG_CACHE_HOME is an absolute path,
  // else $HOME/.cache/thumper/samples/; empty when neither is set.
  static std::string DefaultFolder();

 private:
  struct EntryLookup {
    SampleEntryKey key;
    std::string strEntryPath;
    struct stat before {};
  };
  bool EntryOf(const std::string& path, int sourceFd, uint32_t mixerRate, EntryLookup& out) const;
  // headFrames 0: the whole sample; else as DecodeStreamed.
  DecodedSample DecodeWith(const std::string& path, uint32_t mixerRate, uint32_t headFrames,
                           const std::atomic<bool>* cancel);
  // keep: where to leave a descriptor of the entry written, open for reading.
  bool Write(const std::string& entryPath, std::vector<uint8_t> header, const SampleData& data,
             int* keep = nullptr);
  int SpillFile(const SampleData& data);
  void KeepWithinLimit(uint64_t written);

  std::string m_strFolder;
  uint64_t m_nLimit;
  std::atomic<uint64_t> m_nHits{0}, m_nMisses{0}, m_nRejected{0}, m_nWritten{0}, m_nEvicted{0},
      m_nSpilled{0};
  std::atomic<uint64_t> m_nTemp{0};  // numbers this process's temporary files

  std::mutex m_mutex;  // guards the two below; never held while decoding
  bool m_bFolderTried = false;
  bool m_bFolderMade = false;
  uint64_t m_nKnownBytes = 0;  // the folder's total as last counted, plus writes since
  bool m_bCounted = false;
};

// The decode every kit load uses: through the cache of DefaultFolder() (looked
// up on each call, so a changed XDG_CACHE_HOME takes effect at the next load).
DecodedSample DecodeSampleCached(const std::string& path, uint32_t mixerRate,
                                 const std::atomic<bool>* cancel = nullptr);
// The same, streamed (SampleCache::DecodeStreamed).
DecodedSample DecodeSampleStreamedCached(const std::string& path, uint32_t mixerRate,
                                         uint32_t headFrames,
                                         const std::atomic<bool>* cancel = nullptr);

}  // namespace thumper
