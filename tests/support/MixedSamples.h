#pragma once
// A kit's worth of sample files in every layout the reader takes: widths, rates,
// channel counts and containers, each a few thousand frames of a signal that
// differs from file to file. Header-only: it needs libsndfile, which the audio
// module brings.

#include <sndfile.h>

#include <cmath>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace thumper::test {

struct MixedSampleSpec {
  const char* name;
  int format;
  int channels;
  int rate;
  int frames;
};

inline const std::vector<MixedSampleSpec>& MixedSampleSpecs() {
  static const std::vector<MixedSampleSpec> specs = {
      {"s16-44k-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 30000},
      {"s16-44k-mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 44100, 20001},
      {"s24-48k-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 2, 48000, 50000},
      {"s24-96k-mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_24, 1, 96000, 40000},
      {"f32-44k-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 17000},
      {"f32-22k-stereo.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 22050, 16500},
      {"u8-11k-mono.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_U8, 1, 11025, 9000},
      {"s16-48k-quad.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 4, 48000, 20000},
      {"s16-44k-stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 2, 44100, 36000},
      {"s24-48k-stereo.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 2, 48000, 33333},
      {"s24-48k-mono.flac", SF_FORMAT_FLAC | SF_FORMAT_PCM_24, 1, 48000, 24000},
      {"s16-44k-stereo.aiff", SF_FORMAT_AIFF | SF_FORMAT_PCM_16, 2, 44100, 12000},
      {"f32-44k-hot.wav", SF_FORMAT_WAV | SF_FORMAT_FLOAT, 2, 44100, 5000},  // beyond full scale
      {"s16-44k-empty.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2, 44100, 0},
  };
  return specs;
}

// Writes every file of MixedSampleSpecs() into dir; returns their paths.
inline std::vector<std::string> WriteMixedSamples(const TempDir& dir) {
  std::vector<std::string> paths;
  int n = 0;
  for (const MixedSampleSpec& spec : MixedSampleSpecs()) {
    ++n;
    std::vector<float> samples(static_cast<size_t>(spec.frames) * spec.channels);
    for (int f = 0; f < spec.frames; ++f) {
      for (int c = 0; c < spec.channels; ++c) {
        // A decaying tone plus a little deterministic noise, so rounding and
        // filtering show in every bit.
        const double t = double(f) / spec.rate;
        const double tone = std::sin(2 * M_PI * (90.0 * n + 37 * c) * t) * std::exp(-3 * t);
        const double noise = double((f * 2654435761u + c * 40503u + n) % 2001) / 1000.0 - 1.0;
        const double gain = std::string(spec.name).find("hot") != std::string::npos ? 3.0 : 0.8;
        samples[size_t(f) * spec.channels + c] = float(gain * tone + 0.05 * noise);
      }
    }
    SF_INFO info{};
    info.channels = spec.channels;
    info.samplerate = spec.rate;
    info.format = spec.format;
    const std::string path = dir / spec.name;
    SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!f) continue;  // the caller compares counts
    sf_writef_float(f, samples.data(), spec.frames);
    sf_close(f);
    paths.push_back(path);
  }
  return paths;
}

}  // namespace thumper::test
