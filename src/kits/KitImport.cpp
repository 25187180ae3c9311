#include "kits/KitImport.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "kits/VelocityPlan.h"
#include "play/NoteTrigger.h"
#include "play/TriggerState.h"

namespace thumper {
namespace {

constexpr int kFirstNote = 36;
constexpr int kLastNoteSlot = 127 - kFirstNote;  // note 127

// A file counts as there when it opens for reading, as everywhere else.
bool FileOpens(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

std::string JoinNames(const std::vector<std::string>& names) {
  std::string joined;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) joined += i + 1 == names.size() ? " and " : ", ";
    joined += names[i];
  }
  return joined;
}

std::string Percent(int64_t part, int64_t whole) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", whole ? 100.0 * part / whole : 100.0);
  return text;
}

// Slot of each instrument, -1 where it has none. False (with the reason) when
// the MIDI out notes cannot place every instrument that has samples.
bool ChooseSlots(const HydrogenKit& kit, const KitImportOptions& options, std::vector<int>& slots,
                 KitImportResult& result) {
  const int count = static_cast<int>(kit.instruments.size());
  slots.assign(count, -1);
  if (!options.bGmNotes) {
    std::vector<std::string> beyond;
    for (int i = 0; i < count; ++i) {
      if (i < kSlotCount)
        slots[i] = i;
      else if (!kit.instruments[i].layers.empty())
        beyond.push_back(Quoted(kit.instruments[i].strName));
    }
    if (!beyond.empty())
      result.messages.push_back("instruments beyond slot 128 are left out: " + JoinNames(beyond));
    std::vector<std::string> unreachable;
    for (int i = kLastNoteSlot + 1; i < std::min(count, kSlotCount); ++i)
      if (!kit.instruments[i].layers.empty())
        unreachable.push_back(Quoted(kit.instruments[i].strName));
    if (!unreachable.empty())
      result.messages.push_back(
          "instruments past the 92nd sit on slots no MIDI note reaches "
          "(note 36 plays the first): " +
          JoinNames(unreachable));
    return true;
  }
  std::map<int, std::string> taken;
  for (int i = 0; i < count; ++i) {
    const HydrogenInstrument& instrument = kit.instruments[i];
    if (instrument.layers.empty()) continue;  // nothing to place
    const std::string name = Quoted(instrument.strName);
    if (!instrument.nMidiOutNote) {
      result.strError = "--gm: instrument " + name + " has no <midiOutNote>";
      return false;
    }
    const int note = *instrument.nMidiOutNote;
    if (note < kFirstNote || note > 127) {
      result.strError = "--gm: instrument " + name + " has MIDI out note " + std::to_string(note) +
                        ", outside 36..127";
      return false;
    }
    if (auto [at, fresh] = taken.emplace(note, name); !fresh) {
      result.strError = "--gm: instruments " + at->second + " and " + name +
                        " share MIDI out note " + std::to_string(note);
      return false;
    }
    slots[i] = note - kFirstNote;
  }
  return true;
}

void ApplyMuteGroups(const HydrogenKit& kit, const std::vector<int>& slots, DrumSet& set,
                     KitImportResult& result) {
  std::map<int, std::vector<int>> groups;  // by group number, in instrument order
  for (size_t i = 0; i < kit.instruments.size(); ++i) {
    const int slot = slots[i];
    if (kit.instruments[i].nMuteGroup >= 0 && slot >= 0 &&
        set.m_nLayerSource[LayerIndex(slot, 0)] != -1)
      groups[kit.instruments[i].nMuteGroup].push_back(static_cast<int>(i));
  }
  for (const auto& [number, members] : groups) {
    if (members.size() < 2) continue;
    // Each slot cuts the next; the last cuts the first. For two that is both ways.
    for (size_t m = 0; m < members.size(); ++m)
      set.m_noteSlot[slots[members[m]]].nCutNote = slots[members[(m + 1) % members.size()]];
    if (members.size() > 2) {
      std::vector<std::string> names;
      for (int i : members) names.push_back(Quoted(kit.instruments[i].strName));
      result.messages.push_back("mute group " + std::to_string(number) + " (" + JoinNames(names) +
                                ") becomes a ring of cuts: each stops only the next one");
    }
  }
}

}  // namespace

