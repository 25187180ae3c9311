// The playing model, made in each test, played through the note trigger and the
// mixer: which region each rule picks, at which level and pan, what chokes and
// note-offs stop, and what the controllers select.

#include <cmath>
#include <cstring>
#include <random>
#include <set>

#include "midi/TriggerTestSupport.h"
#include "play/DrumSetProgram.h"

namespace thumper::test {
namespace {

class PlayProgramTest : public TriggerTest {
 protected:
  static constexpr uint32_t kShort = 32;  // frames: a hit ends within one read

  // A voice whose sample holds value on both channels.
  SampleVoice* Voice(int16_t value, uint32_t frames = kShort) {
    const auto bytes = ConstantSample(frames, value);
    own.push_back(std::make_unique<SampleVoice>(ui, &device, bytes.data(),
                                                static_cast<uint32_t>(bytes.size()), 16,
                                                OutputFormat(), "v.wav"));
    return own.back().get();
  }

  // A region at full level for every velocity (gain law without velocity).
  static PlayRegion Region(SampleVoice* voice) {
    PlayRegion region;
    region.pVoice = voice;
    region.fVelocityPower = 0.0f;
    return region;
  }

  // Adds a set of these regions to note.
  void AddSet(int note, Selection selection, std::vector<PlayRegion> regions) {
    PlayNote& n = program().m_note[note];
    if (n.nSetCount == 0) n.nFirstSet = static_cast<uint32_t>(program().m_set.size());
    ASSERT_EQ(n.nFirstSet + n.nSetCount, program().m_set.size()) << "one note's sets in a row";
    ++n.nSetCount;
    program().m_set.push_back({static_cast<uint32_t>(program().m_region.size()),
                               static_cast<uint32_t>(regions.size()), selection});
    for (const PlayRegion& region : regions) {
      program().m_region.push_back(region);
      if (region.noteOff == NoteOffRule::Stop) n.bStopsOnNoteOff = true;
    }
  }

  PlayProgram& program() { return pending->m_program; }

  void PublishProgram(uint64_t seed = 0) {
    program().Finish(seed);
    ASSERT_TRUE(IsWellFormed(program()));
    trigger.Publish(std::move(pending));
    pending = std::make_unique<TriggerState>();
  }

  // Left and right of the first frame of the next read of 64 frames.
  std::pair<double, double> Hit(int note, int velocity = 100) {
    NoteOn(note, velocity);
    std::vector<float> out(2 * 64);
    mixer.Mix(out.data(), 64);
    return {out[0] * 32768.0, out[1] * 32768.0};
  }

  std::vector<int> Values(int note, int hits, int velocity = 100) {
    std::vector<int> seen;
    for (int i = 0; i < hits; ++i)
      seen.push_back(static_cast<int>(std::lround(Hit(note, velocity).first)));
    return seen;
  }

