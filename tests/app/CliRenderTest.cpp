// `thumper render`: a MIDI file through a drum set into a WAV file, with every
// hit at its exact frame and level.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "audio/WaveFormat.h"
#include "drumset/CThumperDoc.h"
#include "play/NoteTrigger.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using test::ReadFileBytes;
using test::RunThumper;
using test::ScriptedUi;
using test::TempDir;
using test::WriteFileBytes;
using test::WriteTextFile;

// A format 0 file at 480 ticks per quarter and 120 BPM: a tick is 1/960 s.
// The events are raw track bytes: delta time, status, data.
std::vector<uint8_t> Song(std::vector<uint8_t> track) {
  for (uint8_t b : std::initializer_list<uint8_t>{0x00, 0xFF, 0x2F, 0x00}) track.push_back(b);
  std::vector<uint8_t> file;
  for (uint8_t b : std::initializer_list<uint8_t>{'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 0, 0, 1, 0x01,
                                                  0xE0, 'M', 'T', 'r', 'k'})
    file.push_back(b);
  const auto n = static_cast<uint32_t>(track.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(n >> shift));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

std::vector<int16_t> Samples16(const std::vector<uint8_t>& wav) {
  // The writer's 16-bit files are the plain 44-byte header and the data.
  EXPECT_EQ(std::string(wav.begin() + 36, wav.begin() + 40), "data");
  std::vector<int16_t> out((wav.size() - 44) / 2);
  if (!out.empty()) std::memcpy(out.data(), wav.data() + 44, out.size() * 2);
  return out;
}

class RenderTest : public ::testing::Test {
 protected:
  // Slot 2 (note 38) plays a constant 10000 for 1000 frames; slot 4 (note 40)
  // plays tomPath when one is given.
  void MakeKit(const std::string& samplePath, const std::string& tomPath = {}) {
    test::WriteWav(dir / "snare.wav", std::vector<int16_t>(2000, 10000));
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    *kit.m_pGroupList[0] = {samplePath};
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(2, l)] = 0;
    kit.m_layerSample[LayerIndex(2, 0)] = {0, 0};
    if (!tomPath.empty()) {
      kit.m_pGroupList[0]->push_back(tomPath);
      for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(4, l)] = 0;
      kit.m_layerSample[LayerIndex(4, 0)] = {0, 1};
    }
    ASSERT_TRUE(kit.OnSaveDocument(dir / "kit.drums", ui));
  }
  TempDir dir;
  ScriptedUi ui;
};

TEST_F(RenderTest, AHitLandsOnItsExactFrameAtTheLevelOfItsVelocity) {
  MakeKit(dir / "snare.wav");
  // Note 38 at tick 480 (0.5 s = frame 22050), velocity 127; its note-off at once.
  WriteFileBytes(dir / "song.mid", Song({0x83, 0x60, 0x90, 38, 127, 0x00, 0x80, 38, 0}));
  auto r = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "out.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto s = Samples16(ReadFileBytes(dir / "out.wav"));
  const int expected =
      static_cast<int>(std::lround(10000 * GainOfAttenuation(NoteAttenuation(-4000, 127, 127))));
  ASSERT_EQ(s.size(), 2u * (22050 + 1000));  // ends when the sound has finished
  EXPECT_EQ(s[2 * 22049], 0);
  EXPECT_EQ(s[2 * 22050], expected);
  EXPECT_EQ(s[2 * 22050 + 1], expected);
  EXPECT_EQ(s[2 * 23049], expected);
}

