#include "audio/SampleCache.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "audio/SampleSource.h"

namespace thumper {

namespace {

constexpr char kMagic[8] = {'T', 'H', 'S', 'M', 'P', 'C', 'H', '\0'};
// 2: an entry says its channels (1 for a mono file); every entry of 1 was
// stereo, which this version never reads.
constexpr uint32_t kVersion = 2;
constexpr size_t kFixedHeader = 76;
constexpr size_t kChecksumAt = 64;
constexpr size_t kMaxPath = 16384;
constexpr const char* kEntrySuffix = ".sample";
constexpr const char* kTempMark = ".tmp-";
// The layout of the data a voice plays: signed 16-bit, of one channel or two.
constexpr uint16_t kSampleBytes = 2;
// A temporary file this old was left by a process that ended while writing it.
constexpr int64_t kStaleTempSeconds = 3600;

// --- little-endian fields ---
void Put16(uint8_t* at, uint16_t v) {
  at[0] = uint8_t(v);
  at[1] = uint8_t(v >> 8);
}
void Put32(uint8_t* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = uint8_t(v >> (8 * i));
}
void Put64(uint8_t* at, uint64_t v) {
  for (int i = 0; i < 8; ++i) at[i] = uint8_t(v >> (8 * i));
}
uint32_t Get32(const uint8_t* at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}
uint64_t Get64(const uint8_t* at) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | at[i];
  return v;
}

// A fast 64-bit checksum of a block: four independent lanes of eight bytes a
// step, each multiplied and rotated (so the cores' multipliers overlap), so a
// flipped bit or a moved block anywhere changes it. Taken in pieces (each but
// the last a multiple of 32 bytes) it gives what it gives of the whole.
class Checksum {
 public:
  static constexpr size_t kStep = 32;
  void Add(const uint8_t* bytes, size_t size) {
    for (size_t i = 0; i + kStep <= size; i += kStep)
      for (int k = 0; k < 4; ++k) m_lane[k] = Mix(m_lane[k], Word(bytes + i + 8 * size_t(k)));
    m_nSize += size - size % kStep;
  }
  // The last piece, of any length.
  uint64_t Finish(const uint8_t* bytes, size_t size) {
    const size_t whole = size - size % kStep;
    Add(bytes, whole);
    bytes += whole;
    size -= whole;
    uint64_t h = std::rotl(m_lane[0], 1) + std::rotl(m_lane[1], 7) + std::rotl(m_lane[2], 12) +
                 std::rotl(m_lane[3], 18);
    size_t i = 0;
    for (; i + 8 <= size; i += 8) h = Mix(h, Word(bytes + i));
    uint64_t tail = 0;
    for (size_t k = 0; i + k < size; ++k) tail |= uint64_t(bytes[i + k]) << (8 * k);
    h = Mix(h, tail) ^ uint64_t(m_nSize + size);
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdull;
    h ^= h >> 33;
    return h;
  }

