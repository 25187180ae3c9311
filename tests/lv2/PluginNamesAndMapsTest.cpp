// The plugin's note names, as Ardour reads them (MIDNAM), and its note map
// parameter: names after every kit change with the host told from the worker,
// a mapped note sounding as the note it is sent to, bad maps, and both saved
// with the session.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <atomic>
#include <chrono>
#include <map>
#include <thread>

#include "PluginTestKits.h"
#include "kits/KitTestSupport.h"

namespace thumper::test {
namespace {

// The notes a MIDNAM document names, and its model, read as XML.
struct ReadMidnam {
  bool bValid = false;
  std::string strModel;
  std::map<int, std::string> notes;
};

ReadMidnam ParseMidnam(const std::string& text) {
  ReadMidnam read;
  pugi::xml_document doc;
  if (!doc.load_string(text.c_str(), pugi::parse_default | pugi::parse_doctype)) return read;
  const pugi::xml_node device = doc.child("MIDINameDocument").child("MasterDeviceNames");
  read.bValid = !device.empty();
  read.strModel = device.child_value("Model");
  for (pugi::xml_node note : device.child("NoteNameList").children("Note"))
    read.notes[note.attribute("Number").as_int()] = note.attribute("Name").value();
  return read;
}

class PluginNames : public PluginWithKits {
 protected:
  // What plugin makes of one block of events after its map is set to map.
  static void SetMap(PluginInstance& plugin, const std::string& map, bool asName = false) {
    plugin.QueueNoteMap(map, asName);
    plugin.Run(1);  // the worker reads it, the next run takes it
    plugin.Run(1);
    plugin.Left().clear();
    plugin.Right().clear();
  }
  // The output of events played after every earlier hit has rung out.
  static std::vector<float> Play(PluginInstance& plugin, const std::vector<SongEventAt>& events) {
    for (int i = 0; i < 4; ++i) plugin.Run(8192);
    plugin.Left().clear();
    plugin.Right().clear();
    PlayInBlocks(plugin, events, {256}, 8192);
    std::vector<float> both = plugin.Left();
    both.insert(both.end(), plugin.Right().begin(), plugin.Right().end());
    return both;
  }
};

TEST_F(PluginNames, TheDocumentNamesTheKitsNotesAfterEveryKitChangeAndTheWorkerTellsTheHost) {
  auto plugin = host.Instantiate(44100);
  auto other = host.Instantiate(44100);
  ASSERT_TRUE(plugin && other);
  // Before any kit: a valid document without names, under the instance's own model.
  ReadMidnam empty = ParseMidnam(plugin->Midnam());
  ASSERT_TRUE(empty.bValid) << plugin->Midnam();
  EXPECT_TRUE(empty.notes.empty());
  EXPECT_EQ(empty.strModel, plugin->Model());
  EXPECT_FALSE(plugin->Model().empty());
  EXPECT_NE(plugin->Model(), other->Model());

  // The host hears of the change from the worker, never from run().
  plugin->QueueKit(dir / "a.drums");
  plugin->RunOnly(64);
  EXPECT_EQ(plugin->MidnamUpdates(), 0);
  plugin->DoWork();
  EXPECT_EQ(plugin->MidnamUpdates(), 1);
  plugin->DeliverResponses();
  const ReadMidnam a = ParseMidnam(plugin->Midnam());
  EXPECT_EQ(a.notes,
            (std::map<int, std::string>{{36, "kick.wav"}, {38, "a-snare.wav"}, {42, "hat.wav"}}));
  EXPECT_EQ(a.strModel, plugin->Model());

  plugin->LoadKit(dir / "b.drums");
  EXPECT_EQ(plugin->MidnamUpdates(), 2);
  EXPECT_EQ(ParseMidnam(plugin->Midnam()).notes[38], "b-snare.wav");
  // A kit that cannot be loaded changes nothing: b still plays, with its names.
  plugin->LoadKit(dir / "nowhere.drums");
  EXPECT_EQ(ParseMidnam(plugin->Midnam()).notes[38], "b-snare.wav");

  // A Hydrogen kit's notes are its instruments' names.
  TestInstrument kick{"Bass Drum", {{"kick.wav", 0, 1}}};
  TestInstrument snare{"Snare & Rim", {{"a-snare.wav", 0, 1}}};
  MakeKitFolder(dir / "h2kit", "Test Kit", {kick, snare});
  plugin->LoadKit(dir / "h2kit/drumkit.xml");
  EXPECT_EQ(ParseMidnam(plugin->Midnam()).notes,
            (std::map<int, std::string>{{36, "Bass Drum"}, {37, "Snare & Rim"}}))
      << plugin->Midnam();
  EXPECT_GE(plugin->MidnamUpdates(), 3);
}

TEST_F(PluginNames, AHostWithoutTheUpdateFeatureStillReadsTheNames) {
  auto plugin = host.Instantiate(44100, /*offerMidnam=*/false);
  ASSERT_TRUE(plugin);
  plugin->LoadKit(dir / "a.drums");
  EXPECT_EQ(ParseMidnam(plugin->Midnam()).notes[36], "kick.wav");
  EXPECT_EQ(plugin->MidnamUpdates(), 0);
}

TEST_F(PluginNames, AMappedNoteSoundsAsTheNotesItIsSentTo) {
  WriteTextFile(dir / "map.txt",
                "# snare pad on the kick, one pad on kick and hat\n"
                "38 36\n"
                "40 c2   # c2 is 36\n"
                "40 42\n");
  auto direct = WithKit("a");
  auto mapped = WithKit("a");
  ASSERT_TRUE(direct && mapped);
  SetMap(*mapped, dir / "map.txt");
  EXPECT_EQ(mapped->AllLog().find("could not"), std::string::npos) << mapped->AllLog();

  const std::vector<float> kick = Play(*direct, {{10, 0x90, 36, 127}});
  ASSERT_FALSE(Silent(kick));
  EXPECT_EQ(Play(*mapped, {{10, 0x90, 38, 127}}), kick);
  EXPECT_EQ(Play(*mapped, {{10, 0x90, 40, 100}}),
            Play(*direct, {{10, 0x90, 36, 100}, {10, 0x90, 42, 100}}));
  // Notes the map does not name play themselves.
  EXPECT_EQ(Play(*mapped, {{10, 0x90, 42, 90}}), Play(*direct, {{10, 0x90, 42, 90}}));
  // The map stays across a kit change.
  mapped->LoadKit(dir / "b.drums");
  EXPECT_EQ(Play(*mapped, {{10, 0x90, 38, 127}}), kick);

  // The names are those of what each key plays.
  ReadMidnam names = ParseMidnam(mapped->Midnam());
  EXPECT_EQ(names.notes[38], "kick.wav");
  EXPECT_EQ(names.notes[40], "kick.wav + hat.wav");
  EXPECT_EQ(names.notes[42], "hat.wav");

  // An empty map takes it away: the snare again.
  SetMap(*mapped, "");
  auto snareB = WithKit("b");
  ASSERT_TRUE(snareB);
  EXPECT_EQ(Play(*mapped, {{10, 0x90, 38, 127}}), Play(*snareB, {{10, 0x90, 38, 127}}));
  EXPECT_EQ(ParseMidnam(mapped->Midnam()).notes[38], "b-snare.wav");
}

TEST_F(PluginNames, ABuiltInMapComesByNameAndIsAnnounced) {
  auto direct = WithKit("a");
  auto mapped = WithKit("a");
  ASSERT_TRUE(direct && mapped);
  SetMap(*mapped, "vdrums", /*asName=*/true);
  // The V-Drums hi-hat's closed edge, note 22, is the closed hi-hat.
  EXPECT_EQ(Play(*mapped, {{10, 0x90, 22, 127}}), Play(*direct, {{10, 0x90, 42, 127}}));
  ASSERT_FALSE(mapped->AnnouncedNoteMaps().empty());
  EXPECT_EQ(mapped->AnnouncedNoteMaps().back(), "vdrums");
  mapped->QueueGetNoteMap();
  const size_t before = mapped->AnnouncedNoteMaps().size();
  const size_t kitsBefore = mapped->AnnouncedPaths().size();
  mapped->Run(64);
  ASSERT_EQ(mapped->AnnouncedNoteMaps().size(), before + 1);
  EXPECT_EQ(mapped->AnnouncedNoteMaps().back(), "vdrums");
  EXPECT_EQ(mapped->AnnouncedPaths().size(), kitsBefore);  // only the property asked for
}

TEST_F(PluginNames, AMapThatCannotBeReadIsLoggedAndThePluginPlaysOnWithoutIt) {
  WriteTextFile(dir / "good.txt", "38 36\n");
  WriteTextFile(dir / "bad.txt", "38 36\n42 200\n");
  auto direct = WithKit("a");
  auto plugin = WithKit("a");
  ASSERT_TRUE(direct && plugin);
  const std::vector<float> kick = Play(*direct, {{10, 0x90, 36, 127}});
  SetMap(*plugin, dir / "good.txt");
  const int updates = plugin->MidnamUpdates();
  for (const std::string& bad : {dir / "bad.txt", dir / "nowhere.txt"}) {
    SetMap(*plugin, bad);
    EXPECT_NE(plugin->AllLog().find(bad), std::string::npos) << plugin->AllLog();
    // The map that played goes on, and the host is told which it is.
    EXPECT_EQ(Play(*plugin, {{10, 0x90, 38, 127}}), kick) << bad;
    ASSERT_FALSE(plugin->AnnouncedNoteMaps().empty());
    EXPECT_EQ(plugin->AnnouncedNoteMaps().back(), dir / "good.txt");
  }
  EXPECT_NE(plugin->AllLog().find(dir / "bad.txt" + ":2:"), std::string::npos) << plugin->AllLog();
  EXPECT_EQ(plugin->MidnamUpdates(), updates);

  // Restored from a session whose map has gone: logged, the kit plays unmapped,
  // and the session keeps the map's path.
  WriteTextFile(dir / "gone.txt", "38 36\n");
  SetMap(*plugin, dir / "gone.txt");
  const std::string state = plugin->SaveState(dir / "session");
  std::remove((dir / "gone.txt").c_str());
  auto restored = host.Instantiate(44100);
  ASSERT_TRUE(restored);
  restored->RestoreState(state);
  EXPECT_NE(restored->AllLog().find("gone.txt"), std::string::npos) << restored->AllLog();
  EXPECT_EQ(Play(*restored, {{10, 0x90, 38, 127}}), Play(*direct, {{10, 0x90, 38, 127}}));
  EXPECT_NE(restored->SaveState(dir / "again").find("gone.txt"), std::string::npos);
}

TEST_F(PluginNames, TheMapIsSavedWithTheSessionAndAnOlderSessionRestoresWithoutOne) {
  WriteTextFile(dir / "map.txt", "38 36\n");
  auto direct = WithKit("a");
  auto plugin = WithKit("a");
  ASSERT_TRUE(direct && plugin);
  const std::vector<float> kick = Play(*direct, {{10, 0x90, 36, 127}});
  const std::vector<float> snare = Play(*direct, {{10, 0x90, 38, 127}});
  // A session from before there were maps: no map key at all.
  const std::string older = direct->SaveState(dir / "older");
  EXPECT_EQ(older.find("noteMap"), std::string::npos) << older;

  SetMap(*plugin, dir / "map.txt");
  const std::string state = plugin->SaveState(dir / "session");
  EXPECT_NE(state.find("map.txt"), std::string::npos) << state;
  auto restored = host.Instantiate(44100);
  ASSERT_TRUE(restored);
  restored->RestoreState(state);
  EXPECT_EQ(Play(*restored, {{10, 0x90, 38, 127}}), kick);
  EXPECT_EQ(ParseMidnam(restored->Midnam()).notes[38], "kick.wav");
  EXPECT_GE(restored->MidnamUpdates(), 1);
  ASSERT_FALSE(restored->AnnouncedNoteMaps().empty());
  EXPECT_EQ(restored->AnnouncedNoteMaps().back(), dir / "map.txt");

  // A built-in map is saved by name.
  SetMap(*plugin, "vdrums", /*asName=*/true);
  const std::string named = plugin->SaveState(dir / "named");
  EXPECT_NE(named.find("\"vdrums\""), std::string::npos) << named;
  restored->RestoreState(named);
  EXPECT_EQ(Play(*restored, {{10, 0x90, 22, 127}}), Play(*direct, {{10, 0x90, 42, 127}}));

  // The older session restores the kit as it always did, and no map.
  restored->RestoreState(older);
  EXPECT_EQ(Play(*restored, {{10, 0x90, 38, 127}}), snare);
  EXPECT_EQ(Play(*restored, {{10, 0x90, 22, 127}}), Play(*direct, {{10, 0x90, 22, 127}}));
  EXPECT_EQ(restored->AnnouncedNoteMaps().back(), "");
}

TEST_F(PluginNames, MapAndKitChangesWithTheWorkerOnItsOwnThreadEndOnTheLastOfEach) {
  WriteTextFile(dir / "kick.txt", "38 36\n");
  WriteTextFile(dir / "hat.txt", "38 42\n");
  auto plugin = host.Instantiate(44100);
  ASSERT_TRUE(plugin);
  plugin->StartWorkerThread();
  // A GUI reading the names all the while, as Ardour's does after each update.
  std::atomic<bool> stop{false};
  std::atomic<int> valid{0};
  std::thread gui([&] {
    while (!stop.load()) valid += ParseMidnam(plugin->Midnam()).bValid ? 1 : 0;
  });
  std::string lastMap, lastKit;
  for (uint32_t block = 0; block < 400; ++block) {
    std::vector<MidiAt> midi;
    if (block % 3 == 0) midi.push_back({static_cast<uint32_t>(block % 128), 0x90, 38, 127});
    if (block % 7 == 0) {
      lastMap = dir / (block % 14 ? "kick.txt" : "hat.txt");
      plugin->QueueNoteMap(lastMap);
    }
    if (block % 30 == 0) {
      lastKit = block % 60 ? "a" : "b";
      plugin->QueueKit(dir / (lastKit + ".drums"));
    }
    plugin->Run(128, midi);
  }
  for (int i = 0; i < 2000 && !plugin->WorkerIdle(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    plugin->Run(128);
  }
  ASSERT_TRUE(plugin->WorkerIdle());
  plugin->Run(128);
  stop = true;
  gui.join();
  EXPECT_GT(valid.load(), 0);
  ASSERT_FALSE(plugin->AnnouncedNoteMaps().empty());
  EXPECT_EQ(plugin->AnnouncedNoteMaps().back(), lastMap);
  // The snare pad plays what the last map sends it to, on the last kit.
  auto direct = WithKit(lastKit);
  ASSERT_TRUE(direct);
  const std::string expected = lastMap == dir / "hat.txt" ? "hat.wav" : "kick.wav";
  EXPECT_EQ(ParseMidnam(plugin->Midnam()).notes[38], expected);
  EXPECT_EQ(
      Play(*plugin, {{10, 0x90, 38, 127}}),
      Play(*direct, {{10, 0x90, static_cast<uint8_t>(expected == "hat.wav" ? 42 : 36), 127}}));
}

}  // namespace
}  // namespace thumper::test
