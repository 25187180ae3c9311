#include "session/NsmClient.h"

#include <lo/lo.h>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>
#include <ostream>

namespace thumper {

namespace {

constexpr int kApiMajor = 1;
constexpr int kApiMinor = 2;

// liblo would print its own errors; every failure that matters is reported by us.
void QuietErrors(int, const char*, const char*) {}

bool ValidPort(const char* port) {
  if (!port || !*port) return false;
  char* end = nullptr;
  const long n = std::strtol(port, &end, 10);
  return *end == '\0' && n > 0 && n < 65536;
}

std::string Str(lo_arg* arg) {
  return arg ? std::string(&arg->s) : std::string();
}

// Whether the manager's host name gives an address. A machine whose own name
// is not in /etc/hosts cannot reach a URL that names it; liblo would only
// fail later, at each send.
bool HostResolves(const char* host, const char* port) {
  addrinfo hints = {};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host, port, &hints, &found) != 0) return false;
  ::freeaddrinfo(found);
  return true;
}

}  // namespace

struct NsmClient::Lo {
  lo_address manager = nullptr;
  lo_server server = nullptr;
  ~Lo() {
    if (server) lo_server_free(server);
    if (manager) lo_address_free(manager);
  }
};

// liblo's method handlers; each hands the message to its client. Returning 0
// marks a message as handled, so the catch-all below sees only unknown ones.
struct NsmDispatch {
  static NsmClient& Of(void* data) { return *static_cast<NsmClient*>(data); }

  static int Open(const char*, const char*, lo_arg** argv, int, lo_message msg, void* data) {
    NsmClient& c = Of(data);
    c.m_state = NsmClient::State::Acknowledged;  // an open answers the announce too
    NsmReply reply = NsmReply::Error(NsmError::General, "Thumper cannot open a session.");
    if (c.m_handlers.open) reply = c.m_handlers.open(Str(argv[0]), Str(argv[1]), Str(argv[2]));
    if (reply.bOk || reply.bSessionHeld) c.m_bSessionOpen = true;
    c.Answer(lo_message_get_source(msg), "/nsm/client/open", reply);
    return 0;
  }

  static int Save(const char*, const char*, lo_arg**, int, lo_message msg, void* data) {
    NsmClient& c = Of(data);
    NsmReply reply = NsmReply::Error(NsmError::NoSessionOpen, "No session is open yet.");
    if (c.m_bSessionOpen && c.m_handlers.save) reply = c.m_handlers.save();
    c.Answer(lo_message_get_source(msg), "/nsm/client/save", reply);
    return 0;
  }

  static int ShowGui(const char*, const char*, lo_arg**, int, lo_message, void* data) {
    NsmClient& c = Of(data);
    c.m_nGuiShown = -1;  // asked: the answer goes out even when nothing changes
    if (c.m_handlers.showGui) c.m_handlers.showGui();
    return 0;
  }

  static int HideGui(const char*, const char*, lo_arg**, int, lo_message, void* data) {
    NsmClient& c = Of(data);
    c.m_nGuiShown = -1;
    if (c.m_handlers.hideGui) c.m_handlers.hideGui();
    return 0;
  }

  // "/reply" "/nsm/server/announce" message manager-name capabilities
  static int Reply(const char*, const char* types, lo_arg** argv, int argc, lo_message,
                   void* data) {
    NsmClient& c = Of(data);
    if (argc >= 1 && types[0] == 's' && Str(argv[0]) == "/osc/ping") {
      c.m_bPingAnswered = true;
      c.m_bPingOutstanding = false;
      c.m_nMissedPings = 0;
      return 0;
    }
    if (argc < 1 || types[0] != 's' || Str(argv[0]) != "/nsm/server/announce") return 0;
    if (c.m_state == NsmClient::State::Unavailable) return 0;  // too late: we went on alone
    c.m_state = NsmClient::State::Acknowledged;
    if (argc >= 3 && types[2] == 's') c.m_strManager = Str(argv[2]);
    return 0;
  }

  // "/error" "/nsm/server/announce" code message
  static int Error(const char*, const char* types, lo_arg** argv, int argc, lo_message,
                   void* data) {
    NsmClient& c = Of(data);
    if (argc < 3 || types[0] != 's' || Str(argv[0]) != "/nsm/server/announce") return 0;
    if (c.m_state != NsmClient::State::Announced) return 0;
    c.GiveUp("the session manager refused Thumper: " +
             (types[2] == 's' ? Str(argv[2]) : std::string("no reason given")));
    return 0;
  }

  // Unknown messages are none of our business.
  static int Anything(const char*, const char*, lo_arg**, int, lo_message, void*) { return 0; }
};

std::unique_ptr<NsmClient> NsmClient::FromEnvironment(const std::string& capabilities,
                                                      const std::string& executable,
                                                      NsmHandlers handlers, std::ostream& err) {
  const char* url = std::getenv(kNsmUrlVariable);
  if (!url) return nullptr;
  return Connect(url, capabilities, executable, std::move(handlers), err);
}

