// Kit loading. Throughput in MB/s of source files on one core and on all
// cores (16-bit 44.1 kHz WAV, 24-bit 48 kHz WAV converted, FLAC); the load of
// Hydrogen's "ForzeeStereo" kit in wall seconds; the same files loaded and
// one note rendered by `thumper render` and by DrumGizmo side by side; and the
// whole kit's first load (cache of converted samples empty) and second load
// (cache warm) beside DrumGizmo's. Every load but the warm ones starts from an
// empty cache, so those figures stay those of a first load.

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "HydrogenKits.h"
#include "ScratchCache.h"
#include "SilentUi.h"
#include "audio/OfflineBackend.h"
#include "audio/SoundDevice.h"
#include "engine/KitLoader.h"
#include "engine/LoadedKit.h"
#include "engine/ThumperRuntime.h"

namespace {

using bench::KitInstrument;

const bench::ScratchCache g_cache;

struct Format {
  const char* name;
  int format;
  int rate;
  const char* ext;
};
const Format kFormats[] = {
    {"wav16_44k", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, "wav"},
    {"wav24_48k", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, "wav"},
    {"flac16_44k", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, "flac"},
};
constexpr int kFiles = 16;

// kFiles stereo files of four seconds of a decaying noisy tone each.
std::vector<std::string> MakeFiles(const Format& f, uint64_t& bytes) {
  std::vector<std::string> paths;
  bytes = 0;
  for (int n = 0; n < kFiles; ++n) {
    const std::string path = bench::TempPath("thumper-bench-load-" + std::string(f.name) + "-" +
                                             std::to_string(n) + "." + f.ext);
    SF_INFO info{};
    info.channels = 2;
    info.samplerate = f.rate;
    info.format = f.format;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    std::vector<float> samples(size_t(2 * 4 * f.rate));
    for (size_t i = 0; i < samples.size(); ++i) {
      const double t = double(i / 2) / f.rate;
      samples[i] = float(0.7 * std::sin(2 * M_PI * (60 + 20 * n) * t) * std::exp(-t) +
                         0.05 * std::sin(double(i * i % 7919)));
    }
    sf_writef_float(file, samples.data(), sf_count_t(samples.size() / 2));
    sf_close(file);
    bytes += std::filesystem::file_size(path);
    paths.push_back(path);
  }
  return paths;
}

// Args: format index, threads (0: one per core).
void BM_LoadThroughput(benchmark::State& state) {
  const Format& f = kFormats[state.range(0)];
  uint64_t bytes = 0;
  const auto paths = MakeFiles(f, bytes);
  std::vector<thumper::KitLoader::Job> jobs;
  for (size_t i = 0; i < paths.size(); ++i) jobs.push_back({int(i), paths[i]});
  thumper::KitLoader loader(unsigned(state.range(1)));
  for (auto _ : state) {
    state.PauseTiming();
    g_cache.Clear();
    state.ResumeTiming();
    loader.Start(jobs, thumper::kOutputRate);
    while (loader.IsRunning()) {
      loader.WaitForFinished(std::chrono::milliseconds(20));
      benchmark::DoNotOptimize(loader.TakeFinished());
    }
  }
  state.SetBytesProcessed(int64_t(state.iterations() * bytes));
  state.SetLabel(std::string(f.name) + (state.range(1) == 1 ? " one core" : " all cores"));
  for (const auto& p : paths) std::filesystem::remove(p);
}
BENCHMARK(BM_LoadThroughput)
    ->ArgsProduct({{0, 1, 2}, {1, 0}})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Every file of the kit as an instrument of its own, so both programs load
// exactly the same files.
std::vector<KitInstrument> ForzeeFiles() {
  std::vector<KitInstrument> kit;
  const std::string dir = bench::kHydrogenKits + "ForzeeStereo";
  if (!std::filesystem::exists(dir)) return kit;
  std::vector<std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir))
    if (e.path().extension() == ".wav") files.push_back(e.path().string());
  std::sort(files.begin(), files.end());
  for (size_t i = 0; i < files.size() && i < 128; ++i) kit.push_back({int(i), {{files[i], 1.0}}});
  return kit;
}

