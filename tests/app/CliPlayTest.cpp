// `thumper play` and `thumper render` as a user meets them with a kit whose
// samples are partly gone or broken: each file is named once, whatever driver
// was asked for, and a key whose loudest sample is broken still sounds.

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <thread>

#include "drumset/CThumperDoc.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using namespace std::chrono_literals;
using test::TempDir;

// The lines of text that name what.
size_t Count(const std::string& text, const std::string& what) {
  std::istringstream lines(text);
  size_t n = 0;
  for (std::string line; std::getline(lines, line);) n += line.find(what) != std::string::npos;
  return n;
}

class BrokenKitTest : public ::testing::Test {
 protected:
  // Slot 2 (note 38): layer 0 is a text file, layer 1 a real sample; slot 3 a
  // file that is gone.
  void SetUp() override {
    test::WriteWav(dir / "soft.wav", std::vector<int16_t>(2000, 9000));
    test::WriteTextFile(dir / "broken.wav", "not a sample");
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    *kit.m_pGroupList[0] = {dir / "broken.wav", dir / "soft.wav", "/nowhere/gone-away.wav"};
    kit.m_layerSample[LayerIndex(2, 0)] = {0, 0};
    kit.m_layerSample[LayerIndex(2, 1)] = {0, 1};
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(2, l)] = l == 0 ? 0 : 1;
    kit.m_layerSample[LayerIndex(3, 0)] = {0, 2};
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(3, l)] = 0;
    test::ScriptedUi ui;
    ASSERT_TRUE(kit.OnSaveDocument(dir / "kit.drums", ui));
  }
  TempDir dir;
};

// Waits (30 s at most) until play says it plays, or has ended.
void WaitUntilPlaying(test::BackgroundProcess& play) {
  const auto end = std::chrono::steady_clock::now() + 30s;
  while (play.ErrSoFar().find("Ctrl+C stops") == std::string::npos && play.Running() &&
         std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(50ms);
}

TEST_F(BrokenKitTest, PlayWithAChosenDriverLoadsAndNamesEachFileOnce) {
  for (const std::vector<std::string>& extra :
       {std::vector<std::string>{}, std::vector<std::string>{"--driver", "0"}}) {
    std::vector<std::string> args{"play", dir / "kit.drums"};
    args.insert(args.end(), extra.begin(), extra.end());
    test::BackgroundProcess play(test::ThumperArgv(args));
    WaitUntilPlaying(play);
    const test::ProcessResult r = play.Stop(SIGTERM);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Count(r.err, "gone-away.wav"), 1u) << r.err;
    EXPECT_EQ(Count(r.err, "broken.wav"), 1u) << r.err;
    EXPECT_EQ(Count(r.err, "soft.wav"), 0u) << r.err;
  }
}

// thumper-play is thumper play under a name of its own: what a session
// manager can start, since it adds clients by executable name.
TEST_F(BrokenKitTest, ThumperPlayIsThePlaySubcommandByItsName) {
  const std::string program =
      std::filesystem::path(test::ThumperArgv({})[0]).parent_path() / "thumper-play";
  ASSERT_TRUE(std::filesystem::exists(program)) << program;
  const test::ProcessResult help = test::RunProcess({program, "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, test::RunThumper({"play", "--help"}).out);
  // No kit and no session: the play usage, not the window.
  unsetenv("NSM_URL");
  const test::ProcessResult bare = test::RunProcess({program});
  EXPECT_EQ(bare.status, 1);
  EXPECT_NE(bare.err.find("usage: thumper play"), std::string::npos) << bare.err;
  EXPECT_EQ(test::RunProcess({program, "--version"}).out, test::RunThumper({"--version"}).out);

  test::BackgroundProcess play({program, dir / "kit.drums"});
  WaitUntilPlaying(play);
  const test::ProcessResult r = play.Stop(SIGTERM);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("Ctrl+C stops"), std::string::npos) << r.err;
}

TEST_F(BrokenKitTest, RenderNamesTheFileItCannotReadAndPlaysTheSofterLayer) {
  // Note 38 at full velocity: its layer 0 is broken, so layer 1's sample sounds.
  const std::vector<uint8_t> song{'M', 'T', 'h',  'd',  0,   0,   0,    6,    0,    0,
                                  0,   1,   0x01, 0xE0, 'M', 'T', 'r',  'k',  0,    0,
                                  0,   8,   0x00, 0x90, 38,  127, 0x00, 0xFF, 0x2F, 0x00};
  test::WriteFileBytes(dir / "song.mid", song);
  auto r = test::RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "out.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count(r.err, "broken.wav"), 1u) << r.err;
  EXPECT_NE(r.err.find("cannot be read"), std::string::npos) << r.err;
  const auto wav = test::ReadFileBytes(dir / "out.wav");
  ASSERT_GT(wav.size(), 44u + 400);
  int16_t first = 0;
  std::memcpy(&first, wav.data() + 44, 2);
  EXPECT_GT(first, 4000);  // 9000 at the note's attenuation: the soft sample sounds
}

}  // namespace
}  // namespace thumper
