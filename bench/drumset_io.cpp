// Speed of the ".drums" file: serialising and parsing a large drum set in memory,
// and a whole document save and open through the file system.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "drumset/CThumperDoc.h"
#include "drumset/DrumsFile.h"

namespace {

using namespace thumper;

// 16 groups of 1,000 paths of about 200 bytes, and every layer in use.
void FillLargeSet(DrumSet& set) {
  set.m_pGroupNames->clear();
  for (int g = 0; g < kUserGroupLimit; ++g) {
    set.m_pGroupNames->push_back("Group " + std::to_string(g));
    auto list = std::make_unique<StringList>();
    for (int i = 0; i < 1000; ++i) {
      std::string path = "/home/drummer/samples/multisampled-kits/studio-session/";
      path += std::string(120, static_cast<char>('a' + g));
      path += "/take-" + std::to_string(i) + ".wav";
      list->push_back(std::move(path));
    }
    set.m_pGroupList[g] = std::move(list);
  }
  for (int k = 0; k < kLayerTotal; ++k) {
    set.m_layerSample[k] = {k % kUserGroupLimit, k};
    set.m_nLayerSource[k] = k % kLayerCount;
  }
}

class NullUi : public UiServices {
 public:
  MsgResult MessageBox(const std::string& text, const std::string&, MsgButtons, MsgIcon) override {
    std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
    std::abort();
  }
  FileDialogResult FileDialog(const FileDialogParams&) override { return {}; }
  std::optional<std::string> CreateGroupDialog(const std::string&) override { return {}; }
};

void BM_SerializeDrumSet(benchmark::State& state) {
  DrumSet set;
  FillLargeSet(set);
  size_t bytes = 0;
  for (auto _ : state) {
    auto out = SerializeDrumSet(set);
    bytes = out.size();
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["file_bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_SerializeDrumSet)->Unit(benchmark::kMillisecond);

void BM_ParseDrumSet(benchmark::State& state) {
  DrumSet set;
  FillLargeSet(set);
  const auto bytes = SerializeDrumSet(set);
  for (auto _ : state) {
    auto parsed = ParseDrumSet(bytes);
    if (!parsed) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_ParseDrumSet)->Unit(benchmark::kMillisecond);

void BM_DocumentSaveAndOpen(benchmark::State& state) {
  const auto dir = std::filesystem::temp_directory_path() /
                   ("thumper-bench-" + std::to_string(static_cast<long>(::getpid())));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "large.drums").string();
  CThumperDoc doc;
  FillLargeSet(doc);
  CThumperDoc opened;
  NullUi ui;
  for (auto _ : state) {
    if (!doc.OnSaveDocument(path, ui) || !opened.OnOpenDocument(path, ui))
      state.SkipWithError("save or open failed");
  }
  state.SetBytesProcessed(
      static_cast<int64_t>(state.iterations() * std::filesystem::file_size(path)));
  std::filesystem::remove_all(dir);
}
BENCHMARK(BM_DocumentSaveAndOpen)->Unit(benchmark::kMillisecond);

}  // namespace
