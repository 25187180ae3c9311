// `thumper import` of Hydrogen kits and `thumper kits`, as a user runs them,
// with a home folder of the test's own; and a render through an imported kit.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <nlohmann/json.hpp>
#include <set>

#include "audio/WaveFormat.h"
#include "kits/KitImport.h"
#include "kits/KitTestSupport.h"
#include "play/NoteTrigger.h"
#include "support/Process.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;
using test::TarEntry;
using test::TempDir;

class CliKitsTest : public ::testing::Test {
 protected:
  // thumper with HOME and the XDG folders inside the test's folder.
  test::ProcessResult Thumper(const std::vector<std::string>& args) {
    std::vector<std::string> argv{"/usr/bin/env", "HOME=" + dir / "home",
                                  "XDG_DATA_HOME=" + dir / "home/data",
                                  "XDG_DATA_DIRS=" + dir / "system"};
    for (const std::string& a : test::ThumperArgv(args)) argv.push_back(a);
    return test::RunProcess(argv);
  }
  nlohmann::json Info(const std::string& drums) {
    const auto r = Thumper({"info", drums});
    EXPECT_EQ(r.status, 0) << r.err;
    return nlohmann::json::parse(r.out);
  }
  void MakeKit(const std::string& folder) {
    test::MakeKitFolder(folder, "Two Layer Kit",
                        {{"Kick", {{"soft kick.wav", 0, 0.5}, {"hard kick.wav", 0.5, 1}}},
                         {"Snäre", {{"snäre.wav"}}}});
  }
  TempDir dir;
};

TEST_F(CliKitsTest, AFolderItsXmlAndItsArchiveImportAlike) {
  MakeKit(dir / "src/Two Layer Kit");
  auto folder = Thumper({"import", dir / "src/Two Layer Kit", "-o", dir / "a.drums"});
  ASSERT_EQ(folder.status, 0) << folder.err;
  EXPECT_NE(folder.err.find("Two Layer Kit: plays the sample Hydrogen plays for 100.0%"),
            std::string::npos)
      << folder.err;
  // Recognised by content: the XML under another name.
  fs::copy_file(dir / "src/Two Layer Kit/drumkit.xml", dir / "src/Two Layer Kit/kit.txt");
  auto xml = Thumper({"import", dir / "src/Two Layer Kit/kit.txt", "-o", dir / "b.drums"});
  ASSERT_EQ(xml.status, 0) << xml.err;
  EXPECT_EQ(test::ReadFileBytes(dir / "a.drums"), test::ReadFileBytes(dir / "b.drums"));

  const nlohmann::json set = Info(dir / "a.drums");
  EXPECT_EQ(set["groups"][0]["name"], "Two Layer Kit");
  EXPECT_EQ(set["groups"][0]["samples"][2], dir / "src/Two Layer Kit/snäre.wav");

  test::WriteTarGz(dir / "kit.json",
                   test::FolderEntries(dir / "src/Two Layer Kit", "Two Layer Kit"));
  auto archive = Thumper({"import", dir / "kit.json", "-o", dir / "c.drums"});
  ASSERT_EQ(archive.status, 0) << archive.err;
  const std::string unpacked = dir / "home/data/thumper/kits/Two Layer Kit";
  EXPECT_TRUE(fs::exists(unpacked + "/soft kick.wav"));
  EXPECT_EQ(Info(dir / "c.drums")["groups"][0]["samples"][0], unpacked + "/soft kick.wav");
  EXPECT_EQ(Info(dir / "c.drums")["slots"], set["slots"]);
}

