#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <thread>

#include "AudioTestSupport.h"
#include "audio/AudioOutput.h"
#include "audio/SampleVoice.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

struct ScriptedDriver {
  std::string description;
  bool opens = true;
  bool silent = false;
};

// A device whose cycles the test runs, as its audio thread would.
class CycledDevice : public PulledDevice {
 public:
  using PulledDevice::PulledDevice;
  // The loudest sample of one cycle of frames frames.
  float Peak(uint32_t frames) {
    std::vector<float> out(2 * frames, 1.0f);
    RenderCycle(MixTarget::Interleaved(out.data()), frames, {}, {});
    float peak = 0;
    for (float v : out) peak = std::max(peak, std::fabs(v));
    return peak;
  }
  // Frames until the mix falls silent.
  uint32_t SoundingFrames() {
    uint32_t frames = 0;
    while (frames < 1000000) {
      std::vector<float> out(2);
      RenderCycle(MixTarget::Interleaved(out.data()), 1, {}, {});
      if (out[0] == 0.0f) break;
      ++frames;
    }
    return frames;
  }
};

// Lists the scripted drivers and opens the ones marked so, as caller-pulled devices.
class ScriptedBackend : public DriverBackend {
 public:
  std::vector<ScriptedDriver> drivers;
  bool enumerationFails = false;
  std::vector<std::string> opened;  // every attempt, by description
  CycledDevice* last = nullptr;

  bool Enumerate(OutputDriverList& list) override {
    if (enumerationFails) return false;
    for (size_t i = 0; i < drivers.size(); ++i) {
      DriverId id{drivers[i].silent ? DriverId::Kind::Silent : DriverId::Kind::RtAudioDevice, 0,
                  unsigned(i), drivers[i].description};
      EnumOutputDriver(i == 0 ? nullptr : &id, drivers[i].description, "test", list);
    }
    return true;
  }
  std::unique_ptr<SoundDevice> Open(const DriverId*, const std::string& description,
                                    Reclaimer& reclaimer, uint32_t) override {
    opened.push_back(description);
    for (const auto& d : drivers) {
      if (d.description == description && d.opens) {
        auto device = std::make_unique<CycledDevice>(reclaimer, kOutputRate, description);
        last = device.get();
        return device;
      }
    }
    return nullptr;
  }
};

class Resets : public VoiceResetter {
 public:
  explicit Resets(AudioOutput& output) : m_output(output) {}
  std::vector<std::string> calls;   // "release" or "reload on <open?>"
  std::function<void()> onReset;    // what the voice table does then
  std::function<void()> onRelease;  // the same for a release without a wait
  void ResetVoices(bool reload) override {
    calls.push_back(reload ? (m_output.IsOpen() ? "reload" : "reload without device") : "release");
    if (onReset) onReset();
  }
  void ReleaseVoices() override {
    calls.push_back("release only");
    if (onRelease) onRelease();
  }

 private:
  AudioOutput& m_output;
};

class AudioOutputTest : public ::testing::Test {
 protected:
  ScriptedBackend* backend = new ScriptedBackend;
  AudioOutput output{std::unique_ptr<DriverBackend>(backend)};
  Resets resets{output};
  ScriptedUi ui;

  void SetUp() override {
    output.SetVoiceResetter(&resets);
    backend->drivers = {
        {"Default output device"}, {"JACK: system"}, {"ALSA: hw"}, {"No audio output", true, true}};
  }
};

TEST_F(AudioOutputTest, FirstOpeningTakesTheDefaultDevice) {
  EXPECT_EQ(output.InitDirectSound(ui, false), 1);
  EXPECT_TRUE(output.IsOpen());
  EXPECT_EQ(output.m_nOutputDriver, 0);
  EXPECT_EQ(backend->opened, std::vector<std::string>{"Default output device"});
  EXPECT_EQ(output.m_wfxOutput, OutputFormat());
  EXPECT_EQ(output.m_wfxOutput.nAvgBytesPerSec, 176400u);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_TRUE(resets.calls.empty());
}

TEST_F(AudioOutputTest, TheFirstDriverThatOpensIsTakenInListOrder) {
  backend->drivers[0].opens = false;
  backend->drivers[1].opens = false;
  EXPECT_EQ(output.InitDirectSound(ui, false), 1);
  EXPECT_EQ(output.m_nOutputDriver, 2);
  EXPECT_EQ(backend->opened,
            (std::vector<std::string>{"Default output device", "JACK: system", "ALSA: hw"}));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AudioOutputTest, ASwitchReleasesReopensAndReloads) {
  output.InitDirectSound(ui, false);
  output.m_nOutputDriver = 2;
  EXPECT_EQ(output.InitDirectSound(ui, true), 1);
  EXPECT_EQ(output.m_nOutputDriver, 2);
  EXPECT_EQ(backend->opened.back(), "ALSA: hw");
  EXPECT_EQ(resets.calls, (std::vector<std::string>{"release", "reload"}));
  EXPECT_TRUE(ui.messages.empty());
}

