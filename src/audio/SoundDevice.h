#pragma once
// An open output device: the mixer that voices are made on, and whatever pulls
// it (a callback stream, the silent device's clock thread, or the caller).

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/BlockSource.h"
#include "audio/Mixer.h"
#include "audio/WakeSignal.h"

namespace thumper {

class SoundDevice {
 public:
  SoundDevice(Reclaimer& reclaimer, uint32_t sampleRate, std::string description);
  virtual ~SoundDevice() = default;
  SoundDevice(const SoundDevice&) = delete;
  SoundDevice& operator=(const SoundDevice&) = delete;

  Mixer& GetMixer() { return *m_pMixer; }
  uint32_t SampleRate() const { return m_pMixer->SampleRate(); }
  const std::string& Description() const { return m_strDescription; }
  // Frames per period the device pulls (0 when the caller pulls).
  virtual uint32_t PeriodFrames() const { return 0; }
  // UI thread: ends the pulling (stream or thread) for good, so the mixer's
  // voices can be released without an audio thread. Also done at destruction.
  virtual void StopPulling() {}

  // UI thread: true once the device has stopped working (the server went away,
  // the device was unplugged). Set from the audio side, read by the UI's poll.
  virtual bool HasFailed() const { return m_bFailed.load(std::memory_order_acquire); }
  // Any thread, real-time and async-signal safe.
  void MarkFailed() noexcept {
    m_bFailed.store(true, std::memory_order_release);
    if (WakeSignal* wake = m_pFailWake.load(std::memory_order_acquire)) wake->Raise();
  }

  // Any thread, real-time and async-signal safe: the rate the device runs at
  // now. When it is not the mixer's, the voices would play at the wrong speed:
  // the device falls silent and the UI's poll is woken to convert them.
  void NoteDeviceRate(uint32_t rate) noexcept {
    if (rate == 0 || m_nDeviceRate.exchange(rate, std::memory_order_acq_rel) == rate) return;
    if (rate != m_pMixer->SampleRate())
      if (WakeSignal* wake = m_pFailWake.load(std::memory_order_acquire)) wake->Raise();
  }
  uint32_t DeviceRate() const {
    const uint32_t rate = m_nDeviceRate.load(std::memory_order_acquire);
    return rate ? rate : m_pMixer->SampleRate();
  }
  // UI thread: true while the device runs at another rate than its mixer.
  bool RateChanged() const { return DeviceRate() != m_pMixer->SampleRate(); }
  // UI thread: the mixer takes the device's rate. The device stays silent
  // until EndRateChange, by which time the caller has released every voice
  // made for the old rate.
  void BeginRateChange() {
    m_bRateHold.store(true, std::memory_order_release);
    m_pMixer->SetSampleRate(DeviceRate());
  }
  void EndRateChange() { m_bRateHold.store(false, std::memory_order_release); }

  // UI thread, right after the open: raised when the device fails; and, for a
  // device that rests while nothing sounds, what wakes it. Both outlive it.
  void SetWakeSignals(WakeSignal* onFailure, WakeSignal* wakeFromRest) {
    m_pFailWake.store(onFailure, std::memory_order_release);
    m_pRestWake.store(wakeFromRest, std::memory_order_release);
  }

  // UI thread: what each cycle runs from now on (null: the mixer alone). The
  // source must outlive the pulling, or be unset before it goes.
  void SetBlockSource(BlockSource* source) { m_pSource.store(source, std::memory_order_release); }

  // Whether this device reads MIDI itself (a JACK client's own MIDI port), so
  // no other input of the same system is needed.
  virtual bool HasOwnMidiInput() const { return false; }
  // The name other programs see this device by (a JACK client's name); empty
  // when it has none.
  virtual std::string ClientName() const { return {}; }
  // Cycles the server reported as missed (xruns); 0 where nobody counts them.
  virtual uint64_t MissedCycles() const { return 0; }
  // Control thread, after every change of what plays: the output pairs besides
  // the main one that the kit plays on, for a device that gives each its own
  // outputs (a JACK client started with --multi-out); others mix every pair
  // into the main one and ignore this.
  struct OutputPairPorts {
    uint8_t nOutput = 0;
    std::string strPortBase;    // "n38_snare": ports "n38_snare_L" and "n38_snare_R"
    std::string strPrettyName;  // "Snare (note 38)"
    bool operator==(const OutputPairPorts&) const = default;
  };
  virtual void SetOutputPairs(const std::vector<OutputPairPorts>&) {}

 protected:
  // Real-time: the device's audio thread. One cycle through the block source,
  // or the mixer alone when none is set.
  void RenderCycle(const MixTarget& out, uint32_t frames, std::span<const MidiEventAt> events,
                   const CycleTime& time) noexcept {
    if (BlockSource* source = m_pSource.load(std::memory_order_acquire))
      source->RenderCycle(*m_pMixer, out, frames, events, time);
    else
      m_pMixer->Mix(out, frames);
    // The cycle still runs (the inbox and the voices move on as time does),
    // but what it made for another rate is not heard.
    if (m_bRateHold.load(std::memory_order_acquire) ||
        m_nDeviceRate.load(std::memory_order_relaxed) != m_pMixer->SampleRate())
      Silence(out, frames);
  }
  static void Silence(const MixTarget& out, uint32_t frames) noexcept;

  std::atomic<BlockSource*> m_pSource{nullptr};
  std::atomic<WakeSignal*> m_pFailWake{nullptr};
  std::atomic<WakeSignal*> m_pRestWake{nullptr};
  std::unique_ptr<Mixer> m_pMixer;
  std::string m_strDescription;
  std::atomic<bool> m_bFailed{false};
  std::atomic<uint32_t> m_nDeviceRate;  // the mixer's rate until a device says otherwise
  std::atomic<bool> m_bRateHold{false};
};

// A device the caller pulls with Mix (offline rendering, tests).
class PulledDevice : public SoundDevice {
 public:
  explicit PulledDevice(Reclaimer& reclaimer, uint32_t sampleRate = kOutputRate,
                        std::string description = "Offline")
      : SoundDevice(reclaimer, sampleRate, std::move(description)) {}
};

// "No audio output": consumes the mix at the real-time rate on a thread of its
// own, so voices play (and end) as they would on a real device. While nothing
// sounds it rests in long steps, woken by the signal it was given.
class SilentDevice : public SoundDevice {
 public:
  static constexpr std::chrono::milliseconds kRestStep{200};

  SilentDevice(Reclaimer& reclaimer, std::string description, uint32_t periodFrames);
  ~SilentDevice() override;
  uint32_t PeriodFrames() const override { return m_nPeriod; }
  void StopPulling() override;

 private:
  void Run();
  uint32_t m_nPeriod;
  std::atomic<bool> m_bQuit{false};
  struct Thread;
  std::unique_ptr<Thread> m_pThread;
};

}  // namespace thumper
