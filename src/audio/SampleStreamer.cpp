#include "audio/SampleStreamer.h"

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace thumper {

namespace {
// A render waits this long for one block before it gives the block up as
// silence: a disk that stopped answering must not hang it.
constexpr auto kRenderWaitLimit = std::chrono::seconds(10);

// Real-time safe: the steady clock is read without a system call (vDSO).
int64_t NowNs() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

StreamFile::StreamFile(int fd, int64_t dataAt, uint32_t frames, uint32_t channels)
    : m_nFd(fd), m_nDataAt(dataAt), m_nFrames(frames), m_nChannels(channels) {}

StreamFile::~StreamFile() {
  if (m_nFd >= 0) ::close(m_nFd);
}

bool StreamFile::Read(uint32_t from, uint32_t count, int16_t* out) const {
  if (from >= m_nFrames) return false;
  count = std::min(count, m_nFrames - from);
  auto* p = reinterpret_cast<uint8_t*>(out);
  size_t size = size_t{count} * m_nChannels * sizeof(int16_t);
  off_t at = off_t(m_nDataAt + int64_t{from} * m_nChannels * int64_t{sizeof(int16_t)});
  while (size > 0) {
    const ssize_t got = ::pread(m_nFd, p, size, at);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    p += got;
    at += got;
    size -= size_t(got);
  }
  if constexpr (std::endian::native == std::endian::big) {
    for (size_t i = 0; i < size_t{count} * m_nChannels; ++i)
      out[i] = int16_t(__builtin_bswap16(uint16_t(out[i])));
  }
  return true;
}

SampleStreamer::SampleStreamer(uint32_t streams)
    : m_pool(std::make_unique<int16_t[]>(size_t{std::max(streams, 1u)} * kBlocksPerStream *
                                         kBlockFrames * 2)),
      m_streams(std::max(streams, 1u)),
      m_requests(size_t{std::max(streams, 1u)} * kBlocksPerStream * 2) {
  m_free.reserve(m_streams.size());
  for (uint32_t i = static_cast<uint32_t>(m_streams.size()); i-- > 0;) m_free.push_back(i);
  m_thread = std::thread([this] { Run(); });
}

SampleStreamer::~SampleStreamer() {
  m_bStop.store(true);
  m_wake.Raise();
  m_thread.join();
}

uint32_t SampleStreamer::AddFile(const std::shared_ptr<const StreamFile>& file) {
  std::lock_guard lock(m_mutex);
  uint32_t id = m_nNextId++;
  if (id == 0) id = m_nNextId++;
  m_files[id] = file;
  if (m_files.size() > m_nSweepAt) {
    std::erase_if(m_files, [](const auto& entry) { return entry.second.expired(); });
    m_nSweepAt = 2 * m_files.size() + 64;
  }
  return id;
}

std::shared_ptr<const StreamFile> SampleStreamer::FindFile(uint32_t id) {
  std::lock_guard lock(m_mutex);
  const auto it = m_files.find(id);
  return it == m_files.end() ? nullptr : it->second.lock();
}

// --- audio thread ---

// Real-time: the mixer, as a streamed voice starts.
int32_t SampleStreamer::Begin(uint32_t id, uint32_t head, uint32_t frames,
                              uint32_t channels) noexcept {
  if (m_free.empty()) return -1;
  const uint32_t index = m_free.back();
  m_free.pop_back();
  Stream& s = m_streams[index];
  s.nGen.fetch_add(1, std::memory_order_release);
  s.nFile = id;
  s.nHead = head;
  s.nFrames = frames;
  s.nChannels = channels;
  s.nAsked = 0;
  s.nMissed = 0;
  AskAhead(index, kBlocksPerStream);
  return static_cast<int32_t>(index);
}

void SampleStreamer::AskAhead(uint32_t stream, uint32_t upTo) noexcept {
  Stream& s = m_streams[stream];
  const uint32_t blocks = (s.nFrames - s.nHead + kBlockFrames - 1) / kBlockFrames;
  upTo = std::min(upTo, blocks);
  const uint32_t gen = s.nGen.load(std::memory_order_relaxed);
  if (s.nAsked >= upTo) return;
  bool asked = false;
  const int64_t now = NowNs();
  while (s.nAsked < upTo) {
    const uint32_t from = s.nHead + s.nAsked * kBlockFrames;
    const Request r{stream, gen, s.nAsked, s.nFile, from, std::min(kBlockFrames, s.nFrames - from),
                    now};
    if (!m_requests.TryPush(r)) break;  // asked again at the next look
    ++s.nAsked;
    asked = true;
  }
  if (asked) m_wake.Raise();
}

// Real-time: the mixer, for every stretch of a streamed voice past its head.
const int16_t* SampleStreamer::Frames(int32_t stream, uint32_t pos, uint32_t want,
                                      uint32_t& count) noexcept {
  Stream& s = m_streams[static_cast<uint32_t>(stream)];
  const uint32_t rel = pos - s.nHead;
  const uint32_t block = rel / kBlockFrames;
  const uint32_t inBlock = rel % kBlockFrames;
  AskAhead(static_cast<uint32_t>(stream), block + kBlocksPerStream);
  const uint32_t blockFrames = std::min(kBlockFrames, s.nFrames - s.nHead - block * kBlockFrames);
  count = std::min(want, blockFrames - inBlock);
  const uint32_t slot = block % kBlocksPerStream;
  const uint64_t tag = Tag(s.nGen.load(std::memory_order_relaxed), block);
  if (s.nTag[slot].load(std::memory_order_acquire) != tag &&
      m_bWait.load(std::memory_order_relaxed)) {
    // Not real time: a render may wait for the disk.
    const auto until = std::chrono::steady_clock::now() + kRenderWaitLimit;
    while (s.nTag[slot].load(std::memory_order_acquire) != tag &&
           std::chrono::steady_clock::now() < until) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      AskAhead(static_cast<uint32_t>(stream), block + kBlocksPerStream);
    }
  }
  if (s.nTag[slot].load(std::memory_order_acquire) != tag) {
    if (s.nMissed != block + 1) {
      s.nMissed = block + 1;
      m_nUnderruns.fetch_add(1, std::memory_order_relaxed);
    }
    return nullptr;
  }
  return BlockData(static_cast<uint32_t>(stream), slot) + size_t{inBlock} * s.nChannels;
}

// Real-time: the mixer, as a streamed voice ends.
void SampleStreamer::End(int32_t stream) noexcept {
  if (stream < 0) return;
  // A new generation: what is still asked for of this stream is dropped unread.
  m_streams[static_cast<uint32_t>(stream)].nGen.fetch_add(1, std::memory_order_release);
  m_free.push_back(static_cast<uint32_t>(stream));
}

// --- the streaming thread ---

void SampleStreamer::Run() {
  while (!m_bStop.load()) {
    m_wake.Clear();
    Request r;
    while (!m_bStop.load() && m_requests.TryPop(r)) Fill(r);
    if (m_bStop.load()) return;
    m_wake.Wait(std::chrono::milliseconds(100));
  }
}

void SampleStreamer::Fill(const Request& r) {
  Stream& s = m_streams[r.nStream];
  if (s.nGen.load(std::memory_order_acquire) != r.nGen) return;  // that voice ended
  const std::shared_ptr<const StreamFile> file = FindFile(r.nFile);
  if (!file) return;  // its sample is gone
  if (const uint32_t delay = m_nDelayMicros.load(std::memory_order_relaxed))
    std::this_thread::sleep_for(std::chrono::microseconds(delay));
  int16_t* out = BlockData(r.nStream, r.nBlock % kBlocksPerStream);
  // A read the disk failed plays as silence rather than as the block before.
  if (!file->Read(r.nFrom, r.nCount, out))
    std::memset(out, 0, size_t{r.nCount} * file->Channels() * sizeof(int16_t));
  s.nTag[r.nBlock % kBlocksPerStream].store(Tag(r.nGen, r.nBlock), std::memory_order_release);
  const uint64_t took = uint64_t(std::max<int64_t>(0, NowNs() - r.nAskedNs));
  if (took > m_nWorstNs.load(std::memory_order_relaxed))
    m_nWorstNs.store(took, std::memory_order_relaxed);
}

}  // namespace thumper
