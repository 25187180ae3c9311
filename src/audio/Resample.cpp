#include "audio/Resample.h"

#include <soxr.h>

#include <cmath>

namespace thumper {

namespace {
soxr_quality_spec_t Quality() {
  return soxr_quality_spec(SOXR_HQ, 0);
}
}  // namespace

size_t ConvertedFrames(size_t frames, double inRate, double outRate) {
  return static_cast<size_t>(std::ceil(static_cast<double>(frames) * outRate / inRate));
}

bool ResampleFloat(const float* in, size_t frames, unsigned channels, double inRate, double outRate,
                   std::vector<float>& out) {
  if (channels == 0 || inRate <= 0 || outRate <= 0) return false;
  const size_t outFrames = ConvertedFrames(frames, inRate, outRate);
  out.assign(outFrames * channels, 0.0f);
  if (frames == 0) return true;
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_quality_spec_t quality = Quality();
  size_t done = 0;
  soxr_error_t err = soxr_oneshot(inRate, outRate, channels, in, frames, nullptr, out.data(),
                                  outFrames, &done, &io, &quality, nullptr);
  if (err) return false;
  out.resize(done * channels);
  return true;
}

bool ResampleInt16(const int16_t* in, size_t frames, unsigned channels, double inRate,
                   double outRate, std::vector<int16_t>& out) {
  std::vector<float> f(frames * channels);
  for (size_t i = 0; i < f.size(); ++i) f[i] = static_cast<float>(in[i]) / 32768.0f;
  std::vector<float> r;
  if (!ResampleFloat(f.data(), frames, channels, inRate, outRate, r)) return false;
  out.resize(r.size());
  for (size_t i = 0; i < r.size(); ++i) out[i] = FloatToInt16(r[i]);
  return true;
}

StreamResampler::StreamResampler(double inRate, double outRate, unsigned channels)
    : m_nChannels(channels) {
  if (channels == 0 || inRate <= 0 || outRate <= 0) return;
  soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
  soxr_quality_spec_t quality = Quality();
  soxr_error_t err = nullptr;
  soxr_t s = soxr_create(inRate, outRate, channels, &err, &io, &quality, nullptr);
  if (err) {
    soxr_delete(s);
    return;
  }
  m_pSoxr = s;
  m_out.resize(kOutFrames * channels);
}

StreamResampler::~StreamResampler() {
  if (m_pSoxr) soxr_delete(static_cast<soxr_t>(m_pSoxr));
}

bool StreamResampler::Step(const float* in, size_t frames, size_t& used, size_t& made) {
  if (!m_pSoxr) return false;
  soxr_error_t err = soxr_process(static_cast<soxr_t>(m_pSoxr), in, in ? frames : 0,
                                  in ? &used : nullptr, m_out.data(), kOutFrames, &made);
  return err == nullptr;
}

}  // namespace thumper
