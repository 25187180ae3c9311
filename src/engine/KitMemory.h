#pragma once
// What a kit's samples take in memory, and which of them play from disk,
// decided before any is read from what their headers say. Samples are held
// whole while the kit fits its memory budget (the user's, or a quarter of
// what the system can still give); past it the largest ones stream from disk,
// each keeping only a head in memory, until the kit fits. A kit that fits
// neither way is refused with a message instead of the system's
// out-of-memory killer ending the program. Control thread; reads the files'
// headers and the disk's free space.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "play/KitProgram.h"

namespace thumper {

// Bytes the wanted samples of program (null: all) take decoded for a mixer at
// rate: mono kept mono, 16 bits a value, pitched samples at their own rate.
// A file whose header cannot be read counts nothing (its load will say why).
uint64_t KitSampleBytes(const KitProgram& program, const std::vector<bool>* wanted, uint32_t rate);

struct KitMemoryPlan {
  // Per KitProgram::samples entry: whether it streams from disk.
  std::vector<bool> streamed;
  int nStreamed = 0;
  uint32_t nStreams = 0;        // voices that may stream at once (the streamer's pool)
  uint64_t nWholeBytes = 0;     // every wanted sample held whole
  uint64_t nHeldBytes = 0;      // what the plan holds: whole samples, heads and the pool
  uint64_t nStreamedBytes = 0;  // what the streamed samples read from disk
  uint64_t nBudget = 0;         // 0: none known (everything is held whole)
  // Set when the kit fits neither in memory nor streamed: the whole message.
  std::optional<std::string> refusal;
};

// The plan for the wanted samples of program (null: all) on a mixer at rate,
// within budget bytes (nullopt: a quarter of the system's free memory, and a
// kit is refused only when streamed it still needs more than all of it).
KitMemoryPlan PlanKitMemory(const KitProgram& program, const std::vector<bool>* wanted,
                            uint32_t rate, std::optional<uint64_t> budget);

// What a plan that streams tells the user: how many samples play from disk
// and what stays in memory; empty when nothing streams.
std::string KitStreamingNotice(const std::string& path, const KitMemoryPlan& plan);

}  // namespace thumper
