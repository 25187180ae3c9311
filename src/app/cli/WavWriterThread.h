#pragma once
// Writes rendered audio on a thread of its own, so mixing never waits for the
// disk: blocks of at least 1 MiB go through a bounded queue (memory stays flat
// however long the song) and each reaches the file in one write. The bytes are
// those the writer alone would make. Command-line thread, plus the writing thread.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <span>
#include <thread>
#include <vector>

#include "app/cli/WavFileWriter.h"

namespace thumper {

class WavWriterThread {
 public:
  static constexpr size_t kBlockBytes = size_t(1) << 20;
  static constexpr size_t kQueueBlocks = 4;

  // writer is open and outlives this; everything goes through here until Finish.
  explicit WavWriterThread(WavFileWriter& writer);
  // Stops the thread; what was not written is dropped (the caller discards).
  ~WavWriterThread();
  WavWriterThread(const WavWriterThread&) = delete;
  WavWriterThread& operator=(const WavWriterThread&) = delete;

  // Takes a copy; a failure of an earlier write is reported here.
  WavWriteStatus Write(std::span<const int16_t> interleaved);
  WavWriteStatus Write(std::span<const float> interleaved);
  // Room for up to kMaxRoomSamples samples at the end of the block being filled,
  // to be mixed into in place and then handed over with Commit: no copy. One
  // kind of sample per file.
  static constexpr size_t kMaxRoomSamples = 8192;
  std::span<int16_t> ShortRoom();
  std::span<float> FloatRoom();
  // The first samples of the room are audio; a failure of an earlier write is
  // reported here.
  WavWriteStatus Commit(size_t samples);
  // Writes what is left and waits for the thread; the caller then closes the writer.
  WavWriteStatus Finish();

 private:
  // Samples of one kind; handed over once it holds kBlockBytes, so it has
  // room for that and one more room's worth.
  struct Block {
    std::unique_ptr<int16_t[]> pShorts;
    std::unique_ptr<float[]> pFloats;
    size_t nSamples = 0;
  };
  template <class T>
  std::span<T> Room();
  template <class T>
  WavWriteStatus Append(std::span<const T> interleaved);
  void Hand(Block block);
  void Run();
  WavWriteStatus Failure();

  WavFileWriter& m_writer;
  Block m_filling;
  bool m_bFloat = false;  // the kind the file is being given

  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::deque<Block> m_full;    // waiting to be written
  std::vector<Block> m_spare;  // written, to be filled again
  WavWriteStatus m_status;     // the first failed write
  bool m_bDone = false;
  bool m_bWriting = false;
  std::thread m_thread;
};

}  // namespace thumper
