#pragma once
// Finds the hits in a recording (stretches of sound between silences) and
// measures each one's length and pitch, to tell a sample played at the rate it
// was made for from one played too slow or too fast.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace thumper::test {

struct SoundBurst {
  size_t nStart = 0;   // first frame above the threshold
  size_t nFrames = 0;  // to the last frame above it
  size_t nCrossings = 0;
  // Zero crossings per frame: twice the frequency over the rate.
  double CrossingsPerFrame() const { return nFrames ? double(nCrossings) / double(nFrames) : 0; }
};

// Bursts in x[from, to): a burst ends after gap frames below threshold.
inline std::vector<SoundBurst> FindBursts(const std::vector<float>& x, size_t from, size_t to,
                                          float threshold = 0.02f, size_t gap = 200) {
  std::vector<SoundBurst> bursts;
  to = std::min(to, x.size());
  size_t i = from;
  while (i < to) {
    while (i < to && std::fabs(x[i]) < threshold) ++i;
    if (i >= to) break;
    SoundBurst b;
    b.nStart = i;
    size_t last = i, quiet = 0;
    for (++i; i < to && quiet < gap; ++i) {
      if (std::fabs(x[i]) >= threshold) {
        last = i;
        quiet = 0;
      } else {
        ++quiet;
      }
    }
    b.nFrames = last - b.nStart + 1;
    for (size_t k = b.nStart + 1; k <= last; ++k)
      if ((x[k - 1] < 0) != (x[k] < 0)) ++b.nCrossings;
    bursts.push_back(b);
    i = last + 1;
  }
  return bursts;
}

// A stereo sine of frames frames at 44,100 Hz, amplitude 8000: a "kick" whose
// length and pitch show the speed it plays at.
inline std::vector<int16_t> SineKick(size_t frames, double hz) {
  std::vector<int16_t> samples(2 * frames);
  for (size_t f = 0; f < frames; ++f) {
    const auto v =
        static_cast<int16_t>(std::lround(8000 * std::sin(2 * M_PI * hz * double(f) / 44100)));
    samples[2 * f] = samples[2 * f + 1] = v;
  }
  return samples;
}

}  // namespace thumper::test
