// Any bytes given to the ".slist" reader: it reads what entries it can, never
// reads outside the bytes, and a complete list writes back to a list that reads
// back the same.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "drumset/SampleListFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto content = thumper::ReadSampleList(std::span(data, size));
  // Every entry takes at least its length byte, after the 4-byte count.
  if (content.entries.size() > size) std::abort();
  const auto bytes = thumper::WriteSampleList(content.entries);
  const auto again = thumper::ReadSampleList(bytes);
  if (!again.bComplete || again.entries != content.entries) std::abort();
  return 0;
}
