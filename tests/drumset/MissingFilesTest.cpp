// The search for sample files that moved, and the pass that checks a whole drum
// set before its voices are made.

#include <gtest/gtest.h>

#include <filesystem>

#include "DrumsetTestSupport.h"
#include "drumset/CThumperDoc.h"
#include "drumset/MissingFiles.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using test::ScriptedUi;
using test::TempDir;
using test::WriteTextFile;

// A layer-0 own sample of (group, index), with every layer borrowing it.
void GiveSlot(DrumSet& set, int slot, int group, int index) {
  for (int l = 0; l < kLayerCount; ++l) set.m_nLayerSource[LayerIndex(slot, l)] = 0;
  set.m_layerSample[LayerIndex(slot, 0)] = {group, index};
}

// Layer 2 of a sounding slot gets its own sample of (group, index).
void GiveLayer2(DrumSet& set, int slot, int group, int index) {
  for (int l = 2; l < kLayerCount; ++l) set.m_nLayerSource[LayerIndex(slot, l)] = 2;
  set.m_layerSample[LayerIndex(slot, 2)] = {group, index};
}

TEST(LocateSampleFile, TheStoredPathWinsWhenItOpens) {
  TempDir dir;
  WriteTextFile(dir / "kick.wav", "x");
  ScriptedUi ui;
  SampleSearch search{"/elsewhere/", ""};
  EXPECT_EQ(LocateSampleFile(dir / "kick.wav", search, ui), dir / "kick.wav");
  EXPECT_TRUE(ui.messages.empty());
}

TEST(LocateSampleFile, LooksBesideTheDrumSetThenInTheLastFolderThenAsks) {
  TempDir set, last;
  WriteTextFile(last / "snare.wav", "x");
  ScriptedUi ui;
  SampleSearch search{set.path().string() + "/", last.path().string() + "/"};
  // Found in the last folder, with no question.
  EXPECT_EQ(LocateSampleFile("C:\\old\\snare.wav", search, ui), last / "snare.wav");
  // Beside the drum set comes first.
  WriteTextFile(set / "snare.wav", "x");
  EXPECT_EQ(LocateSampleFile("/gone/snare.wav", search, ui), set / "snare.wav");
  EXPECT_TRUE(ui.messages.empty());

  // Nowhere: the question names the last place tried, then the dialog offers it.
  ui.messageAnswers = {MsgResult::Yes};
  ui.AnswerFile(last / "found/tom.wav");
  EXPECT_EQ(LocateSampleFile("/gone/tom.wav", search, ui), last / "found/tom.wav");
  ASSERT_EQ(ui.messages.size(), 1u);
  const std::string t = last / "tom.wav";
  EXPECT_EQ(ui.messages[0].text, "Do you want to locate file " + t + " it? (Yes recommended)");
  EXPECT_EQ(ui.messages[0].caption, "File " + t + " has not been found");
  EXPECT_EQ(ui.messages[0].buttons, MsgButtons::YesNo);
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  const FileDialogParams& p = ui.fileDialogs[0];
  EXPECT_TRUE(p.bOpen);
  EXPECT_EQ(p.strDefExt, ".wav");
  EXPECT_EQ(p.strInitialName, t);
  EXPECT_EQ(p.nFlags, 0xA1006u);
  EXPECT_EQ(p.strFilter, "Wav Files (*.wav) | *.wav||");
  // The chosen folder is where the next search looks.
  EXPECT_EQ(search.m_strLastSampleDir, last.path().string() + "/found/");
}

TEST(LocateSampleFile, NoOrCancelGiveTheMarker) {
  ScriptedUi ui;
  SampleSearch search;
  ui.messageAnswers = {MsgResult::No, MsgResult::Yes};
  EXPECT_EQ(LocateSampleFile("/gone/a.wav", search, ui), MissingFileMarker);
  EXPECT_TRUE(ui.fileDialogs.empty());
  ui.CancelFile();
  EXPECT_EQ(LocateSampleFile("/gone/a.wav", search, ui), MissingFileMarker);
  EXPECT_EQ(search.m_strLastSampleDir, "");
  // A folder is not a sample file, even though it opens.
  TempDir dir;
  ui.messageAnswers = {MsgResult::No};
  EXPECT_EQ(LocateSampleFile(dir.path().string(), search, ui), MissingFileMarker);
}

