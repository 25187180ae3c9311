#include "play/NoteMap.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <fstream>
#include <sstream>
#include <vector>

namespace thumper {

namespace {

constexpr size_t kMaxMapFileBytes = 1 << 20;

// Roland V-Drums, the default pad notes of the TD-17 and TD-27 modules (Roland's
// "TD-17 Data List" and "TD-27 Data List", PAD MIDI page), onto the General
// MIDI drum notes of the same instruments. Heads already on their GM note
// (kick 36, snare 38, toms 48/45/43, hi-hat 46/42/44, crashes 49/57, ride 51,
// bell 53, cross-stick 37, and the snare rim 40, GM's second snare, which kits
// use for the rimshot) play themselves; the other rims and edges go to their drum.
constexpr std::pair<uint8_t, uint8_t> kVDrums[] = {
    {50, 48},  // tom 1 rim: high tom
    {47, 45},  // tom 2 rim: low-mid tom
    {58, 43},  // tom 3 rim: high floor tom
    {26, 46},  // hi-hat open edge: open hi-hat
    {22, 42},  // hi-hat closed edge: closed hi-hat
    {55, 49},  // crash 1 edge: crash 1
    {52, 57},  // crash 2 edge: crash 2
    {59, 51},  // ride edge: ride
};

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
    text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
    text.remove_suffix(1);
  return text;
}

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    const size_t start = i;
    while (i < line.size() && !std::isspace(static_cast<unsigned char>(line[i]))) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

}  // namespace

NoteMap NoteMap::Identity() {
  NoteMap map;
  for (int n = 0; n < 128; ++n) map.m_targets[n] = {1, {static_cast<uint8_t>(n)}};
  return map;
}

bool NoteMap::Add(uint8_t input, uint8_t note) {
  Targets& targets = m_targets[input & 0x7F];
  if (std::find(targets.nNote.begin(), targets.nNote.begin() + targets.nCount, note) !=
      targets.nNote.begin() + targets.nCount)
    return true;
  if (targets.nCount == kMaxTargets) return false;
  targets.nNote[targets.nCount++] = note;
  return true;
}

bool NoteMap::IsIdentity() const {
  if (m_nHiHatController != kHiHatController) return false;
  for (int n = 0; n < 128; ++n)
    if (m_targets[n].nCount != 1 || m_targets[n].nNote[0] != n) return false;
  return true;
}

std::optional<int> ParseNoteName(std::string_view text) {
  if (text.empty()) return std::nullopt;
  int value = 0;
  const char* end = text.data() + text.size();
  if (std::isdigit(static_cast<unsigned char>(text.front()))) {
    const auto [p, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || p != end || value > 127) return std::nullopt;
    return value;
  }
  static constexpr int kStep[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(text.front())));
  if (letter < 'a' || letter > 'g') return std::nullopt;
  int note = kStep[letter - 'a'];
  text.remove_prefix(1);
  if (!text.empty() && (text.front() == '#' || text.front() == 'b')) {
    note += text.front() == '#' ? 1 : -1;
    text.remove_prefix(1);
  }
  int octave = 0;
  const auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), octave);
  if (text.empty() || ec != std::errc() || p != text.data() + text.size() || octave < -1 ||
      octave > 9)
    return std::nullopt;
  const int number = (octave + 1) * 12 + note;
  if (number < 0 || number > 127) return std::nullopt;
  return number;
}

