// The mixer's cost: nanoseconds per copy-frame with 1 to 4,096 copies sounding,
// and the most copies one 128-frame block can mix within half its period; the
// same copies of mono samples (one channel in memory, both sides at one gain
// or two), and stereo copies panned and with width (four gains).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "audio/Mixer.h"

namespace thumper {
namespace {

constexpr uint32_t kBlock = 128;
constexpr uint32_t kSampleFrames = 441000;  // 10 s each
constexpr int kDistinctSamples = 16;

// How the copies of a rig are made and started.
enum class Kind { Stereo, Mono, MonoPanned, StereoPanned, StereoWide };

// A mixer with copies copies sounding, spread over 16 distinct samples and
// started at staggered positions, like a busy kit.
struct Rig {
  Reclaimer reclaimer;
  std::unique_ptr<Mixer> mixer;
  std::vector<BufferId> copies;
  Kind kind;

  explicit Rig(uint32_t count, Kind how = Kind::Stereo) : kind(how) {
    const bool mono = kind == Kind::Mono || kind == Kind::MonoPanned;
    Mixer::Options options;
    options.nBufferSlots = std::max<uint32_t>(count + kDistinctSamples, 64);
    options.nQueueCapacity = 2 * options.nBufferSlots;
    mixer = std::make_unique<Mixer>(reclaimer, options);
    std::vector<BufferId> originals;
    for (int s = 0; s < kDistinctSamples; ++s) {
      const uint32_t channels = mono ? 1 : 2;
      auto data = std::make_unique<SampleData>();
      data->pSamples = std::make_unique<int16_t[]>(channels * kSampleFrames);
      data->nFrames = kSampleFrames;
      data->nChannels = channels;
      uint32_t x = 77u + s;
      for (uint32_t i = 0; i < channels * kSampleFrames; ++i) {
        x = x * 1664525u + 1013904223u;
        data->pSamples[i] = static_cast<int16_t>(x >> 20);
      }
      originals.push_back(mixer->AdoptBuffer(std::move(data)));
    }
    for (uint32_t i = 0; i < count; ++i) {
      BufferId b = i < kDistinctSamples ? originals[i]
                                        : mixer->DuplicateBuffer(originals[i % kDistinctSamples]);
      copies.push_back(b);
    }
    Restart();
  }

  void Restart() {
    for (size_t i = 0; i < copies.size(); ++i) {
      const auto start = static_cast<uint32_t>((i * 7919) % 44100);
      const float gain = GainOfAttenuation(-static_cast<long>(i % 3000));
      switch (kind) {
        case Kind::Stereo:
        case Kind::Mono:
          mixer->SetPosition(copies[i], start);
          mixer->SetAttenuation(copies[i], -static_cast<long>(i % 3000));
          mixer->Play(copies[i]);
          break;
        case Kind::MonoPanned:
        case Kind::StereoPanned:
          mixer->Play(copies[i], gain, 0.5f * gain, start);
          break;
        case Kind::StereoWide:
          mixer->Play(copies[i], WidthGains(gain, gain, 0.5f), start);
          break;
      }
    }
  }
};

void BM_MixCopies(benchmark::State& state, Kind kind) {
  const auto count = static_cast<uint32_t>(state.range(0));
  Rig rig(count, kind);
  std::vector<float> out(2 * kBlock);
  uint64_t blocks = 0;
  for (auto _ : state) {
    rig.mixer->Mix(out.data(), kBlock);
    benchmark::DoNotOptimize(out.data());
    if (++blocks % 2000 == 0) rig.Restart();  // before any copy reaches its end
  }
  // Seconds per copy-frame, shown with an SI prefix (p = picoseconds).
  state.counters["per_copy_frame"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * count * kBlock,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
  state.counters["sounding"] = rig.mixer->SoundingVoices();
}
BENCHMARK_CAPTURE(BM_MixCopies, stereo, Kind::Stereo)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->Arg(4096)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MixCopies, mono, Kind::Mono)
    ->Arg(1)
    ->Arg(16)
    ->Arg(256)
    ->Arg(4096)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MixCopies, stereo_panned, Kind::StereoPanned)
    ->Arg(256)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MixCopies, mono_panned, Kind::MonoPanned)
    ->Arg(256)
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_MixCopies, stereo_wide, Kind::StereoWide)
    ->Arg(256)
    ->Unit(benchmark::kMicrosecond);

double MedianBlockSeconds(uint32_t count) {
  Rig rig(count);
  std::vector<float> out(2 * kBlock);
  std::vector<double> times;
  for (int i = 0; i < 5; ++i) rig.mixer->Mix(out.data(), kBlock);  // warm the caches
  for (int i = 0; i < 41; ++i) {
    const auto t0 = std::chrono::steady_clock::now();
    rig.mixer->Mix(out.data(), kBlock);
    times.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
  }
  std::nth_element(times.begin(), times.begin() + 20, times.end());
  return times[20];
}

// Half of a 128-frame period at 44.1 kHz is 1.451 ms.
void BM_MostCopiesInHalfAPeriod(benchmark::State& state) {
  const double budget = 0.5 * kBlock / 44100.0;
  uint32_t best = 0;
  for (auto _ : state) {
    uint32_t lo = 1, hi = 1;
    while (hi < (1u << 17) && MedianBlockSeconds(hi) <= budget) lo = hi, hi *= 2;
    while (hi - lo > std::max<uint32_t>(lo / 64, 1)) {
      const uint32_t mid = lo + (hi - lo) / 2;
      (MedianBlockSeconds(mid) <= budget ? lo : hi) = mid;
    }
    best = lo;
  }
  state.counters["copies"] = best;
}
BENCHMARK(BM_MostCopiesInHalfAPeriod)->Iterations(1)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace thumper
