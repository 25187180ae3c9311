#pragma once
// A drum set as JSON, for `thumper info` and `thumper import`.

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "drumset/DrumSet.h"

namespace thumper {

// The whole drum set; strings as UTF-8 (bytes that are not UTF-8 decoded as
// Windows-1252). Keys in the order a reader expects them.
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
