#include "support/JackServer.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>
#include <vector>

namespace thumper::test {

namespace {
void Quiet(const char*) {}
}  // namespace

// The jackd found on PATH, or empty.
std::string JackdPath() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
    if (!dir.empty() && access((dir + "/jackd").c_str(), X_OK) == 0) return dir + "/jackd";
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return {};
}

bool JackServer::Installed() {
  return !JackdPath().empty();
}

namespace {

// JACK keeps every server in one registry of eight entries and frees an entry
// only when its own server stops cleanly, so servers killed in earlier runs
// (a test timed out, a machine reset) fill it until no server starts at all.
constexpr const char* kRegistry = "/jack-shm-registry";

// Calls fn(pid, ppid, cmdline) for every jackd process of the machine.
template <class Fn>
void ForEachJackd(Fn fn) {
  DIR* proc = opendir("/proc");
  if (!proc) return;
  while (dirent* entry = readdir(proc)) {
    if (entry->d_name[0] < '0' || entry->d_name[0] > '9') continue;
    const std::string dir = std::string("/proc/") + entry->d_name;
    std::ifstream comm(dir + "/comm");
    std::string name;
    if (!std::getline(comm, name) || (name != "jackd" && name != "jackdmp")) continue;
    std::ifstream stat(dir + "/stat");
    std::string statLine;
    std::getline(stat, statLine);
    // pid (comm) state ppid ...
    const size_t close = statLine.rfind(')');
    int ppid = 0;
    if (close != std::string::npos) std::sscanf(statLine.c_str() + close + 1, " %*c %d", &ppid);
    std::ifstream cmd(dir + "/cmdline");
    const std::string cmdline((std::istreambuf_iterator<char>(cmd)),
                              std::istreambuf_iterator<char>());
    fn(std::atoi(entry->d_name), ppid, cmdline);
  }
  closedir(proc);
}

bool AnyJackdAlive() {
  bool alive = false;
  ForEachJackd([&](int, int, const std::string&) { alive = true; });
  return alive;
}

// Test servers that outlived the test that made them (left by an older build
// of these tests) hold registry entries for ever: asked to stop, they give
// them back.
void StopOrphanedTestServers() {
  std::vector<int> orphans;
  ForEachJackd([&](int pid, int ppid, const std::string& cmdline) {
    if (ppid == 1 && cmdline.find("thumper-test-") != std::string::npos) orphans.push_back(pid);
  });
  for (int pid : orphans) kill(pid, SIGTERM);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  for (int pid : orphans)
    while (kill(pid, 0) == 0 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

// Held while a server starts: the check that no server runs and the removal of
// the registry must not race with another test starting its own.
class StartLock {
 public:
  StartLock() : m_fd(open("/tmp/thumper-test-jackd.lock", O_RDWR | O_CREAT | O_CLOEXEC, 0666)) {
    if (m_fd >= 0) flock(m_fd, LOCK_EX);
  }
  ~StartLock() {
    if (m_fd >= 0) close(m_fd);
  }
  StartLock(const StartLock&) = delete;
  StartLock& operator=(const StartLock&) = delete;

 private:
  int m_fd;
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

JackServer::JackServer(int rate, int period) {
  static std::atomic<int> counter{0};
  m_strName = "thumper-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  Start(rate, period);
}

JackServer::JackServer(int rate, int period, const std::string& name) {
  m_strName = name;
  Start(rate, period);
}

void JackServer::Start(int rate, int period) {
  m_nRate = rate;
  m_nPeriod = period;
  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  const std::string log = "/tmp/" + m_strName + ".log";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    StartLock lock;
    // A process killed inside a write to JACK's metadata database (a port's
    // pretty name) leaves its lock held, and every client's close then waits
    // for it for good. With no server alive nobody uses it: it starts afresh.
    if (!AnyJackdAlive()) {
      std::error_code error;
      std::filesystem::remove_all("/dev/shm/jack_db-" + std::to_string(getuid()), error);
    }
    if (Launch(rate, period, log) && WaitReady()) break;
    const std::string output = ReadAll(log);
    m_strFailure = output.substr(0, output.find('\n'));
    Kill();
    if (output.find("Too many servers") == std::string::npos) break;
    StopOrphanedTestServers();
    // Only dead servers hold entries when none is alive: a fresh registry is safe.
    if (!AnyJackdAlive()) {
      shm_unlink(kRegistry);
    } else {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
  }
  unlink(log.c_str());
  if (m_bReady) setenv("JACK_DEFAULT_SERVER", m_strName.c_str(), 1);
}

bool JackServer::Launch(int rate, int period, const std::string& log) {
  const std::string r = std::to_string(rate), p = std::to_string(period);
  const char* argv[] = {"jackd", "--no-realtime", "-n", m_strName.c_str(), "-d",   "dummy",
                        "-r",    r.c_str(),       "-p", p.c_str(),         nullptr};
  const std::string jackd = JackdPath();
  const int out = open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (jackd.empty() || out < 0) {
    if (out >= 0) close(out);
    return false;
  }
  const pid_t parent = getpid();
  const pid_t pid = fork();
  if (pid == 0) {
    // A test that dies must not leave its server running or registered: SIGTERM
    // lets jackd unregister itself.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(out, 2);
    execv(jackd.c_str(), const_cast<char* const*>(argv));
    _exit(127);
  }
  close(out);
  if (pid < 0) return false;
  m_nPid = pid;
  return true;
}

bool JackServer::WaitReady() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    jack_status_t status;
    jack_client_t* c =
        jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                         &status, m_strName.c_str());
    if (c) {
      jack_client_close(c);
      m_bReady = true;
      return true;
    }
    int wstatus = 0;
    if (waitpid(m_nPid, &wstatus, WNOHANG) == m_nPid) {
      m_nPid = -1;
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

void JackServer::KillHard() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGKILL);
  int status = 0;
  waitpid(m_nPid, &status, 0);
  m_nPid = -1;
  m_bKilledHard = true;
}

void JackServer::Kill() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 200; ++i) {
    if (waitpid(m_nPid, &status, WNOHANG) == m_nPid) {
      m_nPid = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  kill(m_nPid, SIGKILL);
  waitpid(m_nPid, &status, 0);
  m_nPid = -1;
}

JackServer::~JackServer() {
  Kill();
  if (m_bKilledHard) {
    // A killed server leaves its entry in JACK's registry of eight; one more of
    // the same name takes it back and, stopped cleanly, gives it up.
    StartLock lock;
    const std::string log = "/tmp/" + m_strName + ".reap.log";
    if (Launch(m_nRate, m_nPeriod, log)) {
      WaitReady();
      Kill();
    }
    unlink(log.c_str());
  }
  unsetenv("JACK_DEFAULT_SERVER");
}

JackRecorder::JackRecorder(double maxSeconds) {
  jack_status_t status;
  m_pClient = jack_client_open("recorder", JackNoStartServer, &status);
  if (!m_pClient) return;
  m_data.assign(static_cast<size_t>(maxSeconds * jack_get_sample_rate(m_pClient)) * 2, 0.0f);
  m_pPorts[0] = jack_port_register(m_pClient, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  m_pPorts[1] = jack_port_register(m_pClient, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  jack_set_process_callback(m_pClient, &Process, this);
  jack_set_xrun_callback(
      m_pClient,
      [](void* self) {
        static_cast<JackRecorder*>(self)->m_nXruns.fetch_add(1);
        return 0;
      },
      this);
  if (jack_activate(m_pClient) != 0) {
    jack_client_close(m_pClient);
    m_pClient = nullptr;
  }
}

JackRecorder::~JackRecorder() {
  if (m_pClient) {
    jack_deactivate(m_pClient);
    jack_client_close(m_pClient);
  }
}

int JackRecorder::Process(jack_nframes_t frames, void* user) {
  auto* self = static_cast<JackRecorder*>(user);
  const auto* l = static_cast<const float*>(jack_port_get_buffer(self->m_pPorts[0], frames));
  const auto* r = static_cast<const float*>(jack_port_get_buffer(self->m_pPorts[1], frames));
  size_t at = self->m_nFrames.load(std::memory_order_relaxed);
  for (jack_nframes_t i = 0; i < frames && 2 * at + 1 < self->m_data.size(); ++i, ++at) {
    self->m_data[2 * at] = l[i];
    self->m_data[2 * at + 1] = r[i];
  }
  self->m_nFrames.store(at, std::memory_order_release);
  return 0;
}

bool JackRecorder::ConnectFrom(const std::string& client) {
  if (!m_pClient) return false;
  const char** ports = jack_get_ports(m_pClient, ("^" + client + ":").c_str(),
                                      JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput);
  if (!ports) return false;
  int n = 0;
  for (; ports[n] && n < 2; ++n) jack_connect(m_pClient, ports[n], jack_port_name(m_pPorts[n]));
  jack_free(ports);
  return n == 2;
}

std::vector<float> JackRecorder::Take() {
  const size_t n = m_nFrames.load(std::memory_order_acquire);
  return {m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(2 * n)};
}

}  // namespace thumper::test
