// Unpacking .h2drumkit archives: into the kits folder under the kit's name,
// reusing an identical kit, and refusing every entry that could write outside
// it, with nothing left behind.

#include <gtest/gtest.h>

#include "kits/KitArchive.h"
#include "kits/KitTestSupport.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;
using test::TarEntry;
using test::TempDir;

std::vector<std::string> Listing(const fs::path& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& item : fs::recursive_directory_iterator(folder, ec))
    names.push_back(fs::relative(item.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

class KitArchiveTest : public ::testing::Test {
 protected:
  std::string Archive(const std::string& name, const std::vector<TarEntry>& entries) {
    test::WriteTarGz(dir / name, entries);
    return dir / name;
  }
  // Refused with a message naming the entry, and nothing written anywhere.
  void ExpectRefused(const std::vector<TarEntry>& entries, const std::string& entry) {
    const auto before = Listing(dir.path());
    const std::string path = Archive("bad.h2drumkit", entries);
    const UnpackResult r = UnpackKitArchive(path, dir / "data/kits");
    EXPECT_FALSE(r.bOk);
    EXPECT_NE(r.strError.find(path), std::string::npos) << r.strError;
    EXPECT_NE(r.strError.find("\"" + entry + "\""), std::string::npos) << r.strError;
    EXPECT_EQ(Listing(dir / "data"), std::vector<std::string>{"kits"});
    auto after = Listing(dir.path());
    std::erase_if(after, [](const std::string& n) { return n.rfind("data", 0) == 0; });
    std::vector<std::string> expected = before;
    std::erase_if(expected, [](const std::string& n) { return n.rfind("data", 0) == 0; });
    if (std::find(expected.begin(), expected.end(), "bad.h2drumkit") == expected.end())
      expected.insert(std::lower_bound(expected.begin(), expected.end(), "bad.h2drumkit"),
                      "bad.h2drumkit");
    EXPECT_EQ(after, expected);
  }
  TempDir dir;
};

TEST_F(KitArchiveTest, UnpacksUnderTheKitsTopFolderAndReusesAnIdenticalOne) {
  test::MakeKitFolder(dir / "src", "Nice Kit", {{"Kick", {{"samples/kick 1.wav"}}}});
  const std::string path = Archive("nice.h2drumkit", test::FolderEntries(dir / "src", "Nice Kit"));
  const UnpackResult r = UnpackKitArchive(path, dir / "kits");
  ASSERT_TRUE(r.bOk) << r.strError;
  EXPECT_FALSE(r.bReused);
  EXPECT_EQ(r.strKitFolder, dir / "kits/Nice Kit");
  EXPECT_EQ(test::ReadFileBytes(dir / "kits/Nice Kit/samples/kick 1.wav"),
            test::ReadFileBytes(dir / "src/samples/kick 1.wav"));
  EXPECT_EQ(Listing(dir / "kits"),
            (std::vector<std::string>{"Nice Kit", "Nice Kit/drumkit.xml", "Nice Kit/samples",
                                      "Nice Kit/samples/kick 1.wav"}));

  const UnpackResult again = UnpackKitArchive(path, dir / "kits");
  ASSERT_TRUE(again.bOk);
  EXPECT_TRUE(again.bReused);
  EXPECT_EQ(again.strKitFolder, dir / "kits/Nice Kit");

  // Same name, other content: a new name, the first kit untouched.
  test::MakeKitFolder(dir / "src2", "Other", {{"Snare", {{"snare.wav"}}}});
  const UnpackResult other = UnpackKitArchive(
      Archive("o.h2drumkit", test::FolderEntries(dir / "src2", "Nice Kit")), dir / "kits");
  ASSERT_TRUE(other.bOk) << other.strError;
  EXPECT_EQ(other.strKitFolder, dir / "kits/Nice Kit-2");
  EXPECT_TRUE(fs::exists(dir / "kits/Nice Kit/samples/kick 1.wav"));
  EXPECT_TRUE(fs::exists(dir / "kits/Nice Kit-2/snare.wav"));
}

TEST_F(KitArchiveTest, AnArchiveWithoutATopFolderTakesItsOwnNameAndNonAsciiNamesSurvive) {
  const std::string path =
      Archive("Bätterie.h2drumkit", {{"drumkit.xml", test::DrumkitXml("B", {{"K", {{"ü.wav"}}}})},
                                     {"ü.wav", "data"},
                                     {"inner/", "", TarEntry::Folder, ""},
                                     {"inner/link.wav", "", TarEntry::Symlink, "../ü.wav"}});
  const UnpackResult r = UnpackKitArchive(path, dir / "kits");
  ASSERT_TRUE(r.bOk) << r.strError;
  EXPECT_EQ(r.strKitFolder, dir / "kits/Bätterie");
  EXPECT_EQ(test::FileText(dir / "kits/Bätterie/ü.wav"), "data");
  EXPECT_EQ(test::FileText(dir / "kits/Bätterie/inner/link.wav"), "data");  // a link inside is kept
}

TEST_F(KitArchiveTest, UnsafeEntriesAreRefusedAndLeaveNothing) {
  const std::string xml = test::DrumkitXml("K", {{"K", {{"k.wav"}}}});
  ExpectRefused({{"kit/drumkit.xml", xml}, {"kit/../../evil.txt", "x"}}, "kit/../../evil.txt");
  ExpectRefused({{"kit/drumkit.xml", xml}, {"/tmp/thumper-evil.txt", "x"}},
                "/tmp/thumper-evil.txt");
  EXPECT_FALSE(fs::exists("/tmp/thumper-evil.txt"));
  ExpectRefused({{"kit/drumkit.xml", xml}, {"kit/out", "", TarEntry::Symlink, "../../.."}},
                "kit/out");
  ExpectRefused({{"kit/drumkit.xml", xml}, {"kit/abs", "", TarEntry::Symlink, "/etc/passwd"}},
                "kit/abs");
  // A link to the folder that holds the kit leads outside once the kit is moved.
  ExpectRefused({{"kit/drumkit.xml", xml}, {"kit/up", "", TarEntry::Symlink, ".."}}, "kit/up");
  // A link whose text stays inside but that goes through another link.
  ExpectRefused({{"kit/drumkit.xml", xml},
                 {"kit/a/", "", TarEntry::Folder},
                 {"kit/a/up", "", TarEntry::Symlink, ".."},
                 {"kit/deeper", "", TarEntry::Symlink, "a/up/.."}},
                "kit/deeper");
  ExpectRefused({{"kit/drumkit.xml", xml}, {"kit/h", "", TarEntry::Hardlink, "../etc/passwd"}},
                "kit/h");
  ExpectRefused({{"kit/drumkit.xml", xml}, {"kit/fifo", "", TarEntry::Fifo, ""}}, "kit/fifo");
}

TEST_F(KitArchiveTest, ArchivesPastTheSizeLimitAreRefused) {
  const std::string path = Archive("big.h2drumkit", {{"kit/drumkit.xml", "<drumkit_info/>"},
                                                     {"kit/a.wav", std::string(3000, 'a')},
                                                     {"kit/b.wav", std::string(3000, 'b')}});
  const UnpackResult r = UnpackKitArchive(path, dir / "kits", 5000);
  EXPECT_FALSE(r.bOk);
  EXPECT_NE(r.strError.find("more than"), std::string::npos) << r.strError;
  EXPECT_TRUE(Listing(dir / "kits").empty());
  EXPECT_TRUE(UnpackKitArchive(path, dir / "kits", 7000).bOk);
}

TEST_F(KitArchiveTest, DamagedArchivesAndArchivesWithoutAKitAreRefused) {
  test::WriteTextFile(dir / "junk.h2drumkit", std::string("\x1f\x8b", 2) + "not really gzip");
  const UnpackResult junk = UnpackKitArchive(dir / "junk.h2drumkit", dir / "kits");
  EXPECT_FALSE(junk.bOk);
  EXPECT_TRUE(Listing(dir / "kits").empty());
  const UnpackResult empty =
      UnpackKitArchive(Archive("e.h2drumkit", {{"kit/readme.txt", "hi"}}), dir / "kits");
  EXPECT_FALSE(empty.bOk);
  EXPECT_NE(empty.strError.find("no drumkit.xml"), std::string::npos);
  EXPECT_TRUE(Listing(dir / "kits").empty());
}

}  // namespace
}  // namespace thumper
