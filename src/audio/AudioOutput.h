#pragma once
// The output device and driver list of the view: opens the first driver that
// works, switches drivers on request, and falls back to "No audio output" when
// a running device fails. UI thread, except where a comment says otherwise.

#include <cstdint>
#include <memory>

#include "audio/OutputDriverList.h"
#include "audio/Reclaimer.h"
#include "audio/SoundDevice.h"
#include "audio/VoiceResetter.h"
#include "audio/WaveFormat.h"
#include "drumset/UiServices.h"

namespace thumper {

class AudioOutput {
 public:
  static constexpr uint32_t kDefaultPeriod = 128;

  // backend null: the system's drivers.
  explicit AudioOutput(std::unique_ptr<DriverBackend> backend = nullptr);
  // Closes the device; every voice must be gone by now.
  ~AudioOutput();
  AudioOutput(const AudioOutput&) = delete;
  AudioOutput& operator=(const AudioOutput&) = delete;

  // Called on a switch and on a fallback; nothing when not set.
  void SetVoiceResetter(VoiceResetter* resetter) { m_pResetter = resetter; }
  // Frames per period for the devices opened from now on (JACK uses the server's).
  void SetPeriod(uint32_t frames) { m_nPeriod = frames; }
  uint32_t Period() const { return m_nPeriod; }
  // Name and connections of a JACK client opened from now on.
  void SetJackOptions(const JackClientOptions& options) { m_pBackend->SetJackOptions(options); }
  // What every device opened from now on runs each cycle (the timed-event
  // engine); it must outlive this output.
  void SetBlockSource(BlockSource* source);
  // Given to every device opened from now on (see SoundDevice::SetWakeSignals).
  void SetWakeSignals(WakeSignal* onFailure, WakeSignal* wakeFromRest);

  // bSwitch false: open the first driver that works. bSwitch true: replace the
  // open device by driver m_nOutputDriver. Returns 0 only when a switch failed.
  int InitDirectSound(UiServices& owner, bool bSwitch);

  // Runs the driver enumeration into list (the Options dialog fills its box so).
  bool EnumerateDrivers(OutputDriverList& list);

  // UI thread, called often (a timer): frees retired memory; when the open
  // device runs at a new rate, has the voices made again for it; and when it
  // has failed, reports it once and goes on with "No audio output". True when
  // it switched devices.
  bool Poll(UiServices& owner);

  bool IsOpen() const { return m_pDirectSound != nullptr; }
  // Stops and closes the device for good (teardown); every voice must be retired.
  void Close() { CloseDevice(); }
  Reclaimer& GetReclaimer() { return m_reclaimer; }
  void Reclaim() { m_reclaimer.Reclaim(); }

  // Declared first so it outlives the device's mixer.
  Reclaimer m_reclaimer;
  std::unique_ptr<SoundDevice> m_pDirectSound;
  WaveFormat m_wfxOutput;
  int m_nOutputDriver = 0;

 private:
  void CloseDevice();
  void FollowDeviceRate();
  // Stops the device, lets the voice table release every voice, then closes.
  void ReleaseVoicesAndClose();
  std::unique_ptr<SoundDevice> OpenEntry(const OutputDriverList& list, int index);

  std::unique_ptr<DriverBackend> m_pBackend;
  VoiceResetter* m_pResetter = nullptr;
  BlockSource* m_pSource = nullptr;
  WakeSignal* m_pFailWake = nullptr;
  WakeSignal* m_pRestWake = nullptr;
  uint32_t m_nPeriod = kDefaultPeriod;
  bool m_bReloadPending = false;  // a failed switch left the voice table empty
};

}  // namespace thumper
