#include "app/CThumperApp.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSettings>
#include <QSocketNotifier>
#include <filesystem>
#include <iostream>

#include "edit/SoundProperties.h"
#include "kits/KitPrograms.h"
#include "kits/KitSources.h"
#include "session/SessionWindowState.h"

// Resources of static libraries must be registered by name, outside any namespace.
static void InitAppResources() {
  Q_INIT_RESOURCE(app);
  Q_INIT_RESOURCE(view);
}

namespace thumper {

AppCommandLine ParseAppCommandLine(const std::vector<std::string>& args) {
  AppCommandLine line;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--screenshot") {
      if (i + 1 >= args.size()) {
        line.strError = "--screenshot needs a file name";
        return line;
      }
      line.strScreenshot = args[++i];
    } else if (arg == "--multi-out") {
      line.bMultiOut = true;
    } else if (!arg.empty() && arg[0] == '-') {
      line.strError = "unknown option " + arg;
      return line;
    } else if (line.strFile.empty()) {
      line.strFile = arg;
    } else {
      line.strError = "only one drum set can be opened";
      return line;
    }
  }
  return line;
}

// A name from the command line as the framework keeps it: a full path, so the
// recent-file list still finds it from another folder.
std::string FullPath(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(path, ec);
  return ec ? path : full.lexically_normal().string();
}

CThumperApp::CThumperApp(AppOptions options)
    : m_options(std::move(options)),
      m_sessionUi(m_options.pUi ? *m_options.pUi : m_qtUi),
      m_ui(m_sessionUi) {
  InitAppResources();
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/skin/icon.png")));
  // Lets the desktop match the window with thumper.desktop.
  QGuiApplication::setDesktopFileName(QStringLiteral("thumper"));
}

CThumperApp::~CThumperApp() {
  ExitInstance();
}

std::unique_ptr<QSettings> CThumperApp::OpenSettings() const {
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                     QString::fromLatin1(kSettingsOrganisation),
                                     QString::fromLatin1(kSettingsApplication));
}

void CThumperApp::WriteRecentFiles() {
  m_recent.WriteTo(*OpenSettings());
}