TEST(LocateSampleFile, AWindows1252NameFindsItsUtf8FileAtEveryPlace) {
  TempDir set, last, stored;
  // "b\xe4ss.wav" from a kit made on Windows; the file here is named in UTF-8.
  const std::string cp1252 = "b\xE4ss.wav", utf8 = "b\xC3\xA4ss.wav";
  ScriptedUi ui;
  SampleSearch search{set.path().string() + "/", last.path().string() + "/"};
  WriteTextFile(last / utf8, "x");
  EXPECT_EQ(LocateSampleFile("C:\\kits\\" + cp1252, search, ui), last / utf8);
  WriteTextFile(set / utf8, "x");
  EXPECT_EQ(LocateSampleFile("C:\\kits\\" + cp1252, search, ui), set / utf8);
  // At its stored folder too.
  WriteTextFile(stored / utf8, "x");
  EXPECT_EQ(LocateSampleFile(stored / cp1252, search, ui), stored / utf8);
  EXPECT_TRUE(ui.messages.empty());
  // A name that is valid UTF-8 is not read as Windows-1252: "\xC3\xA4" stays itself.
  WriteTextFile(set / "t\xC3\x83\xC2\xA4m.wav", "x");
  ui.messageAnswers = {MsgResult::No};
  EXPECT_EQ(LocateSampleFile("/gone/t\xC3\xA4m.wav", search, ui), MissingFileMarker);
}

TEST(LocateSampleFile, TheQuestionAndTheDialogShowAWindows1252NameDecoded) {
  TempDir last;
  ScriptedUi ui;
  SampleSearch search{"", last.path().string() + "/"};
  ui.messageAnswers = {MsgResult::Yes};
  EXPECT_EQ(LocateSampleFile("C:\\kits\\b\xE4ss.wav", search, ui), MissingFileMarker);
  const std::string shown = last / "b\xC3\xA4ss.wav";
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "Do you want to locate file " + shown + " it? (Yes recommended)");
  EXPECT_EQ(ui.messages[0].caption, "File " + shown + " has not been found");
  ASSERT_EQ(ui.fileDialogs.size(), 1u);
  EXPECT_EQ(ui.fileDialogs[0].strInitialName, shown);
}

TEST(MissingFilePass, AWindowsKitWithANonAsciiNameKeepsItsEntry) {
  TempDir dir;
  WriteTextFile(dir / "b\xC3\xA4ss.wav", "x");
  CThumperDoc doc;
  doc.OnNewDocument();
  doc.m_pGroupNames->push_back("Kit");
  doc.m_pGroupList[0]->push_back("C:\\Drums\\b\xE4ss.wav");
  GiveSlot(doc, 0, 0, 0);
  ScriptedUi ui;
  SampleSearch search{dir.path().string() + "/", ""};
  RunMissingFilePass(doc, search, ui);
  EXPECT_TRUE(ui.messages.empty());
  ASSERT_EQ(doc.m_pGroupList[0]->size(), 1u);
  EXPECT_EQ((*doc.m_pGroupList[0])[0], dir / "b\xC3\xA4ss.wav");
  EXPECT_EQ(doc.m_layerSample[LayerIndex(0, 0)], (LayerSampleRef{0, 0}));
}

TEST(ResolvedFolderOf, FollowsLinksToTheRealFileAndIsEmptyWithoutOne) {
  namespace fs = std::filesystem;
  TempDir dir;
  fs::create_directories(dir / "real/kit");
  fs::create_directories(dir / "session/externals");
  fs::create_directories(dir / "session/state2");
  WriteTextFile(dir / "real/kit/demo.drums", "x");
  const std::string real = fs::canonical(dir / "real/kit").string() + "/";
  // No link: the folder as given is the real one.
  EXPECT_EQ(ResolvedFolderOf(dir / "real/kit/demo.drums"), "");
  // A chain of links, the last one relative, as a host keeps a kit in its session.
  fs::create_symlink(dir / "real/kit/demo.drums", dir / "session/externals/demo.drums");
  fs::create_symlink("../externals/demo.drums", dir / "session/state2/demo.drums");
  EXPECT_EQ(ResolvedFolderOf(dir / "session/externals/demo.drums"), real);
  EXPECT_EQ(ResolvedFolderOf(dir / "session/state2/demo.drums"), real);
  // A linked folder: beside the file as given is beside the real one.
  fs::create_directory_symlink(dir / "real/kit", dir / "kitlink");
  EXPECT_EQ(ResolvedFolderOf(dir / "kitlink/demo.drums"), "");
  // A relative path through a link, from the working folder.
  const auto cwd = fs::current_path();
  fs::current_path(dir / "session/state2");
  EXPECT_EQ(ResolvedFolderOf("demo.drums"), real);
  fs::current_path(dir / "real/kit");
  EXPECT_EQ(ResolvedFolderOf("demo.drums"), "");
  fs::current_path(cwd);
  // Nothing to resolve.
  EXPECT_EQ(ResolvedFolderOf(dir / "session/state2/gone.drums"), "");
  EXPECT_EQ(ResolvedFolderOf(""), "");
  fs::create_symlink(dir / "nowhere.drums", dir / "dangling.drums");
  EXPECT_EQ(ResolvedFolderOf(dir / "dangling.drums"), "");
}

