#include "drumset/SampleListFile.h"

#include <algorithm>
#include <limits>

#include "drumset/ArchiveBytes.h"

namespace thumper {

SampleListContent ReadSampleList(std::span<const uint8_t> bytes) {
  SampleListContent content;
  ArchiveReader in(bytes);
  const auto count = in.I32();
  if (!count) return content;
  if (*count <= 0) {
    content.bComplete = true;
    return content;
  }
  // The count is not trusted with an allocation: the list grows with the entries read.
  content.entries.reserve(std::min<size_t>({static_cast<size_t>(*count), in.Left(), 1024}));
  for (int32_t i = 0; i < *count; ++i) {
    auto entry = in.String();
    if (!entry) return content;
    content.entries.push_back(std::move(*entry));
  }
  content.bComplete = true;
  return content;
}

std::vector<uint8_t> WriteSampleList(const StringList& entries) {
  ArchiveWriter out;
  size_t total = 4;
  for (const auto& e : entries) total += e.size() + 7;
  out.Reserve(total);
  const size_t count =
      std::min<size_t>(entries.size(), static_cast<size_t>(std::numeric_limits<int32_t>::max()));
  out.PutI32(static_cast<int32_t>(count));
  for (size_t i = 0; i < count; ++i) out.PutString(entries[i]);
  return std::move(out.bytes());
}

}  // namespace thumper
