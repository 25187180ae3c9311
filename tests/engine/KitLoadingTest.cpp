// Loading a whole kit on worker threads: the same sample data as one thread
// gives, slots that sound only once all their layers are in, and loads that a
// new kit, an edit or quitting cut short without leaking or publishing anything.

#include <gtest/gtest.h>

#include <bitset>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <set>
#include <thread>

#include "audio/OfflineBackend.h"
#include "drumset/CThumperDoc.h"
#include "engine/KitLoader.h"
#include "engine/KitMemory.h"
#include "engine/KitProgramVoices.h"
#include "engine/LoadedKit.h"
#include "engine/ThumperRuntime.h"
#include "support/MixedSamples.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

using test::ScriptedUi;
using test::TempDir;

std::vector<int16_t> FramesOf(const DecodedSample& d) {
  if (!d.pData) return {};
  // Mono data is one channel: compared as the stereo it plays as.
  std::vector<int16_t> out(2 * size_t(d.pData->nFrames));
  CopyAsStereo(*d.pData, out.data());
  return out;
}

// Loads every job and returns each layer's frames, in job order.
std::vector<std::vector<int16_t>> LoadAll(KitLoader& loader, std::vector<KitLoader::Job> jobs,
                                          uint32_t rate) {
  loader.Start(std::move(jobs), rate);
  std::vector<std::vector<int16_t>> out;
  while (loader.IsRunning()) {
    loader.WaitForFinished(std::chrono::milliseconds(50));
    for (auto& f : loader.TakeFinished()) out.push_back(FramesOf(f.sample));
  }
  return out;
}

TEST(KitLoaderTest, ParallelAndSequentialLoadsGiveIdenticalSampleData) {
  TempDir dir;
  const std::vector<std::string> paths = test::WriteMixedSamples(dir);
  std::vector<KitLoader::Job> jobs;
  // Every file twice, so the workers overlap on the same files too.
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < paths.size(); ++i) jobs.push_back({int(jobs.size()), paths[i]});
  for (uint32_t rate : {44100u, 48000u}) {
    KitLoader one(1), many(4);
    const auto sequential = LoadAll(one, jobs, rate);
    const auto parallel = LoadAll(many, jobs, rate);
    ASSERT_EQ(sequential.size(), jobs.size());
    ASSERT_EQ(parallel.size(), jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i)
      EXPECT_TRUE(sequential[i] == parallel[i]) << jobs[i].strPath << " at " << rate;
    EXPECT_FALSE(sequential[0].empty());
  }
}

TEST(KitLoaderTest, LoadsGoThroughTheUsersCacheOfConvertedSamplesAndGiveTheSameData) {
  TempDir dir;
  const std::vector<std::string> paths = test::WriteMixedSamples(dir);
  std::vector<KitLoader::Job> jobs;
  for (size_t i = 0; i < paths.size(); ++i) jobs.push_back({int(i), paths[i]});
  const char* saved = std::getenv("XDG_CACHE_HOME");
  const std::string savedValue = saved ? saved : "";
  setenv("XDG_CACHE_HOME", (dir / "cache").c_str(), 1);
  std::vector<std::vector<int16_t>> fresh;
  for (const std::string& path : paths) fresh.push_back(FramesOf(DecodeSampleFile(path, 48000)));
  KitLoader loader(2);
  const auto cold = LoadAll(loader, jobs, 48000);
  size_t entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir / "cache/thumper/samples"))
    entries += e.path().extension() == ".sample";
  // Every file but the empty one is converted for a 48 kHz mixer.
  EXPECT_EQ(entries, paths.size() - 1);
  const auto warm = LoadAll(loader, jobs, 48000);
  if (saved)
    setenv("XDG_CACHE_HOME", savedValue.c_str(), 1);
  else
    unsetenv("XDG_CACHE_HOME");
  ASSERT_EQ(cold.size(), paths.size());
  ASSERT_EQ(warm.size(), paths.size());
  for (size_t i = 0; i < paths.size(); ++i) {
    EXPECT_TRUE(cold[i] == fresh[i]) << paths[i];
    EXPECT_TRUE(warm[i] == fresh[i]) << paths[i];
  }
}

