// Any bytes given to the ".drums" reader: it answers with a drum set or nothing,
// never reads outside the bytes, and what it reads writes back to bytes that read
// back to the same bytes again.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "drumset/DrumsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const auto set = thumper::ParseDrumSet(std::span(data, size));
  if (!set) return 0;
  if (set->GroupCount() > thumper::kGroupListSlots || !set->m_pGroupList[0]) std::abort();
  for (int g = 0; g < set->GroupCount(); ++g) {
    if (!set->m_pGroupList[g]) std::abort();
  }
  const auto bytes = thumper::SerializeDrumSet(*set);
  const auto again = thumper::ParseDrumSet(bytes);
  if (!again || thumper::SerializeDrumSet(*again) != bytes) std::abort();
  return 0;
}
