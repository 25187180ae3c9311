// thumper import SOURCE -o KIT.drums: the drum set a JSON describes, or a
// Hydrogen drum kit (its folder, its drumkit.xml or a .h2drumkit archive),
// recognised by content.

#include <iostream>

#include "app/cli/CommandLine.h"
#include "drumset/DrumSetJson.h"
#include "drumset/DrumsFile.h"
#include "drumset/FileIo.h"
#include "kits/KitSources.h"

namespace thumper::cli {
namespace {

constexpr const char* kImportUsage =
    "thumper: usage: thumper import SOURCE -o KIT.drums [--gm]\n"
    "  SOURCE is a kit JSON, a Hydrogen kit folder, its drumkit.xml or a .h2drumkit archive\n";

int WriteDrumSet(const DrumSet& set, const std::string& output) {
  if (FileError error = WriteFileReplacing(output, SerializeDrumSet(set));
      error != FileError::None) {
    std::cerr << "thumper: " << FileErrorText(error, output) << "\n";
    return kExitFile;
  }
  return kExitOk;
}

int ImportJson(const std::string& input, const std::string& output) {
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
  return WriteDrumSet(set, output);
}

int ImportHydrogen(const std::string& input, const std::string& output, bool gm) {
  KitImportOptions options;
  options.bGmNotes = gm;
  const KitSourceResult result = ImportKitSource(input, options);
  if (!result.strUnpackedTo.empty())
    std::cerr << "thumper: " << input
              << (result.bReused ? " is already unpacked in " : " unpacked into ")
              << result.strUnpackedTo << "\n";
  for (const std::string& line : result.import.messages) std::cerr << "thumper: " << line << "\n";
  if (!result.strError.empty()) {
    std::cerr << "thumper: " << result.strError << "\n";
    return result.bUsageError ? kExitUsage : kExitFile;
  }
  return WriteDrumSet(*result.import.set, output);
}

}  // namespace

int RunImport(const Args& args) {
  std::string input, output;
  bool gm = false;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" || args[i] == "--output") {
      if (i + 1 >= args.size()) {
        std::cerr << "thumper: import: -o needs a file name\n";
        return kExitUsage;
      }
      output = args[++i];
    } else if (args[i] == "--gm") {
      gm = true;
    } else if (input.empty() && (args[i] == "-" || args[i].empty() || args[i][0] != '-')) {
      input = args[i];
    } else {
      std::cerr << "thumper: import: unexpected argument " << args[i] << "\n";
      return kExitUsage;
    }
  }
  if (input.empty() || output.empty()) {
    std::cerr << kImportUsage;
    return kExitUsage;
  }
  const KitSourceKind kind = input == "-" ? KitSourceKind::KitJson : KindOfKitSource(input);
  if (gm && (kind == KitSourceKind::KitJson)) {
    std::cerr << "thumper: import: --gm applies to Hydrogen kits only\n";
    return kExitUsage;
  }
  switch (kind) {
    case KitSourceKind::DrumkitXml:
    case KitSourceKind::KitFolder:
    case KitSourceKind::KitArchive:
      return ImportHydrogen(input, output, gm);
    default:
      // A file that cannot be read gets its error from the JSON path.
      return ImportJson(input, output);
  }
}

}  // namespace thumper::cli
