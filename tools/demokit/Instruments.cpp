#include "demokit/Instruments.h"

#include <array>
#include <cmath>

#include "demokit/Synth.h"

namespace thumper::demokit {

namespace {

// Soft saturation normalised to unity gain for small signals.
double Drive(double x, double amount) {
  return std::tanh(x * amount) / amount;
}

// A bank of detuned square waves: the metallic core of hats and cymbals.
class MetalBank {
 public:
  template <size_t N>
  MetalBank(const std::array<double, N>& hz, double scale) {
    for (double f : hz) m_inc.push_back(f * scale / kRate);
    m_phase.assign(m_inc.size(), 0.0);
    // Spread the starting phases so the squares do not all switch together.
    for (size_t i = 0; i < m_phase.size(); ++i) m_phase[i] = std::fmod(0.37 * double(i), 1.0);
  }
  double Next() {
    double sum = 0;
    for (size_t i = 0; i < m_inc.size(); ++i) {
      m_phase[i] += m_inc[i];
      if (m_phase[i] >= 1) m_phase[i] -= 1;
      sum += m_phase[i] < 0.5 ? 1.0 : -1.0;
    }
    return sum / double(m_inc.size());
  }

 private:
  std::vector<double> m_inc, m_phase;
};

constexpr std::array<double, 6> kHatTones = {205.3, 304.4, 369.6, 522.7, 540.0, 800.0};
constexpr std::array<double, 8> kCymbalTones = {263.0, 400.0, 421.0,  474.0,
                                                587.0, 845.0, 1093.0, 1356.0};

}  // namespace

Mono Kick(double h, uint64_t seed) {
  const size_t n = FramesOf(0.50 + 0.25 * h);
  Mono out(n);
  Noise noise(seed);
  Biquad clickBand = Biquad::BandPass(2800 + 1800 * h, 0.9);
  Biquad tone = Biquad::LowPass(1800 + 7000 * h, 0.7);
  const double fEnd = 47 + 5 * h, fStart = 105 + 125 * h, pitchTau = 0.026 + 0.014 * h;
  const double decay = 0.17 + 0.15 * h, drive = 1.2 + 2.3 * h;
  double phase = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double f = fEnd + (fStart - fEnd) * std::exp(-t / pitchTau);
    phase += 2 * kPi * f / kRate;
    // Hold the body a little before it decays: the boom of a big kick.
    const double body = std::sin(phase) * (t < 0.02 ? 1.0 : std::exp(-(t - 0.02) / decay));
    const double click = clickBand.Process(noise.Next()) * std::exp(-t / 0.0035) * (0.25 + 0.9 * h);
    const double beater = std::sin(2 * kPi * 1150 * t) * std::exp(-t / 0.005) * 0.25 * h;
    out[i] = tone.Process(Drive(body + click + beater, drive));
  }
  return out;
}

Mono Snare(double h, uint64_t seed) {
  const size_t n = FramesOf(0.38 + 0.2 * h);
  Mono out(n);
  Noise noise(seed);
  Biquad wiresLow = Biquad::HighPass(1200 + 600 * h, 0.7);
  Biquad wiresTone = Biquad::LowPass(3000 + 6000 * h, 0.7);
  Biquad stick = Biquad::BandPass(4500, 1.2);
  const double bodyTau = 0.06 + 0.05 * h, wireTau = 0.06 + 0.08 * h;
  const double wireLevel = 0.55 + 0.45 * h;
  double p1 = 0, p2 = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double bend = 1 + 0.18 * h * std::exp(-t / 0.012);
    p1 += 2 * kPi * 182 * bend / kRate;
    p2 += 2 * kPi * 329 * bend / kRate;
    const double body = (std::sin(p1) * 0.8 + std::sin(p2) * 0.45 * std::exp(-t / 0.035)) *
                        Envelope(t, 0.0008, bodyTau);
    const double white = noise.Next();
    const double wires = wiresTone.Process(wiresLow.Process(white)) * Envelope(t, 0.0015, wireTau);
    const double crack = stick.Process(white) * std::exp(-t / 0.004) * (0.3 + 1.2 * h);
    out[i] = Drive(body * 0.9 + wires * wireLevel + crack * 0.7, 1.0 + 1.5 * h);
  }
  return out;
}

Mono SideStick(double h, uint64_t seed) {
  const size_t n = FramesOf(0.16 + 0.06 * h);
  Mono out(n);
  Noise noise(seed);
  Biquad knock = Biquad::BandPass(2900 + 900 * h, 2.5);
  Biquad tone = Biquad::LowPass(2500 + 9000 * h, 0.7);
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double wood = std::sin(2 * kPi * 1720 * t) * std::exp(-t / (0.009 + 0.005 * h)) * 0.7;
    const double shell = std::sin(2 * kPi * 505 * t) * std::exp(-t / (0.022 + 0.012 * h)) * 0.6;
    const double hit = knock.Process(noise.Next()) * std::exp(-t / 0.006) * (0.8 + 1.4 * h);
    out[i] = tone.Process(wood + shell + hit);
  }
  return out;
}

