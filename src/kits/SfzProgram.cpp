#include "kits/SfzProgram.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>
#include <tuple>

namespace thumper {

namespace {

constexpr int kPolyPressureCc = 130;  // SFZ's extended controller for polyphonic aftertouch
constexpr int kLastShowSlot = 91;     // the keyboard's last key
constexpr int kFirstShownNote = 36;
constexpr float kMaxPitch = 48.0f;  // semitones either way
// sfizz's fast off (off_mode=fast), and the shortest release its envelope takes.
constexpr float kFastOffSeconds = 0.006f;
// sfizz's releases fall exponentially, to -78 dB at their time; the mixer's
// fades are straight. A straight fade of a sixth of the time carries the same
// energy (and falls to half at nearly the same moment).
constexpr float kReleaseToFade = 1.0f / 6.0f;
// sfizz's make-up gain after its pan stage (+3 dB for the -3 dB of the centre).
constexpr float kPanMakeUp = 1.4125375446227544f;
// The controllers sfizz modulates by default (unless the kit uses them):
// volume (amplitude by curve 4), pan (curve 1) and expression (curve 4).
constexpr int kVolumeCc = 7, kPanCc = 10, kExpressionCc = 11;
// The most regions the kit's keys hold together (a region on 128 keys counts
// 128): far beyond real kits, and a bound on what a hostile file costs.
constexpr size_t kMaxKitRegions = 2000000;

float Db2Mag(float db) {
  return std::pow(10.0f, db / 20.0f);
}

// sfizz's curves 0..6 (buildPredefinedCurve).
PlayProgram::Curve PredefinedCurve(int index) {
  PlayProgram::Curve c{};
  for (int i = 0; i < 128; ++i) {
    const double x = i / 127.0;
    double y = x;
    switch (index) {
      case 1:
        y = -1.0 + 2.0 * x;
        break;
      case 2:
        y = 1.0 - x;
        break;
      case 3:
        y = 1.0 - 2.0 * x;
        break;
      case 4:
        y = x * x;
        break;
      case 5:
        y = std::sqrt(x);
        break;
      case 6:
        y = std::sqrt(1.0 - x);
        break;
      default:
        break;
    }
    c[i] = static_cast<float>(y);
  }
  return c;
}

// A controller SFZ names as the trigger knows it: 0..127, or the note's
// pressure for 130; -1 for the ones it does not follow.
int TriggerController(int cc) {
  if (cc >= 0 && cc < 128) return cc;
  if (cc == kPolyPressureCc) return ControllerRange::kPolyPressure;
  return -1;
}

std::string FileStem(const std::string& path) {
  return std::filesystem::path(path).stem().string();
}

class Compiler {
 public:
  Compiler(const SfzKit& kit, const KitProgramOptions& options) : m_kit(kit) { (void)options; }

  KitProgramResult Run() {
    KitProgramResult result;
    m_program.strName = FileStem(m_kit.strPath);
    m_program.strPath = m_kit.strPath;
    CollectUsedControllers();
    StartControllers();
    for (size_t i = 0; i < m_kit.regions.size(); ++i) AddRegion(m_kit.regions[i]);
    FinishGroups();
    SplitAllSets();
    NameNotes();
    WarnLeftOut();
    if (!Plays()) {
      result.strError = m_kit.strPath +
                        ": no region of the kit plays a sample (every one is silent, only chokes, "
                        "or lies outside the notes)";
      return result;
    }
    result.program = std::move(m_program);
    return result;
  }

 private:
  void Warn(std::string text) { m_program.warnings.push_back(std::move(text)); }

  std::string Place(const SfzRegion& r) const {
    return r.place.strFile + ":" + std::to_string(r.place.nLine);
  }

  // Said once per kit, with the first place it applies.
  void LeftOut(const std::string& what, const SfzRegion& r) {
    if (m_leftOut.emplace(what, Place(r)).second) m_leftOutOrder.push_back(what);
  }

  void CollectUsedControllers() {
    for (const SfzRegion& r : m_kit.regions) {
      for (const SfzCcRange& c : r.ccConditions) m_used.insert(c.nCc);
      for (const SfzCcRange& c : r.ccTriggers) m_used.insert(c.nCc);
      for (const auto* list : {&r.amplitudeCc, &r.volumeCc, &r.panCc})
        for (const SfzCcModulation& m : *list) m_used.insert(m.nCc);
    }
  }

