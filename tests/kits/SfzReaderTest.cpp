// SFZ kits read into regions: the syntax, inheritance over the header
// levels, includes and defines as multi-mic kits use them, the idioms of
// drum kits (round robin, hi-hat on CC 4, chokes, silence), and bad input.

#include <gtest/gtest.h>

#include "kits/SfzTestSupport.h"

namespace thumper {
namespace {

using test::Mentions;

class SfzReaderTest : public ::testing::Test {
 protected:
  const SfzKit& Read(const std::string& text, const std::string& name = "kit.sfz") {
    kit.Write(name, text);
    result = kit.Read(name);
    EXPECT_TRUE(result.kit) << result.strError;
    static const SfzKit none;
    return result.kit ? *result.kit : none;
  }

  test::SfzKitFolder kit;
  SfzReadResult result;
};

TEST_F(SfzReaderTest, RegionsInheritFromEveryLevelAndNewHeadersForgetTheirOwn) {
  for (const char* s : {"a.wav", "b.wav", "c.wav", "d.wav", "e.wav"}) kit.Sample(s);
  const SfzKit& k = Read(
      "<global> volume=-6 pan=10\n"
      "<master> lovel=20 pan=-30\n"
      "<group> hivel=90 tune=5\n"
      "<region> sample=a.wav key=36\n"
      "<region> sample=b.wav key=38 volume=-1\n"
      "<group> seq_length=2\n"  // forgets hivel and tune, keeps the master
      "<region> sample=c.wav\n"
      "<master>\n"  // forgets lovel, pan and the group
      "<region> sample=d.wav\n"
      "<global>\n"  // forgets all
      "<region> sample=e.wav\n");
  ASSERT_EQ(k.regions.size(), 5u);
  const SfzRegion &a = k.regions[0], &b = k.regions[1], &c = k.regions[2], &d = k.regions[3],
                  &e = k.regions[4];
  EXPECT_FLOAT_EQ(a.fVolume, -6);
  EXPECT_FLOAT_EQ(a.fPan, -30);  // the lower level wins
  EXPECT_EQ(a.nLoVel, 20);
  EXPECT_EQ(a.nHiVel, 90);
  EXPECT_FLOAT_EQ(a.fTune, 5);
  EXPECT_EQ(a.nLoKey, 36);
  EXPECT_EQ(a.nHiKey, 36);
  EXPECT_EQ(a.nPitchKeycenter, 36);
  EXPECT_FLOAT_EQ(b.fVolume, -1);
  EXPECT_EQ(c.nHiVel, 127);
  EXPECT_FLOAT_EQ(c.fTune, 0);
  EXPECT_EQ(c.nSeqLength, 2);
  EXPECT_EQ(c.nLoVel, 20);
  EXPECT_EQ(d.nLoVel, 0);
  EXPECT_FLOAT_EQ(d.fPan, 10);
  EXPECT_EQ(d.nSeqLength, 1);
  EXPECT_FLOAT_EQ(e.fVolume, 0);
  EXPECT_FLOAT_EQ(e.fPan, 0);
  EXPECT_EQ(e.nLoKey, 0);
  EXPECT_EQ(e.nHiKey, 127);
  EXPECT_EQ(e.place.nLine, 11);
  EXPECT_TRUE(result.messages.empty()) << result.messages[0];
}

TEST_F(SfzReaderTest, MultiMicKitWithDefinedPathsAndOneMappingIncludedPerMic) {
  for (const char* mic : {"Close", "Room"})
    for (int v = 1; v <= 2; ++v)
      kit.Sample(std::string("Samples/") + mic + "/Kick Soft " + std::to_string(v) + ".wav");
  // Includes are found from the top file's folder, even from a nested one.
  kit.Write("mapping/kick.sfz",
            "<group> key=$KICK amplitude_oncc$FADER=100 amplitude_curvecc$FADER=5\n"
            "<region> sample=$PATH/$MIC/Kick Soft 1.wav hivel=64 // soft\n"
            "<region> sample=$PATH/$MIC/Kick Soft 2.wav lovel=65\n");
  kit.Write("mapping/mic.sfz", "#include \"mapping/kick.sfz\"\n");
  const SfzKit& k = Read(
      "#define $PATH Samples #define $KICK c1\n"
      "<control> label_cc30=Close label_cc31=Room set_cc30=127 set_hdcc31=0.5\n"
      "#define $MIC Close\n#define $FADER 30\n#include \"mapping/mic.sfz\"\n"
      "#define $MIC Room\n#define $FADER 31\n#include \"mapping/mic.sfz\"\n");
  ASSERT_EQ(k.regions.size(), 4u);
  EXPECT_EQ(k.regions[0].strSample, "Samples/Close/Kick Soft 1.wav");
  EXPECT_EQ(k.regions[3].strSample, "Samples/Room/Kick Soft 2.wav");
  EXPECT_EQ(k.regions[3].strSamplePath, kit / "Samples/Room/Kick Soft 2.wav");
  EXPECT_EQ(k.regions[0].nHiVel, 64);
  EXPECT_EQ(k.regions[1].nLoVel, 65);
  for (const SfzRegion& r : k.regions) EXPECT_EQ(r.nLoKey, 24);
  ASSERT_EQ(k.regions[2].amplitudeCc.size(), 1u);
  EXPECT_EQ(k.regions[2].amplitudeCc[0].nCc, 31);
  EXPECT_FLOAT_EQ(k.regions[2].amplitudeCc[0].fDepth, 100);
  EXPECT_EQ(k.regions[2].amplitudeCc[0].nCurve, 5);
  EXPECT_EQ(k.ccLabels.at(30), "Close");
  EXPECT_EQ(k.ccLabels.at(31), "Room");
  EXPECT_FLOAT_EQ(k.ccDefaults.at(30), 1.0f);
  EXPECT_FLOAT_EQ(k.ccDefaults.at(31), 0.5f);
  EXPECT_EQ(k.regions[1].place.strFile, kit / "mapping/kick.sfz");
  EXPECT_EQ(k.regions[1].place.nLine, 3);
  EXPECT_TRUE(result.messages.empty()) << result.messages[0];
}

TEST_F(SfzReaderTest, LinesHoldSeveralOpcodesCommentsAndValuesWithSpaces) {
  kit.Sample("drums/snare hit  01.wav");
  kit.Sample("drums/tom.wav");
  const SfzKit& k = Read(
      "/* a kit\r\n   <region> sample=commented.wav\r\n*/\r\n"
      "<control>default_path=drums\\ // the folder\r\n"
      "<region>sample=snare hit  01.wav  lokey=37 hikey=d2 pan=-20.5<region> sample=tom.wav\r\n"
      "key=45 /* inline */ pitch_keycenter=44\tvolume=+3 // done\r\n"
      "<region> sample=  tom.wav key=46 <region> sample= key=47\r\n");
  ASSERT_EQ(k.regions.size(), 3u);
  EXPECT_EQ(k.regions[0].strSample, "drums/snare hit  01.wav");
  EXPECT_EQ(k.regions[2].strSample, "drums/tom.wav");
  EXPECT_EQ(k.regions[2].nLoKey, 46);
  EXPECT_EQ(k.regions[0].nLoKey, 37);
  EXPECT_EQ(k.regions[0].nHiKey, 38);
  EXPECT_FLOAT_EQ(k.regions[0].fPan, -20.5f);
  EXPECT_EQ(k.regions[1].nLoKey, 45);
  EXPECT_EQ(k.regions[1].nPitchKeycenter, 44);
  EXPECT_FLOAT_EQ(k.regions[1].fVolume, 3);
  EXPECT_EQ(k.regions[1].place.nLine, 5);
  ASSERT_EQ(result.messages.size(), 1u);  // the region whose sample= is empty
  EXPECT_NE(result.messages[0].find(":7: <region>: has no sample"), std::string::npos)
      << result.messages[0];
}

TEST_F(SfzReaderTest, DrumIdiomsRoundRobinHiHatChokesSilenceAndControllerTriggers) {
  for (const char* s : {"rr1.wav", "rr2.wav", "closed.wav", "half.wav", "open.wav", "pedal.wav"})
    kit.Sample(s);
  const SfzKit& k = Read(
      "<group> key=38 seq_length=3\n"
      "<region> sample=rr1.wav seq_position=1\n"
      "<region> sample=rr2.wav seq_position=2\n"
      "<region> sample=rr1.wav seq_position=3 lorand=0 hirand=0.5\n"
      "<group> key=f#2 group=1 off_by=2 off_mode=time off_time=0.1 loop_mode=one_shot\n"
      "<region> sample=closed.wav locc4=0 hicc4=40\n"
      "<region> sample=half.wav locc4=41 hicc4=100\n"
      "<region> sample=open.wav locc4=101\n"
      "<group> key=44 group=2 note_polyphony=1 polyphony=4\n"
      "<region> sample=pedal.wav\n"
      "<region> sample=*silence end=-1 off_by=3 trigger=release_key\n"
      "<group> on_locc130=1 on_hicc130=127 group=3\n"
      "<region> sample=*silence\n"
      "<region> sample=pedal.wav end=0 output=2\n");
  ASSERT_EQ(k.regions.size(), 10u);
  EXPECT_EQ(k.regions[1].nSeqPosition, 2);
  EXPECT_EQ(k.regions[2].nSeqLength, 3);
  EXPECT_FLOAT_EQ(k.regions[2].fHiRand, 0.5f);
  EXPECT_FLOAT_EQ(k.regions[1].fHiRand, 1);
  const SfzRegion& half = k.regions[4];
  EXPECT_EQ(half.nLoKey, 42);
  ASSERT_EQ(half.ccConditions.size(), 1u);
  EXPECT_EQ(half.ccConditions[0].nCc, 4);
  EXPECT_EQ(half.ccConditions[0].nLo, 41);
  EXPECT_EQ(half.ccConditions[0].nHi, 100);
  EXPECT_EQ(k.regions[5].ccConditions[0].nHi, 127);  // unset ends keep the default
  EXPECT_EQ(half.nGroup, 1);
  EXPECT_EQ(half.nOffBy, 2);
  EXPECT_EQ(half.offMode, SfzOffMode::Time);
  EXPECT_FLOAT_EQ(half.fOffTime, 0.1f);
  EXPECT_EQ(half.loopMode, SfzLoopMode::OneShot);
  EXPECT_FALSE(k.regions[0].nOffBy);
  EXPECT_EQ(k.regions[0].offMode, SfzOffMode::Fast);
  EXPECT_EQ(k.regions[6].nNotePolyphony, 1);
  EXPECT_EQ(k.regions[6].nPolyphony, 4);
  EXPECT_FALSE(k.regions[6].PlaysNothing());
  const SfzRegion& silence = k.regions[7];
  EXPECT_TRUE(silence.bSilence);
  EXPECT_TRUE(silence.PlaysNothing());
  EXPECT_EQ(silence.nEnd, -1);
  EXPECT_EQ(silence.trigger, SfzTrigger::ReleaseKey);
  EXPECT_TRUE(silence.strSamplePath.empty());
  ASSERT_EQ(k.regions[8].ccTriggers.size(), 1u);
  EXPECT_EQ(k.regions[8].ccTriggers[0].nCc, 130);
  EXPECT_EQ(k.regions[8].ccTriggers[0].nLo, 1);
  EXPECT_TRUE(k.regions[9].PlaysNothing());  // end=0: not past its first frame
  EXPECT_EQ(k.regions[9].nOutput, 2);
  EXPECT_TRUE(result.messages.empty()) << result.messages[0];
}

TEST_F(SfzReaderTest, SampleNamesInAnotherCaseAreFoundOnDisk) {
  kit.Sample("Samples/Kick/kick_01.wav");
  kit.Sample("samples/snare.WAV");
  const SfzKit& k = Read(
      "<region> sample=SAMPLES\\kick\\Kick_01.wav key=36\n"
      "<region> sample=samples/Snare.wav key=38\n");
  ASSERT_EQ(k.regions.size(), 2u);
  EXPECT_EQ(k.regions[0].strSamplePath, kit / "Samples/Kick/kick_01.wav");
  EXPECT_EQ(k.regions[1].strSamplePath, kit / "samples/snare.WAV");
}

TEST_F(SfzReaderTest, CurvesAreDrawnBetweenTheirPointsAndOpcodesOutsideTheListAreCounted) {
  kit.Sample("a.wav");
  const SfzKit& k = Read(
      "<curve> curve_index=7 v000=0 v064=1 v127=0.5\n"
      "<curve> curve_index=8 v32=0.25\n"
      "<global> fil_type=lpf_2p cutoff=300 cutoff=400\n"
      "<effect> type=reverb\n"
      "<region> sample=a.wav amp_velcurve_127=1 amp_velcurve_1=0.1 amp_velcurve_64=0.5 "
      "xfin_locc1=10\n");
  ASSERT_EQ(k.curves.size(), 2u);
  EXPECT_EQ(k.curves[0].nIndex, 7);
  EXPECT_FLOAT_EQ(k.curves[0].points[32], 32.0f / 64);
  EXPECT_FLOAT_EQ(k.curves[0].points[64], 1);
  EXPECT_NEAR(k.curves[0].points[96], 0.5f + 0.5f * 31 / 63, 1e-6);
  EXPECT_FLOAT_EQ(k.curves[1].points[0], 0);
  EXPECT_FLOAT_EQ(k.curves[1].points[16], 0.125f);
  EXPECT_FLOAT_EQ(k.curves[1].points[127], 1);
  EXPECT_EQ(k.unknownOpcodes.at("cutoff"), 2);
  EXPECT_EQ(k.unknownOpcodes.at("fil_type"), 1);
  EXPECT_EQ(k.unknownOpcodes.at("xfin_locc1"), 1);
  EXPECT_EQ(k.unknownOpcodes.count("type"), 0u);  // <effect> is skipped whole
  EXPECT_EQ(k.unknownHeaders.at("effect"), 1);
  ASSERT_EQ(k.regions.size(), 1u);
  const std::vector<std::pair<int, float>> curve{{1, 0.1f}, {64, 0.5f}, {127, 1.0f}};
  EXPECT_EQ(k.regions[0].ampVelcurve, curve);
  EXPECT_TRUE(result.messages.empty()) << result.messages[0];
}

TEST_F(SfzReaderTest, BadInputIsNamedByFileLineAndOpcodeAndTheRestStillReads) {
  kit.Sample("a.wav");
  kit.Write("loop.sfz", "#include \"kit.sfz\"\n");
  const SfzKit& k = Read(
      "<region sample=a.wav\n"
      "<regoin> sample=a.wav\n"
      "<region> sample=a.wav volume=loud pan=300 key=h4\n"
      "<region> key=40\n"
      "<region> sample=missing.wav\n"
      "#include \"nothing.sfz\"\n"
      "#include \"loop.sfz\"\n"
      "<region> sample=a.wav trigger=sometimes\n"
      "lokey 40\n"
      "#pragma once\n"
      "/* never closed\n<region> sample=a.wav\n");
  const std::string file = kit / "kit.sfz";
  EXPECT_TRUE(Mentions(result, file + ":1: a header is not closed"));
  EXPECT_TRUE(Mentions(result, file + ":2: <regoin>: not a header"));
  EXPECT_TRUE(Mentions(result, file + ":3: volume: \"loud\" is not a number"));
  EXPECT_TRUE(Mentions(result, file + ":3: pan: 300 is outside -100 to 100; 100 is used"));
  EXPECT_TRUE(Mentions(result, file + ":3: key: \"h4\" is not a note"));
  EXPECT_TRUE(Mentions(result, file + ":4: <region>: has no sample"));
  EXPECT_TRUE(Mentions(result, file + ":5: sample=missing.wav: no such file"));
  EXPECT_TRUE(Mentions(result, file + ":6: #include \"nothing.sfz\": no such file"));
  EXPECT_TRUE(
      Mentions(result, kit / "loop.sfz" + ":1: #include \"kit.sfz\": the file includes itself"));
  EXPECT_TRUE(Mentions(result, file + ":8: trigger: \"sometimes\" is not one of attack"));
  EXPECT_TRUE(Mentions(result, file + ":9: lokey: not an opcode"));
  EXPECT_TRUE(Mentions(result, file + ":10: #pragma: not a directive"));
  EXPECT_TRUE(Mentions(result, file + ":11: a /* comment is never closed"));
  ASSERT_EQ(k.regions.size(), 2u);
  EXPECT_FLOAT_EQ(k.regions[0].fVolume, 0);
  EXPECT_FLOAT_EQ(k.regions[0].fPan, 100);
  EXPECT_EQ(k.regions[0].nLoKey, 0);
  EXPECT_EQ(k.regions[1].trigger, SfzTrigger::Attack);
}

TEST_F(SfzReaderTest, AKitThatPlaysNothingIsRefused) {
  kit.Write("silent.sfz", "<group> group=1\n<region> sample=*silence\n<region> sample=x.wav\n");
  SfzReadResult r = kit.Read("silent.sfz");
  EXPECT_FALSE(r.kit);
  EXPECT_TRUE(Mentions(r, "every region is silent"));
  EXPECT_TRUE(Mentions(r, "sample=x.wav: no such file"));
  kit.Write("empty.sfz", "// nothing here\n");
  r = kit.Read("empty.sfz");
  EXPECT_FALSE(r.kit);
  EXPECT_TRUE(Mentions(r, "no region"));
  r = kit.Read("absent.sfz");
  EXPECT_FALSE(r.kit);
  EXPECT_TRUE(Mentions(r, "absent.sfz: no such file"));
}

TEST_F(SfzReaderTest, HostileInputStaysBounded) {
  kit.Sample("a.wav");
  // Each file includes the next, deeper than allowed.
  for (int i = 0; i < 30; ++i)
    kit.Write("deep" + std::to_string(i) + ".sfz",
              "#include \"deep" + std::to_string(i + 1) + ".sfz\"\n");
  kit.Write("deep30.sfz", "<region> sample=a.wav\n");
  SfzReadResult r = kit.Read("deep0.sfz");
  EXPECT_FALSE(r.kit);
  EXPECT_TRUE(Mentions(r, "includes nest deeper than 16"));

  // Names that expand to each other, and to ever more of themselves.
  kit.Write("define.sfz",
            "#define $A $B\n#define $B $A\n#define $C $C$C\n"
            "<region> sample=a.wav volume=$A\n<region> sample=a.wav tune=$C\n"
            "<region> sample=a.wav\n");
  r = kit.Read("define.sfz");
  ASSERT_TRUE(r.kit) << r.strError;
  EXPECT_EQ(r.kit->regions.size(), 3u);
  EXPECT_TRUE(Mentions(r, "volume: $NAME definitions name each other without end"));
  EXPECT_TRUE(Mentions(r, "tune: $NAME expansion grows too long"));

  SfzReadOptions options;
  options.limits.nMaxRegions = 100;
  options.limits.nMaxMessages = 5;
  std::string many;
  for (int i = 0; i < 300; ++i) many += "<region> sample=a.wav pan=500\n";
  many += std::string(70000, 'x') + "=1\n";
  kit.Write("many.sfz", many);
  r = kit.Read("many.sfz", options);
  ASSERT_TRUE(r.kit) << r.strError;
  EXPECT_EQ(r.kit->regions.size(), 100u);
  EXPECT_EQ(r.messages.size(), 5u);
  EXPECT_GT(r.nMessagesLeftOut, 90u);

  // One line of a megabyte holding 170,000 opcodes is read in one pass.
  std::string line = "<group> key=36";
  for (int i = 0; i < 170000; ++i) line += " pan=" + std::to_string(i % 100);
  kit.Write("line.sfz", line + "\n<region> sample=a.wav\n");
  r = kit.Read("line.sfz");
  ASSERT_TRUE(r.kit) << r.strError;
  EXPECT_TRUE(Mentions(r, "line.sfz:1: pan: more than 4096 opcodes under one header"));
  EXPECT_FLOAT_EQ(r.kit->regions.at(0).fPan, 4094 % 100);
}

}  // namespace
}  // namespace thumper
