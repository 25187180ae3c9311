// Samples streamed from disk under load: 256 voices of streamed samples play
// at once, in real time at a period of 128 frames (48 kHz), new voices
// starting all the while, for 60 s (THUMPER_BENCH_STREAM_SECONDS to change
// it). Reported: the underruns (goal 0), the longest a block took from being
// asked for to being in, against the head that must cover it, and the share
// of the period the mix took on average and at worst (a busy machine's
// preemption shows in the worst). Run with the page cache warm (the
// entries just written), then cold (dropped from it with POSIX_FADV_DONTNEED)
// for a measure of a disk's own delay.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sndfile.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "HydrogenKits.h"
#include "audio/Mixer.h"
#include "audio/SampleCache.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr uint32_t kRate = 48000;
constexpr uint32_t kPeriod = 128;
constexpr uint32_t kVoices = 256;
constexpr double kSampleSeconds = 3.0;

double Seconds() {
  const char* text = std::getenv("THUMPER_BENCH_STREAM_SECONDS");
  const double s = text ? std::atof(text) : 60.0;
  return s > 0 ? s : 60.0;
}

// kVoices distinct mono 16-bit files at the mixer's rate, decaying noise.
std::vector<std::string> WriteSamples(const std::string& folder) {
  fs::create_directories(folder);
  std::vector<std::string> paths;
  const auto frames = static_cast<sf_count_t>(kSampleSeconds * kRate);
  std::vector<short> data(static_cast<size_t>(frames));
  uint32_t noise = 12345;
  for (uint32_t k = 0; k < kVoices; ++k) {
    for (sf_count_t i = 0; i < frames; ++i) {
      noise = noise * 1664525u + 1013904223u;
      const double decay = std::exp(-3.0 * static_cast<double>(i) / static_cast<double>(frames));
      data[size_t(i)] = static_cast<short>(static_cast<int16_t>(noise >> 16) * 0.5 * decay);
    }
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = kRate;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    paths.push_back(folder + "/s" + std::to_string(k) + ".wav");
    SNDFILE* f = sf_open(paths.back().c_str(), SFM_WRITE, &info);
    sf_writef_short(f, data.data(), frames);
    sf_close(f);
  }
  return paths;
}

// Drops every file of folder from the page cache (clean pages only: they are).
void DropFromPageCache(const std::string& folder) {
  for (const auto& e : fs::recursive_directory_iterator(folder)) {
    if (!e.is_regular_file()) continue;
    const int fd = ::open(e.path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ::fdatasync(fd);
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
  }
}

void Run(benchmark::State& state, bool cold) {
  const std::string folder = bench::TempPath("thumper-bench-stream-" + std::to_string(::getpid()));
  const std::vector<std::string> paths = WriteSamples(folder + "/kit");
  thumper::Reclaimer reclaimer;
  thumper::Mixer::Options options;
  options.nSampleRate = kRate;
  thumper::Mixer mixer(reclaimer, options);
  thumper::SampleStreamer& streamer = mixer.PrepareStreaming(kVoices);
  thumper::SampleCache cache(folder + "/cache");
  // Two copies of each, so a copy is never restarted while it still sounds.
  std::vector<thumper::BufferId> copies;
  for (const std::string& path : paths) {
    thumper::DecodedSample d =
        cache.DecodeStreamed(path, kRate, thumper::SampleStreamer::kHeadFrames);
    if (!d.pData || !d.pData->pStreamFile) {
      state.SkipWithError("a sample did not stream");
      return;
    }
    const thumper::BufferId id = mixer.AdoptBuffer(std::move(d.pData));
    copies.push_back(id);
    copies.push_back(mixer.DuplicateBuffer(id));
  }
  if (cold) DropFromPageCache(folder);

  const double seconds = cold ? std::min(10.0, Seconds()) : Seconds();
  const auto cycles = static_cast<uint64_t>(seconds * kRate / kPeriod);
  // A new voice every so many cycles keeps kVoices of them sounding.
  const double startEvery = kSampleSeconds * kRate / kPeriod / kVoices;
  std::vector<float> out(2 * kPeriod);
  double worstMix = 0, totalMix = 0, sounding = 0;
  uint64_t started = 0;
  for (auto _ : state) {
    const auto period = std::chrono::nanoseconds(uint64_t(1e9 * kPeriod / kRate));
    auto deadline = Clock::now();
    for (uint64_t c = 0; c < cycles; ++c) {
      while (static_cast<double>(started) < static_cast<double>(c + 1) / startEvery) {
        mixer.Play(copies[started % copies.size()], 0.1f, 0.1f, 0);
        ++started;
      }
      const auto t0 = Clock::now();
      mixer.Mix(out.data(), kPeriod);
      const double took = std::chrono::duration<double>(Clock::now() - t0).count();
      worstMix = std::max(worstMix, took);
      totalMix += took;
      sounding += mixer.SoundingVoices();
      if (c % 1024 == 0) reclaimer.Reclaim();
      deadline += period;
      std::this_thread::sleep_until(deadline);
    }
  }
  const double periodSeconds = double(kPeriod) / kRate;
  state.counters["underruns"] = double(streamer.Underruns());
  state.counters["worst_block_ms"] = double(streamer.WorstDelayMicros()) / 1000.0;
  state.counters["head_ms"] = 1000.0 * thumper::SampleStreamer::kHeadFrames / kRate;
  state.counters["voices_avg"] = sounding / double(cycles);
  state.counters["worst_mix_pct_of_period"] = 100.0 * worstMix / periodSeconds;
  state.counters["mix_avg_pct_of_period"] = 100.0 * totalMix / double(cycles) / periodSeconds;
  state.SetLabel(std::string(cold ? "page cache cold" : "page cache warm") + ", " +
                 std::to_string(int(seconds)) + " s; goal: 0 underruns");
  mixer.StopAll();
  std::error_code error;
  fs::remove_all(folder, error);
}

void BM_StreamedVoices256WarmPageCache(benchmark::State& state) {
  Run(state, false);
}
void BM_StreamedVoices256ColdPageCache(benchmark::State& state) {
  Run(state, true);
}
BENCHMARK(BM_StreamedVoices256WarmPageCache)->Iterations(1)->Unit(benchmark::kSecond);
BENCHMARK(BM_StreamedVoices256ColdPageCache)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
