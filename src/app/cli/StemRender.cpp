#include "app/cli/StemRender.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <system_error>

namespace thumper::cli {

namespace {

// A name as a file name: no folders, blanks or controls; letters of any script kept.
std::string FileSafeName(const std::string& name) {
  std::string out;
  for (unsigned char c : name) {
    if (out.size() >= 64) break;
    const bool bad = c == '/' || c == '\\' || c < 0x20 || c == 0x7F || c == ' ' || c == ':';
    out += bad ? '_' : static_cast<char>(c);
  }
  return out.empty() ? "out" : out;
}

}  // namespace

std::vector<Stem> StemsOf(const PlayProgram& program, const NoteNames& names) {
  std::vector<Stem> stems;
  for (const OutputPair& pair : OutputPairsOf(program, names)) {
    char number[8];
    std::snprintf(number, sizeof number, "%02d", pair.nOutput);
    stems.push_back(
        {pair.nOutput, std::string(number) + "-" + FileSafeName(pair.strName) + ".wav"});
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
