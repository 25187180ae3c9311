// A large SFZ kit as the hosts load and play it: a generated multi-mic layout
// of 4,000 mono FLAC files (about 350 MB: 10 drums, 5 velocity layers of 5
// round robins, 16 mics, so each hit starts 16 regions). Its load (read,
// compile, decode on one core and on all cores, build for the trigger) in
// wall time with the heap the samples hold and the process's peak; the cost
// of a note-on; and the share of a 128-frame cycle the mixer takes while 64
// hits ring (1,024 voices).

#include <benchmark/benchmark.h>
#include <malloc.h>
#include <sndfile.h>
#include <sys/resource.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "HydrogenKits.h"
#include "ScratchCache.h"
#include "SilentUi.h"
#include "audio/SoundDevice.h"
#include "engine/KitLoader.h"
#include "engine/KitProgramVoices.h"
#include "kits/KitPrograms.h"
#include "play/NoteTrigger.h"

namespace {

namespace fs = std::filesystem;

const bench::ScratchCache g_cache;

constexpr int kDrums = 10, kLayers = 5, kTurns = 5, kMics = 16;
constexpr int kFrames = 50000;  // 1.1 s: with the noise, about 87 kB of FLAC a file

uint64_t HeapBytes() {
  const struct mallinfo2 info = ::mallinfo2();
  return uint64_t(info.uordblks) + uint64_t(info.hblkhd);
}

double PeakMegabytes() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}

// Made once per run, removed at its end.
class GeneratedKit {
 public:
  GeneratedKit() : m_dir(bench::TempPath("thumper-bench-sfz-load-" + std::to_string(::getpid()))) {
    fs::create_directories(m_dir + "/samples");
    std::string text = "<control> default_path=samples/\n<global> loop_mode=one_shot\n";
    std::vector<float> samples(kFrames);
    uint32_t noise = 1;
    for (int drum = 0; drum < kDrums; ++drum) {
      text +=
          "<master> key=" + std::to_string(36 + drum) + (drum == 6 ? " group=1 off_by=1\n" : "\n");
      for (int layer = 0; layer < kLayers; ++layer) {
        text += "<group> lovel=" + std::to_string(1 + 26 * layer) +
                " hivel=" + std::to_string(layer == kLayers - 1 ? 127 : 26 * (layer + 1)) +
                " seq_length=" + std::to_string(kTurns) + "\n";
        for (int turn = 0; turn < kTurns; ++turn)
          for (int mic = 0; mic < kMics; ++mic) {
            const std::string name = "d" + std::to_string(drum) + "v" + std::to_string(layer) +
                                     "r" + std::to_string(turn) + "m" + std::to_string(mic) +
                                     ".flac";
            for (int i = 0; i < kFrames; ++i) {
              noise = noise * 1664525u + 1013904223u;
              const double t = i / 44100.0;
              samples[size_t(i)] =
                  float(0.5 * std::sin(2 * M_PI * (50 + 30 * drum + mic) * t) * std::exp(-3 * t) +
                        0.3 * (double(noise >> 8) / 16777216.0 - 0.5));
            }
            SF_INFO info{};
            info.channels = 1;
            info.samplerate = 44100;
            info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
            const std::string path = m_dir + "/samples/" + name;
            SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
            sf_writef_float(file, samples.data(), kFrames);
            sf_close(file);
            m_nBytes += fs::file_size(path);
            text += "<region> seq_position=" + std::to_string(turn + 1) + " sample=" + name +
                    " pan=" + std::to_string(mic * 12 - 90) + "\n";
          }
      }
    }
    std::ofstream(m_dir + "/kit.sfz") << text;
  }
  ~GeneratedKit() {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  std::string Path() const { return m_dir + "/kit.sfz"; }
  uint64_t Bytes() const { return m_nBytes; }

 private:
  std::string m_dir;
  uint64_t m_nBytes = 0;
};

const GeneratedKit& Kit() {
  static const GeneratedKit kit;
  return kit;
}

// The kit loaded as a host loads it, on a mixer of its own.
struct LoadedSfzKit {
  thumper::SilentUi ui;
  thumper::Reclaimer reclaimer;
  thumper::PulledDevice device{reclaimer, 44100};
  thumper::KitProgram program;
  thumper::KitProgramVoices voices;
  std::unique_ptr<thumper::TriggerState> state;
  bool bOk = false;
  std::string strWhy;