  std::vector<std::unique_ptr<SampleVoice>> own;
  std::unique_ptr<TriggerState> pending = std::make_unique<TriggerState>();
};

TEST_F(PlayProgramTest, VelocityRangesPickTheirRegionAndMoreThanFiveLayersPlay) {
  std::vector<PlayRegion> layers;
  for (int l = 0; l < 8; ++l) {
    PlayRegion region = Region(Voice(static_cast<int16_t>(100 * (l + 1))));
    region.nVelocityLow = static_cast<uint8_t>(1 + 16 * l);
    region.nVelocityHigh = static_cast<uint8_t>(l == 7 ? 127 : 16 * (l + 1));
    layers.push_back(region);
  }
  AddSet(40, Selection::First, layers);
  PublishProgram();
  for (int l = 0; l < 8; ++l) {
    EXPECT_EQ(Values(40, 1, 1 + 16 * l), std::vector<int>{100 * (l + 1)}) << l;
    EXPECT_EQ(Values(40, 1, l == 7 ? 127 : 16 * (l + 1)), std::vector<int>{100 * (l + 1)}) << l;
  }
  const auto events = DrainEvents();
  ASSERT_FALSE(events.empty());
  EXPECT_TRUE(events.back().bSounds);
  EXPECT_EQ(events.back().nSlot, 0);  // the shown key is the program's, 0 by default
}

TEST_F(PlayProgramTest, RoundRobinPlaysEachInTurnAmongTheRegionsOfTheVelocity) {
  std::vector<PlayRegion> regions;
  for (int16_t v : {100, 200, 300}) regions.push_back(Region(Voice(v)));
  PlayRegion soft = Region(Voice(1000));
  soft.nVelocityHigh = 20;
  for (auto& region : regions) region.nVelocityLow = 21;
  regions.insert(regions.begin() + 1, soft);
  AddSet(40, Selection::RoundRobin, regions);
  PublishProgram();
  EXPECT_EQ(Values(40, 7), (std::vector<int>{100, 200, 300, 100, 200, 300, 100}));
  EXPECT_EQ(Values(40, 2, 10), (std::vector<int>{1000, 1000}));
}

TEST_F(PlayProgramTest, RandomChoiceRepeatsWithItsSeedAndDiffersWithAnother) {
  const auto sequence = [&](uint64_t seed) {
    std::vector<PlayRegion> regions;
    for (int16_t v : {100, 200, 300, 400}) regions.push_back(Region(Voice(v)));
    AddSet(40, Selection::Random, regions);
    PublishProgram(seed);
    return Values(40, 40);
  };
  const auto first = sequence(1);
  EXPECT_EQ(sequence(1), first);
  EXPECT_NE(sequence(2), first);
  EXPECT_EQ(std::set<int>(first.begin(), first.end()), (std::set<int>{100, 200, 300, 400}));
  EXPECT_TRUE(std::adjacent_find(first.begin(), first.end()) != first.end())
      << "plain random may repeat";
}

TEST_F(PlayProgramTest, RandomWithoutRepeatNeverPlaysTheLastChoiceTwice) {
  std::vector<PlayRegion> regions;
  for (int16_t v : {100, 200, 300}) regions.push_back(Region(Voice(v)));
  AddSet(40, Selection::RandomNoRepeat, regions);
  PublishProgram(5);
  const auto seen = Values(40, 200);
  EXPECT_EQ(std::adjacent_find(seen.begin(), seen.end()), seen.end());
  EXPECT_EQ(std::set<int>(seen.begin(), seen.end()), (std::set<int>{100, 200, 300}));
}

TEST_F(PlayProgramTest, LoudnessPicksTheHitNearestTheVelocityAndAlternatesEqualOnes) {
  std::vector<PlayRegion> regions;
  for (auto [value, loudness] : {std::pair{100, 0.2f}, {200, 0.5f}, {300, 1.0f}, {400, 0.5f}}) {
    PlayRegion region = Region(Voice(static_cast<int16_t>(value)));
    region.fLoudness = loudness;
    regions.push_back(region);
  }
  AddSet(40, Selection::Loudness, regions);
  PublishProgram();
  EXPECT_EQ(Values(40, 3, 127), (std::vector<int>{300, 300, 300}));
  EXPECT_EQ(Values(40, 3, 1), (std::vector<int>{100, 100, 100}));
  // Velocity 48 asks for loudness 0.5: the two such hits take turns.
  const auto middle = Values(40, 6, 48);
  for (size_t i = 0; i < middle.size(); ++i) {
    EXPECT_TRUE(middle[i] == 200 || middle[i] == 400) << i;
    if (i > 0) {
      EXPECT_NE(middle[i], middle[i - 1]) << i;
    }
  }
}

TEST_F(PlayProgramTest, GainVelocityResponseChannelVolumeAndPan) {
  PlayRegion region = Region(Voice(10000));
  region.fGain = 0.5f;
  region.fVelocityPower = 2.0f;
  region.fPanLeft = 1.0f;
  region.fPanRight = 0.25f;
  AddSet(40, Selection::All, {region});
  PublishProgram();
  auto [left, right] = Hit(40, 127);
  EXPECT_NEAR(left, 5000, 0.01);
  EXPECT_NEAR(right, 1250, 0.01);
  const double v = 64.0 / 127.0;
  std::tie(left, right) = Hit(40, 64);
  EXPECT_NEAR(left, 5000 * v * v, 0.01);
  Send(0xB0, 7, 64);  // channel volume: a square law
  std::tie(left, right) = Hit(40, 127);
  EXPECT_NEAR(left, 5000 * v * v, 0.01);
  EXPECT_NEAR(right, 1250 * v * v, 0.01);
}

TEST_F(PlayProgramTest, AStereoRegionsWidthTurnsItsChannelsAfterThePan) {
  std::vector<uint8_t> bytes(4 * kShort);
  for (uint32_t f = 0; f < kShort; ++f) {
    const int16_t l = 8000, r = 0;
    std::memcpy(&bytes[4 * f], &l, 2);
    std::memcpy(&bytes[4 * f + 2], &r, 2);
  }
  own.push_back(std::make_unique<SampleVoice>(
      ui, &device, bytes.data(), static_cast<uint32_t>(bytes.size()), 16, OutputFormat(), "lr"));
  PlayRegion region = Region(own.back().get());
  region.fPanLeft = 0.5f;
  region.fWidth = -1.0f;  // swapped: the left input, at the left pan gain, on the right
  AddSet(40, Selection::All, {region});
  region.fWidth = 0.0f;  // the middle
  AddSet(41, Selection::All, {region});
  PublishProgram();
  auto [left, right] = Hit(40, 127);
  EXPECT_NEAR(left, 0, 0.01);
  EXPECT_NEAR(right, 4000, 0.01);
  std::tie(left, right) = Hit(41, 127);
  EXPECT_NEAR(left, 4000 * std::sqrt(0.5), 0.5);
  EXPECT_NEAR(right, 4000 * std::sqrt(0.5), 0.5);
}

TEST_F(PlayProgramTest, ARegionStartsAtItsStartFrame) {
  const auto bytes = RampSample(1000);
  own.push_back(std::make_unique<SampleVoice>(
      ui, &device, bytes.data(), static_cast<uint32_t>(bytes.size()), 16, OutputFormat(), "r"));
  PlayRegion region = Region(own.back().get());
  region.nStartFrame = 250;
  AddSet(40, Selection::All, {region});
  PublishProgram();
  EXPECT_NEAR(Hit(40).first, 250, 0.01);
}

TEST_F(PlayProgramTest, EveryRegionOfAnAllSetSoundsAtOnce) {
  std::vector<PlayRegion> mics;
  for (int m = 0; m < 16; ++m) mics.push_back(Region(Voice(static_cast<int16_t>(10 + m))));
  AddSet(40, Selection::All, mics);
  PublishProgram();
  EXPECT_NEAR(Hit(40).first, 16 * 10 + 120, 0.01);
  EXPECT_EQ(mixer.SoundingVoices(), 0u);  // short hits, all ended
}

TEST_F(PlayProgramTest, AChokeStopsItsGroupWithItsOwnFadeAfterTheStart) {
  SampleVoice* open = Voice(8000, 44100);
  SampleVoice* pedal = Voice(0, 44100);
  program().m_group.push_back({0, 1});
  program().m_groupVoice.push_back(open);
  program().m_stop.push_back(0);
  AddSet(46, Selection::All, {Region(open)});
  PlayRegion closing = Region(pedal);
  closing.nFirstStop = 0;
  closing.nStopCount = 1;
  closing.nChokeFadeFrames = 441;  // 10 ms
  AddSet(44, Selection::All, {closing});
  PublishProgram();
  EXPECT_NEAR(Hit(46).first, 8000, 0.01);
  NoteOn(44, 100);
  const auto levels = MixLeftLevels(600);
  EXPECT_NEAR(levels[0], 8000, 0.5);
  EXPECT_NEAR(levels[220], 8000 * 221.0 / 441.0, 2);
  EXPECT_GT(levels[440], 0);
  EXPECT_EQ(levels[441], 0);
  EXPECT_EQ(mixer.SoundingVoices(), 1u);  // the pedal's own (silent) sound goes on
}

TEST_F(PlayProgramTest, ARegionWithoutASampleOnlyChokes) {
  SampleVoice* open = Voice(8000, 44100);
  program().m_group.push_back({0, 1});
  program().m_groupVoice.push_back(open);
  program().m_stop.push_back(0);
  AddSet(46, Selection::All, {Region(open)});
  PlayRegion silence = Region(nullptr);
  silence.nStopCount = 1;
  silence.noteOff = NoteOffRule::Stop;  // a note-off of it reaches no voice
  AddSet(44, Selection::All, {silence});
  PublishProgram();
  EXPECT_NEAR(Hit(46).first, 8000, 0.01);
  NoteOn(44, 100);
  Send(0x80, 44, 0);
  MixLeftLevels(200);
  EXPECT_EQ(mixer.SoundingVoices(), 0u);
}

TEST_F(PlayProgramTest, AStopBeforeTheStartCutsTheLastHitOfTheGroupButNotTheNewOne) {
  // Two voices of one instrument (two mics): each retrigger fades both out and
  // starts both again; nothing of the new hit is cut.
  SampleVoice* close = Voice(3000, 44100);
  SampleVoice* room = Voice(1000, 44100);
  program().m_group.push_back({0, 2});
  program().m_groupVoice = {close, room};
  program().m_stop.push_back(0);
  auto cutting = [&](SampleVoice* voice) {
    PlayRegion region = Region(voice);
    region.nFirstPreStop = 0;
    region.nPreStopCount = 1;
    region.nChokeFadeFrames = 441;
    return region;
  };
  AddSet(49, Selection::All, {cutting(close)});
  AddSet(49, Selection::All, {cutting(room)});
  PublishProgram();
  EXPECT_NEAR(Hit(49).first, 4000, 0.01);
  NoteOn(49, 100);
  const auto levels = MixLeftLevels(600);
  EXPECT_NEAR(levels[0], 8000, 0.5);  // the old hit fades under the new one
  EXPECT_NEAR(levels[220], 4000 + 4000 * 221.0 / 441.0, 3);
  EXPECT_NEAR(levels[441], 4000, 0.01);
  EXPECT_EQ(mixer.SoundingVoices(), 2u);
}

TEST_F(PlayProgramTest, ANoteOffStopsOnlyTheRegionsThatAskForIt) {
  PlayRegion stopping = Region(Voice(1000, 44100));
  stopping.noteOff = NoteOffRule::Stop;
  PlayRegion ringing = Region(Voice(10, 44100));
  AddSet(40, Selection::All, {stopping, ringing});
  PublishProgram();
  EXPECT_NEAR(Hit(40).first, 1010, 0.01);
  Send(0x80, 40, 0);
  const auto levels = MixLeftLevels(200);
  EXPECT_NEAR(levels[0], 1010, 0.5);
  EXPECT_NEAR(levels[100], 10, 0.01);  // 2 ms later only the ringing one is left
  Send(0x90, 40, 0);                   // a note-on of velocity 0 is a note-off too
  EXPECT_NEAR(MixLeftLevels(64)[0], 10, 0.01);
  const auto events = DrainEvents();
  ASSERT_GE(events.size(), 2u);
  EXPECT_EQ(events.back().kind, NoteEvent::Kind::Released);
}

TEST_F(PlayProgramTest, ControllerAndAftertouchRangesSelectTheHiHatsOpenness) {
  const auto ranged = [&](int16_t value, uint8_t controller, uint8_t low, uint8_t high) {
    PlayRegion region = Region(Voice(value));
    region.nFirstCondition = static_cast<uint32_t>(program().m_condition.size());
    region.nConditionCount = 1;
    program().m_condition.push_back({controller, low, high});
    return region;
  };
  AddSet(46, Selection::First,
         {ranged(100, 4, 0, 31), ranged(200, 4, 32, 95), ranged(300, 4, 96, 127)});
  AddSet(50, Selection::First,
         {ranged(7, ControllerRange::kPolyPressure, 64, 127), Region(Voice(1))});
  PublishProgram();
  EXPECT_EQ(Values(46, 1), std::vector<int>{100});  // every controller starts at 0
  Send(0xB0, 4, 60);
  EXPECT_EQ(Values(46, 1), std::vector<int>{200});
  Send(0xB0, 4, 127);
  EXPECT_EQ(Values(46, 1), std::vector<int>{300});
  Send(0xB1, 4, 0);  // another channel's pedal changes nothing here
  EXPECT_EQ(Values(46, 1), std::vector<int>{300});
  EXPECT_EQ(Values(50, 1), std::vector<int>{1});
  Send(0xA0, 50, 100);
  EXPECT_EQ(Values(50, 1), std::vector<int>{7});
  Send(0xA0, 51, 0);  // another note's pressure
  EXPECT_EQ(Values(50, 1), std::vector<int>{7});
}

TEST_F(PlayProgramTest, ANoteMapSendsPadsToOtherNotesAndItsPedalToTheHiHat) {
  const auto ranged = [&](int16_t value, uint8_t low, uint8_t high) {
    PlayRegion region = Region(Voice(value));
    region.nFirstCondition = static_cast<uint32_t>(program().m_condition.size());
    region.nConditionCount = 1;
    program().m_condition.push_back({NoteMap::kHiHatController, low, high});
    return region;
  };
  AddSet(38, Selection::All, {Region(Voice(10))});
  AddSet(40, Selection::All, {Region(Voice(20))});
  AddSet(42, Selection::First, {ranged(100, 0, 63), ranged(200, 64, 127)});
  AddSet(60, Selection::All, {[&] {
           PlayRegion r = Region(Voice(5));
           r.nFirstCondition = static_cast<uint32_t>(program().m_condition.size());
           r.nConditionCount = 1;
           program().m_condition.push_back({ControllerRange::kPolyPressure, 64, 127});
           return r;
         }()});
  const NoteMapResult map =
      ParseNoteMap("37 38\n37 40\n22 42\n61 60\n38 40\nhihat-cc 11\n", "pads.map");
  ASSERT_TRUE(map.map) << map.strError;
  trigger.SetNoteMap(map.map);
  program().m_note[42].nShowSlot = 42 - 36;
  PublishProgram();
  EXPECT_EQ(Values(37, 1), std::vector<int>{30});  // one pad starts two notes
  EXPECT_EQ(Values(38, 1), std::vector<int>{20});  // mapped away from itself
  EXPECT_EQ(Values(40, 1), std::vector<int>{20});  // unmapped: itself
  EXPECT_EQ(Values(22, 1), std::vector<int>{100});
  Send(0xB0, 11, 100);  // the e-kit's pedal on CC 11 moves the kit's CC 4
  EXPECT_EQ(Values(22, 1), std::vector<int>{200});
  Send(0xA0, 61, 100);  // the pad's pressure reaches the note it plays
  EXPECT_EQ(Values(61, 1), std::vector<int>{5});
  // The note-offs and note-ons of a mapped pad show on the notes it plays.
  DrainEvents();
  NoteOn(22, 90);
  Send(0x80, 22, 0);
  const auto events = DrainEvents();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].nSlot, 42 - 36);
  EXPECT_EQ(events[1].kind, NoteEvent::Kind::Released);
}

