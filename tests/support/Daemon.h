#pragma once
// Servers that tests start in the background (a session bus, an audio server):
// found on PATH, started with their own environment and log, ended for sure.

#include <string>
#include <utility>
#include <vector>

namespace thumper::test {

// The program found on PATH, or empty.
std::string ProgramPath(const std::string& name);

// Starts program (found on PATH) with args, its output in logPath and env set
// for it alone; it gets SIGTERM when this process dies. The pid, or -1.
int SpawnDaemon(const std::string& program, const std::vector<std::string>& args,
                const std::vector<std::pair<std::string, std::string>>& env,
                const std::string& logPath);

// SIGTERM, then SIGKILL after 5 s; pid becomes -1.
void EndDaemon(int& pid);

// Waits until path exists (a server's socket); false when it did not come.
bool WaitForPath(const std::string& path, int seconds = 10);

// Whether it has ended (and is reaped); pid becomes -1 then.
bool DaemonEnded(int& pid);

}  // namespace thumper::test
