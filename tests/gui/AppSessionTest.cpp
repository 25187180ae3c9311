// The window under a session manager, in-process on the offscreen platform: the
// drum set waits for the open and lives at the session's file, File > Save and
// New and Save As keep it there, the dirty state and the window's visibility
// are reported, and closing the window hides it.

#include <stdlib.h>

#include <QApplication>

#include "AppFixture.h"
#include "support/FakeNsmServer.h"

namespace thumper::test {
namespace {

class AppSession : public AppFixture {
 protected:
  FakeNsmServer nsm;
  static constexpr std::chrono::seconds kLimit{10};

  void SetUp() override {
    AppFixture::SetUp();
    ASSERT_TRUE(nsm.Ok());
    setenv("NSM_URL", nsm.Url().c_str(), 1);
  }
  void TearDown() override { unsetenv("NSM_URL"); }

  static bool Opens(const std::string& path, CThumperDoc& doc) {
    ScriptedUi quiet;
    return doc.OnOpenDocument(path, quiet);
  }

  static void Pump() { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); }

  std::optional<OscMessage> Next(const std::string& path) {
    return nsm.TakePath(path, kLimit, Pump);
  }
  std::optional<OscMessage> Answer(const std::string& request) {
    return nsm.TakeAnswer(request, kLimit, Pump);
  }

  // Starts the window, answers its announce and opens the session at prefix.
  void StartAndOpen(const std::string& prefix, const std::string& kit = {}) {
    ASSERT_TRUE(Start(kit));
    const auto announce = Next("/nsm/server/announce");
    ASSERT_TRUE(announce);
    EXPECT_EQ(announce->args.at(1), ":switch:dirty:optional-gui:");
    EXPECT_TRUE(Next("/nsm/client/gui_is_shown"));
    // Nothing is opened before the session says where.
    EXPECT_EQ(Doc().GetPathName(), "");
    nsm.ReplyAnnounce();
    nsm.SendOpen(prefix, "Session", "nWIN1");
    const auto reply = Answer("/nsm/client/open");
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->path, "/reply") << (reply->args.size() > 2 ? reply->args[2] : "");
    EXPECT_EQ(reply->args.at(1), "Loaded.");
    ForgetMidiNotices();
  }
};

TEST_F(AppSession, TheDrumSetLivesInTheSessionAndItsChangesAreReported) {
  const std::string prefix = files / "session/Thumper.nWIN1";
  const std::string kit = MakeDrumSet("template.drums");
  StartAndOpen(prefix, kit);
  EXPECT_EQ(Doc().GetPathName(), prefix + ".drums");
  EXPECT_TRUE(std::filesystem::exists(prefix + ".drums"));
  EXPECT_FALSE(Doc().IsModified());

  // New asks as today, and the new drum set is held at the session's file, unsaved.
  app->Docs().OnFileNew();
  EXPECT_EQ(Doc().GetPathName(), prefix + ".drums");
  EXPECT_TRUE(Doc().IsModified());
  EXPECT_TRUE(Next("/nsm/client/is_dirty"));

  // File > Save saves into the session, without a file dialog.
  ASSERT_TRUE(app->Docs().OnFileSave());
  EXPECT_TRUE(ui.fileDialogs.empty());
  EXPECT_TRUE(Next("/nsm/client/is_clean"));

  // Open brings another drum set into the session; the file chosen is left alone.
  const std::string other = MakeDrumSet("other.drums");
  const std::vector<uint8_t> otherBytes = ReadFileBytes(other);
  ASSERT_TRUE(app->Docs().OpenDocumentFile(other));
  EXPECT_EQ(Doc().GetPathName(), prefix + ".drums");
  EXPECT_TRUE(Next("/nsm/client/is_dirty"));
  // The session saves it.
  nsm.Send("/nsm/client/save");
  const auto saved = Answer("/nsm/client/save");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->path, "/reply");
  EXPECT_TRUE(Next("/nsm/client/is_clean"));
  EXPECT_EQ(ReadFileBytes(other), otherBytes);

  // Save As writes the file chosen, and the session keeps the same drum set.
  ui.AnswerFile(files / "copy.drums");
  ASSERT_TRUE(app->Docs().OnFileSaveAs());
  EXPECT_TRUE(std::filesystem::exists(files / "copy.drums"));
  EXPECT_EQ(Doc().GetPathName(), prefix + ".drums");
  EXPECT_FALSE(Doc().IsModified());
}

