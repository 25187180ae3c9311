// LOAD GROUP and SAVE GROUP: the dialogs, the ".slist" bytes, short and damaged
// files, the group name from the file's title, and saves that cannot damage the
// file they replace.

#include <gtest/gtest.h>

#include <filesystem>

#include "DrumsetTestSupport.h"
#include "drumset/SampleListFile.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

class SampleLists : public ::testing::Test {
 protected:
  void SetUp() override { doc.OnNewDocument(); }
  void AddGroup(const std::string& name, StringList entries) {
    doc.m_pGroupNames->push_back(name);
    doc.m_pGroupList[doc.GroupCount() - 1] = std::make_unique<StringList>(std::move(entries));
  }
  CThumperDoc doc;
  ScriptedUi ui;
  SampleListState list;
  TempDir dir;
};

TEST_F(SampleLists, DialogsOfferTheSelectedGroupOrFirst) {
  doc.SaveSampleList(ui, list);
  doc.LoadSampleList(ui, list);
  AddGroup("50% Snares", {});
  list.m_nSelectedGroup = 0;
  doc.LoadSampleList(ui, list);
  ASSERT_EQ(ui.fileDialogs.size(), 3u);
  EXPECT_FALSE(ui.fileDialogs[0].bOpen);
  EXPECT_TRUE(ui.fileDialogs[1].bOpen);
  for (const auto& d : ui.fileDialogs) {
    EXPECT_EQ(d.strDefExt, ".slist");
    EXPECT_EQ(d.strFilter, "Sample list (*.slist) | *.slist||");
    EXPECT_EQ(d.nFlags, ofn::kStandard);
  }
  EXPECT_EQ(ui.fileDialogs[0].strInitialName, "First");
  EXPECT_EQ(ui.fileDialogs[1].strInitialName, "First");
  EXPECT_EQ(ui.fileDialogs[2].strInitialName, "50% Snares");
  EXPECT_EQ(doc.GroupCount(), 1);  // the dialogs were cancelled
}

TEST_F(SampleLists, SaveWritesTheCountAndStringsAndRenamesTheGroup) {
  AddGroup("A", {});
  AddGroup("B", {"/s/kick.wav", std::string(255, 'p')});
  list.m_nSelectedGroup = 1;
  const std::string path = dir / "toms.slist";
  ui.AnswerFile(path);
  EXPECT_EQ(doc.SaveSampleList(ui, list), GroupFileOutcome::Done);
  Bytes expect;
  expect.I32(2).Str("/s/kick.wav").U8(0xFF).U16(255).Raw(std::string(255, 'p'));
  EXPECT_EQ(ReadFileBytes(path), expect.b);
  EXPECT_EQ((*doc.m_pGroupNames)[1], "toms");
  EXPECT_EQ((*doc.m_pGroupNames)[0], "A");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SampleLists, SaveWithNoGroupWritesAnEmptyList) {
  const std::string path = dir / "First.slist";
  ui.AnswerFile(path);
  EXPECT_EQ(doc.SaveSampleList(ui, list), GroupFileOutcome::Done);
  EXPECT_EQ(ReadFileBytes(path), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(doc.GroupCount(), 0);
}

TEST_F(SampleLists, FailedSaveKeepsTheOldFileAndTheNewName) {
  AddGroup("Old", {"/a.wav"});
  const std::string path = dir / "missing/x.slist";
  ui.AnswerFile(path);
  EXPECT_EQ(doc.SaveSampleList(ui, list), GroupFileOutcome::WriteFailed);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{path + " contains an invalid path."});
  EXPECT_EQ((*doc.m_pGroupNames)[0], "x");  // renamed before the write

  std::filesystem::create_directory(dir / "kit.slist");
  ui.AnswerFile(dir / "kit.slist");
  EXPECT_EQ(doc.SaveSampleList(ui, list), GroupFileOutcome::WriteFailed);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "kit.slist"));
}

TEST_F(SampleLists, LoadAppendsAGroupNamedAfterTheFileTitleAndSelectsIt) {
  AddGroup("A", {});
  const std::string path = dir / "snare.old.slist";
  WriteFileBytes(path, Bytes().I32(2).Str("/s/1.wav").Str("C:\\s\\2.wav").b);
  list.m_nListScroll = 4;
  ui.AnswerFile(path);
  EXPECT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::Done);
  EXPECT_EQ(doc.GroupCount(), 2);
  EXPECT_EQ((*doc.m_pGroupNames)[1], "snare.old");
  EXPECT_EQ(*doc.m_pGroupList[1], (StringList{"/s/1.wav", "C:\\s\\2.wav"}));
  EXPECT_EQ(list.m_nSelectedGroup, 1);
  EXPECT_EQ(list.m_nListScroll, 0);
  EXPECT_FALSE(doc.IsModified());
}

