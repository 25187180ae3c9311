#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "app/cli/CommandLine.h"

namespace {

constexpr const char* kPlayProgramName = "thumper-play";

#ifdef THUMPER_WINDOW_MODULE
// The window module: beside the program in the build tree, in the library
// folder once installed.
std::string FindWindowModule() {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return THUMPER_WINDOW_MODULE;
  const std::filesystem::path dir = self.parent_path();
  for (const std::filesystem::path& candidate :
       {dir / THUMPER_WINDOW_MODULE, dir / THUMPER_WINDOW_MODULE_INSTALLED}) {
    if (std::filesystem::exists(candidate, error)) return candidate.string();
  }
  return (dir / THUMPER_WINDOW_MODULE_INSTALLED).string();
}
#endif

}  // namespace

int main(int argc, char** argv) {
  // Started as thumper-play: "thumper play" under a name of its own, since a
  // session manager starts its clients by name, without arguments.
  if (argc > 0 && std::filesystem::path(argv[0]).filename() == kPlayProgramName &&
      !(argc > 1 && std::string(argv[1]) == "--version")) {
    std::vector<char*> play{argv[0], const_cast<char*>("play")};
    play.insert(play.end(), argv + 1, argv + argc);
    play.push_back(nullptr);
    return *thumper::cli::RunCommandLine(argc + 1, play.data());
  }
  // The subcommands run without a window (and without a display), and without
  // loading the GUI libraries: they start in a fraction of the time.
  if (auto status = thumper::cli::RunCommandLine(argc, argv)) return *status;

#ifdef THUMPER_WINDOW_MODULE
  const std::string path = FindWindowModule();
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    std::cerr << "thumper: cannot load the window: " << dlerror() << "\n";
    return thumper::cli::kExitFile;
  }
  using WindowMain = int (*)(int, char**);
  auto run = reinterpret_cast<WindowMain>(dlsym(module, "thumper_window_main"));
  if (!run) {
    std::cerr << "thumper: cannot load the window: " << path << " has no entry point\n";
    return thumper::cli::kExitFile;
  }
  // The module stays loaded until the process ends: Qt's exit handlers live in it.
  return run(argc, argv);
#else
  std::cerr << "thumper: this build has no window; use a subcommand.\n"
            << thumper::cli::UsageText();
  return thumper::cli::kExitUsage;
#endif
}
