// `thumper info` and `thumper import` as a user runs them.

#include <gtest/gtest.h>

#include <filesystem>
#include <nlohmann/json.hpp>

#include "drumset/DrumsFile.h"
#include "support/Process.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using test::ReadFileBytes;
using test::RunThumper;
using test::TempDir;
using test::WriteFileBytes;
using test::WriteTextFile;

DrumSet UnusualSet() {
  DrumSet set;
  set.m_nMidiInDevice = 7;
  set.m_pGroupNames->push_back("Kicks");
  set.m_pGroupNames->push_back(std::string(300, 'n'));
  set.m_pGroupNames->push_back("");
  set.m_pGroupList[0] = std::make_unique<StringList>(StringList{"/k/a.wav", "C:\\old\\b.wav"});
  set.m_pGroupList[1] =
      std::make_unique<StringList>(StringList{std::string(254, 'p'), std::string(255, 'q')});
  set.m_pGroupList[2] = std::make_unique<StringList>(StringList{"/\xC3\xA9t\xC3\xA9.wav"});
  for (int s = 0; s < kSlotCount; ++s) {
    set.m_noteSlot[s] = {s - 1, s % 7, -s * 61, s * 3, -s};
    for (int l = 0; l < kLayerCount; ++l) {
      const int k = LayerIndex(s, l);
      set.m_layerSample[k] = {(s + l) % 4 - 1, s * l - 2};
      set.m_nLayerSource[k] = (s * 7 + l) % 6 - 1;
    }
  }
  set.m_nVelocityThreshold[2] = {127, 0, -5, 1000};
  return set;
}

TEST(CliRoundTrip, InfoThenImportReproducesTheFileByteForByte) {
  TempDir dir;
  const auto original = SerializeDrumSet(UnusualSet());
  WriteFileBytes(dir / "kit.drums", original);
  auto info = RunThumper({"info", dir / "kit.drums"});
  ASSERT_EQ(info.status, 0) << info.err;
  WriteTextFile(dir / "kit.json", info.out);
  auto imp = RunThumper({"import", dir / "kit.json", "-o", dir / "copy.drums"});
  ASSERT_EQ(imp.status, 0) << imp.err;
  EXPECT_EQ(ReadFileBytes(dir / "copy.drums"), original);
}

TEST(CliRoundTrip, NewDrumSetWithOneEmptyGroupRoundTrips) {
  TempDir dir;
  DrumSet set;
  set.m_nMidiInDevice = 1;
  set.m_pGroupNames->push_back("New Group");
  const auto original = SerializeDrumSet(set);
  ASSERT_EQ(original.size(), 10358u);
  WriteFileBytes(dir / "kit.drums", original);
  auto info = RunThumper({"info", dir / "kit.drums"});
  ASSERT_EQ(info.status, 0) << info.err;
  auto imp = RunThumper({"import", "-", "-o", dir / "copy.drums"}, info.out);
  ASSERT_EQ(imp.status, 0) << imp.err;
  EXPECT_EQ(ReadFileBytes(dir / "copy.drums"), original);
}

TEST(CliInfo, PrintsTheDocumentedShape) {
  TempDir dir;
  WriteFileBytes(dir / "kit.drums", SerializeDrumSet(UnusualSet()));
  auto info = RunThumper({"info", dir / "kit.drums"});
  ASSERT_EQ(info.status, 0) << info.err;
  auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["midiInDevice"], 7);
  ASSERT_EQ(j["groups"].size(), 3u);
  EXPECT_EQ(j["groups"][0]["name"], "Kicks");
  EXPECT_EQ(j["groups"][0]["samples"][1], "C:\\old\\b.wav");
  ASSERT_EQ(j["slots"].size(), 128u);
  EXPECT_EQ(j["slots"][5]["cutNote"], 4);
  EXPECT_EQ(j["slots"][5]["scheme"], 5);
  EXPECT_EQ(j["slots"][5]["volume"], -305);
  EXPECT_EQ(j["slots"][5]["reserved1"], 15);
  EXPECT_EQ(j["slots"][5]["reserved2"], -5);
  ASSERT_EQ(j["slots"][5]["layers"].size(), 5u);
  EXPECT_EQ(j["slots"][5]["layers"][2]["group"], (5 + 2) % 4 - 1);
  EXPECT_EQ(j["slots"][5]["layers"][2]["index"], 8);
  EXPECT_EQ(j["slots"][5]["layers"][2]["source"], (35 + 2) % 6 - 1);
  ASSERT_EQ(j["velocityThresholds"].size(), 5u);
  EXPECT_EQ(j["velocityThresholds"][2], nlohmann::json({127, 0, -5, 1000}));
  EXPECT_EQ(j["velocityThresholds"][4], nlohmann::json({120, 105, 75, 40}));
  // The keys come in the documented order.
  EXPECT_LT(info.out.find("\"midiInDevice\""), info.out.find("\"groups\""));
  EXPECT_LT(info.out.find("\"groups\""), info.out.find("\"slots\""));
  EXPECT_LT(info.out.find("\"slots\""), info.out.find("\"velocityThresholds\""));
}

