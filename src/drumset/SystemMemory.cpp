#include "drumset/SystemMemory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace thumper {

uint64_t AvailableMemoryBytes() {
  std::ifstream meminfo("/proc/meminfo");
  std::string line;
  while (std::getline(meminfo, line)) {
    if (line.rfind("MemAvailable:", 0) != 0) continue;
    std::istringstream fields(line.substr(13));
    uint64_t kib = 0;
    if (fields >> kib) return kib * 1024;
    return 0;
  }
  return 0;
}

}  // namespace thumper
