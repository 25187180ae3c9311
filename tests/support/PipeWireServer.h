#pragma once
// A private PipeWire for end-to-end tests: pipewire and wireplumber on a
// session bus and runtime folder of their own, with a null sink as the
// "sound card", so the graph runs on a machine without one. JACK clients reach
// it through PipeWire's libjack (a program started with `pw-jack`). The server
// stops with the object, or with the process that made it.

#include <string>
#include <vector>

namespace thumper::test {

class PipeWireServer {
 public:
  // The name of the null sink, whose playback ports JACK clients see as the
  // system's.
  static constexpr const char* kSinkName = "thumper-test-sink";

  // Starts the server at this rate and quantum and waits until the sink is
  // there; sets XDG_RUNTIME_DIR and DBUS_SESSION_BUS_ADDRESS for this process
  // (and so for the programs it starts) until the object goes.
  explicit PipeWireServer(int rate = 48000, int quantum = 256);
  ~PipeWireServer();
  PipeWireServer(const PipeWireServer&) = delete;
  PipeWireServer& operator=(const PipeWireServer&) = delete;

  // What is missing for a test on PipeWire (a program's name), or empty.
  static std::string Missing();
  // Whether this process talks JACK to PipeWire (it was started through pw-jack).
  static bool ThisProcessUsesPipeWireJack();

  bool Running() const { return m_bReady; }
  const std::string& Failure() const { return m_strFailure; }
  // Forces the graph's rate, as `pw-metadata -n settings 0 clock.force-rate`
  // does; 0 lets it go back to its own.
  bool ForceRate(int rate);
  // Stops pipewire (and with it the graph), as a user stopping it would.
  void Stop();

 private:
  int Spawn(const std::string& program, const std::vector<std::string>& args,
            const std::string& log);
  bool WaitForSink();

  std::string m_strDir;
  std::string m_strFailure;
  std::string m_strOldRuntime, m_strOldBus;
  bool m_bHadRuntime = false, m_bHadBus = false;
  int m_nBus = -1, m_nPipeWire = -1, m_nWirePlumber = -1;
  bool m_bReady = false;
};

}  // namespace thumper::test
