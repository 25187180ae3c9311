#pragma once
// The ".slist" file: the entries of one group, an int32 count and that many
// strings. No header, no name: the group's name is the file's title.

#include <cstdint>
#include <span>
#include <vector>

#include "drumset/DrumSet.h"

namespace thumper {

struct SampleListContent {
  StringList entries;      // the entries read, in file order
  bool bComplete = false;  // false: the file ended early; entries holds those before the end
};

// Reads the bytes of a whole file. A count of 0 or less reads no entry. Never
// allocates more than the bytes could hold; bytes after the last entry are ignored.
SampleListContent ReadSampleList(std::span<const uint8_t> bytes);

std::vector<uint8_t> WriteSampleList(const StringList& entries);

}  // namespace thumper
