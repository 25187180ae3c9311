#pragma once
// The content of a drum set: everything a ".drums" file stores.
// Plain data; the operations live in CThumperDoc.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace thumper {

constexpr int kSlotCount = 128;
constexpr int kLayerCount = 5;
constexpr int kLayerTotal = kSlotCount * kLayerCount;  // index slot * 5 + layer
constexpr int kSchemeCount = 5;
constexpr int kThresholdCount = 4;
constexpr int kGroupListSlots = 20;  // hard limit of the file and the document
constexpr int kUserGroupLimit = 16;  // what the user's own operations stop at

constexpr int LayerIndex(int slot, int layer) { return slot * kLayerCount + layer; }

// Paths and names are byte strings, as the platform gives them.
using StringList = std::vector<std::string>;

struct LayerSampleRef {
  int32_t nGroup = -1;
  int32_t nIndex = -1;
  bool IsSet() const { return nGroup != -1 && nIndex != -1; }
  friend bool operator==(const LayerSampleRef&, const LayerSampleRef&) = default;
};

struct NoteSlot {
  int32_t nCutNote = -1;
  int32_t nScheme = 4;
  int32_t nVolume = -4000;
  int32_t nReserved1 = -1;
  int32_t nReserved2 = -1;
  friend bool operator==(const NoteSlot&, const NoteSlot&) = default;
};

using ThresholdTable = std::array<std::array<int32_t, kThresholdCount>, kSchemeCount>;

inline constexpr ThresholdTable kDefaultThresholds = {{
    {90, 50, 30, 10},
    {100, 65, 40, 20},
    {110, 80, 50, 25},
    {115, 95, 60, 30},
    {120, 105, 75, 40},
}};

struct DrumSet {
  // Slot 0 always holds a list; slots 0 .. GroupCount-1 are in use.
  std::array<std::unique_ptr<StringList>, kGroupListSlots> m_pGroupList;
  std::unique_ptr<StringList> m_pGroupNames = std::make_unique<StringList>();
  int32_t m_nMidiInDevice = 0;
  std::array<LayerSampleRef, kLayerTotal> m_layerSample{};
  std::array<NoteSlot, kSlotCount> m_noteSlot{};
  ThresholdTable m_nVelocityThreshold = kDefaultThresholds;
  std::array<int32_t, kLayerTotal> m_nLayerSource;

  DrumSet() {
    m_pGroupList[0] = std::make_unique<StringList>();
    m_nLayerSource.fill(-1);
  }

  int GroupCount() const { return static_cast<int>(m_pGroupNames->size()); }
};

}  // namespace thumper