TEST_F(SampleLists, SavedListLoadsBackWithItsEntries) {
  AddGroup("Kit", {"a.wav", std::string(70000, 'q'), ""});
  const std::string path = dir / "kit";  // a name without '.' is used whole
  ui.AnswerFile(path);
  ASSERT_EQ(doc.SaveSampleList(ui, list), GroupFileOutcome::Done);
  ui.AnswerFile(path);
  ASSERT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::Done);
  EXPECT_EQ((*doc.m_pGroupNames)[1], "kit");
  EXPECT_EQ(*doc.m_pGroupList[1], *doc.m_pGroupList[0]);
}

TEST_F(SampleLists, ZeroOrNegativeCountGivesAnEmptyGroup) {
  for (int32_t count : {0, -1, INT32_MIN}) {
    CThumperDoc fresh;
    const std::string path = dir / "empty.slist";
    WriteFileBytes(path, Bytes().I32(count).Str("ignored").b);
    ui.AnswerFile(path);
    EXPECT_EQ(fresh.LoadSampleList(ui, list), GroupFileOutcome::Done) << count;
    ASSERT_EQ(fresh.GroupCount(), 1);
    EXPECT_TRUE(fresh.m_pGroupList[0]->empty());
  }
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(SampleLists, ShortFileKeepsTheEntriesReadBeforeItsEnd) {
  const std::string path = dir / "cut.slist";
  WriteFileBytes(path, Bytes().I32(1000000).Str("/a.wav").Str("/b.wav").U8(40).Raw("/c").b);
  ui.AnswerFile(path);
  EXPECT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::ReadPartly);
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"An attempt was made to access " + path + " past its end."});
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
  ASSERT_EQ(doc.GroupCount(), 1);
  EXPECT_EQ((*doc.m_pGroupNames)[0], "cut");
  EXPECT_EQ(*doc.m_pGroupList[0], (StringList{"/a.wav", "/b.wav"}));
  EXPECT_EQ(list.m_nSelectedGroup, 0);
}

TEST_F(SampleLists, FileShorterThanItsCountIsAnEmptyGroupWithTheMessage) {
  const std::string path = dir / "tiny.slist";
  WriteFileBytes(path, {0x01, 0x00});
  ui.AnswerFile(path);
  EXPECT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::ReadPartly);
  EXPECT_EQ(doc.GroupCount(), 1);
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());
}

TEST_F(SampleLists, FileThatCannotBeOpenedChangesNothing) {
  AddGroup("A", {});
  const std::string path = dir / "gone.slist";
  ui.AnswerFile(path);
  list.m_nSelectedGroup = 0;
  list.m_nListScroll = 3;
  EXPECT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::OpenFailed);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{path + " was not found."});
  EXPECT_EQ(doc.GroupCount(), 1);
  EXPECT_EQ(list.m_nSelectedGroup, 0);
  EXPECT_EQ(list.m_nListScroll, 3);
}

TEST_F(SampleLists, FifteenGroupsLoadToSixteenThenLoadingIsRefused) {
  for (int g = 0; g < 15; ++g) AddGroup("g", {});
  const std::string path = dir / "x.slist";
  WriteFileBytes(path, Bytes().I32(0).b);
  ui.AnswerFile(path);
  EXPECT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::Done);
  EXPECT_EQ(doc.GroupCount(), 16);
  ui.AnswerFile(path);
  EXPECT_EQ(doc.LoadSampleList(ui, list), GroupFileOutcome::Refused);
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{" Please try to manage with 16 Groups (sorry!) "});
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
  EXPECT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_EQ(doc.GroupCount(), 16);
}

TEST(SampleListBytes, ReaderNeverTrustsTheCount) {
  const auto huge = ReadSampleList(Bytes().I32(INT32_MAX).b);
  EXPECT_FALSE(huge.bComplete);
  EXPECT_TRUE(huge.entries.empty());
  EXPECT_LE(huge.entries.capacity(), 1u);
  const auto longString = ReadSampleList(Bytes().I32(1).U8(0xFF).U16(0xFFFF).U32(0xFFFFFFFF).b);
  EXPECT_FALSE(longString.bComplete);
  EXPECT_FALSE(ReadSampleList({}).bComplete);
}

TEST(SampleListBytes, ReadsWideEntriesAndLongForms) {
  const auto content = ReadSampleList(Bytes()
                                          .I32(2)
                                          .U8(0xFF)
                                          .U16(0xFFFE)
                                          .U8(2)
                                          .U16(0xE9)
                                          .U16('x')
                                          .U8(0xFF)
                                          .U16(0xFFFF)
                                          .U32(1)
                                          .Raw("z")
                                          .b);
  ASSERT_TRUE(content.bComplete);
  EXPECT_EQ(content.entries, (StringList{"\xC3\xA9x", "z"}));
}

}  // namespace
}  // namespace thumper::test
