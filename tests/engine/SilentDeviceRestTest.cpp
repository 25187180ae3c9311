// "No audio output" at rest: while nothing sounds it sleeps in long steps
// instead of waking every period, yet a note that comes after a long rest is
// played one period after it arrived, for its whole length.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "engine/TimedEngine.h"
#include "midi/TriggerTestSupport.h"

namespace thumper::test {
namespace {

// Sees every cycle the device renders: when the sound starts, on the steady
// clock, and how many frames sound.
class Tap : public BlockSource {
 public:
  explicit Tap(TimedEngine& engine) : m_engine(engine) {}
  // Real-time: the silent device's thread.
  void RenderCycle(Mixer& mixer, const MixTarget& out, uint32_t frames,
                   std::span<const MidiEventAt> events, const CycleTime& time) noexcept override {
    m_engine.RenderCycle(mixer, out, frames, events, time);
    m_nCycles.fetch_add(1);
    for (uint32_t k = 0; k < frames; ++k) {
      if (out.pFloat[2 * k] == 0.0f) continue;
      if (m_nSounding.fetch_add(1) == 0)
        m_fOnset.store(static_cast<double>(time.nStartMicros) + k * 1e6 / 44100.0);
    }
  }
  std::atomic<uint64_t> m_nCycles{0};
  std::atomic<uint64_t> m_nSounding{0};
  std::atomic<double> m_fOnset{0};

 private:
  TimedEngine& m_engine;
};

class SilentDeviceRest : public TriggerTest {};

TEST_F(SilentDeviceRest, ANoteAfterALongRestPlaysOnTimeAndWhole) {
  SilentDevice silent(reclaimer, "No audio output", 128);
  // The voice lives on the silent device's own mixer.
  const auto bytes = ConstantSample(3000, 1000);
  voices[0] =
      std::make_unique<SampleVoice>(ui, &silent, bytes.data(), static_cast<uint32_t>(bytes.size()),
                                    16, OutputFormat(), "hit.wav");
  SetSources(0, {0, 0, 0, 0, 0});
  Publish();
  TimedEngine engine(trigger, reclaimer);
  WakeSignal rest;
  Tap tap(engine);
  engine.SetPostWake(&rest);
  silent.SetBlockSource(&tap);
  silent.SetWakeSignals(nullptr, &rest);

  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const uint64_t restCycles = tap.m_nCycles.load();
  const int64_t arrival = SteadyMicros();
  engine.PostNow(PackShortMessage(0x90, 36, 127));
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  silent.StopPulling();
  silent.SetBlockSource(nullptr);

  // At rest it renders its cycles in bursts, not one wake-up each: still
  // every cycle, so the clock keeps its place.
  EXPECT_GT(restCycles, 300u);
  ASSERT_GT(tap.m_nSounding.load(), 0u) << "the note never sounded";
  const double delayFrames = (tap.m_fOnset.load() - static_cast<double>(arrival)) * 44100.0 / 1e6;
  EXPECT_NEAR(delayFrames, 128.0, 3.0) << "not one period after its arrival";
  EXPECT_EQ(tap.m_nSounding.load(), 3000u) << "not played for its whole length";
  voices[0].reset();
}

}  // namespace
}  // namespace thumper::test