bool CThumperApp::InitInstance(const AppCommandLine& commandLine) {
  // The framework's profile: the recent files, and nothing else.
  m_recent.ReadFrom(*OpenSettings());

  m_pDoc = std::make_unique<CThumperDoc>();
  m_pRuntime = std::make_unique<ThumperRuntime>(
      *m_pDoc, m_ui, m_options.makeBackend ? m_options.makeBackend() : nullptr);
  m_pRuntime->m_bLoadInBackground = m_options.bLoadInBackground;
  if (commandLine.bMultiOut) {
    JackClientOptions jack;
    jack.bMultiOut = true;
    m_pRuntime->m_output.SetJackOptions(jack);
    m_pRuntime->m_bMultiOut = true;
  }
  if (m_options.decodeSample) m_pRuntime->m_loader.SetDecoder(m_options.decodeSample);
  m_pDocs = std::make_unique<DocManager>(*m_pDoc, *m_pRuntime, m_list, m_ui, m_recent);
  m_pMainFrame = std::make_unique<CMainFrame>(*m_pDoc, m_list, m_ui, *m_pDocs, m_recent);
  m_qtUi.SetOwner(m_pMainFrame.get());

  CThumperView* view = &m_pMainFrame->View();
  m_pRuntime->m_onFullRepaint = [view] { view->OnInitialUpdate(); };
  m_pDocs->m_onChanged = [this] { OnDocumentChanged(); };
  m_pGestures = std::make_unique<ViewGestures>(*view, *m_pRuntime, m_ui);
  m_pGestures->m_hooks.openDrumSet = [this](const std::string& path) {
    m_pDocs->OpenDocumentFile(path);
  };
  m_pGestures->m_hooks.saveDrumSet = [this](const std::string& path) { m_pDocs->DoSave(path); };
  m_pGestures->m_hooks.editSoundProperties = [this, view](int32_t slot) {
    auto run = m_options.runSoundProps;
    if (!run) run = [this](CSoundPropsDlg& dlg) { return !m_qtUi.Unattended() && dlg.DoModal(); };
    EditSoundProperties(*m_pDoc, *m_pRuntime, m_ui, slot, run, view);
  };
  m_pGestures->m_hooks.showOptions = [this, view] {
    auto run = m_options.runOptions;
    if (!run) run = [this](COptionsDlg& dlg) { return !m_qtUi.Unattended() && dlg.DoModal(); };
    ShowOptions(*m_pRuntime, m_ui, run, view);
  };

  if (StartSession(commandLine.strFile.empty() ? "" : FullPath(commandLine.strFile))) {
    // The drum set and the output wait for the session manager's open.
    m_pDoc->OnNewDocument();
    view->OnInitialUpdate();
  } else if (commandLine.strFile.empty()) {
    m_pRuntime->NewDrumSet(m_list);
  } else if (IsHydrogenKitSource(commandLine.strFile)) {
    if (!m_pDocs->OpenHydrogenKit(FullPath(commandLine.strFile))) {
      ExitInstance();
      return false;
    }
  } else if (PlaysAsKitProgram(commandLine.strFile)) {
    if (!m_pDocs->OpenSfzKit(FullPath(commandLine.strFile))) {
      ExitInstance();
      return false;
    }
  } else if (!m_pRuntime->OpenDrumSet(FullPath(commandLine.strFile), m_list)) {
    ExitInstance();
    return false;
  } else {
    m_recent.Add(m_pDoc->GetPathName());
  }
  OnDocumentChanged();

  ThumperRuntime* runtime = m_pRuntime.get();
  view->SetNoteEventSource([runtime](NoteEvent& e) { return runtime->m_trigger.PopNoteEvent(e); },
                           runtime->m_uiWake.Fd(),
                           [this] {
                             m_pRuntime->m_uiWake.Clear();
                             PollRuntime();
                           });
  // In a session, once the open has named the JACK client.
  if (!m_pSession) OpenVirtualMidiPort();
  QObject::connect(&m_pollTimer, &QTimer::timeout, m_pMainFrame.get(), [this] {
    PollRuntime();
    if (m_pMainFrame) m_pMainFrame->SyncWithDocument();
    if (m_pSession) PollSession();
  });
  m_pollTimer.start(kPollIntervalMs);
  m_reclaimTimer.setSingleShot(true);
  PollRuntime();  // the first kit may be loading
  QObject::connect(&m_reclaimTimer, &QTimer::timeout, m_pMainFrame.get(),
                   [this] { PollRuntime(); });
  // File commands change the title; they all come from the user's input.
  qApp->installEventFilter(&m_inputWatch);

  m_strScreenshot = commandLine.strScreenshot;
  if (m_pSession) {
    // A session's window starts hidden; the session's open shows it when it
    // was shown at the last save.
    m_pSession->Client().SetGuiShown(false);
  } else {
    ShowFrame();
  }
  m_bRunning = true;
  return true;
}

void CThumperApp::ShowFrame() {
  m_pMainFrame->show();
  if (!m_bPlaced) {
    // The first time only: from then on it stays where the user puts it.
    m_bPlaced = true;
    m_pMainFrame->PlaceFrameAtOrigin();
  }
  m_pMainFrame->View().repaint();
}

void CThumperApp::ShowLoadProgress() {
  if (!m_pRuntime || !m_pMainFrame) return;
  // A load that ends within half a second says nothing.
  const bool show = m_pRuntime->IsLoading() && m_pRuntime->LoadSeconds() > 0.5;
  m_pMainFrame->View().SampleList().ShowLoadProgress(show ? m_pRuntime->LoadDone() : 0,
                                                     show ? m_pRuntime->LoadTotal() : 0);
}

