#pragma once
// SFZ opcode values: numbers, note names, and the opcodes of a region read
// into its typed fields, clamped to the ranges sfizz and the format give.

#include <optional>
#include <string>
#include <string_view>

#include "kits/SfzKit.h"

namespace thumper {

// "c4" (60, as sfizz counts octaves), "f#3", "db2", "C-1", or a number.
std::optional<int> ParseSfzNote(std::string_view value);

// The leading number of a value ("12", "-3.5", "0.5dB"); nothing when it
// does not start with one.
std::optional<double> ParseSfzNumber(std::string_view value);

// The N of an opcode named prefix + N (N in decimal digits only).
std::optional<int> SfzOpcodeSuffix(std::string_view name, std::string_view prefix);

// Opcodes that say something of the whole kit rather than of a region:
// default_path, set_ccN, set_hdccN, label_ccN, label_keyN.
bool IsSfzControlOpcode(std::string_view name);

// Applies one region opcode; false when name is not one (nothing changes). A value that cannot be
// used leaves the field as it was; a value out of range is clamped. Either way problem says what
// happened (without the place); it is left empty when all is well.
bool ApplySfzRegionOpcode(SfzRegion& region, std::string_view name, std::string_view value,
                          std::string& problem);

}  // namespace thumper
