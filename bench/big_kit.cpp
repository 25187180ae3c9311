// A big multi-mic kit (4,000 mono 24-bit 48 kHz FLAC files, about 350 MB, 16
// regions a note) as a drummer meets it. In the program, as `thumper play`
// loads it: the time to the first note that plays and to the whole kit, with
// the cache of converted samples empty and warm. As `thumper render` of a song
// that hits every drum: the program's peak memory, without a budget and with
// `--memory 256`, beside DrumGizmo on the same files (its whole kit, and its
// streaming with a preload limit of 256M). Each figure is printed with its goal.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "HydrogenKits.h"
#include "MultiMicKit.h"
#include "ScratchCache.h"
#include "SilentUi.h"
#include "audio/OfflineBackend.h"
#include "engine/KitMemory.h"
#include "engine/ThumperRuntime.h"
#include "kits/KitPrograms.h"

#ifndef THUMPER_BENCH_DATA_DIR
#define THUMPER_BENCH_DATA_DIR "/tmp"
#endif

namespace {

using bench::MultiMicKit;
using Clock = std::chrono::steady_clock;

const bench::ScratchCache g_cache;
// Whether the scratch cache holds the whole kit (a load or render filled it).
bool g_bCacheWarm = false;

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

std::string Fixed(double value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", digits, value);
  return text;
}

const MultiMicKit& Kit() {
  static const MultiMicKit kit = [] {
    MultiMicKit made(THUMPER_BENCH_DATA_DIR "/multi-mic-kit");
    if (made.Generated())
      std::fprintf(stderr, "multi-mic kit: %d files, %.0f MB, made in %.1f s in %s\n",
                   MultiMicKit::kFiles, double(made.SourceBytes()) / 1e6, made.GenerateSeconds(),
                   made.Dir().c_str());
    return made;
  }();
  return kit;
}

bool KitMissing(benchmark::State& state) {
  if (Kit().SourceBytes() > 0 && std::filesystem::exists(Kit().SfzPath())) return false;
  state.SkipWithError("the multi-mic kit could not be made");
  return true;
}

// What the samples take decoded at the mixer's rate: what a kit held whole needs.
double DecodedMegabytes() {
  static const double mb = [] {
    thumper::KitProgramResult read = thumper::ReadKitProgram(Kit().SfzPath());
    return read.program
               ? double(thumper::KitSampleBytes(*read.program, nullptr, thumper::kOutputRate)) / 1e6
               : 0.0;
  }();
  return mb;
}

struct LoadFigures {
  double fReadSfz = 0;    // the SFZ file read and compiled
  double fFirstNote = 0;  // from the load's start until a note plays
  double fWholeKit = 0;   // from the load's start until every sample is in
  int nFirstNote = -1;
  int nLoaded = 0, nWanted = 0;
  // Megabytes: the heap the loaded kit holds, and how far the resident memory
  // rose during the load (seen at each poll) above where it started.
  double fHeapMb = 0, fRssRiseMb = 0;
  std::string strError;
};

uint64_t HeapBytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return uint64_t(info.uordblks) + uint64_t(info.hblkhd);
}

// The kilobytes of a process's resident memory now, or of its high-water mark.
long StatusKb(const std::string& process, const char* field) {
  std::ifstream in("/proc/" + process + "/status");
  const size_t length = std::strlen(field);
  for (std::string line; std::getline(in, line);)
    if (line.compare(0, length, field) == 0) return std::atol(line.c_str() + length);
  return 0;
}

