// Opening a Hydrogen kit in the window: from the command line, File > Open and
// LOAD SET it becomes a new drum set that is not saved, with its voices loaded.
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
    // The update step ran: every own layer has its voice.
    for (int slot : {0, 1})
      EXPECT_NE(app->Runtime()->m_pVoices[LayerIndex(slot, 0)], nullptr) << slot;
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
