#include "app/CMainFrame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLayout>
#include <QMenuBar>
#include <QResizeEvent>
#include <QTimer>
#include <QWindow>

#include "app/FramePlacement.h"
#include "app/HelpManual.h"
#include "edit/CAboutDlg.h"

namespace thumper {

CMainFrame::CMainFrame(CThumperDoc& doc, SampleListState& list, UiServices& ui, DocManager& docs,
                       RecentFileList& recent)
    : QMainWindow(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                               Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                               Qt::WindowCloseButtonHint),
      m_doc(doc),
      m_docs(docs),
      m_recent(recent),
      m_pView(new CThumperView(doc, list, ui, this)) {
  setObjectName(QStringLiteral("CMainFrame"));
  setWindowTitle(QString::fromLatin1(kWindowTitle));
  m_pView->setObjectName(QString::fromLatin1(kViewName));
  setCentralWidget(m_pView);
  connect(&m_placementTimer, &QTimer::timeout, this, &CMainFrame::KeepFrameAtOrigin);
  BuildMenus();
  // The view is fixed, so the window is too: no border drag, no maximising.
  layout()->setSizeConstraint(QLayout::SetFixedSize);
  move(0, 0);
  OnUpdateFrameTitle();
  // Every modal dialog of the program, whoever opens it, closes through here.
  qApp->installEventFilter(this);
}

CMainFrame::~CMainFrame() = default;

void CMainFrame::BuildMenus() {
  m_pFileMenu = menuBar()->addMenu(QStringLiteral("&File"));
  // Both separators of the original menu stay visible.
  m_pFileMenu->setSeparatorsCollapsible(false);
  QAction* newAction = m_pFileMenu->addAction(QStringLiteral("&New\tCtrl+N"));
  newAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
  connect(newAction, &QAction::triggered, this, [this] { m_docs.OnFileNew(); });
  QAction* openAction = m_pFileMenu->addAction(QStringLiteral("&Open...\tCtrl+O"));
  openAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
  connect(openAction, &QAction::triggered, this, [this] { m_docs.OnFileOpen(); });
  QAction* saveAction = m_pFileMenu->addAction(QStringLiteral("&Save\tCtrl+S"));
  saveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  connect(saveAction, &QAction::triggered, this, [this] { m_docs.OnFileSave(); });
  QAction* saveAsAction = m_pFileMenu->addAction(QStringLiteral("Save &As..."));
  connect(saveAsAction, &QAction::triggered, this, [this] { m_docs.OnFileSaveAs(); });
  m_pFileMenu->addSeparator();
  m_pFileMenu->addSeparator();
  m_pRecentEnd = m_pFileMenu->addSeparator();
  QAction* exitAction = m_pFileMenu->addAction(QStringLiteral("E&xit"));
  connect(exitAction, &QAction::triggered, this, &QWidget::close);
  RebuildRecentFiles();

  m_pAboutMenu = menuBar()->addMenu(QStringLiteral("&About"));
  QAction* aboutAction = m_pAboutMenu->addAction(QStringLiteral("&About Klonk Bammer..."));
  connect(aboutAction, &QAction::triggered, this, &CMainFrame::OnAppAbout);
  QAction* helpAction = m_pAboutMenu->addAction(QStringLiteral("&Help"));
  connect(helpAction, &QAction::triggered, this, &CMainFrame::OnHelp);

  // The shortcuts work wherever the focus is in the window.
  for (QAction* action : {newAction, openAction, saveAction})
    action->setShortcutContext(Qt::WindowShortcut);
}

void CMainFrame::RebuildRecentFiles() {
  for (QAction* action : m_recentActions) {
    m_pFileMenu->removeAction(action);
    action->deleteLater();
  }
  m_recentActions.clear();
  if (m_recent.Empty()) {
    auto* placeholder = new QAction(QStringLiteral("Recent File"), m_pFileMenu);
    placeholder->setEnabled(false);
    m_pFileMenu->insertAction(m_pRecentEnd, placeholder);
    m_recentActions.push_back(placeholder);
    return;
  }
  for (int i = 0; i < static_cast<int>(m_recent.Entries().size()); ++i) {
    auto* action = new QAction(QString::fromStdString(m_recent.MenuText(i)), m_pFileMenu);
    action->setToolTip(QString::fromStdString(m_recent.Entries()[i]));
    connect(action, &QAction::triggered, this, [this, i] { m_docs.OnOpenRecentFile(i); });
    m_pFileMenu->insertAction(m_pRecentEnd, action);
    m_recentActions.push_back(action);
  }
}

void CMainFrame::OnUpdateFrameTitle() {
  m_strShownTitle = m_doc.GetTitle();
  const QString title = QString::fromStdString(m_strShownTitle);
  setWindowTitle(title.isEmpty()
                     ? QString::fromLatin1(kWindowTitle)
                     : title + QStringLiteral(" - ") + QString::fromLatin1(kWindowTitle));
}

void CMainFrame::SyncWithDocument() {
  if (m_doc.GetTitle() != m_strShownTitle) OnUpdateFrameTitle();
  if (m_doc.GetPathName() != m_strSeenPath) {
    m_strSeenPath = m_doc.GetPathName();
    if (!m_strSeenPath.empty() &&
        (m_recent.Empty() || m_recent.Entries().front() != m_strSeenPath)) {
      m_recent.Add(m_strSeenPath);
      RebuildRecentFiles();
    }
  }
}

void CMainFrame::OnAppAbout() {
  CAboutDlg about(this);
  about.DoModal();
}

void CMainFrame::OnHelp() {
  OpenHelpManual();  // no viewer, no manual: nothing happens
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  if (m_hideInsteadOfClose && m_hideInsteadOfClose()) {
    event->ignore();
    return;
  }
  if (!m_docs.SaveModified()) {
    event->ignore();
    return;
  }
  event->accept();
}

void CMainFrame::PlaceFrameAtOrigin() {
  // The frame is known only once the window manager has put one round the
  // window: look until it stands at the corner, for a few seconds at most.
  m_nPlacementChecks = kPlacementMs / kPlacementCheckMs;
  m_nPlacementMoves = 0;
  KeepFrameAtOrigin();
  m_placementTimer.start(kPlacementCheckMs);
  // Without a window manager nothing else gives a new window the keyboard.
  activateWindow();
}

void CMainFrame::KeepFrameAtOrigin() {
  QWindow* window = windowHandle();
  if (!window || --m_nPlacementChecks <= 0) {
    m_placementTimer.stop();
    return;
  }
  switch (PlaceFrameAtOriginNatively(*window)) {
    case FramePlacement::NotFramed:
      return;  // look again: a window manager may frame it yet
    case FramePlacement::AtOrigin:
      m_placementTimer.stop();  // from now on it goes where the user puts it
      return;
    case FramePlacement::Moved:
      // A window manager that keeps putting the window elsewhere (a tiling one) wins.
      if (++m_nPlacementMoves >= kPlacementMoves) m_placementTimer.stop();
      return;
    case FramePlacement::Unavailable:
      break;
  }
  // Elsewhere through Qt, in its scaled pixels. The window's own frame margins
  // are fresh; the widget's may lag behind.
  const QMargins frame = window->frameMargins();
  if (window->framePosition() != QPoint(0, 0)) {
    if (++m_nPlacementMoves > kPlacementMoves)
      m_placementTimer.stop();
    else
      window->setPosition(frame.left(), frame.top());
  } else if (!frame.isNull()) {
    m_placementTimer.stop();
  }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::Hide && watched != this && watched->isWidgetType()) {
    const auto* widget = static_cast<QWidget*>(watched);
    if (widget->isWindow() && widget->isModal())
      QTimer::singleShot(0, this, &CMainFrame::TakeFocusBack);
  }
  return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::TakeFocusBack() {
  // Another dialog may have followed the first (a question, then a file dialog).
  if (!isVisible() || QApplication::activeModalWidget() || QApplication::activePopupWidget())
    return;
  activateWindow();
  m_pView->setFocus(Qt::OtherFocusReason);
}

void CMainFrame::changeEvent(QEvent* event) {
  // Maximising must not enlarge the window: it stays at its fixed size.
  if (event->type() == QEvent::WindowStateChange && (windowState() & Qt::WindowMaximized))
    setWindowState(windowState() & ~Qt::WindowMaximized);
  QMainWindow::changeEvent(event);
}

}  // namespace thumper

namespace thumper {

void CMainFrame::resizeEvent(QResizeEvent* event) {
  QMainWindow::resizeEvent(event);
  // Without a window manager nothing holds an X client to its size hints: a
  // resize from outside is undone as soon as it arrives.
  const QSize fixed = minimumSize();
  if (fixed == maximumSize() && !fixed.isEmpty() && event->size() != fixed)
    QTimer::singleShot(0, this, [this] {
      if (minimumSize() == maximumSize() && size() != minimumSize()) resize(minimumSize());
    });
}

}  // namespace thumper
