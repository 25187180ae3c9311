#pragma once
// Samples too large for the memory budget play from disk: their voice holds a
// head of the sample in memory, long enough to cover the worst read delay, and
// the rest is read while it plays by one streaming thread into a fixed pool of
// blocks. The audio thread never waits for the disk: a block that is not there
// in time is an underrun, counted once, and that voice plays silence until the
// block comes in (a render, which may wait, waits instead).
//
// A stream is one playing voice's window on its sample: kBlocksPerStream
// blocks of kBlockFrames frames, each tagged with the generation of the
// stream and the block it holds. The audio thread claims a stream, asks for
// the blocks ahead of where it plays, and ends the stream when the voice
// ends; the streaming thread fills blocks and publishes each with its tag.
// A request of an ended stream is dropped unread.
//
// The files a stream reads are registered by the UI thread and known by an
// id; the samples hold them (SampleData::pStreamFile), and once a sample is
// freed its file is gone from the register, so a late request finds nothing.

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "audio/CommandQueue.h"
#include "audio/WakeSignal.h"

namespace thumper {

// The part of a sample a voice reads from disk: interleaved little-endian
// 16-bit frames at the mixer's rate, frame 0 at byte nDataAt of the file.
// Owns the descriptor.
class StreamFile {
 public:
  StreamFile(int fd, int64_t dataAt, uint32_t frames, uint32_t channels);
  ~StreamFile();
  StreamFile(const StreamFile&) = delete;
  StreamFile& operator=(const StreamFile&) = delete;

  // Frames from..from+count into out (channels x count values); false when the
  // disk gave fewer.
  bool Read(uint32_t from, uint32_t count, int16_t* out) const;
  uint32_t Frames() const { return m_nFrames; }
  uint32_t Channels() const { return m_nChannels; }

 private:
  int m_nFd;
  int64_t m_nDataAt;
  uint32_t m_nFrames;
  uint32_t m_nChannels;
};

class SampleStreamer {
 public:
  // Frames of a sample every streamed voice holds in memory: 186 ms at
  // 44.1 kHz, 171 ms at 48 kHz, many times the worst delay measured of a
  // block read by 256 voices at once from a cold disk (see bench/streaming.cpp).
  static constexpr uint32_t kHeadFrames = 8192;
  static constexpr uint32_t kBlockFrames = 4096;
  static constexpr uint32_t kBlocksPerStream = 4;
  // Voices of streamed samples that play at once; one more takes over the
  // oldest of them.
  static constexpr uint32_t kDefaultStreams = 256;

  // Memory the pool of one streamer of streams streams takes.
  static constexpr uint64_t PoolBytes(uint32_t streams = kDefaultStreams) {
    return uint64_t{streams} * kBlocksPerStream * kBlockFrames * 2 * sizeof(int16_t);
  }

  explicit SampleStreamer(uint32_t streams = kDefaultStreams);
  // Stops the streaming thread.
  ~SampleStreamer();
  SampleStreamer(const SampleStreamer&) = delete;
  SampleStreamer& operator=(const SampleStreamer&) = delete;

  // --- UI thread (any but the audio one) ---
  // The id a sample knows its file by; the register keeps it only while file
  // lives elsewhere.
  uint32_t AddFile(const std::shared_ptr<const StreamFile>& file);
  // Any thread: a render (or an export) waits for every block instead of
  // playing silence.
  void SetWaitForData(bool wait) { m_bWait.store(wait, std::memory_order_relaxed); }
  // Tests: every block read sleeps this long first (a slow disk).
  void SetReadDelay(uint32_t micros) { m_nDelayMicros.store(micros, std::memory_order_relaxed); }

  // --- any thread ---
  // Blocks that a voice needed and that were not there in time.
  uint64_t Underruns() const { return m_nUnderruns.load(std::memory_order_relaxed); }
  // The longest a block took from being asked for to being in, in microseconds.
  uint64_t WorstDelayMicros() const { return m_nWorstNs.load(std::memory_order_relaxed) / 1000; }

  // --- the audio thread; real-time ---
  // A stream over file id, whose frames from head on (of frames in all, of
  // channels) are read from disk; its first blocks are asked for at once.
  // -1 when every stream is playing.
  int32_t Begin(uint32_t id, uint32_t head, uint32_t frames, uint32_t channels) noexcept;
  // The frames of stream at pos (at or past its head) that are in, up to
  // want of them: their start, with count set to how many follow in memory.
  // Null when the block is not in yet: count is then the frames to play as
  // silence. Asks for the blocks ahead.
  const int16_t* Frames(int32_t stream, uint32_t pos, uint32_t want, uint32_t& count) noexcept;
  void End(int32_t stream) noexcept;
  // A voice that found no stream in time to play past its head.
  void CountUnderrun() noexcept { m_nUnderruns.fetch_add(1, std::memory_order_relaxed); }

 private:
  struct Request {
    uint32_t nStream;
    uint32_t nGen;
    uint32_t nBlock;
    uint32_t nFile;
    uint32_t nFrom;  // the block's first frame in the sample
    uint32_t nCount;
    int64_t nAskedNs;  // steady clock
  };
  struct Stream {
    std::atomic<uint32_t> nGen{0};
    std::atomic<uint64_t> nTag[kBlocksPerStream]{};  // gen << 32 | block + 1; 0: empty
    // Audio thread only:
    uint32_t nFile = 0;
    uint32_t nHead = 0;
    uint32_t nFrames = 0;
    uint32_t nChannels = 0;
    uint32_t nAsked = 0;   // blocks asked for so far
    uint32_t nMissed = 0;  // the block last counted as an underrun, plus one
  };

  static uint64_t Tag(uint32_t gen, uint32_t block) { return uint64_t{gen} << 32 | (block + 1); }
  int16_t* BlockData(uint32_t stream, uint32_t slot) {
    return m_pool.get() + (size_t{stream} * kBlocksPerStream + slot) * kBlockFrames * 2;
  }
  void AskAhead(uint32_t stream, uint32_t upTo) noexcept;
  void Run();
  void Fill(const Request& r);
  std::shared_ptr<const StreamFile> FindFile(uint32_t id);

  std::unique_ptr<int16_t[]> m_pool;
  std::vector<Stream> m_streams;
  std::vector<uint32_t> m_free;  // audio thread only
  CommandQueue<Request> m_requests;
  WakeSignal m_wake;
  std::atomic<uint64_t> m_nUnderruns{0};
  std::atomic<uint64_t> m_nWorstNs{0};
  std::atomic<bool> m_bWait{false};
  std::atomic<uint32_t> m_nDelayMicros{0};
  std::atomic<bool> m_bStop{false};

  std::mutex m_mutex;  // guards the register
  std::unordered_map<uint32_t, std::weak_ptr<const StreamFile>> m_files;
  uint32_t m_nNextId = 1;
  size_t m_nSweepAt = 64;

  std::thread m_thread;
};

}  // namespace thumper
