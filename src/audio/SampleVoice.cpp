#include "audio/SampleVoice.h"

#include <algorithm>
#include <cstring>

namespace thumper {

namespace {
constexpr const char* kCaption = "SND";
}

SampleVoice::SampleVoice(UiServices& owner, SoundDevice* device, const uint8_t* bytes,
                         uint32_t byteCount, int copies, WaveFormat format, std::string name)
    : m_strName(std::move(name)), m_nCopies(std::clamp(copies, 1, kMaxCopies)) {
  m_pMixer = device ? &device->GetMixer() : nullptr;
  if (m_pMixer) m_pBuffer[0] = m_pMixer->CreateBuffer(format, byteCount);
  if (!m_pBuffer[0].IsValid()) {
    owner.MessageBox("En onnistunut luomaan bufferia", kCaption, MsgButtons::Ok, MsgIcon::Error);
    return;  // nothing to fill or duplicate
  }
  std::span<uint8_t> region = m_pMixer->LockBuffer(m_pBuffer[0]);
  if (region.empty()) {
    owner.MessageBox("lolock epäonnistui", kCaption, MsgButtons::Ok, MsgIcon::Error);
  } else {
    if (bytes) std::memcpy(region.data(), bytes, std::min<size_t>(region.size(), byteCount));
    if (!m_pMixer->UnlockBuffer(m_pBuffer[0]))
      owner.MessageBox("Unlolock epäonnistui", kCaption, MsgButtons::Ok, MsgIcon::Error);
  }
  MakeDuplicates();
}

SampleVoice::SampleVoice(UiServices& owner, SoundDevice* device, DecodedSample decoded, int copies,
                         std::string name)
    : m_strName(std::move(name)), m_nCopies(std::clamp(copies, 1, kMaxCopies)) {
  m_pMixer = device ? &device->GetMixer() : nullptr;
  if (decoded.status == DecodeStatus::ConvertFailed) {
    // The buffer was there; the conversion to the device's rate is what failed.
    owner.MessageBox("Unlolock epäonnistui", kCaption, MsgButtons::Ok, MsgIcon::Error);
    return;
  }
  if (m_pMixer && decoded.status == DecodeStatus::Ok && FitsBuffer(decoded.nVoiceBytes)) {
    m_bStereo = decoded.pData && decoded.pData->nChannels == 2;
    m_pBuffer[0] = m_pMixer->AdoptBuffer(std::move(decoded.pData));
  }
  if (!m_pBuffer[0].IsValid()) {
    owner.MessageBox("En onnistunut luomaan bufferia", kCaption, MsgButtons::Ok, MsgIcon::Error);
    return;
  }
  MakeDuplicates();
}

void SampleVoice::MakeDuplicates() {
  for (int i = 1; i < m_nCopies; ++i) m_pBuffer[i] = m_pMixer->DuplicateBuffer(m_pBuffer[0]);
}

SampleVoice::~SampleVoice() {
  if (!m_pMixer) return;
  for (int i = m_nCopies - 1; i >= 0; --i) m_pMixer->ReleaseBuffer(m_pBuffer[i]);
}

int SampleVoice::CurrentCopy() const noexcept {
  return m_nNext.load(std::memory_order_relaxed) % m_nCopies;
}

// Real-time: the note trigger and the UI thread.
void SampleVoice::SetVolume(long attenuation) noexcept {
  if (!IsPlayable()) return;
  m_pMixer->SetAttenuation(m_pBuffer[CurrentCopy()], attenuation);
}

BufferId SampleVoice::ClaimCopy() noexcept {
  // Each caller claims its own copy, even when two threads play at once.
  int copy = m_nNext.load(std::memory_order_relaxed);
  while (!m_nNext.compare_exchange_weak(copy, (copy + 1) % m_nCopies, std::memory_order_relaxed)) {
  }
  return m_pBuffer[copy % m_nCopies];
}

// Real-time: the note trigger and the UI thread.
void SampleVoice::Play() noexcept {
  if (!IsPlayable()) return;
  const BufferId id = ClaimCopy();
  m_pMixer->SetPosition(id, 0);
  m_pMixer->Play(id);
}

// Real-time: the note trigger.
void SampleVoice::PlayWithVolume(long attenuation) noexcept {
  if (!IsPlayable()) return;
  m_pMixer->Play(ClaimCopy(), GainOfAttenuation(attenuation));
}

// Real-time: the note trigger.
void SampleVoice::PlayPanned(float left, float right, uint32_t start, uint8_t output) noexcept {
  if (!IsPlayable()) return;
  m_pMixer->Play(ClaimCopy(), left, right, start, output);
}

// Real-time: the note trigger.
void SampleVoice::PlayWithWidth(float left, float right, float width, uint32_t start,
                                uint8_t output) noexcept {
  if (!IsPlayable()) return;
  if (!m_bStereo || width == 1.0f) return m_pMixer->Play(ClaimCopy(), left, right, start, output);
  m_pMixer->Play(ClaimCopy(), WidthGains(left, right, width), start, output);
}

// Real-time: the note trigger and the UI thread.
void SampleVoice::StopAll() noexcept {
  StopAll(0);
}

// Real-time: the note trigger and the UI thread.
void SampleVoice::StopAll(uint32_t fadeFrames) noexcept {
  if (!IsPlayable()) return;
  for (int i = 0; i < m_nCopies; ++i) m_pMixer->Stop(m_pBuffer[i], fadeFrames);
}

}  // namespace thumper