  explicit LoadedSfzKit(unsigned threads) {
    thumper::KitProgramResult read = thumper::ReadKitProgram(Kit().Path());
    if (!read.program) {
      strWhy = read.strError;
      return;
    }
    program = std::move(*read.program);
    thumper::KitLoader loader(threads);
    voices = thumper::LoadKitProgramVoices(program, device, ui, loader);
    state = thumper::BuildKitTriggerState(program, voices.refs, device.SampleRate(), 1);
    // Counted rather than refused: the mixer's table of copies bounds how
    // many samples become voices (see the voices_made counter).
    bOk = voices.nLoaded > 0;
    if (!bOk) strWhy = "no sample became a voice";
  }
};

// Arg: threads (0: one per core).
void BM_SfzKitLoad4000Flac(benchmark::State& state) {
  Kit();
  double heap = 0, made = 0;
  for (auto _ : state) {
    state.PauseTiming();
    g_cache.Clear();
    const uint64_t heapAtStart = HeapBytes();
    state.ResumeTiming();
    LoadedSfzKit kit(unsigned(state.range(0)));
    state.PauseTiming();
    if (!kit.bOk) {
      state.SkipWithError(kit.strWhy.c_str());
      break;
    }
    heap = double(HeapBytes() - std::min(HeapBytes(), heapAtStart));
    made = kit.voices.nLoaded;
    state.ResumeTiming();
  }
  state.counters["source_MB"] = double(Kit().Bytes()) / 1e6;
  state.counters["heap_MB"] = heap / 1e6;
  state.counters["voices_made"] = made;
  state.counters["peak_rss_MB"] = PeakMegabytes();
  state.SetLabel(state.range(0) == 1 ? "one core" : "all cores");
}
BENCHMARK(BM_SfzKitLoad4000Flac)
    ->Arg(1)
    ->Arg(0)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

struct PlayingKit {
  LoadedSfzKit kit{0};
  thumper::NoteTrigger trigger{kit.reclaimer};
  thumper::RtReader* reader = kit.reclaimer.RegisterReader();
  std::vector<float> out = std::vector<float>(2 * 128);
  uint32_t nHit = 0;

  PlayingKit() { trigger.Publish(std::move(kit.state)); }
  ~PlayingKit() { kit.reclaimer.UnregisterReader(reader); }
  // The next of a spread of hits: every drum, velocity and turn in time.
  void Hit() {
    ++nHit;
    trigger.OnMidiMessage(*reader,
                          thumper::PackShortMessage(0x90, uint8_t(36 + nHit % kDrums),
                                                    uint8_t(1 + (nHit * 37) % 127)),
                          0);
  }
  void Mix() { kit.device.GetMixer().Mix(out.data(), 128); }
};

void BM_SfzNoteOn(benchmark::State& state) {
  PlayingKit playing;
  if (!playing.kit.bOk) {
    state.SkipWithError(playing.kit.strWhy.c_str());
    return;
  }
  size_t i = 0;
  for (auto _ : state) {
    playing.Hit();
    if ((++i & 15) == 0) {
      state.PauseTiming();
      playing.kit.device.GetMixer().StopAll();
      playing.Mix();
      thumper::NoteEvent e;
      while (playing.trigger.PopNoteEvent(e)) {
      }
      state.ResumeTiming();
    }
  }
  state.SetLabel("16 regions started of 400 weighed");
}
BENCHMARK(BM_SfzNoteOn);

// One 128-frame cycle while 64 hits of 16 mics ring; cpu_share is its time
// over the cycle's 2.9 ms.
void BM_SfzCycleWith1024Voices(benchmark::State& state) {
  PlayingKit playing;
  if (!playing.kit.bOk) {
    state.SkipWithError(playing.kit.strWhy.c_str());
    return;
  }
  thumper::Mixer& mixer = playing.kit.device.GetMixer();
  double sounding = 0, seconds = 0;
  uint64_t cycles = 0;
  for (auto _ : state) {
    // Hits again once the last ones have begun to end.
    if (mixer.SoundingVoices() < 960) {
      state.PauseTiming();
      mixer.StopAll();
      for (int i = 0; i < 8; ++i) playing.Mix();
      for (int h = 0; h < 64; ++h) playing.Hit();
      thumper::NoteEvent e;
      while (playing.trigger.PopNoteEvent(e)) {
      }
      playing.Mix();  // the commands taken, outside the timing
      state.ResumeTiming();
    }
    const auto start = std::chrono::steady_clock::now();
    playing.Mix();
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    sounding += double(mixer.SoundingVoices());
    ++cycles;
  }
  state.counters["voices"] = cycles ? sounding / double(cycles) : 0;
  state.counters["cpu_share"] = cycles ? seconds / double(cycles) / (128.0 / 44100.0) : 0;
}
BENCHMARK(BM_SfzCycleWith1024Voices)->Unit(benchmark::kMicrosecond);

}  // namespace