  // sfizz starts volume at 100, pan at 64, expression at 127, the rest at 0,
  // and then the kit's set_ccN.
  void StartControllers() {
    m_program.bStartControllers = true;
    m_program.nStartController.fill(0);
    m_program.nStartController[kVolumeCc] = 100;
    m_program.nStartController[kPanCc] = 64;
    m_program.nStartController[kExpressionCc] = 127;
    for (const auto& [cc, value] : m_kit.ccDefaults)
      if (cc < 128)
        m_program.nStartController[cc] = static_cast<uint8_t>(std::lround(value * 127.0f));
  }

  uint16_t CurveIndex(const PlayProgram::Curve& curve) {
    auto [at, added] =
        m_curveIndex.try_emplace(curve, static_cast<uint16_t>(m_program.curves.size()));
    if (added) m_program.curves.push_back(curve);
    return at->second;
  }

  // The kit's curve of this number (<curve> first, then sfizz's 0..6, else linear).
  uint16_t ControllerCurve(int number) {
    for (const SfzCurve& c : m_kit.curves)
      if (c.nIndex == number) return CurveIndex(c.points);
    return CurveIndex(PredefinedCurve(number >= 0 && number <= 6 ? number : 0));
  }

  void AddModulations(const SfzRegion& r, KitRegion& region) {
    const auto add = [&](const std::vector<SfzCcModulation>& list, Modulation::Target target,
                         float scale) {
      for (const SfzCcModulation& m : list) {
        const int controller = TriggerController(m.nCc);
        if (controller < 0) {
          LeftOut("modulation by controller " + std::to_string(m.nCc), r);
          continue;
        }
        region.modulations.push_back({target, static_cast<uint8_t>(controller),
                                      ControllerCurve(m.nCurve), m.fDepth * scale});
        if (target == Modulation::Target::Pan) region.bPanModulated = true;
      }
    };
    add(r.amplitudeCc, Modulation::Target::Amplitude, 0.01f);
    add(r.volumeCc, Modulation::Target::Volume, 1.0f);
    add(r.panCc, Modulation::Target::Pan, 0.01f);
    if (!m_used.count(kVolumeCc))
      region.modulations.push_back(
          {Modulation::Target::Amplitude, kVolumeCc, ControllerCurve(4), 1.0f});
    if (!m_used.count(kPanCc)) {
      region.modulations.push_back({Modulation::Target::Pan, kPanCc, ControllerCurve(1), 1.0f});
      region.bPanModulated = true;
    }
    if (!m_used.count(kExpressionCc))
      region.modulations.push_back(
          {Modulation::Target::Amplitude, kExpressionCc, ControllerCurve(4), 1.0f});
  }

  // The part of a region every key shares: level, pan, conditions, start, release.
  bool Common(const SfzRegion& r, KitRegion& region, bool byController) {
    region.nVelocityLow = static_cast<uint8_t>(std::max(1, r.nLoVel));
    region.nVelocityHigh = static_cast<uint8_t>(r.nHiVel);
    if (byController) region.nVelocityLow = 1, region.nVelocityHigh = 127;
    if (region.nVelocityLow > region.nVelocityHigh) return false;
    for (const SfzCcRange& c : r.ccConditions) {
      const int controller = TriggerController(c.nCc);
      if (controller < 0) {
        LeftOut("conditions on controller " + std::to_string(c.nCc), r);
        continue;
      }
      if (c.nLo > c.nHi) return false;  // never holds
      region.conditions.push_back({static_cast<uint8_t>(controller), static_cast<uint8_t>(c.nLo),
                                   static_cast<uint8_t>(c.nHi)});
    }
    region.bCurveLaw = true;
    // sfizz leaves the velocity out of a hit a controller starts.
    PlayProgram::Curve flat;
    flat.fill(1.0f);
    region.nVelocityCurve = CurveIndex(byController ? flat : SfzVelocityCurve(r));
    region.fGain = r.fAmplitude / 100.0f * Db2Mag(r.fVolume);
    region.fVelocityPower = 0.0f;
    region.fPan = r.fPan / 100.0f;
    region.fPanScale = kPanMakeUp;
    AddModulations(r, region);
    if (!region.bPanModulated) {
      SfzPanGains(region.fPan, region.fPanLeft, region.fPanRight);
      region.fPanLeft *= kPanMakeUp;
      region.fPanRight *= kPanMakeUp;
    }
    region.fWidth = r.fWidth / 100.0f;
    region.nStartFrame = static_cast<uint64_t>(std::max<int64_t>(r.nOffset, 0));
    region.nOutput = static_cast<uint8_t>(std::clamp(r.nOutput, 0, 255));
    if (r.fLoRand > 0.0f || r.fHiRand < 1.0f) {
      region.fRandomLow = r.fLoRand;
      region.fRandomHigh = r.fHiRand >= 1.0f ? 2.0f : r.fHiRand;
    }
    // Without one_shot a note-off releases the hit (sfizz's no_loop).
    const bool releases =
        r.loopMode != SfzLoopMode::OneShot && r.trigger == SfzTrigger::Attack && !byController;
    if (releases) {
      region.noteOff = NoteOffRule::Stop;
      region.fReleaseFadeSeconds = std::max(r.fAmpegRelease, kFastOffSeconds) * kReleaseToFade;
    }
    region.fChokeFadeSeconds = kFastOffSeconds * kReleaseToFade;
    if (r.loopMode == SfzLoopMode::LoopContinuous || r.loopMode == SfzLoopMode::LoopSustain)
      LeftOut("loops (the sample plays once)", r);
    if (r.fAmpegAttack > 0 || r.fAmpegDelay > 0 || r.fAmpegHold > 0 ||
        (r.fAmpegDecay > 0 && r.fAmpegSustain < 100))
      LeftOut("the amplitude envelope's delay, attack, hold and decay", r);
    if (r.nPolyphony || r.nNotePolyphony) LeftOut("polyphony and note_polyphony limits", r);
    return true;
  }

