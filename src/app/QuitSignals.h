#pragma once
// SIGINT, SIGTERM and SIGHUP close the main window as its close box would, so
// the drum set is offered for saving and the devices are shut down in order
// instead of the process dying mid-write. UI thread.

#include <QObject>
#include <QSocketNotifier>
#include <functional>
#include <memory>

namespace thumper {

class QuitSignals : public QObject {
 public:
  // onQuit runs on the UI thread once per signal that arrives.
  explicit QuitSignals(std::function<void()> onQuit);
  ~QuitSignals() override;
  QuitSignals(const QuitSignals&) = delete;
  QuitSignals& operator=(const QuitSignals&) = delete;

  bool Installed() const { return m_pNotifier != nullptr; }

 private:
  void OnSignal();

  std::function<void()> m_onQuit;
  std::unique_ptr<QSocketNotifier> m_pNotifier;
};

}  // namespace thumper