TEST_F(PlayProgramTest, ABadlyMadeProgramIsRefused) {
  AddSet(40, Selection::All, {Region(Voice(1))});
  program().Finish(0);
  EXPECT_TRUE(IsWellFormed(program()));
  program().m_region[0].nFirstStop = 3;
  program().m_region[0].nStopCount = 1;
  EXPECT_FALSE(IsWellFormed(program()));
  program().m_region[0].nStopCount = 0;
  program().m_note[3].nFirstSet = 1;
  program().m_note[3].nSetCount = 1;
  EXPECT_FALSE(IsWellFormed(program()));
  program().m_note[3].nSetCount = 0;
  program().m_region[0].nFirstStop = 0;
  EXPECT_TRUE(IsWellFormed(program()));
  // The SFZ tables: a curve, a modulation, a sequence counter or a spared
  // group that is not there.
  program().m_region[0].gainLaw = GainLaw::Curve;
  EXPECT_FALSE(IsWellFormed(program()));
  program().m_curve.emplace_back();
  EXPECT_TRUE(IsWellFormed(program()));
  program().m_region[0].nModulationCount = 1;
  EXPECT_FALSE(IsWellFormed(program()));
  program().m_modulation.push_back({Modulation::Target::Pan, 10, 1, 1.0f});
  EXPECT_FALSE(IsWellFormed(program()));  // curve 1 missing
  program().m_modulation[0].nCurve = 0;
  EXPECT_TRUE(IsWellFormed(program()));
  program().m_note[40].nSequenceCount = 1;
  EXPECT_FALSE(IsWellFormed(program()));
  program().m_noteSequence.push_back(0);
  EXPECT_FALSE(IsWellFormed(program()));  // no counter 0 made
  program().m_nSequenceCount = 1;
  program().Finish(0);
  EXPECT_TRUE(IsWellFormed(program()));
  program().m_stop.push_back(0 | ChokeGroup::kSpareWhileHeld);
  EXPECT_FALSE(IsWellFormed(program()));
  program().m_group.push_back({0, 0, -1, 0, 1});
  EXPECT_FALSE(IsWellFormed(program()));  // its condition is not there
  program().m_condition.push_back({4, 0, 10});
  EXPECT_TRUE(IsWellFormed(program()));
}

