#pragma once
// A generated multi-mic acoustic kit, the size of the large libraries drummers
// own: 25 drums of 10 velocity layers, each hit recorded by 16 mics, so 4,000
// mono 24-bit 48 kHz FLAC files of about 350 MB, and every note starts 16
// regions (one per mic, each on its own output and pan). The same files are
// written as an SFZ kit and as a DrumGizmo kit, with a short song that hits
// every drum once. Made once into a folder that is kept between runs (made
// again when it is missing or was made by another layout), on every core.

#include <sndfile.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "midi/SmfBytes.h"

namespace bench {

class MultiMicKit {
 public:
  static constexpr int kNotes = 25, kLayers = 10, kMics = 16;
  static constexpr int kFiles = kNotes * kLayers * kMics;
  static constexpr int kFirstNote = 36;
  static constexpr int kRate = 48000;
  // 0.875 s a hit: with the noise and the room, about 88 kB of FLAC a file.
  static constexpr int kFrames = 42000;
  // Frames the song lasts at 44.1 kHz: one hit of each drum every 100 ms, and the ring after.
  static constexpr int kSongFrames = (kNotes * 100 + 1500) * 441 / 10;

  // Makes the kit in dir unless a complete one of this layout is there.
  explicit MultiMicKit(const std::string& dir) : m_strDir(dir) {
    if (!IsComplete()) Generate();
    for (const auto& e : std::filesystem::directory_iterator(m_strDir + "/samples"))
      m_nBytes += e.file_size();
  }

  const std::string& Dir() const { return m_strDir; }
  std::string SfzPath() const { return m_strDir + "/kit.sfz"; }
  std::string DrumGizmoKit() const { return m_strDir + "/drumgizmo/drumkit.xml"; }
  std::string DrumGizmoMidimap() const { return m_strDir + "/drumgizmo/midimap.xml"; }
  std::string SongPath() const { return m_strDir + "/every-drum.mid"; }
  uint64_t SourceBytes() const { return m_nBytes; }
  bool Generated() const { return m_bGenerated; }
  double GenerateSeconds() const { return m_fGenerateSeconds; }

  static std::string SampleName(int note, int layer, int mic) {
    char name[40];
    std::snprintf(name, sizeof name, "n%02dv%dm%02d.flac", note, layer, mic);
    return name;
  }
  // Layer 0 is the softest; the layers split velocity 1 to 127 evenly.
  static int LowVelocity(int layer) { return 1 + layer * 127 / kLayers; }
  static int HighVelocity(int layer) {
    return layer == kLayers - 1 ? 127 : LowVelocity(layer + 1) - 1;
  }

 private:
  // The stamp names the layout, so a change of it makes the kit again.
  static std::string Stamp() {
    return "multi-mic kit 2: " + std::to_string(kFiles) + " files of " + std::to_string(kFrames) +
           " frames\n";
  }
  bool IsComplete() const {
    std::ifstream in(m_strDir + "/complete");
    std::stringstream text;
    text << in.rdbuf();
    return in && text.str() == Stamp() && std::filesystem::exists(SfzPath()) &&
           std::filesystem::exists(DrumGizmoKit()) && std::filesystem::exists(SongPath());
  }

  void Generate() {
    const auto started = std::chrono::steady_clock::now();
    std::error_code ec;
    std::filesystem::remove_all(m_strDir, ec);
    std::filesystem::create_directories(m_strDir + "/samples");
    std::filesystem::create_directories(m_strDir + "/drumgizmo");
    std::atomic<int> next{0};
    std::atomic<bool> failed{false};
    auto work = [&] {
      std::vector<float> frames(kFrames);
      for (int i; (i = next.fetch_add(1)) < kFiles;)
        if (!WriteSample(i, frames)) failed = true;
    };
    std::vector<std::thread> workers;
    for (unsigned t = 0; t < std::max(1u, std::thread::hardware_concurrency()); ++t)
      workers.emplace_back(work);
    for (auto& w : workers) w.join();
    if (failed) return;  // no stamp: the benchmark skips and the next run tries again
    WriteSfz();
    WriteDrumGizmo();
    WriteSong();
    std::ofstream(m_strDir + "/complete") << Stamp();
    m_bGenerated = true;
    m_fGenerateSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  }