TEST(LocateSampleFile, LooksBesideTheRealDrumSetAfterTheOneGivenAndAsksTheSameForTheRest) {
  TempDir set, real, last;
  WriteTextFile(real / "kick.wav", "x");
  WriteTextFile(real / "snare.wav", "x");
  WriteTextFile(set / "snare.wav", "x");
  WriteTextFile(last / "kick.wav", "x");
  ScriptedUi ui;
  SampleSearch search{set.path().string() + "/", last.path().string() + "/",
                      real.path().string() + "/"};
  // The real drum set's folder comes after the one given, before the last folder.
  EXPECT_EQ(LocateSampleFile("kick.wav", search, ui), real / "kick.wav");
  EXPECT_EQ(LocateSampleFile("snare.wav", search, ui), set / "snare.wav");
  EXPECT_TRUE(ui.messages.empty());
  // A file that is nowhere is asked about exactly as before.
  ui.messageAnswers = {MsgResult::No};
  EXPECT_EQ(LocateSampleFile("tom.wav", search, ui), MissingFileMarker);
  ASSERT_EQ(ui.messages.size(), 1u);
  const std::string t = last / "tom.wav";
  EXPECT_EQ(ui.messages[0].text, "Do you want to locate file " + t + " it? (Yes recommended)");
  EXPECT_EQ(ui.messages[0].caption, "File " + t + " has not been found");
}

TEST(MissingFilePass, AKitMovedWithItsSamplesIsRelocatedWithoutAQuestion) {
  TempDir dir;
  WriteTextFile(dir / "kick.wav", "x");
  WriteTextFile(dir / "snare.wav", "x");
  CThumperDoc doc;
  doc.m_pGroupNames->push_back("Kit");
  *doc.m_pGroupList[0] = {"C:\\kits\\old\\kick.wav", "/home/someone/kit/snare.wav"};
  GiveSlot(doc, 0, 0, 0);
  ScriptedUi ui;
  SampleSearch search{dir.path().string() + "/", ""};
  RunMissingFilePass(doc, search, ui);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(*doc.m_pGroupList[0], (StringList{dir / "kick.wav", dir / "snare.wav"}));
  EXPECT_EQ(test::Ref(doc, 0, 0), (LayerSampleRef{0, 0}));
  EXPECT_FALSE(doc.IsModified());
}

TEST(MissingFilePass, AFileLocatedOnceMakesLaterFilesOfItsFolderSilent) {
  TempDir found;
  WriteTextFile(found / "a.wav", "x");
  WriteTextFile(found / "b.wav", "x");
  CThumperDoc doc;
  doc.m_pGroupNames->push_back("G");
  doc.m_pGroupNames->push_back("H");
  *doc.m_pGroupList[0] = {"/gone/a.wav"};
  doc.m_pGroupList[1] = std::make_unique<StringList>(StringList{"/gone/b.wav"});
  ScriptedUi ui;
  ui.AnswerFile(found / "a.wav");
  SampleSearch search;
  RunMissingFilePass(doc, search, ui);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ((*doc.m_pGroupList[1])[0], found / "b.wav");
}

