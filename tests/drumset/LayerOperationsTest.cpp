// The layer operations: the three drop paths, the replace question, clearing
// layers and slots, forgetting an entry, failing loads and the modified flag.

#include <gtest/gtest.h>

#include "DrumsetTestSupport.h"
#include "drumset/DrumsFile.h"
#include "drumset/SampleListState.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

using V = std::vector<int>;

class LayerOps : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.OnNewDocument();
    doc.m_pGroupNames->push_back("G0");
    *doc.m_pGroupList[0] = {"/s/a.wav", "/s/b.wav", "/s/c.wav", "/s/d.wav"};
    doc.m_pGroupNames->push_back("G1");
    doc.m_pGroupList[1] = std::make_unique<StringList>(StringList{"/t/x.wav", "/t/y.wav"});
  }
  DropOutcome Drop(int slot, int layer, int group, int index) {
    return doc.DropSampleOnLayer(host, ui, slot, layer, group, index);
  }
  void Check() {
    ExpectSlotsConsistent(doc);
    ExpectEveryLayerResolvesToAVoice(doc, host);
  }
  CThumperDoc doc;
  FakeVoiceHost host;
  ScriptedUi ui;
};

TEST_F(LayerOps, DropOnLayer3OfAnEmptySlotFillsLayer0ForAllRows) {
  EXPECT_EQ(Drop(7, 3, 0, 2), DropOutcome::Assigned);
  EXPECT_EQ(Sources(doc, 7), (V{0, 0, 0, 0, 0}));
  EXPECT_EQ(Ref(doc, 7, 0), (LayerSampleRef{0, 2}));
  EXPECT_FALSE(Ref(doc, 7, 3).IsSet());
  EXPECT_EQ(host.loads, std::vector<std::string>{"/s/c.wav 7 0"});
  EXPECT_EQ(host.played, V{LayerIndex(7, 0)});
  EXPECT_GE(host.nLayersChanged, 1);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(doc.IsModified());  // the view sets it on the release
  Check();
}

TEST_F(LayerOps, DropOnBorrowingLayersGivesOwnSamplesAndCarriesUpward) {
  Drop(0, 0, 0, 0);
  EXPECT_EQ(Drop(0, 2, 0, 1), DropOutcome::Assigned);
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 2, 2, 2}));
  EXPECT_EQ(Drop(0, 3, 1, 1), DropOutcome::Assigned);
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 2, 3, 3}));
  EXPECT_EQ(Ref(doc, 0, 3), (LayerSampleRef{1, 1}));
  EXPECT_EQ(host.played.back(), LayerIndex(0, 3));
  // A drop on layer 1, below an own layer 2, stops at layer 2.
  EXPECT_EQ(Drop(0, 1, 0, 3), DropOutcome::Assigned);
  EXPECT_EQ(Sources(doc, 0), (V{0, 1, 2, 3, 3}));
  EXPECT_TRUE(ui.messages.empty());
  Check();
}

TEST_F(LayerOps, ClearLayerGivesTheLayerAndItsBorrowersTheSourceBelow) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  ASSERT_EQ(Sources(doc, 0), (V{0, 0, 2, 2, 2}));
  doc.ClearLayer(host, 0, 2);
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 0, 0, 0}));
  for (int l = 2; l < 5; ++l) EXPECT_FALSE(Ref(doc, 0, l).IsSet());
  EXPECT_FALSE(host.HasVoice(0, 2));
  EXPECT_TRUE(host.HasVoice(0, 0));
  EXPECT_FALSE(doc.IsModified());
  Check();
}

TEST_F(LayerOps, ClearLayerStopsAtTheNextOwnLayer) {
  Drop(0, 0, 0, 0);
  Drop(0, 1, 0, 1);
  Drop(0, 3, 0, 2);
  ASSERT_EQ(Sources(doc, 0), (V{0, 1, 1, 3, 3}));
  doc.ClearLayer(host, 0, 1);
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 0, 3, 3}));
  EXPECT_EQ(Ref(doc, 0, 3), (LayerSampleRef{0, 2}));
  Check();
}

TEST_F(LayerOps, ClearLayerOfABorrowingOrOutOfRangeLayerChangesNothing) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  const auto before = Sources(doc, 0);
  doc.ClearLayer(host, 0, 1);  // borrows layer 0
  doc.ClearLayer(host, 0, 0);  // layer 0 is for ClearSlot
  doc.ClearLayer(host, 0, 5);
  doc.ClearLayer(host, 128, 1);
  EXPECT_EQ(Sources(doc, 0), before);
  EXPECT_EQ(host.voices.size(), 2u);
}

TEST_F(LayerOps, ClearLayerTakesAwayAnOwnSampleWhoseVoiceFailedToLoad) {
  // As after a load whose rebuild could not read layer 2's file.
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  host.voices.erase(LayerIndex(0, 2));
  doc.ClearLayer(host, 0, 2);
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 0, 0, 0}));
  EXPECT_FALSE(Ref(doc, 0, 2).IsSet());
}

