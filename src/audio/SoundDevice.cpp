#include "audio/SoundDevice.h"

#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

namespace thumper {

int64_t SteadyMicros() noexcept {
  return std::chrono::duration_cast<std::chrono::microseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

SoundDevice::SoundDevice(Reclaimer& reclaimer, uint32_t sampleRate, std::string description)
    : m_strDescription(std::move(description)) {
  Mixer::Options options;
  options.nSampleRate = sampleRate;
  m_pMixer = std::make_unique<Mixer>(reclaimer, options);
  m_nDeviceRate.store(m_pMixer->SampleRate(), std::memory_order_relaxed);
}

// Real-time.
void SoundDevice::Silence(const MixTarget& out, uint32_t frames) noexcept {
  for (uint32_t k = 0; out.pMore && k < out.nMore; ++k) Silence(out.pMore[k], frames);
  switch (out.kind) {
    case MixTarget::Kind::Float:
      std::fill_n(out.pFloat, 2 * size_t{frames}, 0.0f);
      break;
    case MixTarget::Kind::Int16:
      std::fill_n(out.pInt16, 2 * size_t{frames}, int16_t{0});
      break;
    case MixTarget::Kind::Planar:
      std::fill_n(out.pLeft, frames, 0.0f);
      std::fill_n(out.pRight, frames, 0.0f);
      break;
  }
}

struct SilentDevice::Thread {
  std::thread thread;
};

SilentDevice::SilentDevice(Reclaimer& reclaimer, std::string description, uint32_t periodFrames)
    : SoundDevice(reclaimer, kOutputRate, std::move(description)),
      m_nPeriod(std::clamp<uint32_t>(periodFrames, 16, Mixer::kMaxBlockFrames)),
      m_pThread(std::make_unique<Thread>()) {
  m_pThread->thread = std::thread([this] { Run(); });
}

SilentDevice::~SilentDevice() {
  StopPulling();
}

void SilentDevice::StopPulling() {
  m_bQuit.store(true);
  if (WakeSignal* wake = m_pRestWake.load(std::memory_order_acquire)) wake->Raise();
  if (m_pThread->thread.joinable()) m_pThread->thread.join();
}

void SilentDevice::Run() {
  std::vector<float> block(2 * m_nPeriod);  // allocated before the loop starts
  using clock = std::chrono::steady_clock;
  const auto period = std::chrono::duration_cast<clock::duration>(
      std::chrono::duration<double>(static_cast<double>(m_nPeriod) / SampleRate()));
  // Each cycle is rendered at the moment it would start on a real device, and
  // that moment is the cycle's time: the clock inputs are stamped against.
  auto start = clock::now();
  auto render = [&] {
    const int64_t micros =
        std::chrono::duration_cast<std::chrono::microseconds>(start.time_since_epoch()).count();
    RenderCycle(MixTarget::Interleaved(block.data()), m_nPeriod, {}, {micros, &SteadyMicros});
    start += period;
  };
  while (!m_bQuit.load(std::memory_order_acquire)) {
    WakeSignal* wake = m_pRestWake.load(std::memory_order_acquire);
    if (wake) wake->Clear();  // before the cycle drains the inbox: no post is missed
    render();
    if (wake && m_pMixer->SoundingVoices() == 0) {
      // Nothing sounds: rest in long steps instead of a wake-up every period,
      // until a message comes. Then the cycles rested through are rendered at
      // once, so the clock and every stamp stay exact.
      wake->Wait(kRestStep);
      const auto now = clock::now();
      if (start < now - std::chrono::seconds(2)) start = now - kRestStep;  // a stall
      while (start + period <= now && !m_bQuit.load(std::memory_order_acquire)) render();
    }
    const auto now = clock::now();
    if (start < now - 50 * period) start = now;  // after a long stall, do not race to catch up
    std::this_thread::sleep_until(start);
  }
}

}  // namespace thumper