// SFZ's sequence: one counter for the note, moved by every note-on whatever
// its velocity; each region sounds on its own turn.
TEST_F(PlayProgramTest, SequenceCountersCountEveryNoteOnOfTheirNote) {
  std::vector<PlayRegion> regions;
  for (int p = 0; p < 3; ++p) {
    PlayRegion region = Region(Voice(static_cast<int16_t>(100 * (p + 1))));
    region.nChecks = PlayRegion::kCheckSequence;
    region.nSequenceLength = 3;
    region.nSequencePosition = static_cast<uint8_t>(p);
    region.nVelocityLow = 10;
    regions.push_back(region);
  }
  AddSet(40, Selection::All, regions);
  program().m_nSequenceCount = 1;
  program().m_noteSequence = {0};
  program().m_note[40].nSequenceCount = 1;
  PublishProgram();
  EXPECT_EQ(Values(40, 4), (std::vector<int>{100, 200, 300, 100}));
  EXPECT_EQ(Values(40, 1, 5), std::vector<int>{0});  // too soft, but its turn is taken
  EXPECT_EQ(Values(40, 2), (std::vector<int>{300, 100}));
}

TEST_F(PlayProgramTest, OneRandomValuePerNoteOnIsSharedByItsRegions) {
  const auto ranged = [&](int16_t value, float low, float high) {
    PlayRegion region = Region(Voice(value));
    region.nChecks = PlayRegion::kCheckRandom;
    region.fRandomLow = low;
    region.fRandomHigh = high;
    return region;
  };
  const auto run = [&](uint64_t seed) {
    // Two mics of one hit share its range: both sound or neither.
    AddSet(40, Selection::All,
           {ranged(100, 0.0f, 0.5f), ranged(1000, 0.0f, 0.5f), ranged(20, 0.5f, 1.0f)});
    program().m_note[40].bRandom = true;
    PublishProgram(seed);
    return Values(40, 32);
  };
  const std::vector<int> first = run(7);
  EXPECT_EQ(run(7), first);
  EXPECT_NE(run(8), first);
  const std::set<int> seen(first.begin(), first.end());
  EXPECT_EQ(seen, (std::set<int>{1100, 20}));
}

