#pragma once
// A host's tie to its session manager: the NSM client and the session's drum
// set wired together, with the dirty state followed from the document. The
// host polls it from its main loop. No GUI; control thread.

#include <iosfwd>
#include <memory>
#include <string>

#include "session/NsmClient.h"
#include "session/NsmSession.h"

namespace thumper {

inline constexpr const char* kPlayCapabilities = ":switch:dirty:";
inline constexpr const char* kWindowCapabilities = ":switch:dirty:optional-gui:";

class SessionLink {
 public:
  // Null when NSM_URL is not set, or (said on err) when it cannot be used: the
  // host then runs without a session. Otherwise announced, waiting for the open.
  // The executable is the name the program was started as.
  static std::unique_ptr<SessionLink> Start(ThumperRuntime& runtime, SampleListState& list,
                                            const std::string& kit, const JackClientOptions& jack,
                                            const std::string& capabilities, std::ostream& err);

  // Handles what the manager sent, and tells it whether the drum set has
  // unsaved changes. Call it often, or when Client().Fd() is readable.
  void Poll();

  NsmClient& Client() { return *m_pClient; }
  NsmSession& Session() { return m_session; }
  // Also for the window's own handlers (GUI, open and save with its frame).
  NsmHandlers& Handlers() { return m_handlers; }

 private:
  SessionLink(ThumperRuntime& runtime, SampleListState& list, const std::string& kit,
              const JackClientOptions& jack);

  CThumperDoc& m_doc;
  NsmSession m_session;
  NsmHandlers m_handlers;
  std::unique_ptr<NsmClient> m_pClient;
};

// The name this process was started as (argv[0]).
std::string StartedAs();

}  // namespace thumper
