// Counts heap allocations and mutex locks per thread while the mixer runs, to
// prove the audio thread and the playing threads never allocate, free or lock.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/SampleVoice.h"
#include "support/HeapCounter.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

using heap::Counts;

void StartCounting() {
  heap::Start();
}
Counts StopCounting() {
  return heap::Stop();
}

TEST(RealtimeSafety, TheCountersSeeAllocationsAndLocks) {
  StartCounting();
  // Called as functions: a new-expression paired with its delete may be elided.
  void* p = ::operator new(sizeof(int));
  ::operator delete(p);
  std::mutex m;
  m.lock();
  m.unlock();
  const Counts c = StopCounting();
  EXPECT_EQ(c.allocations, 1);
  EXPECT_EQ(c.frees, 1);
  EXPECT_EQ(c.locks, 1);
}

// ThreadSanitizer makes every sample the mixer touches many times dearer: fewer
// blocks keep its run within the test's time limit and still cover every path.
#if defined(__SANITIZE_THREAD__)
constexpr int kAudioBlocks = 600;
#else
constexpr int kAudioBlocks = 3000;
#endif

TEST(RealtimeSafety, AudioAndPlayingThreadsNeverAllocateFreeOrLock) {
  Reclaimer reclaimer;
  PulledDevice device(reclaimer);
  ScriptedUi ui;
  const auto bytes = ConstantSample(20000, 10);

  // 70 voices of 16 copies kept for the player; their copies sound together.
  std::vector<std::unique_ptr<SampleVoice>> kept;
  for (int i = 0; i < 70; ++i)
    kept.push_back(std::make_unique<SampleVoice>(ui, &device, bytes.data(), uint32_t(bytes.size()),
                                                 16, OutputFormat(), "k"));

  std::atomic<bool> stop{false};
  std::atomic<unsigned> plays{0};
  std::atomic<uint32_t> mostSounding{0};
  Counts audio, player;
  std::thread audioThread([&] {
    std::vector<float> block(2 * 128);
    while (plays.load() < 1200) std::this_thread::yield();
    StartCounting();
    for (int n = 0; n < kAudioBlocks; ++n) {
      device.GetMixer().Mix(block.data(), 128);
      if (n % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
      const uint32_t s = device.GetMixer().SoundingVoices();
      if (s > mostSounding.load(std::memory_order_relaxed)) mostSounding.store(s);
    }
    audio = StopCounting();
    stop.store(true);
  });
  std::thread playerThread([&] {
    StartCounting();
    for (unsigned n = 0; !stop.load(); ++n) {
      SampleVoice& v = *kept[n % kept.size()];
      v.SetVolume(-(long(n) % 3000));
      v.Play();
      plays.store(n + 1);
      if (n % 97 == 0) kept[(n / 97) % kept.size()]->StopAll();
      if (n % 64 == 0) std::this_thread::yield();
    }
    player = StopCounting();
  });
  // The UI thread makes, plays and releases voices meanwhile, and reclaims.
  while (!stop.load()) {
    SampleVoice churn(ui, &device, bytes.data(), uint32_t(bytes.size()), 4, OutputFormat(), "c");
    churn.Play();
    churn.Play();
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    reclaimer.Reclaim();
  }
  audioThread.join();
  playerThread.join();

  EXPECT_GE(mostSounding.load(), 1000u);
  EXPECT_EQ(audio.allocations, 0);
  EXPECT_EQ(audio.frees, 0);
  EXPECT_EQ(audio.locks, 0);
  EXPECT_EQ(player.allocations, 0);
  EXPECT_EQ(player.frees, 0);
  EXPECT_EQ(player.locks, 0);
  EXPECT_TRUE(ui.messages.empty());
}

TEST(RealtimeSafety, StreamedVoicesNeitherAllocateFreeNorLock) {
  TempDir dir;
  Reclaimer reclaimer;
  Mixer mixer(reclaimer);
  mixer.PrepareStreaming(4);  // few streams: voices take them over from each other
  const auto frames = Ramp(40000, 2);
  std::atomic<bool> stop{false};
  std::atomic<int> made{0};
  Counts audio;
  std::thread audioThread([&] {
    std::vector<float> block(2 * 128);
    while (made.load() < 2) std::this_thread::yield();
    StartCounting();
    for (int n = 0; n < kAudioBlocks; ++n) {
      mixer.Mix(block.data(), 128);
      if (n % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    audio = StopCounting();
    stop.store(true);
  });
  // The UI thread makes streamed samples, starts copies of them from the head
  // and past it, and releases them while they play.
  std::vector<BufferId> live;
  for (int n = 0; !stop.load(); ++n) {
    const BufferId b =
        mixer.AdoptBuffer(Streamed(frames, 2, 300, dir / ("s" + std::to_string(n % 8))));
    live.push_back(b);
    for (uint32_t start : {0u, 9000u, 20000u}) {
      const BufferId copy = mixer.DuplicateBuffer(b);
      mixer.Play(copy, 0.5f, 0.5f, start);
      live.push_back(copy);
    }
    made.store(n + 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    while (live.size() > 24) {
      mixer.ReleaseBuffer(live.front());
      live.erase(live.begin());
    }
    reclaimer.Reclaim();
  }
  audioThread.join();
  EXPECT_EQ(audio.allocations, 0);
  EXPECT_EQ(audio.frees, 0);
  EXPECT_EQ(audio.locks, 0);
}

}  // namespace
}  // namespace thumper::test
