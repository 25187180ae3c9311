#include "support/JackServer.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

extern char** environ;

namespace thumper::test {

namespace {
void Quiet(const char*) {}
}  // namespace

bool JackServer::Installed() {
  const char* path = std::getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    const size_t end = dirs.find(':', start);
    const std::string dir = dirs.substr(start, end == std::string::npos ? end : end - start);
    if (!dir.empty() && access((dir + "/jackd").c_str(), X_OK) == 0) return true;
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return false;
}

JackServer::JackServer(int rate, int period) {
  static std::atomic<int> counter{0};
  m_strName = "thumper-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  const std::string r = std::to_string(rate), p = std::to_string(period);
  const char* argv[] = {"jackd", "--no-realtime", "-n", m_strName.c_str(), "-d",   "dummy",
                        "-r",    r.c_str(),       "-p", p.c_str(),         nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  const int rc =
      posix_spawnp(&pid, "jackd", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return;
  m_nPid = pid;
  setenv("JACK_DEFAULT_SERVER", m_strName.c_str(), 1);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (std::chrono::steady_clock::now() < deadline) {
    jack_status_t status;
    jack_client_t* c =
        jack_client_open("probe", static_cast<jack_options_t>(JackNoStartServer | JackServerName),
                         &status, m_strName.c_str());
    if (c) {
      jack_client_close(c);
      m_bReady = true;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

void JackServer::Kill() {
  if (m_nPid <= 0) return;
  kill(m_nPid, SIGTERM);
  int status = 0;
  for (int i = 0; i < 100; ++i) {
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
