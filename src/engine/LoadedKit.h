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
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "drumset/CThumperDoc.h"
#include "drumset/UiServices.h"
#include "play/TriggerState.h"

namespace thumper {

struct LoadedKit {
  // The file the kit came from, as the user gave it; empty for no kit.
  std::string m_strPath;
  CThumperDoc m_doc;
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> m_pVoices;
  // A kit that plays as its maker made it has no drum set: its samples' voices,
  // and what its notes are called.
  std::vector<std::unique_ptr<SampleVoice>> m_pKitVoices;
  bool m_bKitProgram = false;
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

// Control thread. The kit at path with every layer's voice made on device's
// mixer: missing samples are looked for beside the drum set, then dropped and
// reported through ui. A kit that plays as its maker made it (a Hydrogen kit)
// plays so, with every sample of it. Null when the drum set itself cannot be
// read (ui was told why).
std::unique_ptr<LoadedKit> LoadKit(const std::string& path, SoundDevice& device, UiServices& ui);

// A kit with no drum set: every slot silent. path is kept so a host can still
// show (and save) what the user chose.
std::unique_ptr<LoadedKit> EmptyKit(const std::string& path = {});

}  // namespace thumper
