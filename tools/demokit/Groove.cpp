#include "demokit/Groove.h"

#include <algorithm>
#include <string>

#include "demokit/Synth.h"
#include "midi/SmfBytes.h"

namespace thumper::demokit {

namespace {

constexpr int kSixteenth = kTicksPerQuarter / 4;
constexpr int kBar = kTicksPerQuarter * 4;

struct Hit {
  int tick;
  int note;
  int velocity;
};

class Song {
 public:
  // step: sixteenth within the bar, 0..15.
  void Add(int bar, int step, int note, int velocity) {
    // A drummer is never exactly even: a few points either way.
    const int jitter = static_cast<int>(m_noise.Next() * 4.0);
    m_hits.push_back({bar * kBar + step * kSixteenth, note, std::clamp(velocity + jitter, 1, 127)});
  }
  std::vector<Hit>& Hits() { return m_hits; }

 private:
  std::vector<Hit> m_hits;
  Noise m_noise{112};
};

using namespace gm;

// Verse: closed eighths with accents on the beat, a ghosted snare, and an open
// hat at the end of every other bar that the next closed hat chokes.
void GrooveA(Song& s, int bar, bool openAtEnd) {
  for (int step = 0; step < 16; step += 2) {
    if (openAtEnd && step == 14) continue;
    s.Add(bar, step, kClosedHat, step % 4 == 0 ? 104 : 72);
  }
  if (openAtEnd) s.Add(bar, 14, kOpenHat, 92);
  s.Add(bar, 11, kClosedHat, 34);  // a soft sixteenth between the eighths
  s.Add(bar, 0, kKick, 118);
  s.Add(bar, 6, kKick, 92);
  s.Add(bar, 8, kKick, 110);
  if (bar % 2) s.Add(bar, 10, kKick, 84);
  s.Add(bar, 4, kSnare, 116);
  s.Add(bar, 12, kSnare, 118);
  s.Add(bar, 7, kSnare, 32);  // ghost notes
  s.Add(bar, 15, kSnare, 28);
}

// Chorus: ride eighths, hats on two and four, a clap doubling the backbeat.
void GrooveB(Song& s, int bar) {
  for (int step = 0; step < 16; step += 2) s.Add(bar, step, kRide, step % 4 == 0 ? 106 : 78);
  s.Add(bar, 4, kClosedHat, 58);
  s.Add(bar, 12, kClosedHat, 58);
  s.Add(bar, 0, kKick, 120);
  s.Add(bar, 3, kKick, 70);
  s.Add(bar, 8, kKick, 112);
  s.Add(bar, 9, kKick, 88);
  s.Add(bar, 4, kSnare, 118);
  s.Add(bar, 12, kSnare, 120);
  s.Add(bar, 12, kClap, 104);
  if (bar % 2) s.Add(bar, 14, kSnare, 36);
}

// Bridge: sixteenth hats through all the layers, opening on the off-beats.
void GrooveC(Song& s, int bar) {
  const int accents[4] = {112, 38, 76, 46};
  for (int step = 0; step < 16; ++step) {
    if (step == 6 || step == 14) {
      s.Add(bar, step, kOpenHat, 100);
    } else if (step != 7 && step != 15) {
      s.Add(bar, step, kClosedHat, accents[step % 4]);
    }
  }
  s.Add(bar, 0, kKick, 120);
  s.Add(bar, 7, kKick, 86);
  s.Add(bar, 10, kKick, 104);
  s.Add(bar, 4, kSnare, 118);
  s.Add(bar, 12, kSnare, 122);
  s.Add(bar, 9, kSnare, 30);
}

// Four on the floor with open hats on every off-beat, each choked by the next
// closed hat, and side-stick clicks.
void Disco(Song& s, int bar) {
  for (int beat = 0; beat < 4; ++beat) {
    s.Add(bar, beat * 4, kKick, 118);
    s.Add(bar, beat * 4, kClosedHat, 66);
    s.Add(bar, beat * 4 + 2, kOpenHat, beat % 2 ? 110 : 88);
  }
  s.Add(bar, 4, kClap, 112);
  s.Add(bar, 12, kClap, 116);
  s.Add(bar, 6, kSideStick, 74);
  s.Add(bar, 15, kSideStick, 52);
}

// Outro: half time on the ride.
void HalfTime(Song& s, int bar) {
  for (int step = 0; step < 16; step += 4) s.Add(bar, step, kRide, step == 0 ? 118 : 92);
  for (int step = 2; step < 16; step += 4) s.Add(bar, step, kClosedHat, 44);
  s.Add(bar, 0, kKick, 120);
  s.Add(bar, 11, kKick, 82);
  s.Add(bar, 8, kSnare, 124);
  s.Add(bar, 3, kSideStick, 60);
}

// Fills: the last beats of a phrase, climbing through the velocity layers.
void TomFill(Song& s, int bar) {
  const int notes[8] = {kSnare, kSnare, kHighTom, kHighTom, kMidTom, kMidTom, kLowTom, kLowTom};
  for (int i = 0; i < 8; ++i) s.Add(bar, 8 + i, notes[i], 72 + i * 6);
  s.Add(bar, 8, kKick, 100);
}

void SnareRoll(Song& s, int bar) {
  for (int step = 0; step < 16; ++step) s.Add(bar, step, kSnare, 30 + step * 6);
  s.Add(bar, 0, kKick, 104);
  s.Add(bar, 8, kKick, 110);
}

void BigFill(Song& s, int bar) {
  const int notes[16] = {kHighTom, kHighTom, kHighTom, kHighTom, kMidTom, kMidTom, kMidTom, kMidTom,
                         kSnare,   kHighTom, kMidTom,  kLowTom,  kLowTom, kLowTom, kSnare,  kSnare};
  for (int step = 0; step < 16; ++step) s.Add(bar, step, notes[step], 88 + (step % 4) * 10);
  s.Add(bar, 0, kKick, 116);
  s.Add(bar, 8, kKick, 116);
}

void Crash(Song& s, int bar) {
  s.Add(bar, 0, kCrash, 122);
}

void AppendBe(std::vector<uint8_t>& out, uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

std::vector<uint8_t> DemoGrooveMidi() {
  Song s;
  for (int bar = 0; bar < 8; ++bar) {  // verse
    if (bar == 7) {
      GrooveA(s, bar, false);
      s.Hits().erase(
          std::remove_if(s.Hits().begin(), s.Hits().end(),
                         [](const Hit& h) { return h.tick >= 7 * kBar + 8 * kSixteenth; }),
          s.Hits().end());
      TomFill(s, bar);
    } else {
      GrooveA(s, bar, bar % 2 == 1);
    }
  }
  Crash(s, 0);
  for (int bar = 8; bar < 15; ++bar) GrooveB(s, bar);  // chorus
  Crash(s, 8);
  Crash(s, 12);
  SnareRoll(s, 15);
  for (int bar = 16; bar < 20; ++bar) GrooveC(s, bar);  // bridge
  Crash(s, 16);
  for (int bar = 20; bar < 22; ++bar) Disco(s, bar);
  Crash(s, 20);
  GrooveC(s, 22);
  BigFill(s, 23);
  for (int bar = 24; bar < 27; ++bar) HalfTime(s, bar);  // outro
  Crash(s, 24);
  Crash(s, 26);
  s.Add(27, 0, kCrash, 127);  // the last hit rings out
  s.Add(27, 0, kKick, 124);
  s.Add(27, 0, kLowTom, 110);

  // Note-ons and their note-offs a sixteenth later, in time order; at one tick
  // note-offs come first, and the hits keep the order they were written in.
  struct Message {
    int tick;
    int order;
    uint8_t status, data1, data2;
  };
  std::vector<Message> messages;
  int order = 0;
  for (const Hit& h : s.Hits()) {
    messages.push_back({h.tick, 1 << 20 | order, 0x90, uint8_t(h.note), uint8_t(h.velocity)});
    messages.push_back({h.tick + kSixteenth, order, 0x80, uint8_t(h.note), 64});
    ++order;
  }
  std::stable_sort(messages.begin(), messages.end(), [](const Message& a, const Message& b) {
    return a.tick != b.tick ? a.tick < b.tick : a.order < b.order;
  });

  std::vector<uint8_t> track;
  const std::string name = "Thumper demo groove";
  track.insert(track.end(), {0x00, 0xFF, 0x03, uint8_t(name.size())});
  track.insert(track.end(), name.begin(), name.end());
  track.insert(track.end(), {0x00, 0xFF, 0x58, 0x04, 0x04, 0x02, 0x18, 0x08});  // 4/4
  const uint32_t usPerQuarter = 60000000 / kGrooveBpm;
  track.insert(track.end(), {0x00, 0xFF, 0x51, 0x03});
  AppendBe(track, usPerQuarter, 3);
  int now = 0;
  uint8_t running = 0;
  for (const Message& m : messages) {
    AppendVarLen(track, uint32_t(m.tick - now));
    now = m.tick;
    if (m.status != running) track.push_back(m.status);
    running = m.status;
    track.push_back(m.data1);
    track.push_back(m.data2);
  }
  const int end = std::max(now, kGrooveBars * kBar);
  AppendVarLen(track, uint32_t(end - now));
  track.insert(track.end(), {0xFF, 0x2F, 0x00});

  std::vector<uint8_t> file = {'M', 'T', 'h', 'd'};
  AppendBe(file, 6, 4);
  AppendBe(file, 0, 2);  // format 0
  AppendBe(file, 1, 2);
  AppendBe(file, kTicksPerQuarter, 2);
  file.insert(file.end(), {'M', 'T', 'r', 'k'});
  AppendBe(file, uint32_t(track.size()), 4);
  file.insert(file.end(), track.begin(), track.end());
  return file;
}

}  // namespace thumper::demokit
