#pragma once
// An SFZ kit read and resolved: every region with the opcodes it inherits
// from <global>, <master> and <group> already applied, its sample found on
// disk, SFZ's defaults where the kit says nothing. Plain values only; the
// playing model is made from it elsewhere.

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace thumper {

// Controllers 0-127 as MIDI has them, then SFZ's extended ones (128 pitch
// bend, 129 channel aftertouch, 130 polyphonic aftertouch, ...).
constexpr int kSfzControllerCount = 512;

struct SfzPlace {
  std::string strFile;
  int nLine = 0;
};

enum class SfzTrigger { Attack, Release, ReleaseKey, First, Legato };
enum class SfzOffMode { Fast, Normal, Time };
enum class SfzLoopMode { Unset, NoLoop, OneShot, LoopContinuous, LoopSustain };

// loccN/hiccN (a condition) or on_loccN/on_hiccN (a trigger), in 0-127.
struct SfzCcRange {
  int nCc = 0;
  int nLo = 0;
  int nHi = 127;
};

// amplitude_onccN (percent), volume_onccN (dB) or pan_onccN (percent), with
// the curve the controller goes through (the *_curveccN opcodes; 0 is linear).
struct SfzCcModulation {
  int nCc = 0;
  float fDepth = 0;
  int nCurve = 0;
};

struct SfzRegion {
  std::string strSample;      // as the kit gives it, default_path in front
  std::string strSamplePath;  // the file found on disk (empty for a generator)
  bool bSilence = false;      // sample=*silence: plays nothing, may still choke

  // Mapping
  int nLoKey = 0, nHiKey = 127;
  int nPitchKeycenter = 60;
  int nLoVel = 0, nHiVel = 127;
  int nSeqLength = 1, nSeqPosition = 1;
  float fLoRand = 0, fHiRand = 1;
  std::vector<SfzCcRange> ccConditions;
  std::vector<SfzCcRange> ccTriggers;
  SfzTrigger trigger = SfzTrigger::Attack;
  // False after key=-1 or hikey=-1: no note starts it (a controller may).
  bool bTriggerOnNote = true;

  // Chokes and voices
  int64_t nGroup = 0;
  std::optional<int64_t> nOffBy;
  SfzOffMode offMode = SfzOffMode::Fast;
  float fOffTime = 0.006f;      // seconds, for off_mode=time
  float fOffShape = -10.3616f;  // curvature of that fade
  std::optional<int> nPolyphony;
  std::optional<int> nNotePolyphony;
  SfzLoopMode loopMode = SfzLoopMode::Unset;
  std::optional<int64_t> nEnd;  // in frames; -1 (or not past offset) plays nothing
  int64_t nOffset = 0;

  // Level and dynamics
  float fVolume = 0;                               // dB
  float fAmplitude = 100;                          // percent
  float fPan = 0;                                  // -100 (left) to 100 (right)
  float fWidth = 100;                              // percent
  float fAmpVeltrack = 100;                        // percent
  std::vector<std::pair<int, float>> ampVelcurve;  // amp_velcurve_N points, by velocity
  float fAmpegDelay = 0, fAmpegAttack = 0, fAmpegHold = 0, fAmpegDecay = 0;
  float fAmpegSustain = 100;  // percent
  float fAmpegRelease = 0.001f;
  int nTranspose = 0;
  float fTune = 0;             // cents
  float fPitchKeytrack = 100;  // cents per key away from pitch_keycenter

  // Controls
  std::vector<SfzCcModulation> amplitudeCc, volumeCc, panCc;

  int nOutput = 0;
  SfzPlace place;  // where the <region> header stands

  // A region that only chokes: *silence, or an end before its first frame.
  bool PlaysNothing() const { return bSilence || (nEnd && *nEnd <= nOffset); }
};

// A <curve>: 128 points from controller value 0 to 127, the ones the kit
// leaves out drawn straight between the ones it gives.
struct SfzCurve {
  int nIndex = 0;
  std::array<float, 128> points{};
};

struct SfzKit {
  std::string strPath;    // the top .sfz file
  std::string strFolder;  // its folder: includes and samples are found from here
  std::vector<SfzRegion> regions;
  std::vector<SfzCurve> curves;
  std::map<int, float> ccDefaults;  // set_ccN / set_hdccN, as 0-1
  std::map<int, std::string> ccLabels;
  std::map<int, std::string> keyLabels;
  // Opcodes the reader does not know, with how often the kit names them.
  std::map<std::string, int> unknownOpcodes;
  // Headers it does not know (their opcodes are skipped).
  std::map<std::string, int> unknownHeaders;
};

}  // namespace thumper
