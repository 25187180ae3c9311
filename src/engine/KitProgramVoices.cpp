#include "engine/KitProgramVoices.h"

#include <algorithm>
#include <chrono>
#include <random>

#include "drumset/TextEncoding.h"
#include "engine/KitVoices.h"

namespace thumper {

void KitProgramLoad::Start(const KitProgram& program, SoundDevice& device, KitLoader& loader,
                           const std::vector<bool>* wanted, const KitMemoryPlan* plan) {
  m_pProgram = &program;
  m_pDevice = &device;
  m_pLoader = &loader;
  m_nRate = device.SampleRate();
  m_voices = {};
  m_voices.voices.resize(program.samples.size());
  m_voices.refs.resize(program.samples.size());
  std::vector<KitLoader::Job> jobs;
  for (size_t i = 0; i < program.samples.size(); ++i) {
    if (wanted && (i >= wanted->size() || !(*wanted)[i])) continue;
    const KitSample& sample = program.samples[i];
    KitLoader::Job job{static_cast<int>(i), sample.strPath};
    job.nRate = PitchedRate(m_nRate, sample.fPitch);
    if (plan && i < plan->streamed.size() && plan->streamed[i])
      job.nStreamHead = SampleStreamer::kHeadFrames;
    jobs.push_back(std::move(job));
    m_voices.refs[i].bPending = true;
  }
  m_voices.nWanted = static_cast<int>(jobs.size());
  // Only samples played from an offset need the file's own rate, wherever
  // their region starts from (a note, its release, its pressure, a controller).
  m_offset.assign(program.samples.size(), false);
  const auto offsets = [&](const std::vector<KitSet>& sets) {
    for (const KitSet& set : sets)
      for (const KitRegion& region : set.regions)
        if (region.nStartFrame > 0 && region.nSample < m_offset.size())
          m_offset[region.nSample] = true;
  };
  for (const KitNote& note : program.notes) {
    offsets(note.sets);
    offsets(note.releaseSets);
    offsets(note.pressureSets);
  }
  for (const auto& sets : program.controllerTriggers) offsets(sets);
  // The mixer's copies are shared among the kit's samples: a large kit has
  // fewer of each (a restart fades its old sound out on a tail of its own).
  m_nCopies = CopiesPerSample(m_voices.nWanted);
  if (plan && plan->nStreamed > 0) device.GetMixer().PrepareStreaming(plan->nStreams);
  loader.Start(std::move(jobs), m_nRate);
}

bool KitProgramLoad::Adopt(UiServices& ui, const KitVoiceLoad& load) {
  if (!m_pLoader) return false;
  bool changed = false;
  for (KitLoader::Finished& f : m_pLoader->TakeFinished()) {
    const auto i = static_cast<size_t>(f.nLayer);
    if (i >= m_voices.refs.size()) continue;
    m_voices.refs[i].bPending = false;  // in, or never to be
    changed = true;
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
    const uint32_t frames = f.sample.pData ? f.sample.pData->Frames() : 0;
    m_voices.voices[i] = VoiceOfDecoded(ui, m_pDevice, std::move(f.sample), f.strPath, m_nCopies);
    if (!m_voices.voices[i]) continue;
    ++m_voices.nLoaded;
    m_voices.nLongestFrames = std::max(m_voices.nLongestFrames, frames);
    m_voices.refs[i].pVoice = m_voices.voices[i].get();
    // Start offsets are counted in the file's frames.
    if (const uint32_t fileRate = m_offset[i] ? SampleFileRate(f.strPath) : 0; fileRate > 0)
      m_voices.refs[i].fFramesPerFileFrame =
          static_cast<double>(PitchedRate(m_nRate, m_pProgram->samples[i].fPitch)) / fileRate;
  }
  if (load.onProgress) load.onProgress(m_pLoader->Taken(), m_pLoader->Total());
  return changed;
}

bool KitProgramLoad::Running() const {
  return m_pLoader && m_pLoader->IsRunning();
}

KitProgramVoices KitProgramLoad::Take() {
  KitProgramVoices voices = std::move(m_voices);
  m_voices = {};
  m_pLoader = nullptr;
  return voices;
}

KitProgramVoices LoadKitProgramVoices(const KitProgram& program, SoundDevice& device,
                                      UiServices& ui, KitLoader& loader, const KitVoiceLoad& load) {
  KitProgramLoad kitLoad;
  kitLoad.Start(program, device, loader, load.pWanted, load.pPlan);
  if (load.onProgress) load.onProgress(0, loader.Total());
  while (kitLoad.Running()) {
    loader.WaitForFinished(std::chrono::milliseconds(100));
    kitLoad.Adopt(ui, load);
  }
  return kitLoad.Take();
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
