#include "kits/KitPrograms.h"

#include "kits/HydrogenProgram.h"
#include "kits/KitSources.h"
#include "kits/SfzFiles.h"
#include "kits/SfzProgram.h"
#include "kits/SfzReader.h"

namespace thumper {

bool PlaysAsKitProgram(const std::string& path) {
  return IsHydrogenKitSource(path) || IsSfzFile(path);
}

namespace {

// An SFZ file: read, then compiled; what the reader found wrong comes first
// among the warnings.
KitProgramResult ReadSfzProgram(const std::string& path, const KitProgramOptions& options) {
  KitProgramResult result;
  SfzReadResult read = ReadSfzKit(path);
  if (!read.kit) {
    result.strError = read.strError;
    return result;
  }
  result = CompileSfzKit(*read.kit, options);
  if (result.program) {
    std::vector<std::string> warnings = std::move(read.messages);
    if (read.nMessagesLeftOut)
      warnings.push_back(path + ": " + std::to_string(read.nMessagesLeftOut) +
                         " more problems not listed");
    for (std::string& w : result.program->warnings) warnings.push_back(std::move(w));
    result.program->warnings = std::move(warnings);
  }
  return result;
}

}  // namespace

KitProgramResult ReadKitProgram(const std::string& path, const KitProgramOptions& options) {
  if (IsSfzFile(path)) return ReadSfzProgram(path, options);
  KitProgramResult result;
  const KitFolderResult folder = KitFolderOf(path);
  if (!folder.strError.empty()) {
    result.strError = folder.strError;
    return result;
  }
  result.strUnpackedTo = folder.strUnpackedTo;
  KitReadResult read = ReadHydrogenKit(folder.strPath);
  if (!read.kit) {
    result.strError = read.strError;
    return result;
  }
  KitProgramResult compiled = CompileHydrogenKit(*read.kit, options);
  compiled.strUnpackedTo = result.strUnpackedTo;
  return compiled;
}

}  // namespace thumper
