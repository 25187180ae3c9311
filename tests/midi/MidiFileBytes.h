#pragma once
// Builds Standard MIDI File bytes for the reader's tests, chunk by chunk.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace thumper::test {

using Bytes = std::vector<uint8_t>;

inline void AppendVarLen(Bytes& out, uint32_t value) {
  uint8_t groups[5];
  int n = 0;
  do {
    groups[n++] = value & 0x7F;
    value >>= 7;
  } while (value);
  while (n > 1) out.push_back(groups[--n] | 0x80);
  out.push_back(groups[0]);
}

inline void AppendBe32(Bytes& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back((v >> shift) & 0xFF);
}

inline Bytes Chunk(const char* id, const Bytes& body) {
  Bytes out(id, id + 4);
  AppendBe32(out, static_cast<uint32_t>(body.size()));
  out.insert(out.end(), body.begin(), body.end());
  return out;
}

inline Bytes Header(int format, int tracks, uint16_t division) {
  return Chunk("MThd", {uint8_t(format >> 8), uint8_t(format), uint8_t(tracks >> 8),
                        uint8_t(tracks), uint8_t(division >> 8), uint8_t(division)});
}

// The body of one track: events with delta times, written byte for byte.
class TrackBody {
 public:
  TrackBody& Event(uint32_t delta, std::initializer_list<uint8_t> bytes) {
    AppendVarLen(m_bytes, delta);
    m_bytes.insert(m_bytes.end(), bytes);
    return *this;
  }
  TrackBody& Tempo(uint32_t delta, uint32_t usPerQuarter) {
    return Event(delta, {0xFF, 0x51, 0x03, uint8_t(usPerQuarter >> 16), uint8_t(usPerQuarter >> 8),
                         uint8_t(usPerQuarter)});
  }
  TrackBody& End(uint32_t delta = 0) { return Event(delta, {0xFF, 0x2F, 0x00}); }
  Bytes Chunk() const { return test::Chunk("MTrk", m_bytes); }
  const Bytes& Raw() const { return m_bytes; }

 private:
  Bytes m_bytes;
};

inline Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

}  // namespace thumper::test
