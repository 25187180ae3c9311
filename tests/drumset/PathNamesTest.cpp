// File names, titles and folders of paths from both platforms.

#include <gtest/gtest.h>

#include "drumset/CThumperDoc.h"
#include "drumset/PathNames.h"

namespace thumper {
namespace {

TEST(PathNames, BothSeparatorsSeparate) {
  EXPECT_EQ(FileNameOf("C:\\kits\\old/snare.wav"), "snare.wav");
  EXPECT_EQ(FileNameOf("/home/u/kick.wav"), "kick.wav");
  EXPECT_EQ(FileNameOf("kick.wav"), "kick.wav");
  EXPECT_EQ(FileNameOf("/home/u/"), "");
  EXPECT_EQ(FolderOf("C:\\kits\\snare.wav"), "C:\\kits\\");
  EXPECT_EQ(FolderOf("/a/b/c.drums"), "/a/b/");
  EXPECT_EQ(FolderOf("c.drums"), "");
}

TEST(PathNames, TitleIsTheNameUpToItsLastDot) {
  EXPECT_EQ(TitleOf("/x/snare.old.slist"), "snare.old");
  EXPECT_EQ(TitleOf("C:\\g\\toms.slist"), "toms");
  EXPECT_EQ(TitleOf("/x.y/noext"), "noext");
  EXPECT_EQ(TitleOf("/x/.slist"), "");
}

TEST(PathNames, DrumSetFolderIsThePathMinusTheTitle) {
  CThumperDoc doc;
  doc.SetPathName("C:\\kits\\rock.drums");
  EXPECT_EQ(doc.GetTitle(), "rock.drums");
  EXPECT_EQ(doc.DrumSetFolder(), "C:\\kits\\");
  doc.SetPathName("/home/u/kits/rock.drums");
  EXPECT_EQ(doc.DrumSetFolder(), "/home/u/kits/");
  doc.SetPathName("rock.drums");
  EXPECT_EQ(doc.DrumSetFolder(), "");
}

}  // namespace
}  // namespace thumper
