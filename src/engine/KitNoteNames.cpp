#include "engine/KitNoteNames.h"

#include <filesystem>

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

}  // namespace thumper