TEST_F(AudioOutputTest, AFailedSwitchIsReportedOnceAndTheFallbackReloadsTheVoices) {
  output.InitDirectSound(ui, false);
  backend->drivers[1].opens = false;
  output.m_nOutputDriver = 1;
  EXPECT_EQ(output.InitDirectSound(ui, true), 0);
  ASSERT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(ui.messages[0].text, "JACK: system does not seem to work");
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_FALSE(output.IsOpen());
  EXPECT_EQ(resets.calls, std::vector<std::string>{"release"});

  // What the Options dialog does next.
  EXPECT_EQ(output.InitDirectSound(ui, false), 1);
  EXPECT_EQ(output.m_nOutputDriver, 0);
  EXPECT_EQ(ui.messages.size(), 1u);
  EXPECT_EQ(resets.calls, (std::vector<std::string>{"release", "reload"}));
}

TEST_F(AudioOutputTest, AFailedEnumerationIsReportedAndLeavesTheDevice) {
  output.InitDirectSound(ui, false);
  SoundDevice* before = output.m_pDirectSound.get();
  backend->enumerationFails = true;
  EXPECT_EQ(output.InitDirectSound(ui, false), 1);
  EXPECT_EQ(ui.MessageTexts(), std::vector<std::string>{"Could not Enumerate"});
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_EQ(output.m_pDirectSound.get(), before);
}

TEST_F(AudioOutputTest, WithoutAnyDeviceVoicesReportAndDoNothing) {
  backend->enumerationFails = true;
  output.InitDirectSound(ui, false);
  EXPECT_FALSE(output.IsOpen());
  auto bytes = ConstantSample(10, 1);
  SampleVoice v(ui, output.m_pDirectSound.get(), bytes.data(), 40, 16, output.m_wfxOutput, "a");
  EXPECT_EQ(ui.MessageTexts(),
            (std::vector<std::string>{"Could not Enumerate", "En onnistunut luomaan bufferia"}));
  v.Play();
}

TEST_F(AudioOutputTest, ADeviceThatFailsWhileRunningIsReportedOnceAndReplacedBySilence) {
  output.InitDirectSound(ui, false);
  EXPECT_FALSE(output.Poll(ui));
  backend->last->MarkFailed();
  EXPECT_TRUE(output.Poll(ui));
  EXPECT_EQ(ui.MessageTexts(),
            std::vector<std::string>{"Default output device does not seem to work"});
  EXPECT_EQ(ui.messages[0].caption, "Error");
  EXPECT_TRUE(output.IsOpen());
  EXPECT_EQ(output.m_nOutputDriver, 3);
  EXPECT_EQ(output.m_pDirectSound->Description(), "No audio output");
  EXPECT_EQ(resets.calls, (std::vector<std::string>{"release", "reload"}));
  EXPECT_FALSE(output.Poll(ui));
  EXPECT_EQ(ui.messages.size(), 1u);
}

