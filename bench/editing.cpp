// What the user waits for while editing: a sample dropped on a key (read,
// 16-copy voice, snapshot for the trigger, played once), the right-button
// preview (read, one-copy voice, played), and a key cleared through the trash.
// The sample is one second of 44.1 kHz stereo, a typical drum hit with its tail.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

#include "SilentUi.h"
#include "audio/OfflineBackend.h"
#include "drumset/CThumperDoc.h"
#include "engine/ThumperRuntime.h"

namespace thumper {
namespace {

std::string WriteHit(uint32_t frames) {
  const std::string path =
      (std::filesystem::temp_directory_path() / "thumper-bench-hit.wav").string();
  std::ofstream out(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
  out.write("RIFF", 4);
  u32(36 + frames * 4);
  out.write("WAVEfmt ", 8);
  u32(16);
  u16(1);
  u16(2);
  u32(44100);
  u32(44100 * 4);
  u16(4);
  u16(16);
  out.write("data", 4);
  u32(frames * 4);
  std::vector<int16_t> samples(frames * 2);
  for (uint32_t i = 0; i < samples.size(); ++i) samples[i] = int16_t((i * 7919u) % 20000 - 10000);
  out.write(reinterpret_cast<const char*>(samples.data()), std::streamsize(samples.size() * 2));
  return path;
}

struct Editing {
  SilentUi ui;
  CThumperDoc doc;
  SampleListState list;
  ThumperRuntime runtime{doc, ui, MakeOfflineBackend()};
  std::string path = WriteHit(44100);

  Editing() {
    runtime.NewDrumSet(list);
    doc.m_pGroupNames->push_back("Kit");
    doc.m_pGroupList[0]->push_back(path);
  }
};

void BM_DropSampleOnKey(benchmark::State& state) {
  Editing e;
  for (auto _ : state) {
    e.doc.DropSampleOnLayer(e.runtime, e.ui, 5, 0, 0, 0);
    state.PauseTiming();
    e.doc.ClearSlot(e.runtime, 5);
    e.runtime.Poll();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DropSampleOnKey)->Unit(benchmark::kMicrosecond);

void BM_PreviewStart(benchmark::State& state) {
  Editing e;
  for (auto _ : state) {
    e.runtime.PlayPreview(e.path);
    state.PauseTiming();
    e.runtime.StopPreview();
    e.runtime.Poll();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_PreviewStart)->Unit(benchmark::kMicrosecond);

void BM_ClearKeyThroughTheTrash(benchmark::State& state) {
  Editing e;
  for (auto _ : state) {
    state.PauseTiming();
    e.doc.DropSampleOnLayer(e.runtime, e.ui, 5, 0, 0, 0);
    state.ResumeTiming();
    e.doc.ClearSlot(e.runtime, 5);
  }
}
BENCHMARK(BM_ClearKeyThroughTheTrash)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace thumper