TEST_F(LayerOps, ClearSlotKeepsTheSettingsAndSetsTheFlag) {
  Drop(4, 0, 0, 0);
  Drop(4, 3, 0, 1);
  doc.m_noteSlot[4] = {9, 1, -200, 5, 6};
  doc.ClearSlot(host, 4);
  EXPECT_EQ(Sources(doc, 4), (V{-1, -1, -1, -1, -1}));
  for (int l = 0; l < 5; ++l) EXPECT_FALSE(Ref(doc, 4, l).IsSet());
  EXPECT_TRUE(host.voices.empty());
  EXPECT_EQ(doc.m_noteSlot[4], (NoteSlot{9, 1, -200, 5, 6}));
  EXPECT_TRUE(doc.IsModified());
  Check();
}

TEST_F(LayerOps, ClearSlotOfAnEmptySlotStillSetsTheFlag) {
  doc.ClearSlot(host, 0);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(Sources(doc, 0), (V{-1, -1, -1, -1, -1}));
}

TEST_F(LayerOps, ReplaceAsksAndCancelChangesNothing) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  host.loads.clear();
  host.played.clear();
  ui.messageAnswers = {MsgResult::Cancel};
  EXPECT_EQ(Drop(0, 2, 1, 0), DropOutcome::Cancelled);
  ASSERT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(ui.messages[0].text, "There is a sound in this layer! replace?");
  EXPECT_EQ(ui.messages[0].caption, "Replace sound?");
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::OkCancel);
  EXPECT_EQ(ui.messages[1].text, "Cancel");
  EXPECT_EQ(Ref(doc, 0, 2), (LayerSampleRef{0, 1}));
  EXPECT_TRUE(host.loads.empty());
  EXPECT_TRUE(host.played.empty());
}

// A kit that plays as its maker made it asks before its first change; a no
// leaves every operation without effect.
TEST_F(LayerOps, EveryChangeAsksTheHostFirstAndANoChangesNothing) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  const auto before = SerializeDrumSet(doc);
  const int asked = host.nEditsAsked;
  EXPECT_EQ(asked, 2);
  host.bRefuseEdits = true;
  host.loads.clear();
  EXPECT_EQ(Drop(1, 0, 0, 2), DropOutcome::Cancelled);
  EXPECT_FALSE(doc.AssignSample(host, 0, 1, 1, 0));
  doc.ClearLayer(host, 0, 2);
  doc.ClearSlot(host, 0);
  EXPECT_FALSE(doc.RemoveSampleFromGroup(host, 0, 0));
  SampleListState list;
  EXPECT_FALSE(doc.RemoveGroup(host, 1, list));
  EXPECT_EQ(host.nEditsAsked, asked + 6);
  EXPECT_TRUE(host.loads.empty());
  EXPECT_TRUE(host.released.empty());
  EXPECT_TRUE(ui.messages.empty());  // the host asks its own question
  EXPECT_EQ(SerializeDrumSet(doc), before);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(LayerOps, ReplaceOnOkKeepsTheFreshVoice) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  Drop(0, 4, 0, 2);
  ASSERT_EQ(Sources(doc, 0), (V{0, 0, 2, 2, 4}));
  EXPECT_EQ(Drop(0, 2, 1, 1), DropOutcome::Assigned);
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"There is a sound in this layer! replace?"});
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 2, 2, 4}));
  EXPECT_EQ(Ref(doc, 0, 2), (LayerSampleRef{1, 1}));
  EXPECT_TRUE(host.HasVoice(0, 2));  // not released after loading
  EXPECT_EQ(host.played.back(), LayerIndex(0, 2));
  // Layer 0 is replaced the same way, without emptying the slot.
  EXPECT_EQ(Drop(0, 0, 1, 0), DropOutcome::Assigned);
  EXPECT_EQ(Ref(doc, 0, 0), (LayerSampleRef{1, 0}));
  EXPECT_EQ(Sources(doc, 0), (V{0, 0, 2, 2, 4}));
  EXPECT_EQ(Ref(doc, 0, 2), (LayerSampleRef{1, 1}));
  Check();
}