// Every layer of the kit at drums loaded, on all cores, as `thumper play` loads it.
bool LoadWholeKit(const std::string& drums, unsigned threads = 0) {
  thumper::SilentUi ui;
  thumper::CThumperDoc doc;
  thumper::ThumperRuntime runtime(doc, ui, thumper::MakeOfflineBackend());
  runtime.m_loader.SetThreads(threads);
  thumper::SampleListState list;
  if (!doc.OnOpenDocument(drums, ui)) return false;
  runtime.UpdateStep(list, false);
  return true;
}

// The kit load alone, in the program: wall seconds. Arg: threads (0: all cores).
void BM_ForzeeStereoLoad(benchmark::State& state) {
  const auto kit = ForzeeFiles();
  if (kit.empty()) {
    state.SkipWithError("hydrogen-drumkits is not installed");
    return;
  }
  const std::string drums = bench::WriteThumperKit(kit, bench::TempPath("thumper-forzee.drums"));
  for (auto _ : state) {
    state.PauseTiming();
    g_cache.Clear();
    state.ResumeTiming();
    if (!LoadWholeKit(drums, unsigned(state.range(0)))) state.SkipWithError("kit not readable");
  }
  state.SetLabel(std::to_string(kit.size()) + " files" +
                 (state.range(0) == 1 ? ", one core" : ", all cores"));
}
BENCHMARK(BM_ForzeeStereoLoad)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond)->UseRealTime();