TEST_F(PlayProgramTest, CurveLawFollowsItsVelocityCurveAndItsControllers) {
  PlayProgram::Curve square{}, linear{};
  for (int i = 0; i < 128; ++i) {
    square[i] = static_cast<float>(i * i) / (127.0f * 127.0f);
    linear[i] = static_cast<float>(i) / 127.0f;
  }
  program().m_curve = {square, linear};
  PlayRegion region = Region(Voice(10000));
  region.gainLaw = GainLaw::Curve;
  region.nVelocityCurve = 0;
  region.fGain = 0.5f;
  region.nFirstModulation = 0;
  region.nModulationCount = 2;
  region.bPanModulated = true;
  region.fPanScale = 2.0f;
  program().m_modulation = {{Modulation::Target::Amplitude, 20, 1, 1.0f},
                            {Modulation::Target::Pan, 10, 1, 1.0f}};
  AddSet(40, Selection::All, {region});
  PlayRegion loud = Region(Voice(1000));
  loud.gainLaw = GainLaw::Curve;
  loud.nVelocityCurve = 1;
  loud.nFirstModulation = 2;
  loud.nModulationCount = 1;
  program().m_modulation.push_back({Modulation::Target::Volume, 21, 1, 6.0f});
  AddSet(41, Selection::All, {loud});
  PublishProgram();
  EXPECT_NEAR(Hit(40, 127).first, 0, 0.01);  // controller 20 stands at 0
  Send(0xB0, 20, 127);
  auto [left, right] = Hit(40, 127);  // pan 0: cos(pi/4) a side, times 2
  EXPECT_NEAR(left, 5000 * std::sqrt(2.0), 0.5);
  EXPECT_NEAR(right, 5000 * std::sqrt(2.0), 0.5);
  std::tie(left, right) = Hit(40, 64);
  EXPECT_NEAR(left, 5000 * std::sqrt(2.0) * square[64], 0.5);
  Send(0xB0, 10, 127);  // hard right
  std::tie(left, right) = Hit(40, 127);
  EXPECT_NEAR(left, 0, 0.5);
  EXPECT_NEAR(right, 10000, 0.5);
  Send(0xB0, 7, 0);  // the channel volume is not this law's
  EXPECT_NEAR(Hit(41, 127).first, 1000, 0.01);
  Send(0xB0, 21, 127);  // +6 dB
  EXPECT_NEAR(Hit(41, 127).first, 1000 * std::pow(10.0, 6.0 / 20.0), 0.5);
  float l = 0, r = 0;
  SfzPanGains(-1.0f, l, r);
  EXPECT_FLOAT_EQ(l, 1.0f);
  EXPECT_NEAR(r, 0.0f, 1e-6);
}

