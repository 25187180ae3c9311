#pragma once
// The whole program with its gestures, driven by mouse events sent to the view
// as the window system delivers them.

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include "AppFixture.h"
#include "edit/ViewGestures.h"
#include "view/ViewCursors.h"

namespace thumper::test {

class GestureFixture : public AppFixture {
 protected:
  void SetUp() override {
    AppFixture::SetUp();
    AppOptions options = MakeOptions();
    // The dialogs as a user would answer them, scripted by each test.
    options.runSoundProps = [this](CSoundPropsDlg& dlg) {
      return answerSoundProps && answerSoundProps(dlg);
    };
    options.runOptions = [this](COptionsDlg& dlg) { return answerOptions && answerOptions(dlg); };
    app = std::make_unique<CThumperApp>(std::move(options));
    ASSERT_TRUE(app->InitInstance({}));
    ui.messages.clear();
  }

  std::function<bool(CSoundPropsDlg&)> answerSoundProps;
  std::function<bool(COptionsDlg&)> answerOptions;

  CThumperView& View() { return Frame().View(); }
  ViewGestures& Gestures() { return *app->Gestures(); }
  ThumperRuntime& Runtime() { return *app->Runtime(); }
  SampleListState& List() { return View().ListState(); }
  const ViewRegions& Regions() { return View().Regions(); }

  void Send(QEvent::Type type, Qt::MouseButton button, QPoint p) {
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::MouseButtons{} : Qt::MouseButtons{button};
    QMouseEvent event(type, QPointF(p), View().mapToGlobal(QPointF(p)), button,
                      type == QEvent::MouseMove ? Qt::MouseButtons{} : held, Qt::NoModifier);
    QApplication::sendEvent(&View(), &event);
  }
  void Press(QPoint p, Qt::MouseButton b = Qt::LeftButton) { Send(QEvent::MouseButtonPress, b, p); }
  void Release(QPoint p, Qt::MouseButton b = Qt::LeftButton) {
    Send(QEvent::MouseButtonRelease, b, p);
  }
  void Move(QPoint p) { Send(QEvent::MouseMove, Qt::NoButton, p); }
  void Drag(QPoint from, QPoint to) {
    Press(from);
    Move(to);
    Release(to);
  }
  void Click(QPoint p) {
    Press(p);
    Release(p);
  }

  static QPoint Centre(const Rect& rc) {
    return {(rc.left + rc.right) / 2, (rc.top + rc.bottom) / 2};
  }
  // The middle of a cell of the shown pair: slot first..first+23, layer 0 (top) to 4.
  QPoint Cell(int32_t slot, int32_t layer) {
    const int offset = slot - View().Keyboards().m_nFirstShownSlot;
    const QPoint p = Centre(Regions().CellRect(offset / 12, (offset % 12) * 5 + layer));
    const std::optional<CellHit> hit = View().Keyboards().CellAt(p.x(), p.y());
    EXPECT_TRUE(hit && hit->nSlot == slot && hit->nLayer == layer);
    return p;
  }
  QPoint SampleRow(int row) { return Centre(Regions().m_rcSampleRow[row]); }
  QPoint GroupRow(int row) { return Centre(Regions().m_rcGroupRow[row]); }
  QPoint Button(int32_t button) { return Centre(FindButtonArt(button)->rcHit); }
  QPoint Trash() { return Centre(Regions().m_rcTrash); }

  // A group of n short samples on disk, made through LOAD SAMPLE.
  std::vector<std::string> AddGroupOfSamples(int n, const std::string& prefix = "s") {
    std::vector<std::string> paths;
    for (int i = 0; i < n; ++i) {
      paths.push_back(files / (prefix + std::to_string(i) + ".wav"));
      WriteWav(paths.back(), std::vector<int16_t>(200, int16_t(1000 + i)));
    }
    if (Doc().GroupCount() == 0) ui.createGroupAnswers.push_back("Kit");
    ui.fileAnswers.push_back({true, paths});
    Click(Button(kLoadSample));
    return paths;
  }
};

}  // namespace thumper::test
