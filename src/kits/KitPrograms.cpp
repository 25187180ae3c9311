#include "kits/KitPrograms.h"

#include "kits/HydrogenProgram.h"
#include "kits/KitSources.h"

namespace thumper {

bool PlaysAsKitProgram(const std::string& path) {
  return IsHydrogenKitSource(path);
}

KitProgramResult ReadKitProgram(const std::string& path, const KitProgramOptions& options) {
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
