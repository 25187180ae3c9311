#pragma once
// Small building blocks for synthesising drum sounds offline: seeded noise,
// biquad filters, envelopes, and the finishing steps every sample gets.
// Everything is deterministic, so every build makes the same bytes.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace thumper::demokit {

inline constexpr double kRate = 44100.0;
inline constexpr double kPi = 3.14159265358979323846;

// xorshift64*: the same numbers on every machine, unlike <random>'s distributions.
class Noise {
 public:
  explicit Noise(uint64_t seed) : m_nState(seed * 0x9E3779B97F4A7C15ull + 0x2545F4914F6CDD1Dull) {}
  double Next() {  // uniform in [-1, 1)
    m_nState ^= m_nState >> 12;
    m_nState ^= m_nState << 25;
    m_nState ^= m_nState >> 27;
    const uint64_t r = m_nState * 0x2545F4914F6CDD1Dull;
    return double(r >> 11) / double(1ull << 52) - 1.0;
  }

 private:
  uint64_t m_nState;
};

// RBJ cookbook biquad, direct form I.
class Biquad {
 public:
  static Biquad LowPass(double hz, double q);
  static Biquad HighPass(double hz, double q);
  static Biquad BandPass(double hz, double q);  // 0 dB peak gain
  double Process(double x) {
    const double y = m_b0 * x + m_b1 * m_x1 + m_b2 * m_x2 - m_a1 * m_y1 - m_a2 * m_y2;
    m_x2 = m_x1;
    m_x1 = x;
    m_y2 = m_y1;
    m_y1 = y;
    return y;
  }

 private:
  Biquad(double b0, double b1, double b2, double a0, double a1, double a2)
      : m_b0(b0 / a0), m_b1(b1 / a0), m_b2(b2 / a0), m_a1(a1 / a0), m_a2(a2 / a0) {}
  double m_b0, m_b1, m_b2, m_a1, m_a2;
  double m_x1 = 0, m_x2 = 0, m_y1 = 0, m_y2 = 0;
};

// Exponential decay with time constant tau seconds, after a short linear attack.
double Envelope(double t, double attack, double tau);

struct Stereo {
  std::vector<double> left, right;
  explicit Stereo(size_t frames = 0) : left(frames), right(frames) {}
  size_t Frames() const { return left.size(); }
};

size_t FramesOf(double seconds);

// Places a mono sound in the stereo field; pan -1 is left, +1 right.
Stereo Pan(const std::vector<double>& mono, double pan);
// Two takes of a sound (different noise) spread across the field around pan.
Stereo Spread(const std::vector<double>& a, const std::vector<double>& b, double pan, double width);

// The finishing steps: remove DC and rumble, fade the last milliseconds to
// exact silence, and scale so the peak of both channels is peak (0..1).
void Finish(Stereo& sound, double peak, double fadeSeconds = 0.010);

// Interleaved 16-bit frames, rounded to nearest.
std::vector<int16_t> ToPcm16(const Stereo& sound);

}  // namespace thumper::demokit
