// The cache of converted samples from the user's side: renders from a warm
// cache are byte for byte those from a cold one, two programs may fill it at
// once, and `thumper cache` shows and empties it.

#include <sndfile.h>
#include <sys/mount.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <thread>

#include "drumset/CThumperDoc.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;
using test::ReadFileBytes;
using test::RunProcess;
using test::ScriptedUi;
using test::TempDir;
using test::WriteFileBytes;

// Note 38 then note 40 at once, at 120 BPM and 480 ticks per quarter.
std::vector<uint8_t> TwoNoteSong() {
  const std::vector<uint8_t> track{0x00, 0x90, 38, 100, 0x00, 0x90, 40,   90,  0x83,
                                   0x60, 0x90, 38, 60,  0x00, 0xFF, 0x2F, 0x00};
  std::vector<uint8_t> file{'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
                            1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(track.size())};
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

void WriteSample(const std::string& path, int format, int rate, int frames, double pitch) {
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = rate;
  info.format = format;
  std::vector<float> samples(size_t(frames) * 2);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] =
        float(0.7 * std::sin(pitch * double(i / 2) / rate) * std::exp(-3.0 * double(i / 2) / rate));
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  ASSERT_NE(f, nullptr) << path;
  sf_writef_float(f, samples.data(), frames);
  sf_close(f);
}

class CacheCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // A 24-bit 48 kHz WAV and a FLAC: both converted, so both cached.
    WriteSample(dir / "snare.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 48000, 20000, 1900);
    WriteSample(dir / "tom.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 15000, 700);
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    *kit.m_pGroupList[0] = {dir / "snare.wav", dir / "tom.flac"};
    for (int slot : {2, 4}) {
      for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(slot, l)] = 0;
      kit.m_layerSample[LayerIndex(slot, 0)] = {0, slot == 2 ? 0 : 1};
    }
    ASSERT_TRUE(kit.OnSaveDocument(dir / "kit.drums", ui));
    WriteFileBytes(dir / "song.mid", TwoNoteSong());
  }

  // The program with its cache under home.
  test::ProcessResult Thumper(const std::string& home, const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/env", "XDG_CACHE_HOME=" + home};
    for (const std::string& a : test::ThumperArgv(args)) argv.push_back(a);
    return RunProcess(argv);
  }
  test::ProcessResult Render(const std::string& home, const std::string& out) {
    return Thumper(home, {"render", dir / "kit.drums", dir / "song.mid", "-o", out});
  }
  size_t Entries(const std::string& home) {
    size_t n = 0;
    std::error_code error;
    for (const auto& e : fs::directory_iterator(home + "/thumper/samples", error))
      n += e.path().extension() == ".sample";
    return n;
  }

  TempDir dir;
  ScriptedUi ui;
};

TEST_F(CacheCommandTest, AWarmRenderIsByteIdenticalToAColdOne) {
  const std::string home = dir / "cache";
  auto cold = Render(home, dir / "cold.wav");
  ASSERT_EQ(cold.status, 0) << cold.err;
  ASSERT_EQ(Entries(home), 2u);
  auto warm = Render(home, dir / "warm.wav");
  ASSERT_EQ(warm.status, 0) << warm.err;
  const auto bytes = ReadFileBytes(dir / "cold.wav");
  ASSERT_GT(bytes.size(), 44u + 4 * 20000);
  EXPECT_TRUE(bytes == ReadFileBytes(dir / "warm.wav"));
  // And a render with nowhere to cache (no writable folder) gives the same.
  auto none = Render("/proc/thumper-no-cache", dir / "none.wav");
  ASSERT_EQ(none.status, 0) << none.err;
  EXPECT_TRUE(bytes == ReadFileBytes(dir / "none.wav"));
}

