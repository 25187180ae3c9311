// Drawing costs of the skinned face: the full repaint (every document update and
// removal), one note on and off (up to hundreds a second from a drum pad), a
// button relight and a list redraw during a thumb drag. The view needs Qt: the
// benchmarks run when this program is linked with thumper_gui (a GUI build).

#include <benchmark/benchmark.h>

#if __has_include(<QImage>) && defined(THUMPER_HAVE_GUI)

#include <QGuiApplication>
#include <memory>
#include <string>

#include "drumset/CThumperDoc.h"
#include "view/SkinnedFace.h"

namespace {

using namespace thumper;

class NoUi : public UiServices {
 public:
  MsgResult MessageBox(const std::string&, const std::string&, MsgButtons, MsgIcon) override {
    return MsgResult::Ok;
  }
  FileDialogResult FileDialog(const FileDialogParams&) override { return {}; }
  std::optional<std::string> CreateGroupDialog(const std::string&) override { return {}; }
};

struct Face {
  CThumperDoc doc;
  SampleListState list;
  NoUi ui;
  std::unique_ptr<SkinnedFace> face;
  Face() {
    for (int g = 0; g < 16; ++g) {
      doc.m_pGroupNames->push_back("Group number " + std::to_string(g));
      if (!doc.m_pGroupList[g]) doc.m_pGroupList[g] = std::make_unique<StringList>();
    }
    for (int i = 0; i < 200; ++i)
      doc.m_pGroupList[0]->push_back("/home/me/samples/kit/sample " + std::to_string(i) + ".wav");
    for (int slot = 0; slot < 24; slot += 2) doc.m_nLayerSource[LayerIndex(slot, 0)] = 0;
    face = std::make_unique<SkinnedFace>(doc, list, ui, [] { return uint64_t{1} << 32; });
    face->LoadSkin(32);
    face->FullRepaint();
  }
};

QGuiApplication& App() {
  static int argc = 1;
  static char name[] = "bench_view_drawing";
  static char* argv[] = {name, nullptr};
  static QGuiApplication app(argc, argv);
  return app;
}

void BM_FullRepaint(benchmark::State& state) {
  App();
  Face f;
  for (auto _ : state) f.face->FullRepaint();
}
BENCHMARK(BM_FullRepaint)->Unit(benchmark::kMicrosecond);

void BM_NoteOnAndRelease(benchmark::State& state) {
  App();
  Face f;
  int slot = 0;
  for (auto _ : state) {
    f.face->Keyboards().ShowNotePlaying(slot, slot % 5, true);
    f.face->Keyboards().ShowNoteReleased(slot);
    slot = (slot + 1) % 24;
  }
}
BENCHMARK(BM_NoteOnAndRelease)->Unit(benchmark::kMicrosecond);

void BM_ButtonRelight(benchmark::State& state) {
  App();
  Face f;
  bool left = false;
  for (auto _ : state) {
    f.face->ButtonHover(left ? 560 : 620, 150);
    left = !left;
  }
}
BENCHMARK(BM_ButtonRelight)->Unit(benchmark::kMicrosecond);

void BM_ThumbDragStep(benchmark::State& state) {
  App();
  Face f;
  SampleListPanel& panel = f.face->SampleList();
  int y = 60;
  panel.m_ptThumbDrag = {515, 50};
  for (auto _ : state) {
    panel.DragScrollThumb(515, y);
    y = y == 60 ? 50 : 60;
  }
}
BENCHMARK(BM_ThumbDragStep)->Unit(benchmark::kMicrosecond);

}  // namespace

#else

static void BM_ViewDrawingNeedsTheGuiBuild(benchmark::State& state) {
  state.SkipWithError("built without the GUI library");
  for (auto _ : state) {
  }
}
BENCHMARK(BM_ViewDrawingNeedsTheGuiBuild);

#endif
