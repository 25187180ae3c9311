#pragma once
// The face's back buffer and the drawing primitives every routine of the view is
// built from. The face is a 727 x 487 image; the sheet is the loaded skin picture
// (absent until the skin is loaded, and then every copy from it draws nothing).
// Each primitive that changes the face reports the changed rectangle, so the
// widget repaints just that. UI thread only.
//
// On a screen that scales windows, both images are held at 2 or 3 device pixels
// per face pixel, so pictures and text are sharp there; every coordinate, here
// and in every caller, stays in face pixels.

#include <QFont>
#include <QImage>
#include <QString>
#include <functional>

#include "view/ViewRegions.h"

namespace thumper {

class Surface {
 public:
  using ChangeFn = std::function<void(const Rect&)>;

  enum class Target { Window, Sheet };

  Surface();

  void SetChangeHandler(ChangeFn onChange) { m_onChange = std::move(onChange); }

  // Device pixels per face pixel, 1 to 3. The face starts black again; set it
  // before the sheet.
  void SetScale(int scale);
  int Scale() const { return m_nScale; }

  // The sheet is held in 32-bit RGB whatever its stored depth. A sheet of face
  // pixels is enlarged to the scale; one made at the scale is taken as it is.
  void SetSheet(const QImage& sheet);
  bool HasSheet() const { return !m_sheet.isNull(); }
  const QImage& Face() const { return m_face; }
  const QImage& Sheet() const { return m_sheet; }

  void SetFont(const QFont& font) { m_font = font; }
  const QFont& Font() const { return m_font; }

  // w x h from sheet (sx, sy) to window (dx, dy), pixels unchanged.
  void CopyFromSheet(int sx, int sy, int w, int h, int dx, int dy);
  // w x h from window (sx, sy) to sheet (dx, dy).
  void CopyToSheet(int sx, int sy, int w, int h, int dx, int dy);
  void Fill(Target target, const Rect& rc, QRgb colour);

  // Left-aligned at the rectangle's top left, clipped to it, broken into lines
  // only at carriage returns and line feeds, on an opaque background.
  void TextInRect(Target target, const Rect& rc, const QString& text, QRgb textColour,
                  QRgb background);
  // The first n characters with their top-left corner at (x, y); the background
  // is left as it is when bOpaque is false. Nothing is drawn outside clip (when
  // it is not empty): a text too wide for its column or box stops at its edge.
  void TextAt(Target target, int x, int y, const QString& text, int n, QRgb textColour,
              bool bOpaque, QRgb background = 0xff000000u, const Rect& clip = {});

  // The face's pixel (its top-left device pixel), for tests and screenshots.
  QRgb FacePixel(int x, int y) const { return m_face.pixel(x * m_nScale, y * m_nScale); }

 private:
  QImage* TargetImage(Target target);
  void Changed(Target target, const Rect& rc);

  QImage m_face;
  QImage m_sheet;
  int m_nScale = 1;
  QFont m_font;
  ChangeFn m_onChange;
};

}  // namespace thumper
