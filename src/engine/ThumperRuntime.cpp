#include "engine/ThumperRuntime.h"

#include <chrono>
#include <utility>

#include "drumset/PathNames.h"
#include "drumset/TextEncoding.h"
#include "engine/KitMemory.h"
#include "engine/KitNoteNames.h"
#include "engine/KitVoices.h"
#include "engine/OutputPairs.h"
#include "play/TriggerState.h"

namespace thumper {

ThumperRuntime::ThumperRuntime(CThumperDoc& doc, UiServices& ui,
                               std::unique_ptr<DriverBackend> backend)
    : m_doc(doc),
      m_ui(ui),
      m_output(std::move(backend)),
      m_reader(ui),
      m_trigger(m_output.GetReclaimer()),
      m_engine(m_trigger, m_output.GetReclaimer()),
      m_midiIn(m_engine, ui) {
  m_output.SetVoiceResetter(this);
  m_output.SetBlockSource(&m_engine);
  m_output.SetWakeSignals(&m_uiWake, &m_deviceWake);
  m_trigger.SetWakeSignal(&m_uiWake);
  m_engine.SetPostWake(&m_deviceWake);
  Publish();
}

ThumperRuntime::~ThumperRuntime() {
  // The MIDI input first, so no note can reach a voice being released.
  if (m_midiIn.m_bMidiInOpen) m_midiIn.MidiInOpenClose(0, 0);
  m_midiIn.CloseVirtualPort();
  m_output.SetVoiceResetter(nullptr);
  ReleaseAllVoices();
  // The device goes before the engine it pulls.
  m_output.Close();
}

void ThumperRuntime::Publish() {
  if (m_kitProgram) {
    const SoundDevice* device = m_output.m_pDirectSound.get();
    m_trigger.Publish(BuildKitTriggerState(*m_kitProgram, m_kitLoad.Voices().refs,
                                           device ? device->SampleRate() : kOutputRate,
                                           m_nKitSeed));
  } else {
    m_trigger.Publish(BuildTriggerState(m_doc, m_pVoices));
  }
  SyncOutputPairs();
}

void ThumperRuntime::SyncOutputPairs() {
  SoundDevice* device = m_output.m_pDirectSound.get();
  if (!m_bMultiOut || !device) return;
  const NoteNames names =
      m_kitProgram ? KitProgramNoteNames(*m_kitProgram) : DrumSetNoteNames(m_doc);
  std::vector<SoundDevice::OutputPairPorts> ports;
  for (const OutputPair& pair : OutputPairsOf(m_trigger.Current().m_program, names)) {
    if (pair.nOutput == 0) continue;
    // A sample's file name loses its extension ("snare.wav": "snare").
    std::string shortName = pair.strName;
    if (const size_t dot = shortName.rfind('.');
        dot != std::string::npos && dot > 0 && shortName.size() - dot <= 5)
      shortName.resize(dot);
    const std::string note = std::to_string(pair.nFirstNote);
    ports.push_back({pair.nOutput, "n" + note + "_" + PortSafeName(shortName, true, 24),
                     pair.strName + " (note " + note + ")"});
  }
  device->SetOutputPairs(ports);
}

int ThumperRuntime::PlayKitProgram(KitProgram program, uint64_t seed,
                                   const std::vector<bool>* wanted) {
  if (!m_output.IsOpen()) m_output.InitDirectSound(m_ui, false);
  const SoundDevice* device = m_output.m_pDirectSound.get();
  KitMemoryPlan plan =
      PlanKitMemory(program, wanted, device ? device->SampleRate() : kOutputRate, m_nMemoryBudget);
  if (plan.refusal) {
    m_ui.Notice(*plan.refusal, kAppName);
    return -1;
  }
  if (plan.nStreamed > 0) m_ui.Notice(KitStreamingNotice(program.strPath, plan), kAppName);
  m_kitPlan = std::move(plan);
  ReleaseAllVoices();
  m_kitProgram = std::move(program);
  m_kitWanted.reset();
  if (wanted) m_kitWanted = *wanted;
  m_nKitSeed = seed;
  LoadKitProgramSamples();
  return m_kitLoad.Voices().nLoaded;
}

bool ThumperRuntime::MayEdit() {
  if (!m_kitProgram) return true;
  if (!m_bKitProgramEditable) {
    m_ui.MessageBox(
        "This kit plays as its maker made it. Thumper cannot make an SFZ kit a drum set to "
        "edit; File > New starts one.",
        kAppName, MsgButtons::Ok, MsgIcon::Information);
    return false;
  }
  std::string text =
      "This kit plays as its maker made it. To edit it, Thumper makes it a drum set with five "
      "layers per key; the layers it cannot keep are listed.";
  for (const std::string& line : m_kitEditLosses) text += "\n" + line;
  if (m_ui.MessageBox(text, kAppName, MsgButtons::OkCancel, MsgIcon::Question) != MsgResult::Ok)
    return false;
  // The drum set on show plays from now on: its own voices are made.
  ReleaseAllVoices();
  m_kitProgram.reset();
  m_kitEditLosses.clear();
  m_bKitProgramEditable = true;
  Publish();
  RebuildVoices();
  return true;
}

void ThumperRuntime::LoadKitProgramSamples() {
  SoundDevice* device = m_output.m_pDirectSound.get();
  if (!m_kitProgram || !device) {
    Publish();
    return;
  }
  // Every note whose samples are in plays from the moment they are; in the
  // background the rest come in through Poll, otherwise before this returns.
  m_kitLoad.Start(*m_kitProgram, *device, m_loader, m_kitWanted ? &*m_kitWanted : nullptr,
                  &m_kitPlan);
  if (m_onLoadProgress) m_onLoadProgress(0, m_loader.Total());
  Publish();
  if (!m_bLoadInBackground) FinishLoading();
}

void ThumperRuntime::AdoptKitSamples() {
  KitVoiceLoad load;
  load.onProgress = m_onLoadProgress;
  load.onUnreadable = m_onUnreadableSample;
  if (m_kitLoad.Adopt(m_ui, load)) Publish();
}

void ThumperRuntime::Retire(std::unique_ptr<SampleVoice> voice) {
  if (!voice) return;
  voice->StopAll();
  m_output.GetReclaimer().Retire(std::move(voice));
}

void ThumperRuntime::ReleaseAllVoices() {
  CancelLoading();
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> old;
  old.swap(m_pVoices);
  KitProgramVoices oldKit = m_kitLoad.Take();
  auto preview = std::move(m_pPreviewVoice);
  Publish();  // the trigger no longer sees any of them
  for (auto& v : old) Retire(std::move(v));
  for (auto& v : oldKit.voices) Retire(std::move(v));
  Retire(std::move(preview));
}

std::unique_ptr<SampleVoice> ThumperRuntime::MakeVoice(const std::string& path, int copies) {
  SoundDevice* device = m_output.m_pDirectSound.get();
  return VoiceOfDecoded(m_ui, device,
                        DecodeSampleFile(path, device ? device->SampleRate() : kOutputRate), path,
                        copies);
}

std::optional<std::string> ThumperRuntime::FindLayerFile(const std::string& path) {
  if (SampleFileOpens(path)) return path;
  m_ui.MessageBox(DisplayText(path) + " Ei auennut 1", kAppName, MsgButtons::Ok, MsgIcon::None);
  const std::string name = FileNameOf(path);
  const std::string inLastDir = m_search.m_strLastSampleDir + name;
  if (auto besideSet = SampleFileIn(m_doc.DrumSetFolder(), name)) return *besideSet;
  if (const std::string resolved = ResolvedFolderOf(m_doc.GetPathName()); !resolved.empty())
    if (auto besideReal = SampleFileIn(resolved, name)) return *besideReal;
  if (auto inLast = SampleFileIn(m_search.m_strLastSampleDir, name)) return *inLast;
  const FileDialogResult chosen =
      m_ui.FileDialog(WavFileDialog(DisplayText(inLastDir), ofn::kStandard));
  if (!chosen.bOk || chosen.paths.empty()) return std::nullopt;
  m_search.m_strLastSampleDir = FolderOf(chosen.Path());
  return chosen.Path();
}

bool ThumperRuntime::LoadLayerVoice(const std::string& path, int slot, int layer) {
  if (slot < 0 || slot >= kSlotCount || layer < 0 || layer >= kLayerCount) return false;
  if (!m_output.IsOpen()) m_output.InitDirectSound(m_ui, false);

  const std::optional<std::string> found = FindLayerFile(path);
  if (!found) return false;
  auto voice = MakeVoice(*found, SampleVoice::kMaxCopies);
  if (!voice) {
    if (m_onUnreadableSample && SampleFileOpens(*found)) m_onUnreadableSample(*found);
    return false;
  }
  const int k = LayerIndex(slot, layer);
  SettleLayer(k);
  auto old = std::move(m_pVoices[k]);
  m_pVoices[k] = std::move(voice);
  Publish();
  Retire(std::move(old));
  return true;
}

void ThumperRuntime::ReleaseVoice(int slot, int layer) {
  if (slot < 0 || slot >= kSlotCount || layer < 0 || layer >= kLayerCount) return;
  const bool moved = SettleLayer(LayerIndex(slot, layer));
  auto old = std::move(m_pVoices[LayerIndex(slot, layer)]);
  if (!old && !moved) return;
  Publish();
  Retire(std::move(old));
}

bool ThumperRuntime::HasVoice(int slot, int layer) const {
  if (slot < 0 || slot >= kSlotCount || layer < 0 || layer >= kLayerCount) return false;
  return m_pVoices[LayerIndex(slot, layer)] != nullptr;
}

void ThumperRuntime::PlayVoice(int slot, int layer) {
  if (slot < 0 || slot >= kSlotCount || layer < 0 || layer >= kLayerCount) return;
  if (auto& v = m_pVoices[LayerIndex(slot, layer)]) v->Play();
}

void ThumperRuntime::RebuildVoices() {
  CancelLoading();
  if (!m_output.IsOpen()) m_output.InitDirectSound(m_ui, false);
  // The search and its questions first, in slot and layer order, here; only
  // the reading and converting go to the workers.
  std::vector<KitLoader::Job> jobs;
  ForEachLayerSample(m_doc, [&](int k, const std::string& path) {
    std::optional<std::string> found = FindLayerFile(path);
    if (!found) return;
    const size_t slot = static_cast<size_t>(k / kLayerCount);
    jobs.push_back({k, std::move(*found), m_slotsToLoad && !m_slotsToLoad->test(slot)});
    m_bLoadPending[k] = true;
  });
  SoundDevice* device = m_output.m_pDirectSound.get();
  m_loader.Start(std::move(jobs), device ? device->SampleRate() : kOutputRate);
  if (m_onLoadProgress) m_onLoadProgress(0, m_loader.Total());
  if (!m_bLoadInBackground) FinishLoading();
}

void ThumperRuntime::FinishLoading() {
  while (m_loader.IsRunning()) {
    m_loader.WaitForFinished(std::chrono::milliseconds(100));
    AdoptFinished();
    // Each batch publishes a new trigger state: the one it replaced goes now,
    // or a kit of thousands of files keeps thousands of them until its end.
    m_output.Reclaim();
  }
}

void ThumperRuntime::CancelLoading() {
  m_loader.Cancel();
  m_bLoadPending.fill(false);
  for (auto& v : m_pLoadedVoices) Retire(std::move(v));
}

void ThumperRuntime::AdoptFinished() {
  if (!m_loader.IsRunning()) return;
  if (m_kitProgram) return AdoptKitSamples();
  bool changed = false;
  for (KitLoader::Finished& f : m_loader.TakeFinished()) {
    const int k = f.nLayer;
    if (!m_bLoadPending[k]) continue;  // set by hand meanwhile: this sample is not wanted
    m_bLoadPending[k] = false;
    const DecodeStatus status = f.sample.status;
    if (!f.bCheckOnly)
      m_pLoadedVoices[k] =
          VoiceOfDecoded(m_ui, m_output.m_pDirectSound.get(), std::move(f.sample), f.strPath);
    else if (status == DecodeStatus::NotOpened)
      SayNotOpened(m_ui);
    if (status == DecodeStatus::Unreadable && m_onUnreadableSample)
      m_onUnreadableSample(f.strPath);  // found, but not a sample
    changed = MoveInSlotIfComplete(k / kLayerCount) || changed;
  }
  if (changed) Publish();
  if (m_onLoadProgress) m_onLoadProgress(m_loader.Taken(), m_loader.Total());
}

bool ThumperRuntime::MoveInSlotIfComplete(int slot) {
  for (int l = 0; l < kLayerCount; ++l)
    if (m_bLoadPending[LayerIndex(slot, l)]) return false;
  bool moved = false;
  for (int l = 0; l < kLayerCount; ++l) {
    auto& loaded = m_pLoadedVoices[LayerIndex(slot, l)];
    if (!loaded) continue;
    Retire(std::move(m_pVoices[LayerIndex(slot, l)]));
    m_pVoices[LayerIndex(slot, l)] = std::move(loaded);
    moved = true;
  }
  return moved;
}

bool ThumperRuntime::SettleLayer(int k) {
  if (!m_bLoadPending[k] && !m_pLoadedVoices[k]) return false;
  m_bLoadPending[k] = false;
  Retire(std::move(m_pLoadedVoices[k]));
  return MoveInSlotIfComplete(k / kLayerCount);
}

void ThumperRuntime::ResetVoices(bool reload) {
  ReleaseAllVoices();
  if (reload) (void)SyncVirtualPort();  // the device changed
  if (!reload) {
    // The device may be closed next: every voice must really be gone by then.
    m_output.GetReclaimer().ReclaimAll();
    return;
  }
  if (m_kitProgram) {
    LoadKitProgramSamples();
    return;
  }
  for (int g = 0; g < m_doc.GroupCount() && g < kGroupListSlots; ++g) {
    if (!m_doc.m_pGroupList[g]) continue;
    for (std::string& entry : *m_doc.m_pGroupList[g])
      entry = LocateSampleFile(entry, m_search, m_ui);
  }
  RebuildVoices();
}

void ThumperRuntime::UpdateStep(SampleListState& list, bool bOpenMidi) {
  list.m_nSelectedGroup = 0;
  m_kitProgram.reset();  // the drum set plays from now on
  m_kitEditLosses.clear();
  m_bKitProgramEditable = true;
  if (!m_output.IsOpen()) m_output.InitDirectSound(m_ui, false);
  (void)SyncVirtualPort();
  ReleaseAllVoices();
  m_search.m_strDrumSetFolder = m_doc.DrumSetFolder();
  m_search.m_strResolvedSetFolder = ResolvedFolderOf(m_doc.GetPathName());
  RunMissingFilePass(m_doc, m_search, m_ui);
  RebuildVoices();
  if (bOpenMidi) {
    if (m_midiIn.m_bMidiInOpen) m_midiIn.MidiInOpenClose(0, 0);
    m_midiIn.MidiInOpenClose(m_doc.m_nMidiInDevice, 1);
  }
  if (m_onFullRepaint) m_onFullRepaint();
}

void ThumperRuntime::NewDrumSet(SampleListState& list) {
  if (m_doc.OnNewDocument()) UpdateStep(list);
}

bool ThumperRuntime::OpenDrumSet(const std::string& path, SampleListState& list) {
  if (!m_doc.OnOpenDocument(path, m_ui)) return false;
  UpdateStep(list);
  return true;
}

bool ThumperRuntime::PlayPreview(const std::string& path) {
  StopPreview();
  if (!m_output.IsOpen()) return false;
  m_pPreviewVoice = MakeVoice(path, 1);
  if (!m_pPreviewVoice) return false;
  m_pPreviewVoice->Play();
  return true;
}

void ThumperRuntime::StopPreview() {
  Retire(std::move(m_pPreviewVoice));
}

void ThumperRuntime::Poll() {
  AdoptFinished();
  if (m_output.Poll(m_ui)) {
    // The device failed; if it was a JACK server that went, the MIDI inputs on
    // it went too. They are let go of and reported closed.
    if (m_midiIn.DropLostJackInputs())
      m_ui.Notice("The MIDI input was closed: its JACK server has gone away.", kAppName);
    (void)SyncVirtualPort();
  }
  m_output.Reclaim();
}

bool ThumperRuntime::HasDeviceMidiInput() const {
  const SoundDevice* device = m_output.m_pDirectSound.get();
  return device && device->HasOwnMidiInput();
}

MidiResult ThumperRuntime::OpenVirtualPort() {
  m_bWantVirtualPort = true;
  return SyncVirtualPort();
}

MidiResult ThumperRuntime::SyncVirtualPort() {
  if (!m_bWantVirtualPort) return {true, {}};
  if (HasDeviceMidiInput()) {
    // The JACK client's own "MIDI In" replaces a JACK virtual port.
    if (m_midiIn.IsVirtualPortOpen() && m_midiIn.VirtualPortApi() == "JACK")
      m_midiIn.CloseVirtualPort();
    if (!m_midiIn.IsVirtualPortOpen()) (void)m_midiIn.OpenVirtualPort(/*bAllowJack=*/false);
    return {true, {}};
  }
  return m_midiIn.OpenVirtualPort();
}

}  // namespace thumper
