#pragma once
// Whether a kit's samples fit in memory before any is read: what they take
// decoded at the mixer's rate (worked out from their headers), against what
// the system can still give or the budget the user set. Thumper holds every
// sample whole, so a kit past that is refused with a message instead of the
// system's out-of-memory killer ending the program. Control thread; reads the
// files' headers.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "play/KitProgram.h"

namespace thumper {

// Bytes the wanted samples of program (null: all) take decoded for a mixer at
// rate: mono kept mono, 16 bits a value, pitched samples at their own rate.
// A file whose header cannot be read counts nothing (its load will say why).
uint64_t KitSampleBytes(const KitProgram& program, const std::vector<bool>* wanted, uint32_t rate);

// The message for a kit at path whose samples take need bytes when budget
// allows fewer; nothing when they fit. budget null: the memory available.
std::optional<std::string> KitMemoryRefusal(const std::string& path, uint64_t need,
                                            std::optional<uint64_t> budget);

}  // namespace thumper
