// The JSON import of `thumper import`: any bytes give a drum set or a clear
// refusal, and a drum set that was accepted survives the file and JSON round trip.

#include <cstdint>
#include <cstdlib>

#include "drumset/DrumSetJson.h"
#include "drumset/DrumsFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  auto json = nlohmann::json::parse(data, data + size, nullptr, /*allow_exceptions=*/false);
  if (json.is_discarded()) return 0;
  thumper::DrumSet set;
  try {
    set = thumper::DrumSetFromJson(json);
  } catch (const thumper::JsonImportError&) {
    return 0;
  }
  const auto bytes = thumper::SerializeDrumSet(set);
  auto parsed = thumper::ParseDrumSet(bytes);
  if (!parsed) std::abort();
  // Every stored string, UTF-8 or not, comes back from the JSON of the file as
  // the same bytes, so that JSON gives the same file again.
  const auto again = thumper::SerializeDrumSet(
      thumper::DrumSetFromJson(nlohmann::json::parse(thumper::DrumSetToJson(*parsed).dump())));
  if (again != bytes) std::abort();
  return 0;
}