TEST(MissingFilePass, NoEmptiesTheSlotItFilledAndTheLayerItGave) {
  CThumperDoc doc;
  doc.m_pGroupNames->push_back("G");
  TempDir dir;
  WriteTextFile(dir / "keep.wav", "x");
  *doc.m_pGroupList[0] = {dir / "keep.wav", "/gone/lost.wav"};
  GiveSlot(doc, 3, 0, 1);
  doc.m_noteSlot[3] = {7, 1, -100, 11, 12};
  GiveSlot(doc, 5, 0, 0);
  GiveLayer2(doc, 5, 0, 1);
  ScriptedUi ui;
  ui.messageAnswers = {MsgResult::No};
  SampleSearch search;
  RunMissingFilePass(doc, search, ui);
  EXPECT_EQ(*doc.m_pGroupList[0], (StringList{dir / "keep.wav"}));
  EXPECT_EQ(test::Sources(doc, 3), (std::vector<int>{-1, -1, -1, -1, -1}));
  EXPECT_EQ(doc.m_noteSlot[3], (NoteSlot{-1, 4, -4000, 11, 12}));
  EXPECT_EQ(test::Sources(doc, 5), (std::vector<int>{0, 0, 0, 0, 0}));
  EXPECT_EQ(test::Ref(doc, 5, 2), (LayerSampleRef{}));
  EXPECT_EQ(test::Ref(doc, 5, 0), (LayerSampleRef{0, 0}));
  EXPECT_FALSE(doc.IsModified());
}

TEST(MissingFilePass, DroppedEntriesRenumberTheSurvivingReferences) {
  TempDir dir;
  CThumperDoc doc;
  doc.m_pGroupNames->push_back("Other");
  doc.m_pGroupNames->push_back("G");
  doc.m_pGroupList[1] = std::make_unique<StringList>();
  for (int i = 0; i < 5; ++i) {
    std::string name = std::to_string(i);
    name.insert(0, 1, 's');
    const std::string p = dir / (name + ".wav");
    if (i != 1 && i != 3) WriteTextFile(p, "x");
    doc.m_pGroupList[1]->push_back(p);
  }
  WriteTextFile(dir / "o.wav", "x");
  doc.m_pGroupList[0]->push_back(dir / "o.wav");
  GiveSlot(doc, 0, 1, 4);
  GiveSlot(doc, 1, 1, 2);
  GiveSlot(doc, 2, 0, 4);  // another group's index is not renumbered
  ScriptedUi ui;
  ui.messageAnswers = {MsgResult::No, MsgResult::No};
  SampleSearch search;
  RunMissingFilePass(doc, search, ui);
  EXPECT_EQ(ui.messages.size(), 2u);
  EXPECT_EQ(*doc.m_pGroupList[1], (StringList{dir / "s0.wav", dir / "s2.wav", dir / "s4.wav"}));
  EXPECT_EQ(test::Ref(doc, 0, 0), (LayerSampleRef{1, 2}));
  EXPECT_EQ(test::Ref(doc, 1, 0), (LayerSampleRef{1, 1}));
  EXPECT_EQ(test::Ref(doc, 2, 0), (LayerSampleRef{0, 4}));
}

TEST(MissingFilePass, AnyNumberOfMissingEntriesInOneGroup) {
  CThumperDoc doc;
  doc.m_pGroupNames->push_back("Big");
  for (int i = 0; i < 300; ++i) doc.m_pGroupList[0]->push_back("/gone/" + std::to_string(i));
  GiveSlot(doc, 9, 0, 299);
  ScriptedUi ui;
  for (int i = 0; i < 300; ++i) ui.messageAnswers.push_back(MsgResult::No);
  SampleSearch search;
  RunMissingFilePass(doc, search, ui);
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());
  EXPECT_EQ(test::Sources(doc, 9)[0], -1);
}

TEST(MissingFilePass, TheMarkerAsAStoredPathIsDroppedEvenWhenSuchAFileOpens) {
  TempDir dir;
  WriteTextFile(dir / MissingFileMarker, "x");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(dir.path());
  CThumperDoc doc;
  doc.m_pGroupNames->push_back("G");
  *doc.m_pGroupList[0] = {MissingFileMarker, "unused-and-missing.wav"};
  ScriptedUi ui;
  ui.messageAnswers = {MsgResult::No};  // asked about the unused entry too
  SampleSearch search;
  RunMissingFilePass(doc, search, ui);
  std::filesystem::current_path(cwd);
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());
  EXPECT_EQ(ui.messages.size(), 1u);
}

}  // namespace
}  // namespace thumper
