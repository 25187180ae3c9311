#include "app/cli/WavWriterThread.h"

#include <algorithm>

namespace thumper {

namespace {
template <class T>
constexpr size_t kHandSamples = WavWriterThread::kBlockBytes / sizeof(T);
template <class T>
constexpr size_t kCapacity = kHandSamples<T> + WavWriterThread::kMaxRoomSamples;
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

template <class T>
std::span<T> WavWriterThread::Room() {
  m_bFloat = std::is_same_v<T, float>;
  T* samples;
  if constexpr (std::is_same_v<T, float>) {
    if (!m_filling.pFloats)
      m_filling.pFloats = std::make_unique_for_overwrite<float[]>(kCapacity<T>);
    samples = m_filling.pFloats.get();
  } else {
    if (!m_filling.pShorts)
      m_filling.pShorts = std::make_unique_for_overwrite<int16_t[]>(kCapacity<T>);
    samples = m_filling.pShorts.get();
  }
  return {samples + m_filling.nSamples, kMaxRoomSamples};
}

std::span<int16_t> WavWriterThread::ShortRoom() {
  return Room<int16_t>();
}

std::span<float> WavWriterThread::FloatRoom() {
  return Room<float>();
}

WavWriteStatus WavWriterThread::Commit(size_t samples) {
  if (auto s = Failure(); !s.ok) return s;
  m_filling.nSamples += std::min(samples, kMaxRoomSamples);
  const size_t hand = m_bFloat ? kHandSamples<float> : kHandSamples<int16_t>;
  if (m_filling.nSamples >= hand) Hand(std::move(m_filling));
  return {};
}

WavWriteStatus WavWriterThread::Write(std::span<const int16_t> interleaved) {
  return Append(interleaved);
}

WavWriteStatus WavWriterThread::Write(std::span<const float> interleaved) {
  return Append(interleaved);
}

template <class T>
WavWriteStatus WavWriterThread::Append(std::span<const T> interleaved) {
  while (!interleaved.empty()) {
    const std::span<T> room = Room<T>();
    const size_t n = std::min(interleaved.size(), room.size());
    std::copy_n(interleaved.begin(), n, room.begin());
    interleaved = interleaved.subspan(n);
    if (auto s = Commit(n); !s.ok) return s;
  }
  return Failure();
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
    m_filling.nSamples = 0;
  }
  lock.unlock();
  m_changed.notify_all();
}

WavWriteStatus WavWriterThread::Finish() {
  if (m_filling.nSamples > 0) Hand(std::move(m_filling));
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
    WavWriteStatus s =
        block.pFloats
            ? m_writer.Write(std::span<const float>(block.pFloats.get(), block.nSamples))
            : m_writer.Write(std::span<const int16_t>(block.pShorts.get(), block.nSamples));
    lock.lock();
    m_bWriting = false;
    if (!s.ok && m_status.ok) m_status = std::move(s);
    if (m_spare.size() < kQueueBlocks) m_spare.push_back(std::move(block));
    m_changed.notify_all();
    if (!m_status.ok) return;
  }
}

}  // namespace thumper
