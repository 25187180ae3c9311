#include "app/DocManager.h"

#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <system_error>

#include "engine/KitProgramVoices.h"
#include "kits/KitPrograms.h"
#include "kits/KitSources.h"

namespace thumper {
namespace {

bool SameFile(const std::string& a, const std::string& b) {
  if (a.empty() || b.empty()) return false;
  std::error_code ec;
  if (std::filesystem::equivalent(a, b, ec)) return true;
  return a == b;
}

// The framework offers the title up to its first blank or separator, with the
// extension: "New Drumset (Not Saved)" is offered as "New.drums".
std::string OfferedSaveName(const CThumperDoc& doc) {
  if (!doc.GetPathName().empty()) return doc.GetPathName();
  std::string name = doc.GetTitle();
  const size_t bad = name.find_first_of(" #%;/\\");
  if (bad != std::string::npos) name.resize(bad);
  return name + kDocExt;
}

}  // namespace

DocManager::DocManager(CThumperDoc& doc, ThumperRuntime& runtime, SampleListState& list,
                       UiServices& ui, RecentFileList& recent)
    : m_doc(doc), m_runtime(runtime), m_list(list), m_ui(ui), m_recent(recent) {}

void DocManager::Changed() {
  // In a session what New or Open brought in is held at the session's file,
  // unsaved until File > Save or the session manager saves it.
  if (!m_strSessionPath.empty() && m_doc.GetPathName() != m_strSessionPath) {
    m_doc.SetPathName(m_strSessionPath);
    m_doc.SetModifiedFlag(true);
  }
  if (m_onChanged) m_onChanged();
}

bool DocManager::SaveModified() {
  if (!m_doc.IsModified()) return true;
  std::string prompt = kSaveChangesQuestion;
  prompt.replace(prompt.find("%1"), 2, m_doc.GetTitle());
  switch (m_ui.MessageBox(prompt, kAppName, MsgButtons::YesNoCancel, MsgIcon::Question)) {
    case MsgResult::Yes:
      return OnFileSave();
    case MsgResult::No:
      return true;
    default:
      return false;
  }
}

void DocManager::OnFileNew() {
  if (!SaveModified()) return;
  m_runtime.NewDrumSet(m_list);
  Changed();
}

void DocManager::OnFileOpen() {
  FileDialogParams params;
  params.bOpen = true;
  params.strDefExt = kDocExt;
  params.nFlags = ofn::kHideReadOnly | ofn::kFileMustExist | ofn::kExplorer;
  params.strFilter = kDocFilter;
  params.strTitle = "Open";
  const FileDialogResult chosen = m_ui.FileDialog(params);
  if (!chosen.bOk || chosen.paths.empty()) return;
  OpenDocumentFile(chosen.Path());
}

bool DocManager::OpenDocumentFile(const std::string& path) {
  if (IsHydrogenKitSource(path)) return OpenHydrogenKit(path);
  if (PlaysAsKitProgram(path)) return OpenSfzKit(path);
  // The drum set that is already open stays as it is, changes and all.
  if (SameFile(path, m_doc.GetPathName())) return true;
  if (!SaveModified()) return false;
  if (!m_runtime.OpenDrumSet(path, m_list)) {
    Changed();
    return false;
  }
  m_recent.Add(m_doc.GetPathName());
  Changed();
  return true;
}

bool DocManager::OpenHydrogenKit(const std::string& path) {
  if (!SaveModified()) return false;
  KitSourceResult result = ImportKitSource(path);
  // What the import could not carry over goes where a terminal sees it.
  for (const std::string& line : result.import.messages) std::cerr << "thumper: " << line << "\n";
  if (!result.strError.empty()) {
    m_ui.MessageBox(result.strError, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  // It plays as its maker made it; the drum set made of it is what the window
  // shows and what an edit or Save As turns it into.
  std::optional<KitProgram> program;
  if (PlaysAsKitProgram(path)) {
    KitProgramResult read = ReadKitProgram(path);
    for (const std::string& line :
         read.program ? read.program->warnings : std::vector<std::string>{})
      std::cerr << "thumper: " << line << "\n";
    program = std::move(read.program);
  }
  m_doc.OnNewDocument();
  static_cast<DrumSet&>(m_doc) = std::move(*result.import.set);
  m_doc.SetTitle(result.strKitName + kImportedTitleSuffix);
  // Closing it asks to save: the import exists nowhere else.
  m_doc.SetModifiedFlag(true);
  m_runtime.UpdateStep(m_list);
  if (program) {
    m_runtime.PlayKitProgram(std::move(*program), ClockSeed());
    m_runtime.m_kitEditLosses = result.import.messages;
  }
  Changed();
  return true;
}

bool DocManager::OpenSfzKit(const std::string& path) {
  if (!SaveModified()) return false;
  KitProgramResult read = ReadKitProgram(path);
  if (!read.program) {
    m_ui.MessageBox(read.strError, kAppName, MsgButtons::Ok, MsgIcon::Warning);
    return false;
  }
  for (const std::string& line : read.program->warnings) std::cerr << "thumper: " << line << "\n";
  const std::string name = std::filesystem::path(path).stem().string();
  m_doc.OnNewDocument();
  m_doc.SetTitle(name + " (SFZ)");
  m_runtime.UpdateStep(m_list);
  m_runtime.PlayKitProgram(std::move(*read.program), ClockSeed());
  m_runtime.m_bKitProgramEditable = false;
  Changed();
  return true;
}

bool DocManager::OnFileSave() {
  const std::string& path = m_doc.GetPathName();
  // A file we may not write is saved under a new name instead.
  std::error_code ec;
  const bool exists = !path.empty() && std::filesystem::exists(path, ec);
  if (path.empty() || (exists && ::access(path.c_str(), W_OK) != 0)) return DoSave({});
  return DoSave(path);
}

bool DocManager::OnFileSaveAs() {
  return DoSave({});
}

bool DocManager::DoSave(const std::string& path) {
  std::string target = path;
  if (target.empty()) {
    FileDialogParams params;
    params.bOpen = false;
    params.strDefExt = kDocExt;
    params.strInitialName = OfferedSaveName(m_doc);
    params.nFlags = ofn::kHideReadOnly | ofn::kOverwritePrompt | ofn::kExplorer;
    params.strFilter = kDocFilter;
    params.strTitle = "Save As";
    const FileDialogResult chosen = m_ui.FileDialog(params);
    if (!chosen.bOk || chosen.paths.empty()) return false;
    target = chosen.Path();
  }
  if (!m_doc.OnSaveDocument(target, m_ui)) return false;
  m_recent.Add(m_doc.GetPathName());
  // Saved elsewhere in a session: the session holds the same drum set.
  if (!m_strSessionPath.empty() && target != m_strSessionPath)
    (void)m_doc.OnSaveDocument(m_strSessionPath, m_ui);  // a failure leaves it modified
  Changed();
  return true;
}

void DocManager::OnOpenRecentFile(int index) {
  if (index < 0 || index >= static_cast<int>(m_recent.Entries().size())) return;
  const std::string path = m_recent.Entries()[index];
  if (SameFile(path, m_doc.GetPathName())) return;
  if (!SaveModified()) return;
  if (!m_runtime.OpenDrumSet(path, m_list)) {
    // A file that no longer opens leaves the list, as the framework does.
    m_recent.Remove(index);
    Changed();
    return;
  }
  m_recent.Add(m_doc.GetPathName());
  Changed();
}

}  // namespace thumper
