#include "app/cli/StemRender.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

namespace thumper::cli {

namespace {

// A name as a file name: no folders, no blanks or controls.
std::string FilePart(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (c == '/' || c == '\\' || c < 0x20 || c == 0x7F || c == ' ' || c == ':')
      out += '_';
    else
      out += static_cast<char>(c);
  }
  if (out.size() > 64) out.resize(64);
  return out.empty() ? "out" : out;
}

}  // namespace

std::vector<Stem> StemsOf(const PlayProgram& program, const NoteNames& names) {
  std::array<int, 256> firstNote;
  firstNote.fill(-1);
  std::array<bool, 256> used{};
  for (int n = 0; n < PlayProgram::kNoteCount; ++n) {
    const PlayNote& note = program.m_note[n];
    for (uint32_t s = note.nFirstSet; s < note.nFirstSet + note.nSetCount; ++s) {
      const PlaySet& set = program.m_set[s];
      for (uint32_t r = set.nFirstRegion; r < set.nFirstRegion + set.nRegionCount; ++r) {
        const PlayRegion& region = program.m_region[r];
        if (!region.pVoice) continue;
        // Pairs the mixer cannot keep apart play on the main one.
        const uint8_t out = region.nOutput < Mixer::kMaxOutputs ? region.nOutput : 0;
        used[out] = true;
        if (firstNote[out] < 0) firstNote[out] = n;
      }
    }
  }
  std::vector<Stem> stems;
  for (int k = 0; k < 256; ++k) {
    if (!used[k]) continue;
    std::string name = k == 0 ? "main" : FilePart(names[size_t(firstNote[k])]);
    if (k != 0 && names[size_t(firstNote[k])].empty()) name = "note" + std::to_string(firstNote[k]);
    char number[8];
    std::snprintf(number, sizeof number, "%02d", k);
    stems.push_back({static_cast<uint8_t>(k), std::string(number) + "-" + name + ".wav"});
  }
  return stems;
}

bool RenderStems(OfflineRender& render, const std::vector<Stem>& stems, const std::string& folder,
                 WavSampleFormat format, const std::function<void(int64_t)>& progress) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::cerr << "thumper: " << folder << ": " << ec.message() << "\n";
    return false;
  }
  const bool asFloat = format == WavSampleFormat::Float32;
  const uint32_t pairs = stems.empty() ? 1u : stems.back().nOutput + 1u;
  const size_t samples = 2 * size_t{OfflineRender::kBlockFrames};
  std::vector<float> floats(asFloat ? pairs * samples : 0);
  std::vector<int16_t> shorts(asFloat ? 0 : pairs * samples);
  std::vector<MixTarget> targets(pairs);
  for (uint32_t k = 0; k < pairs; ++k)
    targets[k] = asFloat ? MixTarget::Interleaved(floats.data() + k * samples)
                         : MixTarget::Interleaved(shorts.data() + k * samples);
  const MixTarget out = targets[0].WithMore(targets.data() + 1, pairs - 1);

  std::vector<std::unique_ptr<WavFileWriter>> writers;
  const auto fail = [&](const std::string& message) {
    std::cerr << "thumper: " << message << "\n";
    for (auto& w : writers) w->Discard();
    return false;
  };
  for (const Stem& stem : stems) {
    writers.push_back(std::make_unique<WavFileWriter>());
    const std::string path = (std::filesystem::path(folder) / stem.strFile).string();
    if (auto s = writers.back()->Open(path, format); !s.ok) return fail(s.message);
  }
  for (;;) {
    const uint32_t n = render.Next(out);
    if (n == 0) break;
    for (size_t i = 0; i < stems.size(); ++i) {
      const size_t at = stems[i].nOutput * samples;
      const WavWriteStatus s =
          asFloat ? writers[i]->Write(std::span<const float>(floats.data() + at, 2 * size_t{n}))
                  : writers[i]->Write(std::span<const int16_t>(shorts.data() + at, 2 * size_t{n}));
      if (!s.ok) return fail(s.message);
    }
    if (progress) progress(render.Frame());
  }
  for (auto& w : writers)
    if (auto s = w->Close(); !s.ok) return fail(s.message);
  return true;
}

}  // namespace thumper::cli