// A decoder that holds every file until the test lets it go (or the load is
// cancelled), so a test sees the load half done.
class GatedDecoder {
 public:
  KitLoader::DecodeFn Fn() {
    return [this](const std::string& path, uint32_t rate, const std::atomic<bool>& cancel) {
      {
        std::unique_lock lock(m_mutex);
        ++m_nWaiting;
        m_changed.notify_all();
        while (!cancel.load() && !m_open.count(path) && !m_bAll)
          m_changed.wait_for(lock, std::chrono::milliseconds(5));
        --m_nWaiting;
      }
      if (cancel.load()) return DecodedSample{DecodeStatus::Cancelled, nullptr, 0};
      return DecodeSampleFile(path, rate, &cancel);
    };
  }
  void Open(const std::string& path) {
    std::lock_guard lock(m_mutex);
    m_open.insert(path);
    m_changed.notify_all();
  }
  void OpenAll() {
    std::lock_guard lock(m_mutex);
    m_bAll = true;
    m_changed.notify_all();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::set<std::string> m_open;
  int m_nWaiting = 0;
  bool m_bAll = false;
};

class KitLoadingTest : public ::testing::Test {
 protected:
  KitLoadingTest() : runtime(doc, ui, MakeOfflineBackend()) {
    runtime.m_bLoadInBackground = true;
    runtime.m_loader.SetDecoder(gate.Fn());
  }

  // Slot s has layer 0 from paths[2s] and layer 1 from paths[2s + 1].
  std::string SaveKit(const TempDir& dir, const std::vector<std::string>& paths) {
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    *kit.m_pGroupList[0] = paths;
    for (int i = 0; i < int(paths.size()); ++i) {
      const int slot = i / 2, layer = i % 2;
      kit.m_layerSample[LayerIndex(slot, layer)] = {0, i};
      kit.m_nLayerSource[LayerIndex(slot, layer)] = layer;
    }
    const std::string path = dir / "kit.drums";
    EXPECT_TRUE(kit.OnSaveDocument(path, ui));
    return path;
  }

  std::vector<std::string> Samples(const TempDir& dir, int n) {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) {
      paths.push_back(dir / ("s" + std::to_string(i) + ".wav"));
      test::WriteWav(paths.back(), std::vector<int16_t>(4000, int16_t(100 + i)));
    }
    return paths;
  }

  void PollUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) {
      runtime.Poll();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }

  GatedDecoder gate;
  ScriptedUi ui;
  CThumperDoc doc;
  ThumperRuntime runtime;
  SampleListState list;
};

TEST_F(KitLoadingTest, TheUpdateStepReturnsAtOnceAndASlotSoundsWhenAllItsLayersAreIn) {
  TempDir dir;
  const auto paths = Samples(dir, 4);
  ASSERT_TRUE(runtime.OpenDrumSet(SaveKit(dir, paths), list));
  EXPECT_TRUE(runtime.IsLoading());
  EXPECT_EQ(runtime.LoadTotal(), 4);
  EXPECT_FALSE(runtime.HasVoice(0, 0));

  // Slot 0's layer 0 alone is not enough: its layer 1 would borrow the wrong sound.
  gate.Open(paths[0]);
  PollUntil([&] { return runtime.LoadDone() >= 1; });
  EXPECT_FALSE(runtime.HasVoice(0, 0));
  gate.Open(paths[1]);
  PollUntil([&] { return runtime.HasVoice(0, 1); });
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_FALSE(runtime.HasVoice(1, 0));

  gate.OpenAll();
  PollUntil([&] { return !runtime.IsLoading(); });
  EXPECT_TRUE(runtime.HasVoice(1, 0));
  EXPECT_TRUE(runtime.HasVoice(1, 1));
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(1, 1)]->m_strName, paths[3]);
}

