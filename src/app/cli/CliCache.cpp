// thumper cache: the cache of converted samples, shown or emptied.

#include <cstdio>
#include <iostream>

#include "app/cli/CommandLine.h"
#include "audio/SampleCache.h"

namespace thumper::cli {

namespace {
std::string Megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / 1e6);
  return text;
}
}  // namespace

int RunCache(const Args& args) {
  const bool clear = args.size() == 1 && args[0] == "--clear";
  if (!args.empty() && !clear) {
    std::cerr << "thumper: usage: thumper cache [--clear]\n";
    return kExitUsage;
  }
  const std::string folder = SampleCache::DefaultFolder();
  if (folder.empty()) {
    std::cerr << "thumper: no cache folder: neither XDG_CACHE_HOME nor HOME is set\n";
    return kExitFile;
  }
  if (!clear) {
    const SampleCache::Usage usage = SampleCache::Measure(folder);
    std::cout << folder << ": " << usage.nEntries
              << (usage.nEntries == 1 ? " sample, " : " samples, ") << Megabytes(usage.nBytes)
              << " (limit " << Megabytes(SampleCache::kDefaultLimitBytes) << ")\n";
    return kExitOk;
  }
  SampleCache::Usage removed;
  std::string error;
  if (!SampleCache::Clear(folder, removed, error)) {
    std::cerr << "thumper: cannot empty the sample cache: " << error << "\n";
    return kExitFile;
  }
  std::cout << "Emptied " << folder << ": " << removed.nEntries
            << (removed.nEntries == 1 ? " sample, " : " samples, ") << Megabytes(removed.nBytes)
            << "\n";
  return kExitOk;
}

}  // namespace thumper::cli
