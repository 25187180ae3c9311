#include "edit/SoundProperties.h"

#include <cstdio>

#include "engine/ThumperRuntime.h"

namespace thumper {
namespace {

bool IsSlot(int slot) {
  return slot >= 0 && slot < kSlotCount;
}

std::string CopyOfLayerText(int source) {
  char text[32];
  std::snprintf(text, sizeof text, "Copy of layer %d", source + 1);
  return text;
}

}  // namespace

std::string LayerText(const CThumperDoc& doc, const ThumperRuntime& runtime, int slot, int layer) {
  if (!IsSlot(slot) || layer < 0 || layer >= kLayerCount) return {};
  const int i = LayerIndex(slot, layer);
  // Layer 1 always names its own sample; a higher layer only when it has one.
  if (layer != 0 && doc.m_nLayerSource[i] != layer) return CopyOfLayerText(doc.m_nLayerSource[i]);
  if (const SampleVoice* voice = runtime.m_pVoices[i].get()) return voice->m_strName;
  // The sample did not load (its file is missing or unreadable): the path the
  // drum set keeps for it says which file is meant.
  const LayerSampleRef& ref = doc.m_layerSample[i];
  if (const std::string* path = doc.EntryPath(ref.nGroup, ref.nIndex)) return *path;
  return {};
}

void FillSoundPropsDlg(CSoundPropsDlg& dlg, const CThumperDoc& doc, const ThumperRuntime& runtime,
                       int slot) {
  if (!IsSlot(slot)) return;
  const NoteSlot& settings = doc.m_noteSlot[slot];
  dlg.m_nVolume = settings.nVolume;
  if (settings.nCutNote == -1) {
    dlg.m_bCut = 0;
    dlg.m_nCutNote = 0;
  } else {
    dlg.m_bCut = 1;
    dlg.m_nCutNote = settings.nCutNote + 1;
  }
  dlg.m_nNote = slot + 1;
  dlg.m_nScheme = settings.nScheme + 1;
  dlg.m_strLayer1 = LayerText(doc, runtime, slot, 0);
  dlg.m_strLayer2 = LayerText(doc, runtime, slot, 1);
  dlg.m_strLayer3 = LayerText(doc, runtime, slot, 2);
  dlg.m_strLayer4 = LayerText(doc, runtime, slot, 3);
  dlg.m_strLayer5 = LayerText(doc, runtime, slot, 4);
  dlg.SetCurveThresholds(doc.m_nVelocityThreshold);
}

bool EditSoundProperties(CThumperDoc& doc, ThumperRuntime& runtime, UiServices& ui, int slot,
                         const std::function<bool(CSoundPropsDlg&)>& run, QWidget* parent) {
  if (!IsSlot(slot)) return false;
  if (doc.m_nLayerSource[LayerIndex(slot, 0)] == -1) {
    ui.MessageBox("No Sound here. Drag & Drop samples here.", "Empty Layer", MsgButtons::Ok,
                  MsgIcon::Information);
    return false;
  }

  CSoundPropsDlg dlg(ui, parent);
  FillSoundPropsDlg(dlg, doc, runtime, slot);
  if (run(dlg) && runtime.MayEdit()) {
    NoteSlot& settings = doc.m_noteSlot[slot];
    settings.nVolume = dlg.m_nVolume;
    settings.nCutNote = dlg.m_bCut ? dlg.m_nCutNote - 1 : -1;
    settings.nScheme = dlg.m_nScheme - 1;
    // The trigger plays from a snapshot: a new one makes the change heard at once.
    runtime.LayersChanged();
  }
  doc.SetModifiedFlag();
  return true;
}

}  // namespace thumper
