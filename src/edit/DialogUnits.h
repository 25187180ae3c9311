#pragma once
// Dialog templates are laid out in dialog units; these turn them into pixels with
// the base units of the dialog's own font, so a template keeps its proportions
// whatever font the desktop gives us.

#include <QFont>
#include <QRect>

namespace thumper {

struct DialogBaseUnits {
  int x = 1;  // average character width
  int y = 1;  // character height

  static DialogBaseUnits Of(const QFont& font);

  int ToPixelsX(int du) const { return du * x / 4; }
  int ToPixelsY(int du) const { return du * y / 8; }
  // A template rectangle (x, y, width, height) in dialog units.
  QRect ToPixels(int left, int top, int width, int height) const;
};

}  // namespace thumper
