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
    // By address: a machine's own name need not resolve (a fresh debootstrap).
    ASSERT_EQ(nsm.Url().rfind("osc.udp://127.0.0.1:", 0), 0u) << nsm.Url();
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
    // A window added to a session starts hidden.
    EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
    EXPECT_FALSE(Frame().isVisible());
    // Nothing is opened before the session says where.
    EXPECT_EQ(Doc().GetPathName(), "");
    nsm.ReplyAnnounce();
    ASSERT_NO_FATAL_FAILURE(OpenSession(prefix));
  }
  // Opens the session; the window is then shown or hidden, and says so.
  void OpenSession(const std::string& prefix, bool shown = false) {
    nsm.SendOpen(prefix, "Session", "nWIN1");
    const auto reply = Answer("/nsm/client/open");
    ASSERT_TRUE(reply);
    ASSERT_EQ(reply->path, "/reply") << (reply->args.size() > 2 ? reply->args[2] : "");
    EXPECT_EQ(reply->args.at(1), "Loaded.");
    EXPECT_TRUE(Next(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden"));
    EXPECT_EQ(Frame().isVisible(), shown);
    ForgetMidiNotices();
  }
  void ShowWindow() {
    nsm.Send("/nsm/client/show_optional_gui");
    EXPECT_TRUE(Next("/nsm/client/gui_is_shown"));
    EXPECT_TRUE(Frame().isVisible());
  }
  void SaveSession() {
    nsm.Send("/nsm/client/save");
    const auto saved = Answer("/nsm/client/save");
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->path, "/reply") << (saved->args.size() > 2 ? saved->args[2] : "");
  }
  // Runs the event loop for a while, the session manager receiving meanwhile.
  void RunFor(std::chrono::milliseconds time) {
    nsm.Take([](const OscMessage&) { return false; }, time, Pump);
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
  EXPECT_FALSE(Frame().isVisible());
  ShowWindow();
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

TEST_F(AppSession, TheWindowComesBackShownOrHiddenAsTheSessionSavedIt) {
  const std::string prefix = files / "s/Thumper.nWIN1";
  const std::string state = prefix + ".window";
  StartAndOpen(prefix);
  // Nothing said yet: hidden, and no state file before a save.
  EXPECT_FALSE(Frame().isVisible());
  EXPECT_FALSE(std::filesystem::exists(state));
  ShowWindow();
  ASSERT_NO_FATAL_FAILURE(SaveSession());
  EXPECT_EQ(ReadTextFile(state), "shown\n");
  // The drum set file is left as any drum set file is.
  CThumperDoc saved;
  EXPECT_TRUE(Opens(prefix + ".drums", saved));

  // The session loaded again: shown at once, and said so.
  Stop();
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Next("/nsm/server/announce"));
  EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
  nsm.ReplyAnnounce();
  ASSERT_NO_FATAL_FAILURE(OpenSession(prefix, true));

  // Hidden at the save: hidden at the next load.
  nsm.Send("/nsm/client/hide_optional_gui");
  EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
  ASSERT_NO_FATAL_FAILURE(SaveSession());
  EXPECT_EQ(ReadTextFile(state), "hidden\n");
  Stop();
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Next("/nsm/server/announce"));
  nsm.ReplyAnnounce();
  ASSERT_NO_FATAL_FAILURE(OpenSession(prefix));
  EXPECT_FALSE(Frame().isVisible());
  // Shown, then not saved: the session's state stays as saved.
  ShowWindow();
  Stop();
  EXPECT_EQ(ReadTextFile(state), "hidden\n");
}

TEST_F(AppSession, OnceTheManagerIsGoneClosingTheWindowEndsThumperWithTheSaveQuestion) {
  StartAndOpen(files / "s/Thumper.nWIN1");
  ShowWindow();
  // The manager answers its pings: closing hides.
  RunFor(std::chrono::milliseconds(2500));
  EXPECT_GE(nsm.PingsReceived(), 2);
  Frame().close();
  EXPECT_FALSE(Frame().isVisible());
  EXPECT_TRUE(Next("/nsm/client/gui_is_hidden"));
  ShowWindow();

  // Then it stops answering (it hangs, or was killed): closing ends the
  // program, and asks about unsaved changes first.
  nsm.AnswerPings(false);
  RunFor(std::chrono::milliseconds(4500));
  Doc().SetModifiedFlag(true);
  ui.messages.clear();
  ui.messageAnswers.push_back(MsgResult::No);
  EXPECT_TRUE(Frame().close()) << "the close was refused";
  EXPECT_FALSE(Frame().isVisible());
  ASSERT_EQ(Texts().size(), 1u);
  EXPECT_NE(Texts()[0], kHiddenInSession);
  EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
}

TEST_F(AppSession, ADamagedDrumSetIsKeptAsideAndTheSessionGoesOnWithANewOne) {
  const std::string prefix = files / "s/Thumper.nWIN1";
  std::filesystem::create_directories(files / "s");
  WriteTextFile(prefix + ".drums", "not a drum set");
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Next("/nsm/server/announce"));
  nsm.ReplyAnnounce();
  nsm.SendOpen(prefix, "Session", "nWIN1");
  const auto reply = Answer("/nsm/client/open");
  ASSERT_TRUE(reply);
  ASSERT_EQ(reply->path, "/error");
  ASSERT_EQ(reply->args.size(), 3u);
  // The file kept, under the name the answer gives.
  std::string aside;
  for (const auto& entry : std::filesystem::directory_iterator(files / "s"))
    if (entry.path().filename().string().rfind("Thumper.nWIN1.drums.damaged-", 0) == 0)
      aside = entry.path().string();
  ASSERT_FALSE(aside.empty());
  EXPECT_EQ(ReadTextFile(aside), "not a drum set");
  EXPECT_NE(reply->args[2].find(aside), std::string::npos) << reply->args[2];
  EXPECT_NE(reply->args[2].find("new drum set"), std::string::npos) << reply->args[2];
  EXPECT_TRUE(Texts().empty());

  // A new drum set in its place, and the session's saves work.
  EXPECT_EQ(Doc().GetPathName(), prefix + ".drums");
  EXPECT_EQ(Doc().GroupCount(), 0);
  Doc().m_pGroupNames->push_back("Toms");
  Doc().m_pGroupList[0]->push_back(files / "tom.wav");
  Doc().SetModifiedFlag(true);
  ASSERT_NO_FATAL_FAILURE(SaveSession());
  CThumperDoc saved;
  ASSERT_TRUE(Opens(prefix + ".drums", saved));
  EXPECT_EQ(saved.GroupCount(), 1);
}

TEST_F(AppSession, AManagerThatNeverAnswersLeavesTheWindowShownAsWithoutASession) {
  ASSERT_TRUE(Start());
  ASSERT_TRUE(Next("/nsm/server/announce"));
  EXPECT_FALSE(Frame().isVisible());
  // No reply to the announce: once it has waited long enough, the window
  // shows, since no session manager will.
  RunFor(NsmClient::kAnnounceTimeout + std::chrono::milliseconds(1500));
  EXPECT_TRUE(Frame().isVisible());
  EXPECT_FALSE(app->UnderSession());
  EXPECT_TRUE(QApplication::quitOnLastWindowClosed());
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
