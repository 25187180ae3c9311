#include "audio/WaveReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <new>

#include "audio/SampleDecoder.h"
#include "audio/SampleSource.h"

namespace thumper {

void WaveReader::Clear() {
  m_pData.reset();
  m_nDataBytes = 0;
}

int WaveReader::Read(const std::string& path) {
  Clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    m_ui.MessageBox("Could not OpenFile", "Error", MsgButtons::Ok, MsgIcon::Error);
    return 1;
  }
  FileSource source(fd);
  return Hold(DecodeSample(source));
}

int WaveReader::ReadMemory(const uint8_t* bytes, size_t size) {
  Clear();
  MemorySource source(bytes, size);
  return Hold(DecodeSample(source));
}

int WaveReader::Hold(DecodedSample decoded) {
  if (decoded.status != DecodeStatus::Ok || !decoded.pData) return 1;
  const size_t bytes = 4 * size_t(decoded.pData->nFrames);
  std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[std::max<size_t>(bytes, 1)]);
  if (!data) return 1;
  if (bytes) CopyAsStereo(*decoded.pData, reinterpret_cast<int16_t*>(data.get()));
  m_pData = std::move(data);
  m_nDataBytes = static_cast<uint32_t>(bytes);
  return 0;
}

}  // namespace thumper
