#include "skin/SkinArt.h"

#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <algorithm>
#include <cstdint>

#include "view/ViewRegions.h"

namespace thumper::skin {
namespace {

const char* kSans = "DejaVu Sans";
const char* kCondensed = "DejaVu Sans Condensed";

// A repeatable hash noise in [-1, 1]; the same picture on every machine.
double Noise(uint32_t a, uint32_t b) {
  uint32_t h = a * 0x9E3779B1u ^ (b + 0x7F4A7C15u) * 0x85EBCA77u;
  h ^= h >> 15;
  h *= 0x2C1B3C6Du;
  h ^= h >> 12;
  h *= 0x297A2D39u;
  h ^= h >> 15;
  return (h & 0xFFFF) / 32767.5 - 1.0;
}

int Clamp8(double v) {
  return std::clamp(int(v + 0.5), 0, 255);
}

// Dark brushed steel: horizontal streaks of different lengths over a soft
// vertical fall-off.
// r is in the face's pixels; an image drawn at a higher scale gets the same
// streak lengths with finer grain.
void BrushedMetal(QImage& img, const QRect& r, double top, double bottom, uint32_t seed) {
  const int s = ArtScale(img);
  const QRect d(r.left() * s, r.top() * s, r.width() * s, r.height() * s);
  for (int y = d.top(); y <= d.bottom(); ++y) {
    const double t = d.height() > 1 ? double(y - d.top()) / (d.height() - 1) : 0.0;
    const double base = top + (bottom - top) * t + 3.0 * Noise(seed, y);
    QRgb* row = reinterpret_cast<QRgb*>(img.scanLine(y));
    for (int x = d.left(); x <= d.right(); ++x) {
      const double streak = 2.2 * Noise(seed + x / (37 * s), y) +
                            1.6 * Noise(seed + 7 + x / (11 * s), y) + 1.2 * Noise(x, y * 31 + seed);
      const double v = base + streak;
      row[x] = qRgb(Clamp8(v), Clamp8(v + 1.5), Clamp8(v + 4));
    }
  }
}

QFont Font(const char* family, int pixels, int weight = QFont::Bold) {
  QFont f(family);
  f.setPixelSize(pixels);
  f.setWeight(QFont::Weight(weight));
  f.setHintingPreference(QFont::PreferFullHinting);
  return f;
}

// Letters cut into the metal: a light lip below, the fill in the cut.
void Engrave(QPainter& p, const QRectF& r, const QString& text, const QFont& font,
             const QColor& fill, int flags = Qt::AlignCenter) {
  p.save();
  p.setFont(font);
  p.setPen(QColor(255, 255, 255, 46));
  p.drawText(r.translated(0, 1), flags, text);
  p.setPen(QColor(0, 0, 0, 150));
  p.drawText(r.translated(0, -1), flags, text);
  p.setPen(fill);
  p.drawText(r, flags, text);
  p.restore();
}

// A panel set into the face: dark edge above and left, light edge below and right.
void Recess(QPainter& p, const QRect& r, const QColor& inside, int depth = 2) {
  p.fillRect(r, inside);
  for (int i = 0; i < depth; ++i) {
    const QRect e = r.adjusted(i, i, -i, -i);
    p.setPen(QColor(6, 6, 8, i == 0 ? 230 : 150));
    p.drawLine(e.topLeft(), e.topRight());
    p.drawLine(e.topLeft(), e.bottomLeft());
    p.setPen(QColor(150, 154, 162, i == 0 ? 120 : 60));
    p.drawLine(e.bottomLeft(), e.bottomRight());
    p.drawLine(e.topRight(), e.bottomRight());
  }
}

void Screw(QPainter& p, QPointF c) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient g(c + QPointF(-1.5, -1.5), 5);
  g.setColorAt(0, QColor(170, 172, 178));
  g.setColorAt(1, QColor(60, 62, 66));
  p.setPen(QColor(20, 20, 22));
  p.setBrush(g);
  p.drawEllipse(c, 4.2, 4.2);
  p.setPen(QPen(QColor(30, 30, 34), 1.3));
  p.drawLine(c + QPointF(-2.6, 1.5), c + QPointF(2.6, -1.5));
  p.restore();
}

// A rubber panel button inside r.
void PanelButton(QPainter& p, const QRect& r, const QString& label, bool lit) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF b = QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5);
  QLinearGradient g(b.topLeft(), b.bottomLeft());
  if (lit) {
    g.setColorAt(0, QColor(150, 118, 58));
    g.setColorAt(0.5, QColor(112, 82, 34));
    g.setColorAt(1, QColor(86, 60, 22));
  } else {
    g.setColorAt(0, QColor(86, 88, 95));
    g.setColorAt(0.5, QColor(64, 66, 72));
    g.setColorAt(1, QColor(48, 50, 55));
  }
  p.setPen(QColor(12, 12, 14));
  p.setBrush(g);
  p.drawRoundedRect(b, 3, 3);
  p.setPen(lit ? QColor(255, 214, 140, 150) : QColor(150, 154, 162, 110));
  p.drawLine(QPointF(b.left() + 3, b.top() + 1.2), QPointF(b.right() - 3, b.top() + 1.2));
  p.restore();
  const QFont font = Font(kCondensed, 8);
  const QColor fill = lit ? QColor(255, 226, 150) : QColor(196, 198, 204);
  if (lit) {
    p.save();
    p.setFont(font);
    p.setPen(QColor(255, 170, 40, 90));
    for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
      p.drawText(QRectF(r).translated(dx, dy), Qt::AlignCenter, label);
    p.restore();
  }
  Engrave(p, QRectF(r).adjusted(0, 0, 0, 0), label, font, fill);
}

