#include "kits/HydrogenProgram.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <set>

namespace thumper {

namespace {

constexpr int kFirstNote = 36;     // Hydrogen's MIDI input: note 36 plays the first instrument
constexpr int kLastShowSlot = 91;  // the keyboard's last key
constexpr int kHihatController = 4;
constexpr int kChannelVolumeController = 7;
// Hydrogen counts its envelope in frames of the sample; samples play at 44.1 kHz.
constexpr float kEnvelopeRate = 44100.0f;
constexpr float kMaxPitch = 24.0f;  // semitones either way, layer and instrument together
// The longest round-robin cycle followed exactly (see RoundRobinTurns).
constexpr int kMaxRoundRobinPeriod = 256;

// Hydrogen's MIDI input: data2 / 127.0, kept in the note's float.
float NoteVelocity(int velocity) {
  return static_cast<float>(velocity / 127.0);
}

// The layers Hydrogen's Note::getSample may pick at a velocity: each whose
// [min, max] holds it, in file order; in a gap between ranges, the one whose
// min lies nearest (the first of equals, and only nearer than 1).
std::vector<int> PossibleLayers(const HydrogenComponent& component, float velocity) {
  std::vector<int> possible;
  for (size_t l = 0; l < component.layers.size(); ++l) {
    const HydrogenLayer& layer = component.layers[l];
    if (velocity >= layer.fMin && velocity <= layer.fMax) possible.push_back(static_cast<int>(l));
  }
  if (!possible.empty()) return possible;
  float shortest = 1.0f;
  int nearest = -1;
  for (size_t l = 0; l < component.layers.size(); ++l) {
    const float distance = std::abs(component.layers[l].fMin - velocity);
    if (distance < shortest) {
      shortest = distance;
      nearest = static_cast<int>(l);
    }
  }
  if (nearest >= 0) possible.push_back(nearest);
  return possible;
}

// Velocities lo..hi (MIDI) over which every component's possible layers stay the same.
struct VelocityRun {
  uint8_t nLow = 1;
  uint8_t nHigh = 127;
  std::vector<std::vector<int>> possible;  // per component
};

std::vector<VelocityRun> VelocityRuns(const HydrogenInstrument& instrument) {
  std::vector<VelocityRun> runs;
  for (int v = 1; v <= 127; ++v) {
    std::vector<std::vector<int>> possible;
    for (const HydrogenComponent& component : instrument.components)
      possible.push_back(PossibleLayers(component, NoteVelocity(v)));
    if (!runs.empty() && runs.back().possible == possible) {
      runs.back().nHigh = static_cast<uint8_t>(v);
      continue;
    }
    runs.push_back({static_cast<uint8_t>(v), static_cast<uint8_t>(v), std::move(possible)});
  }
  return runs;
}

// Hydrogen's round robin (Note::getSample): a counter per (instrument id * 10 +
// min of the last possible layer), shared by the components that reach the same
// key, starting at 0; each pick takes index counter + 1, back to 0 past the
// end. Within one velocity run this repeats once every counter is back at 0:
// the turns of that cycle, per component, are what its round-robin set plays
// in order. A cycle longer than kMaxRoundRobinPeriod (never in practice) is
// played as each component on its own counter.
std::vector<std::vector<int>> RoundRobinTurns(const HydrogenInstrument& instrument,
                                              const VelocityRun& run) {
  const size_t count = run.possible.size();
  std::vector<float> key(count);
  for (size_t c = 0; c < count; ++c) {
    if (run.possible[c].empty()) continue;
    const HydrogenComponent& component = instrument.components[c];
    key[c] = static_cast<float>(instrument.nId.value_or(0) * 10) +
             component.layers[run.possible[c].back()].fMin;
  }
  std::map<float, int> counter;
  std::vector<std::vector<int>> turns(count);
  for (int hit = 0; hit < kMaxRoundRobinPeriod; ++hit) {
    for (size_t c = 0; c < count; ++c) {
      const std::vector<int>& possible = run.possible[c];
      if (possible.empty()) continue;
      int& latest = counter[key[c]];
      latest = latest + 1 >= static_cast<int>(possible.size()) ? 0 : latest + 1;
      turns[c].push_back(possible[latest]);
    }
    if (std::all_of(counter.begin(), counter.end(), [](const auto& k) { return k.second == 0; }))
      return turns;
  }
  for (size_t c = 0; c < count; ++c) {
    const std::vector<int>& possible = run.possible[c];
    turns[c].clear();
    for (size_t k = 1; k <= possible.size(); ++k) turns[c].push_back(possible[k % possible.size()]);
  }
  return turns;
}

// Hydrogen's default pan law (ratio, straight polygonal): the far side keeps
// full level, the near side falls to 0 at a hard pan.
float RatioStraightPolygonal(float pan) {
  return pan <= 0.0f ? 1.0f : 1.0f - pan;
}

class Compiler {
 public:
  Compiler(const HydrogenKit& kit, const KitProgramOptions& options)
      : m_kit(kit), m_options(options) {}

