// A thread cancelled the way libjack cancels its own when the server dies
// (asynchronous cancellation) while it is inside a guarded callback: the
// callback runs to its end, cancellation points inside it included, and the
// cancel is taken at the guard's end, outside the callback's noexcept frames.

#include "audio/JackCallbackGuard.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <atomic>

#include "audio/WakeSignal.h"

namespace thumper {
namespace {

struct Scene {
  std::atomic<bool> bInside{false};
  std::atomic<bool> bCancelSent{false};
  std::atomic<bool> bBodyDone{false};
  std::atomic<bool> bAfterCallback{false};
  WakeSignal wake;
};

// What our callbacks do: noexcept work with a cancellation point (the write
// in Raise), after the cancel has come.
void Body(Scene& scene) noexcept {
  scene.bInside = true;
  while (!scene.bCancelSent) {
  }
  for (int i = 0; i < 1000; ++i) {
    scene.wake.Clear();
    scene.wake.Raise();
  }
  scene.bBodyDone = true;
}

// What libjack calls.
void Callback(Scene& scene) {
  JackCallbackGuard guard;
  Body(scene);
}

void* LibraryThread(void* arg) {
  auto& scene = *static_cast<Scene*>(arg);
  pthread_setcanceltype(PTHREAD_CANCEL_ASYNCHRONOUS, nullptr);
  Callback(scene);
  scene.bAfterCallback = true;  // never: the cancel is taken at the guard's end
  return nullptr;
}

TEST(JackCallbackGuard, AnAsynchronousCancelWaitsForTheCallbacksEndAndIsTakenThere) {
  Scene scene;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, &LibraryThread, &scene), 0);
  while (!scene.bInside) {
  }
  ASSERT_EQ(pthread_cancel(thread), 0);
  scene.bCancelSent = true;
  void* result = nullptr;
  ASSERT_EQ(pthread_join(thread, &result), 0);
  EXPECT_EQ(result, PTHREAD_CANCELED);
  EXPECT_TRUE(scene.bBodyDone);
  EXPECT_FALSE(scene.bAfterCallback);
}

void* DeferredThread(void* arg) {
  auto& scene = *static_cast<Scene*>(arg);
  Callback(scene);
  scene.bAfterCallback = true;
  return nullptr;
}

// A thread that was deferred keeps that: the cancel waits for its next
// cancellation point after the callback, as it would have without one.
TEST(JackCallbackGuard, ADeferredThreadStaysDeferredAfterTheCallback) {
  Scene scene;
  pthread_t thread;
  ASSERT_EQ(pthread_create(&thread, nullptr, &DeferredThread, &scene), 0);
  while (!scene.bInside) {
  }
  ASSERT_EQ(pthread_cancel(thread), 0);
  scene.bCancelSent = true;
  void* result = nullptr;
  ASSERT_EQ(pthread_join(thread, &result), 0);
  EXPECT_EQ(result, nullptr);  // ran to its end: no cancellation point after the callback
  EXPECT_TRUE(scene.bBodyDone);
  EXPECT_TRUE(scene.bAfterCallback);
}

}  // namespace
}  // namespace thumper