// One octave pair button of the Edit Octave selector; lit ones are red.
void PairButton(QPainter& p, const QRect& r, const QString& label, bool lit) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF b = QRectF(r).adjusted(1.5, 1.5, -1.5, -1.5);
  QLinearGradient g(b.topLeft(), b.bottomLeft());
  if (lit) {
    g.setColorAt(0, QColor(236, 62, 48));
    g.setColorAt(0.55, QColor(190, 26, 20));
    g.setColorAt(1, QColor(128, 12, 10));
  } else {
    g.setColorAt(0, QColor(70, 40, 40));
    g.setColorAt(0.55, QColor(50, 28, 28));
    g.setColorAt(1, QColor(36, 20, 20));
  }
  p.setPen(QColor(10, 6, 6));
  p.setBrush(g);
  p.drawRoundedRect(b, 4, 4);
  p.setPen(lit ? QColor(255, 170, 150, 160) : QColor(140, 100, 100, 90));
  p.drawLine(QPointF(b.left() + 4, b.top() + 1.5), QPointF(b.right() - 4, b.top() + 1.5));
  p.restore();
  const QFont font = Font(kSans, 16);
  if (lit) {
    p.save();
    p.setFont(font);
    p.setPen(QColor(255, 220, 200, 70));
    for (auto [dx, dy] : {std::pair{-1, 0}, {1, 0}, {0, -1}, {0, 1}})
      p.drawText(QRectF(r).translated(dx, dy), Qt::AlignCenter, label);
    p.restore();
  }
  Engrave(p, QRectF(r), label, font, lit ? QColor(255, 250, 244) : QColor(160, 124, 120));
}

void MidiLamp(QPainter& p, bool lit) {
  const QPointF c(608, 461.5);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QRadialGradient bezel(c + QPointF(-4, -5), 20);
  bezel.setColorAt(0, QColor(180, 182, 188));
  bezel.setColorAt(1, QColor(40, 42, 46));
  p.setPen(QColor(14, 14, 16));
  p.setBrush(bezel);
  p.drawEllipse(c, 16.2, 16.2);
  p.setBrush(QColor(16, 10, 10));
  p.drawEllipse(c, 12.6, 12.6);
  QRadialGradient lens(c + QPointF(-3, -4), 14);
  if (lit) {
    lens.setColorAt(0, QColor(255, 246, 226));
    lens.setColorAt(0.25, QColor(255, 120, 70));
    lens.setColorAt(0.7, QColor(232, 36, 20));
    lens.setColorAt(1, QColor(140, 14, 8));
  } else {
    lens.setColorAt(0, QColor(120, 40, 36));
    lens.setColorAt(0.4, QColor(72, 14, 12));
    lens.setColorAt(1, QColor(34, 6, 6));
  }
  p.setPen(Qt::NoPen);
  p.setBrush(lens);
  p.drawEllipse(c, 11.4, 11.4);
  p.setBrush(QColor(255, 255, 255, lit ? 150 : 60));
  p.drawEllipse(c + QPointF(-4.2, -4.6), 2.6, 1.8);
  p.restore();
}

