#pragma once
// The application: start-up in the framework's order (settings and recent files,
// the document, the frame with the view, the new drum set or the named file,
// the first update, the window shown), the message loop, and the exit order
// (the MIDI input closed before the sound objects go, the recent files written
// back). Needs a QApplication; does not own it.

#include <QTimer>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CMainFrame.h"
#include "app/DocManager.h"
#include "app/QtUiServices.h"
#include "app/RecentFileList.h"
#include "audio/OutputDriverList.h"
#include "drumset/CThumperDoc.h"
#include "edit/CSoundPropsDlg.h"
#include "edit/ViewGestures.h"
#include "engine/ThumperRuntime.h"
#include "midi/COptionsDlg.h"

class QSettings;

namespace thumper {

inline constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "Thumper";
inline constexpr int kPollIntervalMs = 20;

struct AppOptions {
  UiServices* pUi = nullptr;  // null: real dialogs
  // Makes the output drivers; null: the system's.
  std::function<std::unique_ptr<DriverBackend>()> makeBackend;
  bool bVirtualMidiPort = true;  // offer "Thumper MIDI In"
  // Kits load on worker threads while the window goes on; tests may wait instead.
  bool bLoadInBackground = true;
  // How a sample file is decoded (null: from disk); tests slow it down.
  KitLoader::DecodeFn decodeSample;
  // Run the Sound Properties and Options dialogs; true for OK. Null: modal, or
  // Cancel at once where nobody can see a dialog (offscreen).
  std::function<bool(CSoundPropsDlg&)> runSoundProps;
  std::function<bool(COptionsDlg&)> runOptions;
};

// What the command line asks of the window.
struct AppCommandLine {
  std::string strFile;        // the drum set to open; empty for a new one
  std::string strScreenshot;  // --screenshot FILE: save a picture of the window and quit
  std::string strError;       // set when the arguments make no sense
};

AppCommandLine ParseAppCommandLine(const std::vector<std::string>& args);

std::string FullPath(const std::string& path);

class CThumperApp {
 public:
  explicit CThumperApp(AppOptions options = {});
  ~CThumperApp();
  CThumperApp(const CThumperApp&) = delete;
  CThumperApp& operator=(const CThumperApp&) = delete;

  // Start-up. False when the named drum set cannot be opened (the message has
  // been shown) or the window cannot be made: no window is shown then.
  bool InitInstance(const AppCommandLine& commandLine);
  // The message loop; the program's exit status.
  int Run();
  // The teardown, in order; the destructor runs it if nobody did.
  void ExitInstance();

  CMainFrame* MainFrame() { return m_pMainFrame.get(); }
  CThumperDoc& Doc() { return *m_pDoc; }
  DocManager& Docs() { return *m_pDocs; }
  RecentFileList& Recent() { return m_recent; }
  ThumperRuntime* Runtime() { return m_pRuntime.get(); }
  ViewGestures* Gestures() { return m_pGestures.get(); }
  UiServices& Ui() { return m_ui; }

  // Saves a picture of the main window as it is on screen; false on failure.
  bool SaveScreenshot(const std::string& path);

 private:
  std::unique_ptr<QSettings> OpenSettings() const;
  void WriteRecentFiles();
  void OnDocumentChanged();
  // The poll timer: the load progress in the free-memory text's place, or the free memory.
  void ShowLoadProgress();

  AppOptions m_options;
  QtUiServices m_qtUi;
  UiServices& m_ui;
  RecentFileList m_recent;
  SampleListState m_list;
  std::unique_ptr<CThumperDoc> m_pDoc;
  std::unique_ptr<ThumperRuntime> m_pRuntime;
  std::unique_ptr<DocManager> m_pDocs;
  std::unique_ptr<CMainFrame> m_pMainFrame;
  std::unique_ptr<ViewGestures> m_pGestures;
  QTimer m_pollTimer;
  std::string m_strScreenshot;
  bool m_bRunning = false;
};

}  // namespace thumper
