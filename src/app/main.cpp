#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>

#include "app/cli/CommandLine.h"

namespace {

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
