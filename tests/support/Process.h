#pragma once
// Runs a program the way a user's shell would, capturing what it prints.

#include <chrono>
#include <string>
#include <vector>

namespace thumper::test {

struct ProcessResult {
  int status = -1;  // exit status; 128 + signal number when killed by a signal
  std::string out;
  std::string err;
};

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input = "");

// A program left running in the background, stopped with a signal.
class BackgroundProcess {
 public:
  explicit BackgroundProcess(const std::vector<std::string>& argv);
  ~BackgroundProcess();  // kills it if still running
  BackgroundProcess(const BackgroundProcess&) = delete;
  BackgroundProcess& operator=(const BackgroundProcess&) = delete;

  bool Running();
  int Pid() const { return m_pid; }
  // Sends the signal and waits for the end; then out and err hold what it printed.
  ProcessResult Stop(int signal);
  // The same, but a program still running after limit is killed with SIGKILL
  // and reported as hung (status kHung).
  static constexpr int kHung = -2;
  ProcessResult Stop(int signal, std::chrono::milliseconds limit);
  std::string ErrSoFar() const;

 private:
  int m_pid = -1;
  int m_nStatus = -1;  // the exit status once Running() has seen the end
  std::string m_dir, m_outPath, m_errPath;
};

std::vector<std::string> ThumperArgv(const std::vector<std::string>& args);

// The thumper program of this build, with the given arguments.
ProcessResult RunThumper(const std::vector<std::string>& args, const std::string& input = "");

}  // namespace thumper::test
