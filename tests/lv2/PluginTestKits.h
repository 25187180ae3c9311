#pragma once
// Kits, songs and reference renders for the plugin's tests, all made here.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "LilvHost.h"
#include "drumset/CThumperDoc.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper::test {

// A decaying tone, different for every seed, as 16-bit frames of channels channels.
inline std::vector<int16_t> Tone(int frames, int seed, int channels = 2) {
  std::vector<int16_t> out;
  for (int i = 0; i < frames; ++i) {
    const double v = 20000.0 * std::exp(-3.0 * i / frames) * std::sin(0.01 * (seed + 3) * i + seed);
    for (int c = 0; c < channels; ++c)
      out.push_back(static_cast<int16_t>(std::lround(c ? -v / 2 : v)));
  }
  return out;
}

// A kit with a long kick on note 36 (slot 0), a snare of two velocity layers on
// note 38 (slot 2: layers 0-1 loud, 2-4 soft) and a hat on note 42 made from a
// mono file at 22,050 Hz. snareSeed changes the loud snare only. With
// bBareNames the drum set names its samples without their folder, as the demo
// kit does, so they are found beside the drum set.
inline void MakeKit(const TempDir& dir, const std::string& name, int snareSeed = 5,
                    bool bBareNames = false) {
  WriteWav(dir / "kick.wav", Tone(20000, 1));
  WriteWav(dir / (name + "-snare.wav"), Tone(6000, snareSeed));
  WriteWav(dir / "snare-soft.wav", Tone(5000, 9));
  WriteWav(dir / "hat.wav", Tone(1500, 13, 1), 1, 22050);
  CThumperDoc kit;
  kit.OnNewDocument();
  kit.m_pGroupNames->push_back("Kit");
  *kit.m_pGroupList[0] = {dir / "kick.wav", dir / (name + "-snare.wav"), dir / "snare-soft.wav",
                          dir / "hat.wav"};
  if (bBareNames)
    for (std::string& entry : *kit.m_pGroupList[0]) entry = entry.substr(entry.rfind('/') + 1);
  auto fill = [&](int slot, std::vector<int> sources) {
    for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(slot, l)] = sources[l];
  };
  fill(0, {0, 0, 0, 0, 0});
  kit.m_layerSample[LayerIndex(0, 0)] = {0, 0};
  fill(2, {0, 0, 2, 2, 2});
  kit.m_layerSample[LayerIndex(2, 0)] = {0, 1};
  kit.m_layerSample[LayerIndex(2, 2)] = {0, 2};
  fill(6, {0, 0, 0, 0, 0});
  kit.m_layerSample[LayerIndex(6, 0)] = {0, 3};
  ScriptedUi ui;
  ASSERT_TRUE(kit.OnSaveDocument(dir / (name + ".drums"), ui));
}

struct SongEventAt {
  uint32_t frame;
  uint8_t status, d1, d2;
};

// A format 0 file in which one tick is one frame at 44,100 Hz (441 ticks per
// quarter, 10 ms per quarter), so its events land on exactly these frames.
inline std::vector<uint8_t> SongFile(const std::vector<SongEventAt>& events) {
  std::vector<uint8_t> track = {0x00, 0xFF, 0x51, 0x03, 0x00, 0x27, 0x10};
  uint32_t last = 0;
  for (const SongEventAt& e : events) {
    uint32_t delta = e.frame - last;
    last = e.frame;
    uint8_t var[5];
    int n = 0;
    var[n++] = delta & 0x7F;
    while (delta >>= 7) var[n++] = 0x80 | (delta & 0x7F);
    while (n) track.push_back(var[--n]);
    track.insert(track.end(), {e.status, e.d1, e.d2});
  }
  track.insert(track.end(), {0x00, 0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                               0,   0,   1,   0x01, 0xB9, 'M', 'T', 'r', 'k'};
  const auto n = static_cast<uint32_t>(track.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(n >> shift));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

// What `thumper render --float` makes of events with kit, interleaved.
inline std::vector<float> RenderReference(const TempDir& dir, const std::string& kit,
                                          const std::vector<SongEventAt>& events) {
  WriteFileBytes(dir / "song.mid", SongFile(events));
  auto r = RunThumper({"render", kit, dir / "song.mid", "-o", dir / "reference.wav", "--float"});
  EXPECT_EQ(r.status, 0) << r.err;
  return FloatWavSamples(ReadFileBytes(dir / "reference.wav"));
}

// Plays events through the instance in blocks of the given sizes (taken in
// turn), for at least frames frames.
inline void PlayInBlocks(PluginInstance& plugin, const std::vector<SongEventAt>& events,
                         const std::vector<uint32_t>& blocks, uint32_t frames) {
  uint32_t pos = 0;
  size_t next = 0;
  for (size_t b = 0; pos < frames; ++b) {
    const uint32_t n = blocks[b % blocks.size()];
    std::vector<MidiAt> midi;
    for (; next < events.size() && events[next].frame < pos + n; ++next)
      midi.push_back(
          {events[next].frame - pos, events[next].status, events[next].d1, events[next].d2});
    plugin.Run(n, midi);
    pos += n;
  }
}

// A host of the plugin with kits "a" and "b" written (the same but for b's
// loud snare), and instances that play one of them.
class PluginWithKits : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Plugin()) << "the bundle was not found under " << THUMPER_LV2_DIR;
    MakeKit(dir, "a", 5);
    MakeKit(dir, "b", 77);
  }
  std::unique_ptr<PluginInstance> WithKit(const std::string& name, double rate = 44100) {
    auto plugin = host.Instantiate(rate);
    EXPECT_TRUE(plugin);
    if (!plugin) return nullptr;
    plugin->LoadKit(dir / (name + ".drums"));
    plugin->Left().clear();
    plugin->Right().clear();
    return plugin;
  }
  static bool Silent(const std::vector<float>& v, size_t from = 0) {
    for (size_t i = from; i < v.size(); ++i)
      if (v[i] != 0.0f) return false;
    return true;
  }

  TempDir dir;
  LilvHost host;
};

}  // namespace thumper::test
