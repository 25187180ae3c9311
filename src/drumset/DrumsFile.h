#pragma once
// The ".drums" file: the bytes of a drum set, written and read in one pass.

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "drumset/DrumSet.h"

namespace thumper {

// The whole file for a drum set, byte for byte.
std::vector<uint8_t> SerializeDrumSet(const DrumSet& set);

// A new drum set from the bytes of a whole file; nothing when the bytes are not
// a well-formed drum set. Values only a damaged file holds (a scheme out of
// range, references to missing entries) are kept as they are.
std::optional<DrumSet> ParseDrumSet(std::span<const uint8_t> bytes);

}  // namespace thumper