TEST_F(KitLoadingTest, AKitProgramPlaysEachNoteOnceEveryOneOfItsSamplesIsIn) {
  TempDir dir;
  const auto paths = Samples(dir, 3);
  KitProgram kit;
  const auto region = [&](const std::string& path) {
    KitRegion r;
    r.nSample = kit.SampleIndex(path);
    return r;
  };
  // Samples are taken in their order: note 38's first, then note 36's two.
  kit.notes[38].sets.push_back({Selection::All, {region(paths[0])}});
  kit.notes[36].sets.push_back({Selection::All, {region(paths[1]), region(paths[2])}});
  runtime.PlayKitProgram(std::move(kit), 0);
  EXPECT_TRUE(runtime.IsLoading());
  EXPECT_EQ(runtime.KitSamplesWanted(), 3);
  const auto notes = [&] { return runtime.m_trigger.Current().m_program.m_note; };
  EXPECT_TRUE(notes()[36].bLoading && notes()[38].bLoading);

  gate.Open(paths[0]);
  PollUntil([&] { return runtime.LoadDone() >= 1; });
  ASSERT_FALSE(notes()[38].bLoading);
  EXPECT_EQ(notes()[38].nSetCount, 1u) << "note 38 plays while 36 still loads";
  // Half of note 36 is not enough: it would play half its sound.
  gate.Open(paths[1]);
  PollUntil([&] { return runtime.LoadDone() >= 2; });
  EXPECT_EQ(runtime.LoadDone(), 2);
  EXPECT_TRUE(notes()[36].bLoading);
  EXPECT_EQ(notes()[36].nSetCount, 0u);
  gate.OpenAll();
  PollUntil([&] { return !runtime.IsLoading(); });
  EXPECT_FALSE(notes()[36].bLoading);
  EXPECT_EQ(notes()[36].nSetCount, 1u);
  EXPECT_EQ(runtime.KitSamplesLoaded(), 3);
}

TEST_F(KitLoadingTest, AKitProgramLoadedWithoutTheBackgroundFreesEachStateItReplacesAsItGoes) {
  // A render waits for the whole kit and publishes as its samples come in:
  // each trigger state a batch replaces is freed during the load, not kept to
  // its end (a kit of thousands of files would keep thousands of them).
  runtime.m_bLoadInBackground = false;
  runtime.m_loader.SetThreads(1);
  runtime.m_loader.SetDecoder(
      [](const std::string& path, uint32_t rate, const std::atomic<bool>& cancel) {
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // about one sample a batch
        return DecodeSampleFile(path, rate, &cancel);
      });
  int batches = 0;
  runtime.m_onLoadProgress = [&](int, int) { ++batches; };
  TempDir dir;
  const auto paths = Samples(dir, 30);
  KitProgram kit;
  for (int i = 0; i < 30; ++i) {
    KitRegion r;
    r.nSample = kit.SampleIndex(paths[size_t(i)]);
    kit.notes[size_t(36 + i)].sets.push_back({Selection::All, {r}});
  }
  ASSERT_EQ(runtime.PlayKitProgram(std::move(kit), 0), 30);
  EXPECT_FALSE(runtime.IsLoading());
  EXPECT_GT(batches, 10);
  EXPECT_EQ(runtime.m_output.GetReclaimer().PendingCount(), 0u);
  EXPECT_EQ(runtime.m_trigger.Current().m_program.m_note[65].nSetCount, 1u);
}

TEST_F(KitLoadingTest, ANewKitCancelsTheLoadAndNothingOfTheOldKitIsPublished) {
  TempDir a, b;
  const auto first = Samples(a, 6);
  const auto second = Samples(b, 2);
  ASSERT_TRUE(runtime.OpenDrumSet(SaveKit(a, first), list));
  gate.Open(first[0]);
  gate.Open(first[1]);
  PollUntil([&] { return runtime.HasVoice(0, 0); });
  ASSERT_TRUE(runtime.HasVoice(0, 0));
  gate.Open(first[2]);  // decoded, perhaps taken, never published

  ASSERT_TRUE(runtime.OpenDrumSet(SaveKit(b, second), list));
  EXPECT_FALSE(runtime.HasVoice(0, 0));
  gate.OpenAll();
  PollUntil([&] { return !runtime.IsLoading(); });
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(0, 0)]->m_strName, second[0]);
  for (int slot = 1; slot < 3; ++slot) EXPECT_FALSE(runtime.HasVoice(slot, 0)) << slot;
}