Mono Clap(double h, uint64_t seed) {
  const size_t n = FramesOf(0.36 + 0.18 * h);
  Mono out(n);
  Noise noise(seed);
  Biquad band = Biquad::BandPass(1050 + 350 * h, 1.1);
  Biquad air = Biquad::HighPass(2600, 0.7);
  // Several hands a few milliseconds apart; a soft clap has fewer, closer together.
  const std::array<double, 4> offsets = {0.0, 0.0085 + 0.002 * h, 0.0175 + 0.004 * h,
                                         0.027 + 0.006 * h};
  const int hands = h > 0.5 ? 4 : 3;
  const double tailTau = 0.065 + 0.085 * h;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    double env = 0;
    for (int k = 0; k < hands; ++k) {
      if (t >= offsets[k])
        env += std::exp(-(t - offsets[k]) / 0.0045) * (k == hands - 1 ? 0.6 : 1.0);
    }
    const double last = offsets[hands - 1];
    if (t >= last) env += 0.55 * std::exp(-(t - last) / tailTau);
    const double white = noise.Next();
    out[i] = (band.Process(white) * 1.4 + air.Process(white) * 0.35 * h) * env;
  }
  return out;
}

Mono HiHat(double h, bool open, uint64_t seed) {
  const double length = open ? 0.85 + 0.45 * h : 0.11 + 0.09 * h;
  const size_t n = FramesOf(length);
  Mono out(n);
  Noise noise(seed);
  MetalBank metal(kHatTones, 1.0);
  Biquad band = Biquad::BandPass(7200 + 3200 * h, 0.8);
  Biquad high = Biquad::HighPass(5200 + 2300 * h, 0.7);
  Biquad tone = Biquad::LowPass(8500 + 9000 * h, 0.7);
  const double tau = open ? 0.24 + 0.22 * h : 0.016 + 0.022 * h;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double source = metal.Next() * 0.65 + noise.Next() * 0.45;
    const double shaped = tone.Process(high.Process(band.Process(source)));
    // A harder stroke adds the bright "tss" on top of the metal.
    const double chick = std::exp(-t / 0.0025) * (0.15 + 0.35 * h);
    out[i] = shaped * (Envelope(t, 0.0004, tau) + chick);
  }
  return out;
}

Mono Tom(double pitchHz, double h, uint64_t seed) {
  const double ring = 0.45 + 0.35 * h + 28.0 / pitchHz;
  const size_t n = FramesOf(ring + 0.1);
  Mono out(n);
  Noise noise(seed);
  Biquad stick = Biquad::LowPass(2200 + 3800 * h, 0.8);
  const double tau = (0.16 + 0.13 * h) * (110.0 / pitchHz + 0.4), bendAmount = 0.28 + 0.3 * h;
  double p1 = 0, p2 = 0;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double bend = 1 + bendAmount * std::exp(-t / 0.045);
    p1 += 2 * kPi * pitchHz * bend / kRate;
    p2 += 2 * kPi * pitchHz * 1.59 * bend / kRate;
    const double body = std::sin(p1) + 0.3 * std::sin(p2) * std::exp(-t / (0.05 + 0.04 * h));
    const double attack = stick.Process(noise.Next()) * std::exp(-t / 0.006) * (0.35 + 0.7 * h);
    out[i] = Drive(body * Envelope(t, 0.001, tau) + attack, 1.0 + 1.4 * h);
  }
  return out;
}

Mono Crash(double h, uint64_t seed) {
  const size_t n = FramesOf(1.6 + 0.7 * h);
  Mono out(n);
  Noise noise(seed);
  MetalBank metal(kCymbalTones, 1.0 + 0.02 * h);
  Biquad high = Biquad::HighPass(2400 + 1400 * h, 0.6);
  Biquad tone = Biquad::LowPass(6000 + 10000 * h, 0.6);
  Biquad shimmer = Biquad::HighPass(8000, 0.7);
  const double tau = 0.38 + 0.3 * h;
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    const double white = noise.Next();
    const double wash = tone.Process(high.Process(metal.Next() * 0.55 + white * 0.6));
    const double splash = shimmer.Process(white) * std::exp(-t / 0.06) * (0.3 + 0.9 * h);
    out[i] = wash * Envelope(t, 0.0015, tau) + splash;
  }
  return out;
}

Mono Ride(double h, uint64_t seed) {
  const size_t n = FramesOf(1.5 + 0.5 * h);
  Mono out(n);
  Noise noise(seed);
  MetalBank metal(kCymbalTones, 1.6);
  Biquad washHigh = Biquad::HighPass(4500, 0.7);
  Biquad tone = Biquad::LowPass(5500 + 9000 * h, 0.6);
  Biquad ping = Biquad::BandPass(6200, 1.5);
  // Inharmonic bell partials of a ride, the lower ones ringing longest.
  constexpr std::array<double, 6> partials = {433, 1061, 1577, 2393, 3155, 4610};
  constexpr std::array<double, 6> amps = {0.30, 0.55, 0.40, 0.35, 0.25, 0.18};
  for (size_t i = 0; i < n; ++i) {
    const double t = double(i) / kRate;
    double bell = 0;
    for (size_t k = 0; k < partials.size(); ++k) {
      bell += amps[k] * std::sin(2 * kPi * partials[k] * t) * std::exp(-t / (0.7 / (1 + 0.5 * k)));
    }
    const double white = noise.Next();
    const double wash =
        washHigh.Process(metal.Next() * 0.5 + white * 0.5) * Envelope(t, 0.001, 0.55 + 0.25 * h);
    const double stick = ping.Process(white) * std::exp(-t / 0.008) * (0.6 + 1.2 * h);
    out[i] = tone.Process(bell * (0.16 + 0.14 * h) + wash * 1.1 + stick);
  }
  return out;
}

}  // namespace thumper::demokit
