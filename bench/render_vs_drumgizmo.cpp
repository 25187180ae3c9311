// The dense ten-minute groove (about 7,000 hits) rendered through Hydrogen's
// "Millo_MultiLayered3" kit by `thumper render` and by DrumGizmo, side by
// side: Thumper's speed as a multiple of real time, its wall and CPU seconds,
// and its time as a share of DrumGizmo's, writing new files and writing over
// the last ones. Thumper plays the kit once as the drum set `import` makes of
// it (argument 0) and once as the kit itself, every layer as Hydrogen plays it (1).

#include <benchmark/benchmark.h>

#include "DenseSong.h"
#include "HydrogenKits.h"
#include "ScratchCache.h"
#include "midi/MidiFile.h"

namespace {

// The first render fills it; the rest read the kit from it.
const bench::ScratchCache g_cache;

void BM_RenderDenseTenMinutesSideBySide(benchmark::State& state) {
  const auto kit = bench::ReadHydrogenKit("Millo_MultiLayered3");
  if (kit.empty() || !bench::HaveProgram("drumgizmo")) {
    state.SkipWithError("hydrogen-drumkits or drumgizmo is not installed");
    return;
  }
  const std::string song = bench::WriteDenseSong();
  const auto parsed = thumper::ReadMidiFile(song);
  const std::string drums = bench::WriteThumperKit(kit, bench::TempPath("thumper-millo.drums"));
  const std::string dgDir = bench::TempPath("thumper-millo-dg");
  const std::string dgKit = bench::WriteDrumGizmoKit(kit, dgDir, 44100);
  const std::string out = bench::TempPath("thumper-millo-out");
  const std::string frames = std::to_string(int64_t((parsed.song.endSeconds + 2) * 44100));
  const bool native = state.range(0) == 1;
  state.SetLabel(native ? "the kit itself" : "imported drum set");
  const std::string played = native ? bench::kHydrogenKits + "Millo_MultiLayered3" : drums;
  const std::vector<std::string> thumperArgs = {THUMPER_BINARY, "render", played,
                                                song,           "-o",     out + ".wav"};
  const std::vector<std::string> dgArgs = {"drumgizmo",
                                           "-i",
                                           "midifile",
                                           "-I",
                                           "file=" + song + ",midimap=" + dgDir + "/midimap.xml",
                                           "-o",
                                           "wavfile",
                                           "-O",
                                           "file=" + out + ",srate=44100",
                                           "-e",
                                           frames,
                                           dgKit};
  // Each program writes a new file, as a first render does; then each writes
  // over its last output, which also makes the kernel free that file's 100 MB.
  bench::TimedRun thumperRun, dgRun, thumperOver, dgOver;
  for (auto _ : state) {
    bench::RemoveOutputs(out);
    const auto t = bench::RunTimed(thumperArgs);
    const auto d = bench::RunTimed(dgArgs);
    const auto tOver = bench::RunTimed(thumperArgs);
    const auto dOver = bench::RunTimed(dgArgs);
    if (t.nStatus != 0 || d.nStatus != 0 || tOver.nStatus != 0 || dOver.nStatus != 0) {
      state.SkipWithError("a program failed");
      return;
    }
    thumperRun.Add(t);
    dgRun.Add(d);
    thumperOver.Add(tOver);
    dgOver.Add(dOver);
  }
  bench::RemoveOutputs(out);
  const double n = double(state.iterations());
  state.counters["thumper_x_realtime"] = parsed.song.endSeconds * n / thumperRun.wall;
  state.counters["thumper_wall_s"] = thumperRun.wall / n;
  state.counters["thumper_cpu_s"] = thumperRun.cpu / n;
  state.counters["drumgizmo_wall_s"] = dgRun.wall / n;
  state.counters["drumgizmo_cpu_s"] = dgRun.cpu / n;
  state.counters["ratio"] = thumperRun.wall / dgRun.wall;
  state.counters["thumper_over_wall_s"] = thumperOver.wall / n;
  state.counters["drumgizmo_over_wall_s"] = dgOver.wall / n;
  state.counters["ratio_over"] = thumperOver.wall / dgOver.wall;
}
BENCHMARK(BM_RenderDenseTenMinutesSideBySide)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
