// Sample loading speed in MB/s of file for 16-bit and 24-bit stereo WAV files.

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "audio/WaveReader.h"

namespace thumper {
namespace {

class NoUi : public UiServices {
 public:
  MsgResult MessageBox(const std::string&, const std::string&, MsgButtons, MsgIcon) override {
    return MsgResult::Ok;
  }
  FileDialogResult FileDialog(const FileDialogParams&) override { return {}; }
  std::optional<std::string> CreateGroupDialog(const std::string&) override { return {}; }
};

std::string MakeFile(int subtype, int rate) {
  const std::string path =
      (std::filesystem::temp_directory_path() /
       ("thumper-bench-" + std::to_string(subtype) + "-" + std::to_string(rate) + ".wav"))
          .string();
  SF_INFO info{};
  info.channels = 2;
  info.samplerate = rate;
  info.format = SF_FORMAT_WAV | subtype;
  SNDFILE* f = sf_open(path.c_str(), SFM_WRITE, &info);
  std::vector<float> block(2 * 4410);
  for (int b = 0; b < 100; ++b) {  // 10 s
    for (size_t i = 0; i < block.size(); ++i)
      block[i] = 0.5f * std::sin(0.01f * static_cast<float>(b * block.size() + i));
    sf_writef_float(f, block.data(), 4410);
  }
  sf_close(f);
  return path;
}

void Load(benchmark::State& state, int subtype, int rate) {
  const std::string path = MakeFile(subtype, rate);
  NoUi ui;
  WaveReader reader(ui);
  const auto size = std::filesystem::file_size(path);
  for (auto _ : state) {
    if (reader.Read(path) != 0) state.SkipWithError("read failed");
    benchmark::DoNotOptimize(reader.m_pData.get());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * size));
  std::remove(path.c_str());
}

void BM_Load16Bit(benchmark::State& state) {
  Load(state, SF_FORMAT_PCM_16, 44100);
}
void BM_Load24Bit(benchmark::State& state) {
  Load(state, SF_FORMAT_PCM_24, 44100);
}
void BM_Load16Bit48k(benchmark::State& state) {
  Load(state, SF_FORMAT_PCM_16, 48000);
}
BENCHMARK(BM_Load16Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load24Bit)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Load16Bit48k)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace thumper
