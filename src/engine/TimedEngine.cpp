#include "engine/TimedEngine.h"

#include <algorithm>
#include <cmath>

namespace thumper {

namespace {
constexpr size_t kInboxCapacity = 4096;
// A stamp further than this from the cycle belongs to another clock (the device
// changed while it waited): it is played at once rather than never.
constexpr int64_t kPlausibleMicros = 2'000'000;
}  // namespace

TimedEngine::TimedEngine(NoteTrigger& trigger, Reclaimer& reclaimer)
    : m_trigger(trigger),
      m_reclaimer(reclaimer),
      m_pReader(reclaimer.RegisterReader()),
      m_inbox(kInboxCapacity) {}

TimedEngine::~TimedEngine() {
  m_reclaimer.UnregisterReader(m_pReader);
}

MicrosClock TimedEngine::CurrentClock() const noexcept {
  const MicrosClock clock = m_pClock.load(std::memory_order_acquire);
  return clock ? clock : &SteadyMicros;
}

// Real-time: any thread.
bool TimedEngine::PostNow(uint32_t message) noexcept {
  return PostAt(message, CurrentClock()());
}

// Real-time: any thread.
bool TimedEngine::PostAt(uint32_t message, int64_t arrivalMicros) noexcept {
  const bool posted = m_inbox.TryPush({arrivalMicros, message});
  if (!posted) m_nDropped.fetch_add(1, std::memory_order_relaxed);
  if (WakeSignal* wake = m_pPostWake.load(std::memory_order_acquire)) wake->Raise();
  return posted;
}

void TimedEngine::TakeInbox(uint32_t rate, uint32_t frames, const CycleTime& time) noexcept {
  Stamped s;
  for (size_t n = m_inbox.Capacity(); n > 0 && m_inbox.TryPop(s); --n) {
    int64_t target = m_nFrame;  // without a clock: at once
    if (time.pClock) {
      const int64_t delta = s.nMicros - time.nStartMicros;
      if (delta > -kPlausibleMicros && delta < kPlausibleMicros) {
        // One cycle after its arrival, on this cycle's frame grid.
        target = m_nFrame + frames +
                 static_cast<int64_t>(std::llround(static_cast<double>(delta) * rate / 1e6));
      }
    }
    if (m_nWaiting == m_waiting.size()) {
      m_nDropped.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    // Arrivals come nearly in order: insertion from the back keeps it cheap.
    size_t i = m_nWaiting++;
    while (i > 0 && m_waiting[i - 1].nFrame > target) {
      m_waiting[i] = m_waiting[i - 1];
      --i;
    }
    m_waiting[i] = {target, s.nMessage};
  }
}

void TimedEngine::Apply(uint32_t message) noexcept {
  if (m_pReader) m_trigger.OnMidiMessage(*m_pReader, message, 0);
}

// Real-time: the audio thread.
void TimedEngine::RenderCycle(Mixer& mixer, const MixTarget& out, uint32_t frames,
                              std::span<const MidiEventAt> events, const CycleTime& time) noexcept {
  if (time.pClock) m_pClock.store(time.pClock, std::memory_order_release);
  mixer.BeginCycle();
  TakeInbox(mixer.SampleRate(), frames, time);

  // The waiting messages due in this cycle, as frames of it; late ones at once.
  const int64_t end = m_nFrame + frames;
  size_t due = 0;
  while (due < m_nWaiting && m_waiting[due].nFrame < end) {
    const int64_t at = std::max<int64_t>(0, m_waiting[due].nFrame - m_nFrame);
    m_due[due] = {static_cast<uint32_t>(at), m_waiting[due].nMessage};
    ++due;
  }
  std::copy(m_waiting.begin() + due, m_waiting.begin() + m_nWaiting, m_waiting.begin());
  m_nWaiting -= due;

  // Both lists in frame order, merged; the host's first at equal frames. An
  // event outside the cycle plays at its last frame, one out of order at once.
  const uint32_t last = frames ? frames - 1 : 0;
  uint32_t pos = 0;
  size_t h = 0, w = 0;
  while (h < events.size() || w < due) {
    const bool host = w >= due || (h < events.size() && events[h].nFrame <= m_due[w].nFrame);
    const MidiEventAt& e = host ? events[h++] : m_due[w++];
    const uint32_t at = std::max(pos, std::min(e.nFrame, last));
    if (at > pos) {
      mixer.MixSegment(out, pos, at - pos);
      pos = at;
    }
    Apply(e.nMessage);
  }
  mixer.MixSegment(out, pos, frames - pos);
  m_nFrame = end;
}

}  // namespace thumper
