#pragma once
// The voices of a kit that plays as its maker made it: every sample of its
// KitProgram decoded on all cores at the rate its pitch asks for, made a voice
// on the output's mixer, and the trigger state built over them. What render,
// play, the JACK client and the plugin share. Control thread.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "drumset/UiServices.h"
#include "engine/KitLoader.h"
#include "engine/KitMemory.h"
#include "play/KitProgramBuild.h"

namespace thumper {

struct KitProgramVoices {
  // One per KitProgram::samples entry; null where it was not wanted or did not load.
  std::vector<std::unique_ptr<SampleVoice>> voices;
  std::vector<KitVoiceRef> refs;
  // Frames at the mixer's rate the longest voice sounds.
  uint32_t nLongestFrames = 0;
  int nWanted = 0;  // samples asked for
  int nLoaded = 0;  // of them, the ones that became voices
};

struct KitVoiceLoad {
  // Which samples to read (by index); null: all of them.
  const std::vector<bool>* pWanted = nullptr;
  // Which of them stream from disk; null: none.
  const KitMemoryPlan* pPlan = nullptr;
  // Samples read so far and samples to read, as they come in.
  std::function<void(int nDone, int nTotal)> onProgress;
  // A file that opened but is not a sample.
  std::function<void(const std::string& path)> onUnreadable;
};

// A load of a kit program's samples that its caller drives, so the kit can
// play while it loads: every note whose samples are all in plays.
class KitProgramLoad {
 public:
  // Starts decoding the wanted samples (null: all) with loader, cancelling
  // what it ran; each of them is pending until it is in. Those plan streams
  // keep a head in memory and play the rest from disk. program, device and
  // loader must outlive the load.
  void Start(const KitProgram& program, SoundDevice& device, KitLoader& loader,
             const std::vector<bool>* wanted, const KitMemoryPlan* plan = nullptr);
  // Makes the voices of the samples finished since the last call; true when
  // any sample is no longer pending. A file that cannot be opened is said
  // through ui and left out.
  bool Adopt(UiServices& ui, const KitVoiceLoad& load);
  bool Running() const;
  const KitProgramVoices& Voices() const { return m_voices; }
  // The voices, leaving the load empty.
  KitProgramVoices Take();

 private:
  const KitProgram* m_pProgram = nullptr;
  SoundDevice* m_pDevice = nullptr;
  KitLoader* m_pLoader = nullptr;
  uint32_t m_nRate = 0;
  int m_nCopies = SampleVoice::kMaxCopies;
  std::vector<bool> m_offset;
  KitProgramVoices m_voices;
};

// Decodes with loader (a running load of it is cancelled) and waits for the
// whole kit. A file that cannot be opened is said through ui and left out.
KitProgramVoices LoadKitProgramVoices(const KitProgram& program, SoundDevice& device,
                                      UiServices& ui, KitLoader& loader,
                                      const KitVoiceLoad& load = {});

// The copies each sample of a kit of samples samples gets: 16 while they all
// fit the mixer's table of copies, fewer (at least one) for larger kits.
int CopiesPerSample(int samples);

// A seed for the random choices of a live host: different every start.
uint64_t ClockSeed();

}  // namespace thumper