  float Pitch(const SfzRegion& r, int key) {
    const float pitch = static_cast<float>(key - r.nPitchKeycenter) * r.fPitchKeytrack / 100.0f +
                        static_cast<float>(r.nTranspose) + r.fTune / 100.0f;
    if (std::abs(pitch) > kMaxPitch)
      LeftOut("pitches beyond " + std::to_string(static_cast<int>(kMaxPitch)) +
                  " semitones (played at " + std::to_string(static_cast<int>(kMaxPitch)) + ")",
              r);
    return std::clamp(pitch, -kMaxPitch, kMaxPitch);
  }

  uint32_t SampleOf(const SfzRegion& r, float pitch) {
    if (r.PlaysNothing() || r.strSamplePath.empty()) return KitRegion::kNoSample;
    return m_program.SampleIndex(r.strSamplePath, pitch);
  }

  // The choke group of a region that something stops (-1: none). sfizz stops
  // a voice whose off_by names the group of a region that starts, unless it
  // is of that same group, struck by the same note, and its own controller
  // conditions still hold; so voices are grouped by off_by, and those of the
  // same group also by note and conditions.
  int32_t GroupOf(const SfzRegion& r, const KitRegion& region, int note) {
    if (!r.nOffBy) return -1;
    const bool own = *r.nOffBy == r.nGroup;
    float fade = kFastOffSeconds;
    if (r.offMode == SfzOffMode::Time) fade = std::max(r.fOffTime, kFastOffSeconds);
    if (r.offMode == SfzOffMode::Normal) fade = std::max(r.fAmpegRelease, kFastOffSeconds);
    GroupKey key{*r.nOffBy, own ? note : -1, {}, fade * kReleaseToFade};
    if (own)
      for (const ControllerRange& c : region.conditions)
        key.conditions.push_back({c.nController, c.nLow, c.nHigh});
    auto [at, added] = m_groups.try_emplace(key, static_cast<int32_t>(m_program.nGroupCount));
    if (added) {
      ++m_program.nGroupCount;
      KitGroup group;
      group.fFadeSeconds = key.fFade;
      group.spareWhile = region.conditions;
      m_program.groups.push_back(std::move(group));
      m_groupKeys.push_back(key);
    }
    return at->second;
  }

  // What a region of SFZ group g stops when it starts from note (-1: a controller).
  std::vector<uint32_t> Stops(int64_t g, int note) const {
    std::vector<uint32_t> stops;
    for (size_t i = 0; i < m_groupKeys.size(); ++i) {
      const GroupKey& key = m_groupKeys[i];
      if (key.nOffBy != g) continue;
      if (key.nNote < 0 || key.nNote != note) {
        stops.push_back(static_cast<uint32_t>(i));
      } else if (!key.conditions.empty()) {
        stops.push_back(static_cast<uint32_t>(i) | ChokeGroup::kSpareWhileHeld);
      }
      // The same note's own hits without conditions always stay.
    }
    return stops;
  }

