#pragma once
// The drum set most live tests play: one sample on note 36, at every velocity.

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "drumset/CThumperDoc.h"
#include "support/TestSupport.h"

namespace thumper::test {

// Writes samples (interleaved stereo) as dir/name and dir/kit.drums around it;
// midiDevice is the drum set's MIDI input device, left as a new drum set has it
// when not given. Returns the drum set's path.
inline std::string SaveOneSampleKit(TempDir& dir, const std::string& name,
                                    const std::vector<int16_t>& samples,
                                    std::optional<int> midiDevice = std::nullopt) {
  WriteWav(dir / name, samples);
  CThumperDoc kit;
  ScriptedUi ui;
  kit.OnNewDocument();
  if (midiDevice) kit.m_nMidiInDevice = *midiDevice;
  kit.m_pGroupNames->push_back("Kit");
  *kit.m_pGroupList[0] = {dir / name};
  for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(0, l)] = 0;
  kit.m_layerSample[LayerIndex(0, 0)] = {0, 0};
  const std::string path = dir / "kit.drums";
  EXPECT_TRUE(kit.OnSaveDocument(path, ui));
  return path;
}

}  // namespace thumper::test
