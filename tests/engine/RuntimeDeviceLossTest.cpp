// A device that stops calling back (a JACK server that went away) must not
// stall the program when it is replaced: the voices move to the next device.

#include <gtest/gtest.h>

#include <chrono>
#include <future>

#include "audio/OutputDriverList.h"
#include "audio/SoundDevice.h"
#include "drumset/CThumperDoc.h"
#include "engine/ThumperRuntime.h"
#include "support/TestSupport.h"

namespace thumper {
namespace {

// "stalled" is pulled only when the test mixes by hand; the other is silent.
struct StallingBackend : DriverBackend {
  bool Enumerate(OutputDriverList& list) override {
    DriverId silent;
    silent.kind = DriverId::Kind::Silent;
    EnumOutputDriver(nullptr, "stalled", "", list);
    EnumOutputDriver(&silent, "No audio output", "", list);
    return true;
  }
  std::unique_ptr<SoundDevice> Open(const DriverId*, const std::string& description,
                                    Reclaimer& reclaimer, uint32_t period) override {
    if (description == "stalled")
      return std::make_unique<PulledDevice>(reclaimer, kOutputRate, description);
    return std::make_unique<SilentDevice>(reclaimer, description, period);
  }
};

class DeviceLossTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string path = dir / "kick.wav";
    test::WriteWav(path, std::vector<int16_t>(4000, 1000));
    doc.OnNewDocument();
    doc.m_pGroupNames->push_back("Kit");
    doc.m_pGroupList[0]->push_back(path);
    doc.m_layerSample[0] = {0, 0};
    for (int l = 0; l < kLayerCount; ++l) doc.m_nLayerSource[l] = 0;
    runtime.UpdateStep(list, false);
    ASSERT_TRUE(runtime.HasVoice(0, 0));
    // The device has mixed once, so its reader holds an epoch, and then stops.
    std::vector<float> out(2 * 64);
    runtime.m_output.m_pDirectSound->GetMixer().Mix(out.data(), 64);
  }

  // Runs step on another thread; a stall fails the test instead of hanging it.
  void WithinSeconds(const std::function<void()>& step) {
    auto done = std::async(std::launch::async, step);
    if (done.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
      ADD_FAILURE() << "still waiting for the stalled device after 20 s";
      std::quick_exit(1);
    }
  }

  test::TempDir dir;
  test::ScriptedUi ui;
  CThumperDoc doc;
  SampleListState list;
  ThumperRuntime runtime{doc, ui, std::make_unique<StallingBackend>()};
};

TEST_F(DeviceLossTest, AFailedDeviceIsReplacedByTheSilentOneWithEveryVoice) {
  runtime.m_output.m_pDirectSound->MarkFailed();
  WithinSeconds([&] { runtime.Poll(); });
  EXPECT_EQ(runtime.m_output.m_pDirectSound->Description(), "No audio output");
  EXPECT_TRUE(runtime.HasVoice(0, 0));
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"stalled does not seem to work"});
}

TEST_F(DeviceLossTest, SwitchingAwayFromAStalledDeviceTakesTheVoicesAlong) {
  runtime.m_output.m_nOutputDriver = 1;
  int result = -1;
  WithinSeconds([&] { result = runtime.m_output.InitDirectSound(ui, true); });
  EXPECT_EQ(result, 1);
  EXPECT_EQ(runtime.m_output.m_pDirectSound->Description(), "No audio output");
  EXPECT_TRUE(runtime.HasVoice(0, 0));
}

}  // namespace
}  // namespace thumper
