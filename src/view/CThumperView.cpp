#include "view/CThumperView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace thumper {
namespace {

constexpr int kMaxEventsPerDrain = 512;

}  // namespace

CThumperView::CThumperView(CThumperDoc& doc, SampleListState& list, UiServices& ui, QWidget* parent)
    : QWidget(parent), m_doc(doc), m_list(list), m_ui(ui), m_face(doc, list, ui) {
  setWindowTitle(QStringLiteral("KLONK Drum"));
  setFixedSize(kFaceWidth, kFaceHeight);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setFocusPolicy(Qt::StrongFocus);
  setMouseTracking(true);
  m_face.GetSurface().SetChangeHandler(
      [this](const Rect& rc) { update(rc.left, rc.top, rc.Width(), rc.Height()); });
  m_drainTimer.setInterval(kDrainIntervalMs);
  m_drainTimer.setTimerType(Qt::PreciseTimer);
  connect(&m_drainTimer, &QTimer::timeout, this, &CThumperView::DrainNoteEvents);
}

CThumperView::~CThumperView() {
  if (m_pWatchedWindow) m_pWatchedWindow->removeEventFilter(this);
}

int CThumperView::ColourDepth() const {
  return m_nForcedDepth ? *m_nForcedDepth : depth();
}

void CThumperView::OnInitialUpdate() {
  // The screen's scaling is known once the window exists; the first load fixes it.
  m_face.SetScale(SkinnedFace::ScaleForRatio(devicePixelRatioF()));
  if (m_face.LoadSkin(ColourDepth()) == SkinLoad::Failed) {
    close();
    return;
  }
  m_face.FullRepaint();
}

void CThumperView::ShowNotePlaying(int32_t slot, int32_t layer, bool bSounds) {
  m_face.Keyboards().ShowNotePlaying(slot, layer, bSounds);
}

void CThumperView::ShowNoteReleased(int32_t slot) {
  m_face.Keyboards().ShowNoteReleased(slot);
}

void CThumperView::SetNoteEventSource(NoteEventSource source, int wakeFd,
                                      std::function<void()> onWake) {
  m_noteSource = std::move(source);
  m_onWake = std::move(onWake);
  m_pWakeNotifier.reset();
  m_drainTimer.stop();
  if (!m_noteSource) return;
  if (wakeFd < 0) {
    m_drainTimer.start();
    return;
  }
  // Woken by the trigger's first event after each drain: no timer runs while
  // nothing plays, and a note is drawn as soon as the event loop gets to it.
  m_pWakeNotifier = std::make_unique<QSocketNotifier>(wakeFd, QSocketNotifier::Read);
  connect(m_pWakeNotifier.get(), &QSocketNotifier::activated, this, [this] {
    if (m_onWake) m_onWake();  // clears the signal before the drain
    DrainNoteEvents();
  });
}

void CThumperView::DrainNoteEvents() {
  if (!m_noteSource) return;
  NoteEvent event;
  // Bounded, so a flood of notes cannot starve the event loop.
  int i = 0;
  for (; i < kMaxEventsPerDrain && m_noteSource(event); ++i) {
    if (event.kind == NoteEvent::Kind::Playing)
      ShowNotePlaying(event.nSlot, event.nLayer, event.bSounds);
    else
      ShowNoteReleased(event.nSlot);
  }
  // Woken views get no second signal for what is left: come back at once.
  if (i == kMaxEventsPerDrain && m_pWakeNotifier)
    QTimer::singleShot(0, this, &CThumperView::DrainNoteEvents);
}

void CThumperView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  const QRect area = event->rect();
  const Surface& surface = m_face.GetSurface();
  const int s = surface.Scale();
  // A face drawn at 2 for a screen at 1.5 is shown smaller, smoothly.
  if (s != devicePixelRatioF()) painter.setRenderHint(QPainter::SmoothPixmapTransform);
  painter.drawImage(QRectF(area), surface.Face(),
                    QRectF(area.x() * s, area.y() * s, area.width() * s, area.height() * s));
}

void CThumperView::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (m_pPointerHandler) {
    if (event->button() == Qt::LeftButton) m_pPointerHandler->OnLeftPressed(p.x(), p.y());
    if (event->button() == Qt::RightButton) m_pPointerHandler->OnRightPressed(p.x(), p.y());
    return;
  }
  if (event->button() != Qt::LeftButton) return;
  SampleListPanel& list = m_face.SampleList();
  list.m_bThumbDrag = false;
  if (list.m_rcThumb.Contains(p.x(), p.y())) {
    list.m_ptThumbDrag = {p.x(), p.y()};
    list.m_bThumbDrag = true;
  } else if (Regions().m_rcOctaveSelector.Contains(p.x(), p.y())) {
    m_face.Keyboards().ChooseOctavePair(p.x(), p.y());
  }
}

void CThumperView::mouseReleaseEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (m_pPointerHandler) {
    if (event->button() == Qt::LeftButton) m_pPointerHandler->OnLeftReleased(p.x(), p.y());
    if (event->button() == Qt::RightButton) m_pPointerHandler->OnRightReleased(p.x(), p.y());
    return;
  }
  if (event->button() == Qt::LeftButton) m_face.SampleList().m_bThumbDrag = false;
}

void CThumperView::mouseDoubleClickEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (m_pPointerHandler) {
    if (event->button() == Qt::LeftButton) m_pPointerHandler->OnLeftDoubleClicked(p.x(), p.y());
    if (event->button() == Qt::RightButton) m_pPointerHandler->OnRightPressed(p.x(), p.y());
    return;
  }
  mousePressEvent(event);
}

void CThumperView::mouseMoveEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (m_pPointerHandler) {
    m_pPointerHandler->OnPointerMoved(p.x(), p.y());
    return;
  }
  SampleListPanel& list = m_face.SampleList();
  if (list.m_bThumbDrag && p.y() > 40 && p.y() < 210)
    list.DragScrollThumb(p.x(), p.y());
  else
    m_face.ButtonHover(p.x(), p.y());
}

void CThumperView::keyPressEvent(QKeyEvent* event) {
  if (m_pPointerHandler && m_pPointerHandler->OnKeyPressed(event->key())) return;
  QWidget::keyPressEvent(event);
}

void CThumperView::focusInEvent(QFocusEvent* event) {
  m_face.OnSetFocus();
  QWidget::focusInEvent(event);
}

void CThumperView::changeEvent(QEvent* event) {
  // Only an 8-bit display has a palette to lose; elsewhere a style's palette
  // change is no business of the skin.
  if (event->type() == QEvent::PaletteChange && m_face.m_bPaletteMode) m_face.OnPaletteChanged();
  QWidget::changeEvent(event);
}

void CThumperView::showEvent(QShowEvent* event) {
  QWidget* top = window();
  if (top != m_pWatchedWindow) {
    if (m_pWatchedWindow) m_pWatchedWindow->removeEventFilter(this);
    m_pWatchedWindow = top;
    m_pWatchedWindow->installEventFilter(this);
  }
  QWidget::showEvent(event);
}

bool CThumperView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == m_pWatchedWindow && event->type() == QEvent::Move) m_face.OnWindowMoved();
  return QWidget::eventFilter(watched, event);
}

}  // namespace thumper
