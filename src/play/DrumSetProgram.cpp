#include "play/DrumSetProgram.h"

#include <algorithm>

#include "play/NoteTrigger.h"
#include "play/TriggerState.h"

namespace thumper {

std::array<int, 2> LayerVelocityRange(const std::array<int32_t, kThresholdCount>& threshold,
                                      int layer) {
  // VelocityLayer takes the first threshold the velocity exceeds: layer l
  // sounds above its own threshold and at or below every louder layer's.
  int64_t low = layer < kThresholdCount ? int64_t{threshold[layer]} + 1 : 1;
  int64_t high = 127;
  for (int k = 0; k < layer && k < kThresholdCount; ++k)
    high = std::min<int64_t>(high, threshold[k]);
  low = std::max<int64_t>(low, 1);
  return {static_cast<int>(std::min<int64_t>(low, 128)),
          static_cast<int>(std::max<int64_t>(high, 0))};
}

void CompileDrumSet(const std::array<TriggerSlot, kSlotCount>& slots, PlayProgram& program) {
  // The choke group of each slot some sounding slot cuts, made once.
  std::array<int32_t, kSlotCount> group;
  group.fill(-1);
  const auto groupOf = [&](int slot) {
    if (group[slot] < 0) {
      group[slot] = static_cast<int32_t>(program.m_group.size());
      ChokeGroup g{static_cast<uint32_t>(program.m_groupVoice.size()), 0};
      for (SampleVoice* voice : slots[slot].pOwnVoice) {
        if (!voice) continue;
        program.m_groupVoice.push_back(voice);
        ++g.nVoiceCount;
      }
      program.m_group.push_back(g);
    }
    return static_cast<uint32_t>(group[slot]);
  };

  // Each slot that sounds has an output pair of its own, numbered from 1 in slot
  // order; slots joined by a cut (a hi-hat's open and closed slots) share one.
  std::array<int, kSlotCount> root;
  for (int s = 0; s < kSlotCount; ++s) root[s] = s;
  const auto find = [&](int s) {
    while (root[s] != s) s = root[s] = root[root[s]];
    return s;
  };
  const int reached = SlotOfNote(PlayProgram::kNoteCount - 1);
  for (int s = 0; s <= reached; ++s) {
    const int cut = slots[s].nCutSlot;
    if (slots[s].bSounds && cut >= 0 && cut <= reached && slots[cut].bSounds)
      root[std::max(find(s), find(cut))] = std::min(find(s), find(cut));
  }
  std::array<uint8_t, kSlotCount> output{};
  std::array<uint8_t, kSlotCount> outputOfRoot{};
  uint8_t next = 1;
  for (int s = 0; s <= reached; ++s) {
    if (!slots[s].bSounds) continue;
    uint8_t& pair = outputOfRoot[find(s)];
    if (pair == 0) pair = next < 255 ? next++ : 255;
    output[s] = pair;
  }

  // Only the slots a note reaches (0..91) are compiled, each once.
  std::array<int32_t, kSlotCount> setOf;
  setOf.fill(-1);
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const int s = SlotOfNote(n);
    const TriggerSlot& slot = slots[s];
    PlayNote& note = program.m_note[n];
    note.nShowSlot = static_cast<uint8_t>(s);
    note.nCellThreshold = slot.nThreshold;
    if (!slot.bSounds) continue;
    if (setOf[s] < 0) {
      setOf[s] = static_cast<int32_t>(program.m_set.size());
      PlaySet set{static_cast<uint32_t>(program.m_region.size()), 0, Selection::First};
      const bool cuts = slot.nCutSlot >= 0;
      const uint32_t stop = static_cast<uint32_t>(program.m_stop.size());
      if (cuts) program.m_stop.push_back(groupOf(slot.nCutSlot));
      for (int l = 0; l < kLayerCount; ++l) {
        const auto [low, high] = LayerVelocityRange(slot.nThreshold, l);
        if (low > high || !slot.pLayerVoice[l]) continue;
        PlayRegion region;
        region.pVoice = slot.pLayerVoice[l];
        region.nVelocityLow = static_cast<uint8_t>(low);
        region.nVelocityHigh = static_cast<uint8_t>(high);
        region.gainLaw = GainLaw::Attenuation;
        region.nVolume = slot.nVolume;
        region.nFirstStop = stop;
        region.nStopCount = cuts ? 1 : 0;
        region.nOutput = output[s];
        program.m_region.push_back(region);
        ++set.nRegionCount;
      }
      program.m_set.push_back(set);
    }
    note.nFirstSet = static_cast<uint32_t>(setOf[s]);
    note.nSetCount = 1;
  }
}

}  // namespace thumper