TEST_F(PlayProgramTest, AGroupsOwnFadeAndAStopThatSparesItWhileItsConditionsHold) {
  SampleVoice* open = Voice(8000, 44100);
  SampleVoice* closed = Voice(100, 44100);
  // Group 0: the open hi-hat, fading 441 frames, spared while CC 4 stays at 0..31.
  program().m_condition.push_back({4, 0, 31});
  program().m_group.push_back({0, 1, 441, 0, 1});
  program().m_groupVoice.push_back(open);
  program().m_stop.push_back(0 | ChokeGroup::kSpareWhileHeld);
  PlayRegion openHit = Region(open);
  openHit.nFirstCondition = 0;
  openHit.nConditionCount = 1;
  openHit.nFirstPreStop = 0;
  openHit.nPreStopCount = 1;
  PlayRegion closedHit = Region(closed);
  closedHit.nFirstPreStop = 0;
  closedHit.nPreStopCount = 1;
  closedHit.nChokeFadeFrames = 10;  // the group's own fade wins
  program().m_condition.push_back({4, 32, 127});
  closedHit.nFirstCondition = 1;
  closedHit.nConditionCount = 1;
  AddSet(46, Selection::All, {openHit, closedHit});
  PublishProgram();
  EXPECT_NEAR(Hit(46).first, 8000, 0.01);
  EXPECT_NEAR(Hit(46).first, 16000, 0.01);  // the pedal still open: the last hit rings on
  mixer.StopAll();
  MixLeftLevels(256);
  Hit(46);
  Send(0xB0, 4, 127);
  NoteOn(46, 100);  // closed now: the open hit fades over its own 441 frames
  const auto levels = MixLeftLevels(600);
  EXPECT_NEAR(levels[220], 100 + 8000 * 221.0 / 441.0, 30);
  EXPECT_NEAR(levels[450], 100, 0.01);
}