TEST(CliInfo, TextThatIsNotUtf8KeepsItsBytesAndReadsAsWindows1252) {
  TempDir dir;
  DrumSet set;
  set.m_pGroupNames->push_back("Caf\xE9 \x80");
  set.m_pGroupNames->push_back("Plain \xC3\xA9");
  set.m_pGroupList[0]->push_back("C:\\t\xF6ne\\\x93kick\x94.wav");
  // Every byte value, the five Windows-1252 leaves unassigned included.
  std::string all;
  for (int b = 1; b < 256; ++b) all.push_back(static_cast<char>(b));
  set.m_pGroupList[0]->push_back(all);
  set.m_pGroupList[1] = std::make_unique<StringList>(StringList{"/k/b\xC3\xA4ss.wav"});
  const auto original = SerializeDrumSet(set);
  WriteFileBytes(dir / "kit.drums", original);
  auto info = RunThumper({"info", dir / "kit.drums"});
  ASSERT_EQ(info.status, 0) << info.err;
  auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["groups"][0]["name"]["bytes-cp1252"], "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(j["groups"][0]["samples"][0]["bytes-cp1252"],
            "C:\\t\xC3\xB6ne\\\xE2\x80\x9Ckick\xE2\x80\x9D.wav");
  // Valid UTF-8 stays a plain string.
  EXPECT_EQ(j["groups"][1]["name"], "Plain \xC3\xA9");
  EXPECT_EQ(j["groups"][1]["samples"][0], "/k/b\xC3\xA4ss.wav");

  auto imp = RunThumper({"import", "-", "-o", dir / "copy.drums"}, info.out);
  ASSERT_EQ(imp.status, 0) << imp.err;
  EXPECT_EQ(ReadFileBytes(dir / "copy.drums"), original);
}

TEST(CliImport, Windows1252TextMustBeAStringOfItsCharacters) {
  TempDir dir;
  for (const char* bad :
       {R"({"groups":[{"name":{"bytes-cp1252":"\u4e2d"}}]})",
        R"({"groups":[{"name":{"bytes-cp1252":7}}]})", R"({"groups":[{"name":{"utf16":"x"}}]})"}) {
    WriteTextFile(dir / "bad.json", bad);
    auto r = RunThumper({"import", dir / "bad.json", "-o", dir / "bad.drums"});
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("groups[0].name"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir / "bad.drums"));
  }
}

TEST(CliInfo, AZeroLengthFileLoadsNothing) {
  TempDir dir;
  WriteFileBytes(dir / "empty.drums", {});
  auto info = RunThumper({"info", dir / "empty.drums"});
  ASSERT_EQ(info.status, 0) << info.err;
  auto j = nlohmann::json::parse(info.out);
  EXPECT_EQ(j["groups"].size(), 0u);
  EXPECT_EQ(j["slots"][0]["volume"], -4000);
}