void TrashCan(QPainter& p, const QRect& r, bool lit) {
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QLinearGradient plate(r.topLeft(), r.bottomLeft());
  plate.setColorAt(0, lit ? QColor(120, 30, 24) : QColor(34, 35, 39));
  plate.setColorAt(1, lit ? QColor(70, 14, 10) : QColor(24, 25, 28));
  p.setPen(QColor(8, 8, 10));
  p.setBrush(plate);
  p.drawRoundedRect(QRectF(r).adjusted(0.5, 0.5, -0.5, -0.5), 5, 5);
  const QColor metal = lit ? QColor(255, 200, 180) : QColor(150, 154, 162);
  const QColor dark = lit ? QColor(150, 60, 50) : QColor(70, 72, 78);
  const double cx = r.center().x() + 0.5;
  // lid and handle
  p.setPen(QPen(metal, 1.6));
  p.setBrush(Qt::NoBrush);
  p.drawRoundedRect(QRectF(cx - 6, r.top() + 8, 12, 5), 2, 2);
  p.setPen(Qt::NoPen);
  p.setBrush(metal);
  p.drawRoundedRect(QRectF(cx - 19, r.top() + 12, 38, 5), 2, 2);
  // body
  QPainterPath body;
  body.moveTo(cx - 16, r.top() + 19);
  body.lineTo(cx + 16, r.top() + 19);
  body.lineTo(cx + 12.5, r.bottom() - 6);
  body.lineTo(cx - 12.5, r.bottom() - 6);
  body.closeSubpath();
  QLinearGradient bodyShade(QPointF(cx - 16, 0), QPointF(cx + 16, 0));
  bodyShade.setColorAt(0, dark);
  bodyShade.setColorAt(0.35, metal);
  bodyShade.setColorAt(1, dark);
  p.setBrush(bodyShade);
  p.drawPath(body);
  p.setPen(QPen(lit ? QColor(110, 30, 24) : QColor(40, 42, 46), 1.6));
  for (double dx : {-7.5, 0.0, 7.5})
    p.drawLine(QPointF(cx + dx, r.top() + 24), QPointF(cx + dx * 0.82, r.bottom() - 11));
  p.restore();
}

void ScrollArrow(QPainter& p, const QRect& r, bool up) {
  p.fillRect(r, QColor(26, 26, 29));
  p.setPen(QColor(60, 62, 68));
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(150, 130, 90));
  const double cx = r.left() + r.width() / 2.0, cy = r.top() + r.height() / 2.0;
  QPolygonF tri;
  if (up)
    tri << QPointF(cx, cy - 3) << QPointF(cx + 4, cy + 2.5) << QPointF(cx - 4, cy + 2.5);
  else
    tri << QPointF(cx, cy + 3) << QPointF(cx + 4, cy - 2.5) << QPointF(cx - 4, cy - 2.5);
  p.drawPolygon(tri);
  p.restore();
}