 private:
  static constexpr uint64_t kPrime1 = 0x9e3779b185ebca87ull, kPrime2 = 0xc2b2ae3d27d4eb4full;
  static uint64_t Word(const uint8_t* at) {
    uint64_t w;
    std::memcpy(&w, at, 8);
    if constexpr (std::endian::native == std::endian::big) w = __builtin_bswap64(w);
    return w;
  }
  static uint64_t Mix(uint64_t state, uint64_t w) {
    return std::rotl(state + w * kPrime2, 31) * kPrime1;
  }
  uint64_t m_lane[4] = {0x243f6a8885a308d3ull, 0x13198a2e03707344ull, 0xa4093822299f31d0ull,
                        0x082efa98ec4e6c89ull};
  uint64_t m_nSize = 0;
};

uint64_t ChecksumOf(const uint8_t* bytes, size_t size) {
  return Checksum().Finish(bytes, size);
}

// The checksum an entry stores: of its header (the checksum field 0) and its data.
uint64_t CombinedChecksum(const std::vector<uint8_t>& header, uint64_t dataChecksum) {
  return ChecksumOf(header.data(), header.size()) ^
         std::rotl(dataChecksum * 0x9e3779b97f4a7c15ull, 23);
}
uint64_t EntryChecksum(const std::vector<uint8_t>& header, const uint8_t* data, size_t size) {
  return CombinedChecksum(header, ChecksumOf(data, size));
}

uint64_t Fnv1a(const std::string& text) {
  uint64_t h = 0xcbf29ce484222325ull;
  for (unsigned char c : text) h = (h ^ c) * 0x100000001b3ull;
  return h;
}

using EntryKey = SampleEntryKey;

EntryKey KeyOf(const std::string& absolutePath, const struct stat& st, uint32_t rate) {
  return {
      absolutePath, uint64_t(st.st_size), int64_t(st.st_mtim.tv_sec), uint32_t(st.st_mtim.tv_nsec),
      rate,         uint64_t(st.st_ino)};
}

bool SameSource(const struct stat& a, const struct stat& b) {
  return a.st_size == b.st_size && a.st_ino == b.st_ino && a.st_dev == b.st_dev &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

// The header of an entry for key and data, its checksum field still 0.
std::vector<uint8_t> HeaderOf(const EntryKey& key, uint32_t frames, uint16_t channels,
                              uint64_t voiceBytes) {
  std::vector<uint8_t> h(kFixedHeader + key.strPath.size());
  std::memcpy(h.data(), kMagic, 8);
  Put32(&h[8], kVersion);
  Put32(&h[12], uint32_t(h.size()));
  Put64(&h[16], key.nSize);
  Put64(&h[24], uint64_t(key.nSeconds));
  Put32(&h[32], key.nNanos);
  Put32(&h[36], key.nRate);
  Put64(&h[40], key.nInode);
  Put32(&h[48], frames);
  Put16(&h[52], channels);
  Put16(&h[54], kSampleBytes);
  Put64(&h[56], voiceBytes);
  Put32(&h[72], uint32_t(key.strPath.size()));
  std::memcpy(&h[kFixedHeader], key.strPath.data(), key.strPath.size());
  return h;
}

// The samples as they are stored: little-endian 16-bit.
void ToLittleEndian(int16_t* samples, size_t count) {
  if constexpr (std::endian::native == std::endian::big) {
    for (size_t i = 0; i < count; ++i)
      samples[i] = int16_t(__builtin_bswap16(uint16_t(samples[i])));
  }
}

bool ReadAll(int fd, void* out, size_t size, off_t at) {
  auto* p = static_cast<uint8_t*>(out);
  while (size > 0) {
    const ssize_t got = ::pread(fd, p, std::min<size_t>(size, 1 << 30), at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    at += got;
    size -= size_t(got);
  }
  return true;
}

bool WriteAll(int fd, const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  while (size > 0) {
    const ssize_t put = ::write(fd, p, std::min<size_t>(size, 1 << 30));
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return false;
    p += put;
    size -= size_t(put);
  }
  return true;
}

class Fd {
 public:
  explicit Fd(int fd) : m_nFd(fd) {}
  ~Fd() {
    if (m_nFd >= 0) ::close(m_nFd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_nFd; }
  int release() { return std::exchange(m_nFd, -1); }
  void reset(int fd) {
    if (m_nFd >= 0) ::close(m_nFd);
    m_nFd = fd;
  }

 private:
  int m_nFd;
};

enum class Lookup { Missing, Hit, Rejected };

// An entry whose header holds exactly what key names and whose length fits it.
struct OpenedEntry {
  std::vector<uint8_t> header;  // its checksum field 0
  uint64_t nStored = 0;         // the checksum it holds
  uint32_t nFrames = 0;
  uint16_t nChannels = 0;
  uint64_t nVoiceBytes = 0;
  uint64_t DataBytes() const { return uint64_t(nFrames) * nChannels * kSampleBytes; }
};

Lookup OpenEntry(const std::string& entryPath, const EntryKey& key, Fd& fd, OpenedEntry& out) {
  // Non-blocking: a FIFO put there must not hang the load (files ignore the flag).
  fd.reset(::open(entryPath.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return Lookup::Missing;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return Lookup::Rejected;
  uint8_t fixed[kFixedHeader];
  if (uint64_t(st.st_size) < kFixedHeader || !ReadAll(fd.get(), fixed, kFixedHeader, 0))
    return Lookup::Rejected;
  const uint32_t pathLength = Get32(&fixed[72]);
  if (std::memcmp(fixed, kMagic, 8) != 0 || Get32(&fixed[8]) != kVersion ||
      pathLength != key.strPath.size() || Get32(&fixed[12]) != kFixedHeader + pathLength)
    return Lookup::Rejected;
  out.nFrames = Get32(&fixed[48]);
  out.nChannels = uint16_t(fixed[52] | fixed[53] << 8);
  out.nVoiceBytes = Get64(&fixed[56]);
  if (out.nChannels != 1 && out.nChannels != 2) return Lookup::Rejected;
  const std::vector<uint8_t> want = HeaderOf(key, out.nFrames, out.nChannels, out.nVoiceBytes);
  out.header.assign(want.size(), 0);
  std::memcpy(out.header.data(), fixed, kFixedHeader);
  if (!ReadAll(fd.get(), out.header.data() + kFixedHeader, pathLength, kFixedHeader))
    return Lookup::Rejected;
  out.nStored = Get64(&out.header[kChecksumAt]);
  Put64(&out.header[kChecksumAt], 0);
  // Everything but the checksum must be what this source and layout give.
  if (out.header != want) return Lookup::Rejected;
  if (uint64_t(st.st_size) != out.header.size() + out.DataBytes() || !FitsBuffer(out.nVoiceBytes))
    return Lookup::Rejected;
  return Lookup::Hit;
}

// The entry at entryPath when it holds exactly what key names, checksum and
// all; a hit's modification time is set to now (a read-only disk keeps the old).
Lookup ReadEntry(const std::string& entryPath, const EntryKey& key, DecodedSample& out) {
  Fd fd(-1);
  OpenedEntry entry;
  if (const Lookup opened = OpenEntry(entryPath, key, fd, entry); opened != Lookup::Hit)
    return opened;
  const size_t count = size_t(entry.nFrames) * entry.nChannels;
  auto data = std::make_unique<SampleData>();
  data->pSamples.reset(new (std::nothrow) int16_t[std::max<size_t>(1, count)]);
  if (!data->pSamples) return Lookup::Missing;  // no memory now: decode, keep the entry
  data->nFrames = entry.nFrames;
  data->nChannels = entry.nChannels;
  auto* bytes = reinterpret_cast<uint8_t*>(data->pSamples.get());
  const size_t dataBytes = size_t(entry.DataBytes());
  if (!ReadAll(fd.get(), bytes, dataBytes, off_t(entry.header.size()))) return Lookup::Rejected;
  if (EntryChecksum(entry.header, bytes, dataBytes) != entry.nStored) return Lookup::Rejected;
  ToLittleEndian(data->pSamples.get(), count);  // stored LE: to native

  ::futimens(fd.get(), nullptr);  // most recently used
  out.status = DecodeStatus::Ok;
  out.pData = std::move(data);
  out.nVoiceBytes = entry.nVoiceBytes;
  out.bConverted = true;
  return Lookup::Hit;
}

// The first headFrames frames of data, as a sample streamed from file: the
// rest is read from file as it plays.
std::unique_ptr<SampleData> HeadOf(const SampleData& data, uint32_t headFrames,
                                   std::shared_ptr<const StreamFile> file) {
  auto head = std::make_unique<SampleData>();
  const size_t count = size_t(headFrames) * data.nChannels;
  head->pSamples.reset(new (std::nothrow) int16_t[count]);
  if (!head->pSamples) return nullptr;
  std::memcpy(head->pSamples.get(), data.pSamples.get(), count * sizeof(int16_t));
  head->nFrames = headFrames;
  head->nChannels = data.nChannels;
  head->nStreamFrames = data.nFrames;
  head->pStreamFile = std::move(file);
  return head;
}

// The entry as a streamed sample: every byte of it is read once for its
// checksum, and only its head is kept. The descriptor stays open for the
// stream (another process replacing or evicting the entry leaves it readable).
Lookup ReadEntryHead(const std::string& entryPath, const EntryKey& key, uint32_t headFrames,
                     DecodedSample& out) {
  Fd fd(-1);
  OpenedEntry entry;
  if (const Lookup opened = OpenEntry(entryPath, key, fd, entry); opened != Lookup::Hit)
    return opened;
  if (entry.nFrames <= headFrames) return ReadEntry(entryPath, key, out);
  const size_t frameBytes = size_t(entry.nChannels) * kSampleBytes;
  auto head = std::make_unique<SampleData>();
  head->pSamples.reset(new (std::nothrow) int16_t[size_t(headFrames) * entry.nChannels]);
  if (!head->pSamples) return Lookup::Missing;
  // Pieces of a multiple of 32 bytes, the checksum's step.
  constexpr size_t kPiece = size_t{1} << 20;
  std::vector<uint8_t> piece(kPiece);
  Checksum sum;
  const uint64_t total = entry.DataBytes();
  const uint64_t headBytes = uint64_t(headFrames) * frameBytes;
  for (uint64_t at = 0; at < total;) {
    const size_t n = size_t(std::min<uint64_t>(kPiece, total - at));
    if (!ReadAll(fd.get(), piece.data(), n, off_t(entry.header.size() + at)))
      return Lookup::Rejected;
    if (at < headBytes)
      std::memcpy(reinterpret_cast<uint8_t*>(head->pSamples.get()) + at, piece.data(),
                  size_t(std::min<uint64_t>(n, headBytes - at)));
    at += n;
    if (at < total) {
      sum.Add(piece.data(), n);
    } else if (CombinedChecksum(entry.header, sum.Finish(piece.data(), n)) != entry.nStored) {
      return Lookup::Rejected;
    }
  }
  ToLittleEndian(head->pSamples.get(), size_t(headFrames) * entry.nChannels);
  ::futimens(fd.get(), nullptr);  // most recently used
  head->nFrames = headFrames;
  head->nChannels = entry.nChannels;
  head->nStreamFrames = entry.nFrames;
  head->pStreamFile = std::make_shared<StreamFile>(fd.release(), int64_t(entry.header.size()),
                                                   entry.nFrames, entry.nChannels);
  out.status = DecodeStatus::Ok;
  out.pData = std::move(head);
  out.nVoiceBytes = entry.nVoiceBytes;
  out.bConverted = true;
  return Lookup::Hit;
}

bool IsEntryName(const std::string& name) {
  const std::string suffix = kEntrySuffix;
  return name.size() > suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}
bool IsTempName(const std::string& name) {
  return name.find(kTempMark) != std::string::npos && name.find(kEntrySuffix) == 16;
}

struct FolderFile {
  std::string strPath;
  uint64_t nBytes;
  int64_t nMtimeNs;
  bool bTemp;
};

// The entries and temporary files of folder.
std::vector<FolderFile> ListFolder(const std::string& folder) {
  std::vector<FolderFile> files;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return files;
  while (dirent* e = ::readdir(dir)) {
    const std::string name = e->d_name;
    const bool temp = IsTempName(name);
    if (!temp && !IsEntryName(name)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    files.push_back({folder + name, uint64_t(st.st_size),
                     int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec, temp});
  }
  ::closedir(dir);
  return files;
}

std::string WithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder += '/';
  return folder;
}

bool MakeFolders(const std::string& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  return std::filesystem::is_directory(folder, error);
}

}  // namespace

SampleCache::SampleCache(std::string folder, uint64_t limitBytes)
    : m_strFolder(WithSlash(std::move(folder))), m_nLimit(limitBytes) {}

SampleCache::Counts SampleCache::GetCounts() const {
  return {m_nHits.load(),    m_nMisses.load(),  m_nRejected.load(),
          m_nWritten.load(), m_nEvicted.load(), m_nSpilled.load()};
}

std::string SampleCache::DefaultFolder() {
  const char* xdg = std::getenv("XDG_CACHE_HOME");
  if (xdg && xdg[0] == '/') return WithSlash(xdg) + "thumper/samples/";
  const char* home = std::getenv("HOME");
  if (home && home[0]) return WithSlash(home) + ".cache/thumper/samples/";
  return {};
}

// The key of the source open as sourceFd (at path) for mixerRate, and the
// path of its entry; false when it has no entry (no folder, no status).
bool SampleCache::EntryOf(const std::string& path, int sourceFd, uint32_t mixerRate,
                          EntryLookup& out) const {
  if (m_strFolder.empty() || ::fstat(sourceFd, &out.before) != 0) return false;
  std::error_code error;
  std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
  if (error || absolute.size() > kMaxPath) return false;
  out.key = KeyOf(absolute, out.before, mixerRate);
  // The name stays with the source's path and rate: a changed source, or an
  // entry of an older layout, is found, seen to differ, and replaced. ("2x2"
  // keeps the names the first layout gave.)
  char name[32];
  std::snprintf(name, sizeof name, "%016llx%s",
                static_cast<unsigned long long>(Fnv1a(absolute + '\0' + std::to_string(mixerRate) +
                                                      '\0' + "2x" + std::to_string(kSampleBytes))),
                kEntrySuffix);
  out.strEntryPath = m_strFolder + name;
  return true;
}

DecodedSample SampleCache::Decode(const std::string& path, uint32_t mixerRate,
                                  const std::atomic<bool>* cancel) {
  return DecodeWith(path, mixerRate, 0, cancel);
}

DecodedSample SampleCache::DecodeStreamed(const std::string& path, uint32_t mixerRate,
                                          uint32_t headFrames, const std::atomic<bool>* cancel) {
  return DecodeWith(path, mixerRate, std::max(headFrames, 1u), cancel);
}

DecodedSample SampleCache::DecodeWith(const std::string& path, uint32_t mixerRate,
                                      uint32_t headFrames, const std::atomic<bool>* cancel) {
  const int sourceFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (sourceFd < 0) return {DecodeStatus::NotOpened, nullptr, 0};
  FileSource source(sourceFd);  // owns it
  EntryLookup entry;
  const bool cacheable = EntryOf(path, sourceFd, mixerRate, entry);
  if (cacheable) {
    DecodedSample cached;
    const Lookup found = headFrames
                             ? ReadEntryHead(entry.strEntryPath, entry.key, headFrames, cached)
                             : ReadEntry(entry.strEntryPath, entry.key, cached);
    if (found == Lookup::Hit) {
      m_nHits.fetch_add(1);
      return cached;
    }
    // A damaged or stale entry is never played; it goes, and the decode below
    // rewrites it. An empty folder of the entry's name would stand in the way
    // of the rename.
    if (found == Lookup::Rejected) {
      m_nRejected.fetch_add(1);
      if (::unlink(entry.strEntryPath.c_str()) != 0 && errno == EISDIR)
        ::rmdir(entry.strEntryPath.c_str());
    }
  }

  ::posix_fadvise(sourceFd, 0, 0, POSIX_FADV_SEQUENTIAL);
  DecodedSample fresh = DecodeSample(source, mixerRate, cancel);
  if (fresh.status != DecodeStatus::Ok || !fresh.pData || !FitsBuffer(fresh.nVoiceBytes))
    return fresh;
  const SampleData& whole = *fresh.pData;
  // Only a conversion is worth an entry, unless the sample streams: the
  // stream reads the voice's layout, which a file's own frames may not be.
  const bool streamed = headFrames > 0 && whole.nFrames > headFrames;
  if (!streamed && !fresh.bConverted) return fresh;
  m_nMisses.fetch_add(1);
  int fd = -1;
  int64_t dataAt = 0;
  // A source changed while it was read gives data of neither version: not kept.
  struct stat after {};
  if (cacheable && ::stat(path.c_str(), &after) == 0 && SameSource(entry.before, after)) {
    std::vector<uint8_t> header =
        HeaderOf(entry.key, whole.nFrames, uint16_t(whole.nChannels), fresh.nVoiceBytes);
    dataAt = int64_t(header.size());
    Write(entry.strEntryPath, std::move(header), whole, streamed ? &fd : nullptr);
  }
  if (!streamed) return fresh;
  if (fd < 0) {
    // No cache to stream from (a read-only or full disk): a file of its own,
    // gone with its last descriptor.
    fd = SpillFile(whole);
    dataAt = 0;
  }
  if (fd < 0) return fresh;  // whole, then
  auto file = std::make_shared<StreamFile>(fd, dataAt, whole.nFrames, whole.nChannels);
  if (std::unique_ptr<SampleData> head = HeadOf(whole, headFrames, std::move(file)))
    fresh.pData = std::move(head);
  return fresh;
}

int SampleCache::SpillFile(const SampleData& data) {
  std::vector<std::string> folders;
  if (!m_strFolder.empty()) folders.push_back(m_strFolder);
  if (const char* tmp = std::getenv("TMPDIR"); tmp && tmp[0] == '/') folders.emplace_back(tmp);
  folders.emplace_back("/var/tmp");
  folders.emplace_back("/tmp");
  const size_t count = size_t(data.nFrames) * data.nChannels;
  std::vector<int16_t> swapped;
  const int16_t* samples = data.pSamples.get();
  if constexpr (std::endian::native == std::endian::big) {
    swapped.assign(samples, samples + count);
    ToLittleEndian(swapped.data(), count);
    samples = swapped.data();
  }
  for (const std::string& folder : folders) {
    Fd fd(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600));
    if (fd.get() >= 0 && WriteAll(fd.get(), samples, count * sizeof(int16_t))) {
      m_nSpilled.fetch_add(1);
      return fd.release();
    }
  }
  return -1;
}

bool SampleCache::Write(const std::string& entryPath, std::vector<uint8_t> header,
                        const SampleData& data, int* keep) {
  const size_t count = size_t(data.nFrames) * data.nChannels;
  const uint64_t dataBytes = uint64_t(count) * kSampleBytes;
  const uint64_t total = header.size() + dataBytes;
  if (total > m_nLimit) return false;
  {
    std::lock_guard lock(m_mutex);
    if (!m_bFolderTried) m_bFolderMade = MakeFolders(m_strFolder);
    m_bFolderTried = true;
    if (!m_bFolderMade) return false;  // a read-only disk: nothing is cached
  }
  // The stored bytes: little-endian, as they are in memory on this machine or
  // swapped into a copy on a big-endian one.
  const auto* bytes = reinterpret_cast<const uint8_t*>(data.pSamples.get());
  std::vector<int16_t> swapped;
  if constexpr (std::endian::native == std::endian::big) {
    swapped.assign(data.pSamples.get(), data.pSamples.get() + count);
    ToLittleEndian(swapped.data(), count);
    bytes = reinterpret_cast<const uint8_t*>(swapped.data());
  }
  Put64(&header[kChecksumAt], EntryChecksum(header, bytes, size_t(dataBytes)));

  const std::string temp = entryPath + kTempMark + std::to_string(::getpid()) + "-" +
                           std::to_string(m_nTemp.fetch_add(1));
  const int mode = (keep ? O_RDWR : O_WRONLY) | O_CREAT | O_EXCL | O_CLOEXEC;
  Fd fd(::open(temp.c_str(), mode, 0644));
  if (fd.get() < 0 && errno == ENOENT && MakeFolders(m_strFolder))  // removed since: made again
    fd.reset(::open(temp.c_str(), mode, 0644));
  if (fd.get() < 0) return false;
  // A full disk fails a write or the close; the half-written file goes.
  const bool written = WriteAll(fd.get(), header.data(), header.size()) &&
                       WriteAll(fd.get(), bytes, size_t(dataBytes)) &&
                       (keep || ::close(fd.release()) == 0);
  if (!written || ::rename(temp.c_str(), entryPath.c_str()) != 0) {
    ::unlink(temp.c_str());
    return false;
  }
  if (keep) *keep = fd.release();  // the entry's own file, whatever is renamed over it later
  m_nWritten.fetch_add(1);
  KeepWithinLimit(total);
  return true;
}

void SampleCache::KeepWithinLimit(uint64_t written) {
  std::lock_guard lock(m_mutex);
  if (m_bCounted && m_nKnownBytes + written <= m_nLimit) {
    m_nKnownBytes += written;
    return;
  }
  // Counted afresh: other processes write here too.
  std::vector<FolderFile> files = ListFolder(m_strFolder);
  const int64_t now = int64_t(std::time(nullptr)) * 1000000000;
  uint64_t totalBytes = 0;
  std::vector<FolderFile> entries;
  for (FolderFile& f : files) {
    if (f.bTemp && now - f.nMtimeNs > kStaleTempSeconds * 1000000000ll) {
      ::unlink(f.strPath.c_str());  // left by a process that ended while writing
      continue;
    }
    totalBytes += f.nBytes;
    if (!f.bTemp) entries.push_back(std::move(f));
  }
  std::sort(entries.begin(), entries.end(),
            [](const FolderFile& a, const FolderFile& b) { return a.nMtimeNs < b.nMtimeNs; });
  for (const FolderFile& f : entries) {
    if (totalBytes <= m_nLimit) break;
    const bool removed = ::unlink(f.strPath.c_str()) == 0;
    if (removed) m_nEvicted.fetch_add(1);
    if (removed || errno == ENOENT) totalBytes -= std::min(totalBytes, f.nBytes);
  }
  m_nKnownBytes = totalBytes;
  m_bCounted = true;
}

SampleCache::Usage SampleCache::Measure(const std::string& folder) {
  Usage usage;
  for (const FolderFile& f : ListFolder(WithSlash(folder))) {
    ++usage.nEntries;
    usage.nBytes += f.nBytes;
  }
  return usage;
}

bool SampleCache::Clear(const std::string& folder, Usage& removed, std::string& error) {
  removed = {};
  for (const FolderFile& f : ListFolder(WithSlash(folder))) {
    if (::unlink(f.strPath.c_str()) != 0 && errno != ENOENT) {
      error = f.strPath + ": " + std::strerror(errno);
      return false;
    }
    ++removed.nEntries;
    removed.nBytes += f.nBytes;
  }
  return true;
}

namespace {

// One cache per folder, kept while its folder is the default one.
std::shared_ptr<SampleCache> DefaultCache() {
  static std::mutex mutex;
  static std::shared_ptr<SampleCache> current;
  const std::string folder = SampleCache::DefaultFolder();
  std::lock_guard lock(mutex);
  if (!current || current->Folder() != WithSlash(folder))
    current = std::make_shared<SampleCache>(folder);
  return current;
}

}  // namespace

DecodedSample DecodeSampleCached(const std::string& path, uint32_t mixerRate,
                                 const std::atomic<bool>* cancel) {
  return DefaultCache()->Decode(path, mixerRate, cancel);
}

DecodedSample DecodeSampleStreamedCached(const std::string& path, uint32_t mixerRate,
                                         uint32_t headFrames, const std::atomic<bool>* cancel) {
  return DefaultCache()->DecodeStreamed(path, mixerRate, headFrames, cancel);
}

}  // namespace thumper
