// The note trigger on the plain-loop engine: what a MIDI message makes sound,
// at which level, what it stops, and what it shows.

#include "midi/TriggerTestSupport.h"

namespace thumper::test {
namespace {

using Kind = NoteEvent::Kind;

TEST(NoteAttenuation, MatchesTheWorkedTable) {
  EXPECT_EQ(NoteAttenuation(-4000, 127, 1), -4000);
  EXPECT_EQ(NoteAttenuation(-4000, 127, 64), -2110);
  EXPECT_EQ(NoteAttenuation(-4000, 127, 127), -220);
  EXPECT_EQ(NoteAttenuation(-8000, 127, 1), -8000);
  EXPECT_EQ(NoteAttenuation(-8000, 127, 64), -4157);
  EXPECT_EQ(NoteAttenuation(-8000, 127, 127), -314);
  EXPECT_EQ(NoteAttenuation(0, 127, 1), 0);
  EXPECT_EQ(NoteAttenuation(0, 127, 64), -63);
  EXPECT_EQ(NoteAttenuation(0, 127, 127), -126);
  // Between -127 and 0, q is 1: louder notes come out slightly quieter.
  EXPECT_EQ(NoteAttenuation(-100, 127, 127), -226);
  // Truncation toward zero, not flooring: -4000 / 128 is -31, not -32.
  EXPECT_EQ(NoteAttenuation(-4000, 127, 100), -1030);
  // A file may carry any scaling; the 32-bit arithmetic never overflows.
  EXPECT_EQ(NoteAttenuation(INT32_MIN, 127, 127), INT32_MIN - 126 * (INT32_MIN / 128 + 1));
  EXPECT_EQ(NoteAttenuation(INT32_MAX, 127, 127), INT32_MAX - 126 * (INT32_MAX / 128 + 1));
}

TEST_F(TriggerTest, WorkedNoteOnPlaysLayerTwoAtMinus1030) {
  GiveOwnLayers(2, {0, 2});  // sources 0, 0, 2, 2, 2
  Publish();
  NoteOn(38, 100);
  SampleVoice& voice = *voices[12];
  EXPECT_EQ(voice.m_nNext, 1);
  EXPECT_EQ(voices[10]->m_nNext, 0);
  EXPECT_LEVEL(NextLevel(), Expected(2, -1030));
  EXPECT_EQ(mixer.SoundingVoices(), 1u);
}

TEST_F(TriggerTest, EveryDefaultSchemeSplitsVelocitiesAtItsThresholds) {
  // Layer ranges of the five default schemes: the lowest velocity of layers 0..3.
  const int lowest[5][4] = {{91, 51, 31, 11},
                            {101, 66, 41, 21},
                            {111, 81, 51, 26},
                            {116, 96, 61, 31},
                            {121, 106, 76, 41}};
  for (int scheme = 0; scheme < 5; ++scheme) {
    const int slot = 10 + scheme;
    GiveOwnLayers(slot, {0, 1, 2, 3, 4});
    set.m_noteSlot[slot].nScheme = scheme;
  }
  Publish();
  for (int scheme = 0; scheme < 5; ++scheme) {
    const int slot = 10 + scheme;
    for (int layer = 0; layer < 5; ++layer) {
      const int top = layer == 0 ? 127 : lowest[scheme][layer - 1] - 1;
      const int bottom = layer == 4 ? 1 : lowest[scheme][layer];
      for (int v : {bottom, top}) {
        DrainEvents();
        NoteOn(36 + slot, v);
        const auto events = DrainEvents();
        ASSERT_EQ(events.size(), 1u);
        EXPECT_EQ(events[0].nLayer, layer) << "scheme " << scheme << " velocity " << v;
        EXPECT_LEVEL(NextLevel(), Expected(layer, NoteAttenuation(-4000, 127, v)))
            << "scheme " << scheme << " velocity " << v;
        mixer.StopAll();
        MixLeftLevels(256);
      }
    }
  }
}

TEST_F(TriggerTest, ThresholdsFromTheFileAreUsed) {
  set.m_nVelocityThreshold[4] = {126, 125, 2, 1};
  GiveOwnLayers(0, {0, 1, 2, 3, 4});
  Publish();
  const std::pair<int, int> cases[] = {{127, 0}, {126, 1}, {125, 2}, {3, 2}, {2, 3}, {1, 4}};
  for (auto [v, layer] : cases) {
    NoteOn(36, v);
    const auto events = DrainEvents();
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].nLayer, layer) << v;
  }
}

