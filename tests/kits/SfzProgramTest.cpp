// SFZ kits made here, compiled and played through the note trigger, checked
// against sfizz's rules: which file each hit plays over several cycles, levels
// in dB, pan, what the controllers select and start, and what chokes what.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <map>

#include "kits/KitPlaySupport.h"
#include "kits/KitPrograms.h"
#include "kits/SfzProgram.h"
#include "support/TestSupport.h"

namespace thumper::test {
namespace {

namespace fs = std::filesystem;

// sfizz's defaults: CC 7 at 100 by curve 4, CC 10 at 64 by curve 1, and +3 dB after the pan.
const double kVolume100 = (100.0 / 127.0) * (100.0 / 127.0);
const double kPan64 = -1.0 + 2.0 * 64.0 / 127.0;
constexpr double kMakeUp = 1.4125375446227544;

double Db(double gain) {
  return 20.0 * std::log10(gain);
}

// sfizz's pan law as its table rounds it: the left and right gains.
std::pair<double, double> SfizzPan(double pan) {
  const double p = std::clamp((pan + 1.0) * 0.5, 0.0, 1.0);
  const double step = 1.5707963267948966 / 4094.0;
  return {std::cos(std::lround(p * 4094) * step), std::cos(std::lround((1.0 - p) * 4094) * step)};
}

// Levels with the pan stage's gain taken out (left, at pan 0 plus CC 10's 64).
double Unpanned(double left) {
  return left / (SfizzPan(kPan64).first * kMakeUp);
}

class SfzProgramTest : public ::testing::Test {
 protected:
  // The kit text and a WAV for every file named (one per line of files).
  void Kit(const std::string& text, const std::vector<std::string>& files,
           const std::string& name = "kit.sfz") {
    WriteTextFile(Path(name), text);
    for (const std::string& f : files) {
      fs::create_directories(fs::path(Path(f)).parent_path());
      WriteWav(Path(f), std::vector<int16_t>(2 * 64, 1000));
    }
  }
  std::string Path(const std::string& name) const { return (m_dir.path() / name).string(); }

  const KitProgram& Compile(const std::string& name = "kit.sfz") {
    m_result = ReadKitProgram(Path(name));
    EXPECT_TRUE(m_result.program) << m_result.strError;
    if (!m_result.program) m_result.program.emplace();
    return *m_result.program;
  }

  KitPlayer& Play(uint64_t seed = 1, uint32_t frames = 44100) {
    m_player = std::make_unique<KitPlayer>(*m_result.program, seed, frames);
    return *m_player;
  }

  // The files a level is made of (the sum of the samples' levels).
  std::string Heard(double level) const {
    const KitProgram& p = *m_result.program;
    long rest = std::lround(level);
    if (rest == 0) return "-";
    for (size_t i = 0; i < p.samples.size(); ++i)
      if (rest == KitPlayer::Level(i)) return fs::path(p.samples[i].strPath).filename().string();
    return "?" + std::to_string(rest);
  }

  // The files hits of note play, one hit at a time, each heard alone.
  std::vector<std::string> Hits(int note, int count, int velocity = 100) {
    std::vector<std::string> heard;
    for (int i = 0; i < count; ++i) {
      heard.push_back(Heard(Unpanned(RawLevel(note, velocity))));
      m_player->Quiet();
    }
    return heard;
  }

  // The level of a hit with every gain but the choice taken out: a kit
  // whose regions are at unity with CC 7 at 127.
  double RawLevel(int note, int velocity) { return m_player->Hit(note, velocity).first; }

  bool Warned(const std::string& text) const {
    for (const std::string& w : m_result.program->warnings)
      if (w.find(text) != std::string::npos) return true;
    return false;
  }