TEST_F(PlayProgramTest, ANoteOffStartsItsReleaseRegionsAtTheNoteOnsVelocity) {
  PlayRegion release = Region(Voice(10000));
  release.fVelocityPower = 1.0f;
  const uint32_t first = static_cast<uint32_t>(program().m_set.size());
  program().m_set.push_back({0, 1, Selection::All});
  program().m_region.push_back(release);
  program().m_note[38].nFirstReleaseSet = first;
  program().m_note[38].nReleaseSetCount = 1;
  PublishProgram();
  Send(0x80, 38, 0);  // never struck: nothing
  EXPECT_NEAR(MixLeftLevels(64)[0], 0, 0.01);
  NoteOn(38, 64);
  EXPECT_NEAR(MixLeftLevels(64)[0], 0, 0.01);
  Send(0x80, 38, 127);
  EXPECT_NEAR(MixLeftLevels(64)[0], 10000 * 64.0 / 127.0, 0.5);
}

TEST_F(PlayProgramTest, ControllersAndPressureStartRegionsWhenTheyMoveIntoRange) {
  const auto ranged = [&](int16_t value, uint8_t controller, uint8_t low, uint8_t high) {
    PlayRegion region = Region(Voice(value));
    region.nFirstCondition = static_cast<uint32_t>(program().m_condition.size());
    region.nConditionCount = 1;
    program().m_condition.push_back({controller, low, high});
    return region;
  };
  program().m_set.push_back({0, 1, Selection::All});
  program().m_region.push_back(ranged(300, 4, 100, 127));  // the pedal's chick
  program().m_controllerTrigger[4] = {0, 1};
  program().m_bControllerTriggers = true;
  program().m_set.push_back({1, 1, Selection::All});
  program().m_region.push_back(ranged(50, ControllerRange::kPolyPressure, 1, 127));
  program().m_note[49].nFirstPressureSet = 1;
  program().m_note[49].nPressureSetCount = 1;
  PublishProgram();
  Send(0xB0, 4, 50);
  EXPECT_NEAR(MixLeftLevels(64)[0], 0, 0.01);
  Send(0xB0, 4, 120);
  EXPECT_NEAR(MixLeftLevels(64)[0], 300, 0.01);
  Send(0xB0, 4, 120);  // the same value again starts nothing
  EXPECT_NEAR(MixLeftLevels(64)[0], 0, 0.01);
  Send(0xA0, 49, 90);
  EXPECT_NEAR(MixLeftLevels(64)[0], 50, 0.01);
  Send(0xA0, 48, 90);  // another note's pressure
  Send(0xA0, 49, 0);   // let go: outside the range
  EXPECT_NEAR(MixLeftLevels(64)[0], 0, 0.01);
  EXPECT_TRUE(DrainEvents().empty());  // no key lights for a controller
}

