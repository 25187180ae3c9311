#include "Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "TestSupport.h"

extern char** environ;

namespace thumper::test {

namespace {
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}
}  // namespace

ProcessResult RunProcess(const std::vector<std::string>& argv, const std::string& input) {
  TempDir dir;
  const std::string inPath = dir / "stdin", outPath = dir / "stdout", errPath = dir / "stderr";
  WriteTextFile(inPath, input);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, inPath.c_str(), O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = 0;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  int wstatus = 0;
  while (waitpid(pid, &wstatus, 0) < 0) {
  }
  ProcessResult result;
  result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
  result.out = Slurp(outPath);
  result.err = Slurp(errPath);
  return result;
}

ProcessResult RunThumper(const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> argv{THUMPER_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, input);
}

}  // namespace thumper::test
