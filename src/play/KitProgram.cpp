#include "play/KitProgram.h"

namespace thumper {

uint32_t KitProgram::SampleIndex(const std::string& path, float pitch) {
  const auto [it, added] =
      sampleByKey.try_emplace({path, pitch}, static_cast<uint32_t>(samples.size()));
  if (added) samples.push_back({path, pitch});
  return it->second;
}

}  // namespace thumper
