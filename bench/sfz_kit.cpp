// Reading and compiling a large SFZ kit, before any sample is decoded: a
// generated multi-mic layout of 4,000 regions (10 drums, 5 velocity layers of
// 5 round robins, 16 mics each, every hit starting 16 regions), with group
// and off_by chokes on the hi-hat and a CC 4 split, and its sample files on
// disk (placeholders: the reader only finds them).

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "kits/SfzProgram.h"
#include "kits/SfzReader.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;

class GeneratedKit {
 public:
  GeneratedKit() {
    m_dir = fs::temp_directory_path() / ("thumper-bench-sfz-" + std::to_string(::getpid()));
    fs::create_directories(m_dir / "samples");
    std::string text = "<control> default_path=samples/ set_cc4=127\n<global> loop_mode=one_shot\n";
    for (int drum = 0; drum < 10; ++drum) {
      const int key = 36 + drum;
      text += "<master> key=" + std::to_string(key) +
              (drum == 6 ? " group=1 off_by=1 locc4=64\n" : "\n");
      for (int layer = 0; layer < 5; ++layer) {
        text += "<group> lovel=" + std::to_string(1 + 26 * layer) +
                " hivel=" + std::to_string(layer == 4 ? 127 : 26 * (layer + 1)) + " seq_length=5\n";
        for (int turn = 0; turn < 5; ++turn)
          for (int mic = 0; mic < 16; ++mic) {
            const std::string name = "d" + std::to_string(drum) + "_v" + std::to_string(layer) +
                                     "_rr" + std::to_string(turn) + "_m" + std::to_string(mic) +
                                     ".flac";
            std::ofstream(m_dir / "samples" / name) << "fLaC";
            text += "<region> seq_position=" + std::to_string(turn + 1) + " sample=" + name +
                    " pan=" + std::to_string(mic * 12 - 90) + " amplitude_oncc" +
                    std::to_string(20 + mic) + "=100\n";
          }
      }
    }
    std::ofstream(m_dir / "kit.sfz") << text;
  }
  ~GeneratedKit() {
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }
  std::string Path() const { return (m_dir / "kit.sfz").string(); }

 private:
  fs::path m_dir;
};

void BM_ReadAndCompileSfzKit4000(benchmark::State& state) {
  GeneratedKit kit;
  size_t regions = 0;
  for (auto _ : state) {
    SfzReadResult read = ReadSfzKit(kit.Path());
    if (!read.kit) {
      state.SkipWithError(read.strError.c_str());
      return;
    }
    KitProgramResult compiled = CompileSfzKit(*read.kit);
    if (!compiled.program) {
      state.SkipWithError(compiled.strError.c_str());
      return;
    }
    regions = read.kit->regions.size();
    benchmark::DoNotOptimize(compiled.program->samples.size());
  }
  state.counters["regions"] = static_cast<double>(regions);
}
BENCHMARK(BM_ReadAndCompileSfzKit4000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace thumper
