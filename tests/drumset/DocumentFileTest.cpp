// Opening and saving the document: the framework's error texts, the empty file,
// malformed files leaving the document untouched, and saves that cannot damage
// the file they replace.

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <filesystem>

#include "DrumsetTestSupport.h"
#include "drumset/DrumsFile.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

namespace fs = std::filesystem;

// A document with content of its own, a path, and unsaved changes.
void MakeEdited(CThumperDoc& doc, const std::string& path) {
  doc.OnNewDocument();
  doc.m_pGroupNames->push_back("Mine");
  doc.m_pGroupList[0]->push_back("/s/mine.wav");
  doc.m_noteSlot[9].nVolume = -10;
  doc.SetPathName(path);
  doc.SetModifiedFlag();
}

struct Snapshot {
  std::vector<uint8_t> content;
  std::string path, title;
  bool modified;
};
Snapshot Take(const CThumperDoc& doc) {
  return {SerializeDrumSet(doc), doc.GetPathName(), doc.GetTitle(), doc.IsModified()};
}
void ExpectUnchanged(const CThumperDoc& doc, const Snapshot& before) {
  EXPECT_EQ(SerializeDrumSet(doc), before.content);
  EXPECT_EQ(doc.GetPathName(), before.path);
  EXPECT_EQ(doc.GetTitle(), before.title);
  EXPECT_EQ(doc.IsModified(), before.modified);
}

TEST(DocumentLifecycle, ConstructionAndNewDrumSetDiffer) {
  CThumperDoc doc;
  EXPECT_EQ(doc.m_nMidiInDevice, 0);
  EXPECT_EQ(doc.GroupCount(), 0);
  ASSERT_TRUE(doc.m_pGroupList[0]);
  MakeEdited(doc, "/k/a.drums");
  ASSERT_TRUE(doc.OnNewDocument());
  EXPECT_EQ(doc.m_nMidiInDevice, 1);
  EXPECT_EQ(doc.GetTitle(), "New Drumset (Not Saved)");
  EXPECT_EQ(doc.GetPathName(), "");
  EXPECT_FALSE(doc.IsModified());
  EXPECT_EQ(doc.GroupCount(), 0);
  ASSERT_TRUE(doc.m_pGroupList[0]);
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());
  EXPECT_EQ(doc.m_noteSlot[9], NoteSlot{});
  EXPECT_EQ(doc.DrumSetFolder(), "");
  // Saved at once: device 1, every layer empty, every slot at its defaults.
  DrumSet fresh;
  fresh.m_nMidiInDevice = 1;
  EXPECT_EQ(SerializeDrumSet(doc), SerializeDrumSet(fresh));
}

TEST(DocumentOpen, MissingFileIsReportedAndChangesNothing) {
  TempDir dir;
  CThumperDoc doc;
  MakeEdited(doc, dir / "old.drums");
  const Snapshot before = Take(doc);
  ScriptedUi ui;
  const std::string missing = dir / "gone.drums";
  EXPECT_FALSE(doc.OnOpenDocument(missing, ui));
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, missing + " was not found.");
  EXPECT_EQ(ui.messages[0].caption, "Thumper");
  ExpectUnchanged(doc, before);
}

TEST(DocumentOpen, FolderIsAccessDenied) {
  TempDir dir;
  CThumperDoc doc;
  ScriptedUi ui;
  EXPECT_FALSE(doc.OnOpenDocument(dir.path().string(), ui));
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Access to " + dir.path().string() + " was denied."});
}

TEST(DocumentOpen, MissingFolderIsReportedAsNotFound) {
  TempDir dir;
  CThumperDoc doc;
  ScriptedUi ui;
  const std::string path = dir / "no/such/a.drums";
  EXPECT_FALSE(doc.OnOpenDocument(path, ui));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{path + " was not found."});
}

