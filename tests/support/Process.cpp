#include "Process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <filesystem>
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

BackgroundProcess::BackgroundProcess(const std::vector<std::string>& argv) {
  char tmpl[] = "/tmp/thumper-bg-XXXXXX";
  if (!mkdtemp(tmpl)) throw std::runtime_error("cannot make a temporary folder");
  m_dir = tmpl;
  m_outPath = m_dir + "/stdout";
  m_errPath = m_dir + "/stderr";
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, m_outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  posix_spawn_file_actions_addopen(&actions, 2, m_errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                   0644);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const int rc = posix_spawn(&m_pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
}

BackgroundProcess::~BackgroundProcess() {
  if (m_pid > 0) Stop(SIGKILL);
  std::error_code ec;
  std::filesystem::remove_all(m_dir, ec);
}

namespace {

int StatusOf(int wstatus) {
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : 128 + WTERMSIG(wstatus);
}

}  // namespace

bool BackgroundProcess::Running() {
  if (m_pid <= 0) return false;
  int wstatus = 0;
  if (waitpid(m_pid, &wstatus, WNOHANG) == 0) return true;
  // Reaped here, so Stop must not wait for it again.
  m_nStatus = StatusOf(wstatus);
  m_pid = -1;
  return false;
}

std::string BackgroundProcess::ErrSoFar() const {
  return Slurp(m_errPath);
}

ProcessResult BackgroundProcess::Stop(int signal) {
  ProcessResult result;
  result.status = m_nStatus;
  if (m_pid > 0) {
    kill(m_pid, signal);
    int wstatus = 0;
    pid_t got;
    while ((got = waitpid(m_pid, &wstatus, 0)) < 0 && errno == EINTR) {
    }
    result.status = got == m_pid ? StatusOf(wstatus) : -1;
    m_pid = -1;
  }
  result.out = Slurp(m_outPath);
  result.err = Slurp(m_errPath);
  return result;
}

ProcessResult BackgroundProcess::Stop(int signal, std::chrono::milliseconds limit) {
  if (m_pid > 0) {
    kill(m_pid, signal);
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Running() && std::chrono::steady_clock::now() < deadline) usleep(10000);
    if (m_pid > 0) {
      ProcessResult result = Stop(SIGKILL);
      result.status = kHung;
      return result;
    }
  }
  return Stop(signal);
}

std::vector<std::string> ThumperArgv(const std::vector<std::string>& args) {
  std::vector<std::string> argv{THUMPER_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

ProcessResult RunThumper(const std::vector<std::string>& args, const std::string& input) {
  std::vector<std::string> argv{THUMPER_BINARY};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv, input);
}

}  // namespace thumper::test
