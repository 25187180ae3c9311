// The demo kit that the build makes (build/demo): the groove reads back as the
// song it should be, the drum set keeps the model's rules, and the samples are
// clean 16-bit stereo whose softer layers are quieter and darker.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>

#include "drumset/DrumsFile.h"
#include "midi/MidiFile.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

namespace fs = std::filesystem;

fs::path DemoDir() {
  return fs::path(THUMPER_BINARY).parent_path() / "demo";
}

class DemoKit : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(DemoDir() / "demo.drums")) {
      GTEST_SKIP() << "the demo kit has not been made; build the demo_kit target";
    }
  }
};

struct Pcm {
  std::vector<int16_t> samples;  // interleaved stereo
  bool canonical = false;
};

Pcm ReadPcm(const fs::path& path) {
  const std::vector<uint8_t> b = ReadFileBytes(path.string());
  Pcm pcm;
  auto le32 = [&](size_t at) {
    return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24);
  };
  if (b.size() < 44) return pcm;
  const std::vector<uint8_t> fmt = {1, 0, 2, 0, 0x44, 0xAC, 0, 0, 0x10, 0xB1, 2, 0, 4, 0, 16, 0};
  pcm.canonical = std::equal(fmt.begin(), fmt.end(), b.begin() + 20) && le32(40) == b.size() - 44 &&
                  le32(4) == b.size() - 8;
  pcm.samples.resize((b.size() - 44) / 2);
  std::memcpy(pcm.samples.data(), &b[44], pcm.samples.size() * 2);
  return pcm;
}

double Rms(const std::vector<int16_t>& s) {
  double sum = 0;
  for (int16_t x : s) sum += double(x) * x;
  return std::sqrt(sum / double(s.size()));
}

// How much of the sound is in its fast changes: a stand-in for brightness.
double Brightness(const std::vector<int16_t>& s) {
  double diff = 0, level = 0;
  for (size_t i = 2; i < s.size(); i += 2) {
    diff += std::abs(double(s[i]) - s[i - 2]);
    level += std::abs(double(s[i]));
  }
  return diff / level;
}

TEST_F(DemoKit, DrumSetHoldsEveryInstrumentWithItsLayers) {
  std::optional<DrumSet> set = ParseDrumSet(ReadFileBytes((DemoDir() / "demo.drums").string()));
  ASSERT_TRUE(set);
  ASSERT_EQ(set->GroupCount(), 1);
  EXPECT_EQ((*set->m_pGroupNames)[0], "Demo Kit");
  EXPECT_EQ(set->m_nMidiInDevice, 0);
  const StringList& entries = *set->m_pGroupList[0];
  for (const std::string& name : entries) {
    EXPECT_EQ(name.find('/'), std::string::npos) << "stored as a bare name: " << name;
    EXPECT_TRUE(fs::exists(DemoDir() / name)) << name;
  }
  const std::map<int, int> layersOfNote = {{36, 4}, {37, 3}, {38, 4}, {39, 3}, {42, 4}, {45, 3},
                                           {46, 3}, {47, 3}, {49, 3}, {50, 3}, {51, 3}};
  for (int slot = 0; slot < kSlotCount; ++slot) {
    auto found = layersOfNote.find(slot + 36);
    const int own = found == layersOfNote.end() ? 0 : found->second;
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const int i = LayerIndex(slot, layer);
      if (own == 0) {
        EXPECT_EQ(set->m_nLayerSource[i], -1);
        continue;
      }
      EXPECT_EQ(set->m_nLayerSource[i], std::min(layer, own - 1)) << "slot " << slot;
      EXPECT_EQ(set->m_layerSample[i].IsSet(), layer < own) << "slot " << slot;
    }
  }
  EXPECT_EQ(set->m_noteSlot[42 - 36].nCutNote, 46 - 36);
  EXPECT_EQ(set->m_noteSlot[46 - 36].nCutNote, -1);
}

