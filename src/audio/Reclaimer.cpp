#include "audio/Reclaimer.h"

#include <cassert>
#include <chrono>
#include <limits>
#include <thread>

namespace thumper {

void RtReader::Enter() noexcept {
  // Sequentially consistent so that the store is ordered before every load of a
  // shared pointer in the section: the UI thread either sees this epoch or the
  // reader sees the pointer the UI thread published before retiring the old one.
  m_nEpoch.store(m_pGlobal->load(std::memory_order_seq_cst), std::memory_order_seq_cst);
}

void RtReader::Advance() noexcept {
  const uint64_t now = m_pGlobal->load(std::memory_order_seq_cst);
  m_nEpoch.store(m_nPrevious ? m_nPrevious : now, std::memory_order_seq_cst);
  m_nPrevious = now;
}

Reclaimer::Reclaimer() {
  for (auto& r : m_readers) r.m_pGlobal = &m_nGlobalEpoch;
}

Reclaimer::~Reclaimer() {
  for ([[maybe_unused]] const auto& r : m_readers) assert(r.m_nEpoch.load() == 0);
  for (const auto& item : m_retired) item.pDeleter(item.pObject);
}

RtReader* Reclaimer::RegisterReader() {
  for (auto& r : m_readers) {
    bool expected = false;
    if (r.m_bClaimed.compare_exchange_strong(expected, true)) {
      r.m_nEpoch.store(0);
      r.m_nPrevious = 0;
      return &r;
    }
  }
  return nullptr;
}

void Reclaimer::UnregisterReader(RtReader* reader) {
  if (!reader) return;
  reader->m_nEpoch.store(0);
  reader->m_bClaimed.store(false);
}

void Reclaimer::Retire(void* object, void (*deleter)(void*)) {
  if (!object) return;
  // The stamp is the epoch before the bump: a reader that entered with a later
  // epoch started after the object was unpublished.
  const uint64_t stamp = m_nGlobalEpoch.fetch_add(1, std::memory_order_seq_cst);
  m_retired.push_back({object, deleter, stamp});
}

uint64_t Reclaimer::OldestActiveEpoch() const {
  uint64_t oldest = std::numeric_limits<uint64_t>::max();
  for (const auto& r : m_readers) {
    const uint64_t e = r.m_nEpoch.load(std::memory_order_seq_cst);
    if (e != 0 && e < oldest) oldest = e;
  }
  return oldest;
}

size_t Reclaimer::Reclaim() {
  if (m_retired.empty()) return 0;
  const uint64_t oldest = OldestActiveEpoch();
  size_t freed = 0;
  size_t keep = 0;
  for (size_t i = 0; i < m_retired.size(); ++i) {
    if (m_retired[i].nEpoch < oldest) {
      m_retired[i].pDeleter(m_retired[i].pObject);
      ++freed;
    } else {
      m_retired[keep++] = m_retired[i];
    }
  }
  m_retired.resize(keep);
  return freed;
}

void Reclaimer::ReclaimAll() {
  while (Reclaim(), !m_retired.empty()) std::this_thread::sleep_for(std::chrono::microseconds(200));
}

bool Reclaimer::ReclaimWithin(std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (Reclaim(), !m_retired.empty()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

}  // namespace thumper
