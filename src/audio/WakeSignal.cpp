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
  // Cleared before the drain: a raise that comes after it writes again, so no
  // wake-up is lost between the two.
  m_bRaised.store(false, std::memory_order_release);
  if (m_nFd < 0) return;
  uint64_t count = 0;
  [[maybe_unused]] const ssize_t n = read(m_nFd, &count, sizeof count);
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
