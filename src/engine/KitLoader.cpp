#include "engine/KitLoader.h"

#include <algorithm>

#include "audio/SampleCache.h"

namespace thumper {

namespace {
// Beyond this the disk, not the cores, sets the pace.
constexpr unsigned kMaxThreads = 8;

// Converted samples come from the user's cache of them when they are there.
DecodedSample DecodeFile(const std::string& path, uint32_t rate, const std::atomic<bool>& cancel) {
  return DecodeSampleCached(path, rate, &cancel);
}
}  // namespace

KitLoader::KitLoader(unsigned threads, DecodeFn decode) : m_nThreads(threads) {
  SetDecoder(std::move(decode));
}

KitLoader::~KitLoader() {
  Cancel();
}

void KitLoader::SetDecoder(DecodeFn decode) {
  Cancel();
  m_decode = decode ? std::move(decode) : DecodeFn(&DecodeFile);
}

void KitLoader::Start(std::vector<Job> jobs, uint32_t mixerRate) {
  Cancel();
  m_jobs = std::move(jobs);
  m_nRate = mixerRate;
  m_started = std::chrono::steady_clock::now();
  m_nTaken = 0;
  m_results.clear();
  m_results.resize(m_jobs.size());
  m_nNextJob.store(0);
  m_bCancel.store(false);
  if (m_jobs.empty()) return;
  unsigned threads = m_nThreads ? m_nThreads : std::max(1u, std::thread::hardware_concurrency());
  threads = std::min<unsigned>({threads, kMaxThreads, static_cast<unsigned>(m_jobs.size())});
  for (unsigned i = 0; i < threads; ++i) m_workers.emplace_back([this] { Work(); });
}

// Worker thread: takes the next job until none is left or the load is cancelled.
void KitLoader::Work() {
  for (;;) {
    if (m_bCancel.load(std::memory_order_relaxed)) return;
    const size_t i = m_nNextJob.fetch_add(1);
    if (i >= m_jobs.size()) return;
    const Job& job = m_jobs[i];
    const uint32_t rate = job.nRate ? job.nRate : m_nRate;
    DecodedSample sample = job.bCheckOnly ? DecodedSample{CheckSampleFile(job.strPath), nullptr, 0}
                           : job.nStreamHead ? DecodeSampleStreamedCached(
                                                   job.strPath, rate, job.nStreamHead, &m_bCancel)
                                             : m_decode(job.strPath, rate, m_bCancel);
    {
      std::lock_guard lock(m_mutex);
      m_results[i] = Finished{job.nLayer, job.strPath, std::move(sample), job.bCheckOnly};
    }
    m_ready.notify_all();
  }
}

void KitLoader::Join() {
  for (std::thread& t : m_workers) t.join();
  m_workers.clear();
}

void KitLoader::Cancel() {
  m_bCancel.store(true);
  Join();
  // Nothing here was ever published: it goes at once.
  m_results.clear();
  m_jobs.clear();
  m_nTaken = 0;
}

std::vector<KitLoader::Finished> KitLoader::TakeFinished() {
  std::vector<Finished> out;
  {
    std::lock_guard lock(m_mutex);
    while (m_nTaken < m_results.size() && m_results[m_nTaken]) {
      out.push_back(std::move(*m_results[m_nTaken]));
      m_results[m_nTaken].reset();
      ++m_nTaken;
    }
  }
  if (!IsRunning()) Join();  // every worker has finished its last job
  return out;
}

void KitLoader::WaitForFinished(std::chrono::milliseconds timeout) {
  std::unique_lock lock(m_mutex);
  m_ready.wait_for(lock, timeout, [this] {
    return m_nTaken >= m_results.size() || m_results[m_nTaken].has_value();
  });
}

}  // namespace thumper