// Opens the kit as `thumper play` does (samples decoded in the background, a
// note published once all its samples are in) and watches the trigger's notes.
LoadFigures LoadAsPlayDoes() {
  LoadFigures f;
  thumper::SilentUi ui;
  thumper::CThumperDoc doc;
  thumper::ThumperRuntime runtime(doc, ui, thumper::MakeOfflineBackend());
  runtime.m_bLoadInBackground = true;
  const uint64_t heapAtStart = HeapBytes();
  const long rssAtStart = StatusKb("self", "VmRSS:");
  long rssPeak = rssAtStart;
  const auto opened = Clock::now();
  thumper::KitProgramResult read = thumper::ReadKitProgram(Kit().SfzPath());
  if (!read.program) {
    f.strError = read.strError;
    return f;
  }
  f.fReadSfz = Since(opened);
  const auto started = Clock::now();
  if (runtime.PlayKitProgram(std::move(*read.program), 1) < 0) {
    f.strError = "the kit was refused for its memory";
    return f;
  }
  // A note plays once it has sets and is no longer marked loading.
  const auto playable = [&] {
    const thumper::PlayProgram& program = runtime.m_trigger.Current().m_program;
    for (int n = 0; n < thumper::PlayProgram::kNoteCount; ++n)
      if (!program.m_note[size_t(n)].bLoading && program.m_note[size_t(n)].nSetCount > 0) return n;
    return -1;
  };
  for (;;) {
    if (f.nFirstNote < 0 && (f.nFirstNote = playable()) >= 0) f.fFirstNote = Since(started);
    if (!runtime.IsLoading()) break;
    runtime.m_loader.WaitForFinished(std::chrono::milliseconds(5));
    runtime.Poll();
    rssPeak = std::max(rssPeak, StatusKb("self", "VmRSS:"));
  }
  f.fWholeKit = Since(started);
  f.fHeapMb = double(HeapBytes() - std::min(HeapBytes(), heapAtStart)) / 1e6;
  f.fRssRiseMb = double(rssPeak - rssAtStart) * 1024 / 1e6;
  f.nLoaded = runtime.KitSamplesLoaded();
  f.nWanted = runtime.KitSamplesWanted();
  if (f.nFirstNote < 0) f.strError = "no note became playable";
  return f;
}

// Arg: 0 the cache of converted samples empty, 1 warm (filled by a load first).
void BM_BigKitFirstNoteAndWholeKit(benchmark::State& state) {
  if (KitMissing(state)) return;
  const bool warm = state.range(0) == 1;
  LoadFigures f;
  for (auto _ : state) {
    state.PauseTiming();
    if (!warm) {
      g_cache.Clear();
      g_bCacheWarm = false;
    }
    if (warm && !g_bCacheWarm) LoadAsPlayDoes();
    state.ResumeTiming();
    f = LoadAsPlayDoes();
    state.SetIterationTime(f.fWholeKit);
    if (!f.strError.empty()) {
      state.SkipWithError(f.strError.c_str());
      return;
    }
    g_bCacheWarm = f.nLoaded == f.nWanted;
  }
  state.counters["read_sfz_s"] = f.fReadSfz;
  state.counters["first_note_s"] = f.fFirstNote;
  state.counters["whole_kit_s"] = f.fWholeKit;
  state.counters["samples"] = f.nLoaded;
  state.counters["heap_MB"] = f.fHeapMb;
  state.counters["rss_rise_MB"] = f.fRssRiseMb;
  state.counters["source_MB"] = double(Kit().SourceBytes()) / 1e6;
  state.SetLabel(std::string(warm ? "warm cache" : "cold cache") + ": first note (" +
                 std::to_string(f.nFirstNote) + ") " + Fixed(f.fFirstNote, 2) +
                 " s (goal 1 s), whole kit " + Fixed(f.fWholeKit, 2) + " s" +
                 (warm ? " (goal 2 s)" : "") + ", SFZ read " + Fixed(f.fReadSfz, 2) + " s, " +
                 std::to_string(f.nLoaded) + " of " + std::to_string(f.nWanted) + " samples");
}
BENCHMARK(BM_BigKitFirstNoteAndWholeKit)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

struct PeakRun {
  int nStatus = -1;  // the exit status; -1: not started or killed
  double fWall = 0;
  double fPeakMb = 0;  // the child's VmHWM
  std::string strError;
};

// Runs a program (its output to /dev/null, its standard error kept) and
// follows its memory's high-water mark until it ends. Read from /proc while it
// runs, because the ru_maxrss that wait4 gives a spawned child starts from
// this process's own peak, and after the loads above that is a kit's worth.
PeakRun RunWithPeak(const std::vector<std::string>& argv) {
  PeakRun run;
  const std::string errors =
      bench::TempPath("thumper-bench-big-kit-" + std::to_string(::getpid()) + ".err");
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const auto started = Clock::now();
  pid_t pid = 0;
  const int spawned = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return run;
  long peak = 0;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    peak = std::max(peak, StatusKb(std::to_string(pid), "VmHWM:"));
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  run.fWall = Since(started);
  run.fPeakMb = double(peak) * 1024 / 1e6;
  run.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  std::ifstream in(errors);
  std::stringstream text;
  text << in.rdbuf();
  run.strError = text.str();
  std::filesystem::remove(errors);
  return run;
}

// The last line a program wrote to standard error, without its progress lines.
std::string LastMessage(const std::string& errors) {
  std::string last;
  std::istringstream in(errors);
  for (std::string line; std::getline(in, line);) {
    if (const size_t cr = line.rfind('\r'); cr != std::string::npos) line = line.substr(cr + 1);
    if (!line.empty()) last = line;
  }
  return last;
}

