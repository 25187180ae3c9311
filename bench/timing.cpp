// Live timing: the delay from a note to its sound, and its spread (jitter), in
// frames, at periods 128 and 1024:
// - on a JACK server (dummy backend) through Thumper's own MIDI port, where
//   each event carries its frame;
// - on JACK and on the silent device for inputs that know only when a message
//   arrived (RtMidi devices, the ALSA sequencer), which play one period later.
// And the CPU time of one 128-frame process cycle with 256 and 4,096 copies
// sounding, as a share of the period.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <thread>
#include <vector>

#include "SilentUi.h"
#include "audio/OutputDriverList.h"
#include "e2e/LiveClient.h"
#include "engine/ThumperRuntime.h"
#include "support/JackServer.h"

namespace thumper {
namespace {

constexpr int kNotes = 32;

std::string WriteClick(const std::string& dir) {
  // 16-bit stereo PCM: 400 frames of a constant, so the onset is unmistakable.
  const uint32_t frames = 400, bytes = frames * 4;
  std::string path = dir + "/click.wav";
  std::ofstream f(path, std::ios::binary);
  auto u32 = [&](uint32_t v) { f.write(reinterpret_cast<const char*>(&v), 4); };
  auto u16 = [&](uint16_t v) { f.write(reinterpret_cast<const char*>(&v), 2); };
  f.write("RIFF", 4), u32(36 + bytes), f.write("WAVEfmt ", 8), u32(16), u16(1), u16(2);
  u32(44100), u32(176400), u16(4), u16(16), f.write("data", 4), u32(bytes);
  for (uint32_t i = 0; i < 2 * frames; ++i) u16(12000);
  return path;
}

// A runtime on the system's drivers with the click on note 36.
struct Kit {
  SilentUi ui;
  CThumperDoc doc;
  std::unique_ptr<ThumperRuntime> runtime;
  SampleListState list;
  explicit Kit(int driverKind /*0 default, 1 silent*/) {
    char dir[] = "/tmp/thumper-bench-XXXXXX";
    mkdtemp(dir);
    doc.OnNewDocument();
    doc.m_nMidiInDevice = 999;
    doc.m_pGroupNames->push_back("Bench");
    doc.m_pGroupList[0]->push_back(WriteClick(dir));
    for (int l = 0; l < kLayerCount; ++l) doc.m_nLayerSource[LayerIndex(0, l)] = 0;
    doc.m_layerSample[LayerIndex(0, 0)] = {0, 0};
    runtime = std::make_unique<ThumperRuntime>(doc, ui);
    if (driverKind == 1) {
      OutputDriverList drivers;
      runtime->m_output.EnumerateDrivers(drivers);
      runtime->m_output.m_nOutputDriver = drivers.m_nCount - 1;  // "No audio output"
      runtime->m_output.InitDirectSound(ui, true);
    }
    runtime->UpdateStep(list, /*bOpenMidi=*/false);
  }
};

void Report(benchmark::State& state, std::vector<long> delays) {
  if (delays.empty()) {
    state.SkipWithError("no note came back");
    return;
  }
  std::sort(delays.begin(), delays.end());
  state.counters["delay_min_frames"] = static_cast<double>(delays.front());
  state.counters["delay_max_frames"] = static_cast<double>(delays.back());
  state.counters["jitter_frames"] = static_cast<double>(delays.back() - delays.front());
  state.counters["notes"] = static_cast<double>(delays.size());
}

// Notes through "Thumper:MIDI In" (frame-exact), or posted from a thread as an
// RtMidi device does (stamped on arrival), recorded from "Thumper:out_1".
void JackDelay(benchmark::State& state, bool stamped) {
  const int period = static_cast<int>(state.range(0));
  for (auto _ : state) {
    test::JackServer server(44100, period);
    if (!server.Running()) {
      state.SkipWithError("jackd did not start (is jackd2 installed?)");
      return;
    }
    Kit kit(0);
    test::LiveClient client;
    if (!client.Ok() || !kit.runtime->HasDeviceMidiInput()) {
      state.SkipWithError("no JACK client");
      return;
    }
    const std::string name = kit.runtime->m_output.m_pDirectSound->ClientName();
    client.Connect("thumper-live-test:midi_out", (name + ":MIDI In").c_str());
    client.Connect((name + ":out_1").c_str(), "thumper-live-test:in_1");
    const jack_nframes_t spacing = static_cast<jack_nframes_t>((600 / period + 2) * period);
    const jack_nframes_t base = (jack_frame_time(client.Client()) / period + 10) * period;
    std::vector<test::LiveClient::Note> notes(kNotes);
    std::vector<jack_nframes_t> arrived(kNotes, 0);
    for (int i = 0; i < kNotes; ++i) {
      notes[i].at = base + i * spacing + static_cast<jack_nframes_t>(i * period / kNotes);
      notes[i].status = 0x90, notes[i].note = 36, notes[i].velocity = 127;
    }
    if (!stamped) client.Schedule(notes.data(), notes.size());
    client.Start();
    if (stamped) {
      // A thread that posts each note when JACK's clock passes its frame.
      for (int i = 0; i < kNotes; ++i) {
        while (jack_frame_time(client.Client()) < notes[i].at)
          std::this_thread::sleep_for(std::chrono::microseconds(50));
        arrived[i] = jack_frame_time(client.Client());
        kit.runtime->m_engine.PostNow(0x7F2490);
      }
    }
    const size_t needed = 10 * period + kNotes * spacing + 4 * period + 2000;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (client.Frames() < needed && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::vector<long> delays;
    const auto& left = client.Left();
    for (int i = 0; i < kNotes; ++i) {
      const jack_nframes_t at = stamped ? arrived[i] : notes[i].sent.load();
      if (at == 0 || at < client.FirstFrameTime()) continue;
      size_t onset = at - client.FirstFrameTime();
      while (onset < client.Frames() && left[onset] == 0.0f) ++onset;
      if (onset < client.Frames())
        delays.push_back(static_cast<long>(onset) -
                         static_cast<long>(at - client.FirstFrameTime()));
    }
    state.counters["xruns"] = client.Xruns();
    Report(state, delays);
  }
}

void BM_JackPortNoteDelay(benchmark::State& state) {
  JackDelay(state, false);
}
void BM_JackStampedNoteDelay(benchmark::State& state) {
  JackDelay(state, true);
}
BENCHMARK(BM_JackPortNoteDelay)->Arg(128)->Arg(1024)->Iterations(1)->UseRealTime();
BENCHMARK(BM_JackStampedNoteDelay)->Arg(128)->Arg(1024)->Iterations(1)->UseRealTime();

// Watches what the silent device renders: when each cycle starts, on the
// steady clock, and where the click begins in it.
class OnsetTap : public BlockSource {
 public:
  explicit OnsetTap(TimedEngine& engine) : m_engine(engine) {}
  // Real-time: the silent device's thread (a preallocated list of onsets).
  void RenderCycle(Mixer& mixer, const MixTarget& out, uint32_t frames,
                   std::span<const MidiEventAt> events, const CycleTime& time) noexcept override {
    m_engine.RenderCycle(mixer, out, frames, events, time);
    for (uint32_t k = 0; k < frames; ++k) {
      const bool sound = out.pFloat[2 * k] != 0.0f;
      if (sound && !m_bSounding && m_nOnsets < m_onsets.size())
        m_onsets[m_nOnsets++] = time.nStartMicros * 1e-6 + k / 44100.0;
      m_bSounding = sound;
    }
  }
  std::vector<double> Onsets() const { return {m_onsets.begin(), m_onsets.begin() + m_nOnsets}; }

 private:
  TimedEngine& m_engine;
  std::array<double, 256> m_onsets{};
  std::atomic<size_t> m_nOnsets{0};
  bool m_bSounding = false;
};

void BM_SilentDeviceStampedNoteDelay(benchmark::State& state) {
  const int period = static_cast<int>(state.range(0));
  for (auto _ : state) {
    Kit kit(-1);
    kit.runtime->m_output.SetPeriod(static_cast<uint32_t>(period));
    OutputDriverList drivers;
    kit.runtime->m_output.EnumerateDrivers(drivers);
    kit.runtime->m_output.m_nOutputDriver = drivers.m_nCount - 1;
    kit.runtime->m_output.InitDirectSound(kit.ui, true);
    OnsetTap tap(kit.runtime->m_engine);
    kit.runtime->m_output.m_pDirectSound->SetBlockSource(&tap);
    std::vector<double> arrivals;
    for (int i = 0; i < kNotes; ++i) {
      // Arrivals spread over the period, 40 ms apart.
      std::this_thread::sleep_for(std::chrono::microseconds(40000 + 71 * i));
      arrivals.push_back(SteadyMicros() * 1e-6);
      kit.runtime->m_engine.PostNow(0x7F2490);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    kit.runtime->m_output.m_pDirectSound->StopPulling();
    const std::vector<double> onsets = tap.Onsets();
    std::vector<long> delays;
    for (size_t i = 0; i < std::min(onsets.size(), arrivals.size()); ++i)
      delays.push_back(std::lround((onsets[i] - arrivals[i]) * 44100.0));
    Report(state, delays);
    kit.runtime->m_output.m_pDirectSound->SetBlockSource(&kit.runtime->m_engine);
  }
}
BENCHMARK(BM_SilentDeviceStampedNoteDelay)->Arg(128)->Arg(1024)->Iterations(1)->UseRealTime();

// One JACK-sized cycle through the engine with copies copies sounding and a
// note in it: the CPU time, and its share of the 128-frame period.
void BM_ProcessCycle(benchmark::State& state) {
  const uint32_t copies = static_cast<uint32_t>(state.range(0));
  Reclaimer reclaimer;
  Mixer::Options options;
  options.nBufferSlots = copies + 64;
  options.nQueueCapacity = 2 * options.nBufferSlots;
  Mixer mixer(reclaimer, options);
  constexpr uint32_t kFrames = 441000;
  std::vector<BufferId> ids;
  BufferId first = mixer.CreateBuffer(OutputFormat(), kFrames * 4);
  auto region = mixer.LockBuffer(first);
  auto* samples = reinterpret_cast<int16_t*>(region.data());
  for (uint32_t i = 0; i < 2 * kFrames; ++i) samples[i] = static_cast<int16_t>((i * 7919) & 0x3FFF);
  mixer.UnlockBuffer(first);
  ids.push_back(first);
  while (ids.size() < copies) ids.push_back(mixer.DuplicateBuffer(first));
  for (size_t i = 0; i < ids.size(); ++i) {
    mixer.SetPosition(ids[i], static_cast<uint32_t>((i * 613) % 44100));
    mixer.Play(ids[i]);
  }
  NoteTrigger trigger(reclaimer);
  TimedEngine engine(trigger, reclaimer);
  std::vector<float> left(128), right(128);
  const MidiEventAt events[2] = {{17, 0x7F2490}, {90, 0x002480}};
  for (auto _ : state) {
    engine.RenderCycle(mixer, MixTarget::Planar(left.data(), right.data()), 128, events, {});
    benchmark::DoNotOptimize(left.data());
  }
  state.counters["sounding"] = mixer.SoundingVoices();
  state.counters["period_share"] =
      benchmark::Counter(static_cast<double>(state.iterations()) * 44100.0 / 128.0,
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ProcessCycle)->Arg(256)->Arg(4096)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace thumper
