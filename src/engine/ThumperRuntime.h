#pragma once
// Everything that runs: the output device and the voice table, the WaveReader,
// the MIDI input and the note trigger, for the window, `thumper play` and
// `thumper render` alike, so the three never play differently. No GUI.
// UI thread, except the trigger's entry points.

#include <array>
#include <bitset>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "audio/AudioOutput.h"
#include "audio/SampleVoice.h"
#include "audio/VoiceResetter.h"
#include "audio/WakeSignal.h"
#include "audio/WaveReader.h"
#include "drumset/CThumperDoc.h"
#include "drumset/LayerVoiceHost.h"
#include "drumset/MissingFiles.h"
#include "drumset/SampleListState.h"
#include "drumset/UiServices.h"
#include "engine/KitLoader.h"
#include "engine/KitMemory.h"
#include "engine/KitProgramVoices.h"
#include "engine/TimedEngine.h"
#include "midi/MidiInput.h"
#include "play/NoteTrigger.h"

namespace thumper {

class ThumperRuntime : public LayerVoiceHost, public VoiceResetter {
 public:
  // backend null: the system's output drivers.
  ThumperRuntime(CThumperDoc& doc, UiServices& ui,
                 std::unique_ptr<DriverBackend> backend = nullptr);
  // Closes the MIDI input before the sound objects are released.
  ~ThumperRuntime() override;
  ThumperRuntime(const ThumperRuntime&) = delete;
  ThumperRuntime& operator=(const ThumperRuntime&) = delete;

  // The update step after a new drum set and after every successful load: the
  // list shows group 0, the output opens if none is, every voice goes, missing
  // files are searched for, every referenced layer gets its voice, the drum
  // set's MIDI input device is opened, and the view repaints.
  void UpdateStep(SampleListState& list, bool bOpenMidi = true);

  // New drum set, then the update step.
  void NewDrumSet(SampleListState& list);
  // Opens a drum set; the update step runs only after a successful load.
  bool OpenDrumSet(const std::string& path, SampleListState& list);

  // --- layer voices (LayerVoiceHost) ---
  bool LoadLayerVoice(const std::string& path, int slot, int layer) override;
  void ReleaseVoice(int slot, int layer) override;
  bool HasVoice(int slot, int layer) const override;
  void PlayVoice(int slot, int layer) override;
  void LayersChanged() override { Publish(); }
  // While a kit plays as its maker made it, the first edit asks to make it the
  // drum set shown (with m_kitEditLosses listed); yes plays that drum set from
  // then on, no leaves everything as it is.
  bool MayEdit() override;

  // Releases every voice and the preview voice; with reload, every group entry
  // is located again and every layer with its own reference is loaded again.
  void ResetVoices(bool reload) override;
  void ReleaseVoices() override { ReleaseAllVoices(); }

  // The preview voice of the sample list: one copy, played at once. False when
  // the file cannot be read or no output is open.
  bool PlayPreview(const std::string& path);
  void StopPreview();

  // UI thread, often (a timer, or the headless loop): frees retired memory,
  // reports a failed output device once, and makes the voices of the samples
  // a background load has finished.
  void Poll();

  // The virtual MIDI input, kept open from now on whatever the output: a JACK
  // output has its own MIDI port instead, so there the virtual port is made
  // only on the ALSA sequencer. The result tells why a port could not be made.
  MidiResult OpenVirtualPort();
  // Whether MIDI reaches the trigger through the output device's own port.
  bool HasDeviceMidiInput() const;
  // Whether retired memory still waits for a real-time thread to move on.
  bool HasRetiredMemory() { return m_output.GetReclaimer().PendingCount() > 0; }
  // --- loading a whole kit ---
  // The voice rebuild decodes the kit's files on all cores. In the background,
  // the update step returns at once and Poll makes each slot's voices as soon
  // as all of its layers are in (the window); otherwise the rebuild waits for
  // the whole kit, reporting through m_onLoadProgress (the command line).
  bool m_bLoadInBackground = false;
  // When set, only these slots' samples are read (a render loads what its song
  // can play); the other layers' files are still looked for and checked, so the
  // same files are asked about and named, but they make no voice.
  std::optional<std::bitset<kSlotCount>> m_slotsToLoad;
  // Layers loaded so far and layers to load; called as voices come in.
  std::function<void(int nDone, int nTotal)> m_onLoadProgress;
  bool IsLoading() const { return m_loader.IsRunning(); }
  int LoadDone() const { return m_loader.Taken(); }
  int LoadTotal() const { return m_loader.Total(); }
  double LoadSeconds() const { return m_loader.Seconds(); }
  // Waits until a background load has made every voice.
  void FinishLoading();
  // Stops a background load; no voice of it is published afterwards.
  void CancelLoading();

