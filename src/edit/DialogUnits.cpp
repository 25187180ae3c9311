#include "edit/DialogUnits.h"

#include <QFontMetrics>
#include <algorithm>

namespace thumper {

DialogBaseUnits DialogBaseUnits::Of(const QFont& font) {
  const QFontMetrics metrics(font);
  return {std::max(1, metrics.averageCharWidth()), std::max(1, metrics.height())};
}

QRect DialogBaseUnits::ToPixels(int left, int top, int width, int height) const {
  // Both corners are converted, as the template's rectangle is, so neighbouring
  // controls meet without a pixel of rounding between them.
  const int l = ToPixelsX(left), t = ToPixelsY(top);
  return QRect(l, t, ToPixelsX(left + width) - l, ToPixelsY(top + height) - t);
}

}  // namespace thumper