const std::string* SampleForVelocity(const DrumSet& set, int slot, int velocity) {
  if (slot < 0 || slot >= kSlotCount) return nullptr;
  const int source0 = set.m_nLayerSource[LayerIndex(slot, 0)];
  if (source0 == -1) return nullptr;
  const int scheme = set.m_noteSlot[slot].nScheme;
  if (scheme < 0 || scheme >= kSchemeCount) return nullptr;
  const int layer = VelocityLayer(set.m_nVelocityThreshold[scheme], velocity);
  const int source = set.m_nLayerSource[LayerIndex(slot, layer)];
  if (source < 0 || source >= kLayerCount) return nullptr;
  const LayerSampleRef ref = set.m_layerSample[LayerIndex(slot, source)];
  if (ref.nGroup < 0 || ref.nGroup >= set.GroupCount() || ref.nGroup >= kGroupListSlots)
    return nullptr;
  const StringList* list = set.m_pGroupList[ref.nGroup].get();
  if (!list || ref.nIndex < 0 || static_cast<size_t>(ref.nIndex) >= list->size()) return nullptr;
  return &(*list)[ref.nIndex];
}

int32_t HydrogenVolumeScaling() {
  static const int32_t fitted = [] {
    int32_t best = 0;
    double bestError = -1;
    for (int32_t volume = -10000; volume <= 0; ++volume) {
      double error = 0;
      for (int v = 16; v <= kMaxVelocity; ++v) {
        const int32_t a = std::clamp(NoteAttenuation(volume, 127, v), -10000, 0);
        const double gain = a <= -10000 ? 0.0 : std::pow(10.0, a / 2000.0);
        error += (gain - v / 127.0) * (gain - v / 127.0);
      }
      if (bestError < 0 || error < bestError) {
        bestError = error;
        best = volume;
      }
    }
    return best;
  }();
  return fitted;
}