TEST_F(TriggerTest, TheSelectedChannelAloneIsHeard) {
  GiveOwnLayers(0, {0});
  Publish();
  trigger.SetChannel(10);
  EXPECT_EQ(trigger.m_nNoteOnStatus, 0x99);
  NoteOn(36, 100, 0x90);  // channel 1 now does nothing
  Send(0x80, 36, 0);
  Send(0xB0, 7, 0);
  EXPECT_TRUE(DrainEvents().empty());
  EXPECT_EQ(voices[0]->m_nNext, 0);
  EXPECT_EQ(trigger.ChannelVolume(1), 127);

  Send(0xB9, 7, 64);
  EXPECT_EQ(trigger.ChannelVolume(10), 64);
  NoteOn(36, 100, 0x99);
  EXPECT_EQ(voices[0]->m_nNext, 1);
  EXPECT_LEVEL(NextLevel(), Expected(0, NoteAttenuation(-4000, 64, 100)));
  Send(0x89, 36, 64);
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].kind, Kind::Playing);
  EXPECT_EQ(events[1].kind, Kind::Released);

  // Other controllers, program change, pitch bend, aftertouch and system
  // messages do nothing.
  for (uint32_t m :
       {PackShortMessage(0xB9, 1, 0), PackShortMessage(0xC9, 5, 0), PackShortMessage(0xE9, 0, 64),
        PackShortMessage(0xA9, 36, 100), PackShortMessage(0xD9, 100, 0),
        PackShortMessage(0xF8, 0, 0), PackShortMessage(0xFE, 0, 0)})
    trigger.OnMidiMessage(*reader, m, 0);
  EXPECT_TRUE(DrainEvents().empty());
  EXPECT_EQ(voices[0]->m_nNext, 1);
  EXPECT_EQ(trigger.ChannelVolume(10), 64);

  trigger.SetChannel(0);  // out of range: ignored
  trigger.SetChannel(17);
  EXPECT_EQ(trigger.Channel(), 10);
}

TEST_F(TriggerTest, TheSlotAMessageStartsIsKnownWithoutPlayingIt) {
  // A render reads only the samples of the slots its song starts: every
  // message must start exactly the slot the trigger would light, on every channel.
  Publish();
  for (int channel : {1, 10, 16}) {
    trigger.SetChannel(channel);
    for (uint32_t status = 0x80; status <= 0xFF; status += 1) {
      for (uint32_t d1 : {0u, 35u, 36u, 60u, 127u, 128u, 200u}) {
        for (uint32_t d2 : {0u, 1u, 64u, 127u, 128u}) {
          const uint32_t m = status | d1 << 8 | d2 << 16;
          trigger.OnMidiMessage(*reader, m, 0);
          int lit = -1;
          for (const NoteEvent& e : DrainEvents())
            if (e.kind == Kind::Playing) lit = e.nSlot;
          ASSERT_EQ(SlotStartedBy(m, channel), lit)
              << std::hex << "message " << m << " on channel " << std::dec << channel;
        }
      }
    }
  }
  EXPECT_EQ(SlotStartedBy(PackShortMessage(0x90, 60, 100), 0), -1);
  EXPECT_EQ(SlotStartedBy(PackShortMessage(0x90, 60, 100), 17), -1);
}

TEST_F(TriggerTest, ChannelVolumeZeroPlaysEveryNoteAtTheSlotScaling) {
  GiveOwnLayers(0, {0, 1, 2, 3, 4});
  set.m_noteSlot[0].nVolume = -3000;
  Publish();
  Send(0xB0, 7, 0);
  for (int v : {1, 60, 127}) {
    DrainEvents();
    NoteOn(36, v);
    const int layer = DrainEvents().at(0).nLayer;
    EXPECT_LEVEL(NextLevel(), Expected(layer, -3000)) << v;
    mixer.StopAll();
    MixLeftLevels(256);
  }
  // The channel volume stays for the next drum set and the next channel.
  Publish();
  EXPECT_EQ(trigger.ChannelVolume(1), 0);
}

