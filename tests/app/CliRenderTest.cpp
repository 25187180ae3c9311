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
  // Slot 2 (note 38) plays a constant 10000 for 1000 frames.
  void MakeKit(const std::string& samplePath) {
    test::WriteWav(dir / "snare.wav", std::vector<int16_t>(2000, 10000));
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    *kit.m_pGroupList[0] = {samplePath};
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(2, l)] = 0;
    kit.m_layerSample[LayerIndex(2, 0)] = {0, 0};
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

TEST_F(RenderTest, AMissingSampleIsNamedAndTheRenderGoesOn) {
  MakeKit("/nowhere/gone.wav");
  WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 38, 100}));
  auto r = RunThumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "out.wav"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("gone.wav"), std::string::npos) << r.err;
  EXPECT_TRUE(std::filesystem::exists(dir / "out.wav"));
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
