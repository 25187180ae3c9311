#include "support/JackDbusServer.h"

#include <jack/jack.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/Daemon.h"
#include "support/Process.h"

namespace thumper::test {

namespace {
constexpr const char* kController = "/org/jackaudio/Controller";
void Quiet(const char*) {}
}  // namespace

std::string JackDbusServer::Missing() {
  for (const char* program : {"jackdbus", "dbus-daemon", "dbus-send"})
    if (ProgramPath(program).empty()) return program;
  return {};
}

JackDbusServer::JackDbusServer(int rate, int period) {
  char tmpl[] = "/tmp/thumper-jackdbus-XXXXXX";
  if (!mkdtemp(tmpl)) {
    m_strFailure = "cannot make a folder";
    return;
  }
  m_strDir = tmpl;
  static std::atomic<int> counter{0};
  m_strName = "thumper-test-dbus-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  m_strBus = "unix:path=" + m_strDir + "/bus";
  m_nBus = SpawnDaemon("dbus-daemon", {"--session", "--nofork", "--address=" + m_strBus}, {},
                       m_strDir + "/dbus.log");
  WaitForPath(m_strDir + "/bus");
  // jackdbus keeps its settings and log under the home folder: a private one.
  m_nJackDbus = SpawnDaemon(
      "jackdbus", {"auto"},
      {{"DBUS_SESSION_BUS_ADDRESS", m_strBus}, {"HOME", m_strDir}, {"XDG_CONFIG_HOME", m_strDir}},
      m_strDir + "/jackdbus.log");
  // The service is there once a call answers.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool up = false;
  while (!(up = Set("engine", "driver", "string:dummy")) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  m_bReady = up && Set("engine", "realtime", "boolean:false") &&
             Set("engine", "name", "string:" + m_strName) &&
             Set("driver", "rate", "uint32:" + std::to_string(rate)) &&
             Set("driver", "period", "uint32:" + std::to_string(period)) &&
             Call({"org.jackaudio.JackControl.StartServer"});
  if (!m_bReady) {
    m_strFailure = "jackdbus did not start a server";
    return;
  }
  jack_set_error_function(Quiet);
  jack_set_info_function(Quiet);
  setenv("JACK_DEFAULT_SERVER", m_strName.c_str(), 1);
}

JackDbusServer::~JackDbusServer() {
  // Stopped cleanly, the server leaves JACK's registry of servers.
  if (m_bReady) Call({"org.jackaudio.JackControl.StopServer"});
  // jackdbus takes long over a SIGTERM, and ends soon when asked to.
  if (Call({"org.jackaudio.JackControl.Exit"}))
    for (int i = 0; i < 60 && !DaemonEnded(m_nJackDbus); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EndDaemon(m_nJackDbus);
  EndDaemon(m_nBus);
  unsetenv("JACK_DEFAULT_SERVER");
  if (!m_strDir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(m_strDir, ec);
  }
}

bool JackDbusServer::Call(const std::vector<std::string>& args) {
  std::vector<std::string> argv = {
      ProgramPath("dbus-send"),       "--bus=" + m_strBus, "--print-reply", "--reply-timeout=10000",
      "--dest=org.jackaudio.service", kController};
  argv.insert(argv.end(), args.begin(), args.end());
  return RunProcess(argv).status == 0;
}

bool JackDbusServer::Set(const std::string& group, const std::string& name,
                         const std::string& value) {
  return Call({"org.jackaudio.Configure.SetParameterValue", "array:string:" + group + "," + name,
               "variant:" + value});
}

bool JackDbusServer::SwitchRate(int rate) {
  return Set("driver", "rate", "uint32:" + std::to_string(rate)) &&
         Call({"org.jackaudio.JackControl.SwitchMaster"});
}

}  // namespace thumper::test
