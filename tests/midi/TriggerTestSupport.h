#pragma once
// A drum set played through the note trigger on the plain-loop engine: voices
// made from constant synthetic samples, a mixer pulled by the test, and helpers
// to send MIDI and read back what sounded.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <memory>
#include <vector>

#include "audio/AudioTestSupport.h"
#include "audio/SampleVoice.h"
#include "audio/SoundDevice.h"
#include "drumset/DrumSet.h"
#include "midi/MidiInput.h"
#include "play/NoteTrigger.h"
#include "play/TriggerState.h"
#include "support/TestSupport.h"

namespace thumper::test {

// Each layer's sample holds its own constant, so a level tells the voice.
inline int16_t LayerValue(int layer) {
  return static_cast<int16_t>(1000 << layer);
}

class TriggerTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kSampleFrames = 44100;  // one second

  ~TriggerTest() override {
    if (reader) reclaimer.UnregisterReader(reader);
  }

  // Gives layer its own sample (and voice), leaving the sources to the test.
  SampleVoice* MakeVoice(int slot, int layer, uint32_t frames = kSampleFrames) {
    const auto bytes = ConstantSample(frames, LayerValue(layer));
    auto& voice = voices[LayerIndex(slot, layer)];
    voice = std::make_unique<SampleVoice>(ui, &device, bytes.data(),
                                          static_cast<uint32_t>(bytes.size()), 16, OutputFormat(),
                                          "layer" + std::to_string(layer) + ".wav");
    return voice.get();
  }

  // Own samples on the given layers, sources as the document keeps them.
  void GiveOwnLayers(int slot, std::initializer_list<int> layers) {
    int source = -1;
    for (int l = 0; l < kLayerCount; ++l) {
      if (std::find(layers.begin(), layers.end(), l) != layers.end()) {
        MakeVoice(slot, l);
        source = l;
      }
      set.m_nLayerSource[LayerIndex(slot, l)] = source;
    }
  }

  void SetSources(int slot, std::array<int32_t, kLayerCount> sources) {
    for (int l = 0; l < kLayerCount; ++l) set.m_nLayerSource[LayerIndex(slot, l)] = sources[l];
  }

  std::array<SampleVoice*, kLayerTotal> VoiceTable() const {
    std::array<SampleVoice*, kLayerTotal> table{};
    for (int i = 0; i < kLayerTotal; ++i) table[i] = voices[i].get();
    return table;
  }

  void Publish() { trigger.Publish(BuildTriggerState(set, voices)); }

  void Send(uint8_t status, uint8_t d1, uint8_t d2) {
    trigger.OnMidiMessage(*reader, PackShortMessage(status, d1, d2), 0);
  }
  void NoteOn(int note, int velocity, uint8_t status = 0x90) {
    Send(status, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity));
  }

  // Left channel of frames mixed frames, in full-scale units of 16-bit samples.
  std::vector<double> MixLeftLevels(uint32_t frames) {
    std::vector<float> out(2 * frames);
    mixer.Mix(out.data(), frames);
    std::vector<double> left(frames);
    for (uint32_t i = 0; i < frames; ++i) left[i] = out[2 * i] * 32768.0;
    return left;
  }
  // The level of the first frame after the next block starts.
  double NextLevel() { return MixLeftLevels(64)[0]; }

  static double Expected(int layer, long attenuation) {
    return LayerValue(layer) * static_cast<double>(GainOfAttenuation(attenuation));
  }

  std::vector<NoteEvent> DrainEvents() {
    std::vector<NoteEvent> events;
    NoteEvent e;
    while (trigger.PopNoteEvent(e)) events.push_back(e);
    return events;
  }

  Reclaimer reclaimer;
  PulledDevice device{reclaimer};
  Mixer& mixer = device.GetMixer();
  ScriptedUi ui;
  DrumSet set;
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> voices;
  NoteTrigger trigger{reclaimer};
  RtReader* reader = reclaimer.RegisterReader();
  DirectMidiInbox inbox{trigger, reader};
};

#define EXPECT_LEVEL(actual, expected) \
  EXPECT_NEAR((actual), (expected), std::abs(expected) * 1e-4 + 0.02)

}  // namespace thumper::test