TEST_F(RenderTest, FloatOutputAndTheChosenChannel) {
  MakeKit(dir / "snare.wav");
  // Channel 2 only: silence on channel 1, a hit with --channel 2.
  WriteFileBytes(dir / "song.mid", Song({0x00, 0x91, 38, 100}));
  auto quiet = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "q.wav"});
  ASSERT_EQ(quiet.status, 0) << quiet.err;
  const auto q = Samples16(ReadFileBytes(dir / "q.wav"));
  for (int16_t v : q) ASSERT_EQ(v, 0);

  auto r = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "f.wav",
                       "--channel", "2", "--float"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto wav = ReadFileBytes(dir / "f.wav");
  uint16_t tag = 0;
  std::memcpy(&tag, wav.data() + 20, 2);
  EXPECT_EQ(tag, 3);  // IEEE float
  // The data chunk's first sample is the hit at -1030 ... of 10000/32768.
  size_t at = 12;
  while (at + 8 <= wav.size() && std::string(wav.begin() + at, wav.begin() + at + 4) != "data") {
    uint32_t size = 0;
    std::memcpy(&size, wav.data() + at + 4, 4);
    at += 8 + size + (size & 1);
  }
  ASSERT_LT(at + 12, wav.size());
  float first = 0;
  std::memcpy(&first, wav.data() + at + 8, 4);
  const float expected = 10000.0f / 32768.0f * GainOfAttenuation(NoteAttenuation(-4000, 127, 100));
  EXPECT_NEAR(first, expected, 1e-6);
}

TEST_F(RenderTest, ANoteMapSendsTheSongsNotesToTheKitsAndABadMapIsRefused) {
  test::WriteWav(dir / "tom.wav", std::vector<int16_t>(2000, 20000));
  MakeKit(dir / "snare.wav", dir / "tom.wav");
  // Note 37 (nothing in the kit) at frame 0; note 38 at 0.5 s.
  WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 37, 127, 0x83, 0x60, 0x90, 38, 127}));
  WriteTextFile(dir / "pads.map", "# the cross-stick plays the snare\n37 38\n38 40\n");
  auto r = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "out.wav",
                       "--note-map", dir / "pads.map"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto s = Samples16(ReadFileBytes(dir / "out.wav"));
  const float gain = GainOfAttenuation(NoteAttenuation(-4000, 127, 127));
  ASSERT_EQ(s.size(), 2u * (22050 + 1000));
  EXPECT_EQ(s[0], static_cast<int>(std::lround(10000 * gain)));          // 37 played the snare
  EXPECT_EQ(s[2 * 22050], static_cast<int>(std::lround(20000 * gain)));  // 38 the tom

  WriteTextFile(dir / "bad.map", "37 38\n38 snare\n");
  auto bad = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "bad.wav",
                         "--note-map", dir / "bad.map"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find(dir / "bad.map" + ":2: \"snare\" is not a MIDI note"), std::string::npos)
      << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "bad.wav"));
  EXPECT_EQ(
      RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "x.wav", "--note-map"})
          .status,
      1);
}

TEST_F(RenderTest, AMissingSampleIsNamedAndTheRenderGoesOn) {
  MakeKit("/nowhere/gone.wav", dir / "snare.wav");
  WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 38, 100}));
  auto r = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("gone.wav"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("not one sample"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "out.wav"));
}