enum Player { kThumperCold, kThumperWarm, kDrumGizmo };

// Args: player, budget in MB (0: none). Runs the song that hits every drum.
void BM_BigKitRenderPeakMemory(benchmark::State& state) {
  if (KitMissing(state)) return;
  const auto player = Player(state.range(0));
  const int budget = int(state.range(1));
  const std::string out = bench::TempPath("thumper-bench-big-kit-out");
  // DrumGizmo's preload limit, in its own units.
  const std::string dgLimit = std::to_string(budget) + "M";
  std::vector<std::string> argv;
  if (player == kDrumGizmo) {
    if (!bench::HaveProgram("drumgizmo")) {
      state.SkipWithError("drumgizmo is not installed");
      return;
    }
    argv = {"drumgizmo",
            "-i",
            "midifile",
            "-I",
            "file=" + Kit().SongPath() + ",midimap=" + Kit().DrumGizmoMidimap(),
            "-o",
            "wavfile",
            "-O",
            "file=" + out + ",srate=44100",
            "-e",
            std::to_string(MultiMicKit::kSongFrames)};
    if (budget > 0) argv.insert(argv.end(), {"-s", "-S", "limit=" + dgLimit});
    argv.push_back(Kit().DrumGizmoKit());
  } else {
    if (!std::filesystem::exists(THUMPER_BINARY)) {
      state.SkipWithError("the thumper program is not built");
      return;
    }
    argv = {THUMPER_BINARY, "render", Kit().SfzPath(), Kit().SongPath(), "-o", out + ".wav"};
    if (budget > 0) argv.insert(argv.end(), {"--memory", std::to_string(budget)});
  }
  PeakRun run;
  for (auto _ : state) {
    state.PauseTiming();
    if (player == kThumperCold) {
      g_cache.Clear();
      g_bCacheWarm = false;
    }
    if (player == kThumperWarm && !g_bCacheWarm)
      g_bCacheWarm = RunWithPeak({THUMPER_BINARY, "render", Kit().SfzPath(), Kit().SongPath(), "-o",
                                  out + ".wav"})
                         .nStatus == 0;
    state.ResumeTiming();
    run = RunWithPeak(argv);
    state.SetIterationTime(run.fWall);
  }
  bench::RemoveOutputs(out);
  const std::string who =
      player == kDrumGizmo
          ? std::string("drumgizmo")
          : std::string("thumper render, ") + (player == kThumperCold ? "cold" : "warm") + " cache";
  const std::string limit = budget == 0            ? ", no budget"
                            : player == kDrumGizmo ? ", streaming, -S limit=" + dgLimit
                                                   : ", --memory " + std::to_string(budget);
  const std::string goal = budget > 0 && player != kDrumGizmo ? " (goal 300 MB)" : "";
  if (player != kDrumGizmo) state.counters["decoded_MB"] = DecodedMegabytes();
  state.counters["wall_s"] = run.fWall;
  state.counters["exit_status"] = run.nStatus;
  if (run.nStatus == 0) {
    state.counters["peak_MB"] = run.fPeakMb;
    state.SetLabel(who + limit + ": peak " + Fixed(run.fPeakMb, 0) + " MB" + goal + " in " +
                   Fixed(run.fWall, 2) + " s" +
                   (player == kDrumGizmo
                        ? std::string()
                        : "; its samples take " + Fixed(DecodedMegabytes(), 0) + " MB decoded"));
    if (player != kDrumGizmo && budget == 0) g_bCacheWarm = true;
    return;
  }
  const std::string message = LastMessage(run.strError);
  // A kit past the budget is refused with a message (exit 2): that is the
  // figure until it streams. Anything else is a failure.
  if (player == kDrumGizmo || budget == 0 || run.nStatus != 2) {
    state.SkipWithError(
        ("the run failed (exit " + std::to_string(run.nStatus) + "): " + message).c_str());
    return;
  }
  state.counters["refused"] = 1;
  state.SetLabel(who + limit + ": refused (exit 2)" + goal + ": " +
                 (message.empty() ? "no message" : message));
}
BENCHMARK(BM_BigKitRenderPeakMemory)
    ->Args({kThumperCold, 0})
    ->Args({kThumperWarm, 0})
    ->Args({kThumperWarm, 256})
    ->Args({kDrumGizmo, 0})
    ->Args({kDrumGizmo, 256})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace
