#pragma once
// Implemented by the owner of the voice table. A driver switch calls it: with
// false it releases every voice, with true it releases them and loads all of
// them again from the drum set, on the device now open. UI thread.

namespace thumper {

class VoiceResetter {
 public:
  virtual ~VoiceResetter() = default;
  virtual void ResetVoices(bool reload) = 0;
  // Takes every voice out of the trigger's sight and stops its copies, without
  // waiting for the audio thread to drop them.
  virtual void ReleaseVoices() { ResetVoices(false); }
};

}  // namespace thumper
