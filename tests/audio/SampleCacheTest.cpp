// The cache of converted samples: what it gives back is byte for byte a fresh
// conversion; a stale, damaged or foreign entry is never played; a read-only or
// full disk and a second process loading the same kit only cost speed.

#include "audio/SampleCache.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>

#include "AudioTestSupport.h"
#include "audio/Resample.h"
#include "support/MixedSamples.h"

namespace thumper::test {
namespace {

namespace fs = std::filesystem;

std::vector<fs::path> CacheFiles(const std::string& folder) {
  std::vector<fs::path> files;
  std::error_code error;
  for (const auto& e : fs::directory_iterator(folder, error)) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

void SetMtime(const std::string& path, time_t seconds) {
  const timespec times[2] = {{seconds, 0}, {seconds, 0}};
  ASSERT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0) << path;
}

// A 24-bit 48 kHz file (stereo unless told): converted at every mixer rate.
std::string WriteConverted(const std::string& path, int frames, int seed, int channels = 2) {
  SF_INFO info{};
  info.channels = channels;
  info.samplerate = 48000;
  info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_24;
  std::vector<float> samples(size_t(frames) * channels);
  for (size_t i = 0; i < samples.size(); ++i)
    samples[i] = float(0.6 * std::sin(0.01 * double(i) * (seed + 1)) +
                       0.01 * double((i * 2654435761u + seed) % 101) / 100.0);
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  EXPECT_NE(f, nullptr) << path;
  if (!f) return path;
  sf_writef_float(f, samples.data(), frames);
  sf_close(f);
  return path;
}

class SampleCacheTest : public ::testing::Test {
 protected:
  TempDir dir;
  std::string folder = dir / "cache/thumper/samples/";
  std::vector<std::string> paths = WriteMixedSamples(dir);
  std::string converted = WriteConverted(dir / "converted.wav", 30000, 3);
};

TEST_F(SampleCacheTest, AMissThenAHitGiveTheFreshConversionsBytesAtEveryRate) {
  paths.push_back(converted);
  for (uint32_t rate : {44100u, 48000u}) {
    SampleCache cache(folder);
    int convertedFiles = 0;
    for (int pass = 0; pass < 2; ++pass) {
      for (const std::string& path : paths) {
        const DecodedSample want = DecodeSampleFile(path, rate);
        const DecodedSample got = cache.Decode(path, rate);
        ASSERT_EQ(got.status, want.status) << path << " pass " << pass;
        EXPECT_EQ(got.nVoiceBytes, want.nVoiceBytes) << path;
        EXPECT_TRUE(StereoFrames(got) == StereoFrames(want))
            << path << " at " << rate << " pass " << pass;
        if (pass == 0 && want.bConverted && FitsBuffer(want.nVoiceBytes)) ++convertedFiles;
      }
    }
    const SampleCache::Counts counts = cache.GetCounts();
    EXPECT_EQ(counts.nMisses, uint64_t(convertedFiles)) << rate;
    EXPECT_EQ(counts.nWritten, uint64_t(convertedFiles)) << rate;
    EXPECT_EQ(counts.nHits, uint64_t(convertedFiles)) << rate;
    EXPECT_EQ(counts.nRejected, 0u);
    // Every file is converted for a 48 kHz mixer; at 44.1 kHz the 16-bit 44.1 kHz
    // WAV files read straight are not cached (nor is the empty file, ever).
    EXPECT_EQ(convertedFiles, rate == 48000u ? int(paths.size()) - 1 : int(paths.size()) - 3);
  }
  // One entry per file and rate, no temporary file left.
  for (const fs::path& f : CacheFiles(folder)) EXPECT_EQ(f.extension(), ".sample") << f;
}

TEST_F(SampleCacheTest, AChangedSourceIsDecodedAfreshAndItsEntryReplaced) {
  SampleCache cache(folder);
  const auto first = StereoFrames(cache.Decode(converted, 44100));
  ASSERT_EQ(cache.Decode(converted, 44100).status, DecodeStatus::Ok);
  ASSERT_EQ(cache.GetCounts().nHits, 1u);

  // Other content of the very same size, and a time set back to the old one's
  // second: the nanoseconds and the inode still differ.
  const std::string replacement = WriteConverted(dir / "other.wav", 30000, 7);
  struct stat old {};
  ASSERT_EQ(::stat(converted.c_str(), &old), 0);
  fs::rename(replacement, converted);
  SetMtime(converted, old.st_mtim.tv_sec);
  const auto want = StereoFrames(DecodeSampleFile(converted, 44100));
  ASSERT_FALSE(want == first);
  EXPECT_TRUE(StereoFrames(cache.Decode(converted, 44100)) == want);
  EXPECT_EQ(cache.GetCounts().nRejected, 1u);
  // The entry now holds the new source.
  EXPECT_TRUE(StereoFrames(cache.Decode(converted, 44100)) == want);
  EXPECT_EQ(cache.GetCounts().nHits, 2u);
  EXPECT_EQ(CacheFiles(folder).size(), 1u);

  // Only touched: stale too (the time is part of the key), and rewritten.
  SetMtime(converted, old.st_mtim.tv_sec + 10);
  EXPECT_TRUE(StereoFrames(cache.Decode(converted, 44100)) == want);
  EXPECT_EQ(cache.GetCounts().nRejected, 2u);
  EXPECT_EQ(cache.GetCounts().nWritten, 3u);
}

TEST_F(SampleCacheTest, ADamagedOrForeignEntryIsNeverPlayedAndIsReplaced) {
  const std::string other = WriteConverted(dir / "other.wav", 30000, 9);
  const auto want = StereoFrames(DecodeSampleFile(converted, 48000));
  auto entryOf = [&](const std::string& source) {
    SampleCache fresh(dir / "probe");
    fresh.Decode(source, 48000);
    const auto files = CacheFiles(dir / "probe");
    fs::remove_all(dir / "probe");
    return files.empty() ? std::string() : folder + files[0].filename().string();
  };
  const std::string entry = entryOf(converted);
  const std::string otherEntry = entryOf(other);
  ASSERT_FALSE(entry.empty());
  ASSERT_NE(entry, otherEntry);

  // Each damage in turn: the load gives the fresh conversion, counts the entry
  // rejected, and leaves a sound entry that the next load plays.
  const std::vector<std::pair<std::string, std::function<void()>>> damages = {
      {"truncated", [&] { fs::resize_file(entry, fs::file_size(entry) - 2); }},
      {"one bit of the data flipped",
       [&] {
         std::fstream f(entry, std::ios::in | std::ios::out | std::ios::binary);
         f.seekg(-1000, std::ios::end);
         char c = 0;
         f.read(&c, 1);
         f.seekp(-1000, std::ios::end);
         c = char(c ^ 0x10);
         f.write(&c, 1);
       }},
      {"the header's frame count",
       [&] {
         std::fstream f(entry, std::ios::in | std::ios::out | std::ios::binary);
         f.seekp(48);
         const char frames[4] = {1, 0, 0, 0};
         f.write(frames, 4);
       }},
      {"another source's entry",
       [&] { fs::copy_file(otherEntry, entry, fs::copy_options::overwrite_existing); }},
      {"not an entry at all", [&] { WriteTextFile(entry, "hello"); }},
      {"empty", [&] { WriteTextFile(entry, ""); }},
      {"a FIFO (must not hang the load)",
       [&] {
         fs::remove(entry);
         ASSERT_EQ(::mkfifo(entry.c_str(), 0644), 0);
       }},
      {"an empty folder",
       [&] {
         fs::remove(entry);
         fs::create_directory(entry);
       }},
  };
  SampleCache cache(folder);
  cache.Decode(other, 48000);  // otherEntry, copied over this one's below
  uint64_t rejected = 0;
  for (const auto& [what, damage] : damages) {
    ASSERT_TRUE(StereoFrames(cache.Decode(converted, 48000)) == want) << what;  // written or hit
    damage();
    EXPECT_TRUE(StereoFrames(cache.Decode(converted, 48000)) == want) << what;
    EXPECT_EQ(cache.GetCounts().nRejected, ++rejected) << what;
    const uint64_t hits = cache.GetCounts().nHits;
    EXPECT_TRUE(StereoFrames(cache.Decode(converted, 48000)) == want) << what;
    EXPECT_EQ(cache.GetCounts().nHits, hits + 1) << what << ": the entry was not rewritten";
  }
  // The other source's entry was left alone throughout.
  const uint64_t hits = cache.GetCounts().nHits;
  EXPECT_TRUE(StereoFrames(cache.Decode(other, 48000)) ==
              StereoFrames(DecodeSampleFile(other, 48000)));
  EXPECT_EQ(cache.GetCounts().nHits, hits + 1);
}

void PatchBytes(const std::string& path, std::streamoff at, std::vector<char> bytes) {
  std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(at);
  f.write(bytes.data(), std::streamsize(bytes.size()));
}

TEST_F(SampleCacheTest, AMonoSourceIsKeptAsOneChannelAndAnEntryOfAnotherLayoutIsNeverRead) {
  const std::string mono = WriteConverted(dir / "mono.wav", 30000, 5, 1);
  const DecodedSample want = DecodeSampleFile(mono, 44100);
  ASSERT_EQ(want.pData->nChannels, 1u);
  SampleCache cache(folder);
  EXPECT_EQ(cache.Decode(mono, 44100).pData->nChannels, 1u);
  const auto files = CacheFiles(folder);
  ASSERT_EQ(files.size(), 1u);
  const std::string entry = files[0].string();
  // Half of a stereo entry's data: one 16-bit sample a frame.
  const uint64_t header = 76 + fs::absolute(mono).lexically_normal().string().size();
  EXPECT_EQ(fs::file_size(entry), header + 2 * uint64_t(want.pData->nFrames));
  const DecodedSample hit = cache.Decode(mono, 44100);
  EXPECT_EQ(cache.GetCounts().nHits, 1u);
  EXPECT_EQ(hit.pData->nChannels, 1u);
  EXPECT_EQ(hit.nVoiceBytes, want.nVoiceBytes);
  EXPECT_TRUE(StereoFrames(hit) == StereoFrames(want));

  // The first layout's version (always stereo), another channel count: each is
  // rejected, the fresh decode given, and the entry rewritten.
  struct Patch {
    std::string what;
    std::streamoff at;
    std::vector<char> bytes;
  };
  const std::vector<Patch> patches = {
      {"version 1", 8, {1, 0, 0, 0}},
      {"two channels", 52, {2, 0}},
      {"three channels", 52, {3, 0}},
      {"no channels", 52, {0, 0}},
  };
  uint64_t rejected = 0;
  for (const auto& [what, at, bytes] : patches) {
    PatchBytes(entry, at, bytes);
    const DecodedSample got = cache.Decode(mono, 44100);
    EXPECT_EQ(cache.GetCounts().nRejected, ++rejected) << what;
    EXPECT_EQ(got.pData->nChannels, 1u) << what;
    EXPECT_TRUE(StereoFrames(got) == StereoFrames(want)) << what;
    const uint64_t hits = cache.GetCounts().nHits;
    EXPECT_TRUE(StereoFrames(cache.Decode(mono, 44100)) == StereoFrames(want)) << what;
    EXPECT_EQ(cache.GetCounts().nHits, hits + 1) << what;
  }
}

TEST_F(SampleCacheTest, PastTheLimitTheLeastRecentlyUsedEntriesGoFirst) {
  std::vector<std::string> sources;
  for (int i = 0; i < 4; ++i)
    sources.push_back(WriteConverted(dir / ("s" + std::to_string(i) + ".wav"), 20000, i));
  // An entry: about 20000 x 44100 / 48000 frames of 4 bytes, and its header.
  const uint64_t entryBytes = 4 * ConvertedFrames(20000, 48000, 44100) + 200;
  SampleCache cache(folder, 2 * entryBytes + entryBytes / 2);  // room for two
  cache.Decode(sources[0], 44100);
  cache.Decode(sources[1], 44100);
  ASSERT_EQ(CacheFiles(folder).size(), 2u);
  for (const fs::path& f : CacheFiles(folder)) SetMtime(f, 1000000);
  cache.Decode(sources[0], 44100);  // a hit: now the most recently used
  ASSERT_EQ(cache.GetCounts().nHits, 1u);
  cache.Decode(sources[2], 44100);  // written; sources[1]'s entry goes
  EXPECT_EQ(CacheFiles(folder).size(), 2u);
  EXPECT_EQ(cache.GetCounts().nEvicted, 1u);
  cache.Decode(sources[0], 44100);
  cache.Decode(sources[2], 44100);
  EXPECT_EQ(cache.GetCounts().nHits, 3u);
  cache.Decode(sources[1], 44100);
  EXPECT_EQ(cache.GetCounts().nHits, 3u) << "the oldest entry was kept";

  // A sample larger than the whole limit is never written.
  SampleCache tiny(dir / "tiny", entryBytes / 2);
  EXPECT_EQ(tiny.Decode(sources[3], 44100).status, DecodeStatus::Ok);
  EXPECT_EQ(tiny.GetCounts().nWritten, 0u);
  EXPECT_TRUE(CacheFiles(dir / "tiny").empty());
}

TEST_F(SampleCacheTest, AFolderRemovedWhileTheProgramRunsIsMadeAgainAtTheNextWrite) {
  SampleCache cache(folder);
  cache.Decode(converted, 44100);
  fs::remove_all(dir / "cache");  // the user's rm -rf ~/.cache/thumper
  cache.Decode(converted, 44100);
  EXPECT_EQ(cache.GetCounts().nWritten, 2u);
  cache.Decode(converted, 44100);
  EXPECT_EQ(cache.GetCounts().nHits, 1u);
}

// A small tmpfs mounted over a folder of the test's own, when this process may mount.
class Mount {
 public:
  Mount(const std::string& where, const std::string& options) : m_strWhere(where) {
    fs::create_directories(where);
    m_bMounted = ::mount("thumper-test", where.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Mount() {
    if (m_bMounted) ::umount2(m_strWhere.c_str(), MNT_DETACH);
  }
  bool Mounted() const { return m_bMounted; }
  bool RemountReadOnly() {
    return ::mount("thumper-test", m_strWhere.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) ==
           0;
  }

 private:
  std::string m_strWhere;
  bool m_bMounted = false;
};

TEST_F(SampleCacheTest, AFullDiskOnlyCostsSpeedAndLeavesNoHalfWrittenEntry) {
  Mount disk(dir / "full", "size=64k");
  if (!disk.Mounted()) GTEST_SKIP() << "cannot mount a tmpfs here (not root)";
  SampleCache cache(dir / "full");
  const auto want = StereoFrames(DecodeSampleFile(converted, 44100));  // ~110 kB of frames
  for (int pass = 0; pass < 2; ++pass) {
    const DecodedSample got = cache.Decode(converted, 44100);
    ASSERT_EQ(got.status, DecodeStatus::Ok);
    EXPECT_TRUE(StereoFrames(got) == want);
  }
  EXPECT_EQ(cache.GetCounts().nWritten, 0u);
  EXPECT_TRUE(CacheFiles(dir / "full").empty()) << "a partial file was left";
  // Small samples still fit beside it.
  const std::string small = WriteConverted(dir / "small.wav", 2000, 1);
  cache.Decode(small, 44100);
  EXPECT_EQ(cache.GetCounts().nWritten, 1u);
}

TEST_F(SampleCacheTest, AReadOnlyCacheOnlyCostsSpeed) {
  // Entries made while it was writable are still played once it is not.
  Mount disk(dir / "ro", "size=4m");
  const std::string ro = dir / "ro";
  if (!disk.Mounted()) {
    if (::geteuid() == 0) GTEST_SKIP() << "cannot mount a tmpfs, and root writes anywhere";
    fs::create_directories(ro);
  }
  const std::string other = WriteConverted(dir / "other.wav", 3000, 5);
  SampleCache(ro).Decode(converted, 44100);
  if (disk.Mounted())
    ASSERT_TRUE(disk.RemountReadOnly());
  else
    fs::permissions(ro, fs::perms::owner_read | fs::perms::owner_exec);
  SampleCache cache(ro);
  EXPECT_TRUE(StereoFrames(cache.Decode(converted, 44100)) ==
              StereoFrames(DecodeSampleFile(converted, 44100)));
  EXPECT_EQ(cache.GetCounts().nHits, 1u);
  EXPECT_TRUE(StereoFrames(cache.Decode(other, 44100)) ==
              StereoFrames(DecodeSampleFile(other, 44100)));
  EXPECT_EQ(cache.GetCounts().nWritten, 0u);
  // A folder that cannot even be made.
  SampleCache nowhere(ro + "/thumper/samples");
  EXPECT_TRUE(StereoFrames(nowhere.Decode(other, 44100)) ==
              StereoFrames(DecodeSampleFile(other, 44100)));
  if (!disk.Mounted()) fs::permissions(ro, fs::perms::owner_all);
}

TEST_F(SampleCacheTest, TwoProcessesLoadingOneKitAtOnceBothGetExactData) {
  std::vector<std::string> kit;
  for (int i = 0; i < 12; ++i)
    kit.push_back(WriteConverted(dir / ("k" + std::to_string(i) + ".wav"), 15000 + 500 * i, i));
  std::map<std::string, std::vector<int16_t>> want;
  for (const std::string& path : kit) want[path] = StereoFrames(DecodeSampleFile(path, 48000));

  // Each child loads the kit several times over with its own cache object, as a
  // plugin in a DAW and the program would; a wrong sample fails its exit status.
  std::vector<pid_t> children;
  for (int child = 0; child < 2; ++child) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      int wrong = 0;
      for (int round = 0; round < 4; ++round) {
        SampleCache cache(folder);
        for (size_t i = 0; i < kit.size(); ++i) {
          const std::string& path = kit[(i + size_t(child) * 5) % kit.size()];
          if (StereoFrames(cache.Decode(path, 48000)) != want[path]) ++wrong;
        }
        if (round == 1 && child == 0) {  // `thumper cache --clear` in the middle of it
          SampleCache::Usage removed;
          std::string error;
          SampleCache::Clear(folder, removed, error);
        }
      }
      ::_exit(wrong == 0 ? 0 : 1);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a process played wrong data";
  }
  SampleCache cache(folder);
  for (const std::string& path : kit)
    EXPECT_TRUE(StereoFrames(cache.Decode(path, 48000)) == want[path]);
  EXPECT_EQ(cache.GetCounts().nRejected, 0u);
  for (const fs::path& f : CacheFiles(folder)) EXPECT_EQ(f.extension(), ".sample") << f;
}

// Every frame of a streamed sample: its head, then what its file holds.
std::vector<int16_t> StreamedFrames(const DecodedSample& d) {
  if (!d.pData) return {};
  const SampleData& data = *d.pData;
  std::vector<int16_t> all(data.pSamples.get(),
                           data.pSamples.get() + size_t(data.nFrames) * data.nChannels);
  if (!data.pStreamFile) return all;
  all.resize(size_t(data.nStreamFrames) * data.nChannels);
  EXPECT_TRUE(data.pStreamFile->Read(data.nFrames, data.nStreamFrames - data.nFrames,
                                     all.data() + size_t(data.nFrames) * data.nChannels));
  return all;
}

std::vector<int16_t> WholeFrames(const DecodedSample& d) {
  return d.pData ? std::vector<int16_t>(
                       d.pData->pSamples.get(),
                       d.pData->pSamples.get() + size_t(d.pData->nFrames) * d.pData->nChannels)
                 : std::vector<int16_t>{};
}

TEST_F(SampleCacheTest, AStreamedSampleKeepsItsHeadAndReadsTheRestFromItsEntry) {
  const std::string mono = WriteConverted(dir / "mono.wav", 20000, 4, 1);
  SampleCache cache(folder);
  for (const std::string& path : {converted, mono}) {
    const auto want = WholeFrames(DecodeSampleFile(path, 44100));
    for (int pass = 0; pass < 2; ++pass) {  // written, then read back
      const DecodedSample got = cache.DecodeStreamed(path, 44100, 4096);
      ASSERT_EQ(got.status, DecodeStatus::Ok);
      ASSERT_TRUE(got.pData->pStreamFile) << path;
      EXPECT_EQ(got.pData->nFrames, 4096u);
      EXPECT_EQ(size_t(got.pData->nStreamFrames) * got.pData->nChannels, want.size());
      EXPECT_TRUE(StreamedFrames(got) == want) << path << " pass " << pass;
    }
  }
  EXPECT_EQ(cache.GetCounts().nWritten, 2u);
  EXPECT_EQ(cache.GetCounts().nHits, 2u);
  // Its entry is the one a whole load reads.
  EXPECT_TRUE(StereoFrames(cache.Decode(converted, 44100)) ==
              StereoFrames(DecodeSampleFile(converted, 44100)));
  EXPECT_EQ(cache.GetCounts().nHits, 3u);
  // A sample no longer than its head comes whole.
  const DecodedSample shortOne = cache.DecodeStreamed(converted, 44100, 1 << 20);
  EXPECT_FALSE(shortOne.pData->pStreamFile);
  EXPECT_TRUE(WholeFrames(shortOne) == WholeFrames(DecodeSampleFile(converted, 44100)));
}

TEST_F(SampleCacheTest, AStreamedEntryDamagedPastItsHeadIsNeverPlayed) {
  SampleCache cache(folder);
  cache.DecodeStreamed(converted, 44100, 1024);
  ASSERT_EQ(CacheFiles(folder).size(), 1u);
  const std::string entry = CacheFiles(folder)[0];
  PatchBytes(entry, std::streamoff(fs::file_size(entry) - 100), {0x55, 0x66});
  const DecodedSample got = cache.DecodeStreamed(converted, 44100, 1024);
  EXPECT_EQ(cache.GetCounts().nRejected, 1u);
  EXPECT_TRUE(StreamedFrames(got) == WholeFrames(DecodeSampleFile(converted, 44100)));
  // Cut short: the same.
  fs::resize_file(entry, fs::file_size(entry) - 4);
  EXPECT_TRUE(StreamedFrames(cache.DecodeStreamed(converted, 44100, 1024)) ==
              WholeFrames(DecodeSampleFile(converted, 44100)));
  EXPECT_EQ(cache.GetCounts().nRejected, 2u);
}

TEST_F(SampleCacheTest, WithNoCacheToWriteAStreamedSampleReadsFromAFileOfItsOwn) {
  WriteFileBytes(dir / "plain", {'x'});  // no folder can be made under a file
  SampleCache cache(dir / "plain/thumper/samples");
  const DecodedSample got = cache.DecodeStreamed(converted, 48000, 2048);
  ASSERT_TRUE(got.pData && got.pData->pStreamFile);
  EXPECT_EQ(cache.GetCounts().nSpilled, 1u);
  EXPECT_TRUE(StreamedFrames(got) == WholeFrames(DecodeSampleFile(converted, 48000)));
}

TEST(SampleCacheFolderTest, ClearRemovesEntriesAndTemporaryFilesOnly) {
  TempDir dir;
  const std::string folder = dir / "samples/";
  const std::string source = WriteConverted(dir / "a.wav", 5000, 1);
  SampleCache cache(folder);
  cache.Decode(source, 44100);
  const std::string entry = CacheFiles(folder).at(0).string();
  WriteTextFile(entry + ".tmp-1-2", "left by a process that died");
  WriteTextFile(folder + "notes.txt", "not ours");
  EXPECT_EQ(SampleCache::Measure(folder).nEntries, 2u);
  SampleCache::Usage removed;
  std::string error;
  ASSERT_TRUE(SampleCache::Clear(folder, removed, error)) << error;
  EXPECT_EQ(removed.nEntries, 2u);
  EXPECT_GT(removed.nBytes, 4u * 4000);
  ASSERT_EQ(CacheFiles(folder).size(), 1u);
  EXPECT_EQ(CacheFiles(folder)[0].filename(), "notes.txt");
  // A folder that is not there is empty already.
  EXPECT_TRUE(SampleCache::Clear(dir / "none", removed, error));
  EXPECT_EQ(removed.nEntries, 0u);
}

TEST(SampleCacheFolderTest, TheFolderFollowsXdgCacheHomeThenHome) {
  const char* savedXdg = std::getenv("XDG_CACHE_HOME");
  const char* savedHome = std::getenv("HOME");
  const std::string xdg = savedXdg ? savedXdg : "", home = savedHome ? savedHome : "";
  setenv("XDG_CACHE_HOME", "/somewhere/cache", 1);
  setenv("HOME", "/home/drummer", 1);
  EXPECT_EQ(SampleCache::DefaultFolder(), "/somewhere/cache/thumper/samples/");
  setenv("XDG_CACHE_HOME", "relative/cache", 1);  // not absolute: ignored, as XDG's rules say
  EXPECT_EQ(SampleCache::DefaultFolder(), "/home/drummer/.cache/thumper/samples/");
  unsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(SampleCache::DefaultFolder(), "/home/drummer/.cache/thumper/samples/");
  unsetenv("HOME");
  EXPECT_EQ(SampleCache::DefaultFolder(), "");
  if (savedXdg) setenv("XDG_CACHE_HOME", xdg.c_str(), 1);
  if (savedHome) setenv("HOME", home.c_str(), 1);
}

}  // namespace
}  // namespace thumper::test