  TempDir m_dir;
  KitProgramResult m_result;
  std::unique_ptr<KitPlayer> m_player;
};

// A control header that takes sfizz's default gains out: CC 7 and 11 at
// full, no velocity response, pan as given.
const std::string kUnity = "<control> set_cc7=127\n<global> amp_veltrack=0 loop_mode=one_shot\n";

TEST_F(SfzProgramTest, OpcodesInheritFromGlobalMasterAndGroupAndANewGroupForgets) {
  Kit(kUnity +
          "<master> volume=-6 output=2\n"
          "<group> key=40 amplitude=50\n"
          "<region> sample=a.wav\n"
          "<region> sample=b.wav key=41 volume=0\n"
          "<group> key=42\n"
          "<region> sample=c.wav\n",
      {"a.wav", "b.wav", "c.wav"});
  const KitProgram& p = Compile();
  EXPECT_EQ(p.notes[41].sets.at(0).regions.at(0).nOutput, 2);  // the master's output pair
  KitPlayer& player = Play();
  EXPECT_NEAR(Db(Unpanned(player.Hit(40).first) / KitPlayer::Level(0)), -6 + Db(0.5), 0.01);
  player.Quiet();
  EXPECT_NEAR(Db(Unpanned(player.Hit(41).first) / KitPlayer::Level(1)), Db(0.5), 0.01);
  player.Quiet();
  EXPECT_NEAR(Db(Unpanned(player.Hit(42).first) / KitPlayer::Level(2)), -6, 0.01);
}

TEST_F(SfzProgramTest, IncludeAndDefineComeFromTheTopFilesFolder) {
  Kit("#define $SNARE 38\n<control> default_path=samples/\n#include \"parts/snare.sfz\"\n",
      {"samples/snare.wav"});
  fs::create_directories(Path("parts"));
  WriteTextFile(Path("parts/snare.sfz"), "<region> key=$SNARE sample=snare.wav\n");
  const KitProgram& p = Compile();
  ASSERT_EQ(p.samples.size(), 1u);
  EXPECT_EQ(fs::path(p.samples[0].strPath).filename(), "snare.wav");
  EXPECT_EQ(p.notes[38].sets.at(0).regions.size(), 1u);
  EXPECT_EQ(p.notes[38].strName, "snare.wav");
}

TEST_F(SfzProgramTest, RoundRobinFollowsTheSequenceOverCyclesAndLayersShareTheCount) {
  // A cycle of four turns over three files, and two velocity layers on one
  // key: sfizz counts every note-on of the key, whatever its velocity.
  Kit(kUnity +
          "<group> key=38 seq_length=4 hivel=80\n"
          "<region> seq_position=1 sample=a.wav\n<region> seq_position=2 sample=b.wav\n"
          "<region> seq_position=3 sample=a.wav\n<region> seq_position=4 sample=c.wav\n"
          "<group> key=38 seq_length=2 lovel=81\n"
          "<region> seq_position=1 sample=hard1.wav\n<region> seq_position=2 sample=hard2.wav\n",
      {"a.wav", "b.wav", "c.wav", "hard1.wav", "hard2.wav"});
  Compile();
  Play();
  EXPECT_EQ(Hits(38, 12, 60),
            (std::vector<std::string>{"a.wav", "b.wav", "a.wav", "c.wav", "a.wav", "b.wav", "a.wav",
                                      "c.wav", "a.wav", "b.wav", "a.wav", "c.wav"}));
  // Turn 12 (even) hard, 13 soft (position 2), 14 hard, 15 soft (position 4).
  EXPECT_EQ(Hits(38, 1, 120), std::vector<std::string>{"hard1.wav"});
  EXPECT_EQ(Hits(38, 1, 60), std::vector<std::string>{"b.wav"});
  EXPECT_EQ(Hits(38, 1, 120), std::vector<std::string>{"hard1.wav"});
  EXPECT_EQ(Hits(38, 1, 60), std::vector<std::string>{"c.wav"});
}

TEST_F(SfzProgramTest, RandomRangesShareOneValuePerHitAndRepeatWithTheSeed) {
  Kit(kUnity +
          "<group> key=40\n"
          "<region> hirand=0.25 sample=a.wav\n<region> lorand=0.25 hirand=0.75 sample=b.wav\n"
          "<region> lorand=0.75 sample=c.wav\n",
      {"a.wav", "b.wav", "c.wav"});
  Compile();
  Play(5);
  const std::vector<std::string> first = Hits(40, 200);
  Play(5);
  EXPECT_EQ(Hits(40, 200), first);
  Play(6);
  EXPECT_NE(Hits(40, 200), first);
  std::map<std::string, int> count;
  for (const std::string& f : first) ++count[f];
  ASSERT_EQ(count.size(), 3u) << "exactly one region each hit";
  EXPECT_NEAR(count["b.wav"], 100, 25);
  EXPECT_NEAR(count["a.wav"], 50, 20);
}

TEST_F(SfzProgramTest, VelocityCurvesAndVeltrackGiveSfizzsLevelsInDb) {
  Kit("<control> set_cc7=127\n<global> loop_mode=one_shot\n"
      "<region> key=40 sample=a.wav\n"
      "<region> key=41 amp_veltrack=50 sample=a.wav\n"
      "<region> key=42 amp_velcurve_64=0.8 sample=a.wav\n"
      "<region> key=43 amp_veltrack=-100 sample=a.wav\n",
      {"a.wav"});
  Compile();
  KitPlayer& player = Play();
  const auto db = [&](int note, int velocity) {
    const double level = Unpanned(player.Hit(note, velocity).first);
    player.Quiet();
    return Db(level / KitPlayer::Level(0));
  };
  const double v64 = 64.0 / 127.0;
  EXPECT_NEAR(db(40, 127), 0, 0.01);
  EXPECT_NEAR(db(40, 64), Db(v64 * v64), 0.01);  // the square law: about -11.9 dB
  EXPECT_NEAR(db(41, 64), Db(1 - 0.5 * (1 - v64 * v64)), 0.01);
  EXPECT_NEAR(db(42, 64), Db(0.8), 0.01);
  EXPECT_NEAR(db(42, 32), Db(0.4), 0.01);  // drawn straight from 0 at velocity 0
  EXPECT_NEAR(db(42, 96), Db(0.8 + 0.2 * 32 / 63.0), 0.01);
  EXPECT_NEAR(db(43, 100), Db(1 - (100 / 127.0) * (100 / 127.0)), 0.01);
}

TEST_F(SfzProgramTest, VolumeStartsAt100AndFollowsController7UnlessTheKitUsesIt) {
  Kit("<global> amp_veltrack=0 loop_mode=one_shot\n<region> key=40 sample=a.wav\n", {"a.wav"});
  Compile();
  KitPlayer& player = Play();
  const double start = Unpanned(player.Hit(40).first);
  EXPECT_NEAR(Db(start / KitPlayer::Level(0)), Db(kVolume100), 0.01);  // about -4.1 dB
  player.Quiet();
  player.Send(0xB0, 7, 127);
  EXPECT_NEAR(Unpanned(player.Hit(40).first), KitPlayer::Level(0), 0.05);

  // A kit that uses CC 7 itself gets no channel volume.
  Kit("<global> amp_veltrack=0 loop_mode=one_shot\n<region> key=40 sample=a.wav "
      "volume_oncc7=-6\n",
      {"a.wav"});
  Compile();
  KitPlayer& own = Play();
  own.Send(0xB0, 7, 0);
  EXPECT_NEAR(Unpanned(own.Hit(40).first), KitPlayer::Level(0), 0.05);
  own.Quiet();
  own.Send(0xB0, 7, 127);
  EXPECT_NEAR(Db(Unpanned(own.Hit(40).first) / KitPlayer::Level(0)), -6, 0.01);
}

TEST_F(SfzProgramTest, PanFollowsSfizzsLawAndController10) {
  Kit(kUnity +
          "<region> key=40 pan=-100 sample=a.wav\n<region> key=41 pan=30 sample=a.wav\n"
          "<region> key=42 pan_oncc20=100 sample=a.wav\n",
      {"a.wav"});
  Compile();
  KitPlayer& player = Play();
  const double level = KitPlayer::Level(0) * kMakeUp;
  auto [left, right] = player.Hit(40);
  // Hard left, moved by CC 10's 64 a hair towards the middle.
  EXPECT_NEAR(left, level * SfizzPan(-1 + kPan64).first, 0.05);
  EXPECT_NEAR(right, level * SfizzPan(-1 + kPan64).second, 0.05);
  EXPECT_LT(right, 0.01 * left);
  player.Quiet();
  std::tie(left, right) = player.Hit(41);
  EXPECT_NEAR(Db(left / right), Db(SfizzPan(0.3 + kPan64).first / SfizzPan(0.3 + kPan64).second),
              0.01);
  player.Quiet();
  // A kit that names another pan controller: CC 10 no longer pans it.
  player.Send(0xB0, 20, 127);
  std::tie(left, right) = player.Hit(42);
  EXPECT_NEAR(left, level * SfizzPan(1.0).first, 0.05);
  EXPECT_NEAR(right, level * SfizzPan(1.0).second, 0.05);
}

TEST_F(SfzProgramTest, AHiHatOnOneKeyFollowsCc4AndThePedalKeyChokesIt) {
  Kit(kUnity +
          "<group> group=1 off_by=1\n"
          "<region> key=42 locc4=100 hicc4=127 sample=closed.wav\n"
          "<region> key=42 locc4=40 hicc4=99 sample=half.wav\n"
          "<region> key=42 locc4=0 hicc4=39 sample=open.wav\n"
          "<region> key=44 sample=pedal.wav\n",
      {"closed.wav", "half.wav", "open.wav", "pedal.wav"});
  Compile();
  KitPlayer& player = Play();
  const auto left = [&](int note) { return Unpanned(player.Hit(note).first); };
  const double open = KitPlayer::Level(2), half = KitPlayer::Level(1), closed = KitPlayer::Level(0),
               pedal = KitPlayer::Level(3);
  EXPECT_NEAR(left(42), open, 0.05);  // controllers start at 0
  // Another open hit while the pedal stays open: sfizz keeps the last one.
  EXPECT_NEAR(left(42), 2 * open, 0.05);
  player.Send(0xB0, 4, 60);
  player.Hit(42);  // half open: the open hits are choked (fast: 1 ms)
  player.LeftLevels(100);
  EXPECT_NEAR(Unpanned(player.Read().first), half, 0.05);
  player.Send(0xB0, 4, 127);
  player.Hit(42);
  player.LeftLevels(100);
  EXPECT_NEAR(Unpanned(player.Read().first), closed, 0.05);
  player.Quiet();
  player.Send(0xB0, 4, 0);
  player.Hit(42);
  player.Hit(44);  // the pedal key chokes the open hi-hat
  player.LeftLevels(100);
  EXPECT_NEAR(Unpanned(player.Read().first), pedal, 0.05);
}

TEST_F(SfzProgramTest, AnOffByChokeFadesOverOffTime) {
  Kit(kUnity +
          "<region> key=49 group=2 off_by=3 off_time=0.06 sample=crash.wav\n"
          "<region> key=50 group=3 sample=*silence\n"
          "<region> key=51 group=3 end=-1 sample=crash.wav\n",
      {"crash.wav"});
  const KitProgram& p = Compile();
  EXPECT_EQ(p.notes[50].sets.at(0).regions.at(0).nSample, KitRegion::kNoSample);
  EXPECT_EQ(p.notes[51].sets.at(0).regions.at(0).nSample, KitRegion::kNoSample);
  KitPlayer& player = Play();
  const double crash = Unpanned(player.Hit(49).first);
  EXPECT_NEAR(crash, KitPlayer::Level(0), 0.05);
  EXPECT_NEAR(Unpanned(player.Hit(50).first), crash, 0.05);  // group 3 stops nothing of its own
  player.Quiet();
  player.Hit(49);
  // sfizz falls to -78 dB over off_time; the straight fade of a sixth of it
  // (10 ms, 441 frames) carries the same energy.
  player.Send(0x90, 51, 100);
  const auto levels = player.LeftLevels(600);
  EXPECT_NEAR(Unpanned(levels[220]), crash * 221.0 / 441.0, 3);
  EXPECT_GT(levels[430], 0);
  EXPECT_NEAR(levels[445], 0, 0.01);
}

TEST_F(SfzProgramTest, ControllersAndPressureStartTheirRegions) {
  // As in sfizz: hikey=-1 keeps a controller's region off the keys; the grab
  // waits for the note-off (trigger=release), or the crash's own hit would start it.
  Kit(kUnity +
          "<region> hikey=-1 on_locc64=64 on_hicc64=127 sample=chick.wav\n"
          "<region> key=49 group=4 off_by=5 sample=crash.wav\n"
          "<region> key=49 on_locc130=1 on_hicc130=127 trigger=release group=5 "
          "sample=*silence\n"
          "<region> key=50 on_locc1=100 on_hicc1=127 sample=crash.wav\n",
      {"chick.wav", "crash.wav"});
  const KitProgram& p = Compile();
  EXPECT_TRUE(p.notes[60].sets.empty());   // off the keys
  EXPECT_FALSE(p.notes[50].sets.empty());  // a controller and its key start it
  KitPlayer& player = Play();
  player.Send(0xB0, 64, 30);
  EXPECT_NEAR(player.Read().first, 0, 0.01);
  player.Send(0xB0, 64, 100);
  EXPECT_NEAR(Unpanned(player.Read().first), KitPlayer::Level(0), 0.05);
  player.Quiet();
  player.Send(0xB0, 64, 100);  // no movement, no start
  EXPECT_NEAR(player.Read().first, 0, 0.01);
  player.Send(0xB0, 64, 110);  // a move within the range starts it again, as in sfizz
  EXPECT_NEAR(Unpanned(player.Read().first), KitPlayer::Level(0), 0.05);
  player.Quiet();
  // The crash plays on (its own note does not start the grab), until grabbed.
  const double crash = Unpanned(player.Hit(49).first);
  EXPECT_NEAR(crash, KitPlayer::Level(1), 0.05);
  player.Send(0xA0, 49, 90);
  player.LeftLevels(100);
  EXPECT_NEAR(player.Read().first, 0, 0.01);
  // sfizz starts the release-triggered grab at the note-off too: it chokes.
  player.Hit(49);
  player.Send(0x80, 49, 0);
  player.LeftLevels(100);
  EXPECT_NEAR(player.Read().first, 0, 0.01);
  EXPECT_NEAR(Unpanned(player.Hit(50).first), KitPlayer::Level(1), 0.05);
}

TEST_F(SfzProgramTest, ReleaseRegionsPlayAtTheNoteOnsVelocityAndNoLoopStopsAtNoteOff) {
  Kit("<control> set_cc7=127\n"
      "<region> key=40 sample=a.wav\n"
      "<region> key=40 trigger=release_key amp_veltrack=0 sample=r.wav\n"
      "<region> key=41 loop_mode=one_shot sample=a.wav\n",
      {"a.wav", "r.wav"});
  Compile();
  KitPlayer& player = Play();
  EXPECT_NEAR(Unpanned(player.Hit(40, 127).first), KitPlayer::Level(0), 0.05);
  player.Send(0x80, 40, 0);  // no_loop: released (6 ms, a 1 ms fade), and r.wav starts
  player.LeftLevels(100);
  EXPECT_NEAR(Unpanned(player.Read().first), KitPlayer::Level(1), 0.05);
  player.Quiet();
  player.Hit(41);
  player.Send(0x80, 41, 0);  // one_shot rings on
  player.LeftLevels(100);
  EXPECT_NEAR(Unpanned(player.Read().first), KitPlayer::Level(0) * (100 / 127.0) * (100 / 127.0),
              0.05);
}

TEST_F(SfzProgramTest, PitchFollowsTheKeycenterTransposeAndTuneOneSampleAPitch) {
  Kit("<region> lokey=40 hikey=42 pitch_keycenter=41 transpose=1 tune=50 sample=a.wav\n"
      "<region> lokey=50 hikey=52 pitch_keytrack=0 sample=b.wav\n",
      {"a.wav", "b.wav"});
  const KitProgram& p = Compile();
  const auto pitch = [&](int note) {
    return p.samples.at(p.notes[note].sets.at(0).regions.at(0).nSample).fPitch;
  };
  EXPECT_FLOAT_EQ(pitch(40), 0.5f);
  EXPECT_FLOAT_EQ(pitch(41), 1.5f);
  EXPECT_FLOAT_EQ(pitch(42), 2.5f);
  EXPECT_FLOAT_EQ(pitch(50), 0.0f);
  EXPECT_EQ(p.samples.size(), 4u);  // b.wav once for its three keys
}

TEST_F(SfzProgramTest, NoteNamesLabelsAndCaseInsensitiveFiles) {
  Kit("<control> label_key49=Crash\n"
      "<region> key=c#4 sample=Cymbals\\CRASH.WAV\n"
      "<region> key=f#2 sample=hats/Closed.wav\n"
      "<region> key=49 sample=hats/closed.wav\n",
      {"cymbals/crash.wav", "hats/closed.wav"});
  const KitProgram& p = Compile();
  ASSERT_FALSE(p.notes[61].sets.empty());
  EXPECT_EQ(p.notes[61].strName, "crash.wav");  // the file on disk
  EXPECT_EQ(p.notes[42].strName, "closed.wav");
  EXPECT_EQ(p.notes[49].strName, "Crash");
}

TEST_F(SfzProgramTest, RecognisedByContentAndAKitThatPlaysNothingIsRefused) {
  Kit("// a drum kit\n<region> key=40 sample=a.wav\n", {"a.wav"}, "kit.txt");
  EXPECT_TRUE(PlaysAsKitProgram(Path("kit.txt")));
  WriteTextFile(Path("notes.txt"), "region key=40\n");
  EXPECT_FALSE(PlaysAsKitProgram(Path("notes.txt")));
  Kit("<region> key=40 lovel=100 hivel=20 sample=a.wav\n<region> key=41 sample=*silence\n",
      {"a.wav"}, "empty.sfz");
  const KitProgramResult r = ReadKitProgram(Path("empty.sfz"));
  EXPECT_FALSE(r.program);
  EXPECT_NE(r.strError.find("empty.sfz"), std::string::npos) << r.strError;
  EXPECT_NE(r.strError.find("no region"), std::string::npos) << r.strError;
}

TEST_F(SfzProgramTest, UnknownOpcodesAreNamedOncePerKitAndTheKitPlays) {
  Kit("<region> key=40 fil_type=lpf_2p cutoff=500 sample=a.wav\n"
      "<region> key=41 cutoff=800 sample=a.wav ampeg_attack=0.1\n"
      "<region> key=42 sample=missing.wav\n",
      {"a.wav"});
  const KitProgram& p = Compile();
  int named = 0;
  for (const std::string& w : p.warnings) named += w.find("cutoff (2x)") != std::string::npos;
  EXPECT_EQ(named, 1);
  EXPECT_TRUE(Warned("fil_type"));
  EXPECT_TRUE(Warned("missing.wav"));  // the reader's message comes along
  EXPECT_TRUE(Warned("kit.sfz:2: the amplitude envelope"));
  EXPECT_FALSE(p.notes[40].sets.empty());
}

}  // namespace
}  // namespace thumper::test
