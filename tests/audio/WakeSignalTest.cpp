// The wake-up of a sleeping thread from the audio thread: however raises and
// the sleeper's clearing interleave, a raise after work was posted is never
// lost (the sleeper would sleep its whole timeout with work waiting).

#include "audio/WakeSignal.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace thumper::test {
namespace {

TEST(WakeSignal, NoRaiseIsLostWhileTheSleeperClears) {
  WakeSignal wake;
  constexpr uint64_t kPosts = 100000;
  std::atomic<uint64_t> posted{0};
  std::thread poster([&] {
    for (uint64_t i = 1; i <= kPosts; ++i) {
      posted.store(i, std::memory_order_release);
      wake.Raise();
    }
  });
  uint64_t lost = 0;
  for (uint64_t seen = 0; seen < kPosts;) {
    wake.Clear();
    seen = posted.load(std::memory_order_acquire);
    if (seen < kPosts && !wake.Wait(std::chrono::milliseconds(500)) &&
        posted.load(std::memory_order_acquire) > seen)
      ++lost;
  }
  poster.join();
  EXPECT_EQ(lost, 0u);
}

}  // namespace
}  // namespace thumper::test
