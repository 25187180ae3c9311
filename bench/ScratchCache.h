#pragma once
// Benchmarks keep the cache of converted samples in a folder of their own, made
// for the run and removed after it: they neither fill the user's cache nor start
// warm from it. The programs they start inherit it.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "HydrogenKits.h"

namespace bench {

class ScratchCache {
 public:
  ScratchCache() : m_strHome(TempPath("thumper-bench-cache-" + std::to_string(::getpid()))) {
    std::filesystem::create_directories(m_strHome);
    ::setenv("XDG_CACHE_HOME", m_strHome.c_str(), 1);
  }
  ~ScratchCache() {
    std::error_code error;
    std::filesystem::remove_all(m_strHome, error);
  }
  ScratchCache(const ScratchCache&) = delete;
  ScratchCache& operator=(const ScratchCache&) = delete;

  // Empties it: the next load converts every sample again.
  void Clear() const {
    std::error_code error;
    std::filesystem::remove_all(m_strHome + "/thumper", error);
  }

 private:
  std::string m_strHome;
};

}  // namespace bench
