#include "audio/JackServerWatch.h"

#include <jack/jack.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "audio/LibraryChatter.h"

namespace thumper::jack_watch {

namespace {
std::atomic<uint64_t> g_nLosses{0};
}  // namespace

uint64_t Generation() noexcept {
  return g_nLosses.load(std::memory_order_acquire);
}

void ReportLoss() noexcept {
  g_nLosses.fetch_add(1, std::memory_order_acq_rel);
}

bool ClientUsable(uint64_t generation) {
  if (Generation() != generation) return false;
  SilenceLibraryChatter();
  jack_status_t status{};
  jack_client_t* probe = jack_client_open("Thumper probe", JackNoStartServer, &status);
  if (!probe) {
    // Nobody answers: the server our clients belong to is gone. (One that was
    // restarted in between, unseen, answers here; our own client's shutdown
    // callback is what reports that case.)
    ReportLoss();
    return false;
  }
  jack_client_close(probe);
  return Generation() == generation;
}

void Abandon(void* client) {
  if (!client) return;
  // Held on purpose for the rest of the run, and reachable, so leak checkers
  // do not count it.
  static std::mutex mutex;
  static auto* abandoned = new std::vector<void*>;
  std::lock_guard lock(mutex);
  abandoned->push_back(client);
}

}  // namespace thumper::jack_watch