  KitProgramResult Run() {
    KitProgramResult result;
    m_program.strName = m_kit.strName;
    m_program.strPath = m_kit.strXmlPath;
    m_program.warnings = m_kit.warnings;
    for (const HydrogenInstrument& instrument : m_kit.instruments) {
      if (instrument.nId && !instrument.bLoadsInHydrogen) continue;  // it has no note
      if (instrument.nId) {
        m_list.push_back(&instrument);
        continue;
      }
      Warn(m_kit.strXmlPath + ":" + std::to_string(instrument.nLine) + ": instrument \"" +
           instrument.strName + "\" has no <id>: Hydrogen leaves it out, and so does Thumper");
    }
    std::vector<int> notes;
    if (!ChooseNotes(notes, result)) return result;
    AssignGroups();
    for (size_t i = 0; i < m_list.size(); ++i) {
      if (notes[i] < 0) continue;
      KitNote& note = m_program.notes[notes[i]];
      const HydrogenInstrument& instrument = *m_list[i];
      note.strName = instrument.strName;
      // An instrument without a midiOutNote stands for the note it plays on.
      note.nGeneralMidiNote = !instrument.nMidiOutNote ? KitNote::kItself
                              : *instrument.nMidiOutNote >= 0 && *instrument.nMidiOutNote < 128
                                  ? *instrument.nMidiOutNote
                                  : KitNote::kNone;
      note.nShowSlot = static_cast<uint8_t>(std::clamp(notes[i] - kFirstNote, 0, kLastShowSlot));
      note.nCellThreshold = CellThresholds(instrument);
      PlayNote(i, note);
    }
    WarnLeftOut();
    StartPedalOpen();
    result.program = std::move(m_program);
    return result;
  }

 private:
  void Warn(std::string text) { m_program.warnings.push_back(std::move(text)); }

  // Hydrogen's hi-hat pedal stands at 127 until the first CC 4 arrives, so a
  // kit with pedal groups starts on the open hi-hat, as in Hydrogen.
  void StartPedalOpen() {
    for (const KitNote& note : m_program.notes)
      for (const KitSet& set : note.sets)
        for (const KitRegion& region : set.regions)
          for (const ControllerRange& c : region.conditions)
            if (c.nController == kHihatController) {
              m_program.bStartControllers = true;
              m_program.nStartController[kChannelVolumeController] = 127;
              m_program.nStartController[kHihatController] = 127;
              return;
            }
  }

  std::string Quoted(const HydrogenInstrument& instrument) const {
    return "\"" + instrument.strName + "\"";
  }

  static bool Sounds(const HydrogenInstrument& instrument) {
    return std::any_of(instrument.components.begin(), instrument.components.end(),
                       [](const HydrogenComponent& c) { return !c.layers.empty(); });
  }

