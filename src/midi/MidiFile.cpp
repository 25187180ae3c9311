#include "midi/MidiFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <optional>
#include <system_error>

namespace thumper {

namespace {

// Times are kept as exact fractions num / den of a second: for ticks per
// quarter note num counts tick-microseconds (den = ticks per quarter x 10^6),
// for SMPTE it counts hundredths of frames. A long song at a slow tempo can
// pass 64 bits, so num gets 128.
__extension__ typedef __int128 TimeNum;

constexpr uint32_t kDefaultTempo = 500000;  // microseconds per quarter note: 120 BPM
constexpr int64_t kMaxFrame = std::numeric_limits<int64_t>::max() / 4;

struct RawEvent {
  int64_t tick;
  uint32_t message;
  int track;
};

struct TempoChange {
  int64_t tick;
  uint32_t usPerQuarter;
};

struct TrackData {
  std::vector<RawEvent> events;
  std::vector<TempoChange> tempos;  // in file order, so in tick order
  int64_t endTick = 0;
};

struct Failure {
  MidiFileError error;
  std::string message;
};

uint32_t ReadBe32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

uint16_t ReadBe16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// Reads the events of one track chunk. offset is where the chunk's data starts
// in the file, for the messages; cut says the chunk's length ran past the end
// of the file, so its data is whatever the file still holds.
class TrackParser {
 public:
  TrackParser(std::span<const uint8_t> data, size_t offset, int track, bool cut)
      : m_data(data), m_nOffset(offset), m_nTrack(track), m_bCut(cut) {}

  std::optional<Failure> Parse(TrackData& out) {
    uint8_t running = 0;
    int64_t tick = 0;
    while (m_nPos < m_data.size()) {
      uint32_t delta = 0;
      if (auto failure = ReadVarLen(delta)) return failure;
      tick += delta;
      if (m_nPos >= m_data.size()) return Ends();
      const size_t eventStart = m_nPos;
      const uint8_t first = m_data[m_nPos];
      if (first == 0xFF) {
        ++m_nPos;
        if (m_nPos >= m_data.size()) return Ends();
        const uint8_t type = m_data[m_nPos++];
        uint32_t length = 0;
        if (auto failure = ReadVarLen(length)) return failure;
        if (length > m_data.size() - m_nPos) return Ends();
        if (type == 0x2F) {  // end of track: whatever follows is not part of it
          out.endTick = tick;
          return std::nullopt;
        }
        if (type == 0x51 && length == 3) {
          const uint8_t* p = &m_data[m_nPos];
          out.tempos.push_back({tick, (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2]});
        }
        m_nPos += length;
        continue;
      }
      if (first == 0xF0 || first == 0xF7) {  // system exclusive: nothing for a drum machine
        ++m_nPos;
        uint32_t length = 0;
        if (auto failure = ReadVarLen(length)) return failure;
        if (length > m_data.size() - m_nPos) return Ends();
        m_nPos += length;
        continue;
      }
      if (first > 0xF0) {
        return Fail(MidiFileError::BadStatus,
                    "status byte " + Hex(first) + " has no place in a MIDI file", eventStart);
      }
      if (first & 0x80) {
        running = first;
        ++m_nPos;
      } else if (running == 0) {
        return Fail(MidiFileError::DataWithoutStatus,
                    "data byte " + Hex(first) + " without a status byte", eventStart);
      }
      // Program change and channel pressure carry one data byte, the others two.
      const int dataCount = (running & 0xE0) == 0xC0 ? 1 : 2;
      uint32_t message = running;
      for (int i = 0; i < dataCount; ++i) {
        if (m_nPos >= m_data.size()) return Ends();
        const uint8_t data = m_data[m_nPos];
        if (data & 0x80) {
          return Fail(MidiFileError::BadData, "message " + Hex(running) + " is missing a data byte",
                      eventStart);
        }
        message |= uint32_t{data} << (8 * (i + 1));
        ++m_nPos;
      }
      out.events.push_back({tick, message, m_nTrack});
    }
    out.endTick = tick;  // no end-of-track event: the track ends with its last event
    return std::nullopt;
  }

