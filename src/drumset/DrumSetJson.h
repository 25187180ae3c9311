#pragma once
// A drum set as JSON, for `thumper info` and `thumper import`.

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "drumset/DrumSet.h"

namespace thumper {

// The key of a stored string whose bytes are not UTF-8: {"bytes-cp1252": TEXT}
// holds the bytes read as Windows-1252, so they come back byte for byte.
inline constexpr const char* kCp1252Key = "bytes-cp1252";

// The whole drum set; strings as UTF-8 text, or as {"bytes-cp1252": TEXT}
// where the stored bytes are not UTF-8. Keys in the order a reader expects them.
nlohmann::ordered_json DrumSetToJson(const DrumSet& set);

// The drum set a JSON describes. Missing keys, and missing trailing slots,
// layers and schemes, take the new-drum-set defaults. Throws JsonImportError
// naming the offending key for anything a drum set file cannot hold.
DrumSet DrumSetFromJson(const nlohmann::json& json);

class JsonImportError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

}  // namespace thumper
