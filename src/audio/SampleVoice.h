#pragma once
// One sample made playable: a buffer holding the sample and up to 15 duplicates
// sharing its data, started in turn so that a repeated hit does not cut off its
// own previous hit until every copy is in use.

#include <array>
#include <atomic>
#include <cstdint>
#include <string>

#include "audio/Mixer.h"
#include "audio/SampleDecoder.h"
#include "audio/SoundDevice.h"
#include "audio/WaveFormat.h"
#include "drumset/UiServices.h"

namespace thumper {

class SampleVoice {
 public:
  static constexpr int kMaxCopies = 16;

  // UI thread. device is the view's m_pDirectSound (null when none is open);
  // failures are reported through owner with the caption "SND".
  SampleVoice(UiServices& owner, SoundDevice* device, const uint8_t* bytes, uint32_t byteCount,
              int copies, WaveFormat format, std::string name);
  // UI thread: the same from a sample decoded at the device's rate (the read
  // succeeded): its data becomes the first buffer without a copy.
  SampleVoice(UiServices& owner, SoundDevice* device, DecodedSample decoded, int copies,
              std::string name);
  // UI thread: releases the copies from the last to the first.
  ~SampleVoice();
  SampleVoice(const SampleVoice&) = delete;
  SampleVoice& operator=(const SampleVoice&) = delete;

  // Real-time safe, any thread: attenuation of the copy the next Play starts.
  void SetVolume(long attenuation) noexcept;
  // Real-time safe, any thread: rewinds and starts the next copy, then moves on.
  void Play() noexcept;
  // Real-time safe, any thread: SetVolume and Play as one step, so that two
  // sources starting this voice at once each keep their own attenuation.
  void PlayWithVolume(long attenuation) noexcept;
  // Real-time safe, any thread: starts the next copy at frame start, each
  // channel at its own gain (pan), on output pair output, and moves on.
  void PlayPanned(float left, float right, uint32_t start, uint8_t output = 0) noexcept;
  // Real-time safe, any thread: the same with the stereo width of a stereo
  // sample (WidthGains: 1 as recorded, 0 summed to the middle, -1 swapped). A
  // mono sample has no width: it plays as PlayPanned.
  void PlayWithWidth(float left, float right, float width, uint32_t start,
                     uint8_t output = 0) noexcept;
  // Real-time safe, any thread: stops every copy (with a 2 ms fade).
  void StopAll() noexcept;
  // Real-time safe, any thread: stops every copy with a fade of fadeFrames
  // frames at the mixer's rate (0: 2 ms).
  void StopAll(uint32_t fadeFrames) noexcept;

  // False when the first buffer could not be made: the voice then does nothing.
  bool IsPlayable() const { return m_pBuffer[0].IsValid(); }
  // Whether its data has two channels (a mono file's has one).
  bool IsStereo() const { return m_bStereo; }

  std::string m_strName;
  int m_nCopies;
  std::array<BufferId, kMaxCopies> m_pBuffer;
  std::atomic<int> m_nNext{0};

 private:
  int CurrentCopy() const noexcept;
  // Claims the copy the next start uses and moves on.
  BufferId ClaimCopy() noexcept;
  void MakeDuplicates();
  Mixer* m_pMixer = nullptr;
  bool m_bStereo = true;
};

}  // namespace thumper
