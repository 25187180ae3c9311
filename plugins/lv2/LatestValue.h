#pragma once
// The newest of a value that a control thread replaces now and then and a
// real-time thread reads: three slots, one the writer fills, one the reader
// holds, one in between, swapped through one atomic byte. Neither side ever
// waits for the other, and the reader never allocates or frees, even when T
// owns memory (the writer assigns into its own slot).
//
// Threads: Back and Publish on one writer at a time (the caller serializes
// them); TakeNewest and Front on the reader only.

#include <array>
#include <atomic>
#include <cstdint>

namespace thumper::lv2 {

template <class T>
class LatestValue {
 public:
  // Writer: the slot to fill before Publish; it holds an older value.
  T& Back() { return m_slots[m_nBack]; }
  // Writer: the filled slot becomes the newest value.
  void Publish() {
    m_nBack = m_state.exchange(static_cast<uint8_t>(m_nBack | kFresh), std::memory_order_acq_rel) &
              kIndex;
  }

  // Reader; real-time safe. The value published last, or null when there is
  // none newer than the one already taken.
  const T* TakeNewest() noexcept {
    if ((m_state.load(std::memory_order_acquire) & kFresh) == 0) return nullptr;
    m_nFront = m_state.exchange(m_nFront, std::memory_order_acq_rel) & kIndex;
    return &m_slots[m_nFront];
  }
  // Reader: the value taken last (a default T before the first).
  const T& Front() const noexcept { return m_slots[m_nFront]; }

 private:
  static constexpr uint8_t kIndex = 3;
  static constexpr uint8_t kFresh = 4;

  std::array<T, 3> m_slots{};
  std::atomic<uint8_t> m_state{1};  // the slot in between, and whether it is new
  uint8_t m_nBack = 0;
  uint8_t m_nFront = 2;
};

}  // namespace thumper::lv2
