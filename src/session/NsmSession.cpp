#include "session/NsmSession.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
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

  std::error_code ec;
  const bool exists = std::filesystem::exists(path, ec);
  const std::string source = exists ? path : m_strKit;
  std::string why;
  if (!source.empty() && !Read(source, why))
    return NsmReply::Error(NsmError::BadProject,
                           "The drum set " + source + " cannot be opened: " + why);
  if (source.empty()) doc.OnNewDocument();
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