KitImportResult ImportHydrogenKit(const HydrogenKit& kit, const KitImportOptions& options) {
  KitImportResult result;
  std::vector<int> slots;
  if (!ChooseSlots(kit, options, slots, result)) {
    result.error = KitImportError::GmNotesUnusable;
    return result;
  }

  DrumSet set;
  set.m_pGroupNames->push_back(kit.strName);
  StringList& group = *set.m_pGroupList[0];
  std::map<std::string, int> entryOf;  // path -> group entry
  std::map<std::string, bool> opens;
  const int count = static_cast<int>(kit.instruments.size());

  // Every sample file, once, in instrument order; each missing one is named
  // once, with the first layer that uses it.
  std::vector<std::string> missing;
  std::map<std::string, std::pair<std::string, int>> usesOfMissing;  // first use, count
  for (int i = 0; i < count; ++i) {
    if (slots[i] < 0) continue;
    const HydrogenInstrument& instrument = kit.instruments[i];
    for (size_t l = 0; l < instrument.layers.size(); ++l) {
      const std::string& path = instrument.layers[l].strPath;
      auto [at, fresh] = opens.emplace(path, false);
      if (fresh) at->second = FileOpens(path);
      if (!at->second) {
        auto [use, first] = usesOfMissing.emplace(path, std::pair<std::string, int>{});
        if (first) {
          missing.push_back(path);
          use->second.first =
              "layer " + std::to_string(l + 1) + " of instrument " + Quoted(instrument.strName);
        }
        ++use->second.second;
      } else if (!entryOf.count(path)) {
        entryOf[path] = static_cast<int>(group.size());
        group.push_back(path);
      }
    }
  }
  for (const std::string& path : missing) {
    const auto& [first, uses] = usesOfMissing[path];
    result.messages.push_back(
        kit.strXmlPath + ": " + first + ": sample file " + path + " is missing; left out" +
        (uses > 1 ? " (it serves " + std::to_string(uses - 1) + " more layers too)" : ""));
  }
  if (group.empty()) {
    result.error = KitImportError::NoSamples;
    result.strError = kit.strXmlPath + ": not one of the kit's sample files was found";
    return result;
  }

  // What Hydrogen plays, per velocity, as indexes into each instrument's own files.
  std::vector<int> planned;  // instruments in the plan
  std::vector<VelocityTargets> targets;
  std::vector<std::vector<std::string>> ownFiles;
  for (int i = 0; i < count; ++i) {
    const HydrogenInstrument& instrument = kit.instruments[i];
    if (slots[i] < 0 || instrument.layers.empty()) continue;
    std::vector<std::string> files;
    VelocityTargets t{};
    t.fill(-1);
    for (int v = 1; v <= kMaxVelocity; ++v) {
      const int layer = HydrogenLayerFor(instrument, v);
      if (layer < 0 || !opens[instrument.layers[layer].strPath]) continue;
      const std::string& path = instrument.layers[layer].strPath;
      auto at = std::find(files.begin(), files.end(), path);
      if (at == files.end()) at = files.insert(files.end(), path);
      t[v] = static_cast<int16_t>(at - files.begin());
    }
    planned.push_back(i);
    targets.push_back(t);
    ownFiles.push_back(std::move(files));
  }
  const VelocityPlan plan = PlanVelocityLayers(targets);
  set.m_nVelocityThreshold = plan.thresholds;

  const int32_t volume = HydrogenVolumeScaling();
  for (size_t p = 0; p < planned.size(); ++p) {
    const int slot = slots[planned[p]];
    const auto& rows = plan.rowSample[p];
    if (rows[0] < 0) continue;  // Hydrogen plays none of its files
    NoteSlot& settings = set.m_noteSlot[slot];
    settings.nScheme = plan.scheme[p];
    settings.nVolume = volume;
    for (int r = 0; r < kLayerCount; ++r) {
      const int k = LayerIndex(slot, r);
      if (r > 0 && rows[r] == rows[r - 1]) {
        set.m_nLayerSource[k] = set.m_nLayerSource[k - 1];  // borrows the louder row's sample
      } else {
        set.m_nLayerSource[k] = r;
        set.m_layerSample[k] = {0, entryOf.at(ownFiles[p][rows[r]])};
      }
    }
  }
  ApplyMuteGroups(kit, slots, set, result);

  // What the drum set cannot hold, once per instrument.
  for (size_t p = 0; p < planned.size(); ++p) {
    const HydrogenInstrument& instrument = kit.instruments[planned[p]];
    const int slot = slots[planned[p]];
    std::vector<std::string> lost;
    for (const HydrogenLayer& layer : instrument.layers) {
      if (!opens[layer.strPath] ||
          std::find(lost.begin(), lost.end(), layer.strFileName) != lost.end())
        continue;
      bool heard = false, played = false;
      for (int v = 1; v <= kMaxVelocity; ++v) {
        const int h = HydrogenLayerFor(instrument, v);
        heard |= h >= 0 && instrument.layers[h].strPath == layer.strPath;
        const std::string* ours = SampleForVelocity(set, slot, v);
        played |= ours && *ours == layer.strPath;
      }
      if (heard && !played) lost.push_back(layer.strFileName);
    }
    if (!lost.empty())
      result.messages.push_back("instrument " + Quoted(instrument.strName) +
                                " loses velocity layers " + JoinNames(lost));
    if (!instrument.lostSettings.empty())
      result.messages.push_back("instrument " + Quoted(instrument.strName) + ": its " +
                                JoinNames(instrument.lostSettings) +
                                " cannot be kept in a drum set");
  }

  // The agreement, by playing both: the drum set as the trigger would, and
  // Hydrogen, which plays nothing for a missing file. Instruments with no file
  // at all play nothing in either and are not counted.
  for (int i : planned) {
    const HydrogenInstrument& instrument = kit.instruments[i];
    const bool any = std::any_of(instrument.layers.begin(), instrument.layers.end(),
                                 [&](const HydrogenLayer& layer) { return opens[layer.strPath]; });
    if (!any) continue;
    for (int v = 1; v <= kMaxVelocity; ++v) {
      const int h = HydrogenLayerFor(instrument, v);
      const std::string* theirs =
          h >= 0 && opens[instrument.layers[h].strPath] ? &instrument.layers[h].strPath : nullptr;
      const std::string* ours = SampleForVelocity(set, slots[i], v);
      result.nAgree += theirs ? ours && *ours == *theirs : !ours;
      ++result.nTotal;
    }
  }
  result.messages.push_back(kit.strName + ": plays the sample Hydrogen plays for " +
                            Percent(result.nAgree, result.nTotal) + " of velocities (" +
                            std::to_string(result.nAgree) + " of " + std::to_string(result.nTotal) +
                            " instrument and velocity pairs)");
  result.set = std::move(set);
  return result;
}

}  // namespace thumper