  // --- a kit that plays as its maker made it (a Hydrogen kit, an SFZ file) ---
  // Plays program in place of the drum set until the next update step: the
  // output opens if none is, every voice goes, the program's samples (only the
  // wanted ones, when given) are read on all cores, reporting through
  // m_onLoadProgress, and the trigger plays it with random choices from seed.
  // A device change loads them again at its rate. Returns how many samples
  // became voices (in the background: so far). Past m_nMemoryBudget (or,
  // without one, a quarter of the memory the system has free) the largest
  // samples stream from disk (PlanKitMemory); -1, with the reason told
  // through the UI and nothing changed, when even so they do not fit.
  int PlayKitProgram(KitProgram program, uint64_t seed, const std::vector<bool>* wanted = nullptr);
  // --memory MB: the most the samples of such a kit may take.
  std::optional<uint64_t> m_nMemoryBudget;
  // How the kit playing now holds its samples.
  const KitMemoryPlan& KitPlan() const { return m_kitPlan; }
  // The kit program playing now; null while a drum set plays.
  const KitProgram* PlayingKitProgram() const { return m_kitProgram ? &*m_kitProgram : nullptr; }
  int KitSamplesWanted() const { return m_kitLoad.Voices().nWanted; }
  int KitSamplesLoaded() const { return m_kitLoad.Voices().nLoaded; }
  // What the drum set made of the kit cannot keep, one line each.
  std::vector<std::string> m_kitEditLosses;
  // Whether the drum set on show is made of the kit (a Hydrogen kit's import),
  // so an edit may go on with it; an SFZ kit has none.
  bool m_bKitProgramEditable = true;

  // Whether the output gives each output pair of the kit ports of its own (the
  // JACK client with --multi-out): then every change of what plays renames them.
  bool m_bMultiOut = false;

  // What a full repaint of the view does; nothing without a view.
  std::function<void()> m_onFullRepaint;
  // Told the path of a layer's sample file that opened but could not be read
  // as a sample (the reader itself names only files that do not open). The
  // command line names them; the window, like the module, stays quiet.
  std::function<void(const std::string&)> m_onUnreadableSample;

  CThumperDoc& m_doc;
  UiServices& m_ui;
  AudioOutput m_output;
  // Raised when the UI has something to do: a note event, a failed device.
  WakeSignal m_uiWake;
  // Raised when a stamped MIDI message waits: a resting silent device wakes.
  WakeSignal m_deviceWake;
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> m_pVoices;
  std::unique_ptr<SampleVoice> m_pPreviewVoice;
  WaveReader m_reader;
  SampleSearch m_search;  // m_strLastSampleDir lives here, for the whole run
  KitLoader m_loader;
  NoteTrigger m_trigger;
  TimedEngine m_engine;  // every device's cycles, and the inputs' inbox
  MidiInput m_midiIn;

 private:
  // Publishes what the trigger reads from the drum set and voice table now.
  void Publish();
  // Takes a voice out of the table; freed once no real-time thread can see it.
  void Retire(std::unique_ptr<SampleVoice> voice);
  void ReleaseAllVoices();
  std::unique_ptr<SampleVoice> MakeVoice(const std::string& path, int copies);
  // Steps 2 to 4 of a layer load: the file at path, or where it has gone.
  std::optional<std::string> FindLayerFile(const std::string& path);
  void RebuildVoices();
  // Makes the voices of finished samples; a slot's voices go in together.
  void AdoptFinished();
  // A layer set by hand during a load: the load's sample for it is dropped.
  // True when voices of its slot went into the table.
  bool SettleLayer(int k);
  bool MoveInSlotIfComplete(int slot);

  // Opens or closes the virtual port as the output device requires.
  MidiResult SyncVirtualPort();

  // Tells the device the output pairs of what plays now (m_bMultiOut).
  void SyncOutputPairs();
  // Reads the kit program's samples (m_kitWanted's, if any) into m_kitLoad,
  // publishing as they come in (in the background, through Poll).
  void LoadKitProgramSamples();
  void AdoptKitSamples();

  std::optional<KitProgram> m_kitProgram;
  std::optional<std::vector<bool>> m_kitWanted;
  KitMemoryPlan m_kitPlan;
  uint64_t m_nKitSeed = 0;
  KitProgramLoad m_kitLoad;

  bool m_bWantVirtualPort = false;
  // A background load: the layers it will fill, and the voices made for slots
  // not yet complete (never seen by the trigger).
  std::array<bool, kLayerTotal> m_bLoadPending{};
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> m_pLoadedVoices;
};

}  // namespace thumper