TEST_F(KitLoadingTest, QuittingDuringALoadLeaksNothing) {
  // The runtime goes with workers in the middle of files; AddressSanitizer's
  // leak check sees what was left.
  TempDir dir;
  const auto paths = Samples(dir, 8);
  auto other = std::make_unique<ThumperRuntime>(doc, ui, MakeOfflineBackend());
  other->m_bLoadInBackground = true;
  other->m_loader.SetDecoder(gate.Fn());
  ASSERT_TRUE(other->OpenDrumSet(SaveKit(dir, paths), list));
  gate.Open(paths[0]);
  gate.Open(paths[1]);
  gate.Open(paths[2]);
  for (int i = 0; i < 200 && other->LoadDone() < 2; ++i) {
    other->Poll();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  EXPECT_TRUE(other->IsLoading());
  other.reset();
}

TEST_F(KitLoadingTest, ALayerSetByHandDuringALoadKeepsItsOwnSample) {
  TempDir dir;
  const auto paths = Samples(dir, 2);
  const std::string mine = dir / "mine.wav";
  test::WriteWav(mine, std::vector<int16_t>(400, 7));
  ASSERT_TRUE(runtime.OpenDrumSet(SaveKit(dir, paths), list));
  ASSERT_TRUE(runtime.LoadLayerVoice(mine, 0, 1));
  gate.OpenAll();
  PollUntil([&] { return !runtime.IsLoading(); });
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(0, 1)]->m_strName, mine);
  EXPECT_EQ(runtime.m_pVoices[LayerIndex(0, 0)]->m_strName, paths[0]);
}

TEST_F(KitLoadingTest, WithoutTheBackgroundTheUpdateStepReturnsWithEveryVoiceAndReportsProgress) {
  runtime.m_bLoadInBackground = false;
  runtime.m_loader.SetDecoder(nullptr);
  std::vector<std::pair<int, int>> progress;
  runtime.m_onLoadProgress = [&](int done, int total) { progress.push_back({done, total}); };
  TempDir dir;
  const auto paths = Samples(dir, 6);
  ASSERT_TRUE(runtime.OpenDrumSet(SaveKit(dir, paths), list));
  EXPECT_FALSE(runtime.IsLoading());
  for (int slot = 0; slot < 3; ++slot) EXPECT_TRUE(runtime.HasVoice(slot, 1)) << slot;
  ASSERT_FALSE(progress.empty());
  EXPECT_EQ(progress.front(), std::make_pair(0, 6));
  EXPECT_EQ(progress.back(), std::make_pair(6, 6));
}

TEST_F(KitLoadingTest, OnlyTheChosenSlotsAreReadAndTheOthersFilesAreStillChecked) {
  // A render loads only what its song plays: here slot 1. Slot 0's files are
  // never decoded, but its file that is no sample is named all the same, in
  // the order a full load names files.
  runtime.m_bLoadInBackground = false;
  std::vector<std::string> decoded;
  runtime.m_loader.SetDecoder(
      [&decoded](const std::string& path, uint32_t rate, const std::atomic<bool>& cancel) {
        decoded.push_back(path);  // one worker, below
        return DecodeSampleFile(path, rate, &cancel);
      });
  runtime.m_loader.SetThreads(1);
  std::vector<std::string> unreadable;
  runtime.m_onUnreadableSample = [&](const std::string& path) { unreadable.push_back(path); };
  TempDir dir;
  auto paths = Samples(dir, 4);
  test::WriteTextFile(paths[1], "this is no sample");
  test::WriteTextFile(paths[3], "nor is this");
  runtime.m_slotsToLoad = std::bitset<kSlotCount>().set(1);
  ASSERT_TRUE(runtime.OpenDrumSet(SaveKit(dir, paths), list));

  EXPECT_EQ(decoded, (std::vector<std::string>{paths[2], paths[3]}));
  EXPECT_EQ(unreadable, (std::vector<std::string>{paths[1], paths[3]}));
  EXPECT_FALSE(runtime.HasVoice(0, 0));
  EXPECT_FALSE(runtime.HasVoice(0, 1));
  EXPECT_TRUE(runtime.HasVoice(1, 0));

  // Without the choice, every slot is read again.
  runtime.m_slotsToLoad.reset();
  decoded.clear();
  runtime.ResetVoices(true);
  EXPECT_EQ(decoded.size(), 4u);
  EXPECT_TRUE(runtime.HasVoice(0, 0));
}

