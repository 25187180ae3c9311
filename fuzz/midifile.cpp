// Any bytes given to the MIDI file reader: it must answer with a song or an
// error, never read outside the bytes, and keep its own promises about what
// it returns.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "midi/MidiFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const thumper::MidiFileResult result = thumper::ParseMidiFile(std::span(data, size));
  if (!result.ok()) {
    if (result.message.empty() || !result.song.events.empty()) std::abort();
    return 0;
  }
  int64_t lastFrame = 0;
  for (const thumper::MidiFileEvent& e : result.song.events) {
    const uint8_t status = e.Status();
    if (status < 0x80 || status > 0xEF) std::abort();  // only channel messages
    if (e.Data1() > 0x7F || e.Data2() > 0x7F || (e.message >> 24) != 0) std::abort();
    if (e.frame < lastFrame || e.track < 0 || e.track >= result.song.trackCount) std::abort();
    lastFrame = e.frame;
  }
  if (result.song.endFrame < 0) std::abort();
  return 0;
}
