// A Hydrogen kit compiled for the playing model, checked against Hydrogen 1.2's
// rules: which layer each velocity gets and in which order, the level in dB,
// pan, pitch, what chokes what, the hi-hat pedal, MIDI notes, and bad values.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "kits/HydrogenKit.h"
#include "kits/HydrogenProgram.h"
#include "kits/KitPrograms.h"

namespace thumper {
namespace {

std::string Layer(const std::string& file, double min, double max, double gain = 1,
                  double pitch = 0) {
  return "<layer><filename>" + file + "</filename><min>" + std::to_string(min) + "</min><max>" +
         std::to_string(max) + "</max><gain>" + std::to_string(gain) + "</gain><pitch>" +
         std::to_string(pitch) + "</pitch></layer>";
}

std::string Component(int id, const std::string& layers, double gain = 1) {
  return "<instrumentComponent><component_id>" + std::to_string(id) + "</component_id><gain>" +
         std::to_string(gain) + "</gain>" + layers + "</instrumentComponent>";
}

// An instrument of the newest layout; settings are element text placed as given.
std::string Instrument(int id, const std::string& name, const std::string& body,
                       const std::string& settings = "") {
  return "<instrument><id>" + std::to_string(id) + "</id><name>" + name + "</name>" + settings +
         body + "</instrument>";
}

std::string Kit(const std::string& instruments, const std::string& components = "") {
  return "<?xml version=\"1.0\"?>\n<drumkit_info><name>K</name>" + components +
         "<instrumentList>\n" + instruments + "\n</instrumentList></drumkit_info>\n";
}

KitProgramResult Compile(const std::string& xml, KitProgramOptions options = {}) {
  const KitReadResult read =
      ParseDrumkitXml(std::span(xml.data(), xml.size()), "/k", "/k/drumkit.xml");
  EXPECT_TRUE(read.kit) << read.strError;
  if (!read.kit) return {};
  return CompileHydrogenKit(*read.kit, options);
}

std::string FileOf(const KitProgram& program, const KitRegion& region) {
  return std::filesystem::path(program.samples.at(region.nSample).strPath).filename().string();
}

// The region a First set plays at velocity v ("" where none).
std::string FirstAt(const KitProgram& program, const KitSet& set, int v) {
  for (const KitRegion& region : set.regions)
    if (v >= region.nVelocityLow && v <= region.nVelocityHigh) return FileOf(program, region);
  return "";
}

// The files of the set whose velocity range holds v, in the order the set holds them.
std::vector<std::string> FilesAt(const KitProgram& program, const KitNote& note, int v) {
  std::vector<std::string> files;
  for (const KitSet& set : note.sets)
    for (const KitRegion& region : set.regions)
      if (v >= region.nVelocityLow && v <= region.nVelocityHigh)
        files.push_back(FileOf(program, region));
  return files;
}

double Db(double gain) {
  return 20.0 * std::log10(gain);
}

bool Mentions(const std::vector<std::string>& warnings, const std::string& text) {
  for (const std::string& w : warnings)
    if (w.find(text) != std::string::npos) return true;
  return false;
}

TEST(HydrogenProgram, EightLayersPlayByVelocityAndAGapPlaysTheNearestMin) {
  std::string layers;
  for (int l = 0; l < 8; ++l)
    layers += Layer("l" + std::to_string(l) + ".wav", l / 8.0, (l + 1) / 8.0);
  // A gap from 0.3 to 0.6, then a layer that overlaps an earlier one.
  const std::string gapped =
      Layer("low.wav", 0, 0.3) + Layer("high.wav", 0.6, 1) + Layer("late.wav", 0.6, 1);
  const KitProgramResult r = Compile(Kit(Instrument(0, "Snare", Component(0, layers)) +
                                         Instrument(1, "Gap", Component(0, gapped))));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  const KitNote& snare = p.notes[36];
  ASSERT_EQ(snare.sets.size(), 1u);
  EXPECT_EQ(snare.sets[0].selection, Selection::First);
  for (int v = 1; v <= 127; ++v) {
    const float level = static_cast<float>(v / 127.0);
    int expected = 0;
    while (!(level >= expected / 8.0f && level <= (expected + 1) / 8.0f)) ++expected;
    EXPECT_EQ(FirstAt(p, snare.sets[0], v), "l" + std::to_string(expected) + ".wav") << v;
  }
  const KitSet& gap = p.notes[37].sets.at(0);
  EXPECT_EQ(FirstAt(p, gap, 38), "low.wav");    // 0.299
  EXPECT_EQ(FirstAt(p, gap, 39), "high.wav");   // 0.307: Hydrogen weighs mins: 0.6 is nearer than 0
  EXPECT_EQ(FirstAt(p, gap, 76), "high.wav");   // 0.598: nearest min is 0.6
  EXPECT_EQ(FirstAt(p, gap, 127), "high.wav");  // the first of two equal ranges
}

TEST(HydrogenProgram, RoundRobinStartsAtTheSecondLayerAndComponentsShareTheCounter) {
  const std::string three = Layer("a.wav", 0, 1) + Layer("b.wav", 0, 1) + Layer("c.wav", 0, 1);
  const std::string settings = "<sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>";
  const KitProgramResult r =
      Compile(Kit(Instrument(0, "One", Component(0, three), settings) +
                  Instrument(1, "Two mics", Component(0, three) + Component(1, three), settings)));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  ASSERT_EQ(p.notes[36].sets.size(), 1u);
  EXPECT_EQ(p.notes[36].sets[0].selection, Selection::RoundRobin);
  // Hydrogen picks index (counter + 1): b, c, a, b, ...
  EXPECT_EQ(FilesAt(p, p.notes[36], 100), (std::vector<std::string>{"b.wav", "c.wav", "a.wav"}));
  // Both mics reach one counter: hit 1 plays b then c, hit 2 a then b, hit 3 c then a.
  const KitNote& two = p.notes[37];
  ASSERT_EQ(two.sets.size(), 2u);
  std::vector<std::string> first, second;
  for (const KitRegion& region : two.sets[0].regions) first.push_back(FileOf(p, region));
  for (const KitRegion& region : two.sets[1].regions) second.push_back(FileOf(p, region));
  EXPECT_EQ(first, (std::vector<std::string>{"b.wav", "a.wav", "c.wav"}));
  EXPECT_EQ(second, (std::vector<std::string>{"c.wav", "b.wav", "a.wav"}));
}

TEST(HydrogenProgram, RoundRobinAndRandomChooseAmongTheLayersOfTheVelocityOnly) {
  const std::string layers = Layer("soft1.wav", 0, 0.5) + Layer("soft2.wav", 0, 0.5) +
                             Layer("hard1.wav", 0.5, 1) + Layer("hard2.wav", 0.5, 1);
  const KitProgramResult r =
      Compile(Kit(Instrument(0, "RR", Component(0, layers),
                             "<sampleSelectionAlgo>ROUND_ROBIN</sampleSelectionAlgo>") +
                  Instrument(1, "Rnd", Component(0, layers),
                             "<sampleSelectionAlgo>RANDOM</sampleSelectionAlgo>")));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  EXPECT_EQ(FilesAt(p, p.notes[36], 30), (std::vector<std::string>{"soft2.wav", "soft1.wav"}));
  EXPECT_EQ(FilesAt(p, p.notes[36], 100), (std::vector<std::string>{"hard2.wav", "hard1.wav"}));
  for (const KitSet& set : p.notes[37].sets) EXPECT_EQ(set.selection, Selection::Random);
  EXPECT_EQ(FilesAt(p, p.notes[37], 100), (std::vector<std::string>{"hard1.wav", "hard2.wav"}));
}

TEST(HydrogenProgram, TheLevelIsTheProductOfHydrogensGainsAndPanFollowsItsDefaultLaw) {
  const std::string components =
      "<componentList><drumkitComponent><id>0</id><name>Close</name><volume>0.5</volume>"
      "</drumkitComponent></componentList>";
  const KitProgramResult r =
      Compile(Kit(Instrument(0, "Tom", Component(0, Layer("t.wav", 0, 1, 0.5), 0.8),
                             "<volume>0.9</volume><gain>2</gain><pan>0.5</pan>") +
                      "<instrument><id>1</id><name>Old</name><pan_L>0.5</pan_L><pan_R>1</pan_R>"
                      "<volume>1</volume><filename>old.wav</filename></instrument>" +
                      Instrument(2, "Flat", Component(0, Layer("f.wav", 0, 1)),
                                 "<applyVelocity>false</applyVelocity><pan>-1</pan>"),
                  components));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  const KitRegion& tom = p.notes[36].sets.at(0).regions.at(0);
  EXPECT_NEAR(Db(tom.fGain), Db(0.5 * 2 * 0.8 * 0.5 * 0.9), 1e-4);  // -8.87 dB at velocity 127
  EXPECT_EQ(tom.fVelocityPower, 1.0f);                              // Hydrogen's level is linear
  EXPECT_FLOAT_EQ(tom.fPanLeft, 0.5f);
  EXPECT_FLOAT_EQ(tom.fPanRight, 1.0f);
  // pan_L 0.5, pan_R 1 is Hydrogen's pan 0.5; the oldest layout plays at full range.
  const KitRegion& old = p.notes[37].sets.at(0).regions.at(0);
  EXPECT_FLOAT_EQ(old.fPanLeft, 0.5f);
  EXPECT_FLOAT_EQ(old.fPanRight, 1.0f);
  EXPECT_EQ(old.nVelocityLow, 1);
  EXPECT_EQ(old.nVelocityHigh, 127);
  const KitRegion& flat = p.notes[38].sets.at(0).regions.at(0);
  EXPECT_EQ(flat.fVelocityPower, 0.0f);
  EXPECT_FLOAT_EQ(flat.fPanLeft, 1.0f);
  EXPECT_FLOAT_EQ(flat.fPanRight, 0.0f);
}

TEST(HydrogenProgram, PitchIsTheInstrumentOffsetPlusTheLayerPitchAndIsBounded) {
  const KitProgramResult r =
      Compile(Kit(Instrument(0, "Up", Component(0, Layer("u.wav", 0, 1, 1, -0.5)),
                             "<pitchOffset>2</pitchOffset>") +
                  Instrument(1, "Wild", Component(0, Layer("w.wav", 0, 1, 1, 200)),
                             "<pitchOffset>20</pitchOffset>")));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  EXPECT_FLOAT_EQ(p.samples.at(p.notes[36].sets[0].regions[0].nSample).fPitch, 1.5f);
  EXPECT_FLOAT_EQ(p.samples.at(p.notes[37].sets[0].regions[0].nSample).fPitch, 24.0f);
  EXPECT_TRUE(
      Mentions(p.warnings, "/k/drumkit.xml:3: <pitch> of layer 1 of component 1 of instrument 2"))
      << p.warnings.at(0);
}

TEST(HydrogenProgram, MuteGroupsReleaseTheOthersAndAStopNoteReleasesItselfFirst) {
  const std::string one = Component(0, Layer("x.wav", 0, 1));
  const KitProgramResult r = Compile(
      Kit(Instrument(0, "Closed", one, "<muteGroup>1</muteGroup><isStopNote>false</isStopNote>") +
          Instrument(1, "Open", one, "<muteGroup>1</muteGroup><Release>4410</Release>") +
          Instrument(2, "Ride", one, "<isStopNote>false</isStopNote>") +
          Instrument(3, "Crash", one)));  // no <isStopNote>: Hydrogen reads true
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  const KitRegion& closed = p.notes[36].sets[0].regions[0];
  const KitRegion& open = p.notes[37].sets[0].regions[0];
  const KitRegion& ride = p.notes[38].sets[0].regions[0];
  const KitRegion& crash = p.notes[39].sets[0].regions[0];
  ASSERT_GE(closed.nChokeGroup, 0);
  ASSERT_GE(open.nChokeGroup, 0);
  EXPECT_EQ(closed.stopsGroups, std::vector<uint32_t>{static_cast<uint32_t>(open.nChokeGroup)});
  EXPECT_EQ(open.stopsGroups, std::vector<uint32_t>{static_cast<uint32_t>(closed.nChokeGroup)});
  EXPECT_TRUE(closed.stopsGroupsFirst.empty());
  EXPECT_EQ(open.stopsGroupsFirst, std::vector<uint32_t>{static_cast<uint32_t>(open.nChokeGroup)});
  EXPECT_FLOAT_EQ(open.fChokeFadeSeconds, 0.1f);               // 4410 frames
  EXPECT_FLOAT_EQ(closed.fChokeFadeSeconds, 1000 / 44100.0f);  // Hydrogen's default release
  EXPECT_EQ(ride.nChokeGroup, -1);
  EXPECT_TRUE(ride.stopsGroups.empty() && ride.stopsGroupsFirst.empty());
  EXPECT_EQ(crash.stopsGroupsFirst,
            std::vector<uint32_t>{static_cast<uint32_t>(crash.nChokeGroup)});
  EXPECT_EQ(crash.noteOff, NoteOffRule::Ignore);
  EXPECT_EQ(p.nGroupCount, 3u);
}

TEST(HydrogenProgram, AHiHatGroupFollowsThePedalOnController4) {
  auto hat = [](int id, const std::string& name, int low, int high) {
    return Instrument(id, name, Component(0, Layer(name + ".wav", 0, 1)),
                      "<isHihat>0</isHihat><lower_cc>" + std::to_string(low) +
                          "</lower_cc><higher_cc>" + std::to_string(high) + "</higher_cc>");
  };
  const KitProgramResult r =
      Compile(Kit(hat(0, "closed", 0, 40) + hat(1, "half", 41, 90) + hat(2, "open", 91, 127) +
                  Instrument(3, "kick", Component(0, Layer("kick.wav", 0, 1)))));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  // Every hat note plays the hat its pedal position selects, whichever is struck.
  for (int n = 36; n <= 38; ++n) {
    std::map<std::string, std::pair<int, int>> byFile;
    for (const KitSet& set : p.notes[n].sets) {
      for (const KitRegion& region : set.regions) {
        ASSERT_EQ(region.conditions.size(), 1u);
        EXPECT_EQ(region.conditions[0].nController, 4);
        byFile[FileOf(p, region)] = {region.conditions[0].nLow, region.conditions[0].nHigh};
      }
    }
    EXPECT_EQ(byFile.size(), 3u) << n;
    EXPECT_EQ(byFile["closed.wav"], std::make_pair(0, 40));
    EXPECT_EQ(byFile["half.wav"], std::make_pair(41, 90));
    EXPECT_EQ(byFile["open.wav"], std::make_pair(91, 127));
  }
  EXPECT_TRUE(p.notes[39].sets.at(0).regions.at(0).conditions.empty());
  // Before the first CC 4 the pedal stands open, as Hydrogen's does.
  EXPECT_TRUE(p.bStartControllers);
  EXPECT_EQ(p.nStartController[4], 127);
  EXPECT_EQ(p.nStartController[7], 127);
  EXPECT_EQ(p.nStartController[1], 0);
  const KitProgramResult plain =
      Compile(Kit(Instrument(0, "kick", Component(0, Layer("k.wav", 0, 1)))));
  ASSERT_TRUE(plain.program);
  EXPECT_FALSE(plain.program->bStartControllers) << "a kit without a pedal leaves controllers be";
}

TEST(HydrogenProgram, NotesAre36PlusPositionOrTheMidiOutNotesWithGm) {
  const std::string one = Component(0, Layer("x.wav", 0, 1));
  const std::string xml = Kit(Instrument(0, "Kick", one, "<midiOutNote>35</midiOutNote>") +
                              Instrument(1, "Snare", one, "<midiOutNote>38</midiOutNote>") +
                              Instrument(2, "Rim", one, "<midiOutNote>38</midiOutNote>"));
  const KitProgramResult plain = Compile(xml);
  ASSERT_TRUE(plain.program);
  EXPECT_EQ(plain.program->notes[36].strName, "Kick");
  EXPECT_EQ(plain.program->notes[38].strName, "Rim");
  EXPECT_EQ(plain.program->notes[38].nShowSlot, 2);
  const KitProgramResult gm = Compile(xml, {.bGmNotes = true});
  ASSERT_TRUE(gm.program) << gm.strError;
  EXPECT_EQ(gm.program->notes[35].strName, "Kick");
  EXPECT_EQ(gm.program->notes[35].nShowSlot, 0);  // below the first key: shown on it
  EXPECT_EQ(gm.program->notes[38].strName, "Snare");
  EXPECT_TRUE(gm.program->notes[36].sets.empty());
  EXPECT_TRUE(Mentions(gm.program->warnings, "share MIDI out note 38"));
  const KitProgramResult none =
      Compile(Kit(Instrument(0, "Kick", one) + Instrument(1, "Snare", one)), {.bGmNotes = true});
  EXPECT_FALSE(none.program);
  EXPECT_TRUE(none.bUsageError);
  EXPECT_EQ(none.strError, "--gm: instrument \"Kick\" has no <midiOutNote>");

  // An instrument of the older layout naming no sample at all is not loaded by
  // Hydrogen 1.2: the ones after it move down a note. An empty component is kept.
  const std::string legacy =
      Kit("<instrument><id>0</id><name>Kick</name>" + Layer("k.wav", 0, 1) + "</instrument>" +
          "<instrument><id>1</id><name>Nothing</name></instrument>" +
          Instrument(2, "Empty",
                     "<instrumentComponent><component_id>0</component_id>"
                     "</instrumentComponent>") +
          "<instrument><id>3</id><name>Snare</name>" + Layer("s.wav", 0, 1) + "</instrument>");
  const KitProgramResult shifted = Compile(legacy);
  ASSERT_TRUE(shifted.program) << shifted.strError;
  EXPECT_EQ(shifted.program->notes[36].strName, "Kick");
  EXPECT_EQ(shifted.program->notes[37].strName, "Empty");
  EXPECT_EQ(shifted.program->notes[38].strName, "Snare");
}

TEST(HydrogenProgram, CellsLightByTheVelocityZoneOfTheLayers) {
  const KitProgramResult r = Compile(
      Kit(Instrument(0, "Two", Component(0, Layer("s.wav", 0, 0.5) + Layer("h.wav", 0.5, 1))) +
          Instrument(1, "One", Component(0, Layer("o.wav", 0, 1)))));
  ASSERT_TRUE(r.program);
  // 0.5 = 63.5 / 127: velocity 64 plays the hard layer and lights the top cell.
  EXPECT_EQ(r.program->notes[36].nCellThreshold, (std::array<int32_t, 4>{63, 0, 0, 0}));
  EXPECT_EQ(r.program->notes[37].nCellThreshold, (std::array<int32_t, 4>{0, 0, 0, 0}));
}

TEST(HydrogenProgram, BadValuesAreClampedAndNamedAndLayersAreBounded) {
  std::string many;
  for (int l = 0; l < 10000; ++l) many += Layer("m.wav", 0, 1);
  const KitProgramResult r = Compile(
      Kit(Instrument(0, "Neg", Component(0, Layer("n.wav", 0, 1, -3)), "<gain>-1</gain>") + "\n" +
          Instrument(1, "Many", Component(0, many)) + "\n" +
          Instrument(2, "Hat", Component(0, Layer("h.wav", -0.5, 1.5)) + "<Release>nan</Release>",
                     "<isHihat>0</isHihat><lower_cc>100</lower_cc><higher_cc>20</higher_cc>")));
  ASSERT_TRUE(r.program) << r.strError;
  const KitProgram& p = *r.program;
  EXPECT_EQ(p.notes[36].sets.at(0).regions.at(0).fGain, 0.0f);
  EXPECT_TRUE(Mentions(p.warnings,
                       "/k/drumkit.xml:3: <gain> of instrument 1 \"Neg\" is -1, outside 0..16"));
  EXPECT_TRUE(
      Mentions(p.warnings, "<gain> of layer 1 of component 1 of instrument 1 \"Neg\" is -3"));
  EXPECT_LE(p.notes[37].sets.at(0).regions.size(), kHydrogenMaxLayers);
  EXPECT_TRUE(Mentions(p.warnings,
                       "/k/drumkit.xml:4: component 1 of instrument 2 \"Many\" has 10000 layers"));
  EXPECT_TRUE(Mentions(p.warnings, "/k/drumkit.xml:5: <min> of layer 1"));
  EXPECT_TRUE(Mentions(p.warnings, "<lower_cc> above <higher_cc>"));
  // An upside-down range holds no pedal position: the hat plays its own sound throughout.
  EXPECT_TRUE(p.notes[38].sets.at(0).regions.at(0).conditions.empty());
  EXPECT_FLOAT_EQ(p.notes[38].sets[0].regions[0].fChokeFadeSeconds, 1000 / 44100.0f);
}

TEST(HydrogenProgram, WhatIsLeftOutIsSaidOncePerKit) {
  const std::string one = Component(0, Layer("x.wav", 0, 1));
  const KitProgramResult r = Compile(Kit(
      Instrument(0, "A", one, "<filterActive>true</filterActive><filterCutoff>0.4</filterCutoff>") +
      Instrument(1, "B", one,
                 "<filterActive>true</filterActive><filterCutoff>0.2</filterCutoff>"
                 "<randomPitchFactor>0.3</randomPitchFactor>") +
      Instrument(2, "C", one, "<filterActive>true</filterActive><filterCutoff>1</filterCutoff>")));
  ASSERT_TRUE(r.program);
  const std::vector<std::string>& w = r.program->warnings;
  ASSERT_EQ(w.size(), 2u) << w.at(0);
  EXPECT_EQ(w[0], "/k/drumkit.xml: the low-pass filter is left out (instruments \"A\", \"B\")");
  EXPECT_EQ(w[1], "/k/drumkit.xml: the random pitch per hit is left out (instruments \"B\")");
}

// Every kit Debian ships (hydrogen-drumkits, hydrogen-data), where installed:
// each compiles, every layer Hydrogen reads is a sample, and every velocity of a
// velocity-selected instrument plays the layer Hydrogen plays.
TEST(HydrogenProgram, DebiansKitsCompileAndPlayHydrogensLayers) {
  const std::filesystem::path root = "/usr/share/hydrogen/data/drumkits";
  std::error_code ec;
  if (!std::filesystem::is_directory(root, ec)) GTEST_SKIP() << "no Hydrogen kits installed";
  int kits = 0;
  for (const auto& entry : std::filesystem::directory_iterator(root)) {
    const KitProgramResult r = ReadKitProgram(entry.path().string());
    ASSERT_TRUE(r.program) << entry.path() << ": " << r.strError;
    const KitReadResult read = ReadHydrogenKit(entry.path().string());
    ASSERT_TRUE(read.kit);
    ++kits;
    const KitProgram& p = *r.program;
    // Notes count only the instruments Hydrogen loads.
    size_t position = 0;
    for (size_t i = 0; i < read.kit->instruments.size() && 36 + position < 128; ++i) {
      const HydrogenInstrument& in = read.kit->instruments[i];
      if (!in.nId || !in.bLoadsInHydrogen) continue;
      const KitNote& note = p.notes[36 + position++];
      EXPECT_EQ(note.strName, in.strName);
      size_t expected = 0;
      for (const HydrogenComponent& c : in.components) expected += !c.layers.empty();
      if (in.selection != HydrogenSelection::Velocity || in.bMuted) continue;
      ASSERT_EQ(note.sets.size(), expected) << entry.path() << " " << in.strName;
      for (size_t s = 0; s < note.sets.size(); ++s) {
        const HydrogenComponent& c = in.components[s];
        for (int v = 1; v <= 127; ++v) {
          HydrogenInstrument one;
          one.layers = c.layers;
          const int layer = HydrogenLayerFor(one, v);
          if (layer < 0) continue;  // a gap: the nearest, checked above
          EXPECT_EQ(FirstAt(p, note.sets[s], v),
                    std::filesystem::path(c.layers[layer].strPath).filename().string())
              << entry.path() << " " << in.strName << " " << v;
        }
      }
    }
  }
  EXPECT_GT(kits, 0);
}

}  // namespace
}  // namespace thumper