  // A hit as a mic hears it: the drum's decaying tone and its noise, louder
  // and longer for harder hits, over the room's own faint noise, so the files
  // compress as recorded ones do.
  bool WriteSample(int index, std::vector<float>& frames) const {
    const int mic = index % kMics, layer = index / kMics % kLayers, note = index / kMics / kLayers;
    uint32_t noise = 0x9E3779B9u * uint32_t(index + 1);
    const double level = 0.08 + 0.085 * layer;
    const double tone = 45.0 * std::pow(1.09, note) * (1.0 + 0.004 * mic);
    const double decay = 3.0 + 0.25 * note - 0.15 * layer;
    const double distance = 1.0 / (1.0 + 0.25 * mic);  // the close mics first
    for (int i = 0; i < kFrames; ++i) {
      noise = noise * 1664525u + 1013904223u;
      const double white = double(noise >> 8) / 16777216.0 - 0.5;
      const double t = double(i) / kRate;
      const double env = std::exp(-decay * t);
      frames[size_t(i)] =
          float(distance * level * env * (0.7 * std::sin(2 * M_PI * tone * t) + 0.5 * white) +
                0.0004 * white);
    }
    SF_INFO info{};
    info.channels = 1;
    info.samplerate = kRate;
    info.format = SF_FORMAT_FLAC | SF_FORMAT_PCM_24;
    const std::string path = m_strDir + "/samples/" + SampleName(note, layer, mic);
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    const bool ok = sf_writef_float(file, frames.data(), kFrames) == kFrames;
    return sf_close(file) == 0 && ok;
  }

  void WriteSfz() const {
    std::ofstream sfz(m_strDir + "/kit.sfz.part");
    sfz << "// A generated multi-mic kit: " << kNotes << " drums, " << kLayers << " layers, "
        << kMics << " mics.\n<control> default_path=samples/\n<global> loop_mode=one_shot\n";
    for (int note = 0; note < kNotes; ++note) {
      sfz << "<master> key=" << kFirstNote + note << "\n";
      for (int layer = 0; layer < kLayers; ++layer) {
        sfz << "<group> lovel=" << LowVelocity(layer) << " hivel=" << HighVelocity(layer) << "\n";
        for (int mic = 0; mic < kMics; ++mic)
          sfz << "<region> sample=" << SampleName(note, layer, mic) << " output=" << mic
              << " pan=" << (mic * 12 - 90) << "\n";
      }
    }
    sfz.close();
    std::filesystem::rename(m_strDir + "/kit.sfz.part", SfzPath());
  }

  // One channel per mic; each drum's layers by power, each layer's 16 mics.
  void WriteDrumGizmo() const {
    const std::string dir = m_strDir + "/drumgizmo";
    std::ofstream kit(dir + "/drumkit.xml"), map(dir + "/midimap.xml");
    kit << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<drumkit version=\"2.0\" "
           "name=\"multi-mic\" samplerate=\""
        << kRate << "\">\n<channels>\n";
    for (int mic = 0; mic < kMics; ++mic) kit << "<channel name=\"m" << mic << "\"/>\n";
    kit << "</channels>\n<instruments>\n";
    map << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<midimap>\n";
    for (int note = 0; note < kNotes; ++note) {
      const std::string name = "d" + std::to_string(note);
      kit << "<instrument name=\"" << name << "\" file=\"" << name << ".xml\">";
      for (int mic = 0; mic < kMics; ++mic)
        kit << "<channelmap in=\"m" << mic << "\" out=\"m" << mic << "\"/>";
      kit << "</instrument>\n";
      map << "<map note=\"" << kFirstNote + note << "\" instr=\"" << name << "\"/>\n";
      std::ofstream inst(dir + "/" + name + ".xml");
      inst << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<instrument version=\"2.0\" name=\""
           << name << "\">\n<samples>\n";
      for (int layer = 0; layer < kLayers; ++layer) {
        inst << "<sample name=\"v" << layer << "\" power=\"" << double(HighVelocity(layer)) / 127
             << "\">";
        for (int mic = 0; mic < kMics; ++mic)
          inst << "<audiofile channel=\"m" << mic << "\" file=\"../samples/"
               << SampleName(note, layer, mic) << "\" filechannel=\"1\"/>";
        inst << "</sample>\n";
      }
      inst << "</samples>\n</instrument>\n";
    }
    kit << "</instruments>\n</drumkit>\n";
    map << "</midimap>\n";
  }

  // Every drum once, 100 ms apart, at velocities across the layers: a render
  // reads only the samples of the notes its song plays, so this one reads them all.
  void WriteSong() const {
    std::vector<uint8_t> track;
    for (int note = 0; note < kNotes; ++note) {
      thumper::AppendVarLen(track, note == 0 ? 0 : 96);  // 480 ticks a quarter at 120 BPM
      track.insert(track.end(), {0x90, uint8_t(kFirstNote + note), uint8_t(40 + (note * 37) % 88)});
    }
    thumper::AppendVarLen(track, 1440);
    track.insert(track.end(), {0xFF, 0x2F, 0x00});
    std::vector<uint8_t> file = {'M', 'T', 'h', 'd',  0,    0,   0,   6,   0,
                                 0,   0,   1,   0x01, 0xE0, 'M', 'T', 'r', 'k'};
    const auto n = uint32_t(track.size());
    file.insert(file.end(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
    file.insert(file.end(), track.begin(), track.end());
    std::ofstream(SongPath(), std::ios::binary)
        .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  }

  std::string m_strDir;
  uint64_t m_nBytes = 0;
  bool m_bGenerated = false;
  double m_fGenerateSeconds = 0;
};

}  // namespace bench
