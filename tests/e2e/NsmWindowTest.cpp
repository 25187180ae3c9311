// The window as a client of a session manager, on the offscreen platform and a
// JACK server: announce with the optional GUI, hidden at the start, open under
// the client id's JACK name with nothing connected, show and hide on request,
// save, and SIGTERM without the save question.

#include <csignal>
#include <thread>

#include "NsmFixture.h"

namespace thumper::test {
namespace {

using NsmWindow = NsmFixture;

TEST_F(NsmWindow, OpensSavesShowsHidesAndEndsAsTheSessionAsks) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  auto window = StartUnderNsm({m_dir / "kit.drums"}, m_nsm.Url());
  ASSERT_NO_FATAL_FAILURE(ExpectAnnounce(*window, ":switch:dirty:optional-gui:"));
  // Added to a session, the window starts hidden.
  EXPECT_TRUE(m_nsm.TakePath("/nsm/client/gui_is_hidden", kLimit));
  // Nothing of Thumper in the JACK graph before the session names it.
  const char** early = jack_get_ports(m_pClient, "Thumper", nullptr, 0);
  EXPECT_EQ(early, nullptr) << early[0];
  jack_free(early);

  const std::string prefix = m_dir / "session/Thumper.nWIN2";
  const OscMessage opened = Open(prefix, "nWIN2");
  ASSERT_EQ(opened.path, "/reply") << window->ErrSoFar();
  EXPECT_EQ(opened.args.at(1), "Loaded.");
  // No state saved in the session yet: hidden, and said so after the open.
  EXPECT_TRUE(m_nsm.TakePath("/nsm/client/gui_is_hidden", kLimit));
  CThumperDoc copy;
  ASSERT_TRUE(Opens(prefix + ".drums", copy));
  EXPECT_EQ(copy.GroupCount(), 1);  // the kit of the command line, copied
  EXPECT_TRUE(WaitForPort("nWIN2:out_1")) << window->ErrSoFar();
  EXPECT_FALSE(PortExists("Thumper:out_1"));
  // The session restores the connections: Thumper makes none.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(Connections("nWIN2:out_1").empty());
  EXPECT_TRUE(Connections("nWIN2:out_2").empty());

  m_nsm.Send("/nsm/client/hide_optional_gui");
  EXPECT_TRUE(m_nsm.TakePath("/nsm/client/gui_is_hidden", kLimit));
  m_nsm.Send("/nsm/client/show_optional_gui");
  EXPECT_TRUE(m_nsm.TakePath("/nsm/client/gui_is_shown", kLimit));

  EXPECT_EQ(Save().path, "/reply");
  const std::vector<uint8_t> saved = ReadFileBytes(prefix + ".drums");
  EXPECT_EQ(Save().path, "/reply");
  EXPECT_EQ(ReadFileBytes(prefix + ".drums"), saved);

  const ProcessResult stopped = window->Stop(SIGTERM);
  EXPECT_EQ(stopped.status, 0) << stopped.err;
}

}  // namespace
}  // namespace thumper::test
