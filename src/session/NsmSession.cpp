#include "session/NsmSession.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <system_error>

namespace thumper {

namespace {

// Passes everything on and keeps the last message, so that a reply can name
// the reason a file step failed.
class MessageCapture : public UiServices {
 public:
  explicit MessageCapture(UiServices& inner) : m_inner(inner) {}

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                       MsgIcon icon) override {
    m_strLast = text;
    return m_inner.MessageBox(text, caption, buttons, icon);
  }
  FileDialogResult FileDialog(const FileDialogParams& params) override {
    return m_inner.FileDialog(params);
  }
  std::optional<std::string> CreateGroupDialog(const std::string& offeredName) override {
    return m_inner.CreateGroupDialog(offeredName);
  }
  const std::string& Last() const { return m_strLast; }

 private:
  UiServices& m_inner;
  std::string m_strLast;
};

// Where the session's file is to be written: its folder made if missing, and writable.
std::string WritableFolderProblem(const std::string& path) {
  const std::filesystem::path folder = std::filesystem::path(path).parent_path();
  if (folder.empty()) return {};
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) return "The folder " + folder.string() + " cannot be made: " + ec.message() + ".";
  if (::access(folder.c_str(), W_OK) != 0)
    return "The folder " + folder.string() + " cannot be written: " + std::strerror(errno) + ".";
  return {};
}

// A name beside path for a damaged drum set that is kept: the date and time
// it was found, and a count when that name is taken already.
std::string DamagedName(const std::string& path) {
  const std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  const std::string base = path + kDamagedSuffix + stamp;
  std::string name = base;
  std::error_code ec;
  for (int n = 2; std::filesystem::exists(name, ec); ++n) name = base + "-" + std::to_string(n);
  return name;
}

}  // namespace

NsmSession::NsmSession(ThumperRuntime& runtime, SampleListState& list, std::string kit,
                       JackClientOptions jack)
    : m_runtime(runtime), m_list(list), m_strKit(std::move(kit)), m_jack(std::move(jack)) {}

bool NsmSession::Read(const std::string& path, std::string& why) {
  MessageCapture capture(m_runtime.m_ui);
  if (m_runtime.m_doc.OnOpenDocument(path, capture)) return true;
  why = capture.Last();
  return false;
}

void NsmSession::NameJackClient(const std::string& clientId) {
  JackClientOptions options = m_jack;
  options.strName = clientId;
  // The session restores the connections it saved (jackpatch and the like):
  // connecting the outputs here would add to them.
  options.bConnectOutputs = false;
  m_runtime.m_output.SetJackOptions(options);
  const SoundDevice* device = m_runtime.m_output.m_pDirectSound.get();
  if (!device || device->ClientName().empty() || device->ClientName() == clientId) return;
  // The JACK client of the session before: reopen the same driver under the new
  // name. Every voice goes first; the update step loads the new drum set's.
  m_runtime.ResetVoices(false);
  m_runtime.m_output.SetVoiceResetter(nullptr);
  m_runtime.m_output.InitDirectSound(m_runtime.m_ui, true);
  m_runtime.m_output.SetVoiceResetter(&m_runtime);
}

NsmReply NsmSession::Open(const std::string& pathPrefix, const std::string& clientId) {
  if (pathPrefix.empty())
    return NsmReply::Error(NsmError::BadProject, "The session gave no path for Thumper's files.");
  const std::string path = pathPrefix + ".drums";
  if (const std::string problem = WritableFolderProblem(path); !problem.empty())
    return NsmReply::Error(NsmError::CreateFailed, problem);

  CThumperDoc& doc = m_runtime.m_doc;
  if (!m_strPath.empty()) {
    // A switch: what the session before holds is kept there.
    MessageCapture capture(m_runtime.m_ui);
    if (!doc.OnSaveDocument(m_strPath, capture))
      return NsmReply::Error(NsmError::General, "The drum set could not be saved to " + m_strPath +
                                                    " before the "
                                                    "switch: " +
                                                    capture.Last());
  }

  m_bLastOpenHeld = false;
  std::error_code ec;
  bool exists = std::filesystem::exists(path, ec);
  const std::string source = exists ? path : m_strKit;
  std::string why;
  std::string damaged;  // the text of the error that answers the open, when set
  if (!source.empty() && !Read(source, why)) {
    if (!exists)
      return NsmReply::Error(NsmError::BadProject,
                             "The drum set " + source + " cannot be opened: " + why);
    // The session's own file: kept aside for whoever can mend it, and the
    // session goes on with a new drum set that its saves can write.
    const std::string aside = DamagedName(path);
    std::filesystem::rename(path, aside, ec);
    if (ec)
      return NsmReply::Error(NsmError::BadProject,
                             "The drum set " + path + " cannot be opened: " + why +
                                 " It cannot be moved aside either: " + ec.message() + ".");
    damaged = "The drum set " + path + " cannot be opened: " + why + " It is kept as " + aside +
              ", and Thumper goes on with a new drum set.";
    exists = false;
  }
  if (source.empty() || !damaged.empty()) doc.OnNewDocument();
  NameJackClient(clientId);
  if (m_onNamed) m_onNamed();
  if (m_onLoaded) m_onLoaded();
  // Samples are searched for next to the file read, before it is saved elsewhere.
  m_runtime.UpdateStep(m_list);

  if (!exists) {
    MessageCapture capture(m_runtime.m_ui);
    if (!doc.OnSaveDocument(path, capture))
      return NsmReply::Error(NsmError::CreateFailed,
                             "The drum set cannot be written to " + path + ": " + capture.Last());
  }
  m_strPath = path;
  m_strClientId = clientId;
  m_bLastOpenHeld = true;
  if (!damaged.empty()) {
    NsmReply reply = NsmReply::Error(NsmError::BadProject, damaged);
    reply.bSessionHeld = true;
    return reply;
  }
  return NsmReply::Ok(kSessionLoaded);
}

NsmReply NsmSession::Save() {
  if (m_strPath.empty()) return NsmReply::Error(NsmError::NoSessionOpen, "No session is open.");
  MessageCapture capture(m_runtime.m_ui);
  if (!m_runtime.m_doc.OnSaveDocument(m_strPath, capture))
    return NsmReply::Error(NsmError::General,
                           "The drum set cannot be saved to " + m_strPath + ": " + capture.Last());
  return NsmReply::Ok(kSessionSaved);
}

}  // namespace thumper
