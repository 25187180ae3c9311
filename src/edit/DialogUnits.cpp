#include "edit/DialogUnits.h"

#include <QFontMetrics>
#include <algorithm>

namespace thumper {

DialogBaseUnits DialogBaseUnits::Of(const QFont& font) {
  const QFontMetrics metrics(font);
  // The width is the rounded average of the 52 letters, as dialog templates
  // were measured: a font's own "average" width is often narrower, and then
  // every label of a template is clipped.
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"));
  const int x = std::max(metrics.averageCharWidth(), (letters / 26 + 1) / 2);
  return {std::max(1, x), std::max(1, metrics.height())};
}

QRect DialogBaseUnits::ToPixels(int left, int top, int width, int height) const {
  // Both corners are converted, as the template's rectangle is, so neighbouring
  // controls meet without a pixel of rounding between them.
  const int l = ToPixelsX(left), t = ToPixelsY(top);
  return QRect(l, t, ToPixelsX(left + width) - l, ToPixelsY(top + height) - t);
}

}  // namespace thumper
