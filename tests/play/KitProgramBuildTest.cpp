// A kit described by its files made into what the trigger plays: regions whose
// sample did not load are left out, choke groups stop the voices of their
// regions, times and offsets turn into frames of the mixer, and pitch into
// the rate a sample is converted to.

#include <cmath>

#include "midi/TriggerTestSupport.h"
#include "play/KitProgramBuild.h"

namespace thumper::test {
namespace {

class KitProgramBuildTest : public TriggerTest {
 protected:
  // A voice whose sample holds value on both channels, and the kit sample it stands for.
  uint32_t Sample(int16_t value, uint32_t frames = 32) {  // a hit ends within one read
    const auto bytes = ConstantSample(frames, value);
    own.push_back(std::make_unique<SampleVoice>(ui, &device, bytes.data(),
                                                static_cast<uint32_t>(bytes.size()), 16,
                                                OutputFormat(), "v.wav"));
    refs.push_back({own.back().get(), 1.0});
    return kit.SampleIndex("/kit/" + std::to_string(value) + ".wav");
  }
  static KitRegion Region(uint32_t sample) {
    KitRegion region;
    region.nSample = sample;
    region.fVelocityPower = 0.0f;  // full level for every velocity
    return region;
  }
  void PublishKit(uint64_t seed = 0) {
    auto state = BuildKitTriggerState(kit, refs, device.SampleRate(), seed);
    ASSERT_TRUE(IsWellFormed(state->m_program));
    trigger.Publish(std::move(state));
  }
  double Hit(int note) {
    NoteOn(note, 100);
    return NextLevel();
  }

