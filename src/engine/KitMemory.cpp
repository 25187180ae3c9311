#include "engine/KitMemory.h"

#include "audio/SampleDecoder.h"
#include "drumset/SystemMemory.h"
#include "play/KitProgramBuild.h"

namespace thumper {

uint64_t KitSampleBytes(const KitProgram& program, const std::vector<bool>* wanted, uint32_t rate) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < program.samples.size(); ++i) {
    if (wanted && (i >= wanted->size() || !(*wanted)[i])) continue;
    const std::optional<SampleFileHeader> header = ReadSampleFileHeader(program.samples[i].strPath);
    if (!header || header->nRate == 0) continue;
    const double frames = static_cast<double>(header->nFrames) *
                          PitchedRate(rate, program.samples[i].fPitch) / header->nRate;
    bytes += static_cast<uint64_t>(frames) * (header->nChannels == 1 ? 1 : 2) * sizeof(int16_t);
  }
  return bytes;
}

std::optional<std::string> KitMemoryRefusal(const std::string& path, uint64_t need,
                                            std::optional<uint64_t> budget) {
  const bool given = budget.has_value();
  if (!budget) {
    if (const uint64_t free = AvailableMemoryBytes(); free > 0) budget = free;
  }
  if (!budget || need <= *budget) return std::nullopt;
  const auto mb = [](uint64_t b) { return std::to_string((b + 999999) / 1000000); };
  return path + ": its samples take " + mb(need) + " MB of memory, and " +
         (given ? "--memory allows " + mb(*budget) + " MB"
                : "the system has " + mb(*budget) + " MB free") +
         ": it is not loaded (Thumper holds every sample in memory)";
}

}  // namespace thumper
