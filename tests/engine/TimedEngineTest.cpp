// The timed-event engine: events sound from their own frame inside a cycle,
// however the cycles are cut; inputs that know only their arrival time play
// exactly one cycle later; a full inbox drops and counts.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/OfflineRender.h"
#include "engine/TimedEngine.h"
#include "midi/TriggerTestSupport.h"

namespace thumper::test {
namespace {

// A clock the test sets by hand, for stamped inputs.
std::atomic<int64_t> g_nNowMicros{0};
int64_t FakeMicros() noexcept {
  return g_nNowMicros.load();
}

class TimedEngineTest : public TriggerTest {
 protected:
  void SetUp() override {
    GiveOwnLayers(0, {0});  // note 36: a constant 1000 at full level
    Publish();
  }

  // One cycle of frames frames with these events; the left channel in 16-bit units.
  std::vector<double> Cycle(uint32_t frames, std::vector<MidiEventAt> events = {},
                            CycleTime time = {}) {
    std::vector<float> left(frames), right(frames);
    engine.RenderCycle(mixer, MixTarget::Planar(left.data(), right.data()), frames, events, time);
    std::vector<double> out(frames);
    for (uint32_t i = 0; i < frames; ++i) out[i] = left[i] * 32768.0;
    return out;
  }

  static uint32_t FirstSound(const std::vector<double>& left) {
    for (uint32_t i = 0; i < left.size(); ++i)
      if (left[i] != 0.0) return i;
    return static_cast<uint32_t>(left.size());
  }

  static constexpr uint32_t kNoteOn = 0x7F2490;  // note 36, velocity 127

