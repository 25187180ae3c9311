#include "audio/JackServerWatch.h"

#include <jack/jack.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "audio/LibraryChatter.h"

namespace thumper::jack_watch {

namespace {
std::atomic<uint64_t> g_nLosses{0};
// A live server answers a client's open within milliseconds.
constexpr std::chrono::milliseconds kProbeLimit{2000};
// A server whose cycle came this recently is alive: its death would have
// reached our client's shutdown callback (a closed socket) within a moment.
constexpr std::chrono::milliseconds kFreshCycle{250};
std::atomic<int64_t> g_nLastCycle{0};  // steady clock, nanoseconds

int64_t SteadyNanos() noexcept {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct OwnClient {
  std::mutex mutex;
  jack_client_t* pClient = nullptr;
  uint64_t nGeneration = 0;
};
OwnClient& Own() {
  static OwnClient own;
  return own;
}
}  // namespace

uint64_t Generation() noexcept {
  return g_nLosses.load(std::memory_order_acquire);
}

void ReportLoss() noexcept {
  g_nLosses.fetch_add(1, std::memory_order_acq_rel);
}

void NoteCycle() noexcept {
  g_nLastCycle.store(SteadyNanos(), std::memory_order_relaxed);
}

// Our own client of this generation is there and its server ran a cycle a
// moment ago: no probe client needs to come and go.
bool OwnServerJustRan(uint64_t generation) {
  {
    std::lock_guard lock(Own().mutex);
    if (!Own().pClient || Own().nGeneration != generation) return false;
  }
  const int64_t age = SteadyNanos() - g_nLastCycle.load(std::memory_order_relaxed);
  return age >= 0 && age < std::chrono::nanoseconds(kFreshCycle).count();
}

bool ClientUsable(uint64_t generation) {
  if (Generation() != generation) return false;
  if (OwnServerJustRan(generation)) return Generation() == generation;
  jack_client_t* probe = OpenClientWithin("Thumper probe", kProbeLimit);
  if (!probe) {
    // Nobody answers (in time): the server our clients belong to is gone. (One
    // that was restarted in between, unseen, answers here; our own client's
    // shutdown callback is what reports that case.)
    ReportLoss();
    return false;
  }
  jack_client_close(probe);
  return Generation() == generation;
}

void AdoptOwnClient(jack_client_t* client, uint64_t generation) {
  std::lock_guard lock(Own().mutex);
  Own().pClient = client;
  Own().nGeneration = generation;
}

void ReleaseOwnClient(jack_client_t* client) {
  std::lock_guard lock(Own().mutex);
  if (Own().pClient == client) Own().pClient = nullptr;
}

bool HasOwnClient() {
  std::lock_guard lock(Own().mutex);
  return Own().pClient && Own().nGeneration == Generation();
}

std::optional<std::vector<std::string>> ListPortsThroughOwnClient(const char* type,
                                                                  unsigned long flags) {
  // Held while listing, so the client cannot be closed meanwhile.
  std::lock_guard lock(Own().mutex);
  if (!Own().pClient || Own().nGeneration != Generation()) return std::nullopt;
  std::vector<std::string> names;
  if (const char** ports = jack_get_ports(Own().pClient, nullptr, type, flags)) {
    for (const char** p = ports; *p; ++p) names.emplace_back(*p);
    jack_free(ports);
  }
  return names;
}

jack_client_t* OpenClientWithin(const std::string& name, std::chrono::milliseconds limit,
                                jack_options_t options) {
  struct Attempt {
    std::mutex mutex;
    std::condition_variable done;
    bool bDone = false;
    bool bGivenUp = false;
    jack_client_t* pClient = nullptr;
  };
  auto attempt = std::make_shared<Attempt>();
  SilenceLibraryChatter();
  std::thread([attempt, name, options] {
    jack_status_t status{};
    jack_client_t* client = jack_client_open(name.c_str(), options, &status);
    std::lock_guard lock(attempt->mutex);
    attempt->bDone = true;
    if (attempt->bGivenUp) {
      // Too late: its server is in doubt, so it is never called again.
      Abandon(client);
      return;
    }
    attempt->pClient = client;
    attempt->done.notify_all();
  }).detach();
  std::unique_lock lock(attempt->mutex);
  if (!attempt->done.wait_for(lock, limit, [&] { return attempt->bDone; })) {
    attempt->bGivenUp = true;
    // A server that takes a connection and never answers is as good as gone:
    // no client of it is called again, and the next open asks within a limit.
    ReportLoss();
    return nullptr;
  }
  return attempt->pClient;
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
