// Any bytes given to the drumkit.xml reader: it reads a kit or names what is
// wrong, never reads outside the bytes; a kit it reads has instruments, every
// sample path is absolute, and the velocity plan made for it stays in range.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "kits/HydrogenKit.h"
#include "kits/VelocityPlan.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace thumper;
  const KitReadResult r = ParseDrumkitXml(std::span(reinterpret_cast<const char*>(data), size),
                                          "/kits/fuzz", "/kits/fuzz/drumkit.xml");
  if (!r.kit) {
    if (r.strError.empty()) std::abort();
    return 0;
  }
  if (r.kit->instruments.empty()) std::abort();
  std::vector<VelocityTargets> targets;
  for (const HydrogenInstrument& in : r.kit->instruments) {
    std::vector<std::string> files;
    VelocityTargets t{};
    t.fill(-1);
    for (const HydrogenLayer& layer : in.layers)
      if (layer.strPath.empty() || layer.strPath.front() != '/') std::abort();
    for (int v = 1; v <= kMaxVelocity; ++v) {
      const int h = HydrogenLayerFor(in, v);
      if (h < -1 || h >= static_cast<int>(in.layers.size())) std::abort();
      if (h < 0) continue;
      auto at = std::find(files.begin(), files.end(), in.layers[h].strPath);
      if (at == files.end()) at = files.insert(files.end(), in.layers[h].strPath);
      t[v] = static_cast<int16_t>(at - files.begin());
    }
    if (!in.layers.empty()) targets.push_back(t);
  }
  if (targets.size() > 4) targets.resize(4);  // the plan's cost grows with the kit
  const VelocityPlan plan = PlanVelocityLayers(targets);
  if (plan.nAgree < 0 || plan.nAgree > plan.nTotal) std::abort();
  for (const auto& scheme : plan.thresholds)
    for (int k = 0; k < kThresholdCount; ++k)
      if (scheme[k] < 0 || scheme[k] > kMaxVelocity || (k > 0 && scheme[k] > scheme[k - 1]))
        std::abort();
  return 0;
}
