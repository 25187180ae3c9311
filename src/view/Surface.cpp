#include "view/Surface.h"

#include <QPainter>
#include <algorithm>
#include <cstring>

namespace thumper {
namespace {

// Copies a block between two 32-bit images, clipped to both.
Rect CopyBlock(const QImage& from, int sx, int sy, int w, int h, QImage& to, int dx, int dy) {
  if (sx < 0) w += sx, dx -= sx, sx = 0;
  if (sy < 0) h += sy, dy -= sy, sy = 0;
  if (dx < 0) w += dx, sx -= dx, dx = 0;
  if (dy < 0) h += dy, sy -= dy, dy = 0;
  w = std::min({w, from.width() - sx, to.width() - dx});
  h = std::min({h, from.height() - sy, to.height() - dy});
  if (w <= 0 || h <= 0) return {};
  // A copy within one image may overlap: copy rows in the safe order.
  const bool upward = &from == &to && dy > sy;
  for (int i = 0; i < h; ++i) {
    const int row = upward ? h - 1 - i : i;
    std::memmove(to.scanLine(dy + row) + 4 * dx, from.constScanLine(sy + row) + 4 * sx,
                 size_t(4) * w);
  }
  return {dx, dy, dx + w, dy + h};
}

}  // namespace

Surface::Surface() : m_face(kFaceWidth, kFaceHeight, QImage::Format_RGB32) {
  m_face.fill(Qt::black);
}

void Surface::SetSheet(const QImage& sheet) {
  m_sheet = sheet.isNull() ? QImage() : sheet.convertToFormat(QImage::Format_RGB32);
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
  Changed(Target::Window, CopyBlock(m_sheet, sx, sy, w, h, m_face, dx, dy));
}

void Surface::CopyToSheet(int sx, int sy, int w, int h, int dx, int dy) {
  if (!HasSheet()) return;
  CopyBlock(m_face, sx, sy, w, h, m_sheet, dx, dy);
}

void Surface::Fill(Target target, const Rect& rc, QRgb colour) {
  QImage* image = TargetImage(target);
  if (!image || rc.IsEmpty()) return;
  const int left = std::max(rc.left, 0), top = std::max(rc.top, 0);
  const int right = std::min(rc.right, image->width()),
            bottom = std::min(rc.bottom, image->height());
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
                     bool bOpaque, QRgb background) {
  QImage* image = TargetImage(target);
  if (!image || n <= 0) return;
  const QString shown = text.left(n);
  QPainter p(image);
  p.setFont(m_font);
  const QRect used =
      p.boundingRect(QRect(x, y, kSheetWidth, kSheetHeight), Qt::AlignLeft | Qt::AlignTop, shown);
  if (bOpaque) p.fillRect(used, QColor::fromRgb(background));
  p.setPen(QColor::fromRgb(textColour));
  p.drawText(used, Qt::AlignLeft | Qt::AlignTop, shown);
  p.end();
  Changed(target, {used.left(), used.top(), used.right() + 1, used.bottom() + 1});
}

}  // namespace thumper
