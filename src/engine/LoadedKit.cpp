#include "engine/LoadedKit.h"

#include <algorithm>
#include <chrono>

#include "drumset/MissingFiles.h"
#include "drumset/PathNames.h"
#include "engine/KitLoader.h"
#include "engine/KitMemory.h"
#include "engine/KitNoteNames.h"
#include "engine/KitProgramVoices.h"
#include "engine/KitVoices.h"
#include "kits/KitPrograms.h"
#include "kits/KitSources.h"

namespace thumper {

bool OpenKitDocument(const std::string& path, CThumperDoc& doc, UiServices& ui) {
  if (!IsHydrogenKitSource(path)) return doc.OnOpenDocument(path, ui);
  // A Hydrogen kit becomes a drum set as `thumper import` makes it; what it
  // could not carry over is said, as missing samples are.
  KitSourceResult result = ImportKitSource(path);
  for (const std::string& line : result.import.messages) ui.Notice(line, kAppName);
  if (!result.strError.empty() || !result.import.set) {
    ui.Notice(result.strError.empty() ? path + ": not a drum kit" : result.strError, kAppName);
    return false;
  }
  doc.OnNewDocument();
  static_cast<DrumSet&>(doc) = std::move(*result.import.set);
  return true;
}

// Whatever the kits a load of it handed over still play: the program's
// samples decode into the load's voices, which stay here once it is done.
struct KitProgramLoading {
  KitProgramLoading(KitProgram kitProgram, KitLoader::DecodeFn decode)
      : program(std::move(kitProgram)), loader(0, std::move(decode)) {}
  KitProgram program;
  std::array<std::string, 128> names;
  KitMemoryPlan plan;  // which samples stream, read while the load runs
  KitLoader loader;
  KitProgramLoad load;
  KitProgramVoices voices;  // once the load is done
};

namespace {

// The frames a sample of byteCount bytes (16-bit stereo at 44,100 Hz) lasts at rate.
uint32_t FramesAtRate(uint64_t byteCount, uint32_t rate) {
  const uint64_t frames = byteCount / 4;
  return static_cast<uint32_t>((frames * rate + kOutputRate - 1) / kOutputRate);
}

}  // namespace

std::unique_ptr<LoadedKit> EmptyKit(const std::string& path) {
  auto kit = std::make_unique<LoadedKit>();
  kit->m_strPath = path;
  kit->m_pState = BuildSilentTriggerState(kit->m_doc);
  return kit;
}

namespace {

// The kit as the load of its samples stands (voices: what is in so far).
std::unique_ptr<LoadedKit> KitOfLoad(const std::string& path, SoundDevice& device,
                                     const std::shared_ptr<KitProgramLoading>& loading,
                                     const KitProgramVoices& voices, uint64_t seed, bool complete) {
  auto kit = std::make_unique<LoadedKit>();
  kit->m_strPath = path;
  kit->m_bComplete = complete;
  kit->m_nSampleLayers = voices.nWanted;
  kit->m_nDroppedLayers = voices.nWanted - voices.nLoaded;
  kit->m_nRingFrames = voices.nLongestFrames + device.GetMixer().FadeFrames() + 1;
  kit->m_pState = BuildKitTriggerState(loading->program, voices.refs, device.SampleRate(), seed);
  kit->m_pKitVoices = loading;
  kit->m_bKitProgram = true;
  kit->m_kitNoteNames = loading->names;
  return kit;
}

std::unique_ptr<LoadedKit> LoadKitProgram(const std::string& path, SoundDevice& device,
                                          UiServices& ui, std::optional<uint64_t> memoryBudget,
                                          const KitLoadSteps& steps) {
  KitProgramResult read = ReadKitProgram(path);
  if (!read.program) {
    ui.Notice(read.strError, kAppName);
    return nullptr;
  }
  for (const std::string& warning : read.program->warnings) ui.Notice(warning, kAppName);
  // Past the budget (a quarter of the free memory when none is given) the
  // largest samples stream from disk; a kit that fits even so nowhere is refused.
  KitMemoryPlan plan = PlanKitMemory(*read.program, nullptr, device.SampleRate(), memoryBudget);
  if (plan.refusal) {
    ui.Notice(*plan.refusal, kAppName);
    return nullptr;
  }
  if (plan.nStreamed > 0) ui.Notice(KitStreamingNotice(path, plan), kAppName);
  auto loading = std::make_shared<KitProgramLoading>(std::move(*read.program), steps.decode);
  loading->names = KitProgramNoteNames(loading->program);
  loading->plan = std::move(plan);
  // A live host's random choices differ from one start to the next.
  const uint64_t seed = ClockSeed();
  KitProgramLoad& load = loading->load;
  load.Start(loading->program, device, loading->loader, nullptr, &loading->plan);
  const auto cancelled = [&] { return steps.cancelled && steps.cancelled(); };
  if (steps.onStep && !cancelled())
    steps.onStep(KitOfLoad(path, device, loading, load.Voices(), seed, false));
  auto lastStep = std::chrono::steady_clock::now();
  bool changed = false;
  while (load.Running()) {
    if (cancelled()) {
      loading->loader.Cancel();
      return nullptr;
    }
    loading->loader.WaitForFinished(std::chrono::milliseconds(100));
    changed = load.Adopt(ui, {}) || changed;
    const auto now = std::chrono::steady_clock::now();
    if (steps.onStep && changed && load.Running() && now - lastStep >= steps.interval &&
        (!steps.wantsStep || steps.wantsStep())) {
      steps.onStep(KitOfLoad(path, device, loading, load.Voices(), seed, false));
      lastStep = now;
      changed = false;
    }
  }
  if (cancelled()) return nullptr;
  loading->voices = load.Take();
  loading->loader.Cancel();  // done: its threads go
  return KitOfLoad(path, device, loading, loading->voices, seed, true);
}

}  // namespace

std::unique_ptr<LoadedKit> LoadKit(const std::string& path, SoundDevice& device, UiServices& ui,
                                   std::optional<uint64_t> memoryBudget,
                                   const KitLoadSteps& steps) {
  if (PlaysAsKitProgram(path)) return LoadKitProgram(path, device, ui, memoryBudget, steps);
  auto kit = std::make_unique<LoadedKit>();
  kit->m_strPath = path;
  CThumperDoc& doc = kit->m_doc;
  if (!OpenKitDocument(path, doc, ui)) return nullptr;

  // The same steps as the program's update step, without a user to ask.
  SampleSearch search;
  search.m_strDrumSetFolder = doc.DrumSetFolder();
  search.m_strResolvedSetFolder = ResolvedFolderOf(doc.GetPathName());
  ForEachLayerSample(doc, [&](int, const std::string&) { ++kit->m_nSampleLayers; });
  RunMissingFilePass(doc, search, ui);

  // Looked for here, in slot and layer order; read and converted on all cores.
  std::vector<KitLoader::Job> jobs;
  int located = 0;  // the pass forgot the layers of the files it did not find
  ForEachLayerSample(doc, [&](int k, const std::string& entry) {
    ++located;
    std::string found = entry;
    if (!SampleFileOpens(found)) {
      std::string beside = search.m_strDrumSetFolder + FileNameOf(found);
      if (!SampleFileOpens(beside) && !search.m_strResolvedSetFolder.empty())
        beside = search.m_strResolvedSetFolder + FileNameOf(found);
      if (!SampleFileOpens(beside)) {
        ui.MessageBox(found + " Ei auennut 1", kAppName, MsgButtons::Ok, MsgIcon::None);
        ++kit->m_nDroppedLayers;
        return;
      }
      found = beside;
    }
    jobs.push_back({k, std::move(found)});
  });
  kit->m_nDroppedLayers += kit->m_nSampleLayers - located;
  KitLoader loader;
  loader.Start(std::move(jobs), device.SampleRate());
  uint32_t longest = 0;
  while (loader.IsRunning()) {
    loader.WaitForFinished(std::chrono::milliseconds(100));
    for (KitLoader::Finished& f : loader.TakeFinished()) {
      longest = std::max(longest, FramesAtRate(f.sample.nVoiceBytes, device.SampleRate()));
      kit->m_pVoices[f.nLayer] = VoiceOfDecoded(ui, &device, std::move(f.sample), f.strPath);
      if (!kit->m_pVoices[f.nLayer]) ++kit->m_nDroppedLayers;
    }
  }
  kit->m_nRingFrames = longest + device.GetMixer().FadeFrames() + 1;
  kit->m_pState = BuildTriggerState(doc, kit->m_pVoices);
  return kit;
}

}  // namespace thumper
