#pragma once
// A client of a session manager that speaks NSM (New Session Manager,
// RaySession, Agordejo): OSC over UDP through liblo. It announces the program,
// hands the manager's open, save and GUI requests to the host and sends their
// replies, and reports the dirty state and the GUI's visibility. No GUI and no
// thread of its own: the host calls Poll() from its control thread (or when
// Fd() is readable), and every handler runs there.

#include <chrono>
#include <functional>
#include <iosfwd>
#include <memory>
#include <string>

namespace thumper {

inline constexpr const char* kNsmUrlVariable = "NSM_URL";
inline constexpr const char* kNsmApplicationName = "Thumper";

// The protocol's error codes.
enum class NsmError : int {
  General = -1,
  IncompatibleApi = -2,
  NoSuchFile = -5,
  NoSessionOpen = -6,
  NotNow = -8,
  BadProject = -9,
  CreateFailed = -10,
};

// What a handler answers: "/reply PATH message" when bOk, else "/error PATH code message".
struct NsmReply {
  bool bOk = true;
  NsmError nCode = NsmError::General;
  std::string strMessage;
  // An open answered with an error that still holds the session (a damaged
  // file replaced by a new one): its saves go on.
  bool bSessionHeld = false;

  static NsmReply Ok(std::string message) {
    return {true, NsmError::General, std::move(message), true};
  }
  static NsmReply Error(NsmError code, std::string message) {
    return {false, code, std::move(message), false};
  }
};

struct NsmHandlers {
  // /nsm/client/open: the path prefix of this client's files, the session's
  // display name and the client id.
  std::function<NsmReply(const std::string& pathPrefix, const std::string& displayName,
                         const std::string& clientId)>
      open;
  std::function<NsmReply()> save;
  // Only with the optional-gui capability; the host confirms with SetGuiShown.
  std::function<void()> showGui;
  std::function<void()> hideGui;
  // The manager did not answer the announce, or refused it: the program goes
  // on without a session. The message has been written already.
  std::function<void()> unavailable;
};

class NsmClient {
 public:
  // How long the announce may wait for the manager's answer.
  static constexpr std::chrono::milliseconds kAnnounceTimeout{3000};
  // Once the manager has accepted us it is pinged at most this often
  // ("/osc/ping", which nsmd and its kin answer), in practice at each Poll()
  // of the host's one-second beat; this many unanswered pings in a row mean
  // it is gone.
  static constexpr std::chrono::milliseconds kPingInterval{500};
  static constexpr int kMissedPingsGone = 2;

  // When NSM_URL is set: a client that has announced itself with the given
  // capabilities (":switch:dirty:" and so on) and executable name. Null when
  // the variable is not set, or (after one line on err) when it is malformed or
  // the manager cannot be reached: the program then runs without a session.
  static std::unique_ptr<NsmClient> FromEnvironment(const std::string& capabilities,
                                                    const std::string& executable,
                                                    NsmHandlers handlers, std::ostream& err);
  // The same for a given URL.
  static std::unique_ptr<NsmClient> Connect(const std::string& url, const std::string& capabilities,
                                            const std::string& executable, NsmHandlers handlers,
                                            std::ostream& err);
  ~NsmClient();
  NsmClient(const NsmClient&) = delete;
  NsmClient& operator=(const NsmClient&) = delete;

  // Handles every message that has arrived, without waiting, and notices an
  // announce left unanswered for too long. Control thread.
  void Poll();
  // The socket to watch for reading; Poll() when it is readable.
  int Fd() const;

  // The manager accepted the announce (false until then, and after it refused).
  bool Acknowledged() const { return m_state == State::Acknowledged; }
  // Gave up on the manager: the program runs without a session.
  bool Unavailable() const { return m_state == State::Unavailable; }
  // An open has succeeded: there is a session to save into.
  bool SessionOpen() const { return m_bSessionOpen; }
  const std::string& ManagerName() const { return m_strManager; }
  // The manager cannot be reached any more: a message to it could not be
  // sent, or it answered pings before and has stopped answering them. A
  // manager that never answers pings is never taken for gone.
  bool ManagerGone() const;

  // Reports the drum set's modified flag; sends only when it changes.
  void SetDirty(bool dirty);
  // Reports the GUI's visibility; sends only when it changes or is asked for,
  // or always (after an open, which may be of another session).
  void SetGuiShown(bool shown, bool always = false);

 private:
  enum class State { Announced, Acknowledged, Unavailable };
  struct Lo;

  NsmClient(std::unique_ptr<Lo> lo, NsmHandlers handlers, std::ostream& err);
  bool Announce(const std::string& capabilities, const std::string& executable);
  void GiveUp(const std::string& why);
  // Answers a request to the address it came from (void*: liblo's lo_address).
  void Answer(void* source, const char* path, const NsmReply& reply);
  void Send(const char* path);
  void Ping();

  friend struct NsmDispatch;  // liblo's method handlers

  std::unique_ptr<Lo> m_pLo;
  NsmHandlers m_handlers;
  std::ostream& m_err;
  State m_state = State::Announced;
  std::chrono::steady_clock::time_point m_announcedAt;
  std::string m_strManager;
  bool m_bSessionOpen = false;
  bool m_bDirty = false;  // as the manager last heard it
  int m_nGuiShown = -1;   // as the manager last heard it; -1: not yet told
  bool m_bSendFailed = false;
  bool m_bPingAnswered = false;  // the manager answers pings at all
  bool m_bPingOutstanding = false;
  int m_nMissedPings = 0;
  std::chrono::steady_clock::time_point m_lastPing;
};

}  // namespace thumper
