#include "skin/SkinPalette.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <unordered_map>
#include <vector>

namespace thumper::skin {
namespace {

struct Box {
  std::vector<QRgb> colours;  // distinct colours, each with its pixel count below
  std::vector<int> counts;
  int Range(int channel) const {
    int lo = 255, hi = 0;
    for (QRgb c : colours) {
      const int v = channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
    return hi - lo;
  }
  long Weight() const {
    long w = 0;
    for (int n : counts) w += n;
    return w;
  }
};

QRgb Average(const Box& box) {
  double r = 0, g = 0, b = 0, n = 0;
  for (size_t i = 0; i < box.colours.size(); ++i) {
    r += qRed(box.colours[i]) * double(box.counts[i]);
    g += qGreen(box.colours[i]) * double(box.counts[i]);
    b += qBlue(box.colours[i]) * double(box.counts[i]);
    n += box.counts[i];
  }
  return qRgb(int(r / n + 0.5), int(g / n + 0.5), int(b / n + 0.5));
}

}  // namespace

QImage ToIndexed8(const QImage& source) {
  const QImage rgb = source.convertToFormat(QImage::Format_RGB32);
  std::unordered_map<QRgb, int> histogram;
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    for (int x = 0; x < rgb.width(); ++x) ++histogram[row[x] | 0xff000000u];
  }
  std::vector<Box> boxes(1);
  for (auto [c, n] : histogram) {
    boxes[0].colours.push_back(c);
    boxes[0].counts.push_back(n);
  }
  // Split the box with the widest channel range, weighted by how much it covers,
  // until there are 256 boxes or nothing left to split.
  while (boxes.size() < 256) {
    int best = -1;
    double bestScore = 0;
    for (size_t i = 0; i < boxes.size(); ++i) {
      if (boxes[i].colours.size() < 2) continue;
      const int range = std::max({boxes[i].Range(0), boxes[i].Range(1), boxes[i].Range(2)});
      const double score = range * std::sqrt(double(boxes[i].Weight()));
      if (score > bestScore) bestScore = score, best = int(i);
    }
    if (best < 0) break;
    Box& box = boxes[best];
    int channel = 0;
    for (int c = 1; c < 3; ++c)
      if (box.Range(c) > box.Range(channel)) channel = c;
    std::vector<size_t> order(box.colours.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto key = [&](size_t i) {
      const QRgb c = box.colours[i];
      return channel == 0 ? qRed(c) : channel == 1 ? qGreen(c) : qBlue(c);
    };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
      return key(a) != key(b) ? key(a) < key(b) : box.colours[a] < box.colours[b];
    });
    const long half = box.Weight() / 2;
    long run = 0;
    size_t cut = 1;
    for (; cut < order.size(); ++cut) {
      run += box.counts[order[cut - 1]];
      if (run >= half) break;
    }
    cut = std::clamp<size_t>(cut, 1, order.size() - 1);
    Box low, high;
    for (size_t i = 0; i < order.size(); ++i) {
      Box& to = i < cut ? low : high;
      to.colours.push_back(box.colours[order[i]]);
      to.counts.push_back(box.counts[order[i]]);
    }
    box = std::move(low);
    boxes.push_back(std::move(high));
  }

  QList<QRgb> table;
  for (const Box& box : boxes) table.push_back(Average(box));
  while (table.size() < 256) table.push_back(qRgb(0, 0, 0));

  std::unordered_map<QRgb, uint8_t> nearest;
  auto lookUp = [&](QRgb c) {
    auto it = nearest.find(c);
    if (it != nearest.end()) return it->second;
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < int(table.size()); ++i) {
      const long dr = qRed(c) - qRed(table[i]), dg = qGreen(c) - qGreen(table[i]),
                 db = qBlue(c) - qBlue(table[i]);
      const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
      if (bestDistance < 0 || d < bestDistance) bestDistance = d, best = i;
    }
    nearest.emplace(c, uint8_t(best));
    return uint8_t(best);
  };

  QImage out(rgb.size(), QImage::Format_Indexed8);
  out.setColorTable(table);
  for (int y = 0; y < rgb.height(); ++y) {
    const QRgb* row = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
    uchar* dst = out.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x) dst[x] = lookUp(row[x] | 0xff000000u);
  }
  return out;
}

}  // namespace thumper::skin
