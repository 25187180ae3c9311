#pragma once
// Reads a sample file (WAV of any width, float or extensible; AIFF; FLAC) into
// the voice layout: 16-bit, two channels, interleaved, 44,100 Hz. Other rates are
// converted with soxr, other widths scaled, one channel doubled, and files of
// more than two channels give their first two. UI thread. Voices decode through
// DecodeSample instead, straight into their buffer; this copy serves callers
// that want the bytes.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "audio/SampleDecoder.h"
#include "drumset/UiServices.h"

namespace thumper {

class WaveReader {
 public:
  explicit WaveReader(UiServices& ui) : m_ui(ui) {}

  // 0 on success (m_pData and m_nDataBytes hold the data, which the caller may
  // take over); 1 on failure, with nothing held. Only a file that cannot be
  // opened is reported ("Could not OpenFile").
  int Read(const std::string& path);
  // The same from bytes in memory; never shows a message.
  int ReadMemory(const uint8_t* bytes, size_t size);

  std::unique_ptr<uint8_t[]> m_pData;
  uint32_t m_nDataBytes = 0;

 private:
  int Hold(DecodedSample decoded);
  void Clear();
  UiServices& m_ui;
};

}  // namespace thumper