  // 36 + position, as Hydrogen's MIDI input maps notes; with --gm each
  // instrument's MIDI out note, the first instrument of a note playing it (as
  // Hydrogen's fixed mapping finds it).
  bool ChooseNotes(std::vector<int>& notes, KitProgramResult& result) {
    notes.assign(m_list.size(), -1);
    if (!m_options.bGmNotes) {
      for (size_t i = 0; i < m_list.size(); ++i) {
        const int note = kFirstNote + static_cast<int>(i);
        if (note < PlayProgram::kNoteCount)
          notes[i] = note;
        else if (Sounds(*m_list[i]))
          Warn(m_kit.strXmlPath + ": instrument " + Quoted(*m_list[i]) +
               " lies past MIDI note 127 and does not play");
      }
      return true;
    }
    std::map<int, const HydrogenInstrument*> taken;
    for (size_t i = 0; i < m_list.size(); ++i) {
      const HydrogenInstrument& instrument = *m_list[i];
      if (!Sounds(instrument)) continue;
      const int note = instrument.nMidiOutNote.value_or(-1);
      if (note < 0 || note >= PlayProgram::kNoteCount) {
        result.bUsageError = true;
        result.strError = "--gm: instrument " + Quoted(instrument) +
                          (instrument.nMidiOutNote
                               ? " has MIDI out note " + std::to_string(note) + ", outside 0..127"
                               : std::string(" has no <midiOutNote>"));
        return false;
      }
      if (auto [at, fresh] = taken.emplace(note, &instrument); !fresh) {
        Warn(m_kit.strXmlPath + ": instruments " + Quoted(*at->second) + " and " +
             Quoted(instrument) + " share MIDI out note " + std::to_string(note) +
             ": the first plays it, as in Hydrogen");
        continue;
      }
      notes[i] = note;
    }
    return true;
  }

  // A choke group for every instrument that something stops: itself
  // (isStopNote: a new note releases its last ones) or another of its mute group.
  void AssignGroups() {
    std::map<int, int> members;
    for (const HydrogenInstrument* instrument : m_list)
      if (instrument->nMuteGroup != -1) ++members[instrument->nMuteGroup];
    m_group.assign(m_list.size(), -1);
    for (size_t i = 0; i < m_list.size(); ++i) {
      const HydrogenInstrument& instrument = *m_list[i];
      const bool muted = instrument.nMuteGroup != -1 && members[instrument.nMuteGroup] > 1;
      if (instrument.bStopNote || muted) m_group[i] = static_cast<int32_t>(m_program.nGroupCount++);
    }
  }

  // Hydrogen's MIDI input: a hi-hat group's note plays, when the pedal (CC 4)
  // lies outside its own range, the first instrument of the group whose range
  // holds it; the note's own instrument where none does.
  size_t PlayedAt(size_t i, int pedal) const {
    const HydrogenInstrument& own = *m_list[i];
    if (own.nHihatGroup < 0 || (pedal >= own.nLowerCc && pedal <= own.nHigherCc)) return i;
    for (size_t k = 0; k < m_list.size(); ++k) {
      const HydrogenInstrument& other = *m_list[k];
      if (other.nHihatGroup == own.nHihatGroup && pedal >= other.nLowerCc &&
          pedal <= other.nHigherCc)
        return k;
    }
    return i;
  }

  void PlayNote(size_t i, KitNote& note) {
    // Runs of pedal positions that play one instrument.
    struct PedalRun {
      int nLow, nHigh;
      size_t nInstrument;
    };
    std::vector<PedalRun> runs;
    for (int pedal = 0; pedal <= 127; ++pedal) {
      const size_t played = PlayedAt(i, pedal);
      if (!runs.empty() && runs.back().nInstrument == played)
        runs.back().nHigh = pedal;
      else
        runs.push_back({pedal, pedal, played});
    }
    if (runs.size() == 1) {
      AddSound(runs[0].nInstrument, std::nullopt, note);
      return;
    }
    for (const PedalRun& run : runs)
      AddSound(run.nInstrument,
               ControllerRange{kHihatController, static_cast<uint8_t>(run.nLow),
                               static_cast<uint8_t>(run.nHigh)},
               note);
  }

