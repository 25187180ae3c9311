// Building the trigger's snapshot: every velocity layer resolves to a voice that
// exists, and no value of a damaged drum set reaches outside a table.

#include "midi/TriggerTestSupport.h"

namespace thumper::test {
namespace {

using Layers = std::array<int8_t, kLayerCount>;

class TriggerStateTest : public TriggerTest {
 protected:
  std::unique_ptr<TriggerState> Build() { return BuildTriggerState(set, VoiceTable()); }
};

TEST_F(TriggerStateTest, OwnAndBorrowedLayersResolveToTheirVoices) {
  GiveOwnLayers(2, {0, 2});
  auto state = Build();
  const TriggerSlot& slot = state->m_slot[2];
  EXPECT_TRUE(slot.bSounds);
  EXPECT_EQ(slot.nSoundingLayer, (Layers{0, 0, 2, 2, 2}));
  EXPECT_EQ(slot.pLayerVoice[1], voices[10].get());
  EXPECT_EQ(slot.pLayerVoice[4], voices[12].get());
  EXPECT_EQ(slot.pOwnVoice[2], voices[12].get());
  EXPECT_EQ(slot.pOwnVoice[1], nullptr);
  EXPECT_EQ(slot.nThreshold, (std::array<int32_t, 4>{120, 105, 75, 40}));
  EXPECT_FALSE(state->m_slot[3].bSounds);
  EXPECT_EQ(state->m_slot[3].pLayerVoice, (std::array<SampleVoice*, 5>{}));
}

TEST_F(TriggerStateTest, ALayerWhoseVoiceFailedSoundsTheNearestLouderVoice) {
  GiveOwnLayers(0, {0, 1, 3});
  set.m_nLayerSource[LayerIndex(0, 3)] = 3;
  voices[LayerIndex(0, 3)].reset();  // its sample did not load
  voices[LayerIndex(0, 1)].reset();
  auto state = Build();
  EXPECT_EQ(state->m_slot[0].nSoundingLayer, (Layers{0, 0, 0, 0, 0}));
  EXPECT_TRUE(state->m_slot[0].bSounds);
}

TEST_F(TriggerStateTest, ABrokenLoudestLayerBorrowsTheNearestSofterVoice) {
  GiveOwnLayers(0, {0, 2, 4});
  voices[LayerIndex(0, 0)].reset();  // layer 0's sample did not load
  auto state = Build();
  const TriggerSlot& slot = state->m_slot[0];
  EXPECT_TRUE(slot.bSounds);
  // Layer 1 borrows layer 0, which has nothing: the nearest softer voice is 2's.
  EXPECT_EQ(slot.nSoundingLayer, (Layers{2, 2, 2, 2, 4}));
  EXPECT_EQ(slot.pLayerVoice[0], voices[LayerIndex(0, 2)].get());
  EXPECT_EQ(slot.pOwnVoice[0], nullptr);
  // Louder comes first: with layer 2 gone, layers 2 and 3 sound 0, not the nearer 4.
  GiveOwnLayers(1, {0, 2, 4});
  SetSources(1, {0, 0, 2, 2, 4});
  voices[LayerIndex(1, 2)].reset();
  auto second = Build();
  EXPECT_EQ(second->m_slot[1].nSoundingLayer, (Layers{0, 0, 0, 0, 4}));
}

TEST_F(TriggerStateTest, ASlotWithoutAnyVoiceIsSilentButItsCutTargetsStay) {
  GiveOwnLayers(0, {0, 2});
  voices[LayerIndex(0, 0)].reset();
  voices[LayerIndex(0, 2)].reset();
  // A voice whose buffer could not be made counts as none.
  GiveOwnLayers(1, {0});
  PulledDevice* none = nullptr;
  const auto bytes = ConstantSample(100, 1);
  voices[LayerIndex(1, 0)] =
      std::make_unique<SampleVoice>(ui, none, bytes.data(), 400, 16, OutputFormat(), "broken.wav");
  // Layer 0 without a source: silent, whatever the other layers hold.
  GiveOwnLayers(2, {1});
  auto state = Build();
  EXPECT_FALSE(state->m_slot[0].bSounds);
  EXPECT_EQ(state->m_slot[0].pLayerVoice, (std::array<SampleVoice*, 5>{}));
  EXPECT_FALSE(state->m_slot[1].bSounds);
  EXPECT_FALSE(state->m_slot[2].bSounds);
  EXPECT_EQ(state->m_slot[2].pOwnVoice[1], voices[LayerIndex(2, 1)].get());  // still cut
}

TEST_F(TriggerStateTest, DamagedSourcesSchemesAndCutsAreBounded) {
  GiveOwnLayers(0, {0, 1});
  SetSources(0, {0, 7, -5, -1, 1});
  set.m_noteSlot[0].nScheme = 9;
  set.m_noteSlot[0].nCutNote = 300;
  GiveOwnLayers(1, {0});
  set.m_noteSlot[1].nScheme = -3;
  set.m_noteSlot[1].nCutNote = 127;
  GiveOwnLayers(2, {0});
  SetSources(2, {-7, 0, 0, 0, 0});  // only -1 marks a silent slot
  set.m_noteSlot[2].nCutNote = -2;
  set.m_nVelocityThreshold[4] = {1, 2, 3, 4};
  auto state = Build();
  // Sources outside 0..4 sound the nearest louder layer below the velocity layer.
  EXPECT_EQ(state->m_slot[0].nSoundingLayer, (Layers{0, 0, 1, 1, 1}));
  EXPECT_EQ(state->m_slot[0].nThreshold, (std::array<int32_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(state->m_slot[0].nCutSlot, -1);
  EXPECT_EQ(state->m_slot[1].nThreshold, (std::array<int32_t, 4>{1, 2, 3, 4}));
  EXPECT_EQ(state->m_slot[1].nCutSlot, 127);
  // Only -1 marks a silent slot: a damaged source finds the layer's own voice.
  EXPECT_TRUE(state->m_slot[2].bSounds);
  EXPECT_EQ(state->m_slot[2].nSoundingLayer, (Layers{0, 0, 0, 0, 0}));
  EXPECT_EQ(state->m_slot[2].nCutSlot, -1);
}

TEST_F(TriggerStateTest, ASourcePointingAtASofterLayerStillPlaysAVoiceThatExists) {
  GiveOwnLayers(0, {0, 3});
  SetSources(0, {3, 4, 3, 3, 3});
  auto state = Build();
  EXPECT_TRUE(state->m_slot[0].bSounds);
  EXPECT_EQ(state->m_slot[0].nSoundingLayer, (Layers{3, 3, 3, 3, 3}));
}

TEST_F(TriggerStateTest, PublishingRetiresTheOldStateUntilReadersHaveMovedOn) {
  GiveOwnLayers(0, {0});
  Publish();
  const size_t before = reclaimer.PendingCount();
  reader->Enter();  // a note in flight
  Publish();
  EXPECT_EQ(reclaimer.PendingCount(), before + 1);
  reclaimer.Reclaim();
  EXPECT_EQ(reclaimer.PendingCount(), 1u);  // the note may still read it
  reader->Leave();
  EXPECT_EQ(reclaimer.Reclaim(), 1u);
  EXPECT_TRUE(trigger.Current().m_slot[0].bSounds);
}

}  // namespace
}  // namespace thumper::test