NoteMapResult ParseNoteMap(std::string_view text, const std::string& name) {
  NoteMapResult result;
  NoteMap mapped;
  for (auto& targets : mapped.m_targets) targets.nCount = 0;
  std::array<bool, 128> hasLines{};
  int lineNumber = 0;
  const auto fail = [&](const std::string& what) {
    result.strError = name + ":" + std::to_string(lineNumber) + ": " + what;
    return result;
  };
  while (!text.empty()) {
    ++lineNumber;
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text.remove_prefix(eol == std::string_view::npos ? text.size() : eol + 1);
    if (const size_t hash = line.find('#'); hash != std::string_view::npos) {
      // A sharp note name (f#2) is not a comment: only a '#' that starts a word is.
      size_t h = hash;
      while (h != std::string_view::npos && h > 0 &&
             !std::isspace(static_cast<unsigned char>(line[h - 1])))
        h = line.find('#', h + 1);
      if (h != std::string_view::npos) line = line.substr(0, h);
    }
    line = Trim(line);
    if (line.empty()) continue;
    const std::vector<std::string_view> words = Words(line);
    if (words[0] == "hihat-cc") {
      int cc = -1;
      if (words.size() == 2) {
        const auto [p, ec] =
            std::from_chars(words[1].data(), words[1].data() + words[1].size(), cc);
        if (ec != std::errc() || p != words[1].data() + words[1].size()) cc = -1;
      }
      if (cc < 0 || cc > 127) return fail("hihat-cc needs one controller number 0..127");
      mapped.m_nHiHatController = static_cast<uint8_t>(cc);
      continue;
    }
    if (words.size() != 2)
      return fail("a mapping is two notes, the one that arrives and the one it plays: \"" +
                  std::string(line) + "\"");
    const std::optional<int> input = ParseNoteName(words[0]);
    const std::optional<int> note = ParseNoteName(words[1]);
    if (!input || !note)
      return fail("\"" + std::string(input ? words[1] : words[0]) +
                  "\" is not a MIDI note (0..127 or a name such as c1 or f#2)");
    hasLines[*input] = true;
    if (!mapped.Add(static_cast<uint8_t>(*input), static_cast<uint8_t>(*note)))
      return fail("note " + std::to_string(*input) + " already starts " +
                  std::to_string(NoteMap::kMaxTargets) + " notes, the most one note may");
  }
  for (int n = 0; n < 128; ++n)
    if (!hasLines[n]) mapped.m_targets[n] = {1, {static_cast<uint8_t>(n)}};
  result.map = mapped;
  return result;
}

std::string_view BuiltInNoteMapNames() {
  return "vdrums, gm";
}

NoteMapResult LoadNoteMap(const std::string& nameOrPath) {
  if (nameOrPath == "vdrums") {
    // The pads' drums as General MIDI names them, whatever notes the kit has.
    NoteMap map = NoteMap::Identity();
    for (const auto& [input, note] : kVDrums) map.m_targets[input] = {1, {note}};
    map.m_bGeneralMidi = true;
    return {map, {}};
  }
  if (nameOrPath == "gm") {
    NoteMap map = NoteMap::Identity();
    map.m_bGeneralMidi = true;
    return {map, {}};
  }
  std::ifstream file(nameOrPath, std::ios::binary);
  if (!file)
    return {std::nullopt, nameOrPath + ": cannot be opened (a note map is a file or one of: " +
                              std::string(BuiltInNoteMapNames()) + ")"};
  std::string text(kMaxMapFileBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > kMaxMapFileBytes)
    return {std::nullopt, nameOrPath + ": too large for a note map"};
  return ParseNoteMap(text, nameOrPath);
}

NoteMap ComposeNoteMaps(const NoteMap& first, const NoteMap& second) {
  NoteMap composed;
  for (int n = 0; n < 128; ++n) {
    composed.m_targets[n].nCount = 0;
    const NoteMap::Targets& via = first.m_targets[n];
    for (int i = 0; i < via.nCount; ++i) {
      const NoteMap::Targets& to = second.m_targets[via.nNote[i]];
      for (int k = 0; k < to.nCount; ++k)
        composed.Add(static_cast<uint8_t>(n), to.nNote[k]);  // past kMaxTargets: dropped
    }
  }
  composed.m_nHiHatController = first.m_nHiHatController;
  return composed;
}

NoteMap NoteMapForKit(const NoteMap& map, const std::array<int, 128>& gmNoteOfKitNote) noexcept {
  if (!map.m_bGeneralMidi) return map;
  NoteMap resolved = ComposeNoteMaps(map, GeneralMidiMap(gmNoteOfKitNote));
  resolved.m_bGeneralMidi = false;
  return resolved;
}

std::array<int, 128> GeneralMidiIdentity() noexcept {
  std::array<int, 128> notes{};
  for (int n = 0; n < 128; ++n) notes[n] = n;
  return notes;
}

NoteMap GeneralMidiMap(const std::array<int, 128>& gmNoteOfKitNote) {
  NoteMap map;
  for (auto& targets : map.m_targets) targets.nCount = 0;
  for (int n = 0; n < 128; ++n) {
    const int gm = gmNoteOfKitNote[n];
    if (gm >= 0 && gm < 128) map.Add(static_cast<uint8_t>(gm), static_cast<uint8_t>(n));
  }
  return map;
}

}  // namespace thumper
