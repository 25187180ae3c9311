#include "support/PipeWireServer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "support/Daemon.h"
#include "support/Process.h"

namespace thumper::test {

namespace {

std::string ReadAll(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A fixed rate and quantum, so a test knows what the graph runs at, and the
// null sink as the driver of the graph.
std::string Config(int rate, int quantum) {
  const std::string r = std::to_string(rate), q = std::to_string(quantum);
  return "context.properties = {\n"
         "  default.clock.rate = " +
         r +
         "\n"
         "  default.clock.allowed-rates = [ 44100 48000 ]\n"
         "  default.clock.quantum = " +
         q +
         "\n"
         "  default.clock.min-quantum = " +
         q +
         "\n"
         "  default.clock.max-quantum = " +
         q +
         "\n"
         "}\n"
         "context.objects = [\n"
         "  { factory = adapter\n"
         "    args = {\n"
         "      factory.name = support.null-audio-sink\n"
         "      node.name = \"" +
         std::string(PipeWireServer::kSinkName) +
         "\"\n"
         "      media.class = Audio/Sink\n"
         "      audio.position = [ FL FR ]\n"
         "      object.linger = true\n"
         "    }\n"
         "  }\n"
         "]\n";
}

// A PipeWire tool, given at most a few seconds: a wedged server must not hang a test.
ProcessResult RunTool(const std::vector<std::string>& argv) {
  std::vector<std::string> limited = {ProgramPath("timeout"), "5", ProgramPath(argv[0])};
  if (limited[0].empty()) limited.erase(limited.begin(), limited.begin() + 2);
  limited.insert(limited.end(), argv.begin() + 1, argv.end());
  return RunProcess(limited);
}

void SetOrUnset(const char* name, bool had, const std::string& value) {
  if (had)
    setenv(name, value.c_str(), 1);
  else
    unsetenv(name);
}

}  // namespace

std::string PipeWireServer::Missing() {
  for (const char* program :
       {"pipewire", "wireplumber", "pw-jack", "pw-metadata", "pw-cli", "dbus-daemon"})
    if (ProgramPath(program).empty()) return program;
  return {};
}

bool PipeWireServer::ThisProcessUsesPipeWireJack() {
  return ReadAll("/proc/self/maps").find("pipewire-0.3/jack/libjack") != std::string::npos;
}

PipeWireServer::PipeWireServer(int rate, int quantum) {
  char tmpl[] = "/tmp/thumper-pw-XXXXXX";
  if (!mkdtemp(tmpl)) {
    m_strFailure = "cannot make a runtime folder";
    return;
  }
  m_strDir = tmpl;
  chmod(m_strDir.c_str(), 0700);
  const std::string confDir = m_strDir + "/config/pipewire/pipewire.conf.d";
  std::filesystem::create_directories(confDir);
  std::ofstream(confDir + "/thumper-test.conf") << Config(rate, quantum);

  if (const char* v = std::getenv("XDG_RUNTIME_DIR")) m_bHadRuntime = true, m_strOldRuntime = v;
  if (const char* v = std::getenv("DBUS_SESSION_BUS_ADDRESS")) m_bHadBus = true, m_strOldBus = v;
  setenv("XDG_RUNTIME_DIR", m_strDir.c_str(), 1);
  const std::string bus = "unix:path=" + m_strDir + "/bus";
  setenv("DBUS_SESSION_BUS_ADDRESS", bus.c_str(), 1);

  m_nBus = Spawn("dbus-daemon", {"--session", "--nofork", "--address=" + bus}, "dbus.log");
  // Each one once the one before it is there, as a desktop starts them.
  WaitForPath(m_strDir + "/bus");
  m_nPipeWire = Spawn("pipewire", {}, "pipewire.log");
  WaitForPath(m_strDir + "/pipewire-0");
  m_nWirePlumber = Spawn("wireplumber", {}, "wireplumber.log");
  m_bReady = m_nBus > 0 && m_nPipeWire > 0 && m_nWirePlumber > 0 && WaitForSink();
  if (!m_bReady) {
    const std::string log = ReadAll(m_strDir + "/pipewire.log");
    m_strFailure = "pipewire did not start" + (log.empty() ? "" : ": " + log.substr(0, 300));
  }
}

PipeWireServer::~PipeWireServer() {
  Stop();
  EndDaemon(m_nWirePlumber);
  EndDaemon(m_nBus);
  SetOrUnset("XDG_RUNTIME_DIR", m_bHadRuntime, m_strOldRuntime);
  SetOrUnset("DBUS_SESSION_BUS_ADDRESS", m_bHadBus, m_strOldBus);
  if (!m_strDir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(m_strDir, ec);
  }
}

int PipeWireServer::Spawn(const std::string& program, const std::vector<std::string>& args,
                          const std::string& log) {
  // Not the user's own configuration or state, nor any sound card: the null sink alone.
  const std::string config = m_strDir + "/config";
  return SpawnDaemon(program, args, {{"XDG_CONFIG_HOME", config}, {"XDG_STATE_HOME", config}},
                     m_strDir + "/" + log);
}

bool PipeWireServer::WaitForSink() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
  while (std::chrono::steady_clock::now() < deadline) {
    if (DaemonEnded(m_nPipeWire)) return false;
    const ProcessResult r = RunTool({"pw-cli", "ls", "Node"});
    if (r.out.find(kSinkName) != std::string::npos) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

bool PipeWireServer::ForceRate(int rate) {
  const ProcessResult r =
      RunTool({"pw-metadata", "-n", "settings", "0", "clock.force-rate", std::to_string(rate)});
  return r.status == 0;
}

void PipeWireServer::Stop() {
  EndDaemon(m_nPipeWire);
}

}  // namespace thumper::test