// The server now runs at 48 kHz: the old voices are not heard at the wrong
// speed, and the voice table is made again on the same device at its rate.
TEST_F(AudioOutputTest, ANewDeviceRateSilencesTheOldVoicesAndReloadsOnTheSameDevice) {
  output.InitDirectSound(ui, false);
  CycledDevice* device = backend->last;
  Mixer& mixer = device->GetMixer();
  const BufferId old = MakeBuffer(mixer, ConstantSample(44100, 10000));
  mixer.Play(old);
  EXPECT_GT(device->Peak(64), 0.1f);

  device->NoteDeviceRate(44100);  // JACK 2 says the rate once when asked to: nothing changes
  EXPECT_FALSE(device->RateChanged());
  EXPECT_FALSE(output.Poll(ui));
  EXPECT_TRUE(resets.calls.empty());

  device->NoteDeviceRate(48000);
  EXPECT_TRUE(device->RateChanged());
  EXPECT_EQ(device->Peak(64), 0.0f) << "a voice of the old rate is heard";
  float peakDuringRelease = -1, peakOfNewVoice = -1;
  uint32_t rateAtRelease = 0;
  resets.onRelease = [&] {
    // The voice table releases the old voices before it makes the new ones.
    peakDuringRelease = device->Peak(64);
    rateAtRelease = device->SampleRate();
    mixer.ReleaseBuffer(old);
  };
  resets.onReset = [&] {
    // A voice published by the reload is heard from its first frame: the
    // silence has ended before, so no hit is cut short by it.
    const BufferId first = MakeBuffer(mixer, ConstantSample(4800, 10000));
    mixer.Play(first);
    peakOfNewVoice = device->Peak(64);
    mixer.ReleaseBuffer(first);
  };
  EXPECT_FALSE(output.Poll(ui));
  EXPECT_EQ(resets.calls, (std::vector<std::string>{"release only", "reload"}));
  EXPECT_EQ(peakDuringRelease, 0.0f);
  EXPECT_EQ(rateAtRelease, 48000u);
  EXPECT_GT(peakOfNewVoice, 0.1f);
  EXPECT_EQ(output.m_pDirectSound.get(), device) << "the device was closed";
  EXPECT_EQ(backend->opened.size(), 1u);
  EXPECT_TRUE(ui.messages.empty());
  EXPECT_FALSE(device->RateChanged());

  // 0.1 s made now lasts 0.1 s at 48 kHz, and is heard.
  const BufferId fresh = MakeBuffer(mixer, ConstantSample(4410, 10000));
  mixer.Play(fresh);
  EXPECT_NEAR(device->SoundingFrames(), 4800, 2);
  EXPECT_FALSE(output.Poll(ui));
  EXPECT_EQ(resets.calls.size(), 2u);
}

TEST(OutputDriverList, MoreThanTwentyDriversAreLeftOut) {
  OutputDriverList list;
  EXPECT_TRUE(EnumOutputDriver(nullptr, "Default output device", "default", list));
  for (unsigned i = 1; i < 25; ++i) {
    DriverId id{DriverId::Kind::RtAudioDevice, 0, i, "dev" + std::to_string(i)};
    EXPECT_TRUE(EnumOutputDriver(&id, "dev" + std::to_string(i), "alsa", list));
  }
  EXPECT_EQ(list.m_nCount, 20);
  EXPECT_EQ(list.m_strDescription.size(), 20u);
  EXPECT_EQ(list.m_strModule.size(), 20u);
  EXPECT_EQ(list.m_pGuid[0], nullptr);
  ASSERT_NE(list.m_pGuid[19], nullptr);
  EXPECT_EQ(list.m_pGuid[19]->strDevice, "dev19");
}

TEST(SystemDrivers, TheDefaultDeviceComesFirstAndNoAudioOutputLast) {
  AudioOutput output;
  OutputDriverList list;
  ASSERT_TRUE(output.EnumerateDrivers(list));
  ASSERT_GE(list.m_nCount, 2);
  EXPECT_EQ(list.m_strDescription.front(), "Default output device");
  EXPECT_EQ(list.m_pGuid[0], nullptr);
  EXPECT_EQ(list.m_strDescription[list.m_nCount - 1], "No audio output");
  for (int i = 1; i + 1 < list.m_nCount; ++i)
    EXPECT_NE(list.m_strDescription[i].find(": "), std::string::npos) << list.m_strDescription[i];
}

TEST(SystemDrivers, NoAudioOutputConsumesTheMixAtTheRealTimeRate) {
  AudioOutput output;
  OutputDriverList list;
  output.EnumerateDrivers(list);
  ScriptedUi ui;
  output.m_nOutputDriver = list.m_nCount - 1;
  ASSERT_EQ(output.InitDirectSound(ui, true), 1);
  ASSERT_TRUE(output.IsOpen());
  auto bytes = ConstantSample(4410, 100);  // 0.1 s
  {
    SampleVoice v(ui, output.m_pDirectSound.get(), bytes.data(), uint32_t(bytes.size()), 16,
                  output.m_wfxOutput, "tick");
    const auto start = std::chrono::steady_clock::now();
    v.Play();
    Mixer& mixer = output.m_pDirectSound->GetMixer();
    while (mixer.SoundingVoices() == 0 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(2))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    while (mixer.SoundingVoices() != 0 &&
           std::chrono::steady_clock::now() - start < std::chrono::seconds(5))
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const auto took = std::chrono::steady_clock::now() - start;
    // Consumed at the real-time rate: neither at once nor never.
    EXPECT_GE(took, std::chrono::milliseconds(80));
    EXPECT_LT(took, std::chrono::seconds(5));
  }
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace thumper::test