TEST(CliErrors, MissingOrDamagedFilesGiveStatusTwoAndNameTheFile) {
  TempDir dir;
  auto missing = RunThumper({"info", dir / "nope.drums"});
  EXPECT_EQ(missing.status, 2);
  EXPECT_NE(missing.err.find("nope.drums"), std::string::npos);
  EXPECT_EQ(missing.out, "");

  auto bytes = SerializeDrumSet(UnusualSet());
  bytes.resize(bytes.size() - 1);
  WriteFileBytes(dir / "cut.drums", bytes);
  auto cut = RunThumper({"info", dir / "cut.drums"});
  EXPECT_EQ(cut.status, 2);
  EXPECT_NE(cut.err.find("cut.drums: Unexpected file format."), std::string::npos) << cut.err;

  WriteTextFile(dir / "bad.json", "{\"groups\": [");
  auto bad = RunThumper({"import", dir / "bad.json", "-o", dir / "out.drums"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("bad.json"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(dir / "out.drums"));

  WriteTextFile(dir / "ok.json", "{}");
  auto unwritable = RunThumper({"import", dir / "ok.json", "-o", dir / "no/such/dir/out.drums"});
  EXPECT_EQ(unwritable.status, 2);
  EXPECT_NE(unwritable.err.find("out.drums"), std::string::npos);

  // A note map that cannot be read stops play before anything opens.
  auto map = RunThumper({"play", dir / "ok.json", "--note-map", dir / "pads.map"});
  EXPECT_EQ(map.status, 2);
  EXPECT_NE(map.err.find("pads.map: cannot be opened (a note map is a file or one of: vdrums, gm)"),
            std::string::npos)
      << map.err;
}

TEST(CliErrors, BadUsageGivesStatusOne) {
  EXPECT_EQ(RunThumper({"info"}).status, 1);
  EXPECT_EQ(RunThumper({"info", "a.drums", "b.drums"}).status, 1);
  EXPECT_EQ(RunThumper({"import", "kit.json"}).status, 1);
  EXPECT_EQ(RunThumper({"import", "kit.json", "-o"}).status, 1);
  EXPECT_EQ(RunThumper({"play", "kit.drums", "--note-map"}).status, 1);
  EXPECT_EQ(RunThumper({"--no-such-option"}).status, 1);
}

TEST(CliImport, MissingKeysTakeTheNewDrumSetDefaults) {
  TempDir dir;
  WriteTextFile(dir / "min.json",
                R"({"groups": [{"name": "New Group"}], "slots": [{"layers": [{}]}]})");
  auto imp = RunThumper({"import", dir / "min.json", "-o", dir / "min.drums"});
  ASSERT_EQ(imp.status, 0) << imp.err;
  DrumSet expected;
  expected.m_nMidiInDevice = 1;
  expected.m_pGroupNames->push_back("New Group");
  EXPECT_EQ(ReadFileBytes(dir / "min.drums"), SerializeDrumSet(expected));
}

TEST(CliImport, RefusesWhatADrumSetFileCannotHoldAndNamesTheKey) {
  TempDir dir;
  struct Case {
    const char* json;
    const char* key;
  };
  const Case cases[] = {
      {R"({"midiInDevice": "one"})", "midiInDevice"},
      {R"({"midiInDevice": 4294967296})", "midiInDevice"},
      {R"({"slots": [{"scheme": 1.5}]})", "slots[0].scheme"},
      {R"({"slots": [{"layers": [{}, {}, {}, {}, {}, {}]}]})", "slots[0].layers"},
      {R"({"groups": [{"name": 3}]})", "groups[0].name"},
      {R"({"velocityThresholds": [[1, 2, 3, 4, 5]]})", "velocityThresholds[0]"},
      {R"([1, 2])", "top level"},
  };
  for (const auto& c : cases) {
    WriteTextFile(dir / "c.json", c.json);
    auto r = RunThumper({"import", dir / "c.json", "-o", dir / "c.drums"});
    EXPECT_EQ(r.status, 2) << c.json;
    EXPECT_NE(r.err.find(c.key), std::string::npos) << c.json << " -> " << r.err;
  }
  std::string many = R"({"groups": [)";
  for (int g = 0; g < 21; ++g) many += std::string(g ? "," : "") + R"({"name": "g"})";
  WriteTextFile(dir / "many.json", many + "]}");
  auto r = RunThumper({"import", dir / "many.json", "-o", dir / "many.drums"});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("groups"), std::string::npos);
}

TEST(CliVersion, HelpAndVersion) {
  auto v = RunThumper({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "thumper 1.0.1\n");
  auto h = RunThumper({"--help"});
  EXPECT_EQ(h.status, 0);
  EXPECT_NE(h.out.find("thumper info KIT.drums"), std::string::npos);
  EXPECT_NE(h.out.find("bytes-cp1252"), std::string::npos);
}

TEST(CliVersion, EverySubcommandHasItsOwnHelp) {
  for (const std::string command : {"info", "import", "render", "play"}) {
    for (const char* flag : {"--help", "-h"}) {
      auto h = RunThumper({command, flag});
      EXPECT_EQ(h.status, 0) << command << " " << h.err;
      EXPECT_TRUE(h.err.empty()) << h.err;
      EXPECT_EQ(h.out.rfind("Usage:\n  thumper " + command + " ", 0), 0u) << h.out;
      // Only its own lines.
      for (const std::string other : {"info", "import", "render", "play"}) {
        if (other != command) {
          EXPECT_EQ(h.out.find("thumper " + other + " "), std::string::npos) << h.out;
        }
      }
    }
  }
  auto play = RunThumper({"play", "kit.drums", "--help"});
  EXPECT_EQ(play.status, 0);
  EXPECT_NE(play.out.find("--driver N"), std::string::npos);
  EXPECT_NE(play.out.find("thumper play --list"), std::string::npos);
}

}  // namespace
}  // namespace thumper
