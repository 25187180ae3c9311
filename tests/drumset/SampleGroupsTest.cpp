// Group operations: creating, filling, the limits, and removals with the
// renumbering of every layer reference.

#include <gtest/gtest.h>

#include "DrumsetTestSupport.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

class Groups : public ::testing::Test {
 protected:
  void SetUp() override { doc.OnNewDocument(); }
  void AddGroupWith(const std::string& name, int entries) {
    doc.m_pGroupNames->push_back(name);
    auto list = std::make_unique<StringList>();
    for (int i = 0; i < entries; ++i)
      list->push_back(name + "/" + std::to_string(i).append(".wav"));
    doc.m_pGroupList[doc.GroupCount() - 1] = std::move(list);
  }
  // Gives a layer its own reference directly, with a voice.
  void Own(int slot, int layer, int group, int index) {
    for (int l = layer; l < kLayerCount; ++l) {
      const int k = LayerIndex(slot, l);
      if (l > layer && doc.m_nLayerSource[k] == l) break;
      doc.m_nLayerSource[k] = layer;
    }
    doc.m_layerSample[LayerIndex(slot, layer)] = {group, index};
    host.voices.insert(LayerIndex(slot, layer));
  }
  CThumperDoc doc;
  FakeVoiceHost host;
  ScriptedUi ui;
  SampleListState list;
};

TEST_F(Groups, AddGroupOffersGroupDotsSelectsTheNewGroupAndSetsTheFlag) {
  AddGroupWith("A", 3);
  list.m_nListScroll = 5;
  ui.createGroupAnswers = {std::string("Snares")};
  ASSERT_TRUE(doc.AddGroup(ui, list));
  EXPECT_EQ(ui.createGroupOffers, std::vector<std::string>{"Group.."});
  EXPECT_EQ(doc.GroupCount(), 2);
  EXPECT_EQ((*doc.m_pGroupNames)[1], "Snares");
  ASSERT_TRUE(doc.m_pGroupList[1]);
  EXPECT_TRUE(doc.m_pGroupList[1]->empty());
  EXPECT_EQ(list.m_nSelectedGroup, 1);
  EXPECT_EQ(list.m_nListScroll, 0);
  EXPECT_TRUE(doc.IsModified());
}

