// `thumper play` and `thumper-play` as clients of a session manager:
// announce, open into the session's folder under the client id's JACK name
// with nothing connected, save, switch, a damaged drum set, bad requests and
// bad managers, and the end by SIGTERM.

#include <csignal>
#include <thread>

#include "NsmFixture.h"

namespace thumper::test {
namespace {

using NsmPlay = NsmFixture;

TEST_F(NsmPlay, OpensSavesSwitchesAndStopsAsTheSessionAsks) {
  auto play = StartUnderNsm({"play", m_dir / "kit.drums", "--no-connect"}, m_nsm.Url());
  ASSERT_NO_FATAL_FAILURE(ExpectAnnounce(*play, ":switch:dirty:"));
  // Nothing is loaded before the open: no JACK client yet.
  EXPECT_FALSE(PortExists("Thumper:out_1")) << play->ErrSoFar();

  // Open: a copy of the kit is made in the session.
  const std::string first = m_dir / "session-a/Thumper.nABCD";
  OscMessage answer = Open(first, "nABCD");
  ASSERT_EQ(answer.path, "/reply") << play->ErrSoFar();
  EXPECT_EQ(answer.args.at(1), "Loaded.");
  CThumperDoc copy;
  ASSERT_TRUE(Opens(first + ".drums", copy));
  ASSERT_EQ(copy.GroupCount(), 1);
  EXPECT_EQ(copy.m_layerSample[LayerIndex(0, 0)].nGroup, 0);
  EXPECT_TRUE(WaitForPort("nABCD:out_1")) << play->ErrSoFar();
  EXPECT_TRUE(PortExists("nABCD:MIDI In"));

  // Save, and save again with nothing changed: the same bytes.
  answer = Save();
  EXPECT_EQ(answer.path, "/reply");
  const std::vector<uint8_t> saved = ReadFileBytes(first + ".drums");
  CThumperDoc reread;
  EXPECT_TRUE(Opens(first + ".drums", reread));
  EXPECT_EQ(Save().path, "/reply");
  EXPECT_EQ(ReadFileBytes(first + ".drums"), saved);

  // Unknown messages are ignored.
  m_nsm.Send("/nsm/client/no_such_thing");
  m_nsm.Send("/something/else");

  // An open where nothing can be written: an error, and play goes on with what it had.
  WriteTextFile(m_dir / "plain-file", "x");
  answer = Open(m_dir / "plain-file/session/Thumper.nXXXX", "nXXXX");
  EXPECT_EQ(answer.path, "/error");
  ASSERT_GE(answer.args.size(), 3u);
  EXPECT_EQ(answer.args[1], "-10");
  EXPECT_NE(answer.args[2].find("plain-file"), std::string::npos) << answer.args[2];
  EXPECT_TRUE(play->Running());
  EXPECT_EQ(Save().path, "/reply");
  EXPECT_TRUE(PortExists("nABCD:out_1"));

  // A switch to a session that already holds a drum set of its own (a new,
  // empty one): the old one stays saved where it was, the new one is played
  // under the new client id.
  const std::string second = m_dir / "session-b/Thumper.nEFGH";
  std::filesystem::create_directories(m_dir / "session-b");
  CThumperDoc empty;
  ScriptedUi ui;
  empty.OnNewDocument();
  ASSERT_TRUE(empty.OnSaveDocument(second + ".drums", ui));
  const std::vector<uint8_t> secondBytes = ReadFileBytes(second + ".drums");
  answer = Open(second, "nEFGH");
  ASSERT_EQ(answer.path, "/reply") << play->ErrSoFar();
  EXPECT_TRUE(WaitForPort("nEFGH:out_1")) << play->ErrSoFar();
  EXPECT_TRUE(WaitForPort("nABCD:out_1", false));
  EXPECT_EQ(ReadFileBytes(first + ".drums"), saved);
  EXPECT_EQ(Save().path, "/reply");
  EXPECT_EQ(ReadFileBytes(second + ".drums"), secondBytes);  // it was opened, not replaced

  const ProcessResult stopped = play->Stop(SIGTERM);
  EXPECT_EQ(stopped.status, 0) << stopped.err;
}

TEST_F(NsmPlay, WithoutAKitASessionStartsWithANewDrumSet) {
  auto play = StartUnderNsm({"play", "--no-connect"}, m_nsm.Url());
  ASSERT_NO_FATAL_FAILURE(ExpectAnnounce(*play, ":switch:dirty:"));
  const std::string prefix = m_dir / "s/Thumper.nNEW1";
  ASSERT_EQ(Open(prefix, "nNEW1").path, "/reply") << play->ErrSoFar();
  CThumperDoc made;
  ASSERT_TRUE(Opens(prefix + ".drums", made));
  EXPECT_EQ(made.GroupCount(), 0);
  EXPECT_TRUE(WaitForPort("nNEW1:out_1"));

  // A save that cannot replace the file: an error that says why, and play goes on.
  std::filesystem::remove(prefix + ".drums");
  std::filesystem::create_directories(prefix + ".drums/in-the-way");
  const OscMessage failed = Save();
  EXPECT_EQ(failed.path, "/error");
  ASSERT_GE(failed.args.size(), 3u);
  EXPECT_NE(failed.args[2].find(prefix + ".drums"), std::string::npos) << failed.args[2];
  EXPECT_TRUE(play->Running());
  EXPECT_EQ(play->Stop(SIGTERM).status, 0);
}

TEST_F(NsmPlay, ThumperPlayIsAddedByNameAndLeavesTheConnectionsToTheSession) {
  // As nsmd adds it: the executable's name, no arguments.
  auto play = StartPlayUnderNsm(m_nsm.Url());
  ASSERT_NO_FATAL_FAILURE(ExpectAnnounce(*play, ":switch:dirty:", "thumper-play"));
  const std::string prefix = m_dir / "s/thumper-play.nPLAY";
  ASSERT_EQ(Open(prefix, "nPLAY").path, "/reply") << play->ErrSoFar();
  ASSERT_TRUE(WaitForPort("nPLAY:out_1")) << play->ErrSoFar();
  // What the session saved (out_1 to the second playback port, out_2 to
  // nothing), restored as jackpatch does once the ports are there: it stays so.
  const char** playback = jack_get_ports(m_pClient, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsPhysical | JackPortIsInput);
  ASSERT_TRUE(playback && playback[0] && playback[1]) << "the dummy backend has two playback ports";
  const std::string second = playback[1];
  jack_free(playback);
  ASSERT_EQ(jack_connect(m_pClient, "nPLAY:out_1", second.c_str()), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_EQ(Connections("nPLAY:out_1"), std::vector<std::string>{second});
  EXPECT_TRUE(Connections("nPLAY:out_2").empty());
  EXPECT_EQ(Save().path, "/reply");
  EXPECT_EQ(play->Stop(SIGTERM).status, 0);

  // Without a session thumper-play is thumper play: it connects, as before.
  auto alone = std::make_unique<BackgroundProcess>(std::vector<std::string>{
      std::filesystem::path(ThumperArgv({})[0]).parent_path() / "thumper-play",
      m_dir / "kit.drums"});
  ASSERT_TRUE(WaitForPort("Thumper:out_1")) << alone->ErrSoFar();
  EXPECT_TRUE(WaitFor([&] { return !Connections("Thumper:out_1").empty(); }, kLimit));
  EXPECT_EQ(alone->Stop(SIGTERM).status, 0);
}

TEST_F(NsmPlay, ADamagedDrumSetIsKeptAsideAndLaterSavesWork) {
  auto play = StartUnderNsm({"play", "--no-connect"}, m_nsm.Url());
  ASSERT_NO_FATAL_FAILURE(ExpectAnnounce(*play, ":switch:dirty:"));
  const std::string prefix = m_dir / "s/Thumper.nBAD1";
  std::filesystem::create_directories(m_dir / "s");
  WriteTextFile(prefix + ".drums", "garbage");
  const OscMessage opened = Open(prefix, "nBAD1");
  EXPECT_EQ(opened.path, "/error");
  ASSERT_EQ(opened.args.size(), 3u);
  EXPECT_NE(opened.args[2].find(prefix + ".drums.damaged-"), std::string::npos) << opened.args[2];
  // It plays a new drum set under the session's name, and the session saves.
  EXPECT_TRUE(WaitForPort("nBAD1:out_1")) << play->ErrSoFar();
  EXPECT_EQ(Save().path, "/reply");
  CThumperDoc saved;
  EXPECT_TRUE(Opens(prefix + ".drums", saved));
  EXPECT_EQ(play->Stop(SIGTERM).status, 0);
}

TEST_F(NsmPlay, ABadOrSilentManagerLeavesPlayAsWithoutASession) {
  // Malformed: said once, and the kit plays under the usual name at once.
  {
    auto play = StartUnderNsm({"play", m_dir / "kit.drums", "--no-connect"}, "not a url");
    EXPECT_TRUE(WaitForPort("Thumper:out_1")) << play->ErrSoFar();
    const ProcessResult stopped = play->Stop(SIGTERM);
    EXPECT_EQ(stopped.status, 0);
    EXPECT_NE(stopped.err.find("NSM_URL"), std::string::npos) << stopped.err;
    EXPECT_EQ(stopped.err.find("liblo"), std::string::npos)
        << "said more than once: " << stopped.err;
  }
  EXPECT_TRUE(WaitForPort("Thumper:out_1", false));
  // A host that cannot be found (as a machine's own name missing from
  // /etc/hosts): said in one line, at once.
  {
    auto play = StartUnderNsm({"play", m_dir / "kit.drums", "--no-connect"},
                              "osc.udp://no-such-host.invalid:12345/");
    EXPECT_TRUE(WaitForPort("Thumper:out_1")) << play->ErrSoFar();
    const ProcessResult stopped = play->Stop(SIGTERM);
    EXPECT_EQ(stopped.status, 0);
    EXPECT_NE(stopped.err.find("\"no-such-host.invalid\" in NSM_URL"), std::string::npos)
        << stopped.err;
    EXPECT_EQ(stopped.err.find("does not answer"), std::string::npos) << stopped.err;
  }
  EXPECT_TRUE(WaitForPort("Thumper:out_1", false));
  // Nobody answers: the same, once the announce has waited long enough.
  std::string silentUrl;
  {
    FakeNsmServer gone;
    silentUrl = gone.Url();
  }
  auto play = StartUnderNsm({"play", m_dir / "kit.drums", "--no-connect"}, silentUrl);
  EXPECT_TRUE(WaitForPort("Thumper:out_1")) << play->ErrSoFar();
  const ProcessResult stopped = play->Stop(SIGTERM);
  EXPECT_EQ(stopped.status, 0);
  EXPECT_NE(stopped.err.find("does not answer"), std::string::npos) << stopped.err;
}

}  // namespace
}  // namespace thumper::test
