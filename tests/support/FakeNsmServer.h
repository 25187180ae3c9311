#pragma once
// A session manager for tests, written with liblo: it listens on a free UDP
// port (its URL, on 127.0.0.1, goes into NSM_URL), collects every message a
// client sends and sends the manager's requests to the client that announced
// itself. Pings ("/osc/ping") are answered whenever it receives, as nsmd
// does, and not collected. A request sent before any announce was taken is a
// failed expectation of the test, never a crash.

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace thumper::test {

struct OscMessage {
  std::string path;
  std::string types;
  std::vector<std::string> args;  // integers in decimal
};

class FakeNsmServer {
 public:
  FakeNsmServer();
  ~FakeNsmServer();
  FakeNsmServer(const FakeNsmServer&) = delete;
  FakeNsmServer& operator=(const FakeNsmServer&) = delete;

  bool Ok() const { return m_pServer != nullptr; }
  std::string Url() const;

  // Waits for the first message not yet taken that matches, and takes it; the
  // pump runs between looks (an in-process event loop). Nothing on time-out.
  std::optional<OscMessage> Take(const std::function<bool(const OscMessage&)>& match,
                                 std::chrono::milliseconds limit,
                                 const std::function<void()>& pump = {});
  std::optional<OscMessage> TakePath(const std::string& path, std::chrono::milliseconds limit,
                                     const std::function<void()>& pump = {});
  // The /reply or /error that answers the request path.
  std::optional<OscMessage> TakeAnswer(const std::string& request, std::chrono::milliseconds limit,
                                       const std::function<void()>& pump = {});
  // Everything received and not yet taken, after a short look for more.
  std::vector<OscMessage> Pending(const std::function<void()>& pump = {});

  // To the client whose announce was taken last.
  void ReplyAnnounce();
  void SendOpen(const std::string& prefix, const std::string& displayName,
                const std::string& clientId);
  void Send(const std::string& path);  // a request without arguments

  // A manager that hangs, or has gone: pings stay unanswered.
  void AnswerPings(bool answer) { m_bAnswerPings = answer; }
  int PingsReceived() const { return m_nPings; }

 private:
  void Receive(int timeoutMs);
  bool HasClient();
  // Keeps a message; an announce also names the client to talk to.
  void Store(OscMessage message, const std::string& sourceUrl);
  friend struct FakeNsmHandler;

  void* m_pServer = nullptr;  // lo_server
  void* m_pClient = nullptr;  // lo_address of the announced client
  std::vector<OscMessage> m_received;
  bool m_bAnswerPings = true;
  int m_nPings = 0;
};

}  // namespace thumper::test
