// Importing every Hydrogen kit Debian installs (hydrogen-drumkits and the kits
// of hydrogen-data, in /usr/share/hydrogen/data/drumkits): the time for all of
// them, and how often the drum sets play the sample Hydrogen plays.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "kits/KitSources.h"

namespace {

using namespace thumper;

constexpr const char* kDebianKits = "/usr/share/hydrogen/data/drumkits";

std::vector<std::string> DebianKits() {
  std::vector<std::string> kits;
  std::error_code ec;
  for (const auto& item : std::filesystem::directory_iterator(kDebianKits, ec))
    if (std::filesystem::exists(item.path() / "drumkit.xml", ec)) kits.push_back(item.path());
  std::sort(kits.begin(), kits.end());
  return kits;
}

void BM_ImportDebianKits(benchmark::State& state) {
  const std::vector<std::string> kits = DebianKits();
  if (kits.empty()) {
    state.SkipWithError(
        "no kits in /usr/share/hydrogen/data/drumkits (apt install hydrogen-drumkits)");
    return;
  }
  double mean = 0, lowest = 1;
  bool printed = false;
  for (auto _ : state) {
    mean = 0;
    lowest = 1;
    for (const std::string& path : kits) {
      const KitSourceResult r = ImportKitSource(path);
      if (!r.strError.empty()) {
        state.SkipWithError(r.strError.c_str());
        return;
      }
      const double agreement = r.import.Agreement();
      mean += agreement / kits.size();
      lowest = std::min(lowest, agreement);
      if (!printed)
        std::fprintf(stderr, "  %-28s %6.2f%% (%lld of %lld)\n", r.strKitName.c_str(),
                     100 * agreement, static_cast<long long>(r.import.nAgree),
                     static_cast<long long>(r.import.nTotal));
    }
    printed = true;
  }
  state.counters["kits"] = static_cast<double>(kits.size());
  state.counters["mean_agreement_pct"] = 100 * mean;
  state.counters["min_agreement_pct"] = 100 * lowest;
}
BENCHMARK(BM_ImportDebianKits)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
