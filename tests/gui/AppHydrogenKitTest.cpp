// Opening a Hydrogen kit in the window: from the command line, File > Open and
// LOAD SET it plays as Hydrogen plays it, and shows as a new drum set that is
// not saved; the first edit asks before the drum set takes over. An SFZ kit
// plays too, and cannot be edited.
#include <filesystem>

#include "AppFixture.h"
#include "kits/KitTestSupport.h"

namespace thumper::test {
namespace {

class AppHydrogenKitTest : public AppFixture {
 protected:
  std::string MakeKit() {
    MakeKitFolder(files / "kit", "Rock Kit",
                  {{"Kick", {{"kick soft.wav", 0, 0.5}, {"kick hard.wav", 0.5, 1}}},
                   {"Snare", {{"snare.wav"}}}});
    return files / "kit/drumkit.xml";
  }
  void ExpectTheKitIsOpen() {
    EXPECT_EQ(Title().toStdString(), "Rock Kit (Not Saved) - Klonk Bammer");
    EXPECT_TRUE(Doc().GetPathName().empty());
    EXPECT_TRUE(Doc().IsModified());  // closing it asks to save
    ASSERT_EQ(Doc().GroupCount(), 1);
    EXPECT_EQ((*Doc().m_pGroupNames)[0], "Rock Kit");
    // It plays as its maker made it: every sample of the kit is a voice.
    ASSERT_NE(app->Runtime()->PlayingKitProgram(), nullptr);
    EXPECT_EQ(app->Runtime()->KitSamplesWanted(), 3);
  }
};

TEST_F(AppHydrogenKitTest, TheCommandLineOpensAKitAsANewUnsavedDrumSet) {
  ASSERT_TRUE(Start(MakeKit()));
  ExpectTheKitIsOpen();
  EXPECT_TRUE(app->Recent().Entries().empty());
  ui.messageAnswers.push_back(MsgResult::No);
  FileMenuItem("&New\tCtrl+N")->trigger();
  EXPECT_EQ(Texts(), std::vector<std::string>{"Save changes to Rock Kit (Not Saved)?"});
}

TEST_F(AppHydrogenKitTest, FileOpenOffersKitsAndOpensThem) {
  const std::string xml = MakeKit();
  ASSERT_TRUE(Start());
  ui.AnswerFile(xml);
  FileMenuItem("&Open...\tCtrl+O")->trigger();
  ASSERT_FALSE(ui.fileDialogs.empty());
  EXPECT_NE(ui.fileDialogs[0].strFilter.find(
                "Hydrogen drum kits (drumkit.xml *.h2drumkit) | drumkit.xml;*.h2drumkit"),
            std::string::npos);
  ExpectTheKitIsOpen();
}

TEST_F(AppHydrogenKitTest, TheFirstEditAsksAndOnOkTheDrumSetMadeOfTheKitPlays) {
  ASSERT_TRUE(Start(MakeKit()));
  ThumperRuntime& runtime = *app->Runtime();
  ui.messageAnswers.push_back(MsgResult::Cancel);
  Doc().ClearSlot(runtime, 1);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_EQ(Texts()[0].rfind("This kit plays as its maker made it. To edit it, Thumper makes it a "
                             "drum set with five layers per key; the layers it cannot keep are "
                             "listed.",
                             0),
            0u)
      << Texts()[0];
  EXPECT_NE(runtime.PlayingKitProgram(), nullptr);
  EXPECT_TRUE(Doc().m_layerSample[LayerIndex(1, 0)].IsSet()) << "Cancel changes nothing";

  ui.messageAnswers.push_back(MsgResult::Ok);
  Doc().ClearSlot(runtime, 1);
  EXPECT_EQ(Texts().size(), 2u);
  EXPECT_EQ(runtime.PlayingKitProgram(), nullptr);
  EXPECT_FALSE(Doc().m_layerSample[LayerIndex(1, 0)].IsSet());
  runtime.FinishLoading();
  EXPECT_NE(runtime.m_pVoices[LayerIndex(0, 0)], nullptr) << "the drum set's own voices";
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(1, 0)], nullptr);
  // Asked once: the next edit goes ahead.
  Doc().ClearSlot(runtime, 0);
  EXPECT_EQ(Texts().size(), 2u);
}

TEST_F(AppHydrogenKitTest, AnSfzKitPlaysAsItsMakerMadeItAndAnEditIsRefused) {
  WriteLevelWav(files / "kick.wav", 1000);
  WriteTextFile(files / "kit.sfz", "<region> sample=kick.wav key=36\n");
  ASSERT_TRUE(Start(files / "kit.sfz"));
  EXPECT_EQ(Title().toStdString(), "kit (SFZ) - Klonk Bammer");
  ThumperRuntime& runtime = *app->Runtime();
  ASSERT_NE(runtime.PlayingKitProgram(), nullptr);
  EXPECT_EQ(runtime.KitSamplesWanted(), 1);
  Doc().ClearSlot(runtime, 0);
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_NE(Texts()[0].find("cannot make an SFZ kit a drum set"), std::string::npos) << Texts()[0];
  EXPECT_NE(runtime.PlayingKitProgram(), nullptr) << "it still plays";
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(AppHydrogenKitTest, AKitThatCannotBeReadIsReportedAndChangesNothing) {
  std::filesystem::create_directories(files / "bad");
  WriteTextFile(files / "bad/drumkit.xml", "<drumkit_info><instrumentList/></drumkit_info>");
  const std::string path = MakeDrumSet("keep.drums");
  ASSERT_TRUE(Start(path));
  EXPECT_FALSE(app->Docs().OpenDocumentFile(files / "bad/drumkit.xml"));
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_NE(Texts()[0].find("no <instrument>"), std::string::npos) << Texts()[0];
  EXPECT_EQ(Doc().GetPathName(), path);
}

}  // namespace
}  // namespace thumper::test