TEST_F(KitLoadingTest, AKitOpenedThroughALinkFindsItsSamplesBesideTheRealFile) {
  // A drum set that names its samples without a folder, opened through a chain
  // of links from another folder, as a host's session holds it.
  namespace fs = std::filesystem;
  runtime.m_bLoadInBackground = false;
  runtime.m_loader.SetDecoder(nullptr);
  TempDir real, session;
  auto paths = Samples(real, 4);
  std::vector<std::string> names;
  for (const std::string& p : paths) names.push_back(fs::path(p).filename().string());
  const std::string kit = SaveKit(real, names);
  fs::create_directories(session / "externals");
  fs::create_directories(session / "state2");
  fs::create_symlink(kit, session / "externals/kit.drums");
  fs::create_symlink("../externals/kit.drums", session / "state2/kit.drums");
  ASSERT_TRUE(runtime.OpenDrumSet(session / "state2/kit.drums", list));
  EXPECT_TRUE(ui.messages.empty()) << ui.messages[0].caption;
  for (int slot = 0; slot < 2; ++slot)
    for (int layer = 0; layer < 2; ++layer) EXPECT_TRUE(runtime.HasVoice(slot, layer));
  // The document still names the file as given: that is what is saved and shown.
  EXPECT_EQ(doc.GetPathName(), session / "state2/kit.drums");

  // A layer given a bare name later is found there too, without a dialog.
  EXPECT_TRUE(runtime.LoadLayerVoice(names[3], 3, 0));
  EXPECT_TRUE(runtime.HasVoice(3, 0));
  EXPECT_TRUE(ui.fileDialogs.empty());
  ui.messages.clear();

  // A sample that really is missing is still asked about, by the same question.
  fs::remove(paths[2]);
  ui.messageAnswers = {MsgResult::No};
  runtime.ResetVoices(true);
  ASSERT_FALSE(ui.messages.empty());
  EXPECT_EQ(ui.messages[0].caption, "File s2.wav has not been found");
}

}  // namespace
}  // namespace thumper

namespace thumper {
namespace {

// The plugin's load: a kit handed over while its samples come in, each step
// playing the notes whose samples are all in, and the last step's voices
// shared with the whole kit, so what a step started never loses its sample.
class KitLoadInSteps : public ::testing::Test {
 protected:
  KitLoadInSteps() : device(reclaimer, 44100, "test") {
    for (int i = 0; i < 3; ++i) {
      paths.push_back(dir / ("s" + std::to_string(i) + ".wav"));
      test::WriteWav(paths.back(), std::vector<int16_t>(4000, int16_t(100 + i)));
    }
    // Note 38 sounds s0; note 36 sounds s1 and s2 together.
    test::WriteTextFile(dir / "kit.sfz",
                        "<region> key=38 sample=s0.wav\n<region> key=36 sample=s1.wav\n"
                        "<region> key=36 sample=s2.wav\n");
    steps.interval = std::chrono::milliseconds(0);
    steps.decode = gate.Fn();
  }
  static const PlayNote& Note(const LoadedKit& kit, int note) {
    return kit.m_pState->m_program.m_note[note];
  }

