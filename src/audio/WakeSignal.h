#pragma once
// Wakes a sleeping thread (the UI's event loop, `thumper play`'s main loop, the
// silent device when it rests) from any thread, the real-time ones included.
//
// Raising it is one atomic exchange, and only the first raise after the
// sleeper cleared it also writes once to a non-blocking eventfd. That write
// never blocks, allocates or takes a user-space lock, and it is
// async-signal-safe, so the audio thread and JACK's shutdown callback may give
// it; a burst of notes costs one system call, not one each.

#include <atomic>
#include <chrono>

namespace thumper {

class WakeSignal {
 public:
  WakeSignal();
  ~WakeSignal();
  WakeSignal(const WakeSignal&) = delete;
  WakeSignal& operator=(const WakeSignal&) = delete;

  // Any thread; real-time and async-signal safe.
  void Raise() noexcept;
  // The sleeper, before it looks at what there is to do.
  void Clear() noexcept;
  // Readable while raised: for poll() or a socket notifier. -1 when the
  // system gave no eventfd (then sleepers must poll on a timer).
  int Fd() const { return m_nFd; }
  // Sleeps until raised or until timeout has passed; true when raised.
  bool Wait(std::chrono::milliseconds timeout) const;

 private:
  int m_nFd;
  std::atomic<bool> m_bRaised{false};
};

}  // namespace thumper
