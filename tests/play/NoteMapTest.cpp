// Note maps: the file format with its errors, the built-in e-kit table, and
// maps joined onto a kit's General MIDI names.

#include "play/NoteMap.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace thumper::test {
namespace {

std::vector<int> TargetsOf(const NoteMap& map, int note) {
  const NoteMap::Targets& t = map.m_targets[note];
  return {t.nNote.begin(), t.nNote.begin() + t.nCount};
}

TEST(NoteMapFile, MapsManyToOneAndOneToManyAndLeavesOtherNotesAlone) {
  const NoteMapResult read = ParseNoteMap(
      "# e-kit pads\n38 40\n37 40   # cross-stick too\n\n36 36\n36 c#2\nhihat-cc 11\n", "pads.map");
  ASSERT_TRUE(read.map) << read.strError;
  const NoteMap& map = *read.map;
  EXPECT_EQ(TargetsOf(map, 38), std::vector<int>{40});
  EXPECT_EQ(TargetsOf(map, 37), std::vector<int>{40});
  EXPECT_EQ(TargetsOf(map, 36), (std::vector<int>{36, 37}));
  EXPECT_EQ(TargetsOf(map, 40), std::vector<int>{40});  // no line of its own: itself
  EXPECT_EQ(TargetsOf(map, 0), std::vector<int>{0});
  EXPECT_EQ(map.m_nHiHatController, 11);
  EXPECT_FALSE(map.IsIdentity());
  EXPECT_TRUE(ParseNoteMap("# nothing\n", "empty.map").map->IsIdentity());
}

TEST(NoteMapFile, ErrorsNameTheFileAndTheLine) {
  EXPECT_EQ(ParseNoteMap("38 40\n\n38 128\n", "a.map").strError,
            "a.map:3: \"128\" is not a MIDI note (0..127 or a name such as c1 or f#2)");
  EXPECT_EQ(ParseNoteMap("38\n", "b.map").strError,
            "b.map:1: a mapping is two notes, the one that arrives and the one it plays: \"38\"");
  EXPECT_EQ(ParseNoteMap("-1 4\n", "c.map").strError.rfind("c.map:1: \"-1\"", 0), 0u);
  EXPECT_EQ(ParseNoteMap("hihat-cc 200\n", "d.map").strError,
            "d.map:1: hihat-cc needs one controller number 0..127");
  std::string many;
  for (int k = 0; k <= NoteMap::kMaxTargets; ++k) many += "38 " + std::to_string(40 + k) + "\n";
  EXPECT_EQ(ParseNoteMap(many, "e.map").strError,
            "e.map:9: note 38 already starts 8 notes, the most one note may");
  EXPECT_FALSE(LoadNoteMap("/nonexistent/thumper.map").map);
}

TEST(NoteMapFile, NoteNamesCountMiddleCAsSixty) {
  EXPECT_EQ(ParseNoteName("c4"), 60);
  EXPECT_EQ(ParseNoteName("C-1"), 0);
  EXPECT_EQ(ParseNoteName("f#2"), 42);
  EXPECT_EQ(ParseNoteName("db2"), 37);
  EXPECT_EQ(ParseNoteName("g9"), 127);
  EXPECT_FALSE(ParseNoteName("g#9"));
  EXPECT_FALSE(ParseNoteName("h2"));
  EXPECT_FALSE(ParseNoteName("36x"));
}

TEST(NoteMapBuiltIn, VDrumsRimsAndEdgesPlayTheirDrumAndHeadsThemselves) {
  const NoteMapResult read = LoadNoteMap("vdrums");
  ASSERT_TRUE(read.map);
  EXPECT_EQ(TargetsOf(*read.map, 22), std::vector<int>{42});  // closed hi-hat edge
  EXPECT_EQ(TargetsOf(*read.map, 26), std::vector<int>{46});  // open hi-hat edge
  EXPECT_EQ(TargetsOf(*read.map, 58), std::vector<int>{43});  // tom 3 rim
  for (int head : {36, 38, 42, 44, 46, 48, 45, 43, 49, 51})
    EXPECT_EQ(TargetsOf(*read.map, head), std::vector<int>{head}) << head;
}

TEST(NoteMapBuiltIn, GeneralMidiGoesThroughTheKitsOwnNames) {
  // A kit of three instruments at 36, 37, 38 that stand for GM kick, snare, closed hi-hat.
  std::array<int, 128> gm;
  gm.fill(-1);
  gm[36] = 36;
  gm[37] = 38;
  gm[38] = 42;
  const NoteMap toKit = GeneralMidiMap(gm);
  EXPECT_EQ(TargetsOf(toKit, 38), std::vector<int>{37});
  EXPECT_EQ(TargetsOf(toKit, 42), std::vector<int>{38});
  EXPECT_TRUE(TargetsOf(toKit, 37).empty());  // a GM note the kit lacks plays nothing
  // A V-Drums closed hi-hat edge reaches the kit's hi-hat through both maps.
  const NoteMap pads = ComposeNoteMaps(*LoadNoteMap("vdrums").map, toKit);
  EXPECT_EQ(TargetsOf(pads, 22), std::vector<int>{38});
  EXPECT_EQ(TargetsOf(pads, 38), std::vector<int>{37});

  // The named maps play General MIDI notes: each kit resolves them to its own.
  const NoteMapResult named = LoadNoteMap("gm");
  ASSERT_TRUE(named.map);
  EXPECT_TRUE(named.map->m_bGeneralMidi);
  const NoteMap onKit = NoteMapForKit(*named.map, gm);
  EXPECT_FALSE(onKit.m_bGeneralMidi);
  EXPECT_EQ(TargetsOf(onKit, 42), std::vector<int>{38});
  EXPECT_TRUE(TargetsOf(onKit, 37).empty());
  EXPECT_EQ(TargetsOf(NoteMapForKit(*LoadNoteMap("vdrums").map, gm), 22), std::vector<int>{38});
  // On a kit whose notes stand for themselves (a drum set, an SFZ kit) nothing moves.
  const NoteMap same = NoteMapForKit(*named.map, GeneralMidiIdentity());
  for (int n : {0, 36, 42, 127}) EXPECT_EQ(TargetsOf(same, n), std::vector<int>{n}) << n;
  // A map file is no General MIDI map: it plays as it is on any kit.
  const NoteMapResult file = ParseNoteMap("38 40\n", "pads.txt");
  ASSERT_TRUE(file.map);
  EXPECT_EQ(TargetsOf(NoteMapForKit(*file.map, gm), 38), std::vector<int>{40});
}

}  // namespace
}  // namespace thumper::test
