#pragma once
// For the Options tests, engine and dialog alike: output drivers that open as
// devices pulled by a clock thread of their own, as real devices are (a driver
// switch waits for the audio side to move past the voices it releases), which
// record the loudest frame they mixed; and a drum set whose slot 0 (note 36)
// plays a constant sample of 1000.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "audio/OutputDriverList.h"
#include "audio/SoundDevice.h"
#include "drumset/CThumperDoc.h"
#include "engine/ThumperRuntime.h"
#include "support/TestSupport.h"

namespace thumper::test {

class ClockedDevice : public SoundDevice {
 public:
  static constexpr uint32_t kBlock = 64;

  ClockedDevice(Reclaimer& reclaimer, std::string description)
      : SoundDevice(reclaimer, kOutputRate, std::move(description)), m_thread([this] { Run(); }) {}
  ~ClockedDevice() override { StopPulling(); }
  uint32_t PeriodFrames() const override { return kBlock; }
  void StopPulling() override {
    m_bQuit.store(true);
    if (m_thread.joinable()) m_thread.join();
  }

  uint64_t Blocks() const { return m_nBlocks.load(); }
  void WaitBlocks(uint64_t count) const {
    const uint64_t until = Blocks() + count;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (Blocks() < until && std::chrono::steady_clock::now() < end)
      std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // The loudest left sample since the last call, in 16-bit units.
  double TakePeak() { return m_fPeak.exchange(0.0f) * 32768.0; }

 private:
  void Run() {
    std::vector<float> block(2 * kBlock);
    while (!m_bQuit.load()) {
      RenderCycle(MixTarget::Interleaved(block.data()), kBlock, {},
                  {SteadyMicros(), &SteadyMicros});
      float peak = m_fPeak.load();
      for (uint32_t i = 0; i < kBlock; ++i) peak = std::max(peak, std::abs(block[2 * i]));
      m_fPeak.store(peak);
      m_nBlocks.fetch_add(1);
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  }

  std::atomic<bool> m_bQuit{false};
  std::atomic<float> m_fPeak{0.0f};
  std::atomic<uint64_t> m_nBlocks{0};
  std::thread m_thread;
};

// Drivers by description, the last one the silent kind, as on the system.
class ScriptedDrivers : public DriverBackend {
 public:
  struct Driver {
    std::string description;
    bool opens = true;
  };
  std::vector<Driver> drivers = {{"Default output device"}, {"JACK: system"}, {"No audio output"}};
  bool enumerationFails = false;
  std::vector<std::string> opened;  // every attempt, by description

  bool Enumerate(OutputDriverList& list) override {
    if (enumerationFails) return false;
    for (size_t i = 0; i < drivers.size(); ++i) {
      DriverId id{i + 1 == drivers.size() ? DriverId::Kind::Silent : DriverId::Kind::RtAudioDevice,
                  0, unsigned(i), drivers[i].description};
      EnumOutputDriver(i == 0 ? nullptr : &id, drivers[i].description, "test", list);
    }
    return true;
  }
  std::unique_ptr<SoundDevice> Open(const DriverId*, const std::string& description,
                                    Reclaimer& reclaimer, uint32_t) override {
    opened.push_back(description);
    for (const Driver& d : drivers)
      if (d.description == description && d.opens)
        return std::make_unique<ClockedDevice>(reclaimer, description);
    return nullptr;
  }
};

// A runtime on the scripted drivers with the one-sample drum set loaded on driver 0.
class OptionsRuntimeTest : public ::testing::Test {
 protected:
  OptionsRuntimeTest() : runtime(doc, ui, std::unique_ptr<DriverBackend>(drivers)) {}
  ~OptionsRuntimeTest() override {
    if (reader) runtime.m_output.GetReclaimer().UnregisterReader(reader);
  }

  void LoadKit() {
    ASSERT_TRUE(doc.OnNewDocument());
    WriteWav(dir / "kick.wav", std::vector<int16_t>(2 * 20000, 1000));
    doc.m_pGroupNames->push_back("Kit");
    doc.m_pGroupList[0]->push_back(dir / "kick.wav");
    doc.m_layerSample[LayerIndex(0, 0)] = {0, 0};
    for (int l = 0; l < kLayerCount; ++l) doc.m_nLayerSource[LayerIndex(0, l)] = 0;
    runtime.UpdateStep(list, false);
    ASSERT_TRUE(runtime.HasVoice(0, 0));
    ASSERT_EQ(runtime.m_output.m_nOutputDriver, 0);
    drivers->opened.clear();
    ui.messages.clear();
  }

  ClockedDevice& Device() { return dynamic_cast<ClockedDevice&>(*runtime.m_output.m_pDirectSound); }

  // The level a note-on of note 36 with this status sounds at on the open device.
  double LevelOf(uint8_t status) {
    ClockedDevice& device = Device();
    device.WaitBlocks(2);
    device.TakePeak();
    Send(status, 36, 127);
    device.WaitBlocks(4);
    const double peak = device.TakePeak();
    device.GetMixer().StopAll();
    device.WaitBlocks(4);  // the fade ends
    device.TakePeak();
    return peak;
  }

  void Send(uint8_t status, uint8_t d1, uint8_t d2) {
    if (!reader) reader = runtime.m_output.GetReclaimer().RegisterReader();
    runtime.m_trigger.OnMidiMessage(*reader, PackShortMessage(status, d1, d2), 0);
  }

  TempDir dir;
  ScriptedUi ui;
  CThumperDoc doc;
  ScriptedDrivers* drivers = new ScriptedDrivers;  // owned by the runtime
  ThumperRuntime runtime;
  SampleListState list;
  RtReader* reader = nullptr;
};

}  // namespace thumper::test