TEST_F(Groups, AddGroupCancelChangesNothing) {
  ui.createGroupAnswers = {std::nullopt};
  EXPECT_FALSE(doc.AddGroup(ui, list));
  EXPECT_EQ(doc.GroupCount(), 0);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(Groups, SixteenGroupsIsTheLimitOfTheUsersOperations) {
  for (int g = 0; g < 15; ++g) AddGroupWith(std::string(1, static_cast<char>('a' + g)), 0);
  ASSERT_TRUE(doc.AddGroup(ui, list));
  EXPECT_EQ(doc.GroupCount(), 16);
  EXPECT_FALSE(doc.AddGroup(ui, list));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Try to manage with 16 lists (sorry)"});
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(doc.GroupCount(), 16);
  EXPECT_EQ(ui.createGroupOffers.size(), 1u);
}

TEST_F(Groups, FirstGroupOfLoadSamplesUsesTheListSlotZeroHolds) {
  ui.createGroupAnswers = {std::nullopt, std::string("New Group")};
  EXPECT_FALSE(doc.MakeFirstGroup(ui, list));
  EXPECT_EQ(doc.GroupCount(), 0);
  EXPECT_FALSE(doc.IsModified());
  StringList* slot0 = doc.m_pGroupList[0].get();
  EXPECT_TRUE(doc.MakeFirstGroup(ui, list));
  EXPECT_EQ(ui.createGroupOffers, (std::vector<std::string>{"New Group", "New Group"}));
  EXPECT_EQ(doc.GroupCount(), 1);
  EXPECT_EQ(doc.m_pGroupList[0].get(), slot0);
  EXPECT_TRUE(doc.IsModified());
  // With a group there, nothing is asked.
  EXPECT_TRUE(doc.MakeFirstGroup(ui, list));
  EXPECT_EQ(ui.createGroupOffers.size(), 2u);
}

TEST_F(Groups, AddSamplesAppendsInOrderAndShowsTheListFromTheTop) {
  AddGroupWith("A", 1);
  list.m_nListScroll = 3;
  ASSERT_TRUE(doc.AddSamplesToGroup(0, {"/a/1.wav", "/a/2.wav", "/a/1.wav"}, list));
  EXPECT_EQ(*doc.m_pGroupList[0], (StringList{"A/0.wav", "/a/1.wav", "/a/2.wav", "/a/1.wav"}));
  EXPECT_EQ(list.m_nListScroll, 0);
  EXPECT_TRUE(doc.IsModified());
  EXPECT_FALSE(doc.AddSamplesToGroup(1, {"/x.wav"}, list));
}

TEST_F(Groups, RemovingAnEntryRenumbersTheLaterEntriesOfItsGroupOnly) {
  AddGroupWith("G0", 8);
  AddGroupWith("G1", 8);
  Own(0, 0, 1, 5);
  Own(1, 0, 1, 1);
  Own(2, 0, 0, 5);
  Own(3, 0, 0, 0);
  Own(3, 2, 1, 2);  // layer 2 uses the removed entry
  Own(4, 0, 1, 2);  // layer 0 uses it: the whole slot goes
  Own(4, 3, 1, 6);
  ASSERT_TRUE(doc.RemoveSampleFromGroup(host, 1, 2));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(Ref(doc, 0, 0), (LayerSampleRef{1, 4}));
  EXPECT_EQ(Ref(doc, 1, 0), (LayerSampleRef{1, 1}));
  EXPECT_EQ(Ref(doc, 2, 0), (LayerSampleRef{0, 5}));
  EXPECT_EQ(Sources(doc, 3), (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_FALSE(Ref(doc, 3, 2).IsSet());
  EXPECT_EQ(Sources(doc, 4), (std::vector<int>{-1, -1, -1, -1, -1}));
  EXPECT_FALSE(Ref(doc, 4, 3).IsSet());  // cleared with its slot, not lowered
  EXPECT_FALSE(host.HasVoice(4, 3));
  EXPECT_EQ(doc.m_pGroupList[1]->size(), 7u);
  EXPECT_EQ((*doc.m_pGroupList[1])[2], "G1/3.wav");
  ExpectSlotsConsistent(doc);
  ExpectEveryLayerResolvesToAVoice(doc, host);
}

TEST_F(Groups, RemovingAnEntryThatDoesNotExistChangesNothing) {
  AddGroupWith("G0", 2);
  EXPECT_FALSE(doc.RemoveSampleFromGroup(host, 0, 2));
  EXPECT_FALSE(doc.RemoveSampleFromGroup(host, 1, 0));
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(Groups, RemovingAGroupClearsItsLayersAndMovesTheLaterGroupsDown) {
  AddGroupWith("G0", 4);
  AddGroupWith("G1", 4);
  AddGroupWith("G2", 4);
  Own(0, 0, 2, 3);
  Own(1, 0, 1, 0);
  Own(1, 1, 2, 1);
  Own(2, 0, 0, 2);
  Own(2, 4, 1, 3);
  list.m_nSelectedGroup = 1;
  ASSERT_TRUE(doc.RemoveGroup(host, 1, list));
  EXPECT_TRUE(doc.IsModified());
  EXPECT_EQ(doc.GroupCount(), 2);
  EXPECT_EQ(*doc.m_pGroupNames, (StringList{"G0", "G2"}));
  EXPECT_EQ((*doc.m_pGroupList[1])[0], "G2/0.wav");
  EXPECT_FALSE(doc.m_pGroupList[2]);
  EXPECT_EQ(Ref(doc, 0, 0), (LayerSampleRef{1, 3}));
  EXPECT_EQ(Sources(doc, 1), (std::vector<int>{-1, -1, -1, -1, -1}));
  EXPECT_EQ(Ref(doc, 2, 0), (LayerSampleRef{0, 2}));
  EXPECT_EQ(Sources(doc, 2), (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(list.m_nSelectedGroup, 0);
  ExpectSlotsConsistent(doc);
  ExpectEveryLayerResolvesToAVoice(doc, host);
}

TEST_F(Groups, RemovingTheOnlyGroupLeavesAnEmptyListInSlotZero) {
  AddGroupWith("Only", 3);
  Own(5, 0, 0, 1);
  list.m_nSelectedGroup = 0;
  ASSERT_TRUE(doc.RemoveGroup(host, 0, list));
  EXPECT_EQ(doc.GroupCount(), 0);
  ASSERT_TRUE(doc.m_pGroupList[0]);
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());
  EXPECT_EQ(list.m_nSelectedGroup, 0);
  EXPECT_EQ(Sources(doc, 5), (std::vector<int>{-1, -1, -1, -1, -1}));
  // The next load-samples command asks for a group name again.
  EXPECT_TRUE(doc.MakeFirstGroup(ui, list));
  EXPECT_EQ(ui.createGroupOffers, std::vector<std::string>{"New Group"});
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());
}

TEST_F(Groups, RemovingAGroupAlsoDropsDamagedReferencesToIt) {
  AddGroupWith("G0", 2);
  AddGroupWith("G1", 2);
  Own(0, 0, 0, 9);  // an entry the group does not have
  Own(1, 0, 1, 0);
  ASSERT_TRUE(doc.RemoveGroup(host, 0, list));
  EXPECT_EQ(Sources(doc, 0), (std::vector<int>{-1, -1, -1, -1, -1}));
  EXPECT_FALSE(Ref(doc, 0, 0).IsSet());
  EXPECT_EQ(Ref(doc, 1, 0), (LayerSampleRef{0, 0}));
}

TEST_F(Groups, RemovingAGroupThatDoesNotExistChangesNothing) {
  AddGroupWith("G0", 1);
  EXPECT_FALSE(doc.RemoveGroup(host, 1, list));
  EXPECT_FALSE(doc.RemoveGroup(host, -1, list));
  EXPECT_EQ(doc.GroupCount(), 1);
  EXPECT_FALSE(doc.IsModified());
}

}  // namespace
}  // namespace thumper::test