TEST_F(PlayProgramTest, AKitsStartValuesSetEveryChannelsControllersWhenPublished) {
  Send(0xB0, 7, 20);
  Send(0xB0, 4, 9);
  AddSet(40, Selection::All, {Region(Voice(1))});
  PublishProgram();  // a kit without start values keeps them
  EXPECT_EQ(trigger.ChannelVolume(1), 20);
  EXPECT_EQ(trigger.m_nController[0][4].load(), 9);
  AddSet(40, Selection::All, {Region(Voice(1))});
  program().m_bStartControllers = true;
  program().m_nStartController[7] = 100;
  program().m_nStartController[10] = 64;
  PublishProgram();
  for (int c = 0; c < 16; ++c) {
    EXPECT_EQ(trigger.ChannelVolume(c + 1), 100);
    EXPECT_EQ(trigger.m_nController[c][10].load(), 64);
    EXPECT_EQ(trigger.m_nController[c][4].load(), 0);
  }
}

TEST(LayerVelocityRange, GivesExactlyTheVelocitiesVelocityLayerPicks) {
  std::mt19937 random(3);
  std::uniform_int_distribution<int32_t> value(-20, 150);
  for (int round = 0; round < 2000; ++round) {
    std::array<int32_t, kThresholdCount> t{};
    for (auto& x : t)
      x = round < 1000 ? value(random) : 130 - 25 * (&x - t.data()) - value(random) % 10;
    for (int l = 0; l < kLayerCount; ++l) {
      const auto [low, high] = LayerVelocityRange(t, l);
      for (int v = 1; v <= 127; ++v)
        ASSERT_EQ(v >= low && v <= high, VelocityLayer(t, v) == l) << round << " " << l << " " << v;
    }
  }
}

}  // namespace
}  // namespace thumper::test

namespace thumper::test {
namespace {

class DrumSetOutputsTest : public TriggerTest {};

TEST_F(DrumSetOutputsTest, EachSoundingSlotHasAPairOfItsOwnAndSlotsThatCutShareOne) {
  for (int slot : {0, 2, 6, 8, 10}) GiveOwnLayers(slot, {0});
  set.m_noteSlot[10].nCutNote = 6;  // the open hi-hat and the pedal share a pair
  set.m_noteSlot[6].nCutNote = 10;
  set.m_noteSlot[2].nCutNote = 5;  // a cut of a silent slot joins nothing
  Publish();
  const PlayProgram& program = trigger.Current().m_program;
  const auto outputOf = [&](int slot) {
    const PlayNote& note = program.m_note[36 + slot];
    return program.m_region[program.m_set[note.nFirstSet].nFirstRegion].nOutput;
  };
  EXPECT_EQ(outputOf(0), 1);
  EXPECT_EQ(outputOf(2), 2);
  EXPECT_EQ(outputOf(6), 3);
  EXPECT_EQ(outputOf(8), 4);
  EXPECT_EQ(outputOf(10), 3);
  // The trigger sends a hit to its pair; a one-pair host hears it on the main one.
  NoteOn(36 + 8, 127);
  EXPECT_NEAR(
      NextLevel(),
      LayerValue(0) * GainOfAttenuation(NoteAttenuation(set.m_noteSlot[8].nVolume, 127, 127)), 0.5);
}

}  // namespace
}  // namespace thumper::test
