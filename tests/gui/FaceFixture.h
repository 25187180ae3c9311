#pragma once
// A face drawn from the committed skin, with a drum set, the list state and a
// scripted UI, and helpers that compare face pixels with the sheet.

#include <gtest/gtest.h>

#include <QImage>
#include <memory>
#include <string>
#include <vector>

#include "drumset/CThumperDoc.h"
#include "support/TestSupport.h"
#include "view/SkinnedFace.h"

namespace thumper::test {

inline const QImage& CommittedSheet() {
  static const QImage sheet = QImage(kSkinSheet24).convertToFormat(QImage::Format_RGB32);
  return sheet;
}

// True when the face's w x h block at (x, y) equals the sheet's at (sx, sy).
inline bool FaceShows(const Surface& surface, int x, int y, int w, int h, int sx, int sy,
                      const QImage& sheet = CommittedSheet()) {
  for (int j = 0; j < h; ++j)
    for (int i = 0; i < w; ++i)
      if (surface.FacePixel(x + i, y + j) != sheet.pixel(sx + i, sy + j)) return false;
  return true;
}

inline bool FaceShows(const Surface& surface, const Rect& rc, int sx, int sy) {
  return FaceShows(surface, rc.left, rc.top, rc.Width(), rc.Height(), sx, sy);
}

// The face's block shows the background at its own place.
inline bool FaceAtRest(const Surface& surface, const Rect& rc) {
  return FaceShows(surface, rc, rc.left, rc.top + kBackgroundY);
}

inline int CountPixels(const Surface& surface, const Rect& rc, QRgb colour) {
  int n = 0;
  for (int y = rc.top; y < rc.bottom; ++y)
    for (int x = rc.left; x < rc.right; ++x) n += surface.FacePixel(x, y) == (colour | 0xff000000u);
  return n;
}

class FaceTest : public ::testing::Test {
 protected:
  CThumperDoc doc;
  SampleListState list;
  ScriptedUi ui;
  uint64_t availableBytes = 1536000;
  std::unique_ptr<SkinnedFace> face =
      std::make_unique<SkinnedFace>(doc, list, ui, [this] { return availableBytes; });
  std::vector<Rect> changed;

  void SetUp() override {
    face->GetSurface().SetChangeHandler([this](const Rect& rc) { changed.push_back(rc); });
  }

  Surface& surface() { return face->GetSurface(); }

  void Load(int depth = 32) {
    ASSERT_EQ(face->LoadSkin(depth), depth == 8 ? SkinLoad::LoadedPalette : SkinLoad::Loaded);
    face->FullRepaint();
    changed.clear();
  }

  void AddGroup(const std::string& name, int samples, const std::string& prefix = "kick") {
    doc.m_pGroupNames->push_back(name);
    const int g = doc.GroupCount() - 1;
    if (!doc.m_pGroupList[g]) doc.m_pGroupList[g] = std::make_unique<StringList>();
    for (int i = 0; i < samples; ++i)
      doc.m_pGroupList[g]->push_back("/drums/" + prefix + std::to_string(i) + ".wav");
  }

  void GiveOwnSample(int slot, int layer) { doc.m_nLayerSource[LayerIndex(slot, layer)] = layer; }
};

}  // namespace thumper::test
