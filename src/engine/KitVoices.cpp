#include "engine/KitVoices.h"

namespace thumper {

void ForEachLayerSample(const CThumperDoc& doc,
                        const std::function<void(int nLayer, const std::string& path)>& visit) {
  for (int k = 0; k < kLayerTotal; ++k) {
    const LayerSampleRef& ref = doc.m_layerSample[k];
    if (!ref.IsSet()) continue;
    if (const std::string* path = doc.EntryPath(ref.nGroup, ref.nIndex)) visit(k, *path);
  }
}

void SayNotOpened(UiServices& ui) {
  ui.MessageBox("Could not OpenFile", "Error", MsgButtons::Ok, MsgIcon::Error);
}

std::unique_ptr<SampleVoice> VoiceOfDecoded(UiServices& ui, SoundDevice* device,
                                            DecodedSample sample, const std::string& path,
                                            int copies) {
  if (sample.status == DecodeStatus::NotOpened) SayNotOpened(ui);
  if (sample.status != DecodeStatus::Ok && sample.status != DecodeStatus::ConvertFailed)
    return nullptr;
  auto voice = std::make_unique<SampleVoice>(ui, device, std::move(sample), copies, path);
  if (!voice->IsPlayable()) return nullptr;
  return voice;
}

}  // namespace thumper