TEST_F(CliKitsTest, BadKitsAndBadOptionsExitWithTheirStatus) {
  fs::create_directories(dir / "bad");
  test::WriteTextFile(dir / "bad/drumkit.xml", "<drumkit_info><instrumentList><instrument>");
  auto malformed = Thumper({"import", dir / "bad", "-o", dir / "x.drums"});
  EXPECT_EQ(malformed.status, 2);
  EXPECT_NE(malformed.err.find(dir / "bad/drumkit.xml"), std::string::npos) << malformed.err;
  EXPECT_FALSE(fs::exists(dir / "x.drums"));

  MakeKit(dir / "kit");  // no midiOutNote: --gm cannot place the instruments
  auto gm = Thumper({"import", dir / "kit", "-o", dir / "x.drums", "--gm"});
  EXPECT_EQ(gm.status, 1);
  EXPECT_NE(gm.err.find("midiOutNote"), std::string::npos) << gm.err;

  test::WriteTarGz(dir / "evil.h2drumkit",
                   {{"kit/drumkit.xml", test::FileText(dir / "kit/drumkit.xml")},
                    {"kit/../../../escaped.txt", "x"}});
  auto evil = Thumper({"import", dir / "evil.h2drumkit", "-o", dir / "x.drums"});
  EXPECT_EQ(evil.status, 2);
  EXPECT_NE(evil.err.find("kit/../../../escaped.txt"), std::string::npos) << evil.err;
  EXPECT_FALSE(fs::exists(dir / "x.drums"));
  EXPECT_FALSE(fs::exists(dir / "home/data/thumper/kits/kit"));
  EXPECT_FALSE(fs::exists(dir / "home/data/escaped.txt"));
  EXPECT_FALSE(fs::exists(dir / "home/escaped.txt"));
}

TEST_F(CliKitsTest, KitsListsWhatIsInstalledAndSaysSoWhenNothingIs) {
  auto none = Thumper({"kits"});
  EXPECT_EQ(none.status, 0) << none.err;
  EXPECT_NE(none.out.find("No Hydrogen drum kits found"), std::string::npos) << none.out;
  EXPECT_NE(none.out.find(dir / "home/.hydrogen/data/drumkits"), std::string::npos);

  MakeKit(dir / "system/hydrogen/data/drumkits/System Kit");
  MakeKit(dir / "home/.hydrogen/data/drumkits/Old Home Kit");
  MakeKit(dir / "home/data/thumper/kits/Unpacked");
  auto some = Thumper({"kits"});
  EXPECT_EQ(some.status, 0) << some.err;
  for (const std::string& path :
       {dir / "system/hydrogen/data/drumkits/System Kit",
        dir / "home/.hydrogen/data/drumkits/Old Home Kit", dir / "home/data/thumper/kits/Unpacked"})
    EXPECT_NE(some.out.find(path), std::string::npos) << some.out;
  // Name, 2 instruments, 3 layers, path.
  EXPECT_NE(some.out.find("Two Layer Kit            2       3  " + dir / "system"),
            std::string::npos)
      << some.out;
}

