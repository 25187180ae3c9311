#include "audio/AudioOutput.h"

#include <chrono>

namespace thumper {

namespace {
constexpr const char* kCaption = "Error";
}

AudioOutput::AudioOutput(std::unique_ptr<DriverBackend> backend)
    : m_pBackend(backend ? std::move(backend) : MakeSystemBackend()) {}

AudioOutput::~AudioOutput() {
  CloseDevice();
}

void AudioOutput::CloseDevice() {
  if (!m_pDirectSound) return;
  // Stop the audio thread first, so that nothing holds reclamation back (a
  // failed device may never call back again). Voices the voice table retired
  // release their buffers on this mixer when freed, so they go before it.
  m_pDirectSound->StopPulling();
  m_pDirectSound->GetMixer().DetachReader();
  m_reclaimer.ReclaimAll();
  m_pDirectSound.reset();
  m_reclaimer.ReclaimAll();
}

void AudioOutput::ReleaseVoicesAndClose() {
  if (m_pDirectSound) {
    // The voice table waits until the audio thread has let go of every voice,
    // and a device that stopped calling back (a JACK server gone) never would.
    m_pDirectSound->StopPulling();
    m_pDirectSound->GetMixer().DetachReader();
  }
  if (m_pResetter) m_pResetter->ResetVoices(false);
  CloseDevice();
}

void AudioOutput::SetBlockSource(BlockSource* source) {
  m_pSource = source;
  if (m_pDirectSound) m_pDirectSound->SetBlockSource(source);
}

void AudioOutput::SetWakeSignals(WakeSignal* onFailure, WakeSignal* wakeFromRest) {
  m_pFailWake = onFailure;
  m_pRestWake = wakeFromRest;
  if (m_pDirectSound) m_pDirectSound->SetWakeSignals(onFailure, wakeFromRest);
}

bool AudioOutput::EnumerateDrivers(OutputDriverList& list) {
  return m_pBackend->Enumerate(list);
}

std::unique_ptr<SoundDevice> AudioOutput::OpenEntry(const OutputDriverList& list, int index) {
  if (index < 0 || index >= list.m_nCount) return nullptr;
  auto device = m_pBackend->Open(list.m_pGuid[index].get(), list.m_strDescription[index],
                                 m_reclaimer, m_nPeriod);
  if (device) {
    device->SetBlockSource(m_pSource);
    device->SetWakeSignals(m_pFailWake, m_pRestWake);
  }
  return device;
}

int AudioOutput::InitDirectSound(UiServices& owner, bool bSwitch) {
  OutputDriverList list;
  const bool enumerated = m_pBackend->Enumerate(list);
  if (!enumerated)
    owner.MessageBox("Could not Enumerate", kCaption, MsgButtons::Ok, MsgIcon::Error);

  if (enumerated && !bSwitch) {
    // A second opening (the fallback, or a call while open) replaces the device,
    // so the voices made on the old one go first.
    if (m_pDirectSound) {
      m_bReloadPending = true;
      ReleaseVoicesAndClose();
    }
    for (int i = 0; i < list.m_nCount; ++i) {
      if (auto device = OpenEntry(list, i)) {
        m_pDirectSound = std::move(device);
        m_nOutputDriver = i;
        break;
      }
    }
  } else if (enumerated && bSwitch) {
    ReleaseVoicesAndClose();
    m_pDirectSound = OpenEntry(list, m_nOutputDriver);
    if (!m_pDirectSound) {
      const std::string description = m_nOutputDriver >= 0 && m_nOutputDriver < list.m_nCount
                                          ? list.m_strDescription[m_nOutputDriver]
                                          : std::string();
      owner.MessageBox(description + " does not seem to work", kCaption, MsgButtons::Ok,
                       MsgIcon::Error);
      m_bReloadPending = true;
      return 0;
    }
  }

  // There is no cooperative level or primary buffer to set up here: the mixer
  // writes the device's format itself.
  m_wfxOutput = OutputFormat();

  // After a failed switch the fallback reloads the voices as well, so that no
  // sounding slot is left without its voice.
  if ((bSwitch || m_bReloadPending) && m_pDirectSound) {
    m_bReloadPending = false;
    if (m_pResetter) m_pResetter->ResetVoices(true);
  }
  return 1;
}

void AudioOutput::FollowDeviceRate() {
  // As a driver switch does, minus the closing: the client keeps its name and
  // connections. The old voices are not heard from the moment the rate
  // changed; the new ones are made at the device's rate (in the background
  // where the voice table loads so).
  m_pDirectSound->BeginRateChange();
  if (m_pResetter) m_pResetter->ReleaseVoices();
  // The old copies stop at the top of the next cycle; the output is heard
  // again only then, and before any new voice can start, so no hit is cut
  // short by the silence. Bounded: a server that dies now stops cycling.
  (void)m_reclaimer.ReclaimWithin(std::chrono::milliseconds(250));
  m_pDirectSound->EndRateChange();
  if (m_pResetter) m_pResetter->ResetVoices(true);
}

bool AudioOutput::Poll(UiServices& owner) {
  m_reclaimer.Reclaim();
  if (m_pDirectSound && !m_pDirectSound->HasFailed() && m_pDirectSound->RateChanged())
    FollowDeviceRate();
  if (!m_pDirectSound || !m_pDirectSound->HasFailed()) return false;
  const std::string description = m_pDirectSound->Description();
  ReleaseVoicesAndClose();
  owner.MessageBox(description + " does not seem to work", kCaption, MsgButtons::Ok,
                   MsgIcon::Error);
  // Go on with the silent device: the last entry of the list.
  OutputDriverList list;
  if (m_pBackend->Enumerate(list)) {
    for (int i = list.m_nCount - 1; i >= 0 && !m_pDirectSound; --i) {
      const DriverId* id = list.m_pGuid[i].get();
      if (id && id->kind == DriverId::Kind::Silent) {
        m_pDirectSound = OpenEntry(list, i);
        if (m_pDirectSound) m_nOutputDriver = i;
      }
    }
  }
  if (!m_pDirectSound) {
    m_pDirectSound =
        std::make_unique<SilentDevice>(m_reclaimer, kSilentDeviceDescription, m_nPeriod);
    m_pDirectSound->SetBlockSource(m_pSource);
    m_pDirectSound->SetWakeSignals(m_pFailWake, m_pRestWake);
  }
  if (m_pResetter) m_pResetter->ResetVoices(true);
  return true;
}

}  // namespace thumper
