// The plugin inside a host plays exactly what `thumper render --float` makes of
// the same kit and events: every hit at its frame, whatever the host's blocks.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "PluginTestKits.h"
#include "kits/KitTestSupport.h"

namespace thumper::test {
namespace {

// Hits on block edges and inside blocks, two at one frame, a quieter channel
// volume, velocities of both snare layers, the hat (converted from 22,050 Hz),
// and messages for another channel, which the plugin must ignore.
std::vector<SongEventAt> Groove() {
  return {
      {0, 0x90, 36, 127},     {63, 0x90, 38, 127},   {64, 0x90, 42, 100},   {999, 0x90, 38, 40},
      {1000, 0x90, 42, 127},  {1001, 0x80, 42, 0},   {2500, 0x91, 38, 127}, {3333, 0x90, 38, 127},
      {3333, 0x90, 42, 90},   {5000, 0xB0, 7, 80},   {5001, 0x90, 36, 110}, {7777, 0x90, 38, 20},
      {8191, 0x90, 42, 127},  {8192, 0x90, 42, 127}, {12000, 0xB1, 7, 10},  {12345, 0x90, 38, 127},
      {15000, 0x90, 36, 127}, {15000, 0x90, 38, 60},
  };
}

class PluginPlaysLikeRender : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Plugin()) << "the bundle was not found under " << THUMPER_LV2_DIR;
    MakeKit(dir, "kit");
    reference = RenderReference(dir, dir / "kit.drums", Groove());
    ASSERT_GT(reference.size(), 2u * 15000);
    ASSERT_NE(std::count(reference.begin(), reference.end(), 0.0f),
              static_cast<long>(reference.size()));
  }

  void ExpectSameAsRender(const std::vector<uint32_t>& blocks,
                          const std::string& kit = "kit.drums") {
    auto plugin = host.Instantiate(44100);
    ASSERT_TRUE(plugin);
    plugin->LoadKit(dir / kit);
    plugin->Left().clear();
    plugin->Right().clear();
    const uint32_t frames = static_cast<uint32_t>(reference.size() / 2) + 2000;
    PlayInBlocks(*plugin, Groove(), blocks, frames);
    const auto& l = plugin->Left();
    const auto& r = plugin->Right();
    size_t differing = 0, first = 0;
    for (size_t i = 0; i < l.size(); ++i) {
      const float wantL = 2 * i < reference.size() ? reference[2 * i] : 0.0f;
      const float wantR = 2 * i < reference.size() ? reference[2 * i + 1] : 0.0f;
      if (l[i] != wantL || r[i] != wantR) {
        if (differing++ == 0) first = i;
      }
    }
    EXPECT_EQ(differing, 0u) << "first difference at frame " << first << ": " << l[first] << " / "
                             << r[first] << " against " << reference[2 * first] << " / "
                             << reference[2 * first + 1];
    EXPECT_TRUE(plugin->AllLog().find("could not") == std::string::npos) << plugin->AllLog();
  }

  TempDir dir;
  LilvHost host;
  std::vector<float> reference;
};

TEST_F(PluginPlaysLikeRender, InBlocksOfOneFrame) {
  ExpectSameAsRender({1});
}

TEST_F(PluginPlaysLikeRender, InBlocksOf64Frames) {
  ExpectSameAsRender({64});
}

TEST_F(PluginPlaysLikeRender, InBlocksOf1000Frames) {
  ExpectSameAsRender({1000});
}

TEST_F(PluginPlaysLikeRender, InBlocksThatVaryFromCallToCall) {
  ExpectSameAsRender({1, 17, 64, 333, 1000, 5, 4096, 2, 999});
}

TEST_F(PluginPlaysLikeRender, AHydrogenKitPlaysItsRoundRobinPanAndMuteGroupAsItsRender) {
  // Notes 36, 38 and 42 are instruments 0, 2 and 6; the snare takes turns, the
  // hat is panned and cuts (and is cut by) instrument 5.
  std::vector<TestInstrument> list;
  for (int i = 0; i < 7; ++i)
    list.push_back({"I" + std::to_string(i), {{std::to_string(i) + ".wav"}}});
  list[2].layers = {{"snare a.wav"}, {"snare b.wav"}};
  list[2].settings = "<sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>";
  list[6].pan = 0.5;
  list[6].muteGroup = list[5].muteGroup = 1;
  MakeKitFolder(dir / "h2", "H2", list);
  reference = RenderReference(dir, dir / "h2", Groove());
  ASSERT_GT(reference.size(), 2u * 15000);
  ExpectSameAsRender({64}, "h2/drumkit.xml");
}

