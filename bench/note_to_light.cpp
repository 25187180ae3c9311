// From a note-on on the audio side to its lit cell: the trigger's event and
// wake-up cross to a resting UI thread, which drains and draws. Runs when this
// program is linked with the GUI library.

#include <benchmark/benchmark.h>

#if __has_include(<QApplication>) && defined(THUMPER_HAVE_GUI)

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "SilentUi.h"
#include "audio/CommandQueue.h"
#include "audio/WakeSignal.h"
#include "view/CThumperView.h"

namespace {

using namespace thumper;
using Clock = std::chrono::steady_clock;

QApplication& App() {
  static int argc = 1;
  static char name[] = "bench_note_to_light";
  static char* argv[] = {name, nullptr};
  static QApplication app(argc, argv);
  return app;
}

void BM_NoteToLitCell(benchmark::State& state) {
  App();
  CThumperDoc doc;
  SampleListState list;
  SilentUi ui;
  CThumperView view(doc, list, ui);
  view.OnInitialUpdate();
  WakeSignal wake;
  CommandQueue<NoteEvent> queue(64);
  std::atomic<int64_t> drawnAt{0};
  view.SetNoteEventSource(
      [&](NoteEvent& e) {
        if (!queue.TryPop(e)) return false;
        drawnAt.store(Clock::now().time_since_epoch().count());
        return true;
      },
      wake.Fd(), [&] { wake.Clear(); });
  std::vector<double> ms;
  for (auto _ : state) {
    // A rest, then a note from another thread, as the audio thread gives it.
    const auto restUntil = Clock::now() + std::chrono::milliseconds(30);
    while (Clock::now() < restUntil) QApplication::processEvents(QEventLoop::AllEvents, 5);
    drawnAt.store(0);
    const auto sent = Clock::now();
    std::thread audio([&] {
      queue.TryPush({NoteEvent::Kind::Playing, 2, 0, true});
      wake.Raise();
    });
    while (drawnAt.load() == 0) QApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    audio.join();
    const auto drawn = Clock::time_point(Clock::duration(drawnAt.load()));
    ms.push_back(std::chrono::duration<double, std::milli>(drawn - sent).count());
    queue.TryPush({NoteEvent::Kind::Released, 2, 0, false});
    wake.Raise();
  }
  view.SetNoteEventSource({});
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["max_ms"] = ms.back();
}
BENCHMARK(BM_NoteToLitCell)->Iterations(60)->UseRealTime();

}  // namespace

#endif
