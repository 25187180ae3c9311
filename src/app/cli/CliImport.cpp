// thumper import KIT.json -o KIT.drums: the drum set a JSON describes.

#include <iostream>

#include "app/cli/CommandLine.h"
#include "drumset/DrumSetJson.h"
#include "drumset/DrumsFile.h"
#include "drumset/FileIo.h"

namespace thumper::cli {

int RunImport(const Args& args) {
  std::string input, output;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" || args[i] == "--output") {
      if (i + 1 >= args.size()) {
        std::cerr << "thumper: import: -o needs a file name\n";
        return kExitUsage;
      }
      output = args[++i];
    } else if (input.empty() && (args[i] == "-" || args[i].empty() || args[i][0] != '-')) {
      input = args[i];
    } else {
      std::cerr << "thumper: import: unexpected argument " << args[i] << "\n";
      return kExitUsage;
    }
  }
  if (input.empty() || output.empty()) {
    std::cerr << "thumper: usage: thumper import KIT.json -o KIT.drums\n";
    return kExitUsage;
  }
  std::vector<uint8_t> bytes;
  if (input == "-") {
    bytes.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    FileReadResult file = ReadWholeFile(input);
    if (file.error != FileError::None) {
      std::cerr << "thumper: " << FileErrorText(file.error, input) << "\n";
      return kExitFile;
    }
    bytes = std::move(file.bytes);
  }
  DrumSet set;
  try {
    set = DrumSetFromJson(nlohmann::json::parse(bytes.begin(), bytes.end()));
  } catch (const nlohmann::json::parse_error& e) {
    std::cerr << "thumper: " << input << ": not valid JSON: " << e.what() << "\n";
    return kExitFile;
  } catch (const JsonImportError& e) {
    std::cerr << "thumper: " << input << ": " << e.what() << "\n";
    return kExitFile;
  }
  if (FileError error = WriteFileReplacing(output, SerializeDrumSet(set));
      error != FileError::None) {
    std::cerr << "thumper: " << FileErrorText(error, output) << "\n";
    return kExitFile;
  }
  return kExitOk;
}

}  // namespace thumper::cli
