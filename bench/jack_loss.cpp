// A JACK server killed outright at random moments under `thumper play`, many
// times in a row, while busy threads load every core: each run must end with
// status 0 on SIGTERM, in time. Reports the runs, and those that crashed
// (libjack's cancel of its threads unwinding through our callbacks aborted the
// program) or hung. THUMPER_LOSS_RUNS (50) and THUMPER_LOSS_SEED change the
// loop; THUMPER_LOSS_LOAD the busy threads (one per core).

#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "drumset/CThumperDoc.h"
#include "midi/JackMidiSender.h"
#include "support/JackServer.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

int FromEnvironment(const char* name, int fallback) {
  const char* text = std::getenv(name);
  return text && std::atoi(text) > 0 ? std::atoi(text) : fallback;
}

// One long sample on note 36, played on MIDI device 0 (the pad).
std::string MakeKit(TempDir& dir) {
  WriteWav(dir / "long.wav", std::vector<int16_t>(2 * 44100, 3000));
  CThumperDoc kit;
  ScriptedUi ui;
  kit.OnNewDocument();
  kit.m_nMidiInDevice = 0;
  kit.m_pGroupNames->push_back("Kit");
  *kit.m_pGroupList[0] = {dir / "long.wav"};
  for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(0, l)] = 0;
  kit.m_layerSample[LayerIndex(0, 0)] = {0, 0};
  const std::string path = dir / "kit.drums";
  if (!kit.OnSaveDocument(path, ui)) std::fprintf(stderr, "cannot write %s\n", path.c_str());
  return path;
}

class BusyThreads {
 public:
  explicit BusyThreads(int count) {
    for (int i = 0; i < count; ++i)
      m_threads.emplace_back([this] {
        volatile uint64_t x = 0;
        while (!m_bStop.load(std::memory_order_relaxed)) x = x + 1;
      });
  }
  ~BusyThreads() {
    m_bStop = true;
    for (auto& t : m_threads) t.join();
  }

 private:
  std::atomic<bool> m_bStop{false};
  std::vector<std::thread> m_threads;
};

void BM_JackLossRandomKills(benchmark::State& state) {
  if (!JackServer::Installed()) {
    state.SkipWithError("jackd is not installed");
    return;
  }
  TempDir dir;
  const std::string kit = MakeKit(dir);
  const int runs = FromEnvironment("THUMPER_LOSS_RUNS", 50);
  const int load =
      FromEnvironment("THUMPER_LOSS_LOAD", static_cast<int>(std::thread::hardware_concurrency()));
  std::mt19937 rng(static_cast<unsigned>(FromEnvironment("THUMPER_LOSS_SEED", 20261209)));
  int crashed = 0, hung = 0, done = 0;
  for (auto _ : state) {
    BusyThreads busy(load);
    for (int run = 0; run < runs; ++run) {
      JackServer jack(44100, 256, "thumper-bench-loss");
      if (!jack.Running()) {
        state.SkipWithError(("jackd did not start: " + jack.Failure()).c_str());
        return;
      }
      // Dies with its server; closing a dead client can crash in libjack.
      auto& pad = *new JackMidiSender("pad");
      BackgroundProcess play(ThumperArgv({"play", kit, "--midi", "0"}));
      const int ms = static_cast<int>(rng() % 1500);
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (std::chrono::steady_clock::now() < end) {
        if (pad.Ok()) pad.Send(0x90, 36, 1 + rng() % 127);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
      jack.KillHard();
      std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 700));
      const ProcessResult r = play.Stop(SIGTERM, std::chrono::seconds(10));
      ++done;
      if (r.status == BackgroundProcess::kHung) ++hung;
      if (r.status != 0 && r.status != BackgroundProcess::kHung) ++crashed;
      if (r.status != 0)
        std::fprintf(stderr, "run %d, killed after %d ms: %s (status %d)\n%s\n", run, ms,
                     r.status == BackgroundProcess::kHung ? "hung" : "crashed", r.status,
                     r.err.c_str());
    }
  }
  state.counters["runs"] = done;
  state.counters["crashed"] = crashed;
  state.counters["hung"] = hung;
}
BENCHMARK(BM_JackLossRandomKills)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
}  // namespace thumper::test
