#pragma once
// The main view: a fixed 727 x 487 widget that shows the skinned face. It owns
// the drawing components and forwards Qt's events to them; the mouse gestures
// plug in through ViewPointerHandler, the note trigger's events through a drain
// source polled on the UI thread every few milliseconds.

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>

#include "drumset/CThumperDoc.h"
#include "drumset/SampleListState.h"
#include "drumset/UiServices.h"
#include "play/NoteTrigger.h"
#include "view/SkinnedFace.h"
#include "view/ViewPointerHandler.h"

namespace thumper {

class CThumperView : public QWidget {
  Q_OBJECT

 public:
  // Takes the next note event off the trigger's queue; false when it is empty.
  using NoteEventSource = std::function<bool(NoteEvent&)>;

  static constexpr int kDrainIntervalMs = 4;

  CThumperView(CThumperDoc& doc, SampleListState& list, UiServices& ui, QWidget* parent = nullptr);
  ~CThumperView() override;

  // After every document update: loads the skin on the first run, then redraws
  // the whole face. A sheet that cannot be read closes the view's window.
  void OnInitialUpdate();
  void FullRepaint() { m_face.FullRepaint(); }

  // The colour depth the skin is chosen by; the screen's unless set (tests force 8).
  void SetColourDepth(std::optional<int> depth) { m_nForcedDepth = depth; }
  int ColourDepth() const;

  // Note display, on the UI thread.
  void ShowNotePlaying(int32_t slot, int32_t layer, bool bSounds);
  void ShowNoteReleased(int32_t slot);
  // wakeFd, when given, becomes readable as events arrive (see WakeSignal):
  // the view then drains only when woken, and sleeps while nothing plays.
  // Without one it drains on a short timer.
  void SetNoteEventSource(NoteEventSource source, int wakeFd = -1,
                          std::function<void()> onWake = {});
  // Shows every event waiting in the source.
  void DrainNoteEvents();

  // The mouse gestures; null restores the view's own button lighting and pair
  // choice. Not owned.
  void SetPointerHandler(ViewPointerHandler* handler) { m_pPointerHandler = handler; }

  SkinnedFace& Face() { return m_face; }
  KeyboardPanels& Keyboards() { return m_face.Keyboards(); }
  SampleListPanel& SampleList() { return m_face.SampleList(); }
  const ViewRegions& Regions() const { return m_face.Regions(); }
  Surface& GetSurface() { return m_face.GetSurface(); }
  CThumperDoc& Document() { return m_doc; }
  SampleListState& ListState() { return m_list; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  CThumperDoc& m_doc;
  SampleListState& m_list;
  UiServices& m_ui;
  SkinnedFace m_face;
  ViewPointerHandler* m_pPointerHandler = nullptr;
  NoteEventSource m_noteSource;
  QTimer m_drainTimer;
  std::unique_ptr<QSocketNotifier> m_pWakeNotifier;
  std::function<void()> m_onWake;
  std::optional<int> m_nForcedDepth;
  QPointer<QWidget> m_pWatchedWindow;
};

}  // namespace thumper
