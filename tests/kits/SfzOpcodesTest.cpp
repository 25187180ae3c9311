// SFZ values and opcodes: note names as sfizz counts them, numbers, the
// ranges values are clamped to, controllers up to the extended ones.

#include <gtest/gtest.h>

#include "kits/SfzOpcodes.h"

namespace thumper {
namespace {

TEST(SfzOpcodes, NoteNamesCountC4AsSixty) {
  EXPECT_EQ(ParseSfzNote("c4"), 60);
  EXPECT_EQ(ParseSfzNote("C4"), 60);
  EXPECT_EQ(ParseSfzNote("c-1"), 0);
  EXPECT_EQ(ParseSfzNote("g9"), 127);
  EXPECT_EQ(ParseSfzNote("f#3"), 54);
  EXPECT_EQ(ParseSfzNote("db2"), 37);
  EXPECT_EQ(ParseSfzNote("bb1"), 34);
  EXPECT_EQ(ParseSfzNote("b3"), 59);
  EXPECT_EQ(ParseSfzNote("a0"), 21);
  EXPECT_EQ(ParseSfzNote("36"), 36);
  for (const char* bad : {"h4", "c", "g#9", "c10", "cb-1", "c4x", "", "128", "-1"})
    EXPECT_FALSE(ParseSfzNote(bad)) << bad;
}

TEST(SfzOpcodes, NumbersAreReadFromTheirLeadingDigits) {
  EXPECT_EQ(ParseSfzNumber("12"), 12);
  EXPECT_EQ(ParseSfzNumber("+3.5"), 3.5);
  EXPECT_EQ(ParseSfzNumber("-6dB"), -6);
  EXPECT_EQ(ParseSfzNumber(".5"), 0.5);
  for (const char* bad : {"", "dB", "nan", "inf", "1e999", "--1"})
    EXPECT_FALSE(ParseSfzNumber(bad)) << bad;
  EXPECT_EQ(SfzOpcodeSuffix("locc130", "locc"), 130);
  EXPECT_FALSE(SfzOpcodeSuffix("locc", "locc"));
  EXPECT_FALSE(SfzOpcodeSuffix("locc1x", "locc"));
  EXPECT_FALSE(SfzOpcodeSuffix("locc99999999999", "locc"));
}

TEST(SfzOpcodes, ValuesOutOfRangeAreClampedAndUnusableOnesLeaveTheDefault) {
  SfzRegion r;
  std::string problem;
  struct Case {
    const char *name, *value;
    bool bProblem;
  };
  for (const Case& c : std::initializer_list<Case>{{"volume", "60", true},
                                                   {"amp_veltrack", "-150", true},
                                                   {"seq_length", "0", true},
                                                   {"seq_position", "4", false},
                                                   {"lovel", "200", true},
                                                   {"off_time", "-1", true},
                                                   {"end", "-5", true},
                                                   {"transpose", "2.7", false},
                                                   {"tune", "abc", true},
                                                   {"loop_mode", "loop_forever", true},
                                                   {"off_mode", "normal", false}}) {
    EXPECT_TRUE(ApplySfzRegionOpcode(r, c.name, c.value, problem)) << c.name;
    EXPECT_EQ(!problem.empty(), c.bProblem) << c.name << ": " << problem;
  }
  EXPECT_FLOAT_EQ(r.fVolume, 48);
  EXPECT_FLOAT_EQ(r.fAmpVeltrack, -100);
  EXPECT_EQ(r.nSeqLength, 1);
  EXPECT_EQ(r.nSeqPosition, 4);
  EXPECT_EQ(r.nLoVel, 127);
  EXPECT_FLOAT_EQ(r.fOffTime, 0);
  EXPECT_EQ(r.nEnd, -1);
  EXPECT_EQ(r.nTranspose, 2);
  EXPECT_FLOAT_EQ(r.fTune, 0);
  EXPECT_EQ(r.loopMode, SfzLoopMode::Unset);
  EXPECT_EQ(r.offMode, SfzOffMode::Normal);
  EXPECT_FALSE(ApplySfzRegionOpcode(r, "cutoff", "100", problem));
  EXPECT_FALSE(ApplySfzRegionOpcode(r, "loccx", "1", problem));
}

TEST(SfzOpcodes, OffTimeAsksForTheTimedFadeAndPitchKeytrackIsRead) {
  // As sfizz reads them: off_time switches to off_mode=time; a later off_mode wins.
  SfzRegion r;
  std::string problem;
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "off_time", "0.2", problem));
  EXPECT_EQ(r.offMode, SfzOffMode::Time);
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "off_mode", "fast", problem));
  EXPECT_EQ(r.offMode, SfzOffMode::Fast);
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "off_time", "x", problem));
  EXPECT_EQ(r.offMode, SfzOffMode::Fast);
  // key=-1 and hikey=-1 take a region off the keys, as in sfizz; a real key puts it back.
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "hikey", "-1", problem));
  EXPECT_FALSE(r.bTriggerOnNote);
  EXPECT_EQ(problem, "");
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "key", "c4", problem));
  EXPECT_TRUE(r.bTriggerOnNote);
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "key", "-1", problem));
  EXPECT_FALSE(r.bTriggerOnNote);
  EXPECT_FLOAT_EQ(r.fPitchKeytrack, 100);
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "pitch_keytrack", "0", problem));
  EXPECT_FLOAT_EQ(r.fPitchKeytrack, 0);
}