  // A counter per key range: sfizz counts each region's note-ons over its
  // own range, so regions of one range keep one count.
  bool Sequence(const SfzRegion& r, KitNote& note, KitRegion& region) {
    if (r.nSeqLength <= 1) return true;
    auto [at, added] = m_sequenceOf.try_emplace({r.nLoKey, r.nHiKey}, m_program.nSequenceCount);
    if (added) ++m_program.nSequenceCount;
    auto slot = std::find(note.sequences.begin(), note.sequences.end(), at->second);
    if (slot == note.sequences.end()) {
      if (note.sequences.size() >= PlayProgram::kMaxNoteSequences) {
        LeftOut("more than " + std::to_string(PlayProgram::kMaxNoteSequences) +
                    " round-robin key ranges over one note (the rest play every turn)",
                r);
        return true;
      }
      note.sequences.push_back(at->second);
      slot = note.sequences.end() - 1;
    }
    region.nSequence = static_cast<uint8_t>(slot - note.sequences.begin());
    region.nSequenceLength = static_cast<uint8_t>(r.nSeqLength);
    region.nSequencePosition = static_cast<uint8_t>(r.nSeqPosition - 1);
    return true;
  }

  // False once the kit holds kMaxKitRegions; said once.
  bool Budget(const SfzRegion& r) {
    if (m_nRegions >= kMaxKitRegions) {
      LeftOut("regions past " + std::to_string(kMaxKitRegions) + " on the keys (the rest)", r);
      return false;
    }
    ++m_nRegions;
    return true;
  }

  // Sets the trigger weighs at most kMaxSetRegions regions each: a larger
  // one (a multi-mic kit with many layers) is cut into several, all of which sound.
  static void SplitSets(std::vector<KitSet>& sets) {
    if (sets.empty() || sets.front().regions.size() <= PlayProgram::kMaxSetRegions) return;
    std::vector<KitRegion> all = std::move(sets.front().regions);
    sets.clear();
    for (size_t i = 0; i < all.size(); i += PlayProgram::kMaxSetRegions) {
      KitSet& set = sets.emplace_back();
      set.selection = Selection::All;
      const size_t end = std::min(all.size(), i + PlayProgram::kMaxSetRegions);
      set.regions.assign(std::make_move_iterator(all.begin() + static_cast<ptrdiff_t>(i)),
                         std::make_move_iterator(all.begin() + static_cast<ptrdiff_t>(end)));
    }
  }

  void SplitAllSets() {
    for (KitNote& note : m_program.notes)
      for (auto* sets : {&note.sets, &note.releaseSets, &note.pressureSets}) SplitSets(*sets);
    for (auto& sets : m_program.controllerTriggers) SplitSets(sets);
  }

  static KitSet& AllSet(std::vector<KitSet>& sets) {
    if (sets.empty()) sets.emplace_back().selection = Selection::All;
    return sets.front();
  }

  void AddRegion(const SfzRegion& r) {
    if (r.trigger == SfzTrigger::Legato) {
      LeftOut("trigger=legato regions (a drum plays no legato)", r);
      return;
    }
    if (r.trigger == SfzTrigger::First) LeftOut("trigger=first (played as attack)", r);
    // As in sfizz (and sforzando), a region a controller starts plays from
    // its keys as well, unless key=-1 or hikey=-1 takes it off them.
    if (!r.ccTriggers.empty()) AddControllerRegion(r);
    if (!r.bTriggerOnNote) return;
    const bool onRelease = r.trigger == SfzTrigger::Release || r.trigger == SfzTrigger::ReleaseKey;
    if (r.trigger == SfzTrigger::Release)
      LeftOut("trigger=release waits for no sustain pedal (played as release_key)", r);
    KitRegion base;
    if (!Common(r, base, false)) return;
    for (int key = std::max(r.nLoKey, 0); key <= std::min(r.nHiKey, 127); ++key) {
      if (!Budget(r)) return;
      KitNote& note = m_program.notes[key];
      KitRegion region = base;
      region.nSample = SampleOf(r, Pitch(r, key));
      if (!Sequence(r, note, region)) continue;
      if (region.fRandomLow > 0.0f || region.fRandomHigh < 1.0f) note.bRandom = true;
      region.nChokeGroup = GroupOf(r, region, key);
      m_pending.push_back({&r, key, onRelease ? Where::Release : Where::Note});
      KitSet& set = AllSet(onRelease ? note.releaseSets : note.sets);
      set.regions.push_back(std::move(region));
      m_pendingRegion.push_back(
          {key, onRelease ? Where::Release : Where::Note, set.regions.size() - 1});
    }
  }

