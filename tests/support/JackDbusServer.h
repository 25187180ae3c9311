#pragma once
// A JACK 2 server run by jackdbus on a private session bus, on the dummy
// backend: unlike jackd, it can change its rate while clients stay connected
// (a master driver switch, as `jack_control sm` does). Stopped with the object,
// or with the process that made it.

#include <string>
#include <vector>

namespace thumper::test {

class JackDbusServer {
 public:
  // Starts a server of a name of its own at this rate and period and sets
  // JACK_DEFAULT_SERVER for this process until the object goes.
  JackDbusServer(int rate, int period);
  ~JackDbusServer();
  JackDbusServer(const JackDbusServer&) = delete;
  JackDbusServer& operator=(const JackDbusServer&) = delete;

  // What is missing for it (a program's name), or empty.
  static std::string Missing();
  bool Running() const { return m_bReady; }
  const std::string& Failure() const { return m_strFailure; }
  // The dummy driver again at another rate, under the same clients.
  bool SwitchRate(int rate);

 private:
  bool Call(const std::vector<std::string>& args);
  bool Set(const std::string& group, const std::string& name, const std::string& value);

  std::string m_strDir, m_strBus, m_strName, m_strFailure;
  int m_nBus = -1, m_nJackDbus = -1;
  bool m_bReady = false;
};

}  // namespace thumper::test