  TempDir dir;
  std::vector<std::string> paths;
  Reclaimer reclaimer;
  PulledDevice device;
  GatedDecoder gate;
  ScriptedUi ui;
  KitLoadSteps steps;
};

TEST_F(KitLoadInSteps, EachStepPlaysTheNotesWhoseSamplesAreAllInAndNoneHalf) {
  std::vector<std::unique_ptr<LoadedKit>> seen;
  steps.onStep = [&](std::unique_ptr<LoadedKit> kit) {
    EXPECT_FALSE(kit->m_bComplete);
    // Opened one at a time, so every step sees one more sample in.
    if (seen.size() < paths.size()) gate.Open(paths[seen.size()]);
    seen.push_back(std::move(kit));
  };
  std::unique_ptr<LoadedKit> kit = LoadKit(dir / "kit.sfz", device, ui, std::nullopt, steps);
  ASSERT_TRUE(kit);
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_TRUE(Note(*seen[0], 38).bLoading && Note(*seen[0], 36).bLoading);
  EXPECT_FALSE(Note(*seen[1], 38).bLoading);
  EXPECT_EQ(Note(*seen[1], 38).nSetCount, 1u) << "note 38 plays while 36 still loads";
  EXPECT_TRUE(Note(*seen[1], 36).bLoading);
  // One of note 36's two samples is in: it stays silent rather than play half.
  EXPECT_TRUE(Note(*seen[2], 36).bLoading);
  EXPECT_EQ(Note(*seen[2], 36).nSetCount, 0u);
  EXPECT_TRUE(kit->m_bComplete);
  EXPECT_FALSE(Note(*kit, 36).bLoading);
  EXPECT_EQ(Note(*kit, 36).nSetCount, 1u);
  EXPECT_EQ(kit->m_nDroppedLayers, 0);
  for (const auto& step : seen) EXPECT_EQ(step->m_pKitVoices, kit->m_pKitVoices);
  // The whole kit's ring time covers what any step started.
  EXPECT_GE(kit->m_nRingFrames, seen[2]->m_nRingFrames);
}

TEST_F(KitLoadInSteps, AStoppedLoadHandsOverNothingMore) {
  bool stop = false;
  int stepCount = 0;
  steps.cancelled = [&] { return stop; };
  steps.onStep = [&](std::unique_ptr<LoadedKit>) {
    ++stepCount;
    gate.Open(paths[0]);
    stop = true;  // another kit was chosen; the decoders still hold s1 and s2
  };
  EXPECT_FALSE(LoadKit(dir / "kit.sfz", device, ui, std::nullopt, steps));
  EXPECT_EQ(stepCount, 1);
  EXPECT_TRUE(ui.notices.empty());
}

TEST(KitProgramVoices, ALargeKitSharesTheMixersCopiesAmongItsSamples) {
  EXPECT_EQ(CopiesPerSample(100), SampleVoice::kMaxCopies);
  EXPECT_EQ(CopiesPerSample(1020), SampleVoice::kMaxCopies);
  EXPECT_EQ(CopiesPerSample(4000), 4);  // a 4,000-file multi-mic kit all loads
  EXPECT_EQ(CopiesPerSample(16000), 1);
  EXPECT_EQ(CopiesPerSample(100000), 1);
  EXPECT_LE(CopiesPerSample(4000) * 4000, static_cast<int>(Mixer::Options{}.nBufferSlots));
}

TEST(KitMemoryPlanTest, PastTheBudgetTheLargestSamplesStreamUntilTheKitFits) {
  TempDir dir;
  KitProgram program;
  program.strPath = dir / "kit.sfz";
  // Stereo 44.1 kHz: 400 kB, 200 kB, 100 kB, and one shorter than a head.
  for (int frames : {100000, 50000, 25000, 4000}) {
    const std::string path = dir / ("s" + std::to_string(frames) + ".wav");
    test::WriteWav(path, std::vector<int16_t>(2 * size_t(frames), 100));
    program.samples.push_back({path});
  }
  const KitMemoryPlan fits = PlanKitMemory(program, nullptr, 44100, 2000000);
  EXPECT_EQ(fits.nStreamed, 0);
  EXPECT_EQ(fits.nWholeBytes, 4u * (100000 + 50000 + 25000 + 4000));
  EXPECT_EQ(fits.nHeldBytes, fits.nWholeBytes);
  EXPECT_FALSE(fits.refusal);

  // 600 kB: the largest alone goes to disk, its head and the streams' pool stay.
  const KitMemoryPlan one = PlanKitMemory(program, nullptr, 44100, 600000);
  EXPECT_EQ(one.streamed, (std::vector<bool>{true, false, false, false}));
  EXPECT_LE(one.nHeldBytes, 600000u);
  EXPECT_EQ(one.nHeldBytes,
            4u * (8192 + 50000 + 25000 + 4000) + SampleStreamer::PoolBytes(one.nStreams));
  EXPECT_FALSE(one.refusal);
  // Only the samples a song plays count.
  const std::vector<bool> wanted = {false, true, true, true};
  EXPECT_EQ(PlanKitMemory(program, &wanted, 44100, 600000).nStreamed, 0);

  // 200 kB: every sample longer than a head streams, and still it does not fit.
  const KitMemoryPlan none = PlanKitMemory(program, nullptr, 44100, 200000);
  EXPECT_EQ(none.streamed, (std::vector<bool>{true, true, true, false}));
  ASSERT_TRUE(none.refusal);
  EXPECT_NE(none.refusal->find("when the largest stream from disk, and its memory budget is 1 MB"),
            std::string::npos)
      << *none.refusal;
}

}  // namespace
}  // namespace thumper