TEST_F(CacheCommandTest, TwoProgramsFillingOneCacheAtOnceRenderTheSame) {
  ASSERT_EQ(Render(dir / "reference", dir / "want.wav").status, 0);
  const auto want = ReadFileBytes(dir / "want.wav");
  const std::string home = dir / "shared";
  for (int round = 0; round < 3; ++round) {
    test::ProcessResult a, b;
    std::thread first([&] { a = Render(home, dir / "a.wav"); });
    b = Render(home, dir / "b.wav");
    first.join();
    ASSERT_EQ(a.status, 0) << a.err;
    ASSERT_EQ(b.status, 0) << b.err;
    EXPECT_TRUE(ReadFileBytes(dir / "a.wav") == want) << "round " << round;
    EXPECT_TRUE(ReadFileBytes(dir / "b.wav") == want) << "round " << round;
  }
  EXPECT_EQ(Entries(home), 2u);
}

TEST_F(CacheCommandTest, CacheShowsTheFolderAndClearEmptiesIt) {
  const std::string home = dir / "cache";
  ASSERT_EQ(Render(home, dir / "out.wav").status, 0);
  WriteFileBytes(home + "/thumper/samples/mine.txt", {'x'});  // not the cache's: stays

  auto shown = Thumper(home, {"cache"});
  EXPECT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find(home + "/thumper/samples/: 2 samples, "), std::string::npos)
      << shown.out;

  auto cleared = Thumper(home, {"cache", "--clear"});
  EXPECT_EQ(cleared.status, 0) << cleared.err;
  EXPECT_NE(cleared.out.find("Emptied " + home + "/thumper/samples/: 2 samples"), std::string::npos)
      << cleared.out;
  EXPECT_EQ(Entries(home), 0u);
  EXPECT_TRUE(fs::exists(home + "/thumper/samples/mine.txt"));
  EXPECT_NE(Thumper(home, {"cache"}).out.find(": 0 samples, 0.0 MB"), std::string::npos);
  // Cleared again: nothing to do, still fine; so is a cache never made.
  EXPECT_EQ(Thumper(home, {"cache", "--clear"}).status, 0);
  EXPECT_EQ(Thumper(dir / "never", {"cache", "--clear"}).status, 0);

  auto help = Thumper(home, {"cache", "--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("thumper cache [--clear]"), std::string::npos) << help.out;
  EXPECT_EQ(Thumper(home, {"cache", "--empty"}).status, 1);
  EXPECT_EQ(Thumper(home, {"cache", "--clear", "now"}).status, 1);
}

TEST_F(CacheCommandTest, AClearThatCannotRemoveAnEntrySaysSoAndExitsTwo) {
  // A folder of its own that cannot be written: a read-only tmpfs for root, who
  // removes files from any folder, else a folder without write permission.
  const std::string home = dir / "cache";
  fs::create_directories(home);
  const bool mounted =
      ::geteuid() == 0 && ::mount("thumper-test", home.c_str(), "tmpfs", 0, "size=4m") == 0;
  if (::geteuid() == 0 && !mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  ASSERT_EQ(Render(home, dir / "out.wav").status, 0);
  if (mounted)
    ASSERT_EQ(::mount("thumper-test", home.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr), 0);
  else
    fs::permissions(home + "/thumper/samples", fs::perms::owner_read | fs::perms::owner_exec);
  auto cleared = Thumper(home, {"cache", "--clear"});
  // Still played from while it cannot be written.
  auto render = Render(home, dir / "again.wav");
  if (mounted)
    ::umount2(home.c_str(), MNT_DETACH);
  else
    fs::permissions(home + "/thumper/samples", fs::perms::owner_all);
  EXPECT_EQ(render.status, 0) << render.err;
  EXPECT_TRUE(ReadFileBytes(dir / "out.wav") == ReadFileBytes(dir / "again.wav"));
  EXPECT_EQ(cleared.status, 2);
  EXPECT_NE(cleared.err.find("cannot empty the sample cache"), std::string::npos) << cleared.err;
}

}  // namespace
}  // namespace thumper
