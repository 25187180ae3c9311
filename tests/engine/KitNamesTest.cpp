// What a kit's notes are called: a program's own names, the file of an unnamed
// note's first sample, and the MIDNAM document a DAW reads them from.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "engine/KitNoteNames.h"
#include "engine/MidnamDocument.h"

namespace thumper {
namespace {

TEST(KitNoteNames, AProgramNamesItsNotesOrFallsBackToTheFirstSamplesFile) {
  KitProgram program;
  KitRegion choke;  // plays nothing: its note takes the next region's file
  KitRegion region;
  region.nSample = program.SampleIndex("/kits/a/Snare Hit 1.flac");
  program.notes[38].sets.push_back({Selection::All, {choke, region}});
  program.notes[36].strName = "Kick";
  program.notes[36].sets.push_back({Selection::All, {region}});
  program.notes[40].strName = "Named but silent";  // no sets: it plays nothing
  const NoteNames names = KitProgramNoteNames(program);
  EXPECT_EQ(names[36], "Kick");
  EXPECT_EQ(names[38], "Snare Hit 1.flac");
  EXPECT_EQ(names[40], "");
}

TEST(KitNoteNames, AMappedKeyIsCalledWhatItPlays) {
  NoteNames kit;
  kit[36] = "Kick";
  kit[38] = "Snare";
  kit[42] = "Hat";
  NoteMapResult read = ParseNoteMap(
      "38 36\n"         // one key onto another
      "40 36\n40 42\n"  // one key, two notes
      "41 38\n41 38\n"  // twice the same note: one name
      "43 50\n"         // a note the kit does not name
      "44 50\n44 42\n",
      "map");
  ASSERT_TRUE(read.map) << read.strError;
  const NoteNames names = MappedNoteNames(kit, *read.map);
  EXPECT_EQ(names[38], "Kick");
  EXPECT_EQ(names[40], "Kick + Hat");
  EXPECT_EQ(names[41], "Snare");
  EXPECT_EQ(names[43], "");
  EXPECT_EQ(names[44], "Hat");
  EXPECT_EQ(names[36], "Kick");  // unmapped keys play themselves
  EXPECT_EQ(names[42], "Hat");
  EXPECT_EQ(names[37], "");
  // A map that sends a key nowhere leaves it unnamed.
  NoteMap silent = NoteMap::Identity();
  silent.m_targets[36].nCount = 0;
  EXPECT_EQ(MappedNoteNames(kit, silent)[36], "");
}

TEST(MidnamDocument, IsValidXmlNamingEveryNamedNoteOnEveryChannel) {
  NoteNames names;
  names[36] = "Kick & \"Sub\" <Low>";
  names[42] =
      "Hi-hat\x01"
      "closed";
  const std::string text = MidnamDocument("Thumper:0x55d0", names);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(text.c_str(), pugi::parse_default | pugi::parse_doctype)) << text;
  const pugi::xml_node device = doc.child("MIDINameDocument").child("MasterDeviceNames");
  EXPECT_STREQ(device.child_value("Model"), "Thumper:0x55d0");
  std::vector<std::pair<int, std::string>> notes;
  for (pugi::xml_node note : device.child("NoteNameList").children("Note"))
    notes.emplace_back(note.attribute("Number").as_int(), note.attribute("Name").value());
  EXPECT_EQ(notes, (std::vector<std::pair<int, std::string>>{{36, "Kick & \"Sub\" <Low>"},
                                                             {42, "Hi-hat closed"}}));
  int channels = 0;
  for (pugi::xml_node assign : device.child("CustomDeviceMode")
                                   .child("ChannelNameSetAssignments")
                                   .children("ChannelNameSetAssign")) {
    EXPECT_STREQ(assign.attribute("NameSet").value(),
                 device.child("ChannelNameSet").attribute("Name").value());
    ++channels;
  }
  EXPECT_EQ(channels, 16);
}

}  // namespace
}  // namespace thumper
