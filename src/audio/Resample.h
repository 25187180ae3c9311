#pragma once
// Sample-rate conversion at load time (soxr, high quality) and the float to
// 16-bit step. Load threads only; never used on the mix path.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace thumper {

// Interleaved float frames from inRate to outRate. False when soxr fails.
bool ResampleFloat(const float* in, size_t frames, unsigned channels, double inRate, double outRate,
                   std::vector<float>& out);

// Interleaved 16-bit frames from inRate to outRate.
bool ResampleInt16(const int16_t* in, size_t frames, unsigned channels, double inRate,
                   double outRate, std::vector<int16_t>& out);

// The frames a conversion of `frames` input frames yields at most.
size_t ConvertedFrames(size_t frames, double inRate, double outRate);

// A streaming conversion of interleaved float frames, fed chunk by chunk: the
// same quality as ResampleFloat and the same output, without the whole signal
// in memory. One thread at a time.
class StreamResampler {
 public:
  StreamResampler(double inRate, double outRate, unsigned channels);
  ~StreamResampler();
  StreamResampler(const StreamResampler&) = delete;
  StreamResampler& operator=(const StreamResampler&) = delete;

  bool IsValid() const { return m_pSoxr != nullptr; }

  // Feeds frames (in null: the end of the input, which flushes) and hands every
  // converted block to sink(const float* samples, size_t frames). False when
  // soxr fails.
  template <class Sink>
  bool Process(const float* in, size_t frames, Sink&& sink) {
    for (;;) {
      size_t used = 0, made = 0;
      if (!Step(in, frames, used, made)) return false;
      if (made) sink(m_out.data(), made);
      if (in) {
        in += used * m_nChannels;
        frames -= used;
      }
      // A full output block may have more behind it.
      if (made < kOutFrames && (!in || frames == 0)) return true;
      if (in && used == 0 && made == 0) return true;
    }
  }

 private:
  static constexpr size_t kOutFrames = 8192;
  bool Step(const float* in, size_t frames, size_t& used, size_t& made);

  void* m_pSoxr = nullptr;
  unsigned m_nChannels;
  std::vector<float> m_out;
};

// Full scale is 32768: rounded to nearest, saturated.
inline int16_t FloatToInt16(float x) {
  float v = x * 32768.0f;
  v = v < -32768.0f ? -32768.0f : (v > 32767.0f ? 32767.0f : v);
  return static_cast<int16_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
}

}  // namespace thumper
