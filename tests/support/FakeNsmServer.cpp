#include "FakeNsmServer.h"

#include <gtest/gtest.h>
#include <lo/lo.h>

#include <thread>

namespace thumper::test {

namespace {

void Quiet(int, const char*, const char*) {}

}  // namespace

struct FakeNsmHandler {
  static int OnMessage(const char* path, const char* types, lo_arg** argv, int argc, lo_message msg,
                       void* data) {
    OscMessage m{path, types, {}};
    for (int i = 0; i < argc; ++i) {
      if (types[i] == 's')
        m.args.emplace_back(&argv[i]->s);
      else if (types[i] == 'i')
        m.args.push_back(std::to_string(argv[i]->i));
      else
        m.args.emplace_back();
    }
    char* url = lo_address_get_url(lo_message_get_source(msg));
    const std::string source = url ? url : "";
    free(url);
    static_cast<FakeNsmServer*>(data)->Store(std::move(m), source);
    return 0;
  }
};

FakeNsmServer::FakeNsmServer() {
  lo_server server = lo_server_new_with_proto(nullptr, LO_UDP, Quiet);
  if (!server) return;
  lo_server_add_method(server, nullptr, nullptr, FakeNsmHandler::OnMessage, this);
  m_pServer = server;
}

FakeNsmServer::~FakeNsmServer() {
  if (m_pClient) lo_address_free(static_cast<lo_address>(m_pClient));
  if (m_pServer) lo_server_free(static_cast<lo_server>(m_pServer));
}

std::string FakeNsmServer::Url() const {
  // By address, not by the machine's name (lo_server_get_url): a machine whose
  // name is not in /etc/hosts cannot reach that.
  if (!m_pServer) return {};
  return "osc.udp://127.0.0.1:" +
         std::to_string(lo_server_get_port(static_cast<lo_server>(m_pServer))) + "/";
}

void FakeNsmServer::Store(OscMessage message, const std::string& sourceUrl) {
  if (message.path == "/osc/ping") {
    ++m_nPings;
    if (m_bAnswerPings) {
      lo_address from = lo_address_new_from_url(sourceUrl.c_str());
      if (from) {
        lo_send_from(from, static_cast<lo_server>(m_pServer), LO_TT_IMMEDIATE, "/reply", "s",
                     "/osc/ping");
        lo_address_free(from);
      }
    }
    return;  // the heartbeat is no message a test looks for
  }
  if (message.path == "/nsm/server/announce") {
    if (m_pClient) lo_address_free(static_cast<lo_address>(m_pClient));
    m_pClient = lo_address_new_from_url(sourceUrl.c_str());
  }
  m_received.push_back(std::move(message));
}

void FakeNsmServer::Receive(int timeoutMs) {
  if (!m_pServer) {
    std::this_thread::sleep_for(std::chrono::milliseconds(timeoutMs));
    return;
  }
  auto server = static_cast<lo_server>(m_pServer);
  if (lo_server_recv_noblock(server, timeoutMs) > 0)
    while (lo_server_recv_noblock(server, 0) > 0) {
    }
}

std::optional<OscMessage> FakeNsmServer::Take(const std::function<bool(const OscMessage&)>& match,
                                              std::chrono::milliseconds limit,
                                              const std::function<void()>& pump) {
  const auto end = std::chrono::steady_clock::now() + limit;
  for (;;) {
    for (auto it = m_received.begin(); it != m_received.end(); ++it) {
      if (!match(*it)) continue;
      OscMessage m = std::move(*it);
      m_received.erase(it);
      return m;
    }
    if (std::chrono::steady_clock::now() > end) return std::nullopt;
    if (pump) pump();
    Receive(pump ? 5 : 20);
  }
}

std::optional<OscMessage> FakeNsmServer::TakePath(const std::string& path,
                                                  std::chrono::milliseconds limit,
                                                  const std::function<void()>& pump) {
  return Take([&](const OscMessage& m) { return m.path == path; }, limit, pump);
}

std::optional<OscMessage> FakeNsmServer::TakeAnswer(const std::string& request,
                                                    std::chrono::milliseconds limit,
                                                    const std::function<void()>& pump) {
  return Take(
      [&](const OscMessage& m) {
        return (m.path == "/reply" || m.path == "/error") && !m.args.empty() &&
               m.args[0] == request;
      },
      limit, pump);
}

std::vector<OscMessage> FakeNsmServer::Pending(const std::function<void()>& pump) {
  for (int i = 0; i < 10; ++i) {
    if (pump) pump();
    Receive(20);
  }
  std::vector<OscMessage> all;
  all.swap(m_received);
  return all;
}

bool FakeNsmServer::HasClient() {
  if (m_pClient) return true;
  ADD_FAILURE() << "the fake session manager has no client to send to: no announce was taken";
  return false;
}

void FakeNsmServer::ReplyAnnounce() {
  if (!HasClient()) return;
  lo_send_from(static_cast<lo_address>(m_pClient), static_cast<lo_server>(m_pServer),
               LO_TT_IMMEDIATE, "/reply", "ssss", "/nsm/server/announce", "Welcome.",
               "Fake Session Manager", ":server-control:");
}

void FakeNsmServer::SendOpen(const std::string& prefix, const std::string& displayName,
                             const std::string& clientId) {
  if (!HasClient()) return;
  lo_send_from(static_cast<lo_address>(m_pClient), static_cast<lo_server>(m_pServer),
               LO_TT_IMMEDIATE, "/nsm/client/open", "sss", prefix.c_str(), displayName.c_str(),
               clientId.c_str());
}

void FakeNsmServer::Send(const std::string& path) {
  if (!HasClient()) return;
  lo_send_from(static_cast<lo_address>(m_pClient), static_cast<lo_server>(m_pServer),
               LO_TT_IMMEDIATE, path.c_str(), "");
}

}  // namespace thumper::test
