// A many-region kit played from a MIDI thread while the audio thread mixes and
// the UI thread swaps new programs in: neither playing thread allocates, frees
// or locks, and every note-on reads one whole program.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "audio/AudioTestSupport.h"
#include "audio/SampleVoice.h"
#include "play/NoteTrigger.h"
#include "support/HeapCounter.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

#if defined(__SANITIZE_THREAD__)
constexpr int kAudioBlocks = 400;
#else
constexpr int kAudioBlocks = 2000;
#endif

// Notes 36..51: one round robin set of 16 regions, a random one of 8 chosen on
// controller 4, and 16 regions sounding together, that stop on note-off and
// choke the next note's group; notes 52..59 as an SFZ kit plays them.
std::unique_ptr<TriggerState> ManyRegions(const std::vector<std::unique_ptr<SampleVoice>>& voices,
                                          uint64_t seed) {
  auto state = std::make_unique<TriggerState>();
  PlayProgram& p = state->m_program;
  const auto voice = [&](size_t i) { return voices[i % voices.size()].get(); };
  for (int n = 36; n < 52; ++n) {
    PlayNote& note = p.m_note[n];
    note.nFirstSet = static_cast<uint32_t>(p.m_set.size());
    note.nSetCount = 3;
    note.bStopsOnNoteOff = true;
    p.m_group.push_back({static_cast<uint32_t>(p.m_groupVoice.size()), 16});
    for (int k = 0; k < 16; ++k) p.m_groupVoice.push_back(voice(n * 16 + k));
    p.m_stop.push_back(static_cast<uint32_t>((n - 36 + 1) % 16));
    const Selection selections[3] = {Selection::RoundRobin, Selection::RandomNoRepeat,
                                     Selection::All};
    for (int s = 0; s < 3; ++s) {
      const uint32_t count = s == 1 ? 8 : 16;
      p.m_set.push_back({static_cast<uint32_t>(p.m_region.size()), count, selections[s]});
      for (uint32_t r = 0; r < count; ++r) {
        PlayRegion region;
        region.pVoice = voice(n * 16 + r + s);
        region.fPanLeft = 0.5f;
        if (s == 1) {
          region.nFirstCondition = static_cast<uint32_t>(p.m_condition.size());
          region.nConditionCount = 1;
          p.m_condition.push_back({4, static_cast<uint8_t>(r * 16), 127});
        }
        if (s == 2) {
          region.nFirstStop = static_cast<uint32_t>(p.m_stop.size() - 1);
          region.nStopCount = 1;
          region.nChokeFadeFrames = 441;
          region.noteOff = NoteOffRule::Stop;
          region.nReleaseFadeFrames = 2205;
        }
        p.m_region.push_back(region);
      }
    }
  }
  // Notes 52..59 as an SFZ kit makes them: the curve law with controllers and
  // pan worked out at the start, sequence and random checks, a stop that
  // spares its group while CC 4 holds, a release set and a pressure set; and
  // regions that CC 4 starts when it moves.
  PlayProgram::Curve square{}, bipolar{};
  for (int i = 0; i < 128; ++i) {
    square[i] = float(i * i) / (127.0f * 127.0f);
    bipolar[i] = -1.0f + 2.0f * float(i) / 127.0f;
  }
  p.m_curve = {square, bipolar};
  p.m_modulation = {{Modulation::Target::Amplitude, 7, 0, 1.0f},
                    {Modulation::Target::Pan, 10, 1, 1.0f},
                    {Modulation::Target::Volume, ControllerRange::kPolyPressure, 0, -6.0f}};
  p.m_nSequenceCount = 8;
  const auto sfzRegion = [&](size_t i) {
    PlayRegion region;
    region.pVoice = voice(i);
    region.gainLaw = GainLaw::Curve;
    region.nModulationCount = 3;
    region.bPanModulated = true;
    region.fPanScale = 1.41f;
    return region;
  };
  for (int n = 52; n < 60; ++n) {
    PlayNote& note = p.m_note[n];
    const uint32_t group = static_cast<uint32_t>(p.m_group.size());
    p.m_group.push_back({static_cast<uint32_t>(p.m_groupVoice.size()), 4, 441,
                         static_cast<uint32_t>(p.m_condition.size()), 1});
    p.m_condition.push_back({4, 0, 63});
    for (int k = 0; k < 4; ++k) p.m_groupVoice.push_back(voice(n * 4 + k));
    p.m_stop.push_back(group | ChokeGroup::kSpareWhileHeld);
    note.nFirstSequence = static_cast<uint32_t>(p.m_noteSequence.size());
    note.nSequenceCount = 1;
    p.m_noteSequence.push_back(static_cast<uint32_t>(n - 52));
    note.bRandom = true;
    note.bStopsOnNoteOff = true;
    note.nFirstSet = static_cast<uint32_t>(p.m_set.size());
    note.nSetCount = 1;
    p.m_set.push_back({static_cast<uint32_t>(p.m_region.size()), 4, Selection::All});
    for (int r = 0; r < 4; ++r) {
      PlayRegion region = sfzRegion(size_t(n * 4 + r));
      region.nChecks = PlayRegion::kCheckSequence | PlayRegion::kCheckRandom;
      region.nSequenceLength = 2;
      region.nSequencePosition = uint8_t(r % 2);
      region.fRandomLow = r < 2 ? 0.0f : 0.5f;
      region.fRandomHigh = r < 2 ? 0.5f : 2.0f;
      region.nFirstPreStop = static_cast<uint32_t>(p.m_stop.size() - 1);
      region.nPreStopCount = 1;
      region.noteOff = NoteOffRule::Stop;
      region.nReleaseFadeFrames = 44;
      p.m_region.push_back(region);
    }
    note.nFirstReleaseSet = static_cast<uint32_t>(p.m_set.size());
    note.nReleaseSetCount = 1;
    p.m_set.push_back({static_cast<uint32_t>(p.m_region.size()), 1, Selection::All});
    p.m_region.push_back(sfzRegion(size_t(n)));
    note.nFirstPressureSet = static_cast<uint32_t>(p.m_set.size());
    note.nPressureSetCount = 1;
    p.m_set.push_back({static_cast<uint32_t>(p.m_region.size()), 1, Selection::All});
    PlayRegion pressed = sfzRegion(size_t(n + 1));
    pressed.nFirstCondition = static_cast<uint32_t>(p.m_condition.size());
    pressed.nConditionCount = 1;
    p.m_condition.push_back({ControllerRange::kPolyPressure, 1, 127});
    p.m_region.push_back(pressed);
  }
  p.m_controllerTrigger[4] = {static_cast<uint32_t>(p.m_set.size()), 1};
  p.m_bControllerTriggers = true;
  p.m_set.push_back({static_cast<uint32_t>(p.m_region.size()), 2, Selection::All});
  for (int r = 0; r < 2; ++r) {
    PlayRegion chick = sfzRegion(size_t(r));
    chick.nFirstCondition = static_cast<uint32_t>(p.m_condition.size());
    chick.nConditionCount = 1;
    p.m_condition.push_back({4, 100, 127});
    p.m_region.push_back(chick);
  }
  p.m_bStartControllers = true;
  p.m_nStartController[7] = 100;
  p.m_nStartController[10] = 64;
  p.Finish(seed);
  return state;
}