// The plugin's kit load (its worker builds the whole kit before it plays) at
// a host's 48 kHz, where every file is also converted to the host's rate.
void BM_ForzeeStereoPluginLoad(benchmark::State& state) {
  const auto kit = ForzeeFiles();
  if (kit.empty()) {
    state.SkipWithError("hydrogen-drumkits is not installed");
    return;
  }
  const std::string drums = bench::WriteThumperKit(kit, bench::TempPath("thumper-forzee.drums"));
  for (auto _ : state) {
    state.PauseTiming();
    g_cache.Clear();
    state.ResumeTiming();
    thumper::SilentUi ui;
    thumper::Reclaimer reclaimer;
    thumper::PulledDevice device(reclaimer, uint32_t(state.range(0)));
    auto loaded = thumper::LoadKit(drums, device, ui);
    if (!loaded || loaded->m_nDroppedLayers) state.SkipWithError("kit not loaded whole");
    benchmark::DoNotOptimize(loaded);
  }
  state.SetLabel(std::to_string(kit.size()) + " files at " + std::to_string(state.range(0)) +
                 " Hz");
}
BENCHMARK(BM_ForzeeStereoPluginLoad)
    ->Arg(44100)
    ->Arg(48000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Load plus one note, `thumper render` against `drumgizmo`, in one run each
// turn: the counters give the seconds of each and their ratio.
void BM_ForzeeStereoSideBySideWithDrumGizmo(benchmark::State& state) {
  const auto kit = ForzeeFiles();
  if (kit.empty() || !bench::HaveProgram("drumgizmo")) {
    state.SkipWithError("hydrogen-drumkits or drumgizmo is not installed");
    return;
  }
  const std::string drums = bench::WriteThumperKit(kit, bench::TempPath("thumper-forzee.drums"));
  const std::string dgDir = bench::TempPath("thumper-forzee-dg");
  const std::string dgKit = bench::WriteDrumGizmoKit(kit, dgDir, 48000);
  // One note, as the first measurement was made: Thumper reads only what the
  // song plays, DrumGizmo the whole kit. So the whole kit's load in the program
  // (as the window and `thumper play` load it) is timed beside them too.
  const std::string oneNote = bench::WriteOneNoteSong(bench::TempPath("thumper-one-note.mid"));
  const std::string out = bench::TempPath("thumper-forzee-out");
  bench::TimedRun thumperOne, thumperAll, drumgizmo;
  for (auto _ : state) {
    bench::RemoveOutputs(out);
    g_cache.Clear();
    const auto t = bench::RunTimed({THUMPER_BINARY, "render", drums, oneNote, "-o", out + ".wav"});
    bench::TimedRun a;
    g_cache.Clear();
    const auto started = std::chrono::steady_clock::now();
    a.nStatus = LoadWholeKit(drums) ? 0 : 1;
    a.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const auto d =
        bench::RunTimed({"drumgizmo", "-i", "midifile", "-I",
                         "file=" + oneNote + ",midimap=" + dgDir + "/midimap.xml", "-o", "wavfile",
                         "-O", "file=" + out + ",srate=44100", "-e", "44100", dgKit});
    if (t.nStatus != 0 || a.nStatus != 0 || d.nStatus != 0) {
      state.SkipWithError("a program failed");
      return;
    }
    thumperOne.Add(t);
    thumperAll.Add(a);
    drumgizmo.Add(d);
  }
  bench::RemoveOutputs(out);
  const double n = double(state.iterations());
  state.counters["thumper_s"] = thumperOne.wall / n;
  state.counters["thumper_whole_kit_s"] = thumperAll.wall / n;
  state.counters["drumgizmo_s"] = drumgizmo.wall / n;
  state.counters["ratio"] = thumperOne.wall / drumgizmo.wall;
  state.counters["ratio_whole_kit"] = thumperAll.wall / drumgizmo.wall;
}
BENCHMARK(BM_ForzeeStereoSideBySideWithDrumGizmo)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The whole kit in the program (as the window and `thumper play` load it),
// first with the cache of converted samples empty, then again with it warm,
// against DrumGizmo's load and one note, in one run each turn. Counters: the
// seconds of each and the two ratios (goals: first at most 0.5, warm 0.1).
void BM_ForzeeStereoCacheSideBySideWithDrumGizmo(benchmark::State& state) {
  const auto kit = ForzeeFiles();
  if (kit.empty() || !bench::HaveProgram("drumgizmo")) {
    state.SkipWithError("hydrogen-drumkits or drumgizmo is not installed");
    return;
  }
  const std::string drums = bench::WriteThumperKit(kit, bench::TempPath("thumper-forzee.drums"));
  const std::string dgDir = bench::TempPath("thumper-forzee-dg");
  const std::string dgKit = bench::WriteDrumGizmoKit(kit, dgDir, 48000);
  const std::string oneNote = bench::WriteOneNoteSong(bench::TempPath("thumper-one-note.mid"));
  const std::string out = bench::TempPath("thumper-forzee-out");
  auto timed = [](const std::string& drums) {
    const auto started = std::chrono::steady_clock::now();
    const bool ok = LoadWholeKit(drums);
    return ok ? std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count()
              : -1.0;
  };
  double first = 0, warm = 0, dg = 0;
  for (auto _ : state) {
    bench::RemoveOutputs(out);
    g_cache.Clear();
    const double f = timed(drums);
    const double w = timed(drums);
    const auto d =
        bench::RunTimed({"drumgizmo", "-i", "midifile", "-I",
                         "file=" + oneNote + ",midimap=" + dgDir + "/midimap.xml", "-o", "wavfile",
                         "-O", "file=" + out + ",srate=44100", "-e", "44100", dgKit});
    if (f < 0 || w < 0 || d.nStatus != 0) {
      state.SkipWithError("a program failed");
      return;
    }
    first += f;
    warm += w;
    dg += d.wall;
  }
  bench::RemoveOutputs(out);
  const double n = double(state.iterations());
  state.counters["thumper_first_s"] = first / n;
  state.counters["thumper_warm_s"] = warm / n;
  state.counters["drumgizmo_s"] = dg / n;
  state.counters["ratio_first"] = first / dg;
  state.counters["ratio_warm"] = warm / dg;
  state.SetLabel(std::to_string(kit.size()) + " files, whole kit, all cores");
}
BENCHMARK(BM_ForzeeStereoCacheSideBySideWithDrumGizmo)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
