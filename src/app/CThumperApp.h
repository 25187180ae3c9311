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
#include "app/InputWatch.h"
#include "app/QtUiServices.h"
#include "app/RecentFileList.h"
#include "app/SessionUi.h"
#include "audio/OutputDriverList.h"
#include "drumset/CThumperDoc.h"
#include "edit/CSoundPropsDlg.h"
#include "edit/ViewGestures.h"
#include "engine/ThumperRuntime.h"
#include "midi/COptionsDlg.h"
#include "session/SessionLink.h"

class QSettings;
class QSocketNotifier;

namespace thumper {

inline constexpr const char* kSettingsOrganisation = "Local AppWizard-Generated Applications";
inline constexpr const char* kSettingsApplication = "Thumper";
// The slow beat that remains at rest: a device that stopped calling back, the
// frame's title after file commands. Everything else wakes the UI on demand.
inline constexpr int kPollIntervalMs = 1000;
// How soon retired memory is looked at again while some waits for the audio thread.
inline constexpr int kReclaimRetryMs = 50;
// While a kit loads in the background: its voices are published and its
// progress drawn this often.
inline constexpr int kLoadPollMs = 20;
// Said once, the first time the window is closed under a session manager.
inline constexpr const char* kHiddenInSession =
    "Thumper goes on playing in the session without its window. The session manager shows "
    "the window again, and ends Thumper when the session closes.";

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
  bool bMultiOut = false;     // --multi-out: JACK ports for each output pair of the kit
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
  // Started by a session manager (NSM_URL) that answered: the session decides
  // what is opened and saved, and when the program ends.
  bool UnderSession() const;

  // The session manager's SIGTERM: the program ends now, saving nothing and
  // asking nothing, whatever window or dialog is open.
  void EndForSession();

  // Saves a picture of the main window as it is on screen; false on failure.
  bool SaveScreenshot(const std::string& path);

 private:
  std::unique_ptr<QSettings> OpenSettings() const;
  void WriteRecentFiles();
  void OnDocumentChanged();
  // Frees retired memory, reports a failed device, and comes back while
  // retired memory still waits.
  void PollRuntime();
  void OpenVirtualMidiPort();
  // Announces the window to the session manager named by NSM_URL; false when
  // there is none. kit: what a session without a drum set starts from.
  bool StartSession(const std::string& kit);
  void PollSession();
  void ShowForSession(bool show, bool tellAlways = false);
  // Shows the window; placed at the origin the first time.
  void ShowFrame();
  // The manager did not answer: the program goes on as if started without it.
  void LeaveSession(const std::string& kit);
  // The poll timer: the load progress in the free-memory text's place, or the free memory.
  void ShowLoadProgress();

  AppOptions m_options;
  QtUiServices m_qtUi;
  SessionUi m_sessionUi;
  UiServices& m_ui;
  RecentFileList m_recent;
  SampleListState m_list;
  std::unique_ptr<CThumperDoc> m_pDoc;
  std::unique_ptr<ThumperRuntime> m_pRuntime;
  std::unique_ptr<DocManager> m_pDocs;
  std::unique_ptr<CMainFrame> m_pMainFrame;
  std::unique_ptr<ViewGestures> m_pGestures;
  std::unique_ptr<SessionLink> m_pSession;
  std::unique_ptr<QSocketNotifier> m_pSessionNotifier;
  bool m_bToldHidden = false;
  bool m_bPlaced = false;
  QTimer m_pollTimer;
  QTimer m_reclaimTimer;
  // After the user's input: the title, and the session's dirty flag, which
  // only edits change.
  InputWatch m_inputWatch{[this] {
    PollRuntime();  // a command may have started a load
    if (m_pMainFrame) m_pMainFrame->SyncWithDocument();
    if (m_pSession) PollSession();
  }};
  std::string m_strScreenshot;
  bool m_bRunning = false;
};

}  // namespace thumper
