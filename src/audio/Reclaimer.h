#pragma once
// Epoch-based reclamation: real-time threads read shared objects without locks,
// the UI thread frees what it retired once no reader can still see it.
//
// A reader (the mixer's audio thread, the note trigger) registers once and
// brackets each block or message with Enter()/Leave(). The UI thread unpublishes
// an object first, then hands it to Retire(); Reclaim() frees every retired object
// that all readers have moved past. No real-time thread ever frees anything.

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

namespace thumper {

class Reclaimer;

// One real-time reader's published epoch. 0 means "outside any read section".
//
// Two ways to read. A reader that holds nothing between sections (the note
// trigger) brackets each message with Enter()/Leave(). A reader that keeps
// pointers from one block to the next (the mixer's voices) calls Advance() at
// the top of every block instead and never leaves: it publishes the epoch it saw
// at the top of the previous block, so an object is freed only after one whole
// block has begun after its retirement, in which the reader dropped it.
class RtReader {
 public:
  // Real-time safe: one load and one store.
  void Enter() noexcept;
  void Leave() noexcept { m_nEpoch.store(0, std::memory_order_release); }
  // Real-time safe: one load and one store.
  void Advance() noexcept;

 private:
  friend class Reclaimer;
  std::atomic<uint64_t> m_nEpoch{0};
  uint64_t m_nPrevious = 0;  // Advance(): the epoch seen at the previous block
  std::atomic<bool> m_bClaimed{false};
  const std::atomic<uint64_t>* m_pGlobal = nullptr;
};

// Enter on construction, Leave on destruction.
class RtReadSection {
 public:
  explicit RtReadSection(RtReader& reader) noexcept : m_reader(reader) { m_reader.Enter(); }
  ~RtReadSection() { m_reader.Leave(); }
  RtReadSection(const RtReadSection&) = delete;
  RtReadSection& operator=(const RtReadSection&) = delete;

 private:
  RtReader& m_reader;
};

class Reclaimer {
 public:
  static constexpr int kMaxReaders = 16;

  Reclaimer();
  // Frees everything still retired; every reader must be outside its section.
  ~Reclaimer();
  Reclaimer(const Reclaimer&) = delete;
  Reclaimer& operator=(const Reclaimer&) = delete;

  // Any non-real-time thread. Nothing when all reader slots are taken.
  RtReader* RegisterReader();
  // The reader must be outside its section; its slot becomes free again.
  void UnregisterReader(RtReader* reader);

  // UI thread. The object must already be unreachable for readers that enter
  // from now on; it is freed by a later Reclaim() (or at destruction).
  void Retire(void* object, void (*deleter)(void*));
  template <class T>
  void Retire(std::unique_ptr<T> object) {
    Retire(object.release(), [](void* p) { delete static_cast<T*>(p); });
  }

  // UI thread: frees every retired object that no reader can still see.
  // Returns how many were freed.
  size_t Reclaim();
  // UI thread: waits (sleeping) until every retired object is freed.
  void ReclaimAll();
  // The same for at most limit, for readers that may stop for good meanwhile
  // (a server that dies stops its audio thread). True when all were freed.
  bool ReclaimWithin(std::chrono::milliseconds limit);

  size_t PendingCount() const { return m_retired.size(); }

 private:
  struct Retired {
    void* pObject;
    void (*pDeleter)(void*);
    uint64_t nEpoch;
  };
  uint64_t OldestActiveEpoch() const;

  std::atomic<uint64_t> m_nGlobalEpoch{1};
  std::array<RtReader, kMaxReaders> m_readers;
  std::vector<Retired> m_retired;
};

}  // namespace thumper