TEST(SfzOpcodes, ControllersReachTheExtendedOnesAndNoFurther) {
  SfzRegion r;
  std::string problem;
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "hicc130", "20", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "locc130", "10", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "locc4", "300", problem));
  EXPECT_NE(problem, "");
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "on_hicc64", "127", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "pan_oncc10", "-250", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "pan_curvecc10", "3", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "volume_oncc7", "-12", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "amplitude_cc20", "50", problem));
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "locc512", "1", problem));
  EXPECT_NE(problem.find("controller 512 does not exist"), std::string::npos) << problem;
  EXPECT_TRUE(ApplySfzRegionOpcode(r, "amp_velcurve_128", "1", problem));
  EXPECT_NE(problem, "");
  ASSERT_EQ(r.ccConditions.size(), 2u);
  EXPECT_EQ(r.ccConditions[0].nCc, 130);
  EXPECT_EQ(r.ccConditions[0].nLo, 10);
  EXPECT_EQ(r.ccConditions[0].nHi, 20);
  EXPECT_EQ(r.ccConditions[1].nLo, 127);
  ASSERT_EQ(r.ccTriggers.size(), 1u);
  EXPECT_EQ(r.ccTriggers[0].nLo, 0);
  ASSERT_EQ(r.panCc.size(), 1u);
  EXPECT_FLOAT_EQ(r.panCc[0].fDepth, -200);
  EXPECT_EQ(r.panCc[0].nCurve, 3);
  ASSERT_EQ(r.volumeCc.size(), 1u);
  EXPECT_FLOAT_EQ(r.volumeCc[0].fDepth, -12);
  ASSERT_EQ(r.amplitudeCc.size(), 1u);
  EXPECT_EQ(r.amplitudeCc[0].nCc, 20);
  EXPECT_TRUE(r.ampVelcurve.empty());

  SfzRegion many;
  for (int cc = 0; cc < 64; ++cc)
    ASSERT_TRUE(ApplySfzRegionOpcode(many, "hicc" + std::to_string(cc), "1", problem));
  EXPECT_EQ(problem, "");
  ApplySfzRegionOpcode(many, "hicc64", "1", problem);
  EXPECT_NE(problem.find("at most 64 controllers"), std::string::npos) << problem;
  ApplySfzRegionOpcode(many, "locc63", "1", problem);  // one it has already
  EXPECT_EQ(problem, "");
  EXPECT_EQ(many.ccConditions.size(), 64u);
}

}  // namespace
}  // namespace thumper