TEST_F(PluginPlaysLikeRender, AnSfzKitPlaysItsSequencePanHiHatAndChokesAsItsRender) {
  // The snare takes turns, the hat opens below CC 4's 64 (which stands at 0)
  // and chokes itself once closed, the kick is panned, and CC 7 is the kit's
  // volume control by sfizz's law.
  std::filesystem::create_directories(dir / "sfz");
  int16_t level = 1000;
  for (const char* name : {"kick.wav", "snare a.wav", "snare b.wav", "open.wav", "closed.wav"})
    WriteLevelWav(dir / ("sfz/" + std::string(name)), level += 700);
  WriteTextFile(dir / "sfz/kit.sfz",
                "<global> loop_mode=one_shot\n"
                "<region> key=36 pan=40 sample=kick.wav\n"
                "<group> key=38 seq_length=2\n"
                "<region> seq_position=1 sample=snare a.wav\n"
                "<region> seq_position=2 sample=snare b.wav\n"
                "<group> key=42 group=1 off_by=1 off_time=0.01\n"
                "<region> hicc4=63 sample=open.wav\n"
                "<region> locc4=64 sample=closed.wav\n");
  reference = RenderReference(dir, dir / "sfz/kit.sfz", Groove());
  ASSERT_GT(reference.size(), 2u * 15000);
  ExpectSameAsRender({64}, "sfz/kit.sfz");
  ExpectSameAsRender({1, 17, 333, 4096}, "sfz/kit.sfz");
}

TEST(PluginMultiOut, EachPairPlaysWhatTheStemsOfItsRenderHold) {
  // "Thumper Multi" in a host: pair k plays stem k of `thumper render --stems`,
  // sample for sample, and the main pair what nothing else holds.
  LilvHost multi(THUMPER_LV2_MULTI_URI);
  ASSERT_TRUE(multi.Plugin()) << "Thumper Multi is not in the bundle";
  EXPECT_EQ(lilv_plugin_get_num_ports(multi.Plugin()), 5u + 2 * 16 + 2);  // Memory, Freewheel
  TempDir dir;
  MakeKit(dir, "kit");
  WriteFileBytes(dir / "song.mid", SongFile(Groove()));
  auto r = RunThumper(
      {"render", dir / "kit.drums", dir / "song.mid", "--float", "--stems", dir / "stems"});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::pair<int, std::vector<float>>> stems;
  for (const auto& entry : std::filesystem::directory_iterator(dir / "stems")) {
    const std::string name = entry.path().filename().string();
    stems.push_back({std::stoi(name.substr(0, 2)), FloatWavSamples(ReadFileBytes(entry.path()))});
  }
  ASSERT_GE(stems.size(), 3u) << "kick, snare and hat each on a pair of their own";
  auto plugin = multi.Instantiate(44100);
  ASSERT_TRUE(plugin);
  plugin->LoadKit(dir / "kit.drums");
  plugin->Left().clear();
  plugin->Right().clear();
  for (int k = 1; k <= 16; ++k) plugin->MoreLeft(k).clear(), plugin->MoreRight(k).clear();
  const uint32_t frames = static_cast<uint32_t>(stems[0].second.size() / 2) + 2000;
  PlayInBlocks(*plugin, Groove(), {64, 333}, frames);
  for (const auto& [pair, want] : stems) {
    ASSERT_LE(pair, 16);
    const auto& l = pair == 0 ? plugin->Left() : plugin->MoreLeft(pair);
    const auto& rr = pair == 0 ? plugin->Right() : plugin->MoreRight(pair);
    size_t differing = 0;
    for (size_t i = 0; i < l.size(); ++i) {
      const float wantL = 2 * i < want.size() ? want[2 * i] : 0.0f;
      const float wantR = 2 * i < want.size() ? want[2 * i + 1] : 0.0f;
      differing += l[i] != wantL || rr[i] != wantR;
    }
    EXPECT_EQ(differing, 0u) << "pair " << pair;
  }
}

}  // namespace
}  // namespace thumper::test
