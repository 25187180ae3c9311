#pragma once
// Calls back soon after the user's input has been handled (a button or key let
// go of), so what input may change (the frame's title after a file command)
// is brought up to date without a timer beating at rest.

#include <QEvent>
#include <QObject>
#include <QTimer>
#include <functional>

namespace thumper {

class InputWatch : public QObject {
 public:
  explicit InputWatch(std::function<void()> after) : m_after(std::move(after)) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const QEvent::Type t = event->type();
    if ((t == QEvent::MouseButtonRelease || t == QEvent::KeyRelease || t == QEvent::Close) &&
        !m_bQueued) {
      m_bQueued = true;
      QTimer::singleShot(0, this, [this] {
        m_bQueued = false;
        if (m_after) m_after();
      });
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> m_after;
  bool m_bQueued = false;
};

}  // namespace thumper
