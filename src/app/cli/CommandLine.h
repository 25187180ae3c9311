#pragma once
// The command line: the subcommands that run without a window.

#include <optional>
#include <string>
#include <vector>

#include "kits/KitPrograms.h"
#include "play/NoteMap.h"

namespace thumper::cli {

// Exit statuses of every subcommand.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitFile = 2;

using Args = std::vector<std::string>;

// Runs a subcommand (or --help / --version) when argv names one, and returns its
// exit status; nothing when the program should open its window instead.
std::optional<int> RunCommandLine(int argc, char** argv);

std::string UsageText();
// The usage lines of one subcommand, taken from UsageText; empty for a name
// that is no subcommand.
std::string SubcommandUsage(const std::string& command);

// The note map --note-map names (a file, or a built-in name): false, with the
// reason on standard error, when it cannot be read.
bool ReadNoteMapOption(const std::string& nameOrPath, std::optional<NoteMap>& map);

// A whole number from 0 to 2^64 - 1 (--seed, --memory).
bool ParseWholeNumber(const std::string& text, uint64_t& seed);

// --memory MB of command (render, play) in bytes: false, with the reason on
// standard error, when text is not a whole number of megabytes from 1.
bool ParseMemoryOption(const std::string& command, const std::string* text,
                       std::optional<uint64_t>& bytes);

// The kit at path read as a kit that plays as its maker made it, its warnings
// on standard error. Nothing, with the reason on standard error and the exit
// status in status, when it cannot be read.
std::optional<KitProgram> ReadKitProgramOption(const std::string& path, bool gm, int& status);

int RunInfo(const Args& args);
int RunImport(const Args& args);
int RunKits(const Args& args);
int RunRender(const Args& args);
int RunPlay(const Args& args);
int RunCache(const Args& args);

}  // namespace thumper::cli
