#pragma once
// Thumper under a session manager: a fake NSM server in the test, a JACK
// server on the dummy backend, a small kit, and the program started with
// NSM_URL pointing at the fake server.

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "LiveClient.h"
#include "drumset/CThumperDoc.h"
#include "support/FakeNsmServer.h"
#include "support/JackServer.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {

class NsmFixture : public ::testing::Test {
 protected:
  static constexpr std::chrono::seconds kLimit{15};

  void SetUp() override {
    if (!JackServer::Installed()) GTEST_SKIP() << "jackd is not installed";
    m_pJack = std::make_unique<JackServer>(44100, 256);
    ASSERT_TRUE(m_pJack->Running()) << m_pJack->Failure();
    ASSERT_TRUE(m_nsm.Ok());
    m_pClient = jack_client_open("nsm-test-observer", JackNoStartServer, nullptr);
    ASSERT_NE(m_pClient, nullptr);

    WriteWav(m_dir / "kick.wav", std::vector<int16_t>(2000, 9000));
    CThumperDoc kit;
    ScriptedUi ui;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Drums");
    *kit.m_pGroupList[0] = {m_dir / "kick.wav"};
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(0, l)] = 0;
    kit.m_layerSample[LayerIndex(0, 0)] = {0, 0};
    ASSERT_TRUE(kit.OnSaveDocument(m_dir / "kit.drums", ui));
  }

  void TearDown() override {
    if (m_pClient) jack_client_close(m_pClient);
  }

  // Starts thumper with NSM_URL set (only for the child).
  std::unique_ptr<BackgroundProcess> StartUnderNsm(const std::vector<std::string>& args,
                                                   const std::string& url) {
    return StartProgramUnderNsm(ThumperArgv(args), url);
  }
  // thumper-play, as a session manager starts it: by name, without arguments.
  std::unique_ptr<BackgroundProcess> StartPlayUnderNsm(const std::string& url) {
    const std::string play =
        std::filesystem::path(ThumperArgv({})[0]).parent_path() / "thumper-play";
    return StartProgramUnderNsm({play}, url);
  }
  std::unique_ptr<BackgroundProcess> StartProgramUnderNsm(const std::vector<std::string>& argv,
                                                          const std::string& url) {
    setenv("NSM_URL", url.c_str(), 1);
    auto process = std::make_unique<BackgroundProcess>(argv);
    unsetenv("NSM_URL");
    return process;
  }

  // The ports a port is connected to.
  std::vector<std::string> Connections(const std::string& port) {
    std::vector<std::string> names;
    jack_port_t* p = jack_port_by_name(m_pClient, port.c_str());
    if (!p) return names;
    if (const char** connected = jack_port_get_all_connections(m_pClient, p)) {
      for (const char** c = connected; *c; ++c) names.emplace_back(*c);
      jack_free(connected);
    }
    return names;
  }

  bool PortExists(const std::string& name) {
    return jack_port_by_name(m_pClient, name.c_str()) != nullptr;
  }
  bool WaitForPort(const std::string& name, bool present = true) {
    return WaitFor([&] { return PortExists(name) == present; }, kLimit);
  }

  // The announce, checked, and answered. Call it inside ASSERT_NO_FATAL_FAILURE.
  void ExpectAnnounce(const BackgroundProcess& process, const std::string& capabilities,
                      const std::string& executable = "thumper") {
    const auto announce = m_nsm.TakePath("/nsm/server/announce", kLimit);
    ASSERT_TRUE(announce) << "no announce";
    ASSERT_EQ(announce->types, "sssiii");
    EXPECT_EQ(announce->args[0], "Thumper");
    EXPECT_EQ(announce->args[1], capabilities);
    EXPECT_EQ(std::filesystem::path(announce->args[2]).filename(), executable);
    EXPECT_EQ(announce->args[3], "1");
    EXPECT_EQ(announce->args[4], "2");
    EXPECT_EQ(announce->args[5], std::to_string(process.Pid()));
    m_nsm.ReplyAnnounce();
  }

  // Sends a request and returns its answer ("/reply" or "/error", then its arguments).
  OscMessage Ask(const std::string& request, const std::function<void()>& send) {
    send();
    const auto answer = m_nsm.TakeAnswer(request, kLimit);
    EXPECT_TRUE(answer) << "no answer to " << request;
    return answer ? *answer : OscMessage{};
  }
  OscMessage Open(const std::string& prefix, const std::string& id) {
    return Ask("/nsm/client/open", [&] { m_nsm.SendOpen(prefix, "Test Session", id); });
  }
  OscMessage Save() {
    return Ask("/nsm/client/save", [&] { m_nsm.Send("/nsm/client/save"); });
  }

  // The drum set stored at path, read back.
  static bool Opens(const std::string& path, CThumperDoc& doc) {
    ScriptedUi ui;
    return doc.OnOpenDocument(path, ui);
  }

  TempDir m_dir;
  FakeNsmServer m_nsm;
  std::unique_ptr<JackServer> m_pJack;
  jack_client_t* m_pClient = nullptr;
};

}  // namespace thumper::test
