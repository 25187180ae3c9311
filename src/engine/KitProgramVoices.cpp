#include "engine/KitProgramVoices.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "drumset/TextEncoding.h"
#include "engine/KitVoices.h"

namespace thumper {

KitProgramVoices LoadKitProgramVoices(const KitProgram& program, SoundDevice& device,
                                      UiServices& ui, KitLoader& loader, const KitVoiceLoad& load) {
  KitProgramVoices out;
  out.voices.resize(program.samples.size());
  out.refs.resize(program.samples.size());
  const uint32_t rate = device.SampleRate();
  std::vector<KitLoader::Job> jobs;
  for (size_t i = 0; i < program.samples.size(); ++i) {
    if (load.pWanted && (i >= load.pWanted->size() || !(*load.pWanted)[i])) continue;
    const KitSample& sample = program.samples[i];
    KitLoader::Job job{static_cast<int>(i), sample.strPath};
    job.nRate = PitchedRate(rate, sample.fPitch);
    jobs.push_back(std::move(job));
  }
  out.nWanted = static_cast<int>(jobs.size());
  // Only samples played from an offset need the file's own rate, wherever
  // their region starts from (a note, its release, its pressure, a controller).
  std::vector<bool> offset(program.samples.size(), false);
  const auto offsets = [&](const std::vector<KitSet>& sets) {
    for (const KitSet& set : sets)
      for (const KitRegion& region : set.regions)
        if (region.nStartFrame > 0 && region.nSample < offset.size()) offset[region.nSample] = true;
  };
  for (const KitNote& note : program.notes) {
    offsets(note.sets);
    offsets(note.releaseSets);
    offsets(note.pressureSets);
  }
  for (const auto& sets : program.controllerTriggers) offsets(sets);
  // The mixer's copies are shared among the kit's samples: a large kit has
  // fewer of each (a restart fades its old sound out on a tail of its own).
  const int copies = CopiesPerSample(out.nWanted);
  loader.Start(std::move(jobs), rate);
  if (load.onProgress) load.onProgress(0, loader.Total());
  while (loader.IsRunning()) {
    loader.WaitForFinished(std::chrono::milliseconds(100));
    for (KitLoader::Finished& f : loader.TakeFinished()) {
      const auto i = static_cast<size_t>(f.nLayer);
      const DecodeStatus status = f.sample.status;
      if (status == DecodeStatus::NotOpened) {
        ui.Notice(DisplayText(f.strPath) + ": the file cannot be opened; what plays it is left out",
                  kAppName);
        continue;
      }
      if (status == DecodeStatus::Unreadable) {
        if (load.onUnreadable) load.onUnreadable(f.strPath);
        continue;
      }
      const uint32_t frames = f.sample.pData ? f.sample.pData->nFrames : 0;
      out.voices[i] = VoiceOfDecoded(ui, &device, std::move(f.sample), f.strPath, copies);
      if (!out.voices[i]) continue;
      ++out.nLoaded;
      out.nLongestFrames = std::max(out.nLongestFrames, frames);
      out.refs[i].pVoice = out.voices[i].get();
      // Start offsets are counted in the file's frames.
      if (const uint32_t fileRate = offset[i] ? SampleFileRate(f.strPath) : 0; fileRate > 0)
        out.refs[i].fFramesPerFileFrame =
            static_cast<double>(PitchedRate(rate, program.samples[i].fPitch)) / fileRate;
    }
    if (load.onProgress) load.onProgress(loader.Taken(), loader.Total());
  }
  return out;
}

int CopiesPerSample(int samples) {
  // The copies of every sample of a kit fit the mixer's table, with room for a preview.
  constexpr int kSlots = static_cast<int>(Mixer::Options{}.nBufferSlots) - 64;
  if (samples <= 0) return SampleVoice::kMaxCopies;
  return std::clamp(kSlots / samples, 1, SampleVoice::kMaxCopies);
}

uint64_t ClockSeed() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  return static_cast<uint64_t>(now) ^ (uint64_t{std::random_device{}()} << 32);
}

}  // namespace thumper