  // A region of a layer as Hydrogen's Sampler renders it: velocity (when the
  // instrument applies it) times layer gain, instrument gain, component gain,
  // the kit component's volume and instrument volume; the pan by the default law.
  KitRegion Region(size_t i, const HydrogenComponent& component, int layerIndex,
                   const std::optional<ControllerRange>& pedal) {
    const HydrogenInstrument& instrument = *m_list[i];
    const HydrogenLayer& layer = component.layers[layerIndex];
    KitRegion region;
    const float pitch = instrument.fPitchOffset + layer.fPitch;
    if (std::abs(pitch) > kMaxPitch && m_pitchWarned.insert(i).second)
      Warn(m_kit.strXmlPath + ": instrument " + Quoted(instrument) + " is pitched " +
           std::to_string(static_cast<int>(pitch)) + " semitones: it plays at " +
           std::to_string(static_cast<int>(std::copysign(kMaxPitch, pitch))));
    region.nSample = m_program.SampleIndex(layer.strPath, std::clamp(pitch, -kMaxPitch, kMaxPitch));
    float kitVolume = 1.0f;
    for (const HydrogenKitComponent& kitComponent : m_kit.kitComponents)
      if (kitComponent.nId == component.nComponentId) kitVolume = kitComponent.fVolume;
    region.fGain =
        layer.fGain * instrument.fGain * component.fGain * kitVolume * instrument.fVolume;
    // With no attack and no decay, Hydrogen's envelope holds the sustain level.
    if (instrument.nAttack == 0 && instrument.nDecay == 0) region.fGain *= instrument.fSustain;
    region.fVelocityPower = instrument.bApplyVelocity ? 1.0f : 0.0f;
    region.fPanLeft = RatioStraightPolygonal(instrument.fPan);
    region.fPanRight = RatioStraightPolygonal(-instrument.fPan);
    // Instrument i has an output pair of its own, i + 1, as Hydrogen's per-track outputs.
    region.nOutput = static_cast<uint8_t>(std::min<size_t>(i + 1, 255));
    if (pedal) region.conditions.push_back(*pedal);
    const float fade = static_cast<float>(instrument.nRelease) / kEnvelopeRate;
    region.nChokeGroup = m_group[i];
    region.fChokeFadeSeconds = fade;
    // isStopNote: the instrument's last notes are released before this one sounds.
    if (instrument.bStopNote && m_group[i] >= 0)
      region.stopsGroupsFirst.push_back(static_cast<uint32_t>(m_group[i]));
    // Mute group: the other instruments of the group are released.
    if (instrument.nMuteGroup != -1) {
      for (size_t k = 0; k < m_list.size(); ++k)
        if (k != i && m_list[k]->nMuteGroup == instrument.nMuteGroup && m_group[k] >= 0)
          region.stopsGroups.push_back(static_cast<uint32_t>(m_group[k]));
    }
    return region;
  }

  // One selection set per component (and velocity run where the choice depends on it).
  void AddSound(size_t i, const std::optional<ControllerRange>& pedal, KitNote& note) {
    const HydrogenInstrument& instrument = *m_list[i];
    if (instrument.bMuted) return;  // Hydrogen renders a muted instrument at 0
    const std::vector<VelocityRun> runs = VelocityRuns(instrument);
    for (size_t c = 0; c < instrument.components.size(); ++c) {
      const HydrogenComponent& component = instrument.components[c];
      if (component.layers.empty()) continue;
      if (instrument.selection == HydrogenSelection::Velocity) {
        KitSet set;
        set.selection = Selection::First;
        for (const VelocityRun& run : runs) {
          if (run.possible[c].empty()) continue;
          const int layer = run.possible[c].front();
          if (!set.regions.empty() && set.regions.back().nVelocityHigh + 1 == run.nLow &&
              m_lastLayer == layer) {
            set.regions.back().nVelocityHigh = run.nHigh;
            continue;
          }
          KitRegion region = Region(i, component, layer, pedal);
          region.nVelocityLow = run.nLow;
          region.nVelocityHigh = run.nHigh;
          set.regions.push_back(std::move(region));
          m_lastLayer = layer;
        }
        if (!set.regions.empty()) note.sets.push_back(std::move(set));
        continue;
      }
      for (const VelocityRun& run : runs) {
        if (run.possible[c].empty()) continue;
        KitSet set;
        std::vector<int> layers = run.possible[c];
        if (instrument.selection == HydrogenSelection::RoundRobin) {
          set.selection = Selection::RoundRobin;
          layers = RoundRobinTurns(instrument, run)[c];
        } else {
          set.selection = Selection::Random;  // Hydrogen: rand() over the possible layers
        }
        for (int layer : layers) {
          KitRegion region = Region(i, component, layer, pedal);
          region.nVelocityLow = run.nLow;
          region.nVelocityHigh = run.nHigh;
          set.regions.push_back(std::move(region));
        }
        note.sets.push_back(std::move(set));
      }
    }
  }

