#pragma once
// The building blocks of Standard MIDI File bytes, for the programs that write
// MIDI files: the demo groove generator, the benchmarks and the tests.

#include <cstdint>
#include <vector>

namespace thumper {

// A variable-length quantity: seven bits a byte, most significant first.
inline void AppendVarLen(std::vector<uint8_t>& out, uint32_t value) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value);
  while (n > 1) out.push_back(groups[--n] | 0x80);
  out.push_back(groups[0]);
}

inline void AppendBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((v >> shift) & 0xFF);
}

// A chunk: its four-letter id, its length, its body.
inline std::vector<uint8_t> Chunk(const char* id, const std::vector<uint8_t>& body) {
  std::vector<uint8_t> out(id, id + 4);
  AppendBe32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

// The MThd chunk.
inline std::vector<uint8_t> Header(int format, int tracks, uint16_t division) {
  return Chunk("MThd", {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
                        uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)});
}

}  // namespace thumper