 private:
  std::optional<Failure> ReadVarLen(uint32_t& value) {
    value = 0;
    for (int i = 0; i < 4; ++i) {
      if (m_nPos >= m_data.size()) return Ends();
      const uint8_t byte = m_data[m_nPos++];
      value = (value << 7) | (byte & 0x7F);
      if (!(byte & 0x80)) return std::nullopt;
    }
    return Fail(MidiFileError::BadVarLen, "a variable-length number is longer than four bytes",
                m_nPos - 4);
  }

  Failure Ends() const {
    if (m_bCut) {
      return {MidiFileError::Truncated,
              "the file ends inside track " + std::to_string(m_nTrack + 1) + " (it is truncated)"};
    }
    return {MidiFileError::Truncated,
            "track " + std::to_string(m_nTrack + 1) + ": an event runs past the end of its chunk"};
  }

  Failure Fail(MidiFileError error, const std::string& what, size_t pos) const {
    return {error, "track " + std::to_string(m_nTrack + 1) + ": " + what + " at byte " +
                       std::to_string(m_nOffset + pos)};
  }

  static std::string Hex(uint8_t byte) {
    static const char digits[] = "0123456789ABCDEF";
    return std::string("0x") + digits[byte >> 4] + digits[byte & 0xF];
  }

  std::span<const uint8_t> m_data;
  size_t m_nOffset;
  int m_nTrack;
  bool m_bCut;
  size_t m_nPos = 0;
};

// The time of any tick under one tempo map, starting at a given time.
class TempoMap {
 public:
  TempoMap(TimeNum start, uint32_t startTempo) { m_segments.push_back({0, start, startTempo}); }

  void Add(int64_t tick, uint32_t usPerQuarter) {
    Segment& last = m_segments.back();
    if (tick == last.tick) {  // a later change at the same tick wins
      last.usPerQuarter = usPerQuarter;
      return;
    }
    m_segments.push_back({tick, At(tick), usPerQuarter});
  }

  TimeNum At(int64_t tick) const {
    auto it = std::upper_bound(m_segments.begin(), m_segments.end(), tick,
                               [](int64_t t, const Segment& s) { return t < s.tick; });
    const Segment& s = *std::prev(it);
    return s.num + static_cast<TimeNum>(tick - s.tick) * s.usPerQuarter;
  }

  uint32_t LastTempo() const { return m_segments.back().usPerQuarter; }

 private:
  struct Segment {
    int64_t tick;
    TimeNum num;
    uint32_t usPerQuarter;
  };
  std::vector<Segment> m_segments;
};

int64_t FrameOf(TimeNum num, int64_t den) {
  // round(num / den * rate), halves upward, exactly.
  const TimeNum twice = num * (2 * kMidiFrameRate) + den;
  const TimeNum frame = twice / (2 * static_cast<TimeNum>(den));
  return frame > kMaxFrame ? kMaxFrame : static_cast<int64_t>(frame);
}

double SecondsOf(TimeNum num, int64_t den) {
  return static_cast<double>(static_cast<long double>(num) / static_cast<long double>(den));
}

MidiFileResult Failed(MidiFileError error, std::string message) {
  MidiFileResult result;
  result.error = error;
  result.message = std::move(message);
  return result;
}

// A RIFF MIDI file (".rmi", "RIFF" size "RMID") carries a Standard MIDI File
// in its "data" chunk; anything else is returned as it is.
std::span<const uint8_t> UnwrapRiffMidi(std::span<const uint8_t> bytes) {
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) != 0 ||
      std::memcmp(&bytes[8], "RMID", 4) != 0) {
    return bytes;
  }
  size_t pos = 12;
  while (bytes.size() - pos >= 8) {
    const uint32_t length = uint32_t{bytes[pos + 4]} | uint32_t{bytes[pos + 5]} << 8 |
                            uint32_t{bytes[pos + 6]} << 16 | uint32_t{bytes[pos + 7]} << 24;
    const size_t available = bytes.size() - pos - 8;
    if (std::memcmp(&bytes[pos], "data", 4) == 0) {
      return bytes.subspan(pos + 8, std::min<size_t>(length, available));
    }
    if (length >= available) break;
    pos += 8 + length + (length & 1);  // RIFF chunks are padded to even sizes
  }
  return bytes;
}

}  // namespace

