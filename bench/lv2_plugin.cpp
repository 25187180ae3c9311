// The plugin's cost per block, side by side with its anchor: the same kit and
// groove through the timed-event engine called directly, as the JACK client
// calls it. The difference is what the LV2 layer adds (the atom sequence read,
// the notify port, the kit hand-over checks). Blocks of 128 frames at 44.1 kHz
// with the demo kit and a hit every 8th block.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "SilentUi.h"
#include "audio/SoundDevice.h"
#include "engine/LoadedKit.h"
#include "engine/TimedEngine.h"
#include "lv2/LilvHost.h"

namespace {

using namespace thumper;

const std::string kDemoKit = std::string(THUMPER_DEMO_DIR) + "/demo.drums";
constexpr uint32_t kBlock = 128;
constexpr uint8_t kNotes[] = {36, 38, 42, 46, 45, 49};

MidiEventAt HitAt(int64_t block) {
  const uint8_t note = kNotes[block / 8 % std::size(kNotes)];
  return {static_cast<uint32_t>(block * 37 % kBlock), PackShortMessage(0x90, note, 100)};
}

void BM_EngineCycle(benchmark::State& state) {
  SilentUi ui;
  Reclaimer reclaimer;
  PulledDevice device(reclaimer, 44100);
  NoteTrigger trigger(reclaimer);
  TimedEngine engine(trigger, reclaimer);
  auto kit = LoadKit(kDemoKit, device, ui);
  if (!kit) {
    state.SkipWithError("the demo kit did not load");
    return;
  }
  trigger.Publish(std::move(kit->m_pState));
  std::vector<float> left(kBlock), right(kBlock);
  int64_t block = 0;
  for (auto _ : state) {
    MidiEventAt hit = HitAt(block);
    const size_t count = block++ % 8 == 0 ? 1 : 0;
    engine.RenderCycle(device.GetMixer(), MixTarget::Planar(left.data(), right.data()), kBlock,
                       {&hit, count}, {});
    benchmark::DoNotOptimize(left.data());
    if (block % 4096 == 0) reclaimer.Reclaim();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_EngineCycle);

void BM_PluginRun(benchmark::State& state) {
  test::LilvHost host;
  auto plugin = host.Instantiate(44100);
  if (!plugin) {
    state.SkipWithError("the plugin did not load");
    return;
  }
  plugin->LoadKit(kDemoKit);
  int64_t block = 0;
  std::vector<test::MidiAt> midi;
  midi.reserve(1);
  for (auto _ : state) {
    const MidiEventAt hit = HitAt(block);
    midi.clear();
    if (block++ % 8 == 0)
      midi.push_back({hit.nFrame, 0x90, static_cast<uint8_t>(hit.nMessage >> 8), 100});
    plugin->RunOnly(kBlock, midi);
    if (block % 64 == 0) plugin->RunWorker();
  }
  state.SetItemsProcessed(state.iterations() * kBlock);
}
BENCHMARK(BM_PluginRun);

}  // namespace