void CThumperApp::OnDocumentChanged() {
  if (!m_pMainFrame) return;
  m_pMainFrame->OnUpdateFrameTitle();
  m_pMainFrame->RebuildRecentFiles();
  m_pMainFrame->SyncWithDocument();
  WriteRecentFiles();
}

void CThumperApp::OpenVirtualMidiPort() {
  if (!m_options.bVirtualMidiPort) return;
  // Other programs play into it; without a MIDI system the window still works.
  if (MidiResult r = m_pRuntime->OpenVirtualPort(); !r.bOk)
    std::cerr << "thumper: " << r.strError << "\n";
}

bool CThumperApp::UnderSession() const {
  return m_pSession && !m_pSession->Client().Unavailable();
}

bool CThumperApp::StartSession(const std::string& kit) {
  m_pSession = SessionLink::Start(*m_pRuntime, m_list, kit, {}, kWindowCapabilities, std::cerr);
  if (!m_pSession) return false;
  NsmHandlers& h = m_pSession->Handlers();
  h.open = [this](const std::string& prefix, const std::string&, const std::string& id) {
    NsmReply reply;
    {
      // Nobody need be at the screen: missing files are answered by the console policy.
      SessionUi::Unattended unattended(m_sessionUi);
      reply = m_pSession->Session().Open(prefix, id);
    }
    NsmSession& session = m_pSession->Session();
    if (session.LastOpenHeld()) {
      m_pDocs->SetSessionPath(session.Path());
      if (!m_pRuntime->m_midiIn.IsVirtualPortOpen()) OpenVirtualMidiPort();
      // Shown or hidden as at the session's last save, and said so to this session.
      ShowForSession(ReadWindowShown(session.Path()), true);
    }
    OnDocumentChanged();
    if (!reply.bOk) std::cerr << "thumper: the session's drum set: " << reply.strMessage << "\n";
    return reply;
  };
  h.save = [this] {
    NsmReply reply;
    {
      // A failure is told to the manager, not in a box that would hold up its reply.
      SessionUi::Unattended unattended(m_sessionUi);
      reply = m_pSession->Session().Save();
    }
    if (reply.bOk) {
      // The window comes back as it is now when the session is opened again.
      const std::string problem =
          WriteWindowShown(m_pSession->Session().Path(), m_pMainFrame->isVisible());
      if (!problem.empty()) reply = NsmReply::Error(NsmError::General, problem);
    }
    OnDocumentChanged();
    return reply;
  };
  h.showGui = [this] { ShowForSession(true); };
  h.hideGui = [this] { ShowForSession(false); };
  h.unavailable = [this, kit] {
    // Not from inside the client's own poll, which is running now.
    QTimer::singleShot(0, m_pMainFrame.get(), [this, kit] { LeaveSession(kit); });
  };
  m_pSessionNotifier =
      std::make_unique<QSocketNotifier>(m_pSession->Client().Fd(), QSocketNotifier::Read);
  QObject::connect(m_pSessionNotifier.get(), &QSocketNotifier::activated, m_pMainFrame.get(),
                   [this] {
                     if (m_pSession) PollSession();
                   });
  m_pMainFrame->m_hideInsteadOfClose = [this] {
    if (m_pSession && m_pSession->Client().ManagerGone()) {
      // Nobody is left to show the window again or to end the program: the
      // close ends it, as without a session.
      std::cerr << "thumper: the session manager is gone: closing the window ends Thumper\n";
      QApplication::setQuitOnLastWindowClosed(true);
      return false;
    }
    if (!m_bToldHidden) {
      m_bToldHidden = true;
      m_ui.MessageBox(kHiddenInSession, kAppName, MsgButtons::Ok, MsgIcon::Information);
    }
    ShowForSession(false);
    return true;
  };
  // Hidden is not gone: the session manager ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  return true;
}

