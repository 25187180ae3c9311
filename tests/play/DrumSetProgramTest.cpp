// A drum set compiled into the playing model plays, to the bit, as the drum
// set's own rule plays it: drum sets of random settings (schemes and thresholds
// in and out of range, sources, missing voices, cuts of other slots, of
// themselves and out of range) and random MIDI, mixed side by side.

#include <random>

#include "midi/TriggerTestSupport.h"
#include "play/DrumSetProgram.h"

namespace thumper::test {
namespace {

struct Rig {
  explicit Rig(const DrumSet& set, const std::vector<std::vector<uint8_t>>& samples) {
    for (int i = 0; i < kLayerTotal; ++i) {
      if (samples[i].empty()) continue;
      voices[i] = std::make_unique<SampleVoice>(ui, &device, samples[i].data(),
                                                static_cast<uint32_t>(samples[i].size()), 16,
                                                OutputFormat(), "s.wav");
    }
    state = BuildTriggerState(set, voices);
  }
  ~Rig() { reclaimer.UnregisterReader(reader); }

  std::vector<int16_t> Mix(uint32_t frames) {
    std::vector<int16_t> out(2 * frames);
    device.GetMixer().Mix(out.data(), frames);
    return out;
  }

  Reclaimer reclaimer;
  PulledDevice device{reclaimer};
  ScriptedUi ui;
  std::array<std::unique_ptr<SampleVoice>, kLayerTotal> voices;
  std::unique_ptr<TriggerState> state;
  NoteTrigger trigger{reclaimer};
  RtReader* reader = reclaimer.RegisterReader();
};

// The drum set's rule as it stands on its own, read straight off the slots.
void PlayAsADrumSet(const TriggerState& state, int note, int velocity, int channelVolume) {
  const TriggerSlot& slot = state.m_slot[SlotOfNote(note)];
  if (!slot.bSounds) return;
  if (SampleVoice* voice = slot.pLayerVoice[VelocityLayer(slot.nThreshold, velocity)])
    voice->PlayWithVolume(NoteAttenuation(slot.nVolume, channelVolume, velocity));
  if (slot.nCutSlot >= 0)
    for (SampleVoice* cut : state.m_slot[slot.nCutSlot].pOwnVoice)
      if (cut) cut->StopAll();
}

TEST(DrumSetProgram, ADrumSetOfRandomSettingsPlaysToTheBitAsItsOwnRule) {
  for (uint32_t seed = 1; seed <= 6; ++seed) {
    std::mt19937 random(seed);
    const auto pick = [&](int low, int high) {
      return std::uniform_int_distribution<int>(low, high)(random);
    };
    DrumSet set;
    for (auto& scheme : set.m_nVelocityThreshold)
      for (auto& t : scheme) t = pick(-5, 135);
    std::vector<std::vector<uint8_t>> samples(kLayerTotal);
    // Few slots, so notes meet and cut each other often.
    for (int s = 0; s < 8; ++s) {
      NoteSlot& slot = set.m_noteSlot[s];
      slot.nScheme = pick(0, 6);
      slot.nVolume = pick(-9000, 200);
      const int cut = pick(0, 9);
      slot.nCutNote = cut < 5 ? -1 : cut < 8 ? pick(0, 7) : cut == 8 ? s : 300;
      for (int l = 0; l < kLayerCount; ++l) {
        set.m_nLayerSource[LayerIndex(s, l)] = pick(-1, 5);
        if (pick(0, 3) == 0) continue;  // no voice (a sample that failed)
        auto& bytes = samples[LayerIndex(s, l)];
        bytes.resize(4 * pick(20, 3000));
        for (auto& b : bytes) b = static_cast<uint8_t>(random());
      }
    }
    Rig model(set, samples), rule(set, samples);
    model.trigger.Publish(std::move(model.state));
    int channelVolume = 127;
    for (int event = 0; event < 400; ++event) {
      const int kind = pick(0, 9);
      if (kind == 0) {
        channelVolume = pick(0, 127);
        model.trigger.OnMidiMessage(
            *model.reader, PackShortMessage(0xB0, 7, static_cast<uint8_t>(channelVolume)), 0);
      } else {
        const int note = pick(0, 1) ? pick(30, 43) : pick(0, 127);
        const int velocity = pick(1, 127);
        model.trigger.OnMidiMessage(
            *model.reader,
            PackShortMessage(0x90, static_cast<uint8_t>(note), static_cast<uint8_t>(velocity)), 0);
        PlayAsADrumSet(*rule.state, note, velocity, channelVolume);
      }
      if (pick(0, 2) == 0) {
        const uint32_t frames = static_cast<uint32_t>(pick(1, 700));
        ASSERT_EQ(model.Mix(frames), rule.Mix(frames)) << "seed " << seed << " event " << event;
      }
    }
    ASSERT_EQ(model.Mix(4000), rule.Mix(4000)) << "seed " << seed;
  }
}

}  // namespace
}  // namespace thumper::test
