#pragma once
// A bounded lock-free queue of small trivially copyable commands, many producers
// and one consumer (D. Vyukov's bounded queue). Storage is fixed at construction;
// a full queue refuses the push, and the caller counts the drop.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

namespace thumper {

template <class T>
class CommandQueue {
  static_assert(std::is_trivially_copyable_v<T>);

 public:
  // capacity is rounded up to a power of two.
  explicit CommandQueue(size_t capacity) {
    size_t n = 2;
    while (n < capacity) n <<= 1;
    m_nMask = n - 1;
    m_pCells = std::make_unique<Cell[]>(n);
    for (size_t i = 0; i < n; ++i) m_pCells[i].nSeq.store(i, std::memory_order_relaxed);
  }

  // Any thread; real-time safe (no allocation, no lock). False when full.
  bool TryPush(const T& value) noexcept {
    size_t pos = m_nTail.load(std::memory_order_relaxed);
    for (;;) {
      Cell& cell = m_pCells[pos & m_nMask];
      const size_t seq = cell.nSeq.load(std::memory_order_acquire);
      const intptr_t diff = static_cast<intptr_t>(seq) - static_cast<intptr_t>(pos);
      if (diff == 0) {
        if (m_nTail.compare_exchange_weak(pos, pos + 1, std::memory_order_relaxed)) {
          cell.value = value;
          cell.nSeq.store(pos + 1, std::memory_order_release);
          return true;
        }
      } else if (diff < 0) {
        return false;
      } else {
        pos = m_nTail.load(std::memory_order_relaxed);
      }
    }
  }

  // The one consumer thread; real-time safe.
  bool TryPop(T& out) noexcept {
    const size_t pos = m_nHead;
    Cell& cell = m_pCells[pos & m_nMask];
    const size_t seq = cell.nSeq.load(std::memory_order_acquire);
    if (static_cast<intptr_t>(seq) - static_cast<intptr_t>(pos + 1) < 0) return false;
    out = cell.value;
    cell.nSeq.store(pos + m_nMask + 1, std::memory_order_release);
    m_nHead = pos + 1;
    return true;
  }

  size_t Capacity() const { return m_nMask + 1; }

 private:
  struct Cell {
    std::atomic<size_t> nSeq;
    T value;
  };
  std::unique_ptr<Cell[]> m_pCells;
  size_t m_nMask = 0;
  alignas(64) std::atomic<size_t> m_nTail{0};
  alignas(64) size_t m_nHead = 0;
};

}  // namespace thumper