  TimedEngine engine{trigger, reclaimer};
};

TEST_F(TimedEngineTest, AnEventSoundsFromItsOwnFrame) {
  for (uint32_t k : {0u, 1u, 37u, 127u}) {
    const auto left = Cycle(128, {{k, kNoteOn}});
    EXPECT_EQ(FirstSound(left), k) << "event at frame " << k;
    EXPECT_LEVEL(left[k], Expected(0, NoteAttenuation(-4000, 127, 127)));
    mixer.StopAll();
    Cycle(256);  // the fade ends
  }
}

TEST_F(TimedEngineTest, TwoEventsInOneCycleEachStartAtTheirFrame) {
  const double one = Expected(0, NoteAttenuation(-4000, 127, 127));
  const auto left = Cycle(64, {{10, kNoteOn}, {40, kNoteOn}});
  EXPECT_EQ(FirstSound(left), 10u);
  EXPECT_LEVEL(left[39], one);
  EXPECT_LEVEL(left[40], 2 * one);  // the second copy joins the first
}

TEST_F(TimedEngineTest, EventsPastTheCycleOrOutOfOrderPlayAtTheLastFrameOrAtOnce) {
  auto left = Cycle(64, {{500, kNoteOn}});
  EXPECT_EQ(FirstSound(left), 63u);
  mixer.StopAll();
  Cycle(256);
  left = Cycle(64, {{30, kNoteOn}, {20, kNoteOn}});
  EXPECT_EQ(FirstSound(left), 30u);
  EXPECT_LEVEL(left[30], 2 * Expected(0, NoteAttenuation(-4000, 127, 127)));
}

// The same song cut into cycles of any length gives the same samples, cuts
// and their fades included.
TEST_F(TimedEngineTest, OutputDoesNotDependOnTheCycleLength) {
  GiveOwnLayers(1, {0, 2});
  set.m_noteSlot[1].nCutNote = 0;  // note 37 chokes note 36 with a fade
  Publish();
  const std::vector<SongEvent> song = {{5, kNoteOn},
                                       {300, PackShortMessage(0x90, 37, 90)},
                                       {301, kNoteOn},
                                       {1500, PackShortMessage(0x90, 37, 40)},
                                       {1510, PackShortMessage(0xB0, 7, 64)},
                                       {2047, kNoteOn}};
  auto render = [&](uint32_t cycle) {
    mixer.StopAll();
    Cycle(4096);
    std::vector<float> out;
    size_t next = 0;
    for (int64_t frame = 0; frame < 4096; frame += cycle) {
      std::vector<MidiEventAt> events;
      while (next < song.size() && song[next].nFrame < frame + cycle)
        events.push_back({static_cast<uint32_t>(song[next].nFrame - frame), song[next++].nMessage});
      std::vector<float> block(2 * cycle);
      engine.RenderCycle(mixer, MixTarget::Interleaved(block.data()), cycle, events, {});
      out.insert(out.end(), block.begin(), block.end());
    }
    Send(0xB0, 7, 127);
    return out;
  };
  const auto reference = render(1024);
  for (uint32_t cycle : {1u, 7u, 64u, 128u, 1000u}) {
    const auto out = render(cycle);
    ASSERT_GE(out.size(), reference.size());
    for (size_t i = 0; i < reference.size(); ++i)
      ASSERT_EQ(out[i], reference[i]) << "cycle " << cycle << ", sample " << i;
  }
}

TEST_F(TimedEngineTest, StampedMessagesPlayExactlyOneCycleAfterTheyArrived) {
  // 128 frames at 44.1 kHz is 2902.49 µs; cycle n starts at n * that.
  const double cycleMicros = 128 * 1e6 / 44100.0;
  auto start = [&](int n) { return static_cast<int64_t>(std::llround(n * cycleMicros)); };
  Cycle(128, {}, {start(0), &FakeMicros});
  // Arrivals 500 µs (22 frames) and 2000 µs (88 frames) into cycle 1.
  g_nNowMicros = start(1) + 500;
  engine.PostNow(kNoteOn);
  auto left = Cycle(128, {}, {start(1), &FakeMicros});
  EXPECT_EQ(FirstSound(left), 128u) << "not in the cycle it arrived in";
  left = Cycle(128, {}, {start(2), &FakeMicros});
  EXPECT_EQ(FirstSound(left), 22u);
  mixer.StopAll();
  Cycle(256, {}, {start(3), &FakeMicros});
  g_nNowMicros = start(5) + 2000;
  EXPECT_TRUE(engine.PostAt(kNoteOn, g_nNowMicros));
  Cycle(128, {}, {start(5), &FakeMicros});
  left = Cycle(128, {}, {start(6), &FakeMicros});
  EXPECT_EQ(FirstSound(left), 88u);
}

TEST_F(TimedEngineTest, LateOrForeignStampsPlayAtOnceInsteadOfNever) {
  Cycle(128, {}, {0, &FakeMicros});
  engine.PostAt(kNoteOn, -60'000'000);  // stamped on some other clock
  const auto left = Cycle(128, {}, {2903, &FakeMicros});
  EXPECT_EQ(FirstSound(left), 0u);
}

TEST_F(TimedEngineTest, AFullInboxDropsAndCountsInsteadOfBlocking) {
  size_t accepted = 0;
  for (int i = 0; i < 10000; ++i) accepted += engine.PostNow(kNoteOn) ? 1 : 0;
  EXPECT_LT(accepted, 10000u);
  EXPECT_EQ(engine.DroppedMessages(), 10000u - accepted);
  Cycle(128);  // drains without blocking; the waiting list may drop more
  EXPECT_GE(engine.DroppedMessages(), 10000u - accepted);
}

// Two sources starting the same voice at the same moment each keep their own
// gain: the two copies together sound at the sum of both.
TEST_F(TimedEngineTest, TwoThreadsStartingOneVoiceNeverSwapGains) {
  SampleVoice* voice = voices[0].get();
  const double loud = Expected(0, 0), soft = Expected(0, -3000);
  for (int round = 0; round < 300; ++round) {
    std::atomic<int> ready{0};
    std::thread a([&] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      voice->PlayWithVolume(0);
    });
    std::thread b([&] {
      ready.fetch_add(1);
      while (ready.load() < 2) {
      }
      voice->PlayWithVolume(-3000);
    });
    a.join();
    b.join();
    const auto left = MixLeftLevels(16);
    ASSERT_NEAR(left[0], loud + soft, 0.05) << "round " << round;
    mixer.StopAll();
    MixLeftLevels(256);
  }
}

}  // namespace
}  // namespace thumper::test