TEST_F(LayerOps, FailedLoadLeavesTheSlotExactlyAsItWas) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  const auto sources = Sources(doc, 0);
  std::vector<LayerSampleRef> refs;
  for (int l = 0; l < 5; ++l) refs.push_back(Ref(doc, 0, l));
  const auto voices = host.voices;
  host.played.clear();
  host.failingPaths = {"/t/x.wav"};
  EXPECT_EQ(Drop(0, 3, 1, 0), DropOutcome::LoadFailed);  // borrowing layer
  EXPECT_EQ(Drop(0, 2, 1, 0), DropOutcome::LoadFailed);  // own layer, after OK
  EXPECT_EQ(Drop(0, 0, 1, 0), DropOutcome::LoadFailed);  // layer 0, after OK
  EXPECT_EQ(Drop(9, 1, 1, 0), DropOutcome::LoadFailed);  // empty slot
  EXPECT_EQ(Sources(doc, 0), sources);
  for (int l = 0; l < 5; ++l) EXPECT_EQ(Ref(doc, 0, l), refs[l]);
  EXPECT_EQ(Sources(doc, 9), (V{-1, -1, -1, -1, -1}));
  EXPECT_EQ(host.voices, voices);
  EXPECT_TRUE(host.played.empty());
  EXPECT_FALSE(doc.IsModified());
  Check();
}

TEST_F(LayerOps, DropOfAMissingEntryOrOutsideTheSlotsDoesNothing) {
  EXPECT_EQ(Drop(0, 0, 0, 4), DropOutcome::NoSuchEntry);
  EXPECT_EQ(Drop(0, 0, 2, 0), DropOutcome::NoSuchEntry);
  EXPECT_EQ(Drop(0, 0, -1, 0), DropOutcome::NoSuchEntry);
  EXPECT_EQ(Drop(128, 0, 0, 0), DropOutcome::NoSuchEntry);
  EXPECT_EQ(Drop(0, 5, 0, 0), DropOutcome::NoSuchEntry);
  EXPECT_TRUE(host.loads.empty());
}

TEST_F(LayerOps, AssignSampleSetsOnlyItsLayer) {
  EXPECT_TRUE(doc.AssignSample(host, 3, 2, 1, 1));
  EXPECT_EQ(Sources(doc, 3), (V{-1, -1, 2, -1, -1}));
  EXPECT_EQ(Ref(doc, 3, 2), (LayerSampleRef{1, 1}));
  host.bFailAll = true;
  EXPECT_FALSE(doc.AssignSample(host, 3, 3, 1, 0));
  EXPECT_EQ(Sources(doc, 3), (V{-1, -1, 2, -1, -1}));
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(LayerOps, ForgetSampleOnLayer0EmptiesTheSlotAndResetsItsSettings) {
  Drop(0, 0, 0, 0);
  Drop(0, 2, 0, 1);
  doc.m_noteSlot[0] = {3, 0, -100, 7, 8};
  Drop(1, 0, 0, 1);
  Drop(1, 2, 0, 0);  // slot 1 uses entry 0 on layer 2
  const size_t released = host.released.size();
  doc.ForgetSample(0, 0);
  EXPECT_EQ(Sources(doc, 0), (V{-1, -1, -1, -1, -1}));
  for (int l = 0; l < 5; ++l) EXPECT_FALSE(Ref(doc, 0, l).IsSet());
  EXPECT_EQ(doc.m_noteSlot[0], (NoteSlot{-1, 4, -4000, 7, 8}));
  EXPECT_EQ(Sources(doc, 1), (V{0, 0, 0, 0, 0}));
  EXPECT_FALSE(Ref(doc, 1, 2).IsSet());
  EXPECT_EQ(Ref(doc, 1, 0), (LayerSampleRef{0, 1}));
  EXPECT_EQ(host.released.size(), released);  // no voice is touched
  EXPECT_FALSE(doc.IsModified());
  ExpectSlotsConsistent(doc);
}

TEST_F(LayerOps, LayersChangedFollowsEveryChange) {
  int n = host.nLayersChanged;
  Drop(0, 0, 0, 0);
  EXPECT_GT(host.nLayersChanged, n);
  n = host.nLayersChanged;
  doc.ClearSlot(host, 0);
  EXPECT_GT(host.nLayersChanged, n);
}

TEST_F(LayerOps, RandomEditsKeepEveryInvariant) {
  uint32_t seed = 12345;
  auto next = [&](uint32_t n) {
    seed = seed * 1664525u + 1013904223u;
    return static_cast<int>((seed >> 8) % n);
  };
  for (int step = 0; step < 3000; ++step) {
    const int slot = next(3);
    const int layer = next(5);
    host.bFailAll = next(4) == 0;
    ui.messageAnswers = {next(2) ? MsgResult::Ok : MsgResult::Cancel};
    switch (next(4)) {
      case 0:
      case 1:
        Drop(slot, layer, next(2), next(2));
        break;
      case 2:
        doc.ClearLayer(host, slot, layer);
        break;
      default:
        if (next(3) == 0) doc.ClearSlot(host, slot);
        break;
    }
    ui.messageAnswers.clear();
    ExpectSlotsConsistent(doc);
    ExpectEveryLayerResolvesToAVoice(doc, host);
    if (HasFailure()) FAIL() << "after step " << step;
  }
}

}  // namespace
}  // namespace thumper::test
