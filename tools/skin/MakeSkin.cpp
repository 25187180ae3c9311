// Draws Thumper's pictures: the skin sheet in 24-bit and 8-bit indexed form, the
// same sheet at 2 and 3 times the size for screens that scale windows
// (skin@2x.png, skin@3x.png), the About picture and the two drag cursors.
// Everything is painted here from scratch; the output is committed under
// resources/skin/.
//
// Regenerate (from the repository root, after building the target make_skin):
//   QT_QPA_PLATFORM=offscreen build-view/tools/skin/make_skin resources/skin
// or `cmake --build BUILD --target skin`, which does the same into the source tree.
//
// The sheet's layout is fixed: the view copies fixed rectangles out of it. The
// face is painted once at rest and once more for each lit element; the lit
// pieces are cut from those paintings at the positions the view copies them to,
// so a lit piece always lines up with the face pixel for pixel.

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <cstdio>

#include "skin/SkinArt.h"
#include "skin/SkinPalette.h"
#include "view/ViewRegions.h"

using namespace thumper;
using namespace thumper::skin;

namespace {

// Rectangles in face pixels, whatever the images' scale.
void Blit(QImage& dst, int dx, int dy, const QImage& src, int sx, int sy, int w, int h) {
  const int s = ArtScale(src);
  QPainter p(&dst);
  p.setCompositionMode(QPainter::CompositionMode_Source);
  p.drawImage(QPointF(dx, dy), src, QRectF(sx * s, sy * s, w * s, h * s));
}

// The sheet at scale 1, or at 2 or 3 device pixels per face pixel for screens
// that scale the window: the same layout, every rectangle multiplied.
QImage BuildSheet(int scale) {
  QImage sheet = ArtImage(kSheetWidth, kSheetHeight, scale);
  sheet.fill(QColor(24, 25, 28));

  // The three key image sets.
  for (auto [x, look] : {std::pair{kKeyImagePressedX, KeyLook::Pressed},
                         std::pair{kKeyImageAssignedX, KeyLook::Assigned},
                         std::pair{kKeyImagePlayingX, KeyLook::Playing}}) {
    QImage keys = ArtImage(250, 196, scale);
    PaintKeyboard(keys, look);
    Blit(sheet, x, 0, keys, 0, 0, 250, 196);
  }

  FaceLook rest;
  const QImage face = PaintFace(rest, scale);
  Blit(sheet, 0, kBackgroundY, face, 0, 0, kFaceWidth, kFaceHeight);

  // Lit buttons: the lit face's block, piece by piece where the view takes them.
  FaceLook lit;
  lit.bButtonsLit = true;
  const QImage litFace = PaintFace(lit, scale);
  for (const ButtonArt& art : kButtons)
    Blit(sheet, art.ptLitSource.x, art.ptLitSource.y, litFace, art.ptLitDest.x, art.ptLitDest.y,
         art.nWidth, art.nHeight);

  // Lit octave pairs; the 5+6 image is shown from y 369.
  const int pairDestY[3] = {296, 332, 369};
  const int pairSheetY[3] = {196, 232, 270};
  for (int i = 0; i < 3; ++i) {
    FaceLook pair;
    pair.nLitPair = i;
    const QImage pairFace = PaintFace(pair, scale);
    Blit(sheet, 130, pairSheetY[i], pairFace, 558, pairDestY[i], 105, 34);
  }

  // Octave labels in the order 1, 2, 3 (x 250) and 4, 5, 6 (x 353).
  for (int n = 1; n <= 6; ++n) {
    const int x = n <= 3 ? 250 : 353;
    const int y = 196 + 42 * ((n - 1) % 3);
    QImage label = face.copy((n <= 3 ? 11 : 278) * scale, 242 * scale, 103 * scale, 42 * scale);
    label.setDevicePixelRatio(scale);
    PaintOctaveLabel(label, n);
    Blit(sheet, x, y, label, 0, 0, 103, 42);
  }

  FaceLook trash;
  trash.bTrashLit = true;
  Blit(sheet, 500, 200, PaintFace(trash, scale), 659, 421, 66, 65);

  // The MIDI IN light: the background's 54 x 45, with only the inner block lit,
  // because the light is put out by restoring that block alone.
  FaceLook midi;
  midi.bMidiInLit = true;
  const QImage midiFace = PaintFace(midi, scale);
  Blit(sheet, 500, 280, face, 581, 440, 54, 45);
  Blit(sheet, 510, 282, midiFace, 591, 442, 34, 39);
  return sheet;
}

bool Save(const QImage& image, const QString& path) {
  if (image.save(path, "PNG")) return true;
  std::fprintf(stderr, "make_skin: cannot write %s\n", qPrintable(path));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_skin OUTPUT_FOLDER\n");
    return 2;
  }
  if (!LoadArtFonts()) {
    std::fprintf(stderr, "make_skin: the DejaVu fonts are missing (fonts-dejavu-core)\n");
    return 1;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QImage sheet = BuildSheet(1);
  bool ok = Save(sheet.convertToFormat(QImage::Format_RGB888), out + "/skin.png");
  ok = Save(ToIndexed8(sheet), out + "/skin8.png") && ok;
  for (int scale : {2, 3}) {
    const QImage large = BuildSheet(scale).convertToFormat(QImage::Format_RGB888);
    ok = Save(large, out + QString("/skin@%1x.png").arg(scale)) && ok;
  }
  ok = Save(PaintAbout(), out + "/about.png") && ok;
  ok = Save(PaintAppIcon(), out + "/icon.png") && ok;
  ok = Save(PaintArrowCursor(), out + "/cursor-arrow.png") && ok;
  ok = Save(PaintSpeakerCursor(), out + "/cursor-speaker.png") && ok;
  return ok ? 0 : 1;
}
