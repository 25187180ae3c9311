#pragma once
// A JACK server on the dummy backend for end-to-end tests, started with a name of
// its own and stopped with the object, and a recording client that captures
// what another client plays.

#include <jack/jack.h>

#include <atomic>
#include <string>
#include <vector>

namespace thumper::test {

class JackServer {
 public:
  // Starts `jackd --no-realtime -n NAME -d dummy -r rate -p period` and waits
  // until clients can connect; sets JACK_DEFAULT_SERVER for this process. The
  // server stops with the object, or with the thread that made it.
  explicit JackServer(int rate = 44100, int period = 128);
  // With a fixed name: a server of this name that was killed outright leaves
  // its registry entry behind, and the next one of the same name takes it back,
  // so tests that kill servers do not fill JACK's registry of eight.
  JackServer(int rate, int period, const std::string& name);
  ~JackServer();
  JackServer(const JackServer&) = delete;
  JackServer& operator=(const JackServer&) = delete;

  static bool Installed();
  bool Running() const { return m_bReady; }
  const std::string& Name() const { return m_strName; }
  // What jackd said when it did not start.
  const std::string& Failure() const { return m_strFailure; }
  // Stops the server now (to test a server that goes away).
  void Kill();
  // Kills it with SIGKILL, as a crash or an impatient user would.
  void KillHard();

 private:
  void Start(int rate, int period);
  bool Launch(int rate, int period, const std::string& log);
  bool WaitReady();

  std::string m_strName;
  std::string m_strFailure;
  int m_nRate = 44100, m_nPeriod = 128;
  bool m_bKilledHard = false;
  int m_nPid = -1;
  bool m_bReady = false;
};

// Two input ports; records everything they receive into preallocated memory.
class JackRecorder {
 public:
  explicit JackRecorder(double maxSeconds = 10.0);
  ~JackRecorder();
  JackRecorder(const JackRecorder&) = delete;
  JackRecorder& operator=(const JackRecorder&) = delete;

  bool Ok() const { return m_pClient != nullptr; }
  // Connects the output ports of the named client to our inputs, in order.
  bool ConnectFrom(const std::string& client);
  // Frames recorded so far, interleaved stereo.
  std::vector<float> Take();
  size_t Frames() const { return m_nFrames.load(); }
  // Periods the server reported as missed: a recording across one is no evidence.
  int Xruns() const { return m_nXruns.load(); }
  jack_client_t* Client() const { return m_pClient; }

 private:
  static int Process(jack_nframes_t frames, void* self);
  jack_client_t* m_pClient = nullptr;
  jack_port_t* m_pPorts[2] = {nullptr, nullptr};
  std::vector<float> m_data;
  std::atomic<size_t> m_nFrames{0};
  std::atomic<int> m_nXruns{0};
};

}  // namespace thumper::test
