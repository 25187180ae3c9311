#pragma once
// The playing model: what the note trigger reads for every kit, whatever its
// source. Per MIDI note, any number of regions in selection sets; a region is a
// voice with the conditions under which it sounds (velocity, controllers), how
// loud and where (gain, velocity response, pan), from where (start frame), what
// it chokes and what a note-off does to it.
//
// Built on the control thread and then never changed: the trigger sees it
// through one atomic pointer (inside a TriggerState), and it is retired through
// the Reclaimer like the state. The only thing that moves while it plays is
// each selection set's cursor (round robin, last choice) and the random
// generator, all lock-free atomics, set back to their start with every kit load.
//
// Pitch is not a region's property here: a kit source resamples a pitched
// sample when it makes the voice, so playing costs nothing more.

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace thumper {

class SampleVoice;

// How a selection set picks among its regions whose conditions hold.
enum class Selection : uint8_t {
  All,             // every one sounds (velocity layers that do not overlap, multi-mic kits)
  First,           // the first in order (velocity selection)
  RoundRobin,      // each in turn, one per note-on of the set
  Random,          // one at random
  RandomNoRepeat,  // one at random, never the last choice while another is there
  Loudness,        // the one whose loudness lies nearest the velocity's, with chance
};

// How a region's level follows the note.
enum class GainLaw : uint8_t {
  // The drum sets' law: an attenuation of nVolume hundredths of a decibel
  // scaled by velocity and channel volume in integer steps (NoteAttenuation).
  Attenuation,
  // fGain times (velocity / 127) ^ fVelocityPower times (channel volume / 127) ^ 2.
  Linear,
  // fGain times m_curve[nVelocityCurve][velocity], times and plus what its
  // controller modulations add at the note's start; the channel volume only
  // where a modulation names controller 7 (SFZ kits).
  Curve,
};

enum class NoteOffRule : uint8_t { Ignore, Stop };

// A condition on a controller's last value: nLow <= value <= nHigh.
struct ControllerRange {
  static constexpr uint8_t kPolyPressure = 128;  // the note's polyphonic aftertouch
  uint8_t nController = 0;                       // 0..127, or kPolyPressure
  uint8_t nLow = 0;
  uint8_t nHigh = 127;
};

// What a controller does to a region (GainLaw::Curve) at the start of a note:
// with c = m_curve[nCurve][the controller's value], the gain is multiplied by
// fDepth * c (Amplitude), the level raised by fDepth * c dB (Volume), or the
// pan (-1 left .. 1 right) moved by fDepth * c (Pan).
struct Modulation {
  enum class Target : uint8_t { Amplitude, Volume, Pan };
  Target target = Target::Amplitude;
  uint8_t nController = 0;  // 0..127, or ControllerRange::kPolyPressure
  uint16_t nCurve = 0;
  float fDepth = 0.0f;
};

// What a note-on reads first comes first, within one cache line.
struct PlayRegion {
  SampleVoice* pVoice = nullptr;  // null: a region that only chokes (it sounds nothing)
  uint8_t nVelocityLow = 1;
  uint8_t nVelocityHigh = 127;
  GainLaw gainLaw = GainLaw::Linear;
  NoteOffRule noteOff = NoteOffRule::Ignore;
  // Conditions: m_condition[nFirstCondition .. + nConditionCount).
  uint32_t nConditionCount = 0;
  uint32_t nFirstCondition = 0;
  int32_t nVolume = 0;  // GainLaw::Attenuation
  float fGain = 1.0f;   // GainLaw::Linear
  float fVelocityPower = 1.0f;
  // The pan's gains, left and right (1, 1: as recorded).
  float fPanLeft = 1.0f;
  float fPanRight = 1.0f;
  uint32_t nStartFrame = 0;
  // The choke groups it stops once started: m_stop[nFirstStop .. + nStopCount),
  // with a fade of nChokeFadeFrames (0: the mixer's 2 ms).
  uint32_t nStopCount = 0;
  uint32_t nFirstStop = 0;
  uint32_t nChokeFadeFrames = 0;
  uint32_t nReleaseFadeFrames = 0;  // NoteOffRule::Stop
  float fLoudness = 0.0f;           // Selection::Loudness: the sample's power, any scale
  uint8_t nOutput = 0;              // the output pair it plays on (0 the main one)
  // The choke groups it stops before any region of its note starts (same fade):
  // m_stop[nFirstPreStop .. + nPreStopCount). A retriggered instrument cuts
  // its last hit this way without cutting the new one.
  uint32_t nPreStopCount = 0;
  uint32_t nFirstPreStop = 0;
  // Stereo width of a stereo sample: 1 as recorded, 0 summed to the middle, -1 swapped.
  float fWidth = 1.0f;

  // Checks beyond velocity and controllers (kCheck* bits); 0 for most regions.
  static constexpr uint8_t kCheckSequence = 1, kCheckRandom = 2;
  uint8_t nChecks = 0;
  // kCheckSequence: sounds when the note's sequence counter nSequence (an
  // index into its PlayNote's counters) stands at nSequencePosition modulo
  // nSequenceLength, as it stood before this note-on advanced it.
  uint8_t nSequence = 0;
  uint8_t nSequenceLength = 1;
  uint8_t nSequencePosition = 0;  // 0-based
  // kCheckRandom: sounds when the note-on's random value r (one for all its
  // regions, in [0, 1)) lies in [fRandomLow, fRandomHigh).
  float fRandomLow = 0.0f;
  float fRandomHigh = 1.0f;
  // GainLaw::Curve: the velocity curve, and m_modulation[nFirstModulation ..
  // + nModulationCount). With a Pan modulation the pan gains are worked out
  // at the start from fPan (-1 .. 1) by the SFZ players' law, times fPanScale.
  uint16_t nVelocityCurve = 0;
  bool bPanModulated = false;
  uint32_t nFirstModulation = 0;
  uint32_t nModulationCount = 0;
  float fPan = 0.0f;
  float fPanScale = 1.0f;
};

struct PlaySet {
  uint32_t nFirstRegion = 0;
  uint32_t nRegionCount = 0;
  Selection selection = Selection::All;
};

// The voices a choke group stops: m_groupVoice[nFirstVoice .. + nVoiceCount).
struct ChokeGroup {
  // In m_stop: a stop that spares the group while its conditions hold (a
  // hi-hat hit that keeps its own last hit while the pedal still allows it).
  static constexpr uint32_t kSpareWhileHeld = 0x80000000u;
  uint32_t nFirstVoice = 0;
  uint32_t nVoiceCount = 0;
  // The fade its voices stop with; -1: the stopping region's.
  int32_t nFadeFrames = -1;
  // The conditions a kSpareWhileHeld stop weighs: m_condition[nFirstCondition .. +
  // nConditionCount).
  uint32_t nFirstCondition = 0;
  uint32_t nConditionCount = 0;
};

// The sets a controller starts when it moves (to a value it did not have):
// m_set[nFirstSet .. + nSetCount), their regions' conditions weighed with the new value.
struct ControllerTrigger {
  uint32_t nFirstSet = 0;
  uint32_t nSetCount = 0;
};

struct PlayNote {
  uint32_t nFirstSet = 0;
  uint32_t nSetCount = 0;
  // What the keyboard panels draw: the key, and the velocity cell (VelocityLayer
  // of these four thresholds).
  uint8_t nShowSlot = 0;
  std::array<int32_t, 4> nCellThreshold{127, 127, 127, 127};
  // Any region may stop on note-off (the trigger skips the note-off otherwise).
  bool bStopsOnNoteOff = false;
  // A note-on draws one random value for its regions' kCheckRandom.
  bool bRandom = false;
  // The sequence counters its note-ons advance: m_noteSequence[nFirstSequence .. + nSequenceCount).
  uint8_t nSequenceCount = 0;
  uint32_t nFirstSequence = 0;
  // Sets its note-off starts, at the velocity of its last note-on:
  // m_set[nFirstReleaseSet .. + nReleaseSetCount).
  uint32_t nFirstReleaseSet = 0;
  uint32_t nReleaseSetCount = 0;
  // Sets its polyphonic aftertouch starts (a cymbal grabbed), conditions
  // weighed with the new pressure: m_set[nFirstPressureSet .. + nPressureSetCount).
  uint32_t nFirstPressureSet = 0;
  uint32_t nPressureSetCount = 0;
  // Its samples are still loading: it plays nothing yet, and its hits are counted.
  bool bLoading = false;
};

// A selection set's moving part.
struct SetCursor {
  std::atomic<uint32_t> nTurn{0};
  std::atomic<int32_t> nLast{-1};
};

struct PlayProgram {
  static constexpr int kNoteCount = 128;
  // The most regions a note-on weighs in one set, so its work stays bounded.
  static constexpr uint32_t kMaxSetRegions = 1024;
  static constexpr uint32_t kMaxNoteSequences = 8;
  static constexpr int kCurvePoints = 128;
  using Curve = std::array<float, kCurvePoints>;

  std::array<PlayNote, kNoteCount> m_note{};
  std::vector<PlaySet> m_set;
  std::vector<PlayRegion> m_region;
  std::vector<ControllerRange> m_condition;
  std::vector<uint32_t> m_stop;  // choke group indices
  std::vector<ChokeGroup> m_group;
  std::vector<SampleVoice*> m_groupVoice;
  // One per set, in m_set's order.
  std::unique_ptr<SetCursor[]> m_pCursor;
  // The random generator's state (a counter that splitmix64 mixes), seeded once.
  mutable std::atomic<uint64_t> m_nRandom{0};

  // Curves by index (velocity curves, controller curves), 128 points each.
  std::vector<Curve> m_curve;
  std::vector<Modulation> m_modulation;
  // Sequence counters: m_nSequenceCount of them, made by Finish; the notes
  // name theirs in m_noteSequence.
  uint32_t m_nSequenceCount = 0;
  std::vector<uint32_t> m_noteSequence;
  std::unique_ptr<std::atomic<uint32_t>[]> m_pSequence;
  // Per controller, the sets its movement starts.
  std::array<ControllerTrigger, 128> m_controllerTrigger{};
  bool m_bControllerTriggers = false;
  // The controllers' values when the kit starts playing (an SFZ kit's
  // set_ccN, its player's defaults): set on every channel when the state is
  // published. Without them the controllers keep their values.
  bool m_bStartControllers = false;
  std::array<uint8_t, 128> m_nStartController{};

  PlayProgram() = default;
  PlayProgram(const PlayProgram&) = delete;
  PlayProgram& operator=(const PlayProgram&) = delete;

  // Control thread, once every set is in: makes the cursors and sequence
  // counters and seeds the generator.
  void Finish(uint64_t seed);
  // Real-time safe, any thread: the next random number.
  uint64_t NextRandom() const noexcept;
  SetCursor& Cursor(uint32_t set) const noexcept { return m_pCursor[set]; }
  std::atomic<uint32_t>& Sequence(uint32_t counter) const noexcept { return m_pSequence[counter]; }
};

// Real-time safe: the gains of the left and right channel for pan (-1 left ..
// 1 right, clamped) by the SFZ players' law (sfizz's): a quarter-circle
// (cos and sin of 0 .. pi/2) looked up as sfizz's 4,095-point table rounds it.
// The centre gives cos(pi/4) to each side; a kit compiler adds the players'
// make-up gain.
void SfzPanGains(float pan, float& left, float& right) noexcept;

// Control thread. A check of a program built by hand (tests, kit sources): every
// index in range, no set larger than kMaxSetRegions.
bool IsWellFormed(const PlayProgram& program);

}  // namespace thumper
