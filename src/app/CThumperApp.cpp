#include "app/CThumperApp.h"

#include <QApplication>
#include <QIcon>
#include <QPixmap>
#include <QSettings>
#include <filesystem>
#include <iostream>

#include "edit/SoundProperties.h"

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
    : m_options(std::move(options)), m_ui(m_options.pUi ? *m_options.pUi : m_qtUi) {
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

  if (commandLine.strFile.empty()) {
    m_pRuntime->NewDrumSet(m_list);
  } else if (!m_pRuntime->OpenDrumSet(FullPath(commandLine.strFile), m_list)) {
    ExitInstance();
    return false;
  } else {
    m_recent.Add(m_pDoc->GetPathName());
  }
  OnDocumentChanged();

  ThumperRuntime* runtime = m_pRuntime.get();
  view->SetNoteEventSource([runtime](NoteEvent& e) { return runtime->m_trigger.PopNoteEvent(e); });
  if (m_options.bVirtualMidiPort) {
    // Other programs play into it; without a MIDI system the window still works.
    if (MidiResult r = m_pRuntime->m_midiIn.OpenVirtualPort(); !r.bOk)
      std::cerr << "thumper: " << r.strError << "\n";
  }
  QObject::connect(&m_pollTimer, &QTimer::timeout, m_pMainFrame.get(), [this] {
    if (m_pRuntime) m_pRuntime->Poll();
    ShowLoadProgress();
    if (m_pMainFrame) m_pMainFrame->SyncWithDocument();
  });
  m_pollTimer.start(kPollIntervalMs);

  m_strScreenshot = commandLine.strScreenshot;
  m_pMainFrame->show();
  m_pMainFrame->View().repaint();
  m_bRunning = true;
  return true;
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

void CThumperApp::ExitInstance() {
  m_pollTimer.stop();
  m_bRunning = false;
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
