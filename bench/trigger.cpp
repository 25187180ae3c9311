// The note trigger's cost per message, on a loaded drum set, and the proof that
// it allocates nothing: operator new is replaced and counted on the playing
// thread. Also the UI thread's cost of building and publishing a snapshot, and
// notes of many regions in the playing model.

#include <benchmark/benchmark.h>

#include <array>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "SilentUi.h"
#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "drumset/UiServices.h"
#include "play/NoteTrigger.h"
#include "play/TriggerState.h"
#include "support/HeapCounter.h"

namespace thumper {
namespace {

// 24 slots with five own layers each, the hats cutting each other.
struct LoadedKit {
  Reclaimer reclaimer;
  PulledDevice device{reclaimer};
  SilentUi ui;
  DrumSet set;
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> voices;
  NoteTrigger trigger{reclaimer};
  RtReader* reader = reclaimer.RegisterReader();
  std::vector<float> out = std::vector<float>(2 * 256);

  LoadedKit() {
    const std::vector<uint8_t> bytes(4 * 4410, 0x10);
    for (int s = 0; s < 24; ++s)
      for (int l = 0; l < kLayerCount; ++l) {
        voices[LayerIndex(s, l)] = std::make_unique<SampleVoice>(
            ui, &device, bytes.data(), static_cast<uint32_t>(bytes.size()), 16, OutputFormat(),
            "layer.wav");
        set.m_nLayerSource[LayerIndex(s, l)] = l;
      }
    set.m_noteSlot[6].nCutNote = 10;  // closed hat cuts open hat
    trigger.Publish(BuildTriggerState(set, Table()));
  }
  ~LoadedKit() { reclaimer.UnregisterReader(reader); }

