// Makes the demo kit: synthesised drum samples (44,100 Hz, 16-bit stereo, a
// few velocity layers each), the drum set that plays them, and a one-minute
// groove to render with it. Run at build time:
//   make_demo_kit OUTPUT_FOLDER
// writes OUTPUT_FOLDER/demo.drums, demo.mid and the WAV files. The drum set
// names its samples by bare file name, so the folder can be moved as a whole.

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/cli/WavFileWriter.h"
#include "demokit/Groove.h"
#include "demokit/Instruments.h"
#include "demokit/Synth.h"
#include "drumset/DrumSet.h"
#include "drumset/DrumsFile.h"
#include "midi/MidiFile.h"

namespace thumper::demokit {
namespace {

struct Instrument {
  std::string name;  // file names are NAME-1.wav (loudest) .. NAME-n.wav
  int note;
  int layers;
  double pan;    // -1 left .. +1 right, from the drummer's seat
  double width;  // > 0: two takes with different noise spread across the field
  double peak;   // of the loudest layer, 0..1 of full scale
  int volume;    // the slot's volume scaling, hundredths of a decibel
  std::function<Mono(double h, uint64_t seed)> synth;
};

const std::vector<Instrument>& Kit() {
  static const std::vector<Instrument> kit = {
      {"kick", gm::kKick, 4, 0.0, 0, 0.48, -1400, Kick},
      {"sidestick", gm::kSideStick, 3, -0.08, 0, 0.34, -1400, SideStick},
      {"snare", gm::kSnare, 4, -0.06, 0, 0.46, -1400, Snare},
      {"clap", gm::kClap, 3, 0.04, 0.25, 0.38, -1400, Clap},
      {"hihat-closed", gm::kClosedHat, 4, -0.35, 0.1, 0.30, -1800,
       [](double h, uint64_t seed) { return HiHat(h, false, seed); }},
      {"tom-low", gm::kLowTom, 3, 0.38, 0, 0.44, -1400,
       [](double h, uint64_t seed) { return Tom(88, h, seed); }},
      {"hihat-open", gm::kOpenHat, 3, -0.35, 0.15, 0.28, -1600,
       [](double h, uint64_t seed) { return HiHat(h, true, seed); }},
      {"tom-mid", gm::kMidTom, 3, 0.1, 0, 0.43, -1400,
       [](double h, uint64_t seed) { return Tom(124, h, seed); }},
      {"crash", gm::kCrash, 3, -0.42, 0.35, 0.30, -1600, Crash},
      {"tom-high", gm::kHighTom, 3, -0.2, 0, 0.42, -1400,
       [](double h, uint64_t seed) { return Tom(168, h, seed); }},
      {"ride", gm::kRide, 3, 0.45, 0.3, 0.25, -1600, Ride},
  };
  return kit;
}

// Room for hits that pile up (a fill into a crash and a kick) without clipping the mix.
constexpr double kHeadroom = 0.9;

// Hardness and level of each layer, layer 0 the hardest and loudest.
struct LayerShape {
  double hardness;
  double levelDb;
};
std::vector<LayerShape> Shapes(int layers) {
  if (layers == 4) return {{1.0, 0}, {0.68, -3}, {0.42, -7}, {0.18, -12}};
  return {{1.0, 0}, {0.6, -4}, {0.25, -10}};
}

// The checks a listener would make: no clipping, no DC, silence at the end.
bool Sane(const std::string& file, const std::vector<int16_t>& pcm) {
  int peak = 0;
  double sum = 0;
  for (int16_t s : pcm) {
    peak = std::max(peak, std::abs(int(s)));
    sum += s;
  }
  const double mean = sum / double(pcm.size()) / 32768.0;
  const bool endsSilent = pcm[pcm.size() - 1] == 0 && pcm[pcm.size() - 2] == 0;
  if (peak >= 32000 || std::abs(mean) > 0.002 || !endsSilent) {
    std::fprintf(stderr, "make_demo_kit: %s fails its checks (peak %d, mean %.5f, end %d)\n",
                 file.c_str(), peak, mean, endsSilent);
    return false;
  }
  return true;
}

bool WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_demo_kit: cannot write %s\n", path.string().c_str());
    return false;
  }
  return true;
}

int Run(const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (ec) {
    std::fprintf(stderr, "make_demo_kit: cannot create %s: %s\n", folder.string().c_str(),
                 ec.message().c_str());
    return 1;
  }

  DrumSet set;
  set.m_pGroupNames->push_back("Demo Kit");
  StringList& entries = *set.m_pGroupList[0];
  set.m_nMidiInDevice = 0;

  uint64_t seed = 1;
  for (const Instrument& inst : Kit()) {
    const int slot = inst.note - 36;
    const std::vector<LayerShape> shapes = Shapes(inst.layers);
    for (int layer = 0; layer < inst.layers; ++layer) {
      const LayerShape& shape = shapes[size_t(layer)];
      Stereo sound = inst.width > 0
                         ? Spread(inst.synth(shape.hardness, seed),
                                  inst.synth(shape.hardness, seed + 1000), inst.pan, inst.width)
                         : Pan(inst.synth(shape.hardness, seed), inst.pan);
      ++seed;
      Finish(sound, inst.peak * kHeadroom * std::pow(10.0, shape.levelDb / 20.0));
      const std::vector<int16_t> pcm = ToPcm16(sound);
      const std::string file = inst.name + "-" + std::to_string(layer + 1) + ".wav";
      if (!Sane(file, pcm)) return 1;
      WavFileWriter writer;
      WavWriteStatus status = writer.Open((folder / file).string(), WavSampleFormat::Pcm16);
      if (status.ok) status = writer.Write(std::span<const int16_t>(pcm));
      if (status.ok) status = writer.Close();
      if (!status.ok) {
        std::fprintf(stderr, "make_demo_kit: %s\n", status.message.c_str());
        return 1;
      }
      set.m_layerSample[size_t(LayerIndex(slot, layer))] = {0, int32_t(entries.size())};
      entries.push_back(file);
    }
    // Each velocity layer without a sample of its own sounds the nearest louder one.
    for (int layer = 0; layer < kLayerCount; ++layer) {
      set.m_nLayerSource[size_t(LayerIndex(slot, layer))] = std::min(layer, inst.layers - 1);
    }
    NoteSlot& settings = set.m_noteSlot[size_t(slot)];
    settings.nScheme =
        1;  // layers at 101, 66, 41 and 21: a drummer's accent, normal, soft and ghost
    settings.nVolume = inst.volume;
  }
  // A closed hi-hat stops the open one, as the foot closing the hats does.
  set.m_noteSlot[gm::kClosedHat - 36].nCutNote = gm::kOpenHat - 36;

  if (!WriteBytes(folder / "demo.drums", SerializeDrumSet(set))) return 1;

  const std::vector<uint8_t> midi = DemoGrooveMidi();
  const MidiFileResult check = ParseMidiFile(midi);
  if (!check.ok()) {
    std::fprintf(stderr, "make_demo_kit: the groove does not read back: %s\n",
                 check.message.c_str());
    return 1;
  }
  if (!WriteBytes(folder / "demo.mid", midi)) return 1;
  return 0;
}

}  // namespace
}  // namespace thumper::demokit

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo_kit OUTPUT_FOLDER\n");
    return 1;
  }
  return thumper::demokit::Run(argv[1]);
}