TEST_F(AppSession, ASwitchSavesTheOldDrumSetAndOpensTheNewOne) {
  const std::string first = files / "a/Thumper.nWIN1";
  StartAndOpen(first, MakeDrumSet("template.drums"));
  // An unsaved change: a group in the drum set of the first session.
  Doc().m_pGroupNames->push_back("Toms");
  Doc().m_pGroupList[0]->push_back(files / "tom.wav");
  Doc().SetModifiedFlag(true);

  const std::string second = files / "b/Thumper.nWIN2";
  nsm.SendOpen(second, "Other", "nWIN2");
  const auto reply = Answer("/nsm/client/open");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->path, "/reply");
  CThumperDoc old;
  ASSERT_TRUE(Opens(first + ".drums", old));
  ASSERT_EQ(old.GroupCount(), 1);  // saved with the change
  EXPECT_EQ(Doc().GetPathName(), second + ".drums");
  EXPECT_EQ(Doc().GroupCount(), 0);  // the new session's drum set, from the empty template
  EXPECT_FALSE(Doc().IsModified());
  // File > Save now goes to the new session.
  app->Docs().OnFileNew();
  ASSERT_TRUE(app->Docs().OnFileSave());
  EXPECT_EQ(Doc().GetPathName(), second + ".drums");
}

TEST_F(AppSession, ClosingHidesTheWindowAndTheManagerShowsItAgain) {
  StartAndOpen(files / "s/Thumper.nWIN1");
  Frame().close();
  EXPECT_FALSE(Frame().isVisible());
  EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
  ASSERT_EQ(Texts(), std::vector<std::string>{kHiddenInSession});

  nsm.Send("/nsm/client/show_optional_gui");
  EXPECT_TRUE(Next("/nsm/client/gui_is_shown"));
  EXPECT_TRUE(Frame().isVisible());
  // Said once only.
  Frame().close();
  EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
  EXPECT_EQ(Texts().size(), 1u);

  // Asked while already hidden: still confirmed.
  nsm.Send("/nsm/client/hide_optional_gui");
  EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
  EXPECT_TRUE(app->UnderSession());
}

TEST_F(AppSession, ASaveThatFailsIsToldToTheManagerNotOnTheScreen) {
  const std::string prefix = files / "s/Thumper.nWIN1";
  StartAndOpen(prefix);
  std::filesystem::remove(prefix + ".drums");
  std::filesystem::create_directories(prefix + ".drums/in-the-way");
  nsm.Send("/nsm/client/save");
  const auto reply = Answer("/nsm/client/save");
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->path, "/error");
  EXPECT_TRUE(Texts().empty());
}

TEST_F(AppSession, MissingSamplesInTheSessionAreDroppedWithoutAQuestion) {
  // A session file whose sample has gone: nobody may be at the screen.
  const std::string prefix = files / "s/Thumper.nWIN1";
  std::filesystem::create_directories(files / "s");
  CThumperDoc doc;
  ScriptedUi quiet;
  doc.OnNewDocument();
  doc.m_pGroupNames->push_back("Gone");
  *doc.m_pGroupList[0] = {files / "gone.wav"};
  ASSERT_TRUE(doc.OnSaveDocument(prefix + ".drums", quiet));
  StartAndOpen(prefix);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(ui.fileDialogs.empty());
  EXPECT_TRUE((*Doc().m_pGroupList[0]).empty());
}

}  // namespace
}  // namespace thumper::test
