// thumper kits: the Hydrogen drum kits installed on this machine.

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/cli/CommandLine.h"
#include "kits/KitSources.h"

namespace thumper::cli {

int RunKits(const Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << "Usage: thumper kits\n"
                 "Lists the Hydrogen drum kits installed, with their instrument and layer\n"
                 "counts and their folders. Open one with thumper FOLDER/drumkit.xml, or make\n"
                 "it a drum set with thumper import FOLDER -o KIT.drums.\n";
    return kExitOk;
  }
  if (!args.empty()) {
    std::cerr << "thumper: usage: thumper kits\n";
    return kExitUsage;
  }
  std::vector<std::string> errors;
  const std::vector<FoundKit> kits = FindInstalledKits(errors);
  for (const std::string& error : errors) std::cerr << "thumper: " << error << "\n";
  if (kits.empty()) {
    std::cout << "No Hydrogen drum kits found. Looked in:\n";
    for (const std::string& folder : KitSearchFolders()) std::cout << "  " << folder << "\n";
    std::cout << "Install some (Debian: apt install hydrogen-drumkits), or import a .h2drumkit\n"
                 "with: thumper import KIT.h2drumkit -o KIT.drums\n";
    return kExitOk;
  }
  size_t width = 4;
  for (const FoundKit& found : kits) width = std::max(width, found.kit.strName.size());
  std::printf("%-*s  %11s  %6s  %s\n", static_cast<int>(width), "NAME", "INSTRUMENTS", "LAYERS",
              "PATH");
  for (const FoundKit& found : kits) {
    std::printf("%-*s  %11zu  %6d  %s\n", static_cast<int>(width), found.kit.strName.c_str(),
                found.kit.instruments.size(), found.kit.LayerCount(), found.strFolder.c_str());
  }
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace thumper::cli
