#pragma once
// Helpers for the drum set tests: a voice host that records calls and can be told
// to fail, invariant checks, and a byte builder for hand-made files.

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "drumset/CThumperDoc.h"
#include "drumset/LayerVoiceHost.h"

namespace thumper::test {

class FakeVoiceHost : public LayerVoiceHost {
 public:
  std::set<int> voices;  // layer indices that have a voice
  std::set<std::string> failingPaths;
  bool bFailAll = false;
  std::vector<std::string> loads;  // "path slot layer" per call
  std::vector<int> released;       // layer indices, only those that had a voice
  std::vector<int> played;
  int nLayersChanged = 0;
  bool bRefuseEdits = false;  // MayEdit's answer is no
  int nEditsAsked = 0;

  bool LoadLayerVoice(const std::string& path, int slot, int layer) override {
    loads.push_back(path + " " + std::to_string(slot) + " " + std::to_string(layer));
    if (bFailAll || failingPaths.count(path)) return false;
    voices.insert(LayerIndex(slot, layer));
    return true;
  }
  void ReleaseVoice(int slot, int layer) override {
    if (voices.erase(LayerIndex(slot, layer))) released.push_back(LayerIndex(slot, layer));
  }
  bool HasVoice(int slot, int layer) const override {
    return voices.count(LayerIndex(slot, layer)) != 0;
  }
  void PlayVoice(int slot, int layer) override {
    // Playing a voice that was never made is the fault the tests guard against.
    EXPECT_TRUE(HasVoice(slot, layer)) << "played a missing voice " << slot << "/" << layer;
    played.push_back(LayerIndex(slot, layer));
  }
  void LayersChanged() override { ++nLayersChanged; }
  bool MayEdit() override {
    ++nEditsAsked;
    return !bRefuseEdits;
  }
};

inline std::vector<int> Sources(const DrumSet& set, int slot) {
  std::vector<int> out;
  for (int l = 0; l < kLayerCount; ++l) out.push_back(set.m_nLayerSource[LayerIndex(slot, l)]);
  return out;
}

inline LayerSampleRef Ref(const DrumSet& set, int slot, int layer) {
  return set.m_layerSample[LayerIndex(slot, layer)];
}

// No velocity layer of a sounding slot resolves to a layer without a voice.
inline void ExpectEveryLayerResolvesToAVoice(const DrumSet& set, const FakeVoiceHost& host) {
  for (int s = 0; s < kSlotCount; ++s) {
    if (set.m_nLayerSource[LayerIndex(s, 0)] == -1) continue;
    for (int l = 0; l < kLayerCount; ++l) {
      const int src = set.m_nLayerSource[LayerIndex(s, l)];
      EXPECT_TRUE(src >= 0 && src < kLayerCount && host.HasVoice(s, src))
          << "slot " << s << " layer " << l << " resolves to " << src;
    }
  }
}

// Empty slots have no references; in sounding slots each source is the highest own
// layer at or below, and only own layers have references.
inline void ExpectSlotsConsistent(const DrumSet& set) {
  for (int s = 0; s < kSlotCount; ++s) {
    const bool empty = set.m_nLayerSource[LayerIndex(s, 0)] == -1;
    int own = -1;
    for (int l = 0; l < kLayerCount; ++l) {
      const int k = LayerIndex(s, l);
      if (empty) {
        EXPECT_EQ(set.m_nLayerSource[k], -1) << "slot " << s;
        EXPECT_FALSE(set.m_layerSample[k].IsSet()) << "slot " << s << " layer " << l;
        continue;
      }
      if (set.m_nLayerSource[k] == l) own = l;
      EXPECT_EQ(set.m_nLayerSource[k], own) << "slot " << s << " layer " << l;
      EXPECT_EQ(set.m_layerSample[k].IsSet(), own == l) << "slot " << s << " layer " << l;
    }
  }
}

// Builds file bytes by hand, independent of the writer under test.
struct Bytes {
  std::vector<uint8_t> b;
  Bytes& U8(uint8_t v) {
    b.push_back(v);
    return *this;
  }
  Bytes& U16(uint16_t v) { return U8(v & 0xFF).U8(v >> 8); }
  Bytes& U32(uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
  Bytes& I32(int32_t v) { return U32(static_cast<uint32_t>(v)); }
  Bytes& Raw(const std::string& s) {
    b.insert(b.end(), s.begin(), s.end());
    return *this;
  }
  Bytes& Str(const std::string& s) {  // a short string with its 1-byte length
    return U8(static_cast<uint8_t>(s.size())).Raw(s);
  }
  Bytes& NewClass(uint16_t schema = 0, const std::string& name = "CStringArray") {
    return U16(0xFFFF).U16(schema).U16(static_cast<uint16_t>(name.size())).Raw(name);
  }
  // 640 layer records and 80 bytes of thresholds of a new drum set.
  Bytes& DefaultTail() {
    for (int s = 0; s < kSlotCount; ++s) {
      const int32_t settings[5] = {-1, 4, -4000, -1, -1};
      for (int l = 0; l < kLayerCount; ++l) I32(-1).I32(-1).I32(-1).I32(settings[l]);
    }
    for (const auto& scheme : kDefaultThresholds)
      for (int32_t t : scheme) I32(t);
    return *this;
  }
};

}  // namespace thumper::test
