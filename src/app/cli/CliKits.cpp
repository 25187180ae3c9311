// thumper kits: the Hydrogen drum kits installed on this machine, or what the
// notes of one kit are called.

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "app/cli/CommandLine.h"
#include "app/cli/ConsoleUi.h"
#include "engine/KitNoteNames.h"
#include "kits/KitSources.h"

namespace thumper::cli {

namespace {

constexpr const char* kKitsUsage = "thumper: usage: thumper kits [--notes KIT [--gm]]\n";

// Every note of the kit that has a name, one per line: the number and the name.
int PrintNoteNames(const std::string& path, bool gm) {
  ConsoleUi ui(std::cerr);
  KitProgramOptions options;
  options.bGmNotes = gm;
  const NoteNamesResult names = KitNoteNames(path, ui, options);
  if (!names.bOk) return kExitFile;
  for (int n = 0; n < 128; ++n)
    if (!names.names[n].empty()) std::printf("%3d  %s\n", n, names.names[n].c_str());
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace

int RunKits(const Args& args) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    std::cout << "Usage: thumper kits\n"
                 "       thumper kits --notes KIT [--gm]\n"
                 "Lists the Hydrogen drum kits installed, with their instrument and layer\n"
                 "counts and their folders. Open one with thumper FOLDER/drumkit.xml, or make\n"
                 "it a drum set with thumper import FOLDER -o KIT.drums.\n"
                 "With --notes, prints what each note of KIT (a drum set, a Hydrogen kit or an\n"
                 "SFZ file) is called, as a DAW's piano roll shows it; --gm places a Hydrogen\n"
                 "kit's instruments on their General MIDI notes, as render and play do.\n";
    return kExitOk;
  }
  if (!args.empty() && args[0] == "--notes") {
    const bool gm = args.size() == 3 && args[2] == "--gm";
    if (args.size() < 2 || args.size() > 3 || (args.size() == 3 && !gm) || args[1].empty()) {
      std::cerr << kKitsUsage;
      return kExitUsage;
    }
    return PrintNoteNames(args[1], gm);
  }
  if (!args.empty()) {
    std::cerr << kKitsUsage;
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
