#include "view/Surface.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace thumper {
namespace {

// Copies a block between two 32-bit images of the same scale, clipped to both;
// coordinates and the result in face pixels.
Rect CopyBlock(const QImage& from, int sx, int sy, int w, int h, QImage& to, int dx, int dy,
               int scale) {
  if (sx < 0) w += sx, dx -= sx, sx = 0;
  if (sy < 0) h += sy, dy -= sy, sy = 0;
  if (dx < 0) w += dx, sx -= dx, dx = 0;
  if (dy < 0) h += dy, sy -= dy, dy = 0;
  w = std::min({w, from.width() / scale - sx, to.width() / scale - dx});
  h = std::min({h, from.height() / scale - sy, to.height() / scale - dy});
  if (w <= 0 || h <= 0) return {};
  // A copy within one image may overlap: copy rows in the safe order.
  const bool upward = &from == &to && dy > sy;
  const int rows = h * scale;
  for (int i = 0; i < rows; ++i) {
    const int row = upward ? rows - 1 - i : i;
    std::memmove(to.scanLine(dy * scale + row) + 4 * dx * scale,
                 from.constScanLine(sy * scale + row) + 4 * sx * scale, size_t(4) * w * scale);
  }
  return {dx, dy, dx + w, dy + h};
}

QImage BlackFace(int scale) {
  QImage face(kFaceWidth * scale, kFaceHeight * scale, QImage::Format_RGB32);
  face.setDevicePixelRatio(scale);
  face.fill(Qt::black);
  return face;
}

}  // namespace

Surface::Surface() : m_face(BlackFace(1)) {}

void Surface::SetScale(int scale) {
  m_nScale = std::clamp(scale, 1, 3);
  m_face = BlackFace(m_nScale);
}

void Surface::SetSheet(const QImage& sheet) {
  m_sheet = sheet.isNull() ? QImage() : sheet.convertToFormat(QImage::Format_RGB32);
  if (m_sheet.isNull()) return;
  // A picture made for another scale (a name ending "@2x" gives its own).
  const int made = std::max(1, int(sheet.devicePixelRatio() + 0.5));
  if (made != m_nScale) {
    const QSize size = m_sheet.size() / made * m_nScale;
    // Enlarged, each face pixel becomes a block: no new colours appear.
    m_sheet = m_sheet.scaled(size, Qt::IgnoreAspectRatio,
                             made == 1 ? Qt::FastTransformation : Qt::SmoothTransformation);
  }
  m_sheet.setDevicePixelRatio(m_nScale);
}

QImage* Surface::TargetImage(Target target) {
  if (target == Target::Window) return &m_face;
  return HasSheet() ? &m_sheet : nullptr;
}

void Surface::Changed(Target target, const Rect& rc) {
  if (target != Target::Window || !m_onChange) return;
  const Rect clipped{std::max(rc.left, 0), std::max(rc.top, 0), std::min(rc.right, kFaceWidth),
                     std::min(rc.bottom, kFaceHeight)};
  if (!clipped.IsEmpty()) m_onChange(clipped);
}

void Surface::CopyFromSheet(int sx, int sy, int w, int h, int dx, int dy) {
  if (!HasSheet()) return;
  Changed(Target::Window, CopyBlock(m_sheet, sx, sy, w, h, m_face, dx, dy, m_nScale));
}

void Surface::CopyToSheet(int sx, int sy, int w, int h, int dx, int dy) {
  if (!HasSheet()) return;
  CopyBlock(m_face, sx, sy, w, h, m_sheet, dx, dy, m_nScale);
}

void Surface::Fill(Target target, const Rect& rc, QRgb colour) {
  QImage* image = TargetImage(target);
  if (!image || rc.IsEmpty()) return;
  const int s = m_nScale;
  const int left = std::max(rc.left, 0) * s, top = std::max(rc.top, 0) * s;
  const int right = std::min(rc.right * s, image->width()),
            bottom = std::min(rc.bottom * s, image->height());
  for (int y = top; y < bottom; ++y) {
    QRgb* row = reinterpret_cast<QRgb*>(image->scanLine(y));
    std::fill(row + left, row + std::max(left, right), colour | 0xff000000u);
  }
  Changed(target, rc);
}

void Surface::TextInRect(Target target, const Rect& rc, const QString& text, QRgb textColour,
                         QRgb background) {
  QImage* image = TargetImage(target);
  if (!image || rc.IsEmpty()) return;
  const QRect box(rc.left, rc.top, rc.Width(), rc.Height());
  QString lines = text;
  lines.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), '\n');
  QPainter p(image);
  p.setClipRect(box);
  p.setFont(m_font);
  const QRect used = p.boundingRect(box, Qt::AlignLeft | Qt::AlignTop, lines);
  p.fillRect(used.intersected(box), QColor::fromRgb(background));
  p.setPen(QColor::fromRgb(textColour));
  p.drawText(box, Qt::AlignLeft | Qt::AlignTop, lines);
  p.end();
  Changed(target, {used.left(), used.top(), used.right() + 1, used.bottom() + 1});
}

void Surface::TextAt(Target target, int x, int y, const QString& text, int n, QRgb textColour,
                     bool bOpaque, QRgb background, const Rect& clip) {
  QImage* image = TargetImage(target);
  if (!image || n <= 0) return;
  const QString shown = text.left(n);
  QPainter p(image);
  p.setFont(m_font);
  QRect used =
      p.boundingRect(QRect(x, y, kSheetWidth, kSheetHeight), Qt::AlignLeft | Qt::AlignTop, shown);
  if (!clip.IsEmpty()) {
    const QRect box(clip.left, clip.top, clip.Width(), clip.Height());
    p.setClipRect(box);
    // Drawn where it always was; only what lies outside the box is left out.
    const QRect inside = used.intersected(box);
    if (bOpaque) p.fillRect(inside, QColor::fromRgb(background));
    p.setPen(QColor::fromRgb(textColour));
    p.drawText(used, Qt::AlignLeft | Qt::AlignTop, shown);
    p.end();
    if (!inside.isEmpty())
      Changed(target, {inside.left(), inside.top(), inside.right() + 1, inside.bottom() + 1});
    return;
  }
  if (bOpaque) p.fillRect(used, QColor::fromRgb(background));
  p.setPen(QColor::fromRgb(textColour));
  p.drawText(used, Qt::AlignLeft | Qt::AlignTop, shown);
  p.end();
  Changed(target, {used.left(), used.top(), used.right() + 1, used.bottom() + 1});
}

}  // namespace thumper