void Logo(QImage& img, QPainter& p, const QRect& r) {
  Recess(p, r, QColor(22, 23, 26));
  p.end();
  BrushedMetal(img, r.adjusted(2, 2, -2, -2), 34, 26, 99);
  p.begin(&img);
  p.save();
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath klonk;
  QFont big = Font(kSans, 34, QFont::Black);
  big.setLetterSpacing(QFont::AbsoluteSpacing, -1);
  klonk.addText(r.left() + 12, r.top() + 44, big, "KLONK");
  QLinearGradient chrome(0, r.top() + 14, 0, r.top() + 46);
  chrome.setColorAt(0, QColor(250, 250, 252));
  chrome.setColorAt(0.48, QColor(170, 174, 182));
  chrome.setColorAt(0.52, QColor(110, 114, 122));
  chrome.setColorAt(1, QColor(210, 212, 218));
  p.setPen(QPen(QColor(0, 0, 0, 200), 2));
  p.drawPath(klonk.translated(1, 2));
  p.setPen(QPen(QColor(20, 20, 24), 1));
  p.setBrush(chrome);
  p.drawPath(klonk);
  QPainterPath bammer;
  QFont mid = Font(kSans, 21, QFont::Black);
  mid.setLetterSpacing(QFont::AbsoluteSpacing, 3);
  bammer.addText(r.left() + 14, r.top() + 70, mid, "BAMMER");
  QLinearGradient red(0, r.top() + 52, 0, r.top() + 72);
  red.setColorAt(0, QColor(255, 96, 70));
  red.setColorAt(1, QColor(170, 20, 14));
  p.setPen(QPen(QColor(0, 0, 0, 190), 2));
  p.drawPath(bammer.translated(1, 1.5));
  p.setPen(QPen(QColor(60, 6, 4), 0.8));
  p.setBrush(red);
  p.drawPath(bammer);
  p.setPen(QPen(QColor(120, 124, 132), 1));
  p.drawLine(QPointF(r.left() + 12, r.top() + 78.5), QPointF(r.right() - 12, r.top() + 78.5));
  p.restore();
  Engrave(p, QRectF(r.left(), r.top() + 80, r.width(), 14), "THUMPER  \u00b7  MIDI DRUM MODULE",
          Font(kCondensed, 9), QColor(176, 170, 150));
}

QRect Q(const Rect& r) {
  return QRect(r.left, r.top, r.Width(), r.Height());
}

}  // namespace

bool LoadArtFonts() {
  const char* files[] = {"DejaVuSans.ttf", "DejaVuSans-Bold.ttf", "DejaVuSansCondensed-Bold.ttf"};
  for (const char* f : files)
    if (QFontDatabase::addApplicationFont(QString("/usr/share/fonts/truetype/dejavu/") + f) < 0)
      return false;
  return true;
}

void PaintKeyboard(QImage& keys, KeyLook look) {
  keys.fill(QColor(14, 14, 16));
  QPainter p(&keys);
  // Key bodies: a white key is its narrow upper part and its full front.
  for (int key = 0; key < kKeysPerPanel; ++key) {
    const Rect top = kCellSource[key * 5], front = kCellSource[key * 5 + 4];
    if (IsBlackKey(key)) continue;
    QLinearGradient g(0, 0, 0, 196);
    g.setColorAt(0, QColor(74, 77, 84));
    g.setColorAt(1, QColor(58, 60, 66));
    p.fillRect(QRect(top.left, 0, top.Width(), 158), g);
    p.fillRect(QRect(front.left, 156, front.Width(), 39), g);
  }
  for (int key = 0; key < kKeysPerPanel; ++key) {
    if (!IsBlackKey(key)) continue;
    const Rect top = kCellSource[key * 5];
    p.fillRect(QRect(top.left, 0, top.Width(), 157), QColor(20, 21, 24));
  }
  p.setRenderHint(QPainter::Antialiasing);
  for (int k = 0; k < kCellsPerPanel; ++k) {
    const bool black = IsBlackKey(k / 5);
    const Rect c = kCellSource[k];
    const QRectF pad = QRectF(c.left, c.top, c.Width(), c.Height()).adjusted(1.5, 1.5, -1.5, -1.5);
    QLinearGradient g(pad.topLeft(), pad.bottomLeft());
    const bool lit = look == KeyLook::Pressed || look == KeyLook::Playing;
    if (lit && !black) {
      g.setColorAt(0, QColor(255, 196, 104));
      g.setColorAt(0.5, QColor(252, 150, 50));
      g.setColorAt(1, QColor(214, 98, 24));
    } else if (lit) {
      g.setColorAt(0, QColor(240, 160, 72));
      g.setColorAt(0.5, QColor(220, 112, 34));
      g.setColorAt(1, QColor(170, 72, 16));
    } else if (!black) {
      g.setColorAt(0, QColor(112, 116, 124));
      g.setColorAt(0.5, QColor(96, 99, 107));
      g.setColorAt(1, QColor(82, 85, 92));
    } else {
      g.setColorAt(0, QColor(54, 56, 62));
      g.setColorAt(0.5, QColor(42, 43, 48));
      g.setColorAt(1, QColor(32, 33, 37));
    }
    p.setPen(QColor(8, 8, 10, 220));
    p.setBrush(g);
    p.drawRoundedRect(pad, 2.5, 2.5);
    p.setPen(lit ? QColor(255, 236, 200, 170) : QColor(190, 194, 204, black ? 50 : 90));
    p.drawLine(QPointF(pad.left() + 2.5, pad.top() + 1), QPointF(pad.right() - 2.5, pad.top() + 1));
    if (look == KeyLook::Assigned || look == KeyLook::Playing) {
      const QPointF centre = pad.center();
      QRadialGradient dot(centre + QPointF(-0.8, -0.8), 4.5);
      if (look == KeyLook::Playing) {
        dot.setColorAt(0, QColor(255, 255, 250));
        dot.setColorAt(0.6, QColor(255, 244, 190));
        dot.setColorAt(1, QColor(255, 200, 100));
        p.setPen(QColor(150, 60, 10));
      } else {
        dot.setColorAt(0, QColor(255, 206, 110));
        dot.setColorAt(0.6, QColor(226, 140, 30));
        dot.setColorAt(1, QColor(150, 80, 10));
        p.setPen(QColor(20, 14, 8));
      }
      p.setBrush(dot);
      p.drawEllipse(centre, 3.6, 3.6);
    }
  }
}

