// SFZ files told apart by their content, and sample names found on disk
// whatever the case the kit spells them in.

#include <gtest/gtest.h>

#include "kits/SfzFiles.h"
#include "kits/SfzTestSupport.h"

namespace thumper {
namespace {

TEST(SfzFiles, SfzTextIsRecognisedByItsContent) {
  EXPECT_TRUE(LooksLikeSfz("<region> sample=a.wav"));
  EXPECT_TRUE(LooksLikeSfz("\xEF\xBB\xBF// Kit by someone\r\n/* licence\n */\n<control>\n"));
  EXPECT_TRUE(LooksLikeSfz("  #define $PATH samples\n"));
  EXPECT_TRUE(LooksLikeSfz("#include \"a.sfz\""));
  EXPECT_FALSE(LooksLikeSfz("<?xml version=\"1.0\"?><drumkit_info>"));
  EXPECT_FALSE(LooksLikeSfz("{\"slots\": []}"));
  EXPECT_FALSE(LooksLikeSfz("<\x01\x02\x03"));  // binary that starts with '<'
  EXPECT_FALSE(LooksLikeSfz("// only a comment"));
  EXPECT_FALSE(LooksLikeSfz("/* never closed <region>"));
  EXPECT_FALSE(LooksLikeSfz("#defined"));
  EXPECT_FALSE(LooksLikeSfz(""));

  test::SfzKitFolder kit;
  kit.Write("kit.sfz", "// hi\n<group> key=36\n<region> sample=a.wav\n");
  kit.Write("other.drums", std::string("<\0\0\0", 4));
  EXPECT_TRUE(IsSfzFile(kit / "kit.sfz"));
  EXPECT_FALSE(IsSfzFile(kit / "other.drums"));
  EXPECT_FALSE(IsSfzFile(kit / "absent.sfz"));
  EXPECT_FALSE(IsSfzFile(kit / ""));  // a folder
}

TEST(SfzFiles, NamesAreFoundComponentByComponentIgnoringCase) {
  test::SfzKitFolder kit;
  kit.Sample("Kit/Snare/Snare_01.WAV");
  kit.Sample("Kit/Snare/snare_01.wav");  // both exist: the exact one wins
  kit.Sample("Kit/Kick/Kick 1.flac");
  kit.Sample("top.wav");
  SfzFileFinder finder(kit / "");
  EXPECT_EQ(finder.Find("Kit/Snare/snare_01.wav"), kit / "Kit/Snare/snare_01.wav");
  EXPECT_EQ(finder.Find("kit/snare/SNARE_01.wav"),
            kit / "Kit/Snare/Snare_01.WAV");  // the first by name
  EXPECT_EQ(finder.Find("KIT\\kick\\kick 1.FLAC"), kit / "Kit/Kick/Kick 1.flac");
  EXPECT_EQ(finder.Find("./kit/../TOP.wav"), kit / "top.wav");
  EXPECT_EQ(finder.Find(kit / "KIT/KICK/KICK 1.FLAC"), kit / "Kit/Kick/Kick 1.flac");
  EXPECT_FALSE(finder.Find("Kit/Kick/Kick 2.flac"));
  EXPECT_FALSE(finder.Find("Kit/Kick/Kick 1.flac/more"));
  EXPECT_FALSE(finder.Find(""));
}

}  // namespace
}  // namespace thumper