MidiFileResult ParseMidiFile(std::span<const uint8_t> whole) {
  const std::span<const uint8_t> bytes = UnwrapRiffMidi(whole);
  if (bytes.size() < 8 || std::memcmp(bytes.data(), "MThd", 4) != 0) {
    return Failed(MidiFileError::NotMidi, "not a MIDI file (no MThd header)");
  }
  const uint32_t headerLength = ReadBe32(&bytes[4]);
  if (headerLength < 6) {
    return Failed(MidiFileError::BadHeader,
                  "the header chunk is " + std::to_string(headerLength) + " bytes long, not 6");
  }
  if (headerLength > bytes.size() - 8) {
    return Failed(MidiFileError::Truncated, "the file ends inside its header (it is truncated)");
  }
  const uint8_t* header = &bytes[8];
  const int format = ReadBe16(header);
  const int announcedTracks = ReadBe16(header + 2);
  const uint16_t division = ReadBe16(header + 4);
  if (format > 2) {
    return Failed(MidiFileError::UnsupportedFormat, "MIDI file format " + std::to_string(format) +
                                                        " is not supported (only 0, 1, 2)");
  }

  // Exact seconds = num / den; see TimeNum.
  int64_t den = 0;
  const bool smpte = (division & 0x8000) != 0;
  if (smpte) {
    const int fps = -static_cast<int8_t>(division >> 8);
    const int ticksPerFrame = division & 0xFF;
    int fpsHundredths = 0;
    switch (fps) {
      case 24:
        fpsHundredths = 2400;
        break;
      case 25:
        fpsHundredths = 2500;
        break;
      case 29:
        fpsHundredths = 2997;
        break;  // drop-frame: 29.97 frames per second
      case 30:
        fpsHundredths = 3000;
        break;
      default:
        return Failed(MidiFileError::BadDivision,
                      "unknown SMPTE frame rate " + std::to_string(fps) + " in the header");
    }
    if (ticksPerFrame == 0) {
      return Failed(MidiFileError::BadDivision, "the header gives zero ticks per SMPTE frame");
    }
    den = int64_t{fpsHundredths} * ticksPerFrame;
  } else {
    if (division == 0) {
      return Failed(MidiFileError::BadDivision, "the header gives zero ticks per quarter note");
    }
    den = int64_t{division} * 1000000;
  }

  size_t pos = 8 + size_t{headerLength};
  // Every track needs at least its 8-byte chunk header: refuse a count the
  // bytes cannot hold before anything is reserved for it.
  if (size_t(announcedTracks) * 8 > bytes.size() - pos) {
    return Failed(MidiFileError::TooManyTracks,
                  "the header announces " + std::to_string(announcedTracks) +
                      " tracks, more than the file can hold (it is damaged or truncated)");
  }

  std::vector<TrackData> tracks;
  tracks.reserve(announcedTracks);
  while (static_cast<int>(tracks.size()) < announcedTracks) {
    if (bytes.size() - pos < 8) {
      return Failed(MidiFileError::Truncated,
                    "the file ends after " + std::to_string(tracks.size()) + " of its " +
                        std::to_string(announcedTracks) + " tracks (it is truncated)");
    }
    const bool isTrack = std::memcmp(&bytes[pos], "MTrk", 4) == 0;
    size_t length = ReadBe32(&bytes[pos + 4]);
    const size_t start = pos + 8;
    const size_t available = bytes.size() - start;
    bool cut = false;
    if (length > available) {
      const bool lastTrack = isTrack && static_cast<int>(tracks.size()) == announcedTracks - 1;
      if (!lastTrack) {
        return Failed(MidiFileError::Truncated,
                      "the chunk at byte " + std::to_string(pos) +
                          " runs past the end of the file (it is truncated)");
      }
      // Some writers get the last length wrong; play what is there.
      length = available;
      cut = true;
    }
    if (isTrack) {
      TrackData track;
      TrackParser parser(bytes.subspan(start, length), start, static_cast<int>(tracks.size()), cut);
      if (auto failure = parser.Parse(track)) return Failed(failure->error, failure->message);
      tracks.push_back(std::move(track));
    }
    pos = start + length;  // unknown chunks are skipped
  }

  struct Timed {
    TimeNum num;
    RawEvent event;
  };
  std::vector<Timed> timed;
  size_t total = 0;
  for (const TrackData& t : tracks) total += t.events.size();
  timed.reserve(total);
  TimeNum endNum = 0;

  if (smpte) {
    TimeNum offset = 0;
    for (TrackData& t : tracks) {
      for (const RawEvent& e : t.events) timed.push_back({offset + TimeNum{e.tick} * 100, e});
      std::vector<RawEvent>().swap(t.events);  // keep only one copy of a big song
      const TimeNum end = offset + TimeNum{t.endTick} * 100;
      endNum = std::max(endNum, end);
      if (format == 2) offset = end;
    }
  } else if (format == 2) {
    TimeNum offset = 0;
    uint32_t tempo = kDefaultTempo;
    for (TrackData& t : tracks) {
      TempoMap map(offset, tempo);
      for (const TempoChange& c : t.tempos) map.Add(c.tick, c.usPerQuarter);
      for (const RawEvent& e : t.events) timed.push_back({map.At(e.tick), e});
      std::vector<RawEvent>().swap(t.events);  // keep only one copy of a big song
      offset = map.At(t.endTick);
      tempo = map.LastTempo();
      endNum = offset;
    }
  } else {
    // One tempo map for all tracks: every change applies from its tick on,
    // whichever track holds it; at one tick the last in track order wins.
    std::vector<TempoChange> changes;
    for (const TrackData& t : tracks)
      changes.insert(changes.end(), t.tempos.begin(), t.tempos.end());
    std::stable_sort(changes.begin(), changes.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    TempoMap map(0, kDefaultTempo);
    for (const TempoChange& c : changes) map.Add(c.tick, c.usPerQuarter);
    for (TrackData& t : tracks) {
      for (const RawEvent& e : t.events) timed.push_back({map.At(e.tick), e});
      std::vector<RawEvent>().swap(t.events);  // keep only one copy of a big song
      endNum = std::max(endNum, map.At(t.endTick));
    }
  }

  // Appended in track order, then file order; a stable sort keeps that for ties.
  std::stable_sort(timed.begin(), timed.end(),
                   [](const Timed& a, const Timed& b) { return a.num < b.num; });

  MidiFileResult result;
  MidiSong& song = result.song;
  song.format = format;
  song.trackCount = static_cast<int>(tracks.size());
  song.division = division;
  song.events.reserve(timed.size());
  for (const Timed& t : timed) {
    song.events.push_back(
        {SecondsOf(t.num, den), FrameOf(t.num, den), t.event.message, t.event.track, t.event.tick});
  }
  song.endSeconds = SecondsOf(endNum, den);
  song.endFrame = FrameOf(endNum, den);
  return result;
}

MidiFileResult ReadMidiFile(const std::filesystem::path& path) {
  const std::string name = path.string();
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) {
    return Failed(MidiFileError::CannotOpen, name + ": cannot read a MIDI file: it is a folder");
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return Failed(MidiFileError::CannotOpen,
                  name + ": cannot open the MIDI file: " + std::generic_category().message(errno));
  }
  in.seekg(0, std::ios::end);
  const std::streamoff size = in.tellg();
  in.seekg(0, std::ios::beg);
  if (size < 0) return Failed(MidiFileError::CannotOpen, name + ": cannot read the MIDI file");
  if (static_cast<std::uintmax_t>(size) > kMaxMidiFileBytes) {
    return Failed(MidiFileError::TooLarge,
                  name + ": " + std::to_string(size) + " bytes is too large for a MIDI file");
  }
  std::vector<uint8_t> bytes(static_cast<size_t>(size));
  if (!bytes.empty() && !in.read(reinterpret_cast<char*>(bytes.data()), size)) {
    return Failed(MidiFileError::CannotOpen, name + ": cannot read the MIDI file");
  }
  MidiFileResult result = ParseMidiFile(bytes);
  if (!result.ok()) result.message = name + ": " + result.message;
  return result;
}

int64_t FrameAtSeconds(double seconds) {
  if (!(seconds > 0)) return 0;
  const double frame = std::round(seconds * kMidiFrameRate);
  return frame >= static_cast<double>(kMaxFrame) ? kMaxFrame : static_cast<int64_t>(frame);
}

}  // namespace thumper
