#pragma once
// Decodes the sample files of a kit on a small pool of worker threads while the
// control thread goes on answering. Workers only decode into memory of their
// own; the control thread takes the finished samples, in the order the jobs
// were given, and makes the voices from them (the mixer's slot table stays a
// control-thread affair). A new Start, Cancel or destruction stops the workers
// between chunks and frees whatever was not taken.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "audio/SampleDecoder.h"

namespace thumper {

class KitLoader {
 public:
  // Decodes one file for a mixer of the given rate; looks at cancel between chunks.
  using DecodeFn = std::function<DecodedSample(const std::string& path, uint32_t mixerRate,
                                               const std::atomic<bool>& cancel)>;

  struct Job {
    int nLayer;  // index slot x 5 + layer
    std::string strPath;
    // Only whether the file reads as a sample (its header): no data comes back.
    bool bCheckOnly = false;
    // The rate the file is decoded at, when not the load's (a pitched sample
    // of a kit that plays as its maker made it); 0 for the load's.
    uint32_t nRate = 0;
    // Frames kept in memory of a sample streamed from disk (through the
    // user's cache); 0: the whole sample.
    uint32_t nStreamHead = 0;
  };
  struct Finished {
    int nLayer;
    std::string strPath;
    DecodedSample sample;  // a check's has its status only
    bool bCheckOnly = false;
  };

  // threads 0: one per core. decode null: the file read through the user's
  // cache of converted samples (DecodeSampleCached).
  explicit KitLoader(unsigned threads = 0, DecodeFn decode = nullptr);
  ~KitLoader();
  KitLoader(const KitLoader&) = delete;
  KitLoader& operator=(const KitLoader&) = delete;

  // --- control thread ---
  void SetThreads(unsigned threads) { m_nThreads = threads; }
  void SetDecoder(DecodeFn decode);
  // Cancels a running load, then decodes every job's file in the background.
  void Start(std::vector<Job> jobs, uint32_t mixerRate);
  // Stops the workers (each within one chunk of its file) and frees every
  // sample not yet taken.
  void Cancel();
  // The finished samples that follow the last one taken, in job order.
  std::vector<Finished> TakeFinished();
  // Waits until a sample is ready to be taken, the load ends, or timeout passes.
  void WaitForFinished(std::chrono::milliseconds timeout);

  // True from Start until every sample has been taken (or the load cancelled).
  bool IsRunning() const { return m_nTaken < m_jobs.size(); }
  int Total() const { return static_cast<int>(m_jobs.size()); }
  int Taken() const { return static_cast<int>(m_nTaken); }
  // Seconds since the last Start.
  double Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
  }

 private:
  void Work();
  void Join();

  unsigned m_nThreads;
  DecodeFn m_decode;
  uint32_t m_nRate = 0;
  std::chrono::steady_clock::time_point m_started{};
  std::vector<Job> m_jobs;
  size_t m_nTaken = 0;  // control thread only
  std::atomic<size_t> m_nNextJob{0};
  std::atomic<bool> m_bCancel{false};

  std::mutex m_mutex;  // guards m_results; never held while decoding
  std::condition_variable m_ready;
  std::vector<std::optional<Finished>> m_results;
  std::vector<std::thread> m_workers;
};

}  // namespace thumper
