#pragma once
// Streams rendered audio to a WAV file: 44,100 Hz stereo, 16-bit PCM or 32-bit
// float, written block by block so memory stays flat however long the song.
// A regular file appears under its name only when Close succeeds; until then
// it is written beside it under a temporary name, so a failed render never
// leaves a half file or destroys the one that was there. Devices, pipes and
// symbolic links are written in place. Command-line thread only.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <sndfile.h>

namespace thumper {

enum class WavSampleFormat { Pcm16, Float32 };

struct [[nodiscard]] WavWriteStatus {
  bool ok = true;
  std::string message;  // what went wrong, naming the file; empty when ok
};

class WavFileWriter {
 public:
  static constexpr int kSampleRate = 44100;
  static constexpr int kChannels = 2;
  // The RIFF sizes are 32 bits; stop well before they would wrap.
  static constexpr uint64_t kMaxDataBytes = 0xFFFFFFFFull - 4096;

  explicit WavFileWriter(uint64_t maxDataBytes = kMaxDataBytes);
  ~WavFileWriter();  // a file that was never closed is discarded
  WavFileWriter(const WavFileWriter&) = delete;
  WavFileWriter& operator=(const WavFileWriter&) = delete;

  WavWriteStatus Open(const std::string& path, WavSampleFormat format);

  // Interleaved left/right samples; an odd count is refused. Floats are full
  // scale at +-1.0: a 16-bit file gets them times 32768, rounded to nearest and
  // saturated; a float file keeps them as they are (non-finite values become 0).
  WavWriteStatus Write(std::span<const float> interleaved);
  // 16-bit samples go to a 16-bit file unchanged, to a float file divided by 32768.
  WavWriteStatus Write(std::span<const int16_t> interleaved);

  // Finishes the header with the final sizes and puts the file in place.
  WavWriteStatus Close();
  // Closes and removes what was written (for a render that failed).
  void Discard();

  bool IsOpen() const { return m_pFile != nullptr; }
  int64_t FramesWritten() const { return m_nFrames; }

 private:
  WavWriteStatus CheckRoom(size_t samples) const;
  WavWriteStatus Written(sf_count_t asked, sf_count_t done, int savedErrno);
  void RemovePartialFile();

  // Samples converted per write: 1 MiB of floats, so the disk sees large writes.
  static constexpr size_t kBlockSamples = size_t(1) << 18;

  uint64_t m_nMaxDataBytes;
  SNDFILE* m_pFile = nullptr;
  int m_fd = -1;
  WavSampleFormat m_format = WavSampleFormat::Pcm16;
  std::string m_strPath;      // the name the file gets
  std::string m_strTempPath;  // where it is written until Close; empty when written in place
  int64_t m_nFrames = 0;
  bool m_bFailed = false;
  bool m_bRemoveOnDiscard = false;  // written in place, and nothing else to keep
  std::vector<float> m_floatBlock;  // sized on first use
  std::vector<int16_t> m_shortBlock;
};

}  // namespace thumper