  KitProgram kit;
  std::vector<KitVoiceRef> refs;
  std::vector<std::unique_ptr<SampleVoice>> own;
};

TEST_F(KitProgramBuildTest, ARegionWhoseSampleDidNotLoadIsLeftOutOfItsTurns) {
  const uint32_t a = Sample(1000), b = Sample(2000), c = Sample(3000);
  refs[b].pVoice = nullptr;  // b's file did not load
  kit.notes[38].sets.push_back({Selection::RoundRobin, {Region(a), Region(b), Region(c)}});
  kit.notes[40].sets.push_back({Selection::All, {Region(b)}});
  PublishKit();
  std::vector<double> seen;
  for (int i = 0; i < 4; ++i) seen.push_back(std::round(Hit(38)));
  EXPECT_EQ(seen, (std::vector<double>{1000, 3000, 1000, 3000}));
  // A note with nothing left to play has no set, and its key does not sound.
  EXPECT_EQ(trigger.Current().m_program.m_note[40].nSetCount, 0u);
  EXPECT_TRUE(trigger.Current().m_slot[38 - 36].bSounds == false);
}

TEST_F(KitProgramBuildTest, ANoteWithASampleStillLoadingIsSilentAndItsHitsAreCounted) {
  const uint32_t a = Sample(1000), b = Sample(2000), c = Sample(4000);
  refs[b].bPending = true;
  kit.notes[36].sets.push_back({Selection::All, {Region(a), Region(b)}});
  kit.notes[38].sets.push_back({Selection::All, {Region(c)}});
  PublishKit();
  EXPECT_EQ(Hit(36), 0.0) << "never half played";
  EXPECT_EQ(Hit(36), 0.0);
  EXPECT_NEAR(Hit(38), 4000, 0.01);
  EXPECT_EQ(trigger.HitsWhileLoading(), 2u);
  refs[b].bPending = false;
  PublishKit();
  EXPECT_NEAR(Hit(36), 3000, 0.01);
  EXPECT_EQ(trigger.HitsWhileLoading(), 2u);
}

TEST_F(KitProgramBuildTest, ChokeGroupsStopTheirRegionsVoicesWithTheFadeOfTheirSeconds) {
  const uint32_t open = Sample(8000, 44100), pedal = Sample(0, 44100);
  kit.nGroupCount = 1;
  KitRegion ringing = Region(open);
  ringing.nChokeGroup = 0;
  kit.notes[46].sets.push_back({Selection::All, {ringing}});
  KitRegion closing = Region(pedal);
  closing.stopsGroups = {0, 7};  // group 7 does not exist: ignored
  closing.fChokeFadeSeconds = 0.01f;
  kit.notes[44].sets.push_back({Selection::All, {closing}});
  kit.notes[44].nShowSlot = 8;
  PublishKit();
  EXPECT_NEAR(Hit(46), 8000, 0.01);
  NoteOn(44, 100);
  const auto levels = MixLeftLevels(600);
  EXPECT_NEAR(levels[220], 8000 * 221.0 / 441.0, 2);  // 10 ms at 44.1 kHz is 441 frames
  EXPECT_EQ(levels[441], 0);
  EXPECT_TRUE(trigger.Current().m_slot[8].bSounds);
}

TEST_F(KitProgramBuildTest, AStartOffsetInTheFilesFramesIsScaledToTheVoicesRate) {
  // A ramp, so the frame that plays first tells where the hit started.
  const auto bytes = RampSample(2000);
  own.push_back(std::make_unique<SampleVoice>(ui, &device, bytes.data(),
                                              static_cast<uint32_t>(bytes.size()), 16,
                                              OutputFormat(), "ramp.wav"));
  refs.push_back({own.back().get(), 0.5});  // the file has twice the voice's rate
  KitRegion region = Region(kit.SampleIndex("/kit/ramp.wav"));
  region.nStartFrame = 600;
  kit.notes[36].sets.push_back({Selection::All, {region}});
  PublishKit();
  EXPECT_NEAR(Hit(36), 300, 0.01);
}

TEST(KitProgramBuild, PitchTurnsIntoTheRateTheSampleIsConvertedTo) {
  EXPECT_EQ(PitchedRate(48000, 0.0f), 48000u);
  EXPECT_EQ(PitchedRate(48000, 12.0f), 24000u);   // an octave up: half the frames
  EXPECT_EQ(PitchedRate(48000, -12.0f), 96000u);  // an octave down: twice
  EXPECT_EQ(PitchedRate(44100, 1.0f), 41625u);    // 44100 / 2^(1/12), rounded
  EXPECT_EQ(PitchedRate(48000, 1e6f), 1000u);     // damage stays within what a converter takes
  EXPECT_EQ(PitchedRate(48000, NAN), 48000u);
}

TEST(KitProgramBuild, OnlyTheSamplesOfTheNotesPlayedAreWanted) {
  KitProgram kit;
  const uint32_t kick = kit.SampleIndex("/k.wav"), snare = kit.SampleIndex("/s.wav");
  const uint32_t pitched = kit.SampleIndex("/s.wav", 2.0f);
  KitRegion region;
  region.nSample = kick;
  kit.notes[36].sets.push_back({Selection::All, {region}});
  region.nSample = snare;
  KitRegion other = region;
  other.nSample = pitched;
  kit.notes[38].sets.push_back({Selection::First, {region, other}});
  std::array<bool, PlayProgram::kNoteCount> notes{};
  notes[38] = true;
  EXPECT_EQ(SamplesOfNotes(kit, notes), (std::vector<bool>{false, true, true}));
  // A played note's release and pressure regions, and whatever a controller
  // starts, are wanted too.
  const uint32_t release = kit.SampleIndex("/r.wav"), grab = kit.SampleIndex("/g.wav"),
                 chick = kit.SampleIndex("/c.wav");
  region.nSample = release;
  kit.notes[38].releaseSets.push_back({Selection::All, {region}});
  region.nSample = grab;
  kit.notes[38].pressureSets.push_back({Selection::All, {region}});
  region.nSample = chick;
  kit.controllerTriggers[4].push_back({Selection::All, {region}});
  EXPECT_EQ(SamplesOfNotes(kit, notes), (std::vector<bool>{false, true, true, true, true, true}));
}

TEST_F(KitProgramBuildTest, SfzFieldsReachTheTriggerAndDamagedOnesAreLeftOut) {
  const uint32_t a = Sample(1000), b = Sample(2000);
  PlayProgram::Curve flat;
  flat.fill(0.5f);
  kit.curves = {flat};
  KitRegion curved = Region(a);
  curved.bCurveLaw = true;
  curved.nSequenceLength = 2;
  curved.nSequencePosition = 1;
  curved.modulations = {{Modulation::Target::Amplitude, 20, 0, 2.0f},
                        {Modulation::Target::Volume, 21, 9, 6.0f}};  // curve 9: not there
  KitRegion lost = curved;
  lost.nSequence = 1;  // names a counter the note does not have
  KitRegion badCurve = Region(b);
  badCurve.bCurveLaw = true;
  badCurve.nVelocityCurve = 3;
  kit.notes[40].sets.push_back({Selection::All, {curved, lost, badCurve}});
  kit.notes[40].sequences = {0};
  kit.nSequenceCount = 1;
  kit.bStartControllers = true;
  kit.nStartController[20] = 127;
  kit.nStartController[21] = 200;  // no controller goes past 127
  PublishKit();
  const PlayProgram& program = trigger.Current().m_program;
  ASSERT_EQ(program.m_set.at(program.m_note[40].nFirstSet).nRegionCount, 1u);
  const PlayRegion& r =
      program.m_region.at(program.m_set[program.m_note[40].nFirstSet].nFirstRegion);
  EXPECT_EQ(r.gainLaw, GainLaw::Curve);
  EXPECT_EQ(r.nChecks, PlayRegion::kCheckSequence);
  EXPECT_EQ(r.nModulationCount, 1u);
  EXPECT_EQ(trigger.m_nController[0][21].load(), 127);
  // Turn 0 is not its turn; turn 1 plays at the curve's 0.5, times CC 20's
  // modulation (2 times the same curve's 0.5).
  EXPECT_NEAR(Hit(40), 0, 0.01);
  EXPECT_NEAR(Hit(40), 500, 0.01);
}

}  // namespace
}  // namespace thumper::test
