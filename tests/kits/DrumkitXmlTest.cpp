// Reading drumkit.xml: both layouts, the velocity layer Hydrogen plays, and
// bad files named with the element that is wrong.

#include <gtest/gtest.h>

#include "kits/HydrogenKit.h"
#include "kits/KitTestSupport.h"

namespace thumper {
namespace {

using test::TempDir;

KitReadResult Parse(const std::string& xml, const std::string& folder = "/kits/k") {
  return ParseDrumkitXml(std::span(xml.data(), xml.size()), folder, folder + "/drumkit.xml");
}

TEST(DrumkitXml, ReadsBothLayoutsWithAbsolutePaths) {
  const std::string xml =
      test::DrumkitXml("Mixed", {{"Old", {{"old kick.wav"}}, -1, -1, 0, true},
                                 {"New", {{"s/soft.flac", 0, 0.5}, {"s/hard.flac", 0.5, 1}}},
                                 {"Comp", {{"c.aiff", 0, 1, 1.5}}, 2, 40, 0.5, false, true},
                                 {"Empty", {}}});
  const KitReadResult r = Parse(xml);
  ASSERT_TRUE(r.kit) << r.strError;
  EXPECT_EQ(r.kit->strName, "Mixed");
  ASSERT_EQ(r.kit->instruments.size(), 4u);
  EXPECT_EQ(r.kit->instruments[0].layers.at(0).strPath, "/kits/k/old kick.wav");
  EXPECT_EQ(r.kit->instruments[0].layers[0].fMin, 0.0f);
  EXPECT_EQ(r.kit->instruments[0].layers[0].fMax, 1.0f);
  ASSERT_EQ(r.kit->instruments[1].layers.size(), 2u);
  EXPECT_EQ(r.kit->instruments[1].layers[1].strPath, "/kits/k/s/hard.flac");
  EXPECT_FLOAT_EQ(r.kit->instruments[1].layers[1].fMin, 0.5f);
  const HydrogenInstrument& comp = r.kit->instruments[2];
  ASSERT_EQ(comp.layers.size(), 1u);
  EXPECT_EQ(comp.nMuteGroup, 2);
  EXPECT_EQ(comp.nMidiOutNote, 40);
  EXPECT_EQ(comp.lostSettings, (std::vector<std::string>{"pan", "layer gain"}));
  EXPECT_TRUE(r.kit->instruments[3].layers.empty());
  EXPECT_EQ(r.kit->LayerCount(), 4);
}

TEST(DrumkitXml, TheFirstComponentWithLayersIsTheOneThatPlays) {
  const std::string layer = "<layer><filename>%s</filename><min>0</min><max>1</max></layer>";
  auto component = [&](const std::string& file) {
    std::string l = layer;
    return "<instrumentComponent><component_id>0</component_id>" +
           (file.empty() ? std::string() : l.replace(l.find("%s"), 2, file)) +
           "</instrumentComponent>";
  };
  const KitReadResult r = Parse(
      "<drumkit_info><name>C</name><instrumentList>"
      "<instrument><name>A</name>" +
      component("") + component("a.wav") +
      "</instrument>"
      "<instrument><name>B</name>" +
      component("b1.wav") + component("b2.wav") +
      "</instrument>"
      "</instrumentList></drumkit_info>");
  ASSERT_TRUE(r.kit) << r.strError;
  ASSERT_EQ(r.kit->instruments[0].layers.size(), 1u);
  EXPECT_EQ(r.kit->instruments[0].layers[0].strFileName, "a.wav");
  EXPECT_TRUE(r.kit->instruments[0].lostSettings.empty());
  ASSERT_EQ(r.kit->instruments[1].layers.size(), 1u);
  EXPECT_EQ(r.kit->instruments[1].layers[0].strFileName, "b1.wav");
  EXPECT_EQ(r.kit->instruments[1].lostSettings, std::vector<std::string>{"second component"});
}

TEST(DrumkitXml, HydrogenPlaysTheFirstLayerInFileOrderThatHoldsTheVelocity) {
  HydrogenInstrument in;
  in.layers = {{"", "", 0.5f, 1.0f}, {"", "", 0.0f, 1.0f}, {"", "", 0.0f, 0.2f}};
  EXPECT_EQ(HydrogenLayerFor(in, 127), 0);
  EXPECT_EQ(HydrogenLayerFor(in, 64), 0);  // 0.504
  EXPECT_EQ(HydrogenLayerFor(in, 63), 1);  // 0.496: the catch-all comes first
  EXPECT_EQ(HydrogenLayerFor(in, 1), 1);
  in.layers = {{"", "", 0.0f, 0.2f}, {"", "", 0.3f, 1.0f}};
  EXPECT_EQ(HydrogenLayerFor(in, 25), 0);   // 0.197
  EXPECT_EQ(HydrogenLayerFor(in, 30), -1);  // a gap: Hydrogen plays nothing
}

TEST(DrumkitXml, BadFilesNameTheFileAndTheElement) {
  const KitReadResult broken = Parse("<drumkit_info>\n<name>x</name>\n<instrumentList>\n");
  ASSERT_FALSE(broken.kit);
  EXPECT_NE(broken.strError.find("/kits/k/drumkit.xml:"), std::string::npos) << broken.strError;
  EXPECT_NE(broken.strError.find("XML"), std::string::npos);

  const KitReadResult none = Parse("<drumkit_info><name>x</name><instrumentList/></drumkit_info>");
  ASSERT_FALSE(none.kit);
  EXPECT_NE(none.strError.find("no <instrument>"), std::string::npos) << none.strError;

  std::string xml = test::DrumkitXml("K", {{"Snare", {{"a.wav", 0, 0.5}, {"b.wav", 0.5, 1}}}});
  xml.replace(xml.find("<min>0.500000"), 13, "<min>loud");
  const KitReadResult nan = Parse(xml);
  ASSERT_FALSE(nan.kit);
  EXPECT_NE(nan.strError.find("drumkit.xml:"), std::string::npos) << nan.strError;
  EXPECT_NE(nan.strError.find("<min> of layer 2 of instrument 1 \"Snare\""), std::string::npos)
      << nan.strError;

  const KitReadResult other = Parse("<song><name>x</name></song>");
  ASSERT_FALSE(other.kit);
  EXPECT_NE(other.strError.find("drumkit_info"), std::string::npos);
}

TEST(DrumkitXml, AFolderOrItsXmlReadTheSame) {
  TempDir dir;
  test::MakeKitFolder(dir / "My Kit", "Mine", {{"Kick", {{"kick.wav"}}}});
  const KitReadResult byFolder = ReadHydrogenKit(dir / "My Kit");
  const KitReadResult byXml = ReadHydrogenKit(dir / "My Kit/drumkit.xml");
  ASSERT_TRUE(byFolder.kit && byXml.kit) << byFolder.strError << byXml.strError;
  EXPECT_EQ(byFolder.kit->instruments[0].layers[0].strPath, dir / "My Kit/kick.wav");
  EXPECT_EQ(byXml.kit->instruments[0].layers[0].strPath, dir / "My Kit/kick.wav");
  const KitReadResult missing = ReadHydrogenKit(dir / "nothing");
  EXPECT_FALSE(missing.kit);
  EXPECT_NE(missing.strError.find(dir / "nothing"), std::string::npos);
  std::filesystem::create_directories(dir / "bare");
  EXPECT_NE(ReadHydrogenKit(dir / "bare").strError.find("bare/drumkit.xml"), std::string::npos);
}

TEST(DrumkitXml, ALinkedXmlTakesItsSamplesFromBesideTheRealFile) {
  namespace fs = std::filesystem;
  TempDir dir;
  test::MakeKitFolder(dir / "kits/kit", "Mine",
                      {{"Kick", {{"kick.wav"}}}, {"Snare", {{"../shared/snare.wav"}}}});
  test::WriteLevelWav(dir / "kits/shared/snare.wav", 300);
  fs::create_directories(dir / "session");
  fs::create_symlink(dir / "kits/kit/drumkit.xml", dir / "session/drumkit.xml");
  const KitReadResult linked = ReadHydrogenKit(dir / "session/drumkit.xml");
  ASSERT_TRUE(linked.kit) << linked.strError;
  EXPECT_EQ(linked.kit->instruments[0].layers[0].strPath, dir / "kits/kit/kick.wav");
  EXPECT_EQ(linked.kit->instruments[1].layers[0].strPath, dir / "kits/shared/snare.wav");
  // A file that is beside the link wins, as a name always meant there.
  test::WriteLevelWav(dir / "session/kick.wav", 100);
  EXPECT_EQ(ReadHydrogenKit(dir / "session/drumkit.xml").kit->instruments[0].layers[0].strPath,
            dir / "session/kick.wav");
  // "..": a linked folder leads to the real kit's neighbours, not the link's.
  fs::create_directory_symlink(dir / "kits/kit", dir / "session/kit");
  const KitReadResult folder = ReadHydrogenKit(dir / "session/kit");
  ASSERT_TRUE(folder.kit) << folder.strError;
  EXPECT_EQ(folder.kit->instruments[0].layers[0].strPath, dir / "session/kit/kick.wav");
  EXPECT_EQ(folder.kit->instruments[1].layers[0].strPath, dir / "kits/shared/snare.wav");
  // Missing everywhere: the path stays the one the kit names.
  fs::remove(dir / "kits/shared/snare.wav");
  EXPECT_EQ(ReadHydrogenKit(dir / "session/drumkit.xml").kit->instruments[1].layers[0].strPath,
            dir / "shared/snare.wav");
}

}  // namespace
}  // namespace thumper