QImage ArtImage(int width, int height, int scale, QImage::Format format) {
  QImage img(width * scale, height * scale, format);
  img.setDevicePixelRatio(scale);
  return img;
}

int ArtScale(const QImage& img) {
  return std::max(1, int(img.devicePixelRatio() + 0.5));
}

QImage PaintFace(const FaceLook& look, int scale) {
  QImage face = ArtImage(kFaceWidth, kFaceHeight, scale);
  BrushedMetal(face, QRect(0, 0, kFaceWidth, kFaceHeight), 68, 50, 17);
  QPainter p(&face);
  const ViewRegions regions;

  // Outer bevel of the module.
  p.setPen(QColor(130, 134, 142));
  p.drawLine(0, 0, kFaceWidth - 1, 0);
  p.drawLine(0, 0, 0, kFaceHeight - 1);
  p.setPen(QColor(14, 14, 16));
  p.drawLine(0, kFaceHeight - 1, kFaceWidth - 1, kFaceHeight - 1);
  p.drawLine(kFaceWidth - 1, 0, kFaceWidth - 1, kFaceHeight - 1);

  // Sample list: the two columns on black, the scroll track and its arrows, and
  // the memory read-out set into the list's top edge.
  Recess(p, QRect(5, 26, 522, 198), QColor(0, 0, 0));
  Recess(p, QRect(347, 10, 131, 20), QColor(0, 0, 0));
  p.fillRect(QRect(349, 12, 127, 18), QColor(0, 0, 0));
  p.fillRect(QRect(7, 28, 518, 194), QColor(0, 0, 0));
  p.fillRect(QRect(510, 28, 14, 193), QColor(10, 10, 10));
  ScrollArrow(p, QRect(510, 28, 14, 13), true);
  ScrollArrow(p, QRect(510, 208, 14, 13), false);
  const QColor label(172, 168, 156);
  Engrave(p, QRectF(10, 11, 100, 14), "GROUPS", Font(kCondensed, 9), label,
          Qt::AlignLeft | Qt::AlignVCenter);
  Engrave(p, QRectF(122, 11, 200, 14), "SAMPLES", Font(kCondensed, 9), label,
          Qt::AlignLeft | Qt::AlignVCenter);

  Logo(face, p, QRect(538, 10, 180, 100));

  // The seven panel buttons on their plate.
  Recess(p, QRect(546, 118, 128, 108), QColor(30, 31, 34));
  PanelButton(p, QRect(552, 124, 57, 19), "OPTIONS", look.bButtonsLit);
  PanelButton(p, QRect(552, 146, 57, 17), "LOAD SET", look.bButtonsLit);
  PanelButton(p, QRect(614, 146, 54, 17), "SAVE SET", look.bButtonsLit);
  PanelButton(p, QRect(552, 168, 57, 22), "CREATE\nGROUP", look.bButtonsLit);
  PanelButton(p, QRect(614, 168, 54, 22), "LOAD\nSAMPLE", look.bButtonsLit);
  PanelButton(p, QRect(552, 197, 57, 22), "SAVE\nGROUP", look.bButtonsLit);
  PanelButton(p, QRect(614, 197, 54, 22), "LOAD\nGROUP", look.bButtonsLit);
  Engrave(p, QRectF(614, 124, 54, 19), "PANEL", Font(kCondensed, 8), QColor(110, 112, 118));

  // Octave label plates and the two keyboards.
  Recess(p, QRect(9, 240, 107, 46), QColor(26, 27, 30));
  Recess(p, QRect(276, 240, 107, 46), QColor(26, 27, 30));
  for (int panel = 0; panel < 2; ++panel) {
    const int dx = panel * kRightPanelDx;
    QImage keys = ArtImage(250, 196, scale);
    PaintKeyboard(keys, KeyLook::Resting);
    p.drawImage(QPointF(7 + dx, 286), keys);
    Recess(p, QRect(5 + dx, 284, 253, 200), Qt::transparent);
    Engrave(p, QRectF(120 + dx, 250, 134, 12), "VELOCITY LAYERS", Font(kCondensed, 8),
            QColor(130, 132, 138), Qt::AlignRight | Qt::AlignVCenter);
    Engrave(p, QRectF(120 + dx, 263, 134, 12), "TOP ROW LOUDEST", Font(kCondensed, 8),
            QColor(120, 122, 128), Qt::AlignRight | Qt::AlignVCenter);
  }
  p.setPen(QColor(20, 20, 22));
  p.drawLine(264, 240, 264, 482);
  p.setPen(QColor(110, 114, 120));
  p.drawLine(265, 240, 265, 482);

  // Edit Octave selector.
  Engrave(p, QRectF(552, 279, 117, 14), "EDIT OCTAVE", Font(kCondensed, 9), label);
  Recess(p, QRect(555, 293, 111, 114), QColor(22, 16, 16));
  const char* pairs[3] = {"1+2", "3+4", "5+6"};
  const int pairY[3] = {296, 332, 369};
  for (int i = 0; i < 3; ++i)
    PairButton(p, QRect(558, pairY[i], 105, 34), pairs[i], look.nLitPair == i);

  // MIDI IN light.
  Engrave(p, QRectF(575, 426, 66, 12), "MIDI IN", Font(kCondensed, 9), label);
  Recess(p, QRect(585, 439, 46, 46), QColor(28, 29, 32), 1);
  MidiLamp(p, look.bMidiInLit);

  // Trash.
  Engrave(p, QRectF(659, 408, 66, 12), "TRASH", Font(kCondensed, 9), label);
  TrashCan(p, Q(regions.m_rcTrash), look.bTrashLit);

  for (QPointF c : {QPointF(532, 236), QPointF(714, 236), QPointF(532, 476), QPointF(646, 476)})
    Screw(p, c);
  return face;
}

