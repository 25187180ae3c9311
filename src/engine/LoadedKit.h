#pragma once
// A drum set loaded into voices for a host that swaps whole kits while it
// plays (the LV2 plugin): the document, every layer's voice on the host's
// mixer, and the trigger state that names them, built completely off the audio
// thread and handed over as one object. Loading follows the command line's
// console policy, so a kit plays exactly as `thumper render` plays it.
//
// Threads: LoadKit and the destructor run on one control thread at a time (the
// mixer's control side); the audio thread only reads a kit that was handed to it.

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "drumset/CThumperDoc.h"
#include "drumset/UiServices.h"
#include "engine/KitLoader.h"
#include "play/TriggerState.h"

namespace thumper {

// The load of a kit that plays as its maker made it: its program, the loader
// that decodes its samples and the voices made of them. Every kit a load hands
// over shares it, so the voices go with the last of those kits.
struct KitProgramLoading;

struct LoadedKit {
  // The file the kit came from, as the user gave it; empty for no kit.
  std::string m_strPath;
  CThumperDoc m_doc;
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> m_pVoices;
  // A kit that plays as its maker made it has no drum set: its samples' voices,
  // and what its notes are called.
  std::shared_ptr<KitProgramLoading> m_pKitVoices;
  bool m_bKitProgram = false;
  // False for a kit handed over while its load goes on: the notes whose
  // samples are not all in yet are silent (and counted by the trigger).
  bool m_bComplete = true;
  // Which of its host's loads made the kit (the host numbers them); 0: none.
  uint64_t m_nLoad = 0;
  std::array<std::string, 128> m_kitNoteNames;
  // What the trigger reads; null once handed to the trigger.
  std::unique_ptr<TriggerState> m_pState;
  // Frames (at the mixer's rate) the longest sample sounds, fade included: a
  // replaced kit's hits ring out this long before its voices are released.
  uint32_t m_nRingFrames = 0;
  // Layers that name a sample of their own, and those of them whose sample
  // could not be found or made playable.
  int m_nSampleLayers = 0;
  int m_nDroppedLayers = 0;
  // The next kit in a host's list of replaced kits waiting to be freed (a list
  // the audio thread can grow without allocating).
  std::unique_ptr<LoadedKit> m_pNextReturn;
};

// Control thread. Opens a drum set document from path: a ".drums" file, or a
// Hydrogen kit (its folder, its drumkit.xml or a .h2drumkit archive), made a
// drum set as `thumper import` makes it. The one place that decides what a
// kit file is.
bool OpenKitDocument(const std::string& path, CThumperDoc& doc, UiServices& ui);

// What a host that plays a kit while it loads asks of LoadKit.
struct KitLoadSteps {
  // Called on the loading thread with the kit as it stands: once when its
  // samples start loading (every note silent), then, at most every interval,
  // each time more of its notes can play. For a kit that plays as its maker
  // made it; a drum set is handed over whole, as LoadKit's result.
  std::function<void(std::unique_ptr<LoadedKit>)> onStep;
  std::chrono::milliseconds interval{100};
  // Asked before each later step: false holds it back for the next interval
  // (the last step has not reached the audio thread yet).
  std::function<bool()> wantsStep;
  // Asked at least every interval: true stops the load, and LoadKit returns null.
  std::function<bool()> cancelled;
  // Decodes the samples in place of the user's cache (null: the cache).
  KitLoader::DecodeFn decode;
};

// Control thread. The kit at path with every layer's voice made on device's
// mixer: missing samples are looked for beside the drum set, then dropped and
// reported through ui. A kit that plays as its maker made it (a Hydrogen kit)
// plays so, with every sample of it, and is refused (ui is told why) when its
// samples take more than memoryBudget bytes (nothing: the automatic budget
// from the memory the system has free). Null when the drum set itself cannot
// be read (ui was told why), or the load was cancelled.
std::unique_ptr<LoadedKit> LoadKit(const std::string& path, SoundDevice& device, UiServices& ui,
                                   std::optional<uint64_t> memoryBudget = std::nullopt,
                                   const KitLoadSteps& steps = {});

// A kit with no drum set: every slot silent. path is kept so a host can still
// show (and save) what the user chose.
std::unique_ptr<LoadedKit> EmptyKit(const std::string& path = {});

}  // namespace thumper
