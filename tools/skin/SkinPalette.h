#pragma once
// The 8-bit sheet: one 256-colour table for the whole picture (median cut) and
// every pixel mapped to its nearest entry without dithering, so that pixels equal
// in the 24-bit sheet stay equal in the 8-bit one.

#include <QImage>

namespace thumper::skin {

QImage ToIndexed8(const QImage& rgb);

}  // namespace thumper::skin
