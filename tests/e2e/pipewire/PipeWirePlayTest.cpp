// `thumper play` on PipeWire's JACK layer, on a private PipeWire with a null
// sink: a server that stops is noticed, a change of the graph's rate keeps
// every hit's length and pitch, and a second client prints the name the
// graph really knows it by.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <thread>

#include "../LiveClient.h"
#include "../RateChangeCheck.h"
#include "drumset/CThumperDoc.h"
#include "midi/JackMidiSender.h"
#include "support/JackServer.h"
#include "support/PipeWireServer.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

bool Says(BackgroundProcess& p, const std::string& text, std::chrono::milliseconds limit) {
  return WaitFor([&] { return p.ErrSoFar().find(text) != std::string::npos; }, limit);
}

// The client name a `thumper play` printed.
std::string PrintedClient(const std::string& err) {
  const std::string key = "as JACK client \"";
  const size_t at = err.find(key);
  if (at == std::string::npos) return {};
  const size_t start = at + key.size();
  return err.substr(start, err.find('"', start) - start);
}

class PipeWirePlay : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const std::string missing = PipeWireServer::Missing(); !missing.empty())
      GTEST_SKIP() << missing << " is not installed: no PipeWire test";
    if (!PipeWireServer::ThisProcessUsesPipeWireJack())
      GTEST_SKIP() << "not run through pw-jack: no PipeWire test";
    m_pServer = std::make_unique<PipeWireServer>(48000, 256);
    if (!m_pServer->Running()) GTEST_SKIP() << m_pServer->Failure();
    m_strKit = MakeKickKit(m_dir);
  }
  void TearDown() override { m_pServer.reset(); }

  // `thumper play` on the kit, without a numbered MIDI device (our sender's
  // port would be one and play every note twice).
  std::unique_ptr<BackgroundProcess> StartPlay() {
    auto play =
        std::make_unique<BackgroundProcess>(ThumperArgv({"play", m_strKit, "--midi", "99"}));
    EXPECT_TRUE(Says(*play, "Ctrl+C stops", std::chrono::seconds(20))) << play->ErrSoFar();
    return play;
  }

  TempDir m_dir;
  std::string m_strKit;
  std::unique_ptr<PipeWireServer> m_pServer;
};

TEST_F(PipeWirePlay, AStoppedServerIsNoticedAndPlayingGoesOnSilently) {
  auto play = StartPlay();
  m_pServer->Stop();
  EXPECT_TRUE(Says(*play, "does not seem to work", std::chrono::seconds(10))) << play->ErrSoFar();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(play->Running()) << "it did not play on";
  const auto start = std::chrono::steady_clock::now();
  const ProcessResult r = play->Stop(SIGTERM);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(8));
}

TEST_F(PipeWirePlay, ASecondClientPrintsTheNameTheGraphKnowsItBy) {
  auto first = StartPlay();
  auto second = StartPlay();
  const std::string name1 = PrintedClient(first->ErrSoFar());
  const std::string name2 = PrintedClient(second->ErrSoFar());
  EXPECT_EQ(name1, "Thumper") << first->ErrSoFar();
  ASSERT_FALSE(name2.empty()) << second->ErrSoFar();
  EXPECT_NE(name2, name1);
  JackMidiSender probe("probe");
  ASSERT_TRUE(probe.Ok());
  for (const std::string& name : {name1, name2})
    for (const char* port : {":out_1", ":out_2", ":MIDI In"})
      EXPECT_TRUE(jack_port_by_name(probe.Client(), (name + port).c_str()))
          << name + port << " is not in the graph";
  // And it plays under that name.
  EXPECT_NE(second->ErrSoFar().find("\"" + name2 + ":MIDI In\""), std::string::npos)
      << second->ErrSoFar();
  EXPECT_EQ(second->Stop(SIGTERM).status, 0);
  EXPECT_EQ(first->Stop(SIGTERM).status, 0);
}

// A hit at 48 kHz, the graph forced to 44.1 kHz, then a hit every 150 ms:
// each one sounds as long and as high as the kick is, or not at all, never
// 8.8 % too long and too low; and the voices come back for the new rate.
TEST_F(PipeWirePlay, ARateChangeKeepsEveryHitsLengthAndPitch) {
  PlayThroughARateChange(m_strKit, [&] { return m_pServer->ForceRate(44100); });
}

}  // namespace
}  // namespace thumper::test
