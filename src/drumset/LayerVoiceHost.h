#pragma once
// What the document asks of the runtime that owns the layer voices. The document
// holds no audio; operations that give a layer a sample or take it away call this.
// UI thread only.

#include <string>

namespace thumper {

class LayerVoiceHost {
 public:
  virtual ~LayerVoiceHost() = default;
  // Finds and reads the sample and makes the 16-copy voice of (slot, layer). On success the new
  // voice replaces whatever the layer had (the old one is released); on failure the voice table
  // is left exactly as it was. UI messages/dialogs of the search happen inside.
  virtual bool LoadLayerVoice(const std::string& path, int slot, int layer) = 0;
  virtual void ReleaseVoice(int slot, int layer) = 0;  // stop, destroy, clear; no-op if none
  virtual bool HasVoice(int slot, int layer) const = 0;
  virtual void PlayVoice(int slot, int layer) = 0;  // plays the layer's voice once (the drop)
  virtual void LayersChanged() = 0;  // the model's layers changed: the runtime republishes what the
                                     // trigger reads
  // Asked before any change of what the drum set plays; false leaves the
  // document as it is. A kit that plays as its maker made it asks the user
  // first, and on yes plays as its drum set from then on.
  virtual bool MayEdit() { return true; }
};

}  // namespace thumper