  // A region a controller starts: by any of its on_ccN ranges, the value
  // weighed when it moves; by pressure (130), on the keys of its range.
  void AddControllerRegion(const SfzRegion& r) {
    KitRegion base;
    if (!Common(r, base, true)) return;
    if (r.nSeqLength > 1)
      LeftOut("round robins of regions a controller starts (every turn plays)", r);
    for (const SfzCcRange& t : r.ccTriggers) {
      if (t.nLo > t.nHi) continue;
      const int controller = TriggerController(t.nCc);
      if (controller < 0) {
        LeftOut("regions started by controller " + std::to_string(t.nCc), r);
        continue;
      }
      KitRegion region = base;
      region.conditions.push_back({static_cast<uint8_t>(controller), static_cast<uint8_t>(t.nLo),
                                   static_cast<uint8_t>(t.nHi)});
      if (controller == ControllerRange::kPolyPressure) {
        for (int key = std::max(r.nLoKey, 0); key <= std::min(r.nHiKey, 127); ++key) {
          if (!Budget(r)) return;
          KitRegion pressed = region;
          pressed.nSample = SampleOf(r, Pitch(r, key));
          pressed.nChokeGroup = GroupOf(r, base, key);
          KitSet& set = AllSet(m_program.notes[key].pressureSets);
          set.regions.push_back(std::move(pressed));
          m_pending.push_back({&r, -1, Where::Pressure});
          m_pendingRegion.push_back({key, Where::Pressure, set.regions.size() - 1});
        }
        continue;
      }
      if (!Budget(r)) return;
      // sfizz pitches it by the controller's number as if it were a key;
      // Thumper keeps the sample's own pitch (transpose and tune only).
      region.nSample = SampleOf(r, std::clamp(static_cast<float>(r.nTranspose) + r.fTune / 100.0f,
                                              -kMaxPitch, kMaxPitch));
      // Its own conditions, not the range that starts it, spare it (as sfizz's switches).
      region.nChokeGroup = GroupOf(r, base, -1);
      KitSet& set = AllSet(m_program.controllerTriggers[controller]);
      set.regions.push_back(std::move(region));
      m_pending.push_back({&r, -1, Where::Controller});
      m_pendingRegion.push_back({controller, Where::Controller, set.regions.size() - 1});
    }
  }

  // Once every group is known: what each region stops when it starts.
  void FinishGroups() {
    for (size_t i = 0; i < m_pending.size(); ++i) {
      const Pending& p = m_pending[i];
      const PendingRegion& at = m_pendingRegion[i];
      KitRegion* region = nullptr;
      switch (at.where) {
        case Where::Note:
          region = &m_program.notes[at.nIndex].sets.front().regions[at.nRegion];
          break;
        case Where::Release:
          region = &m_program.notes[at.nIndex].releaseSets.front().regions[at.nRegion];
          break;
        case Where::Pressure:
          region = &m_program.notes[at.nIndex].pressureSets.front().regions[at.nRegion];
          break;
        case Where::Controller:
          region = &m_program.controllerTriggers[at.nIndex].front().regions[at.nRegion];
          break;
      }
      // A controller's start is no note: sfizz compares the controller's
      // number with the voices' notes, and so spares none.
      region->stopsGroupsFirst = Stops(p.pRegion->nGroup, p.nNote);
    }
  }

  void NameNotes() {
    for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
      KitNote& note = m_program.notes[n];
      note.nShowSlot = static_cast<uint8_t>(std::clamp(n - kFirstShownNote, 0, kLastShowSlot));
      if (auto label = m_kit.keyLabels.find(n); label != m_kit.keyLabels.end()) {
        note.strName = label->second;
      } else {
        for (const KitSet& set : note.sets)
          for (const KitRegion& region : set.regions)
            if (note.strName.empty() && region.nSample != KitRegion::kNoSample)
              note.strName = std::filesystem::path(m_program.samples[region.nSample].strPath)
                                 .filename()
                                 .string();
      }
      note.nCellThreshold = CellThresholds(note);
    }
  }