TEST(DocumentOpen, ZeroLengthFileKeepsTheContentUnderTheNewPath) {
  TempDir dir;
  CThumperDoc doc;
  MakeEdited(doc, dir / "old.drums");
  const auto content = SerializeDrumSet(doc);
  const std::string empty = dir / "empty.drums";
  WriteFileBytes(empty, {});
  ScriptedUi ui;
  ASSERT_TRUE(doc.OnOpenDocument(empty, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(SerializeDrumSet(doc), content);
  EXPECT_EQ(doc.GetPathName(), empty);
  EXPECT_EQ(doc.GetTitle(), "empty.drums");
  EXPECT_FALSE(doc.IsModified());
}

TEST(DocumentOpen, MalformedFileLeavesTheDocumentExactlyAsItWas) {
  TempDir dir;
  const auto good = SerializeDrumSet(DrumSet());
  const std::vector<std::vector<uint8_t>> bad = {
      {0x01},
      std::vector<uint8_t>(good.begin(), good.end() - 1),
      Bytes().I32(0).NewClass(1).U16(0).DefaultTail().b,
      Bytes().I32(0).NewClass(0, "CObArray1234").U16(0).DefaultTail().b,
  };
  for (size_t i = 0; i < bad.size(); ++i) {
    CThumperDoc doc;
    MakeEdited(doc, dir / "old.drums");
    const Snapshot before = Take(doc);
    const std::string path = dir / ("bad" + std::to_string(i) + ".drums");
    WriteFileBytes(path, bad[i]);
    ScriptedUi ui;
    EXPECT_FALSE(doc.OnOpenDocument(path, ui)) << i;
    EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Unexpected file format."}) << i;
    EXPECT_EQ(ui.messages[0].caption, "Thumper");
    ExpectUnchanged(doc, before);
  }
}

TEST(DocumentOpen, SuccessReplacesEverythingAndClearsTheFlag) {
  TempDir dir;
  DrumSet stored;
  stored.m_nMidiInDevice = 4;
  stored.m_nVelocityThreshold[4] = {100, 90, 80, 70};
  const std::string path = dir / "kit.v2.drums";
  WriteFileBytes(path, SerializeDrumSet(stored));
  CThumperDoc doc;
  MakeEdited(doc, dir / "old.drums");
  doc.m_pGroupNames->push_back("Second");
  doc.m_pGroupList[1] = std::make_unique<StringList>(StringList{"x"});
  ScriptedUi ui;
  ASSERT_TRUE(doc.OnOpenDocument(path, ui));
  EXPECT_EQ(SerializeDrumSet(doc), SerializeDrumSet(stored));
  EXPECT_EQ(doc.GroupCount(), 0);
  EXPECT_TRUE(doc.m_pGroupList[0]->empty());  // nothing of the old set survives
  EXPECT_EQ(doc.GetTitle(), "kit.v2.drums");
  EXPECT_EQ(doc.DrumSetFolder(), dir.path().string() + "/");
  EXPECT_FALSE(doc.IsModified());
}

TEST(DocumentSave, WritesTheBytesAndTakesThePath) {
  TempDir dir;
  CThumperDoc doc;
  MakeEdited(doc, "");
  const std::string path = dir / "saved.drums";
  ScriptedUi ui;
  ASSERT_TRUE(doc.OnSaveDocument(path, ui));
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_EQ(ReadFileBytes(path), SerializeDrumSet(doc));
  EXPECT_EQ(doc.GetPathName(), path);
  EXPECT_EQ(doc.GetTitle(), "saved.drums");
  EXPECT_FALSE(doc.IsModified());
  // Nothing but the file itself is left in the folder.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(DocumentSave, MissingFolderFailsAndKeepsTheOldPath) {
  TempDir dir;
  CThumperDoc doc;
  MakeEdited(doc, dir / "old.drums");
  const Snapshot before = Take(doc);
  ScriptedUi ui;
  const std::string path = dir / "nowhere/new.drums";
  EXPECT_FALSE(doc.OnSaveDocument(path, ui));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{path + " contains an invalid path."});
  ExpectUnchanged(doc, before);
}

TEST(DocumentSave, SavingOverAFolderIsRefused) {
  TempDir dir;
  fs::create_directory(dir / "kit.drums");
  CThumperDoc doc;
  ScriptedUi ui;
  EXPECT_FALSE(doc.OnSaveDocument(dir / "kit.drums", ui));
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Access to " + (dir / "kit.drums") + " was denied."});
  EXPECT_TRUE(fs::is_directory(dir / "kit.drums"));
}

// Makes every write beyond a few bytes fail, as a full disk would.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &m_old);
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
  }

 private:
  rlimit m_old{};
  void (*m_oldHandler)(int);
};

TEST(DocumentSave, FailedWriteLeavesTheOldFileWholeAndNoTemporaryFile) {
  TempDir dir;
  const std::string path = dir / "kit.drums";
  const std::vector<uint8_t> old = {1, 2, 3};
  WriteFileBytes(path, old);
  CThumperDoc doc;
  MakeEdited(doc, dir / "other.drums");
  const Snapshot before = Take(doc);
  ScriptedUi ui;
  {
    FileSizeLimit limit(100);
    EXPECT_FALSE(doc.OnSaveDocument(path, ui));
  }
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Disk full while accessing " + path + "."});
  EXPECT_EQ(ReadFileBytes(path), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
  ExpectUnchanged(doc, before);
}

TEST(DocumentSave, ReplacingKeepsPermissionsAndSymbolicLinks) {
  TempDir dir;
  const std::string real = dir / "real.drums";
  const std::string link = dir / "link.drums";
  WriteFileBytes(real, {9});
  fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(real, link);
  CThumperDoc doc;
  ScriptedUi ui;
  ASSERT_TRUE(doc.OnSaveDocument(link, ui));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFileBytes(real), SerializeDrumSet(doc));
  EXPECT_EQ(fs::status(real).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  EXPECT_EQ(doc.GetPathName(), link);
}

TEST(DocumentSave, SavedFileOpensToTheSameContent) {
  TempDir dir;
  CThumperDoc doc;
  MakeEdited(doc, "");
  ScriptedUi ui;
  ASSERT_TRUE(doc.OnSaveDocument(dir / "a.drums", ui));
  CThumperDoc other;
  ASSERT_TRUE(other.OnOpenDocument(dir / "a.drums", ui));
  EXPECT_EQ(SerializeDrumSet(other), SerializeDrumSet(doc));
  EXPECT_EQ((*other.m_pGroupNames)[0], "Mine");
}

}  // namespace
}  // namespace thumper::test
