#pragma once
// A kit as the playing model plays it, before any sample is loaded: the
// notes, selection sets and regions of a PlayProgram, but each region names a
// sample file (with the pitch it is resampled to at load) and times are in
// seconds, so one description serves any mixer rate. Kit sources (Hydrogen
// kits, SFZ files) make one; the loader decodes its samples on all cores and
// builds the PlayProgram the trigger reads. Control thread; plain values.

#include <array>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "play/PlayProgram.h"

namespace thumper {

// One sample as a voice holds it: a file, resampled at load by a pitch.
// Two regions that name the same file at the same pitch share one entry.
struct KitSample {
  std::string strPath;  // absolute
  float fPitch = 0.0f;  // semitones up (negative: down); 0 plays the file as recorded
};

struct KitRegion {
  static constexpr uint32_t kNoSample = std::numeric_limits<uint32_t>::max();

  // Index into KitProgram::samples; kNoSample for a region that only chokes
  // (it sounds nothing, but its start still stops the groups it names).
  uint32_t nSample = kNoSample;
  uint8_t nVelocityLow = 1;
  uint8_t nVelocityHigh = 127;
  // Every one must hold for the region to sound.
  std::vector<ControllerRange> conditions;
  // Level: fGain times (velocity / 127) ^ fVelocityPower times (channel
  // volume / 127) ^ 2 (GainLaw::Linear).
  float fGain = 1.0f;
  float fVelocityPower = 1.0f;
  // Gains of the left and right channel (pan), already by the source's law.
  float fPanLeft = 1.0f;
  float fPanRight = 1.0f;
  // Stereo width of a stereo sample: 1 as recorded, 0 both channels summed
  // to the middle, -1 swapped.
  float fWidth = 1.0f;
  // Where playing starts, in frames of the file as recorded.
  uint64_t nStartFrame = 0;
  // The choke group whose stop silences this region's sample (-1: none), and
  // the groups its start stops, with the fade of that stop (0: the mixer's 2 ms).
  int32_t nChokeGroup = -1;
  std::vector<uint32_t> stopsGroups;
  float fChokeFadeSeconds = 0.0f;
  NoteOffRule noteOff = NoteOffRule::Ignore;
  float fReleaseFadeSeconds = 0.0f;
  float fLoudness = 0.0f;  // Selection::Loudness
  uint8_t nOutput = 0;     // output pair; 0 the main one
  // Groups stopped (with fChokeFadeSeconds) before any region of the note
  // starts: an instrument that cuts its own last hit names its own group here.
  // An entry with ChokeGroup::kSpareWhileHeld set spares its group while the
  // group's spareWhile conditions hold.
  std::vector<uint32_t> stopsGroupsFirst;

  // The SFZ level law (GainLaw::Curve) instead of GainLaw::Linear: fGain times
  // curves[nVelocityCurve][velocity], then the modulations at the note's start.
  bool bCurveLaw = false;
  uint16_t nVelocityCurve = 0;
  std::vector<Modulation> modulations;
  // With bPanModulated the pan gains are worked out at the start from fPan
  // (-1 .. 1, plus the Pan modulations) by SfzPanGains, times fPanScale;
  // otherwise fPanLeft and fPanRight hold.
  bool bPanModulated = false;
  float fPan = 0.0f;
  float fPanScale = 1.0f;
  // Sounds on the turn nSequencePosition (0-based) of nSequenceLength of its
  // note's sequence counter nSequence (an index into KitNote::sequences);
  // nSequenceLength 1: every turn.
  uint8_t nSequence = 0;
  uint8_t nSequenceLength = 1;
  uint8_t nSequencePosition = 0;
  // Sounds when its note-on's random value lies in [fRandomLow, fRandomHigh).
  float fRandomLow = 0.0f;
  float fRandomHigh = 1.0f;
};

// A choke group's own settings (KitProgram::groups).
struct KitGroup {
  float fFadeSeconds = -1.0f;  // its voices' fade when stopped; < 0: the stopper's
  // What a kSpareWhileHeld stop weighs (ChokeGroup::nFirstCondition ..).
  std::vector<ControllerRange> spareWhile;
};

struct KitSet {
  Selection selection = Selection::All;
  std::vector<KitRegion> regions;
};

struct KitNote {
  std::vector<KitSet> sets;
  // What the keys and the piano roll call this note ("Snare"); empty: unnamed.
  std::string strName;
  // What the keyboard panels light: the key, and the velocity cell (the
  // VelocityLayer of these four thresholds).
  uint8_t nShowSlot = 0;
  std::array<int32_t, 4> nCellThreshold{100, 80, 60, 40};
  // The sequence counters (indices below KitProgram::nSequenceCount, at most
  // PlayProgram::kMaxNoteSequences) its note-ons advance; its regions name
  // them by position here.
  std::vector<uint32_t> sequences;
  // Its note-on draws a random value (some region has a random range).
  bool bRandom = false;
  // Sets its note-off starts (at the note-on's velocity), and sets its
  // polyphonic aftertouch starts.
  std::vector<KitSet> releaseSets;
  std::vector<KitSet> pressureSets;
  // The General MIDI drum note it stands for (a Hydrogen instrument's
  // midiOutNote), kItself for the note itself (SFZ keys), kNone for none.
  static constexpr int kItself = -1;
  static constexpr int kNone = -2;
  int nGeneralMidiNote = kItself;
};

struct KitProgram {
  std::string strName;  // the kit's own name
  std::string strPath;  // the file or folder it was read from
  std::vector<KitSample> samples;
  std::array<KitNote, PlayProgram::kNoteCount> notes{};
  // Choke groups are numbered 0 .. nGroupCount - 1.
  uint32_t nGroupCount = 0;
  // Their own settings: empty, or nGroupCount entries.
  std::vector<KitGroup> groups;
  // Curves the regions and modulations name (PlayProgram::m_curve).
  std::vector<PlayProgram::Curve> curves;
  uint32_t nSequenceCount = 0;
  // Per controller, the sets its movement starts (PlayProgram::m_controllerTrigger).
  std::array<std::vector<KitSet>, 128> controllerTriggers;
  // The controllers' values when the kit starts (PlayProgram::m_nStartController).
  bool bStartControllers = false;
  std::array<uint8_t, 128> nStartController{};
  // What the kit holds that does not play, each said once ("file: what").
  std::vector<std::string> warnings;

  // The index of the sample for path at pitch, added when it is new.
  uint32_t SampleIndex(const std::string& path, float pitch = 0.0f);
  // samples by file and pitch (kept by SampleIndex).
  std::map<std::pair<std::string, float>, uint32_t> sampleByKey;
};

}  // namespace thumper
