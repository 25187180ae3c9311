// Speed of the MIDI file reader on long, dense songs, and of the WAV writer
// streaming a render's worth of audio to disk.

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "app/cli/WavFileWriter.h"
#include "midi/MidiFile.h"
#include "midi/SmfBytes.h"

namespace {

using namespace thumper;

// minutes of sixteenth notes at 140 BPM, on tracks tracks, with a tempo change
// every bar in the first track.
std::vector<uint8_t> DenseSong(int minutes, int tracks) {
  std::vector<uint8_t> file = {'M', 'T', 'h', 'd', 0, 0, 0, 6, 0, 1};
  file.push_back(uint8_t(tracks >> 8));
  file.push_back(uint8_t(tracks));
  file.push_back(0x01);
  file.push_back(0xE0);  // 480 ticks per quarter
  const int sixteenths = minutes * 140 * 4;
  for (int t = 0; t < tracks; ++t) {
    std::vector<uint8_t> body;
    for (int i = 0; i < sixteenths; ++i) {
      AppendVarLen(body, i == 0 ? 0 : 120);
      if (t == 0 && i % 16 == 0) {
        const uint32_t tempo = 428571 + (i / 16) % 7;
        body.insert(body.end(), {0xFF, 0x51, 0x03, uint8_t(tempo >> 16), uint8_t(tempo >> 8),
                                 uint8_t(tempo), 0x00});
      }
      body.insert(body.end(), {0x99, uint8_t(36 + (i + t) % 16), uint8_t(30 + i % 97)});
    }
    body.insert(body.end(), {0x00, 0xFF, 0x2F, 0x00});
    file.insert(file.end(), {'M', 'T', 'r', 'k'});
    AppendBe32(file, uint32_t(body.size()));
    file.insert(file.end(), body.begin(), body.end());
  }
  return file;
}

void BM_ParseTenMinuteSong(benchmark::State& state) {
  const std::vector<uint8_t> bytes = DenseSong(10, int(state.range(0)));
  size_t events = 0;
  for (auto _ : state) {
    MidiFileResult result = ParseMidiFile(bytes);
    events = result.song.events.size();
    benchmark::DoNotOptimize(result);
  }
  state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(events));
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
  state.counters["events"] = double(events);
}
BENCHMARK(BM_ParseTenMinuteSong)->Arg(1)->Arg(16)->Unit(benchmark::kMillisecond);

// One minute of stereo audio, written in blocks of 512 frames as a render does.
void BM_WriteOneMinuteWav(benchmark::State& state) {
  const auto format = state.range(0) ? WavSampleFormat::Float32 : WavSampleFormat::Pcm16;
  const std::string path =
      (std::filesystem::temp_directory_path() / ("bench-" + std::to_string(getpid()) + ".wav"))
          .string();
  std::vector<float> block(512 * 2);
  for (size_t i = 0; i < block.size(); ++i) block[i] = float(i % 200) / 400.0f - 0.25f;
  const int blocks = 44100 * 60 / 512;
  for (auto _ : state) {
    WavFileWriter writer;
    if (!writer.Open(path, format).ok) state.SkipWithError("cannot create the file");
    for (int b = 0; b < blocks; ++b) {
      if (!writer.Write(std::span<const float>(block)).ok) state.SkipWithError("write failed");
    }
    if (!writer.Close().ok) state.SkipWithError("close failed");
  }
  std::filesystem::remove(path);
  state.SetBytesProcessed(int64_t(state.iterations()) * blocks * 512 * 2 *
                          (state.range(0) ? 4 : 2));
}
BENCHMARK(BM_WriteOneMinuteWav)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

}  // namespace