std::unique_ptr<NsmClient> NsmClient::Connect(const std::string& url,
                                              const std::string& capabilities,
                                              const std::string& executable, NsmHandlers handlers,
                                              std::ostream& err) {
  auto lo = std::make_unique<Lo>();
  // The protocol first: liblo prints a line of its own for one it does not know.
  char* protocol = lo_url_get_protocol(url.c_str());
  const bool udp = protocol && std::string(protocol) == "udp";
  std::free(protocol);
  if (udp) lo->manager = lo_address_new_from_url(url.c_str());
  if (!lo->manager || lo_address_get_protocol(lo->manager) != LO_UDP ||
      !ValidPort(lo_address_get_port(lo->manager))) {
    err << "thumper: NSM_URL \"" << url
        << "\" is not a session manager's address (osc.udp://HOST:PORT/): running without a "
           "session\n";
    return nullptr;
  }
  if (const char* host = lo_address_get_hostname(lo->manager);
      !host || !HostResolves(host, lo_address_get_port(lo->manager))) {
    err << "thumper: the session manager's host \"" << (host ? host : "") << "\" in NSM_URL " << url
        << " cannot be found: running without a session\n";
    return nullptr;
  }
  lo->server = lo_server_new_with_proto(nullptr, LO_UDP, QuietErrors);
  if (!lo->server) {
    err << "thumper: no port to talk to the session manager at " << url
        << ": running without a session\n";
    return nullptr;
  }
  std::unique_ptr<NsmClient> client(new NsmClient(std::move(lo), std::move(handlers), err));
  if (!client->Announce(capabilities, executable)) {
    err << "thumper: the session manager at " << url << " cannot be reached ("
        << lo_address_errstr(client->m_pLo->manager) << "): running without a session\n";
    return nullptr;
  }
  return client;
}

NsmClient::NsmClient(std::unique_ptr<Lo> lo, NsmHandlers handlers, std::ostream& err)
    : m_pLo(std::move(lo)), m_handlers(std::move(handlers)), m_err(err) {
  lo_server s = m_pLo->server;
  lo_server_add_method(s, "/nsm/client/open", "sss", NsmDispatch::Open, this);
  lo_server_add_method(s, "/nsm/client/save", "", NsmDispatch::Save, this);
  lo_server_add_method(s, "/nsm/client/show_optional_gui", "", NsmDispatch::ShowGui, this);
  lo_server_add_method(s, "/nsm/client/hide_optional_gui", "", NsmDispatch::HideGui, this);
  lo_server_add_method(s, "/reply", nullptr, NsmDispatch::Reply, this);
  lo_server_add_method(s, "/error", nullptr, NsmDispatch::Error, this);
  lo_server_add_method(s, nullptr, nullptr, NsmDispatch::Anything, this);
}

NsmClient::~NsmClient() = default;

bool NsmClient::Announce(const std::string& capabilities, const std::string& executable) {
  m_announcedAt = std::chrono::steady_clock::now();
  return lo_send_from(m_pLo->manager, m_pLo->server, LO_TT_IMMEDIATE, "/nsm/server/announce",
                      "sssiii", kNsmApplicationName, capabilities.c_str(), executable.c_str(),
                      kApiMajor, kApiMinor, static_cast<int>(::getpid())) >= 0;
}

void NsmClient::GiveUp(const std::string& why) {
  m_state = State::Unavailable;
  m_err << "thumper: " << why << ": running without a session\n";
  if (m_handlers.unavailable) m_handlers.unavailable();
}

int NsmClient::Fd() const {
  return lo_server_get_socket_fd(m_pLo->server);
}

void NsmClient::Poll() {
  while (lo_server_recv_noblock(m_pLo->server, 0) > 0) {
  }
  const auto now = std::chrono::steady_clock::now();
  if (m_state == State::Announced && now - m_announcedAt > kAnnounceTimeout)
    GiveUp("the session manager at NSM_URL does not answer");
  if (m_state == State::Acknowledged && now - m_lastPing >= kPingInterval) Ping();
}

void NsmClient::Ping() {
  if (m_bPingOutstanding) ++m_nMissedPings;
  m_bPingOutstanding = true;
  m_lastPing = std::chrono::steady_clock::now();
  Send("/osc/ping");
}

bool NsmClient::ManagerGone() const {
  return m_bSendFailed || (m_bPingAnswered && m_nMissedPings >= kMissedPingsGone);
}

void NsmClient::Answer(void* source, const char* path, const NsmReply& reply) {
  lo_address to = source ? static_cast<lo_address>(source) : m_pLo->manager;
  if (reply.bOk)
    lo_send_from(to, m_pLo->server, LO_TT_IMMEDIATE, "/reply", "ss", path,
                 reply.strMessage.c_str());
  else
    lo_send_from(to, m_pLo->server, LO_TT_IMMEDIATE, "/error", "sis", path,
                 static_cast<int>(reply.nCode), reply.strMessage.c_str());
}

void NsmClient::Send(const char* path) {
  if (m_state == State::Unavailable) return;
  if (lo_send_from(m_pLo->manager, m_pLo->server, LO_TT_IMMEDIATE, path, "") < 0)
    m_bSendFailed = true;
}

void NsmClient::SetDirty(bool dirty) {
  if (dirty == m_bDirty || !m_bSessionOpen) return;
  m_bDirty = dirty;
  Send(dirty ? "/nsm/client/is_dirty" : "/nsm/client/is_clean");
}

void NsmClient::SetGuiShown(bool shown, bool always) {
  if (!always && m_nGuiShown == (shown ? 1 : 0)) return;
  m_nGuiShown = shown ? 1 : 0;
  Send(shown ? "/nsm/client/gui_is_shown" : "/nsm/client/gui_is_hidden");
}

}  // namespace thumper
