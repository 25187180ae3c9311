#pragma once
// The dense ten-minute groove the render benchmarks play, as a MIDI file.

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "midi/SmfBytes.h"

namespace bench {

using thumper::AppendVarLen;

// Ten minutes at 120 BPM of sixteenth-note hats with accents and open hats, kick and snare
// patterns, a fill every eighth bar and a crash every sixteenth: about 7,000 hits.
inline std::string WriteDenseSong() {
  const std::string path =
      (std::filesystem::temp_directory_path() / "thumper-bench-dense.mid").string();
  std::vector<uint8_t> track;
  const int ticksPer16th = 120;  // 480 per quarter
  const int sixteenths = 10 * 60 * 2 * 4;
  uint32_t pending = 0;
  auto hit = [&](uint8_t note, uint8_t velocity) {
    AppendVarLen(track, pending);
    pending = 0;
    track.insert(track.end(), {0x90, note, velocity});
  };
  int hits = 0;
  for (int i = 0; i < sixteenths; ++i) {
    const int inBar = i % 16, bar = i / 16;
    if (inBar == 14 && bar % 2 == 1)
      hit(46, 96), ++hits;
    else
      hit(42, inBar % 4 == 0 ? 118 : 60 + (i * 7) % 50), ++hits;
    if (inBar == 0 || inBar == 6 || inBar == 10 || (bar % 2 && inBar == 15)) hit(36, 110), ++hits;
    if (inBar == 4 || inBar == 12) hit(38, 120), ++hits;
    if (inBar == 7 || inBar == 13) hit(38, 40), ++hits;  // ghost notes
    if (bar % 8 == 7 && inBar >= 8) hit(static_cast<uint8_t>(inBar < 12 ? 47 : 45), 100), ++hits;
    if (bar % 16 == 0 && inBar == 0) hit(49, 124), ++hits;
    pending += ticksPer16th;
  }
  AppendVarLen(track, pending);
  track.insert(track.end(), {0xFF, 0x2F, 0x00});
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                               0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
  const auto n = static_cast<uint32_t>(track.size());
  file.insert(file.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  file.insert(file.end(), track.begin(), track.end());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  std::fprintf(stderr, "dense song: %d hits\n", hits);
  return path;
}

}  // namespace bench