  std::array<SampleVoice*, kLayerTotal> Table() const {
    std::array<SampleVoice*, kLayerTotal> table{};
    for (int i = 0; i < kLayerTotal; ++i) table[i] = voices[i].get();
    return table;
  }
  // Lets the mixer take the queued commands, outside the timing.
  void Drain() { device.GetMixer().Mix(out.data(), 256); }
};

// Note 60 of 16 regions (the first 16 voices of the kit) in one set chosen by
// selection; with Selection::First, the regions split the velocities.
std::unique_ptr<TriggerState> SixteenRegions(const LoadedKit& kit, Selection selection) {
  auto state = std::make_unique<TriggerState>();
  PlayProgram& program = state->m_program;
  program.m_set.push_back({0, 16, selection});
  for (int r = 0; r < 16; ++r) {
    PlayRegion region;
    region.pVoice = kit.voices[r].get();
    if (selection == Selection::First) {
      region.nVelocityLow = static_cast<uint8_t>(1 + 8 * r);
      region.nVelocityHigh = static_cast<uint8_t>(r == 15 ? 127 : 8 * (r + 1));
    }
    region.fPanLeft = 0.8f;
    program.m_region.push_back(region);
  }
  program.m_note[60].nSetCount = 1;
  program.Finish(0);
  return state;
}

// Note 60 as an SFZ multi-mic kit compiles it: 5 velocity layers of 5 round
// robins, each hit 16 mics; every region by the curve law with sfizz's three
// default controls (CC 7, 10, 11), so 400 regions weighed and 16 started.
std::unique_ptr<TriggerState> SfzMultiMic(const LoadedKit& kit) {
  auto state = std::make_unique<TriggerState>();
  PlayProgram& program = state->m_program;
  PlayProgram::Curve square{}, linear{}, bipolar{};
  for (int i = 0; i < 128; ++i) {
    square[i] = static_cast<float>(i * i) / (127.0f * 127.0f);
    linear[i] = static_cast<float>(i) / 127.0f;
    bipolar[i] = -1.0f + 2.0f * static_cast<float>(i) / 127.0f;
  }
  program.m_curve = {square, linear, bipolar};
  program.m_modulation = {{Modulation::Target::Amplitude, 7, 0, 1.0f},
                          {Modulation::Target::Pan, 10, 2, 1.0f},
                          {Modulation::Target::Amplitude, 11, 0, 1.0f}};
  program.m_set.push_back({0, 400, Selection::All});
  for (int layer = 0; layer < 5; ++layer)
    for (int turn = 0; turn < 5; ++turn)
      for (int mic = 0; mic < 16; ++mic) {
        PlayRegion region;
        region.pVoice = kit.voices[mic].get();
        region.nVelocityLow = static_cast<uint8_t>(1 + 26 * layer);
        region.nVelocityHigh = static_cast<uint8_t>(layer == 4 ? 127 : 26 * (layer + 1));
        region.gainLaw = GainLaw::Curve;
        region.nChecks = PlayRegion::kCheckSequence;
        region.nSequenceLength = 5;
        region.nSequencePosition = static_cast<uint8_t>(turn);
        region.nModulationCount = 3;
        region.bPanModulated = true;
        region.fPanScale = 1.41f;
        program.m_region.push_back(region);
      }
  program.m_nSequenceCount = 1;
  program.m_noteSequence = {0};
  program.m_note[60].nSetCount = 1;
  program.m_note[60].nSequenceCount = 1;
  program.Finish(0);
  return state;
}

void RunMessages(benchmark::State& state, const std::vector<uint32_t>& messages,
                 Selection sixteen = Selection::All, bool withSixteen = false, bool sfz = false) {
  // The counter itself must see a new and a delete, or its zero proves nothing.
  test::heap::Start();
  delete new int(1);
  const test::heap::Counts check = test::heap::Stop();
  if (check.allocations + check.frees != 2)
    state.SkipWithError("the allocation counter does not work");
  test::heap::Start();
  test::heap::Pause();

  LoadedKit kit;
  if (withSixteen) kit.trigger.Publish(SixteenRegions(kit, sixteen));
  if (sfz) kit.trigger.Publish(SfzMultiMic(kit));
  long allocations = 0;
  size_t i = 0;
  for (auto _ : state) {
    test::heap::Resume();
    kit.trigger.OnMidiMessage(*kit.reader, messages[i++ % messages.size()], 0);
    test::heap::Pause();
    if ((i & 255) == 0) {
      state.PauseTiming();
      kit.Drain();
      NoteEvent e;
      while (kit.trigger.PopNoteEvent(e)) {
      }
      state.ResumeTiming();
    }
  }
  const test::heap::Counts counted = test::heap::Read();
  allocations = counted.allocations + counted.frees;  // a free counts as well
  state.counters["allocs"] = static_cast<double>(allocations);
  if (allocations) state.SkipWithError("the trigger allocated or freed memory");
}

void BM_NoteOn(benchmark::State& state) {
  std::vector<uint32_t> messages;
  for (int k = 0; k < 240; ++k)
    messages.push_back(PackShortMessage(0x90, static_cast<uint8_t>(36 + k % 24),
                                        static_cast<uint8_t>(1 + (k * 37) % 127)));
  RunMessages(state, messages);
}
BENCHMARK(BM_NoteOn);

// The closed hat: a start and a stop of the open hat's five voices (80 copies).
void BM_NoteOnWithCut(benchmark::State& state) {
  RunMessages(state, {PackShortMessage(0x90, 42, 100)});
}
BENCHMARK(BM_NoteOnWithCut);

// 16 velocity layers, one of which sounds.
void BM_NoteOnSixteenLayers(benchmark::State& state) {
  std::vector<uint32_t> messages;
  for (int k = 0; k < 127; ++k)
    messages.push_back(PackShortMessage(0x90, 60, static_cast<uint8_t>(1 + (k * 37) % 127)));
  RunMessages(state, messages, Selection::First, true);
}
BENCHMARK(BM_NoteOnSixteenLayers);

// 16 regions in round robin: every one weighed, one sounds.
void BM_NoteOnSixteenRoundRobin(benchmark::State& state) {
  RunMessages(state, {PackShortMessage(0x90, 60, 100)}, Selection::RoundRobin, true);
}
BENCHMARK(BM_NoteOnSixteenRoundRobin);

// 16 regions at once, as a multi-mic kit's hit.
void BM_NoteOnSixteenAtOnce(benchmark::State& state) {
  RunMessages(state, {PackShortMessage(0x90, 60, 100)}, Selection::All, true);
}
BENCHMARK(BM_NoteOnSixteenAtOnce);

// An SFZ multi-mic hit: 400 regions weighed by velocity and sequence, 16
// started with their level and pan worked out from three controllers each.
void BM_NoteOnSfzMultiMic(benchmark::State& state) {
  std::vector<uint32_t> messages;
  for (int k = 0; k < 127; ++k)
    messages.push_back(PackShortMessage(0x90, 60, static_cast<uint8_t>(1 + (k * 37) % 127)));
  RunMessages(state, messages, Selection::All, false, true);
}
BENCHMARK(BM_NoteOnSfzMultiMic);

void BM_NoteOff(benchmark::State& state) {
  RunMessages(state, {PackShortMessage(0x80, 38, 0)});
}
BENCHMARK(BM_NoteOff);

void BM_OtherChannel(benchmark::State& state) {
  RunMessages(state, {PackShortMessage(0x95, 38, 100)});
}
BENCHMARK(BM_OtherChannel);

// UI thread: a new snapshot of the whole drum set after an edit.
void BM_BuildAndPublishState(benchmark::State& state) {
  LoadedKit kit;
  for (auto _ : state) {
    kit.trigger.Publish(BuildTriggerState(kit.set, kit.Table()));
    kit.reclaimer.Reclaim();
  }
}
BENCHMARK(BM_BuildAndPublishState);

}  // namespace
}  // namespace thumper
