#include "demokit/Synth.h"

#include <algorithm>
#include <cmath>

namespace thumper::demokit {

Biquad Biquad::LowPass(double hz, double q) {
  const double w = 2 * kPi * hz / kRate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
  return Biquad((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::HighPass(double hz, double q) {
  const double w = 2 * kPi * hz / kRate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
  return Biquad((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + alpha, -2 * c, 1 - alpha);
}

Biquad Biquad::BandPass(double hz, double q) {
  const double w = 2 * kPi * hz / kRate, c = std::cos(w), alpha = std::sin(w) / (2 * q);
  return Biquad(alpha, 0, -alpha, 1 + alpha, -2 * c, 1 - alpha);
}

double Envelope(double t, double attack, double tau) {
  if (t < attack) return t / attack;
  return std::exp(-(t - attack) / tau);
}

size_t FramesOf(double seconds) {
  return static_cast<size_t>(std::lround(seconds * kRate));
}

Stereo Pan(const std::vector<double>& mono, double pan) {
  const double angle = (pan + 1) * kPi / 4;
  const double l = std::cos(angle) * std::sqrt(2.0), r = std::sin(angle) * std::sqrt(2.0);
  Stereo out(mono.size());
  for (size_t i = 0; i < mono.size(); ++i) {
    out.left[i] = mono[i] * l;
    out.right[i] = mono[i] * r;
  }
  return out;
}

Stereo Spread(const std::vector<double>& a, const std::vector<double>& b, double pan,
              double width) {
  Stereo left = Pan(a, std::clamp(pan - width, -1.0, 1.0));
  Stereo right = Pan(b, std::clamp(pan + width, -1.0, 1.0));
  const size_t n = std::min(a.size(), b.size());
  Stereo out(n);
  for (size_t i = 0; i < n; ++i) {
    out.left[i] = (left.left[i] + right.left[i]) * 0.5;
    out.right[i] = (left.right[i] + right.right[i]) * 0.5;
  }
  return out;
}

void Finish(Stereo& sound, double peak, double fadeSeconds) {
  for (std::vector<double>* channel : {&sound.left, &sound.right}) {
    // Two passes of a gentle high-pass: no DC, no sub-audio rumble.
    Biquad a = Biquad::HighPass(22.0, 0.6), b = Biquad::HighPass(22.0, 0.6);
    for (double& x : *channel) x = b.Process(a.Process(x));
    // A raised-cosine fade to exact zero, so a sample never ends in a click.
    const size_t n = channel->size(), fade = std::min(n, FramesOf(fadeSeconds));
    for (size_t i = 0; i < fade; ++i) {
      const double g = 0.5 - 0.5 * std::cos(kPi * double(i) / double(fade));
      (*channel)[n - 1 - i] *= g;
    }
    // The first sample starts from silence too.
    if (n > 0) (*channel)[0] *= 0.5;
  }
  double top = 0;
  for (size_t i = 0; i < sound.Frames(); ++i) {
    top = std::max({top, std::abs(sound.left[i]), std::abs(sound.right[i])});
  }
  if (top <= 0) return;
  const double gain = peak / top;
  for (size_t i = 0; i < sound.Frames(); ++i) {
    sound.left[i] *= gain;
    sound.right[i] *= gain;
  }
}

std::vector<int16_t> ToPcm16(const Stereo& sound) {
  std::vector<int16_t> out(sound.Frames() * 2);
  for (size_t i = 0; i < sound.Frames(); ++i) {
    out[2 * i] =
        static_cast<int16_t>(std::clamp(std::lround(sound.left[i] * 32768.0), -32768L, 32767L));
    out[2 * i + 1] =
        static_cast<int16_t>(std::clamp(std::lround(sound.right[i] * 32768.0), -32768L, 32767L));
  }
  return out;
}

}  // namespace thumper::demokit
