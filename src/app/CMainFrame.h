#pragma once
// The main window: the menu bar over the skinned view, which fills the whole
// client area. Fixed size, no toolbar, no status bar; the title shows the drum
// set's title, then " - Klonk Bammer".

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "app/DocManager.h"
#include "app/RecentFileList.h"
#include "view/CThumperView.h"

namespace thumper {

inline constexpr const char* kWindowTitle = "Klonk Bammer";
inline constexpr const char* kViewName = "KLONK Drum";

class CMainFrame : public QMainWindow {
  Q_OBJECT

 public:
  CMainFrame(CThumperDoc& doc, SampleListState& list, UiServices& ui, DocManager& docs,
             RecentFileList& recent);
  ~CMainFrame() override;

  CThumperView& View() { return *m_pView; }
  QMenu* FileMenu() const { return m_pFileMenu; }
  QMenu* AboutMenu() const { return m_pAboutMenu; }

  // Once shown: the frame, title bar and borders included, at the screen's
  // top-left corner, and focus to the window. (A position given before the
  // window manager has framed the window places only the client area there,
  // the title bar off screen.)
  void PlaceFrameAtOrigin();
  static constexpr int kPlacementMs = 10000, kPlacementCheckMs = 50, kPlacementMoves = 5;

  // The title from the drum set's title now.
  void OnUpdateFrameTitle();
  // The recent files in the File menu, or "Recent File" greyed while there are none.
  void RebuildRecentFiles();
  // Follows changes made outside the File menu (the panel's LOAD SET and SAVE
  // SET): a new title, and a new path entering the recent files.
  void SyncWithDocument();

  void OnAppAbout();
  void OnHelp();

  // Under a session manager closing the window hides it: this runs first when
  // set, and returns true when it hid the window instead of the close.
  std::function<bool()> m_hideInsteadOfClose;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildMenus();
  // Focus back to the window once a modal dialog has gone: without a window
  // manager nothing else gives it back, and the shortcuts would do nothing.
  void TakeFocusBack();
  void KeepFrameAtOrigin();

  CThumperDoc& m_doc;
  DocManager& m_docs;
  RecentFileList& m_recent;
  CThumperView* m_pView;  // the central widget, owned by the window
  QMenu* m_pFileMenu = nullptr;
  QMenu* m_pAboutMenu = nullptr;
  QAction* m_pRecentEnd = nullptr;  // the separator after the recent files
  std::vector<QAction*> m_recentActions;
  std::string m_strShownTitle, m_strSeenPath;
  QTimer m_placementTimer;  // runs until the start-up placement has settled
  int m_nPlacementChecks = 0, m_nPlacementMoves = 0;
};

}  // namespace thumper