TEST_F(TriggerTest, ANoteOffNeverStopsASound) {
  GiveOwnLayers(0, {0});
  Publish();
  NoteOn(36, 127);
  MixLeftLevels(128);
  Send(0x80, 36, 127);
  NoteOn(36, 0);  // velocity 0 is a note-off
  EXPECT_LEVEL(NextLevel(), Expected(0, NoteAttenuation(-4000, 127, 127)));
  EXPECT_EQ(voices[0]->m_nNext, 1);
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 3u);
  EXPECT_EQ(events[1].kind, Kind::Released);
  EXPECT_EQ(events[2].kind, Kind::Released);
  EXPECT_EQ(events[2].nSlot, 0);
}

TEST_F(TriggerTest, NotesBelow36PlaySlotZeroAndHighNotesReachSlot91) {
  GiveOwnLayers(0, {0});
  GiveOwnLayers(91, {0});
  Publish();
  NoteOn(0, 100);
  NoteOn(30, 100);
  NoteOn(36, 100);
  EXPECT_EQ(voices[0]->m_nNext, 3);
  NoteOn(127, 100);
  EXPECT_EQ(voices[LayerIndex(91, 0)]->m_nNext, 1);
  Send(0x80, 20, 0);
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[3].nSlot, 91);
  EXPECT_EQ(events[4].kind, Kind::Released);
  EXPECT_EQ(events[4].nSlot, 0);
}

TEST_F(TriggerTest, ASilentSlotShowsThePressedNoteAndCutsNothing) {
  GiveOwnLayers(5, {0});
  set.m_noteSlot[3].nCutNote = 5;  // slot 3 has no sound
  Publish();
  NoteOn(41, 100);  // slot 5 sounds
  MixLeftLevels(128);
  NoteOn(39, 100);  // slot 3: silent, so no cut
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].nSlot, 3);
  EXPECT_EQ(events[1].nLayer, 2);
  EXPECT_FALSE(events[1].bSounds);
  EXPECT_TRUE(events[0].bSounds);
  EXPECT_TRUE(trigger.MidiInLit());
  EXPECT_GT(NextLevel(), 0.0);
  EXPECT_EQ(mixer.SoundingVoices(), 1u);
}

TEST_F(TriggerTest, TheCutStopsEveryLayerOfTheCutSlotAfterTheStart) {
  GiveOwnLayers(6, {0});     // closed hat
  GiveOwnLayers(8, {0, 2});  // open hat, two layers sounding
  set.m_noteSlot[6].nCutNote = 8;
  Publish();
  NoteOn(44, 127);
  NoteOn(44, 90);
  MixLeftLevels(128);
  EXPECT_EQ(mixer.SoundingVoices(), 2u);
  NoteOn(42, 100);
  auto out = MixLeftLevels(1024);
  // The open hat fades out within 2 ms; the closed hat plays on.
  EXPECT_LEVEL(out[1000], Expected(0, NoteAttenuation(-4000, 127, 100)));
  EXPECT_EQ(mixer.SoundingVoices(), 1u);
}

TEST_F(TriggerTest, ASlotThatCutsItselfFallsSilentAtOnce) {
  GiveOwnLayers(4, {0});
  set.m_noteSlot[4].nCutNote = 4;
  Publish();
  NoteOn(40, 127);
  EXPECT_EQ(voices[20]->m_nNext, 1);  // it did start
  MixLeftLevels(1024);
  EXPECT_EQ(mixer.SoundingVoices(), 0u);
  EXPECT_TRUE(DrainEvents().at(0).bSounds);
}

