// Offline rendering speed, as a multiple of real time, through the whole
// `thumper render` command: loading the kit, reading the song, the trigger, the
// mixer and writing the WAV file. The demo groove, and a dense ten-minute song of
// about 7,000 hits on the demo kit.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "DenseSong.h"
#include "app/cli/CommandLine.h"
#include "midi/MidiFile.h"
#include "midi/SmfBytes.h"

namespace {

const std::string kDemoDir = THUMPER_DEMO_DIR;

void Render(benchmark::State& state, const std::string& song, bool asFloat) {
  const std::string out = (std::filesystem::temp_directory_path() / "thumper-bench.wav").string();
  const auto parsed = thumper::ReadMidiFile(song);
  if (!parsed.ok()) {
    state.SkipWithError(parsed.message.c_str());
    return;
  }
  thumper::cli::Args args{kDemoDir + "/demo.drums", song, "-o", out};
  if (asFloat) args.push_back("--float");
  double seconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    if (thumper::cli::RunRender(args) != 0) {
      state.SkipWithError("render failed");
      return;
    }
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  }
  const double songSeconds = parsed.song.endSeconds;
  state.counters["x_realtime"] = songSeconds * static_cast<double>(state.iterations()) / seconds;
  std::filesystem::remove(out);
}

void BM_RenderDemoGroove(benchmark::State& state) {
  Render(state, kDemoDir + "/demo.mid", false);
}
BENCHMARK(BM_RenderDemoGroove)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderDenseTenMinutes(benchmark::State& state) {
  static const std::string song = bench::WriteDenseSong();
  Render(state, song, false);
}
BENCHMARK(BM_RenderDenseTenMinutes)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderDenseTenMinutesFloat(benchmark::State& state) {
  static const std::string song = bench::WriteDenseSong();
  Render(state, song, true);
}
BENCHMARK(BM_RenderDenseTenMinutesFloat)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
