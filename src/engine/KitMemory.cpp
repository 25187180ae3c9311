#include "engine/KitMemory.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <filesystem>

#include "audio/SampleCache.h"
#include "audio/SampleDecoder.h"
#include "audio/SampleStreamer.h"
#include "drumset/SystemMemory.h"
#include "play/KitProgramBuild.h"

namespace thumper {

namespace {

struct SampleSize {
  uint64_t nFrames = 0;
  uint32_t nChannels = 0;
  uint64_t Bytes() const { return nFrames * nChannels * sizeof(int16_t); }
};

SampleSize SizeOf(const KitSample& sample, uint32_t rate) {
  const std::optional<SampleFileHeader> header = ReadSampleFileHeader(sample.strPath);
  if (!header || header->nRate == 0) return {};
  const double frames =
      static_cast<double>(header->nFrames) * PitchedRate(rate, sample.fPitch) / header->nRate;
  return {static_cast<uint64_t>(frames), header->nChannels == 1 ? 1u : 2u};
}

std::string Megabytes(uint64_t bytes) {
  return std::to_string((bytes + 999999) / 1000000) + " MB";
}

// Streams that play at once for a budget: a sixteenth of it for their pool,
// within what one streamer holds.
uint32_t StreamsFor(uint64_t budget) {
  const uint64_t streams = budget / 16 / SampleStreamer::PoolBytes(1);
  return static_cast<uint32_t>(std::clamp<uint64_t>(streams, 2, SampleStreamer::kDefaultStreams));
}

// Bytes free on the disk that holds the cache of converted samples (where a
// streamed kit's entries go); nothing when not known.
std::optional<uint64_t> CacheDiskFreeBytes() {
  std::filesystem::path folder = SampleCache::DefaultFolder();
  if (folder.empty()) return std::nullopt;
  // The folder may not be made yet: the disk of its nearest existing parent.
  std::error_code error;
  while (!folder.empty() && !std::filesystem::exists(folder, error)) {
    if (folder == folder.parent_path()) return std::nullopt;
    folder = folder.parent_path();
  }
  struct statvfs fs {};
  if (folder.empty() || ::statvfs(folder.c_str(), &fs) != 0) return std::nullopt;
  return uint64_t(fs.f_bavail) * fs.f_frsize;
}

}  // namespace

uint64_t KitSampleBytes(const KitProgram& program, const std::vector<bool>* wanted, uint32_t rate) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < program.samples.size(); ++i) {
    if (wanted && (i >= wanted->size() || !(*wanted)[i])) continue;
    bytes += SizeOf(program.samples[i], rate).Bytes();
  }
  return bytes;
}

std::string KitStreamingNotice(const std::string& path, const KitMemoryPlan& plan) {
  if (plan.nStreamed == 0) return {};
  return path + ": its samples take " + Megabytes(plan.nWholeBytes) + ", more than the " +
         Megabytes(plan.nBudget) + " of memory they may have: " + std::to_string(plan.nStreamed) +
         " of its samples play from disk, and " + Megabytes(plan.nHeldBytes) + " stay in memory";
}

KitMemoryPlan PlanKitMemory(const KitProgram& program, const std::vector<bool>* wanted,
                            uint32_t rate, std::optional<uint64_t> budget) {
  KitMemoryPlan plan;
  plan.streamed.assign(program.samples.size(), false);
  std::vector<SampleSize> sizes(program.samples.size());
  std::vector<size_t> order;
  for (size_t i = 0; i < program.samples.size(); ++i) {
    if (wanted && (i >= wanted->size() || !(*wanted)[i])) continue;
    sizes[i] = SizeOf(program.samples[i], rate);
    plan.nWholeBytes += sizes[i].Bytes();
    order.push_back(i);
  }
  plan.nHeldBytes = plan.nWholeBytes;
  const bool given = budget.has_value();
  const uint64_t available = AvailableMemoryBytes();
  plan.nBudget = given ? *budget : available / 4;
  if (plan.nBudget == 0 || plan.nWholeBytes <= plan.nBudget) return plan;

  // The largest samples stream first: the fewest voices read from disk.
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return sizes[a].Bytes() > sizes[b].Bytes(); });
  plan.nStreams = StreamsFor(plan.nBudget);
  plan.nHeldBytes += SampleStreamer::PoolBytes(plan.nStreams);
  for (size_t i : order) {
    if (plan.nHeldBytes <= plan.nBudget) break;
    const SampleSize& size = sizes[i];
    if (size.nFrames <= SampleStreamer::kHeadFrames) continue;
    const uint64_t head = uint64_t{SampleStreamer::kHeadFrames} * size.nChannels * sizeof(int16_t);
    plan.streamed[i] = true;
    ++plan.nStreamed;
    plan.nHeldBytes -= size.Bytes() - head;
    plan.nStreamedBytes += size.Bytes();
  }

  if (plan.nStreamed == 0) {  // every sample is no longer than a head
    plan.nStreams = 0;
    plan.nHeldBytes = plan.nWholeBytes;
  }
  const std::string& path = program.strPath;
  // Without a budget of the user's, a quarter of the free memory is only the
  // aim: the kit still loads while it fits in all of it.
  const uint64_t limit = given ? plan.nBudget : available;
  if (plan.nHeldBytes > limit) {
    plan.refusal = path + ": its samples take " + Megabytes(plan.nWholeBytes) +
                   " of memory, still " + Megabytes(plan.nHeldBytes) +
                   " when the largest stream from disk, and " +
                   (given ? "its memory budget is " + Megabytes(limit)
                          : "the system has " + Megabytes(limit) + " free") +
                   ": it is not loaded";
    return plan;
  }
  if (const std::optional<uint64_t> disk = CacheDiskFreeBytes();
      disk &&
      plan.nStreamedBytes > *disk + SampleCache::Measure(SampleCache::DefaultFolder()).nBytes)
    plan.refusal = path + ": its samples take " + Megabytes(plan.nWholeBytes) +
                   " of memory, more than " + Megabytes(plan.nBudget) + " allow, and the " +
                   Megabytes(plan.nStreamedBytes) + " to stream from disk do not fit the " +
                   Megabytes(*disk) + " free on the disk of the sample cache: it is not loaded";
  return plan;
}

}  // namespace thumper
