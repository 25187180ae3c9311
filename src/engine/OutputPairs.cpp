#include "engine/OutputPairs.h"

#include <array>
#include <cctype>

#include "audio/Mixer.h"

namespace thumper {

std::vector<OutputPair> OutputPairsOf(const PlayProgram& program, const NoteNames& names) {
  std::array<int, Mixer::kMaxOutputs> firstNote;
  firstNote.fill(-1);
  std::array<bool, Mixer::kMaxOutputs> used{};
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const PlayNote& note = program.m_note[n];
    for (uint32_t s = note.nFirstSet; s < note.nFirstSet + note.nSetCount; ++s) {
      const PlaySet& set = program.m_set[s];
      for (uint32_t r = set.nFirstRegion; r < set.nFirstRegion + set.nRegionCount; ++r) {
        const PlayRegion& region = program.m_region[r];
        if (!region.pVoice) continue;
        const uint8_t out = region.nOutput < Mixer::kMaxOutputs ? region.nOutput : 0;
        used[out] = true;
        // The first note with a name (a drum set's notes below 36 have none).
        if (firstNote[out] < 0 ||
            (names[size_t(firstNote[out])].empty() && !names[size_t(n)].empty()))
          firstNote[out] = n;
      }
    }
  }
  std::vector<OutputPair> pairs;
  for (uint32_t k = 0; k < Mixer::kMaxOutputs; ++k) {
    if (!used[k]) continue;
    OutputPair pair{static_cast<uint8_t>(k), k == 0 ? -1 : firstNote[k], "main"};
    if (k != 0) {
      const std::string& name = names[static_cast<size_t>(firstNote[k])];
      pair.strName = name.empty() ? "note " + std::to_string(firstNote[k]) : name;
    }
    pairs.push_back(std::move(pair));
  }
  return pairs;
}

std::string PortSafeName(const std::string& name, bool lower, size_t max) {
  std::string out;
  for (unsigned char c : name) {
    if (out.size() >= max) break;
    if (std::isalnum(c) && c < 0x80) {
      out += static_cast<char>(lower ? std::tolower(c) : c);
    } else if (c == '-' || c == '.') {
      out += static_cast<char>(c);
    } else if (out.empty() || out.back() != '_') {
      out += '_';
    }
  }
  while (!out.empty() && out.back() == '_') out.pop_back();
  return out.empty() ? "out" : out;
}

}  // namespace thumper