void PaintOctaveLabel(QImage& plate, int n) {
  QPainter p(&plate);
  p.setRenderHint(QPainter::TextAntialiasing);
  Engrave(p, QRectF(6, 4, 60, 34), "Octave", Font(kSans, 15), QColor(214, 204, 182),
          Qt::AlignLeft | Qt::AlignVCenter);
  Engrave(p, QRectF(66, 2, 32, 38), QString::number(n), Font(kSans, 26), QColor(255, 176, 60),
          Qt::AlignCenter);
}

QImage PaintAbout() {
  QImage img(236, 280, QImage::Format_RGB32);
  BrushedMetal(img, img.rect(), 70, 46, 5);
  QPainter p(&img);
  p.setPen(QColor(140, 144, 150));
  p.drawRect(img.rect().adjusted(0, 0, -1, -1));
  Logo(img, p, QRect(14, 14, 208, 100));
  // A small keyboard with a few lit cells, as on the module's face.
  QImage keys(250, 196, QImage::Format_RGB32), lit(250, 196, QImage::Format_RGB32),
      dots(250, 196, QImage::Format_RGB32);
  PaintKeyboard(keys, KeyLook::Resting);
  PaintKeyboard(lit, KeyLook::Playing);
  PaintKeyboard(dots, KeyLook::Assigned);
  {
    QPainter k(&keys);
    for (int cell : {0, 5, 12, 23, 34, 45, 51})
      k.drawImage(QPoint(kCellSource[cell].left, kCellSource[cell].top), dots,
                  QRect(kCellSource[cell].left, kCellSource[cell].top, kCellSource[cell].Width(),
                        kCellSource[cell].Height()));
    for (int cell : {1, 27, 40})
      k.drawImage(QPoint(kCellSource[cell].left, kCellSource[cell].top), lit,
                  QRect(kCellSource[cell].left, kCellSource[cell].top, kCellSource[cell].Width(),
                        kCellSource[cell].Height()));
  }
  Recess(p, QRect(20, 124, 196, 100), QColor(14, 14, 16));
  p.setRenderHint(QPainter::SmoothPixmapTransform);
  p.drawImage(QRectF(22, 126, 192, 96), keys, QRectF(2, 0, 248, 196));
  Engrave(p, QRectF(0, 230, 236, 14), "MIDI drum sample player", Font(kSans, 10, 400),
          QColor(190, 186, 172));
  return img;
}

