// thumper info KIT.drums: the whole drum set as JSON on standard output.

#include <iostream>

#include "app/cli/CommandLine.h"
#include "drumset/DocumentBase.h"
#include "drumset/DrumSetJson.h"
#include "drumset/DrumsFile.h"
#include "drumset/FileIo.h"

namespace thumper::cli {

int RunInfo(const Args& args) {
  if (args.size() != 1 || args[0].empty() || args[0][0] == '-') {
    std::cerr << "thumper: usage: thumper info KIT.drums\n";
    return kExitUsage;
  }
  const std::string& path = args[0];
  FileReadResult file = ReadWholeFile(path);
  if (file.error != FileError::None) {
    std::cerr << "thumper: " << FileErrorText(file.error, path) << "\n";
    return kExitFile;
  }
  DrumSet set;  // a zero-length file loads nothing, as the window does
  if (!file.bytes.empty()) {
    auto parsed = ParseDrumSet(file.bytes);
    if (!parsed) {
      std::cerr << "thumper: " << path << ": " << kUnexpectedFileFormat << "\n";
      return kExitFile;
    }
    set = std::move(*parsed);
  }
  std::cout << DrumSetToJson(set).dump(2, ' ', false) << "\n";
  std::cout.flush();
  if (!std::cout) {
    std::cerr << "thumper: cannot write to standard output\n";
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace thumper::cli
