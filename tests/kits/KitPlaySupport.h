#pragma once
// A compiled kit played through the note trigger and the mixer: each sample
// of the KitProgram becomes a voice of a constant level that names it (sample
// i plays 100 * (i + 1)), the kit is built for the trigger as every host
// builds it (BuildKitTriggerState), and the test reads back which samples
// sounded and how loud.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "audio/AudioTestSupport.h"
#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "midi/MidiInput.h"
#include "play/KitProgram.h"
#include "play/KitProgramBuild.h"
#include "play/NoteTrigger.h"
#include "play/TriggerState.h"
#include "support/TestSupport.h"

namespace thumper::test {

class KitPlayer {
 public:
  static constexpr uint32_t kRate = 44100;

  // frames: the length of every sample (long enough to hear a choke).
  explicit KitPlayer(const KitProgram& kit, uint64_t seed = 1, uint32_t frames = 44100) {
    std::vector<KitVoiceRef> refs;
    for (size_t i = 0; i < kit.samples.size(); ++i) refs.push_back({MakeVoice(Level(i), frames)});
    auto state = BuildKitTriggerState(kit, refs, device.SampleRate(), seed);
    EXPECT_TRUE(IsWellFormed(state->m_program));
    trigger.Publish(std::move(state));
  }
  ~KitPlayer() { reclaimer.UnregisterReader(reader); }

  static int Level(size_t sample) { return static_cast<int>(100 * (sample + 1)); }

  void Send(uint8_t status, uint8_t d1, uint8_t d2) {
    trigger.OnMidiMessage(*reader, PackShortMessage(status, d1, d2), 0);
  }
  // Left and right of the first frame mixed after the message.
  std::pair<double, double> Hit(int note, int velocity = 100) {
    Send(0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity));
    return Read();
  }
  std::pair<double, double> Read(uint32_t frames = 64) {
    std::vector<float> out(2 * frames);
    mixer.Mix(out.data(), frames);
    return {out[0] * 32768.0, out[1] * 32768.0};
  }
  std::vector<double> LeftLevels(uint32_t frames) {
    std::vector<float> out(2 * frames);
    mixer.Mix(out.data(), frames);
    std::vector<double> left(frames);
    for (uint32_t i = 0; i < frames; ++i) left[i] = out[2 * i] * 32768.0;
    return left;
  }
  // Silences everything (the next hit sounds alone).
  void Quiet() {
    mixer.StopAll();
    LeftLevels(512);
  }

  Reclaimer reclaimer;
  PulledDevice device{reclaimer};
  Mixer& mixer = device.GetMixer();
  ScriptedUi ui;
  NoteTrigger trigger{reclaimer};
  RtReader* reader = reclaimer.RegisterReader();

 private:
  SampleVoice* MakeVoice(int level, uint32_t frames) {
    const auto bytes = ConstantSample(frames, static_cast<int16_t>(level));
    m_own.push_back(std::make_unique<SampleVoice>(
        ui, &device, bytes.data(), static_cast<uint32_t>(bytes.size()), 16, OutputFormat(), "s"));
    return m_own.back().get();
  }

  std::vector<std::unique_ptr<SampleVoice>> m_own;
};

}  // namespace thumper::test
