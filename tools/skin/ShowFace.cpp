// Renders the main view's face with a small drum set, a few own-sample cells,
// two notes held and a button under the pointer, and saves it as a PNG: a quick
// look at the skin as users see it.
//   QT_QPA_PLATFORM=offscreen build-view/tools/skin/show_face face.png

#include <QGuiApplication>
#include <cstdio>

#include "drumset/CThumperDoc.h"
#include "drumset/UiServices.h"
#include "view/SkinnedFace.h"

namespace {

class SilentUi : public thumper::UiServices {
 public:
  thumper::MsgResult MessageBox(const std::string&, const std::string&, thumper::MsgButtons,
                                thumper::MsgIcon) override {
    return thumper::MsgResult::Ok;
  }
  thumper::FileDialogResult FileDialog(const thumper::FileDialogParams&) override { return {}; }
  std::optional<std::string> CreateGroupDialog(const std::string&) override { return {}; }
};

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: show_face OUTPUT.png\n");
    return 2;
  }
  using namespace thumper;
  CThumperDoc doc;
  SampleListState list;
  SilentUi ui;
  const char* groups[] = {"Kicks", "Snares", "Hats", "Toms & Cymbals", "Percussion (Latin)"};
  for (const char* g : groups) doc.m_pGroupNames->push_back(g);
  for (int g = 1; g < 5; ++g) doc.m_pGroupList[g] = std::make_unique<StringList>();
  const char* kicks[] = {"C:\\Samples\\Kicks\\808 Boom.wav",
                         "/home/me/kits/acoustic kick 1.wav",
                         "acoustic kick 2.wav",
                         "Big Room Kick.wav",
                         "Deep Sub Kick.wav",
                         "Dry Kick (close mic).wav",
                         "Kick Tight 01.wav",
                         "Kick Tight 02.wav",
                         "Kick Vinyl.wav",
                         "Layered Kick.wav",
                         "Punchy Kick.wav",
                         "Round Kick.wav",
                         "Soft Kick.wav",
                         "Tape Kick.wav",
                         "Thump.wav",
                         "Vintage Kick.wav",
                         "Warm Kick.wav",
                         "Zap Kick.wav",
                         "Caf\xe9 Kick.wav"};
  for (const char* k : kicks) doc.m_pGroupList[0]->push_back(k);
  for (int slot : {0, 2, 4, 5, 7, 9, 13, 17})
    for (int layer = 0; layer < 5; ++layer)
      doc.m_nLayerSource[LayerIndex(slot, layer)] = layer < 3 || slot == 0 ? layer : 2;
  SkinnedFace face(doc, list, ui);
  if (face.LoadSkin(32) != SkinLoad::Loaded) return 1;
  face.SampleList().m_nHighlightSample = 3;
  face.FullRepaint();
  face.Keyboards().ShowNotePlaying(0, 1, true);
  face.Keyboards().ShowNotePlaying(6, 0, false);
  face.Keyboards().ShowNotePlaying(13, 2, true);
  face.ButtonHover(630, 175);
  return face.GetSurface().Face().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
}
