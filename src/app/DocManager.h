#pragma once
// The framework's document steps for the one drum set: New, Open, Save, Save As,
// the recent files and the "Save changes?" question before a drum set is closed
// or replaced. Plain C++; the frame shows what it changes. UI thread only.

#include <functional>
#include <string>

#include "app/RecentFileList.h"
#include "drumset/CThumperDoc.h"
#include "drumset/SampleListState.h"
#include "drumset/UiServices.h"
#include "engine/ThumperRuntime.h"

namespace thumper {

inline constexpr const char* kDocFilterName = "FileEx Files (*.drums)";
inline constexpr const char* kDocFilter =
    "FileEx Files (*.drums) | *.drums|Hydrogen drum kits (drumkit.xml *.h2drumkit) | "
    "drumkit.xml;*.h2drumkit|SFZ drum kits (*.sfz) | *.sfz|All Files (*) | *||";
// The title of a drum set made from a Hydrogen kit, until it is saved.
inline constexpr const char* kImportedTitleSuffix = " (Not Saved)";
inline constexpr const char* kDocExt = ".drums";
inline constexpr const char* kSaveChangesQuestion = "Save changes to %1?";

class DocManager {
 public:
  DocManager(CThumperDoc& doc, ThumperRuntime& runtime, SampleListState& list, UiServices& ui,
             RecentFileList& recent);

  // Asks "Save changes to <title>?" when the drum set is modified. Yes saves
  // (under a new name when it has none); false (Cancel, or a save that failed or
  // was cancelled) means everything stays as it was.
  bool SaveModified();

  void OnFileNew();
  void OnFileOpen();
  bool OnFileSave();
  bool OnFileSaveAs();
  void OnOpenRecentFile(int index);

  // Opens path in place of the current drum set, as the File menu's Open does:
  // the question first, then the load and, after a success, the update step.
  // The drum set already open is kept as it is. False when nothing was opened.
  bool OpenDocumentFile(const std::string& path);
  // A Hydrogen kit (folder, drumkit.xml or .h2drumkit) made a new drum set that
  // is not saved yet, after the question; then the update step. False when
  // nothing was opened (the reason was shown).
  bool OpenHydrogenKit(const std::string& path);
  // Another kit that plays as its maker made it (an SFZ file): it plays, with
  // a new empty drum set on show that the kit never becomes. False when nothing
  // was opened (the reason was shown).
  bool OpenSfzKit(const std::string& path);
  // Saves under path, or, with an empty path, under a name the user chooses.
  bool DoSave(const std::string& path);

  // Under a session manager the drum set lives at path, whatever New, Open and
  // Save As bring in; empty: no session.
  void SetSessionPath(std::string path) { m_strSessionPath = std::move(path); }

  // Called after every step that may change the title or the recent files.
  std::function<void()> m_onChanged;

 private:
  void Changed();

  CThumperDoc& m_doc;
  ThumperRuntime& m_runtime;
  SampleListState& m_list;
  UiServices& m_ui;
  RecentFileList& m_recent;
  std::string m_strSessionPath;
};

}  // namespace thumper