TEST_F(CliKitsTest, NotesNameEachInstrumentOrEachSlotsFirstLayer) {
  MakeKit(dir / "kit");
  const auto hydrogen = Thumper({"kits", "--notes", dir / "kit"});
  EXPECT_EQ(hydrogen.status, 0) << hydrogen.err;
  EXPECT_EQ(hydrogen.out, " 36  Kick\n 37  Snäre\n");
  // The drum set made of it names each slot by its layer-0 (loudest) sample.
  ASSERT_EQ(Thumper({"import", dir / "kit", "-o", dir / "kit.drums"}).status, 0);
  const auto drums = Thumper({"kits", "--notes", dir / "kit.drums"});
  EXPECT_EQ(drums.status, 0) << drums.err;
  EXPECT_EQ(drums.out, " 36  hard kick.wav\n 37  snäre.wav\n");

  EXPECT_EQ(Thumper({"kits", "--notes"}).status, 1);
  EXPECT_EQ(Thumper({"kits", "--notes", dir / "kit", "--loud"}).status, 1);
  const auto missing = Thumper({"kits", "--notes", dir / "none.drums"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_TRUE(missing.out.empty());
}

// A format 0 MIDI file at 480 ticks per quarter, 120 BPM: a tick is 1/960 s.
std::vector<uint8_t> Song(std::vector<uint8_t> track) {
  for (uint8_t b : {0x00, 0xFF, 0x2F, 0x00}) track.push_back(b);
  std::vector<uint8_t> file{'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                            0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
  const auto n = static_cast<uint32_t>(track.size());
  for (int shift = 24; shift >= 0; shift -= 8) file.push_back(static_cast<uint8_t>(n >> shift));
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

TEST_F(CliKitsTest, ARenderThroughAnImportedKitPlaysTheLayerOfTheVelocity) {
  MakeKit(dir / "kit");
  test::WriteLevelWav(dir / "kit/soft kick.wav", 1000, 1000);
  test::WriteLevelWav(dir / "kit/hard kick.wav", 20000, 1000);
  auto imp = Thumper({"import", dir / "kit/drumkit.xml", "-o", dir / "kit.drums"});
  ASSERT_EQ(imp.status, 0) << imp.err;
  // Note 36 at velocity 40 (soft layer, 40/127 < 0.5) at frame 0, then at
  // velocity 100 (hard layer) half a second later.
  test::WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 36, 40, 0x83, 0x60, 0x90, 36, 100}));
  auto render = Thumper({"render", dir / "kit.drums", dir / "song.mid", "-o", dir / "out.wav"});
  ASSERT_EQ(render.status, 0) << render.err;
  const auto wav = test::ReadFileBytes(dir / "out.wav");
  ASSERT_GT(wav.size(), 44u + 4 * 22060);
  auto at = [&](int frame) {
    int16_t s = 0;
    std::memcpy(&s, wav.data() + 44 + 4 * frame, 2);
    return s;
  };
  const int32_t volume = HydrogenVolumeScaling();
  auto level = [&](int base, int velocity) {
    return static_cast<int>(
        std::lround(base * GainOfAttenuation(NoteAttenuation(volume, 127, velocity))));
  };
  EXPECT_EQ(at(10), level(1000, 40));
  EXPECT_EQ(at(22050 + 10), level(20000, 100));
}

TEST_F(CliKitsTest, RenderAndPlayPlayAHydrogenKitAsHydrogenDoes) {
  // The folder and its drumkit.xml render alike, each hit at Hydrogen's level
  // (velocity / 127 of the layer), not the drum set's attenuation.
  MakeKit(dir / "kit");
  test::WriteLevelWav(dir / "kit/soft kick.wav", 1000, 1000);
  test::WriteLevelWav(dir / "kit/hard kick.wav", 20000, 1000);
  test::WriteLevelWav(dir / "kit/snäre.wav", 3000, 500);
  test::WriteFileBytes(dir / "song.mid",
                       Song({0x00, 0x90, 36, 40, 0x83, 0x60, 0x90, 37, 100, 0x00, 0x90, 36, 100}));
  const auto r = Thumper({"render", dir / "kit", dir / "song.mid", "-o", dir / "folder.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto wav = test::ReadFileBytes(dir / "folder.wav");
  ASSERT_GT(wav.size(), 44u + 4 * 22100);
  auto at = [&](int frame) {
    int16_t s = 0;
    std::memcpy(&s, wav.data() + 44 + 4 * frame, 2);
    return s;
  };
  EXPECT_NEAR(at(10), 1000 * 40 / 127.0, 1);
  EXPECT_NEAR(at(22050 + 10), (20000 + 3000) * 100 / 127.0, 1);
  const auto xml =
      Thumper({"render", dir / "kit/drumkit.xml", dir / "song.mid", "-o", dir / "xml.wav"});
  ASSERT_EQ(xml.status, 0) << xml.err;
  EXPECT_TRUE(test::ReadFileBytes(dir / "xml.wav") == wav);

  // What is not a kit at all is refused as any unreadable drum set is.
  test::WriteTextFile(dir / "nothing.xml", "<drumkit_info></drumkit_info>");
  auto bad = Thumper({"render", dir / "nothing.xml", dir / "song.mid", "-o", dir / "x.wav"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_FALSE(fs::exists(dir / "x.wav"));
  bad = Thumper({"play", dir / "no such kit", "--driver", "0"});
  EXPECT_EQ(bad.status, 2) << bad.err;
}

TEST_F(CliKitsTest, AHydrogenKitGivenThroughALinkRendersAsTheKitItself) {
  // A DAW saves the kit the user chose as a link in its session; a kit may also
  // be reached through a linked folder.
  MakeKit(dir / "kits/kit");
  test::WriteLevelWav(dir / "kits/kit/soft kick.wav", 1000, 1000);
  test::WriteLevelWav(dir / "kits/kit/hard kick.wav", 20000, 1000);
  test::WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 36, 40, 0x83, 0x60, 0x90, 36, 100}));
  auto r = Thumper({"render", dir / "kits/kit", dir / "song.mid", "-o", dir / "direct.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  const auto direct = test::ReadFileBytes(dir / "direct.wav");

  fs::create_directories(dir / "session/externals");
  fs::create_directories(dir / "session/state2");
  fs::create_symlink(dir / "kits/kit/drumkit.xml", dir / "session/externals/drumkit.xml");
  fs::create_symlink("../externals/drumkit.xml", dir / "session/state2/drumkit.xml");
  fs::create_directory_symlink(dir / "kits/kit", dir / "session/kit folder");
  fs::create_directory_symlink(dir / "kits", dir / "linked kits");
  test::WriteTarGz(dir / "kits/kit.h2drumkit", test::FolderEntries(dir / "kits/kit", "kit"));
  fs::create_symlink(dir / "kits/kit.h2drumkit", dir / "session/state2/kit.h2drumkit");
  for (const std::string& source :
       {dir / "session/state2/drumkit.xml", dir / "session/externals/drumkit.xml",
        dir / "session/kit folder", dir / "session/kit folder/drumkit.xml",
        dir / "linked kits/kit/drumkit.xml", dir / "session/state2/kit.h2drumkit"}) {
    r = Thumper({"render", source, dir / "song.mid", "-o", dir / "linked.wav"});
    EXPECT_EQ(r.status, 0) << source << ": " << r.err;
    EXPECT_EQ(r.err.find("missing"), std::string::npos) << source << ": " << r.err;
    EXPECT_TRUE(test::ReadFileBytes(dir / "linked.wav") == direct) << source;
  }
}

// Hits of note 36 every 0.1 s (96 ticks), at full velocity, and the level of each in a render.
std::vector<uint8_t> Hits(int count, int note = 36) {
  std::vector<uint8_t> track;
  for (int i = 0; i < count; ++i) {
    const std::vector<uint8_t> hit{uint8_t(i ? 0x60 : 0x00), 0x90, uint8_t(note), 127};
    track.insert(track.end(), hit.begin(), hit.end());
  }
  return Song(track);
}

std::vector<int> HitLevels(const std::vector<uint8_t>& wav, int count) {
  std::vector<int> levels;
  for (int i = 0; i < count; ++i) {
    int16_t s = 0;
    const size_t at = 44 + 4 * (size_t(i) * 4410 + 10);
    if (at + 2 <= wav.size()) std::memcpy(&s, wav.data() + at, 2);
    levels.push_back(s);
  }
  return levels;
}

TEST_F(CliKitsTest, ARenderPlaysHydrogensRoundRobinAndItsRandomChoiceByTheSeed) {
  test::TestInstrument turns{"Snare", {{"a.wav"}, {"b.wav"}, {"c.wav"}}};
  turns.settings = "<sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>";
  test::TestInstrument chance{"Ride", {{"d.wav"}, {"e.wav"}, {"f.wav"}, {"g.wav"}}};
  chance.settings = "<sampleSelectionAlgo>RANDOM</sampleSelectionAlgo>";
  test::MakeKitFolder(dir / "kit", "Turns", {turns, chance});
  test::WriteFileBytes(dir / "rr.mid", Hits(6));
  auto r = Thumper({"render", dir / "kit", dir / "rr.mid", "-o", dir / "rr.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  // Hydrogen's counter moves before it picks: the first hit plays the second layer.
  EXPECT_EQ(HitLevels(test::ReadFileBytes(dir / "rr.wav"), 6),
            (std::vector<int>{200, 300, 100, 200, 300, 100}));

  test::WriteFileBytes(dir / "random.mid", Hits(12, 37));
  auto render = [&](const std::string& seed, const std::string& out) {
    std::vector<std::string> args{"render", dir / "kit", dir / "random.mid", "-o", dir / out};
    if (!seed.empty()) args.insert(args.end(), {"--seed", seed});
    const auto run = Thumper(args);
    EXPECT_EQ(run.status, 0) << run.err;
    return test::ReadFileBytes(dir / out);
  };
  const auto seed0 = render("", "a.wav");
  EXPECT_TRUE(render("0", "b.wav") == seed0) << "the seed is 0 when not given";
  const auto seed7 = render("7", "c.wav");
  EXPECT_TRUE(render("7", "d.wav") == seed7);
  EXPECT_FALSE(seed7 == seed0);
  std::set<int> files;
  for (int level : HitLevels(seed7, 12)) {
    EXPECT_TRUE(level == 400 || level == 500 || level == 600 || level == 700) << level;
    files.insert(level);
  }
  EXPECT_GT(files.size(), 1u);
  EXPECT_EQ(
      Thumper({"render", dir / "kit", dir / "random.mid", "-o", dir / "x.wav", "--seed", "-1"})
          .status,
      1);
}

TEST_F(CliKitsTest, StemsKeepEachInstrumentApartAndAddUpToThePlainRender) {
  MakeKit(dir / "kit");
  test::WriteFileBytes(dir / "song.mid",
                       Song({0x00, 0x90, 36, 100, 0x60, 0x90, 37, 90, 0x00, 0x90, 36, 30}));
  auto plain = Thumper({"render", dir / "kit", dir / "song.mid", "--float", "-o", dir / "all.wav"});
  ASSERT_EQ(plain.status, 0) << plain.err;
  auto stems = Thumper({"render", dir / "kit", dir / "song.mid", "--float", "--stems", dir / "st"});
  ASSERT_EQ(stems.status, 0) << stems.err;
  std::vector<std::string> files;
  for (const auto& entry : fs::directory_iterator(dir / "st"))
    files.push_back(entry.path().filename().string());
  std::sort(files.begin(), files.end());
  // Instrument i on pair i + 1; nothing plays on the main pair.
  EXPECT_EQ(files, (std::vector<std::string>{"01-Kick.wav", "02-Snäre.wav"}));
  const auto all = test::FloatWavSamples(test::ReadFileBytes(dir / "all.wav"));
  const auto kick = test::FloatWavSamples(test::ReadFileBytes(dir / "st/01-Kick.wav"));
  const auto snare = test::FloatWavSamples(test::ReadFileBytes(dir / "st/02-Snäre.wav"));
  ASSERT_EQ(kick.size(), all.size());
  ASSERT_EQ(snare.size(), all.size());
  size_t sounding = 0;
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_NEAR(kick[i] + snare[i], all[i], 1e-6) << i;
    sounding += kick[i] != 0 && snare[i] != 0;
  }
  EXPECT_GT(sounding, 0u) << "both stems sound at once somewhere";

  auto both = Thumper(
      {"render", dir / "kit", dir / "song.mid", "-o", dir / "x.wav", "--stems", dir / "st2"});
  EXPECT_EQ(both.status, 1);
  EXPECT_FALSE(fs::exists(dir / "st2"));
}

TEST_F(CliKitsTest, TheGmNoteMapPlaysGeneralMidiNotesOnAHydrogenKitsOwnNotes) {
  // Kick and snare on notes 36 and 37, standing for GM 36 and 38.
  test::TestInstrument kick{"Kick", {{"kick.wav"}}};
  kick.midiOutNote = 36;
  test::TestInstrument snare{"Snare", {{"snare.wav"}}};
  snare.midiOutNote = 38;
  test::MakeKitFolder(dir / "kit", "GM", {kick, snare});
  // GM 38 (the snare) first, then GM 37 (no instrument stands for it).
  test::WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 38, 127, 0x60, 0x90, 37, 127}));
  auto r =
      Thumper({"render", dir / "kit", dir / "song.mid", "-o", dir / "gm.wav", "--note-map", "gm"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(HitLevels(test::ReadFileBytes(dir / "gm.wav"), 2), (std::vector<int>{200, 0}));
  // Without the map note 37 is the snare itself.
  r = Thumper({"render", dir / "kit", dir / "song.mid", "-o", dir / "plain.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(HitLevels(test::ReadFileBytes(dir / "plain.wav"), 2), (std::vector<int>{0, 200}));
}

TEST_F(CliKitsTest, AKitPastItsMemoryBudgetStreamsFromDiskAndOneThatFitsNoWayIsRefused) {
  MakeKit(dir / "kit");
  test::WriteLevelWav(dir / "kit/hard kick.wav", 20000, 400000);  // 1.6 MB as it plays
  test::WriteFileBytes(dir / "song.mid", Song({0x00, 0x90, 36, 100}));
  auto whole = Thumper({"render", dir / "kit", dir / "song.mid", "-o", dir / "a.wav"});
  ASSERT_EQ(whole.status, 0) << whole.err;
  auto streamed =
      Thumper({"render", dir / "kit", dir / "song.mid", "-o", dir / "b.wav", "--memory", "1"});
  ASSERT_EQ(streamed.status, 0) << streamed.err;
  EXPECT_NE(streamed.err.find("1 of its samples play from disk"), std::string::npos)
      << streamed.err;
  EXPECT_EQ(test::ReadFileBytes(dir / "b.wav"), test::ReadFileBytes(dir / "a.wav"));
  EXPECT_EQ(Thumper({"render", dir / "kit", dir / "song.mid", "-o", dir / "c.wav", "--memory", "0"})
                .status,
            1);

  // Forty samples whose heads alone take more than a megabyte, all played.
  std::string sfz;
  std::vector<uint8_t> hits;
  for (int i = 0; i < 40; ++i) {
    hits.insert(hits.end(), {0x00, 0x90, uint8_t(30 + i), 100});
    test::WriteLevelWav(dir / ("long" + std::to_string(i) + ".wav"), 1000, 10000);
    sfz += "<region> key=" + std::to_string(30 + i) + " sample=long" + std::to_string(i) + ".wav\n";
  }
  test::WriteTextFile(dir / "big.sfz", sfz);
  test::WriteFileBytes(dir / "all.mid", Song(hits));
  auto big =
      Thumper({"render", dir / "big.sfz", dir / "all.mid", "-o", dir / "d.wav", "--memory", "1"});
  EXPECT_EQ(big.status, 2);
  EXPECT_NE(big.err.find("when the largest stream from disk, and its memory budget is 1 MB"),
            std::string::npos)
      << big.err;
  EXPECT_FALSE(fs::exists(dir / "d.wav"));
}

TEST_F(CliKitsTest, ControllersInAMidiFileMoveAnSfzHiHatInARender) {
  // The pedal's CC 4 from the song picks the open or the closed hat.
  test::WriteLevelWav(dir / "closed.wav", 1000);
  test::WriteLevelWav(dir / "open.wav", 3000);
  test::WriteTextFile(dir / "hat.sfz",
                      "<group> key=42\n<region> sample=closed.wav locc4=0 hicc4=63\n"
                      "<region> sample=open.wav locc4=64 hicc4=127\n");
  test::WriteFileBytes(dir / "song.mid", Song({0x00, 0xB0, 4, 100, 0x00, 0x90, 42, 127, 0x60, 0xB0,
                                               4, 0, 0x00, 0x90, 42, 127}));
  auto r = Thumper({"render", dir / "hat.sfz", dir / "song.mid", "-o", dir / "hat.wav"});
  ASSERT_EQ(r.status, 0) << r.err;
  const std::vector<int> levels = HitLevels(test::ReadFileBytes(dir / "hat.wav"), 2);
  ASSERT_GT(levels[1], 0);
  EXPECT_NEAR(double(levels[0]) / levels[1], 3.0, 0.02) << levels[0] << " " << levels[1];
}

}  // namespace
}  // namespace thumper
