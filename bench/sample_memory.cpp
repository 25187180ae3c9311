// Sample memory of the installed Hydrogen kits ForzeeStereo (stereo files) and
// GMRockKit (mono files): what the decoded samples of the whole kit hold now
// (a mono file kept as one channel), beside what the same frames held as the
// doubled stereo every file used to be read as, at the two usual mixer rates.
// The heap the held samples really take is measured too (malloc's own count).

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "HydrogenKits.h"
#include "audio/SampleDecoder.h"

namespace {

// Bytes the heap has handed out and not taken back.
uint64_t HeapBytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return uint64_t(info.uordblks) + uint64_t(info.hblkhd);
}

void BM_KitSampleMemory(benchmark::State& state, const std::string& kitName) {
  const auto kit = bench::ReadHydrogenKit(kitName);
  if (kit.empty()) {
    state.SkipWithError(("Hydrogen kit " + kitName + " not installed (hydrogen-drumkits)").c_str());
    return;
  }
  std::set<std::string> files;
  for (const auto& inst : kit)
    for (const auto& layer : inst.layers) files.insert(layer.first);
  const auto rate = static_cast<uint32_t>(state.range(0));
  double before = 0, after = 0, heap = 0, monoFiles = 0;
  for (auto _ : state) {
    before = after = monoFiles = 0;
    std::vector<thumper::DecodedSample> held;
    const uint64_t heapAtStart = HeapBytes();
    for (const std::string& file : files) {
      thumper::DecodedSample d = thumper::DecodeSampleFile(file, rate);
      if (!d.pData) continue;
      const double frames = double(d.pData->nFrames);
      before += 4 * frames;  // 16-bit stereo, a mono file's channel doubled
      after += 2 * frames * d.pData->nChannels;
      monoFiles += d.pData->nChannels == 1;
      held.push_back(std::move(d));
    }
    heap = double(HeapBytes() - std::min(HeapBytes(), heapAtStart));
  }
  state.counters["files"] = double(files.size());
  state.counters["mono_files"] = monoFiles;
  state.counters["stereo_MB"] = before / 1e6;
  state.counters["kept_MB"] = after / 1e6;
  state.counters["kept_ratio"] = before > 0 ? after / before : 0;
  state.counters["heap_MB"] = heap / 1e6;
}

BENCHMARK_CAPTURE(BM_KitSampleMemory, ForzeeStereo, std::string("ForzeeStereo"))
    ->Arg(44100)
    ->Arg(48000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_KitSampleMemory, GMRockKit, std::string("GMRockKit"))
    ->Arg(44100)
    ->Arg(48000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond);

}  // namespace
