#include "drumset/CThumperDoc.h"

#include "drumset/DrumSetTexts.h"
#include "drumset/DrumsFile.h"

namespace thumper {

bool CThumperDoc::OnNewDocument() {
  static_cast<DrumSet&>(*this) = DrumSet();
  m_nMidiInDevice = 1;
  SetTitle(texts::kNewDrumsetTitle);
  return DocumentBase::OnNewDocument();
}

std::vector<uint8_t> CThumperDoc::Store() const {
  return SerializeDrumSet(*this);
}

bool CThumperDoc::Load(std::span<const uint8_t> bytes) {
  auto parsed = ParseDrumSet(bytes);
  if (!parsed) return false;
  static_cast<DrumSet&>(*this) = std::move(*parsed);
  return true;
}

const std::string* CThumperDoc::EntryPath(int group, int index) const {
  if (group < 0 || group >= GroupCount() || group >= kGroupListSlots || index < 0) return nullptr;
  const StringList* list = m_pGroupList[group].get();
  if (!list || static_cast<size_t>(index) >= list->size()) return nullptr;
  return &(*list)[index];
}

bool CThumperDoc::IsLayer(int slot, int layer) {
  return slot >= 0 && slot < kSlotCount && layer >= 0 && layer < kLayerCount;
}

bool CThumperDoc::HasOwnSample(int slot, int layer) const {
  return IsLayer(slot, layer) && m_nLayerSource[LayerIndex(slot, layer)] == layer;
}

void CThumperDoc::SourceUpward(int slot, int layer) {
  m_nLayerSource[LayerIndex(slot, layer)] = layer;
  for (int l = layer + 1; l < kLayerCount && m_nLayerSource[LayerIndex(slot, l)] != l; ++l) {
    m_nLayerSource[LayerIndex(slot, l)] = layer;
  }
}

void CThumperDoc::ClearLayerModel(int slot, int layer) {
  for (int l = layer; l < kLayerCount; ++l) {
    const int k = LayerIndex(slot, l);
    if (l > layer && m_nLayerSource[k] == l) break;
    m_layerSample[k] = {};
    m_nLayerSource[k] = m_nLayerSource[k - 1];
  }
}

bool CThumperDoc::AssignSample(LayerVoiceHost& host, int slot, int layer, int group, int index) {
  const std::string* path = EntryPath(group, index);
  if (!IsLayer(slot, layer) || !path || !host.MayEdit()) return false;
  if (!host.LoadLayerVoice(*path, slot, layer)) return false;
  const int k = LayerIndex(slot, layer);
  m_layerSample[k] = {group, index};
  m_nLayerSource[k] = layer;
  host.LayersChanged();
  return true;
}

DropOutcome CThumperDoc::DropSampleOnLayer(LayerVoiceHost& host, UiServices& ui, int slot,
                                           int layer, int group, int index) {
  const std::string* path = EntryPath(group, index);
  if (!IsLayer(slot, layer) || !path) return DropOutcome::NoSuchEntry;
  if (!host.MayEdit()) return DropOutcome::Cancelled;

  if (m_nLayerSource[LayerIndex(slot, 0)] == -1) {
    // An empty slot starts at layer 0 whatever row was aimed at.
    if (!host.LoadLayerVoice(*path, slot, 0)) return DropOutcome::LoadFailed;
    m_layerSample[LayerIndex(slot, 0)] = {group, index};
    for (int l = 0; l < kLayerCount; ++l) m_nLayerSource[LayerIndex(slot, l)] = 0;
    host.LayersChanged();
    host.PlayVoice(slot, 0);
    return DropOutcome::Assigned;
  }

  const bool replacing = HasOwnSample(slot, layer);
  if (replacing) {
    const MsgResult answer = ui.MessageBox(texts::kReplaceQuestion, texts::kReplaceCaption,
                                           MsgButtons::OkCancel, MsgIcon::Question);
    if (answer != MsgResult::Ok) {
      ui.MessageBox(texts::kCancelNotice, kAppName, MsgButtons::Ok, MsgIcon::Information);
      return DropOutcome::Cancelled;
    }
  }
  // The host releases the old voice only once the new one is made.
  if (!host.LoadLayerVoice(*path, slot, layer)) return DropOutcome::LoadFailed;
  if (replacing && layer > 0) ClearLayerModel(slot, layer);
  SourceUpward(slot, layer);
  m_layerSample[LayerIndex(slot, layer)] = {group, index};
  host.LayersChanged();
  host.PlayVoice(slot, layer);
  return DropOutcome::Assigned;
}

void CThumperDoc::ClearSlotImpl(LayerVoiceHost& host, int slot) {
  for (int l = 0; l < kLayerCount; ++l) {
    host.ReleaseVoice(slot, l);
    m_layerSample[LayerIndex(slot, l)] = {};
    m_nLayerSource[LayerIndex(slot, l)] = -1;
  }
}

void CThumperDoc::ClearSlot(LayerVoiceHost& host, int slot) {
  if (slot < 0 || slot >= kSlotCount || !host.MayEdit()) return;
  ClearSlotImpl(host, slot);
  SetModifiedFlag();
  host.LayersChanged();
}

bool CThumperDoc::ClearLayerImpl(LayerVoiceHost& host, int slot, int layer) {
  if (slot < 0 || slot >= kSlotCount || layer < 1 || layer >= kLayerCount) return false;
  const int k = LayerIndex(slot, layer);
  // A layer whose sample failed to load has no voice but is still the layer's own
  // sample; it is taken away too, so that no reference outlives its removal.
  if (!host.HasVoice(slot, layer) && m_nLayerSource[k] != layer &&
      m_layerSample[k] == LayerSampleRef{})
    return false;
  host.ReleaseVoice(slot, layer);
  ClearLayerModel(slot, layer);
  return true;
}

void CThumperDoc::ClearLayer(LayerVoiceHost& host, int slot, int layer) {
  if (!host.MayEdit()) return;
  if (ClearLayerImpl(host, slot, layer)) host.LayersChanged();
}

void CThumperDoc::ForgetSample(int group, int index) {
  const LayerSampleRef gone{group, index};
  for (int s = 0; s < kSlotCount; ++s) {
    for (int l = 0; l < kLayerCount; ++l) {
      if (m_layerSample[LayerIndex(s, l)] != gone) continue;
      if (l == 0) {
        // The slot is empty now: no layer keeps a reference (an empty slot has none).
        for (int m = 0; m < kLayerCount; ++m) {
          m_layerSample[LayerIndex(s, m)] = {};
          m_nLayerSource[LayerIndex(s, m)] = -1;
        }
        NoteSlot& settings = m_noteSlot[s];
        settings.nCutNote = -1;
        settings.nScheme = 4;
        settings.nVolume = -4000;
      } else {
        ClearLayerModel(s, l);
      }
    }
  }
}

}  // namespace thumper
