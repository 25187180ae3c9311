#pragma once
// Decodes one sample file straight into the buffer a voice plays: 16-bit frames
// at the mixer's rate, one channel for a mono file (half the memory), else two. The buffer is sized
// from the header, reading and rate conversion (soxr) run in chunks into it, so a load makes no
// whole-file intermediate copies. Touches nothing shared: any thread, so the files of a kit decode
// in parallel.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "audio/Mixer.h"
#include "audio/SampleSource.h"

namespace thumper {

enum class DecodeStatus {
  Ok,
  Unreadable,     // not a sample file we can read, or too large to hold
  NotOpened,      // the file cannot be opened
  ConvertFailed,  // the conversion to the mixer's rate failed
  Cancelled,
};

struct DecodedSample {
  DecodeStatus status = DecodeStatus::Unreadable;
  // The frames at mixerRate, mono or stereo; set when status is Ok.
  std::unique_ptr<SampleData> pData;
  // The size of the sample in the voice layout (44,100 Hz), which bounds what a
  // buffer accepts whatever the mixer's rate.
  uint64_t nVoiceBytes = 0;
  // The data is not the file's own 16-bit 44,100 Hz frames read straight: it was
  // decoded, widened or narrowed, or converted to another rate (what a cache
  // of converted samples keeps).
  bool bConverted = false;
};

// The read of the voice layout (16-bit stereo, 44,100 Hz, a mono file kept as
// its one channel, which is either half of that stereo to the bit), then, when
// mixerRate differs, the conversion the mixer makes of 44,100 Hz data (both in
// chunks).
// cancel, when given, is looked at between chunks. Data that is empty or larger
// than a buffer holds is not converted (the voice refuses it anyway).
DecodedSample DecodeSample(const ByteSource& source, uint32_t mixerRate = kOutputRate,
                           const std::atomic<bool>* cancel = nullptr);

// Opens and decodes the file at path; Unreadable when it cannot be opened.
DecodedSample DecodeSampleFile(const std::string& path, uint32_t mixerRate = kOutputRate,
                               const std::atomic<bool>* cancel = nullptr);

// Only whether the file at path reads as a sample, from its header: Ok, or the
// status its decode would start with. No data is read.
DecodeStatus CheckSampleFile(const std::string& path);

// What the header of a sample file says; nothing when it does not read as a sample.
struct SampleFileHeader {
  uint64_t nFrames = 0;
  uint32_t nChannels = 0;
  uint32_t nRate = 0;
};
std::optional<SampleFileHeader> ReadSampleFileHeader(const std::string& path);

// The rate the file at path was recorded at, from its header; 0 when it does
// not read as a sample.
uint32_t SampleFileRate(const std::string& path);

// The frames of data as interleaved stereo (a mono channel doubled) into out,
// which holds 2 * data.nFrames samples.
void CopyAsStereo(const SampleData& data, int16_t* out) noexcept;

// Whether a buffer of nVoiceBytes can be made (as Mixer::CreateBuffer decides).
inline bool FitsBuffer(uint64_t nVoiceBytes) {
  return nVoiceBytes >= Mixer::kMinBufferBytes && nVoiceBytes <= Mixer::kMaxBufferBytes;
}

}  // namespace thumper