TEST_F(RenderTest, ARenderForWhichNotOneSampleWasFoundSaysSoAtTheEndAndExitsTwo) {
  WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 38, 100}));
  const std::vector<std::string> args{"render", dir / "kit.drums", dir / "song.mid", "-o",
                                      dir / "out.wav"};
  MakeKit("/nowhere/gone.wav", "/nowhere/tom.wav");
  auto r = RunThumper(args);
  EXPECT_EQ(r.status, 2);
  const std::string said = "thumper: render: not one sample of " + dir / "kit.drums" +
                           " could be found: " + dir / "out.wav" + " is silent\n";
  ASSERT_GE(r.err.size(), said.size()) << r.err;
  EXPECT_EQ(r.err.substr(r.err.size() - said.size()), said) << r.err;  // its last line
  EXPECT_NE(r.err.find("gone.wav"), std::string::npos) << r.err;
  // The silence is still written, as it always was.
  ASSERT_TRUE(std::filesystem::exists(dir / "out.wav"));
  for (int16_t v : Samples16(ReadFileBytes(dir / "out.wav"))) ASSERT_EQ(v, 0);

  // Found, but none of them a sample: the same.
  test::WriteTextFile(dir / "not-a-sample.wav", "text");
  MakeKit(dir / "not-a-sample.wav");
  r = RunThumper(args);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("could be read: "), std::string::npos) << r.err;

  // A song that plays no slot of a kit whose samples are there is no failure.
  MakeKit(dir / "snare.wav");
  WriteFileBytes(dir / "other.mid", Song({0x00, 0x90, 60, 100}));
  r = RunThumper({"render", dir / "kit.drums", dir / "other.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  // Nor a kit played only where it has a sample, with its other sample gone.
  MakeKit(dir / "snare.wav", "/nowhere/tom.wav");
  r = RunThumper({"render", dir / "kit.drums", dir / "other.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  // But the song does not matter when the kit has lost every sample.
  MakeKit("/nowhere/gone.wav");
  r = RunThumper({"render", dir / "kit.drums", dir / "other.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(r.status, 2) << r.err;

  // An empty drum set names no sample, so none is missing: silence, status 0.
  CThumperDoc empty;
  empty.OnNewDocument();
  ASSERT_TRUE(empty.OnSaveDocument(dir / "empty.drums", ui));
  r = RunThumper({"render", dir / "empty.drums", dir / "song.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
}

TEST_F(RenderTest, AKitGivenAsALinkFindsItsSamplesBesideTheRealFile) {
  // The drum set names its sample without a folder, as the demo kit does.
  namespace fs = std::filesystem;
  MakeKit("snare.wav", "tom.wav");
  test::WriteWav(dir / "tom.wav", std::vector<int16_t>(600, -7000));
  WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 38, 100, 0x83, 0x60, 0x90, 40, 90}));
  test::ProcessResult real =
      RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "real.wav"});
  ASSERT_EQ(real.status, 0) << real.err;
  const auto expected = ReadFileBytes(dir / "real.wav");

  fs::create_directories(dir / "session/externals");
  fs::create_directories(dir / "session/state2");
  fs::create_symlink(dir / "kit.drums", dir / "session/externals/kit.drums");
  fs::create_symlink("../externals/kit.drums", dir / "session/state2/link.drums");
  fs::create_directory_symlink(dir.path(), dir / "session/linked");
  for (const std::string& kit :
       {dir / "session/state2/link.drums", dir / "session/externals/kit.drums",
        dir / "session/linked/kit.drums"}) {
    auto r = RunThumper({"render", kit, dir / "song.mid", "-o", dir / "linked.wav"});
    EXPECT_EQ(r.status, 0) << kit << ": " << r.err;
    EXPECT_EQ(r.err, "") << kit;
    EXPECT_TRUE(ReadFileBytes(dir / "linked.wav") == expected) << kit;
  }
  // Given relative to the working folder, from the link's own folder.
  std::vector<std::string> argv{"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"",
                                dir / "session/state2"};
  for (const std::string& a :
       test::ThumperArgv({"render", "link.drums", dir / "song.mid", "-o", dir / "linked.wav"}))
    argv.push_back(a);
  auto r = test::RunProcess(argv);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(ReadFileBytes(dir / "linked.wav") == expected);
}

TEST_F(RenderTest, BadInputGivesAClearErrorAndStatusTwo) {
  MakeKit(dir / "snare.wav");
  WriteFileBytes(dir / "bad.mid", {'M', 'T', 'h', 'd', 0, 0});
  auto bad = RunThumper({"render", dir / "kit.drums", dir / "bad.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("bad.mid"), std::string::npos) << bad.err;
  EXPECT_FALSE(std::filesystem::exists(dir / "out.wav"));

  WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 38, 100}));
  auto noKit = RunThumper({"render", dir / "none.drums", dir / "song.mid", "-o", dir / "o.wav"});
  EXPECT_EQ(noKit.status, 2);
  EXPECT_NE(noKit.err.find("none.drums"), std::string::npos) << noKit.err;

  EXPECT_EQ(RunThumper({"render", dir / "kit.drums", dir / "song.mid"}).status, 1);
  EXPECT_EQ(RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "o.wav",
                        "--channel", "17"})
                .status,
            1);
}

}  // namespace
}  // namespace thumper
