#pragma once
// The drum set of an NSM session: where it lives (the client's path prefix
// with ".drums"), what an open, a switch and a save do to it, and the JACK
// client named after the client id so that the session's connections find it
// again. No GUI; control thread. Questions asked while it loads go through the
// runtime's UiServices, which the host sets to answer without a user.

#include <functional>
#include <string>

#include "audio/JackClientDevice.h"
#include "drumset/SampleListState.h"
#include "engine/ThumperRuntime.h"
#include "session/NsmClient.h"

namespace thumper {

inline constexpr const char* kSessionLoaded = "Loaded.";
inline constexpr const char* kSessionSaved = "Saved.";
// A session's drum set that cannot be read is renamed to its name with this
// and the date and time, and a new drum set takes its place.
inline constexpr const char* kDamagedSuffix = ".damaged-";

class NsmSession {
 public:
  // kit: the drum set a session without one starts from (copied into it);
  // empty for a new drum set. jack: the JACK client's options but its name.
  NsmSession(ThumperRuntime& runtime, SampleListState& list, std::string kit,
             JackClientOptions jack = {});

  // /nsm/client/open. A drum set held already is saved and released first (a
  // switch). The session's file is opened when it exists, or made from the kit
  // or as a new drum set; then the update step runs. A session's file that
  // cannot be read is kept aside (kDamagedSuffix) and a new drum set is held
  // in its place: the answer is an error that says so, and later saves work.
  NsmReply Open(const std::string& pathPrefix, const std::string& clientId);
  // /nsm/client/save: the drum set, atomically, to the session's file.
  NsmReply Save();

  // The session's drum set file; empty before the first successful open.
  const std::string& Path() const { return m_strPath; }
  const std::string& ClientId() const { return m_strClientId; }
  // The last open left a drum set held at the session's file, whatever it
  // answered (a damaged file was replaced by a new drum set).
  bool LastOpenHeld() const { return m_bLastOpenHeld; }

  // After the JACK client's name is set and before the drum set is read: the
  // host may open the driver it was asked for here.
  std::function<void()> m_onNamed;
  // After the drum set is read and before the update step.
  std::function<void()> m_onLoaded;

 private:
  void NameJackClient(const std::string& clientId);
  // Reads path into the document (the file's messages go to why); false leaves it as it was.
  bool Read(const std::string& path, std::string& why);

  ThumperRuntime& m_runtime;
  SampleListState& m_list;
  std::string m_strKit;
  JackClientOptions m_jack;
  std::string m_strPath;
  std::string m_strClientId;
  bool m_bLastOpenHeld = false;
};

}  // namespace thumper
