#pragma once
// Runs a program the way a user's shell would, capturing what it prints.

#include <string>
#include <vector>

namespace thumper::test {

struct ProcessResult {
  int status = -1;  // exit status; 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "");

// The thumper program of this build, with the given arguments.
ProcessResult RunThumper(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace thumper::test
