// A kit that takes long to load: the window goes on answering, shows
// "Loading N of M" where the free memory is, and the free memory comes back
// at the end.

#include <QTest>
#include <condition_variable>
#include <mutex>

#include "AppFixture.h"
#include "view/CThumperView.h"

namespace thumper::test {
namespace {

class LoadProgressTest : public AppFixture {
 protected:
  // A slowed reader: each file waits until the test lets that many through.
  DecodedSample Decode(const std::string& path, uint32_t rate, const std::atomic<bool>& cancel) {
    {
      std::unique_lock lock(m_mutex);
      const int mine = m_nStarted++;
      while (!cancel.load() && mine >= m_nAllowed)
        m_changed.wait_for(lock, std::chrono::milliseconds(5));
    }
    return DecodeSampleFile(path, rate, &cancel);
  }
  void Allow(int n) {
    std::lock_guard lock(m_mutex);
    m_nAllowed = n;
    m_changed.notify_all();
  }

  std::string SaveKit(int n) {
    CThumperDoc kit;
    kit.OnNewDocument();
    kit.m_pGroupNames->push_back("Kit");
    for (int i = 0; i < n; ++i) {
      const std::string path = files / ("s" + std::to_string(i) + ".wav");
      WriteWav(path, std::vector<int16_t>(2000, int16_t(100 + i)));
      kit.m_pGroupList[0]->push_back(path);
      kit.m_layerSample[LayerIndex(i, 0)] = {0, i};
      for (int l = 0; l < kLayerCount; ++l) kit.m_nLayerSource[LayerIndex(i, l)] = 0;
    }
    EXPECT_TRUE(kit.OnSaveDocument(files / "slow.drums", ui));
    return files / "slow.drums";
  }

  // The window on kit, loading in the background through the gated decoder.
  bool StartOn(const std::string& kit) {
    AppOptions options = MakeOptions();
    options.bLoadInBackground = true;
    options.decodeSample = [this](const std::string& p, uint32_t r, const std::atomic<bool>& c) {
      return Decode(p, r, c);
    };
    app = std::make_unique<CThumperApp>(std::move(options));
    AppCommandLine line;
    line.strFile = kit;
    return app->InitInstance(line);
  }

  const QString& ProgressText() { return Frame().View().SampleList().LoadProgressText(); }

  std::mutex m_mutex;
  std::condition_variable m_changed;
  int m_nStarted = 0;
  int m_nAllowed = 0;
};

TEST_F(LoadProgressTest, TheWindowAnswersAndCountsWhileTheKitLoads) {
  const std::string kit = SaveKit(6);
  ASSERT_TRUE(StartOn(kit));
  ThumperRuntime& runtime = *app->Runtime();
  EXPECT_TRUE(runtime.IsLoading());

  // Nothing is said in the first half second.
  QTest::qWait(100);
  EXPECT_TRUE(ProgressText().isEmpty());
  QTest::qWait(600);
  EXPECT_EQ(ProgressText(), "Loading 0 of 6");

  // The face answers the mouse meanwhile: the octave pair 3+4 is chosen.
  CThumperView& view = Frame().View();
  const Rect& pair = view.Regions().m_rcPair34;
  const QPoint centre((pair.left + pair.right) / 2, (pair.top + pair.bottom) / 2);
  const int before = view.Keyboards().m_nFirstShownSlot;
  QTest::mouseClick(&view, Qt::LeftButton, Qt::NoModifier, centre);
  EXPECT_NE(view.Keyboards().m_nFirstShownSlot, before);

  Allow(3);
  QTRY_COMPARE_WITH_TIMEOUT(ProgressText(), QString("Loading 3 of 6"), 5000);
  EXPECT_TRUE(runtime.HasVoice(2, 0));
  EXPECT_FALSE(runtime.HasVoice(3, 0));

  Allow(6);
  QTRY_VERIFY_WITH_TIMEOUT(!runtime.IsLoading(), 5000);
  QTRY_VERIFY_WITH_TIMEOUT(ProgressText().isEmpty(), 2000);
  EXPECT_TRUE(runtime.HasVoice(5, 0));
}

TEST_F(LoadProgressTest, QuittingDuringALoadEndsAtOnce) {
  const std::string kit = SaveKit(4);
  ASSERT_TRUE(StartOn(kit));
  Allow(1);
  QTest::qWait(50);
  EXPECT_TRUE(app->Runtime()->IsLoading());
  Stop();  // the workers are cancelled in the middle of their files
  EXPECT_EQ(app, nullptr);
}

}  // namespace
}  // namespace thumper::test
