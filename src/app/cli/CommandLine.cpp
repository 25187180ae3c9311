#include "app/cli/CommandLine.h"

#include <cstdio>
#include <iostream>
#include <sstream>

namespace thumper::cli {

namespace {

constexpr const char* kJsonStringsNote =
    "In the JSON of info and import, names and paths are UTF-8 strings. A stored name\n"
    "whose bytes are not UTF-8 (a kit made on Windows) is written as\n"
    "{\"bytes-cp1252\": \"TEXT\"}: its bytes read as Windows-1252. import writes those\n"
    "bytes back unchanged.\n";

}  // namespace

std::string UsageText() {
  return "Usage:\n"
         "  thumper [KIT.drums] [--multi-out]        open the window, optionally on a drum set\n"
         "  thumper KIT-FOLDER/drumkit.xml           open the window on a Hydrogen drum kit\n"
         "  thumper KIT.sfz                          open the window on an SFZ drum kit\n"
         "  thumper info KIT.drums                   print a drum set as JSON\n"
         "  thumper import SOURCE -o KIT.drums [--gm]\n"
         "                                           write the drum set of a kit JSON or a "
         "Hydrogen\n"
         "                                           kit (folder, drumkit.xml or .h2drumkit)\n"
         "  thumper kits [--notes KIT [--gm]]        list the Hydrogen drum kits installed,\n"
         "                                           or name the notes of one kit\n"
         "  thumper render KIT SONG.mid -o OUT.wav [--channel N] [--float]\n"
         "                [--note-map MAP] [--seed N] [--gm] [--stems DIR] [--memory MB]\n"
         "                                           render a MIDI file through a drum set,\n"
         "                                           a Hydrogen kit or an SFZ file\n"
         "  thumper play KIT [--driver N] [--midi N] [--channel N] [--period FRAMES]\n"
         "                   [--no-connect] [--note-map MAP] [--seed N] [--gm]\n"
         "                   [--multi-out] [--memory MB]\n"
         "                                           play a drum set live from MIDI, without a "
         "window\n"
         "                                           (KIT: a .drums file, a Hydrogen kit or\n"
         "                                           an SFZ file)\n"
         "  thumper play --list                      list the audio drivers and MIDI inputs\n"
         "  thumper cache [--clear]                  show the cache of converted samples, or empty "
         "it\n"
         "  thumper --help                           show this text\n"
         "  thumper COMMAND --help                   show the usage of one command\n"
         "  thumper --version                        show the version\n"
         "\n" +
         std::string(kJsonStringsNote) +
         "\n"
         "Exit status: 0 on success, 1 for bad usage, 2 for a file that cannot be read or "
         "written.\n";
}

std::string SubcommandUsage(const std::string& command) {
  // The subcommand's own lines of the usage: those that start with its name,
  // and the description lines indented under them.
  const std::string lead = "  thumper " + command + " ";
  std::istringstream lines(UsageText());
  std::string text, line;
  bool inside = false;
  while (std::getline(lines, line)) {
    if (line.rfind(lead, 0) == 0)
      inside = true;
    else if (line.rfind("  thumper", 0) == 0 || line.find_first_not_of(' ') == std::string::npos ||
             line.find_first_not_of(' ') < 4)
      inside = false;
    if (inside) text += line + "\n";
  }
  if (text.empty()) return {};
  if (command == "info" || command == "import") text += "\n" + std::string(kJsonStringsNote);
  return "Usage:\n" + text +
         "\nExit status: 0 on success, 1 for bad usage, 2 for a file that cannot be read or "
         "written.\n";
}

std::optional<int> RunCommandLine(int argc, char** argv) {
  if (argc < 2) return std::nullopt;
  const std::string command = argv[1];
  Args rest(argv + 2, argv + argc);
  if (command == "--help" || command == "-h") {
    std::cout << UsageText();
    return kExitOk;
  }
  if (command == "--version") {
    std::cout << "thumper " << THUMPER_VERSION << "\n";
    return kExitOk;
  }
  // "thumper play --help" and the like: the subcommand's usage, whatever else is given.
  for (const std::string& arg : rest) {
    if (arg != "--help" && arg != "-h") continue;
    const std::string usage = SubcommandUsage(command);
    if (usage.empty()) break;
    std::cout << usage;
    return kExitOk;
  }
  if (command == "info") return RunInfo(rest);
  if (command == "import") return RunImport(rest);
  if (command == "kits") return RunKits(rest);
  if (command == "render") return RunRender(rest);
  if (command == "play") return RunPlay(rest);
  if (command == "cache") return RunCache(rest);
  if (!command.empty() && command[0] == '-') {
    std::cerr << "thumper: unknown option " << command << "\n" << UsageText();
    return kExitUsage;
  }
  return std::nullopt;  // a drum set to open in the window
}

bool ParseWholeNumber(const std::string& text, uint64_t& seed) {
  if (text.empty() || text.size() > 20 || text.find_first_not_of("0123456789") != std::string::npos)
    return false;
  try {
    size_t used = 0;
    const unsigned long long v = std::stoull(text, &used, 10);
    if (used != text.size()) return false;
    seed = v;
    return true;
  } catch (...) {
    return false;
  }
}

bool ParseMemoryOption(const std::string& command, const std::string* text,
                       std::optional<uint64_t>& bytes) {
  uint64_t mb = 0;
  if (!text || !ParseWholeNumber(*text, mb) || mb == 0 || mb > (uint64_t{1} << 40)) {
    std::cerr << "thumper: " << command << ": --memory takes megabytes, a whole number from 1\n";
    return false;
  }
  bytes = mb * 1000000;  // megabytes as the messages count them
  return true;
}

std::optional<KitProgram> ReadKitProgramOption(const std::string& path, bool gm, int& status) {
  KitProgramOptions options;
  options.bGmNotes = gm;
  KitProgramResult read = ReadKitProgram(path, options);
  if (!read.program) {
    std::cerr << "thumper: " << read.strError << "\n";
    status = read.bUsageError ? kExitUsage : kExitFile;
    return std::nullopt;
  }
  for (const std::string& warning : read.program->warnings)
    std::cerr << "thumper: " << warning << "\n";
  status = kExitOk;
  return std::move(read.program);
}

bool ReadNoteMapOption(const std::string& nameOrPath, std::optional<NoteMap>& map) {
  NoteMapResult read = LoadNoteMap(nameOrPath);
  if (!read.map) {
    std::cerr << "thumper: " << read.strError << "\n";
    return false;
  }
  map = read.map;
  return true;
}

}  // namespace thumper::cli
