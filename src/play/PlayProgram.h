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
};

enum class NoteOffRule : uint8_t { Ignore, Stop };

// A condition on a controller's last value: nLow <= value <= nHigh.
struct ControllerRange {
  static constexpr uint8_t kPolyPressure = 128;  // the note's polyphonic aftertouch
  uint8_t nController = 0;                       // 0..127, or kPolyPressure
  uint8_t nLow = 0;
  uint8_t nHigh = 127;
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
};

struct PlaySet {
  uint32_t nFirstRegion = 0;
  uint32_t nRegionCount = 0;
  Selection selection = Selection::All;
};

// The voices a choke group stops: m_groupVoice[nFirstVoice .. + nVoiceCount).
struct ChokeGroup {
  uint32_t nFirstVoice = 0;
  uint32_t nVoiceCount = 0;
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

  PlayProgram() = default;
  PlayProgram(const PlayProgram&) = delete;
  PlayProgram& operator=(const PlayProgram&) = delete;

  // Control thread, once every set is in: makes the cursors and seeds the generator.
  void Finish(uint64_t seed);
  // Real-time safe, any thread: the next random number.
  uint64_t NextRandom() const noexcept;
  SetCursor& Cursor(uint32_t set) const noexcept { return m_pCursor[set]; }
};

// Control thread. A check of a program built by hand (tests, kit sources): every
// index in range, no set larger than kMaxSetRegions.
bool IsWellFormed(const PlayProgram& program);

}  // namespace thumper
