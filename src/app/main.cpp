#include <iostream>

#include "app/cli/CommandLine.h"

int main(int argc, char** argv) {
  if (auto status = thumper::cli::RunCommandLine(argc, argv)) return *status;
  // The window comes with the application shell; until then say how to use us.
  std::cerr << thumper::cli::UsageText();
  return thumper::cli::kExitUsage;
}