void CThumperApp::PollSession() {
  m_pSession->Poll();
}

void CThumperApp::ShowForSession(bool show, bool tellAlways) {
  if (!m_pMainFrame || !m_pSession) return;
  if (show) {
    ShowFrame();
    m_pMainFrame->raise();
    m_pMainFrame->activateWindow();
  } else {
    m_pMainFrame->hide();
  }
  m_pSession->Client().SetGuiShown(show, tellAlways);
}

void CThumperApp::LeaveSession(const std::string& kit) {
  if (!m_pSession) return;
  m_pSessionNotifier.reset();
  m_pSession.reset();
  m_pMainFrame->m_hideInsteadOfClose = nullptr;
  QApplication::setQuitOnLastWindowClosed(true);
  if (!m_pMainFrame->isVisible()) ShowFrame();
  if (!kit.empty() && m_pRuntime->OpenDrumSet(kit, m_list))
    m_recent.Add(m_pDoc->GetPathName());
  else
    m_pRuntime->UpdateStep(m_list);
  OpenVirtualMidiPort();
  OnDocumentChanged();
}

void CThumperApp::EndForSession() {
  if (m_pMainFrame) m_pMainFrame->m_hideInsteadOfClose = nullptr;
  // exit(), not quit(): quit() would close the window first, and a close asks
  // (or hides with a word to the user). Every event loop ends, a modal
  // dialog's too, and none that starts from now on runs.
  QCoreApplication::exit(0);
}

bool CThumperApp::SaveScreenshot(const std::string& path) {
  if (!m_pMainFrame) return false;
  const QPixmap picture = m_pMainFrame->grab();
  return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

int CThumperApp::Run() {
  if (!m_bRunning) return 2;
  int status = 0;
  if (!m_strScreenshot.empty()) {
    // Once the window has painted: the picture, then the normal exit.
    QTimer::singleShot(200, m_pMainFrame.get(), [this, &status] {
      if (!SaveScreenshot(m_strScreenshot)) {
        std::cerr << "thumper: cannot write " << m_strScreenshot << "\n";
        status = 2;
      }
      if (m_pDoc) m_pDoc->SetModifiedFlag(false);
      m_pMainFrame->close();
    });
  }
  const int loop = QApplication::exec();
  ExitInstance();
  return status != 0 ? status : loop;
}

void CThumperApp::PollRuntime() {
  if (!m_pRuntime) return;
  m_pRuntime->Poll();
  ShowLoadProgress();
  // A kit loading in the background, or retired memory waiting for the audio
  // thread to move on: look again soon, and only while there is some.
  if (m_pRuntime->IsLoading()) {
    if (!m_reclaimTimer.isActive()) m_reclaimTimer.start(kLoadPollMs);
  } else if (m_pRuntime->HasRetiredMemory()) {
    if (!m_reclaimTimer.isActive()) m_reclaimTimer.start(kReclaimRetryMs);
  }
}

void CThumperApp::ExitInstance() {
  m_pollTimer.stop();
  m_reclaimTimer.stop();
  qApp->removeEventFilter(&m_inputWatch);
  m_bRunning = false;
  m_pSessionNotifier.reset();
  m_pSession.reset();
  // The gestures hold the view and the runtime: they go first.
  m_pGestures.reset();
  if (m_pMainFrame) {
    // The view stops taking note events before the trigger goes.
    m_pMainFrame->View().SetNoteEventSource(nullptr);
    m_qtUi.SetOwner(nullptr);
  }
  if (m_pRuntime) {
    m_pRuntime->m_onFullRepaint = nullptr;
    // Closes the MIDI input first, then releases the sound objects.
    m_pRuntime.reset();
  }
  m_pMainFrame.reset();
  m_pDocs.reset();
  const bool started = m_pDoc != nullptr;
  m_pDoc.reset();
  if (started) WriteRecentFiles();
}

}  // namespace thumper
