#pragma once
// Held first in every function libjack calls (our client's callbacks, and the
// one RtMidi's JACK input calls from libjack's thread).
//
// When its server dies, libjack ends its own threads with asynchronous
// cancellation. A cancel that lands inside our code unwinds through noexcept
// frames and aborts the program ("terminate called without an active
// exception"). So cancellation waits for the callback's length: disabled, and
// deferred, since our code has cancellation points of its own (the write in
// WakeSignal::Raise). It is allowed again in the guard's destructor, a frame of
// its own that may unwind: a cancel that waited is taken there, outside every
// noexcept frame, and the unwind goes on into libjack's frames. A function that
// holds a guard must therefore not be noexcept itself.
//
// Real-time safe: two updates of the thread's own cancellation word, no system
// call, no lock.

#include <pthread.h>

namespace thumper {

class JackCallbackGuard {
 public:
  JackCallbackGuard() noexcept {
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &m_nState);
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, &m_nType);
  }
  // The state first: while the type is still deferred, enabling acts on
  // nothing; restoring asynchronous cancellation then acts on a pending cancel.
  [[gnu::noinline]] ~JackCallbackGuard() noexcept(false) {
    pthread_setcancelstate(m_nState, nullptr);
    pthread_setcanceltype(m_nType, nullptr);
  }
  JackCallbackGuard(const JackCallbackGuard&) = delete;
  JackCallbackGuard& operator=(const JackCallbackGuard&) = delete;

 private:
  int m_nState = PTHREAD_CANCEL_ENABLE;
  int m_nType = PTHREAD_CANCEL_DEFERRED;
};

}  // namespace thumper
