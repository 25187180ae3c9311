#pragma once
// The painting of Thumper's face and its lit pieces, the key image sets, the
// About picture and the cursors.

#include <QImage>

namespace thumper::skin {

enum class KeyLook { Resting, Pressed, Assigned, Playing };

struct FaceLook {
  bool bButtonsLit = false;
  int nLitPair = -1;  // 0, 1, 2 for 1+2, 3+4, 5+6
  bool bTrashLit = false;
  bool bMidiInLit = false;
};

bool LoadArtFonts();

// An image of width x height face pixels, drawn at scale (1, 2 or 3) device
// pixels per face pixel; painters on it take face coordinates.
QImage ArtImage(int width, int height, int scale, QImage::Format format = QImage::Format_RGB32);
// The scale an image was made with.
int ArtScale(const QImage& img);

// A 250 x 196 keyboard whose cells lie at the cell source rectangles (an
// ArtImage of any scale).
void PaintKeyboard(QImage& keys, KeyLook look);
QImage PaintFace(const FaceLook& look, int scale = 1);
// "Octave n" engraved on the 103 x 42 plate already in the image.
void PaintOctaveLabel(QImage& plate, int n);
QImage PaintAbout();
// The program's icon for the desktop: 256 x 256 with transparent corners.
QImage PaintAppIcon();
QImage PaintArrowCursor();
QImage PaintSpeakerCursor();

}  // namespace thumper::skin
