#include "engine/KitNoteNames.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "engine/KitVoices.h"
#include "engine/LoadedKit.h"
#include "play/NoteTrigger.h"

namespace thumper {

NoteNames DrumSetNoteNames(const CThumperDoc& doc) {
  NoteNames names;
  ForEachLayerSample(doc, [&](int nLayer, const std::string& path) {
    const int slot = nLayer / kLayerCount;
    if (nLayer % kLayerCount == 0 && 36 + slot < 128)
      names[36 + slot] = std::filesystem::path(path).filename().string();
  });
  return names;
}

NoteNames KitProgramNoteNames(const KitProgram& program) {
  NoteNames names;
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const KitNote& note = program.notes[n];
    if (note.sets.empty()) continue;
    names[n] = note.strName;
    if (!names[n].empty()) continue;
    // Unnamed: the file of its first region that sounds.
    for (const KitSet& set : note.sets) {
      for (const KitRegion& region : set.regions) {
        if (region.nSample == KitRegion::kNoSample || region.nSample >= program.samples.size())
          continue;
        names[n] = std::filesystem::path(program.samples[region.nSample].strPath).filename();
        break;
      }
      if (!names[n].empty()) break;
    }
  }
  return names;
}

NoteNamesResult KitNoteNames(const std::string& path, UiServices& ui,
                             const KitProgramOptions& options) {
  NoteNamesResult result;
  if (PlaysAsKitProgram(path)) {
    KitProgramResult read = ReadKitProgram(path, options);
    if (!read.program) {
      ui.Notice(read.strError, kAppName);
      return result;
    }
    result.names = KitProgramNoteNames(*read.program);
    result.bOk = true;
    return result;
  }
  CThumperDoc doc;
  if (!OpenKitDocument(path, doc, ui)) return result;
  result.names = DrumSetNoteNames(doc);
  result.bOk = true;
  return result;
}

NoteNames LoadedKitNoteNames(const LoadedKit& kit, UiServices& ui) {
  if (kit.m_strPath.empty()) return {};
  if (kit.m_bKitProgram) return kit.m_kitNoteNames;
  if (!PlaysAsKitProgram(kit.m_strPath)) return DrumSetNoteNames(kit.m_doc);
  return KitNoteNames(kit.m_strPath, ui).names;
}

NoteNames MappedNoteNames(const NoteNames& kitNames, const NoteMap& map) {
  NoteNames names;
  for (int n = 0; n < 128; ++n) {
    const NoteMap::Targets& targets = map.m_targets[n];
    std::vector<const std::string*> parts;
    for (int t = 0; t < targets.nCount; ++t) {
      const std::string& name = kitNames[targets.nNote[t] & 0x7F];
      if (name.empty()) continue;
      if (std::none_of(parts.begin(), parts.end(),
                       [&](const std::string* p) { return *p == name; }))
        parts.push_back(&name);
    }
    for (const std::string* part : parts) {
      if (!names[n].empty()) names[n] += " + ";
      names[n] += *part;
    }
  }
  return names;
}

}  // namespace thumper