QImage PaintAppIcon() {
  constexpr int kSize = 256;
  QImage metal(kSize, kSize, QImage::Format_RGB32);
  BrushedMetal(metal, metal.rect(), 78, 40, 9);
  QImage img(kSize, kSize, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // A rounded module plate with four pads, one of them struck.
  QPainterPath plate;
  plate.addRoundedRect(QRectF(8, 8, kSize - 16, kSize - 16), 36, 36);
  p.setClipPath(plate);
  p.drawImage(0, 0, metal);
  p.setClipping(false);
  p.setPen(QPen(QColor(150, 154, 160), 3));
  p.setBrush(Qt::NoBrush);
  p.drawPath(plate);
  for (int row = 0; row < 2; ++row) {
    for (int col = 0; col < 2; ++col) {
      const QRectF pad(40 + col * 94, 40 + row * 94, 82, 82);
      const bool struck = row == 0 && col == 1;
      QLinearGradient fill(pad.topLeft(), pad.bottomLeft());
      fill.setColorAt(0, struck ? QColor(255, 206, 90) : QColor(96, 98, 104));
      fill.setColorAt(1, struck ? QColor(226, 128, 20) : QColor(52, 54, 58));
      p.setPen(QPen(QColor(18, 18, 20), 4));
      p.setBrush(fill);
      p.drawRoundedRect(pad, 12, 12);
    }
  }
  return img;
}

QImage PaintArrowCursor() {
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // The tip is the hot spot (11, 7); a small sample card rides below it.
  QPolygonF arrow;
  arrow << QPointF(11, 7) << QPointF(11, 23) << QPointF(15, 19.5) << QPointF(18, 26)
        << QPointF(20.5, 25) << QPointF(17.5, 18.5) << QPointF(22.5, 18.5);
  p.setPen(QPen(Qt::black, 1.2));
  p.setBrush(Qt::white);
  p.drawPolygon(arrow);
  p.setBrush(QColor(255, 196, 80));
  p.drawRoundedRect(QRectF(19.5, 3.5, 11, 8), 1.5, 1.5);
  p.setPen(QPen(QColor(60, 30, 0), 1));
  p.drawPolyline(QPolygonF() << QPointF(21, 7.5) << QPointF(23, 5.5) << QPointF(24.5, 9.5)
                             << QPointF(26.5, 5.5) << QPointF(28.5, 7.5));
  return img;
}

QImage PaintSpeakerCursor() {
  QImage img(32, 32, QImage::Format_ARGB32);
  img.fill(Qt::transparent);
  QPainter p(&img);
  p.setRenderHint(QPainter::Antialiasing);
  // The hot spot (12, 16) sits in the speaker's mouth.
  QPolygonF speaker;
  speaker << QPointF(3, 12) << QPointF(9, 12) << QPointF(16, 5) << QPointF(16, 27) << QPointF(9, 20)
          << QPointF(3, 20);
  p.setPen(QPen(Qt::black, 1.3));
  p.setBrush(Qt::white);
  p.drawPolygon(speaker);
  p.setBrush(Qt::NoBrush);
  for (double r : {5.0, 9.0}) {
    p.setPen(QPen(Qt::black, 3.2, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(16 - r, 16 - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
    p.setPen(QPen(Qt::white, 1.6, Qt::SolidLine, Qt::RoundCap));
    p.drawArc(QRectF(16 - r, 16 - r, 2 * r, 2 * r), -50 * 16, 100 * 16);
  }
  return img;
}

}  // namespace thumper::skin
