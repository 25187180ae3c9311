#pragma once
// How much memory the system can still give: what the sample list shows and
// what a kit's samples must fit in. Any thread; reads /proc.

#include <cstdint>

namespace thumper {

// MemAvailable of /proc/meminfo in bytes; 0 when it cannot be read.
uint64_t AvailableMemoryBytes();

}  // namespace thumper
