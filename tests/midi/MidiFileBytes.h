#pragma once
// Builds Standard MIDI File bytes for the reader's tests, chunk by chunk.

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "midi/SmfBytes.h"

namespace thumper::test {

using Bytes = std::vector<uint8_t>;

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
  Bytes Chunk() const { return thumper::Chunk("MTrk", m_bytes); }
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