  // Five cells light by velocity zone: where the note's velocity ranges
  // split, at most four of them (spread over all when there are more).
  static std::array<int32_t, 4> CellThresholds(const KitNote& note) {
    std::set<int32_t> splits;
    for (const KitSet& set : note.sets)
      for (const KitRegion& region : set.regions)
        if (region.nVelocityLow > 1) splits.insert(region.nVelocityLow - 1);
    std::vector<int32_t> changes(splits.rbegin(), splits.rend());  // descending
    std::array<int32_t, 4> threshold{0, 0, 0, 0};
    const size_t count = changes.size();
    for (size_t t = 0; t < std::min<size_t>(4, count); ++t)
      threshold[t] = changes[count <= 4 ? t : (t + 1) * count / 5];
    return threshold;
  }

  bool Plays() const {
    for (const KitNote& note : m_program.notes)
      for (const auto* sets : {&note.sets, &note.releaseSets, &note.pressureSets})
        for (const KitSet& set : *sets)
          for (const KitRegion& region : set.regions)
            if (region.nSample != KitRegion::kNoSample) return true;
    for (const auto& sets : m_program.controllerTriggers)
      for (const KitSet& set : sets)
        for (const KitRegion& region : set.regions)
          if (region.nSample != KitRegion::kNoSample) return true;
    return false;
  }

  void WarnLeftOut() {
    const std::string& file = m_kit.strPath;
    if (!m_kit.unknownOpcodes.empty()) {
      std::string list;
      for (const auto& [name, count] : m_kit.unknownOpcodes)
        list += (list.empty() ? "" : ", ") + name +
                (count > 1 ? " (" + std::to_string(count) + "x)" : "");
      Warn(file + ": opcodes Thumper does not play, ignored: " + list);
    }
    if (!m_kit.unknownHeaders.empty()) {
      std::string list;
      for (const auto& [name, count] : m_kit.unknownHeaders)
        list += (list.empty() ? "<" : ", <") + name + ">";
      Warn(file + ": headers Thumper does not play, skipped: " + list);
    }
    for (const std::string& what : m_leftOutOrder)
      Warn(m_leftOut.at(what) + ": " + what + " left out");
  }

  struct GroupKey {
    int64_t nOffBy;
    int nNote;
    std::vector<std::tuple<uint8_t, uint8_t, uint8_t>> conditions;
    float fFade;
    bool operator<(const GroupKey& o) const {
      return std::tie(nOffBy, nNote, conditions, fFade) <
             std::tie(o.nOffBy, o.nNote, o.conditions, o.fFade);
    }
  };
  enum class Where { Note, Release, Pressure, Controller };
  struct Pending {
    const SfzRegion* pRegion;
    int nNote;  // the note that starts it; -1 a controller
    Where where;
  };
  struct PendingRegion {
    int nIndex;  // the note, or the controller
    Where where;
    size_t nRegion;
  };

  const SfzKit& m_kit;
  KitProgram m_program;
  std::set<int> m_used;
  std::map<PlayProgram::Curve, uint16_t> m_curveIndex;
  std::map<GroupKey, int32_t> m_groups;
  std::vector<GroupKey> m_groupKeys;
  std::map<std::pair<int, int>, uint32_t> m_sequenceOf;
  std::vector<Pending> m_pending;
  std::vector<PendingRegion> m_pendingRegion;
  std::map<std::string, std::string> m_leftOut;
  std::vector<std::string> m_leftOutOrder;
  size_t m_nRegions = 0;
};

}  // namespace

PlayProgram::Curve SfzVelocityCurve(const SfzRegion& r) {
  PlayProgram::Curve base{};
  if (r.ampVelcurve.empty()) {
    for (int v = 0; v < 128; ++v) base[v] = static_cast<float>(v * v) / (127.0f * 127.0f);
  } else {
    std::array<bool, 128> set{};
    base[0] = 0.0f;
    base[127] = 1.0f;
    set[0] = set[127] = true;
    for (const auto& [v, gain] : r.ampVelcurve) {
      base[v] = gain;
      set[v] = true;
    }
    int last = 0;
    for (int i = 1; i < 128; ++i) {
      if (!set[i]) continue;
      for (int j = last + 1; j < i; ++j)
        base[j] = base[last] + (base[i] - base[last]) * static_cast<float>(j - last) /
                                   static_cast<float>(i - last);
      last = i;
    }
  }
  const float track = r.fAmpVeltrack / 100.0f;
  PlayProgram::Curve curve{};
  for (int v = 0; v < 128; ++v) {
    const float g = std::abs(track) * (1.0f - base[v]);
    curve[v] = track < 0 ? g : 1.0f - g;
  }
  return curve;
}

KitProgramResult CompileSfzKit(const SfzKit& kit, const KitProgramOptions& options) {
  return Compiler(kit, options).Run();
}

}  // namespace thumper