  // Five cells light by the velocity zone: the velocities where the first
  // sounding component changes layer, at most four of them (spread over all
  // when there are more: a cell then holds neighbouring layers).
  static std::array<int32_t, 4> CellThresholds(const HydrogenInstrument& instrument) {
    std::array<int32_t, 4> threshold{0, 0, 0, 0};
    const auto component =
        std::find_if(instrument.components.begin(), instrument.components.end(),
                     [](const HydrogenComponent& c) { return !c.layers.empty(); });
    if (component == instrument.components.end()) return threshold;
    std::vector<int32_t> changes;  // descending: a cell is lit above its threshold
    int previous = -2;
    for (int v = 1; v <= 127; ++v) {
      const std::vector<int> possible = PossibleLayers(*component, NoteVelocity(v));
      const int layer = possible.empty() ? -1 : possible.front();
      if (v > 1 && layer != previous) changes.push_back(v - 1);
      previous = layer;
    }
    std::reverse(changes.begin(), changes.end());
    const size_t count = changes.size();
    for (size_t t = 0; t < std::min<size_t>(4, count); ++t)
      threshold[t] = changes[count <= 4 ? t : (t + 1) * count / 5];
    return threshold;
  }

  void WarnLeftOut() {
    auto names = [&](auto&& leftOut) {
      std::string list;
      for (const HydrogenInstrument* instrument : m_list)
        if (leftOut(*instrument)) list += (list.empty() ? "" : ", ") + Quoted(*instrument);
      return list;
    };
    const std::string& file = m_kit.strXmlPath;
    if (auto list = names([](const HydrogenInstrument& in) {
          return in.bFilterActive && (in.fFilterCutoff < 1.0f || in.fFilterResonance != 0.0f);
        });
        !list.empty())
      Warn(file + ": the low-pass filter is left out (instruments " + list + ")");
    if (auto list = names([](const HydrogenInstrument& in) { return in.fRandomPitchFactor > 0; });
        !list.empty())
      Warn(file + ": the random pitch per hit is left out (instruments " + list + ")");
    if (auto list =
            names([](const HydrogenInstrument& in) { return in.nAttack > 0 || in.nDecay > 0; });
        !list.empty())
      Warn(file + ": the attack and decay of the envelope are left out (instruments " + list + ")");
    if (auto list = names([](const HydrogenInstrument& in) { return in.bMuted && Sounds(in); });
        !list.empty())
      Warn(file + ": instruments " + list +
           " are muted in the kit and stay silent, as in Hydrogen");
  }

  const HydrogenKit& m_kit;
  const KitProgramOptions& m_options;
  KitProgram m_program;
  std::vector<const HydrogenInstrument*> m_list;  // Hydrogen's instrument list
  std::vector<int32_t> m_group;                   // choke group of each, -1 none
  int m_lastLayer = -1;
  std::set<size_t> m_pitchWarned;
};

}  // namespace

// Every instrument as Hydrogen 1.2 plays it from MIDI: its components summed,
// each by the instrument's sample selection, at Hydrogen's level and pan, with
// mute groups, stop notes and hi-hat groups.
KitProgramResult CompileHydrogenKit(const HydrogenKit& kit, const KitProgramOptions& options) {
  return Compiler(kit, options).Run();
}

}  // namespace thumper
