#include "audio/WakeSignal.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace thumper {

WakeSignal::WakeSignal() : m_nFd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

WakeSignal::~WakeSignal() {
  if (m_nFd >= 0) close(m_nFd);
}

// Real-time: any thread.
void WakeSignal::Raise() noexcept {
  if (m_bRaised.exchange(true, std::memory_order_acq_rel)) return;
  if (m_nFd < 0) return;
  const uint64_t one = 1;
  // Non-blocking: a counter that cannot take more is already readable.
  [[maybe_unused]] const ssize_t n = write(m_nFd, &one, sizeof one);
}

void WakeSignal::Clear() noexcept {
  // Drained before the flag is cleared: a raise between the two finds the
  // flag still up and writes nothing, but its work is seen, since the sleeper
  // looks for work after this returns; a raise after the clearing writes
  // again. (Cleared first, a raise between the two had its write drained and
  // left the flag up, so every raise after it wrote nothing: the sleeper
  // slept its whole timeout with work waiting.) The exchange pairs with the
  // raiser's, so what was posted before that raise is visible here.
  if (m_nFd >= 0) {
    uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = read(m_nFd, &count, sizeof count);
  }
  m_bRaised.exchange(false, std::memory_order_acq_rel);
}

bool WakeSignal::Wait(std::chrono::milliseconds timeout) const {
  if (m_nFd < 0) {
    usleep(static_cast<useconds_t>(timeout.count()) * 1000);
    return false;
  }
  pollfd p{m_nFd, POLLIN, 0};
  return poll(&p, 1, static_cast<int>(timeout.count())) > 0;
}

}  // namespace thumper