TEST(PlayRealtime, AManyRegionKitPlaysAndIsSwappedWithoutAllocatingFreeingOrLocking) {
  Reclaimer reclaimer;
  PulledDevice device(reclaimer);
  ScriptedUi ui;
  const auto bytes = ConstantSample(8000, 10);
  std::vector<std::unique_ptr<SampleVoice>> voices;
  for (int i = 0; i < 64; ++i)
    voices.push_back(std::make_unique<SampleVoice>(
        ui, &device, bytes.data(), uint32_t(bytes.size()), 16, OutputFormat(), "v"));
  NoteTrigger trigger(reclaimer);
  trigger.Publish(ManyRegions(voices, 1));
  ASSERT_TRUE(IsWellFormed(trigger.Current().m_program));

  std::atomic<bool> stop{false};
  std::atomic<unsigned> messages{0};
  heap::Counts audio, midi;
  std::thread audioThread([&] {
    std::vector<float> block(2 * 128);
    while (messages.load() < 500) std::this_thread::yield();
    heap::Start();
    for (int n = 0; n < kAudioBlocks; ++n) {
      device.GetMixer().Mix(block.data(), 128);
      if (n % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
    audio = heap::Stop();
    stop.store(true);
  });
  std::thread midiThread([&] {
    RtReader* reader = reclaimer.RegisterReader();
    heap::Start();
    for (unsigned n = 0; !stop.load(); ++n) {
      const auto note = static_cast<uint8_t>(36 + n % 24);
      trigger.OnMidiMessage(*reader, PackShortMessage(0xB0, 4, static_cast<uint8_t>(n % 128)), 0);
      trigger.OnMidiMessage(*reader, PackShortMessage(0xA0, note, static_cast<uint8_t>(n % 128)),
                            0);
      trigger.OnMidiMessage(*reader,
                            PackShortMessage(0x90, note, static_cast<uint8_t>(1 + n % 127)), 0);
      if (n % 3 == 0) trigger.OnMidiMessage(*reader, PackShortMessage(0x80, note, 0), 0);
      messages.store(n + 1);
      NoteEvent e;
      while (trigger.PopNoteEvent(e)) {
      }
      if (n % 32 == 0) std::this_thread::yield();
    }
    midi = heap::Stop();
    reclaimer.UnregisterReader(reader);
  });
  // The UI thread swaps a new program in again and again, and reclaims.
  for (uint64_t seed = 2; !stop.load(); ++seed) {
    trigger.Publish(ManyRegions(voices, seed));
    std::this_thread::sleep_for(std::chrono::microseconds(300));
    reclaimer.Reclaim();
  }
  audioThread.join();
  midiThread.join();

  EXPECT_GT(messages.load(), 500u);
  EXPECT_EQ(audio.allocations + audio.frees + audio.locks, 0);
  EXPECT_EQ(midi.allocations + midi.frees + midi.locks, 0);
  EXPECT_TRUE(ui.messages.empty());
}

}  // namespace
}  // namespace thumper::test