TEST_F(TriggerTest, ABorrowedLayerPlaysTheLouderVoiceAndLightsItsOwnCell) {
  GiveOwnLayers(1, {0, 1});  // sources 0, 1, 1, 1, 1
  Publish();
  NoteOn(37, 60);  // scheme 4: layer 3
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].nLayer, 3);
  EXPECT_EQ(voices[LayerIndex(1, 1)]->m_nNext, 1);
  EXPECT_LEVEL(NextLevel(), Expected(1, NoteAttenuation(-4000, 127, 60)));
}

TEST_F(TriggerTest, SeventeenRetriggersRestartCopyZero) {
  GiveOwnLayers(0, {0});
  Publish();
  SampleVoice& voice = *voices[0];
  for (int i = 0; i < 16; ++i) {
    NoteOn(36, 127);
    MixLeftLevels(64);
  }
  EXPECT_EQ(voice.m_nNext, 0);
  EXPECT_EQ(mixer.SoundingVoices(), 16u);
  NoteOn(36, 127);
  EXPECT_EQ(voice.m_nNext, 1);
  MixLeftLevels(1024);
  // Copy 0 restarted: its old sound faded out, the sixteen copies sound on.
  EXPECT_EQ(mixer.SoundingVoices(), 16u);
}

TEST_F(TriggerTest, DamagedValuesPlaySafely) {
  GiveOwnLayers(0, {0, 1, 2, 3, 4});
  set.m_noteSlot[0].nScheme = 9;     // plays with scheme 4
  set.m_noteSlot[0].nCutNote = 300;  // cuts nothing
  GiveOwnLayers(1, {0, 1, 2, 3, 4});
  set.m_noteSlot[1].nScheme = -1;
  set.m_noteSlot[1].nCutNote = -7;
  set.m_noteSlot[1].nVolume = INT32_MIN;
  GiveOwnLayers(2, {0});
  SetSources(2, {0, 7, -5, 4, 99});
  Publish();
  NoteOn(36, 121);
  NoteOn(37, 121);
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].nLayer, 0);
  EXPECT_EQ(events[1].nLayer, 0);
  auto out = MixLeftLevels(1024);
  EXPECT_LEVEL(out[1000], Expected(0, NoteAttenuation(-4000, 127, 121)));  // slot 1 is silent
  for (int v : {127, 110, 80, 50, 10}) NoteOn(38, v);  // every source resolves to layer 0
  EXPECT_EQ(voices[10]->m_nNext, 5);
  // Damaged bytes in the packed message itself are dropped.
  trigger.OnMidiMessage(*reader, PackShortMessage(0x90, 200, 100), 0);
  trigger.OnMidiMessage(*reader, PackShortMessage(0x90, 36, 255), 0);
  trigger.OnMidiMessage(*reader, PackShortMessage(0xB0, 7, 200), 0);
  EXPECT_EQ(trigger.ChannelVolume(1), 127);
  EXPECT_EQ(voices[0]->m_nNext, 1);
}

TEST_F(TriggerTest, NothingSoundsBeforeTheFirstPublish) {
  GiveOwnLayers(0, {0});
  NoteOn(36, 100);
  EXPECT_EQ(voices[0]->m_nNext, 0);
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0].bSounds);
  EXPECT_EQ(events[0].nLayer, 2);
}

TEST_F(TriggerTest, TheMidiInLightFollowsTheLastNoteAndAFullRingCountsDrops) {
  GiveOwnLayers(0, {0});
  Publish();
  NoteOn(36, 100);
  NoteOn(50, 100);
  EXPECT_TRUE(trigger.MidiInLit());
  Send(0x80, 50, 0);  // one light for all notes: any release darkens it
  EXPECT_FALSE(trigger.MidiInLit());
  bool lit = true;
  for (const NoteEvent& e : DrainEvents()) lit = MidiInLitAfter(e);
  EXPECT_FALSE(lit);

  for (uint32_t i = 0; i < NoteTrigger::kEventCapacity + 10; ++i) Send(0x80, 40, 0);
  NoteOn(36, 100);
  EXPECT_EQ(trigger.DroppedNoteEvents(), 11u);
  EXPECT_TRUE(trigger.MidiInLit());  // the light is right even when events were lost
  EXPECT_EQ(DrainEvents().size(), NoteTrigger::kEventCapacity);
}

}  // namespace
}  // namespace thumper::test
