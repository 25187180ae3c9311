#include "app/cli/WavWriterThread.h"

namespace thumper {

namespace {
template <class T>
std::vector<T>& Samples(std::vector<int16_t>& shorts, std::vector<float>& floats) {
  if constexpr (std::is_same_v<T, float>)
    return floats;
  else
    return shorts;
}
}  // namespace

WavWriterThread::WavWriterThread(WavFileWriter& writer)
    : m_writer(writer), m_thread([this] { Run(); }) {}

WavWriterThread::~WavWriterThread() {
  {
    std::lock_guard lock(m_mutex);
    m_bDone = true;
    m_full.clear();
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
}

WavWriteStatus WavWriterThread::Failure() {
  std::lock_guard lock(m_mutex);
  return m_status;
}

WavWriteStatus WavWriterThread::Write(std::span<const int16_t> interleaved) {
  return Append(interleaved);
}

WavWriteStatus WavWriterThread::Write(std::span<const float> interleaved) {
  return Append(interleaved);
}

template <class T>
WavWriteStatus WavWriterThread::Append(std::span<const T> interleaved) {
  if (auto s = Failure(); !s.ok) return s;
  constexpr size_t kBlockSamples = kBlockBytes / sizeof(T);
  while (!interleaved.empty()) {
    std::vector<T>& out = Samples<T>(m_filling.shorts, m_filling.floats);
    if (out.capacity() < kBlockSamples) out.reserve(kBlockSamples);
    const size_t n = std::min(interleaved.size(), kBlockSamples - out.size());
    out.insert(out.end(), interleaved.begin(), interleaved.begin() + n);
    interleaved = interleaved.subspan(n);
    if (out.size() == kBlockSamples) Hand(std::move(m_filling));
  }
  return {};
}

// Queues a full block, waiting while the queue is full; takes a spare one back.
void WavWriterThread::Hand(Block block) {
  std::unique_lock lock(m_mutex);
  m_changed.wait(lock, [this] { return m_full.size() < kQueueBlocks || !m_status.ok; });
  if (m_status.ok) m_full.push_back(std::move(block));
  m_filling = Block{};
  if (!m_spare.empty()) {
    m_filling = std::move(m_spare.back());
    m_spare.pop_back();
    m_filling.shorts.clear();
    m_filling.floats.clear();
  }
  lock.unlock();
  m_changed.notify_all();
}

WavWriteStatus WavWriterThread::Finish() {
  if (!m_filling.shorts.empty() || !m_filling.floats.empty()) Hand(std::move(m_filling));
  {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return (m_full.empty() && !m_bWriting) || !m_status.ok; });
    m_bDone = true;
  }
  m_changed.notify_all();
  if (m_thread.joinable()) m_thread.join();
  return m_status;
}

// The writing thread.
void WavWriterThread::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_changed.wait(lock, [this] { return !m_full.empty() || m_bDone; });
    if (m_full.empty()) return;
    Block block = std::move(m_full.front());
    m_full.pop_front();
    m_bWriting = true;
    lock.unlock();
    WavWriteStatus s = block.floats.empty() ? m_writer.Write(std::span<const int16_t>(block.shorts))
                                            : m_writer.Write(std::span<const float>(block.floats));
    lock.lock();
    m_bWriting = false;
    if (!s.ok && m_status.ok) m_status = std::move(s);
    if (m_spare.size() < kQueueBlocks) m_spare.push_back(std::move(block));
    m_changed.notify_all();
    if (!m_status.ok) return;
  }
}

}  // namespace thumper