TEST_F(DemoKit, SamplesAreCleanAndSofterLayersQuieterAndDarker) {
  std::optional<DrumSet> set = ParseDrumSet(ReadFileBytes((DemoDir() / "demo.drums").string()));
  ASSERT_TRUE(set);
  const StringList& entries = *set->m_pGroupList[0];
  for (int slot = 0; slot < kSlotCount; ++slot) {
    double lastRms = 1e9, lastBrightness = 1e9;
    for (int layer = 0; layer < kLayerCount; ++layer) {
      const LayerSampleRef ref = set->m_layerSample[LayerIndex(slot, layer)];
      if (!ref.IsSet()) continue;
      const std::string name = entries[ref.nIndex];
      const Pcm pcm = ReadPcm(DemoDir() / name);
      ASSERT_TRUE(pcm.canonical) << name;
      ASSERT_GT(pcm.samples.size(), 2000u) << name;
      EXPECT_LE(pcm.samples.size() / 2, 44100u * 5 / 2) << name << " is longer than 2.5 s";
      int peak = 0;
      double sum = 0;
      for (int16_t s : pcm.samples) {
        peak = std::max(peak, std::abs(int(s)));
        sum += s;
      }
      EXPECT_LT(peak, 32768 * 6 / 10) << name;
      EXPECT_LT(std::abs(sum / double(pcm.samples.size())), 30.0) << name << " has DC";
      EXPECT_EQ(pcm.samples.end()[-1], 0) << name << " ends with a click";
      EXPECT_EQ(pcm.samples.end()[-2], 0) << name << " ends with a click";
      const double rms = Rms(pcm.samples), brightness = Brightness(pcm.samples);
      EXPECT_LT(rms, lastRms * 0.9) << name << " is not quieter than the layer above";
      EXPECT_LT(brightness, lastBrightness) << name << " is not darker than the layer above";
      lastRms = rms;
      lastBrightness = brightness;
    }
  }
}

TEST_F(DemoKit, GrooveIsAMinuteOnChannelOneThroughTheKit) {
  MidiFileResult result = ReadMidiFile(DemoDir() / "demo.mid");
  ASSERT_TRUE(result.ok()) << result.message;
  const MidiSong& song = result.song;
  EXPECT_NEAR(song.endSeconds, 60.0, 1e-3);  // 112 BPM is 535714 us a beat, not a round number
  const std::set<int> kitNotes = {36, 37, 38, 39, 42, 45, 46, 47, 49, 50, 51};
  std::map<int, std::set<int>> layersOfNote;  // note -> layers hit under scheme 2
  std::vector<double> crashes;
  int openThenClosed = 0;
  bool openRinging = false;
  for (const MidiFileEvent& e : song.events) {
    ASSERT_TRUE(e.Status() == 0x90 || e.Status() == 0x80) << std::hex << e.message;
    if (e.Status() != 0x90) continue;
    ASSERT_TRUE(kitNotes.count(e.Data1())) << int(e.Data1());
    ASSERT_GT(e.Data2(), 0);
    const int v = e.Data2();
    layersOfNote[e.Data1()].insert(v > 100 ? 0 : v > 65 ? 1 : v > 40 ? 2 : v > 20 ? 3 : 4);
    if (e.Data1() == 49) crashes.push_back(e.seconds);
    if (e.Data1() == 46) openRinging = true;
    if (e.Data1() == 42 && openRinging) {
      ++openThenClosed;
      openRinging = false;
    }
    EXPECT_LT(e.seconds, 58.5) << "the last hit leaves time to ring out";
  }
  EXPECT_EQ(layersOfNote[42], (std::set<int>{0, 1, 2, 3}));  // hat dynamics across all layers
  EXPECT_EQ(layersOfNote[38], (std::set<int>{0, 1, 2, 3}));  // the roll and the ghost notes
  EXPECT_GE(openThenClosed, 10);
  const double bar = 4 * 0.535714;
  for (int section : {0, 8, 16, 24}) {
    EXPECT_TRUE(std::any_of(crashes.begin(), crashes.end(),
                            [&](double t) { return std::abs(t - section * bar) < 1e-9; }))
        << "no crash on bar " << section + 1;
  }
}

}  // namespace
}  // namespace thumper::test
