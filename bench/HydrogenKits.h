#pragma once
// The installed Hydrogen kits (Debian's hydrogen-drumkits) as benchmark
// material: the same files as a Thumper drum set and as a DrumGizmo kit, and a
// timed run of a program. Missing kits or programs make the benchmarks skip.

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "SilentUi.h"
#include "drumset/CThumperDoc.h"
#include "midi/SmfBytes.h"

extern char** environ;

namespace bench {

inline const std::string kHydrogenKits = "/usr/share/hydrogen/data/drumkits/";

struct KitInstrument {
  int nId = 0;
  std::vector<std::pair<std::string, double>> layers;  // file and top of its velocity range
};

// Instruments and layers of a Hydrogen drumkit.xml, read plainly; empty when
// the kit is not installed.
inline std::vector<KitInstrument> ReadHydrogenKit(const std::string& name) {
  const std::string dir = kHydrogenKits + name + "/";
  std::ifstream in(dir + "drumkit.xml");
  if (!in) return {};
  std::stringstream text;
  text << in.rdbuf();
  const std::string xml = text.str();
  std::vector<KitInstrument> kit;
  const std::regex instrument("<instrument>([\\s\\S]*?)</instrument>");
  const std::regex id("<id>(\\d+)</id>");
  const std::regex layer(
      "<layer>[\\s\\S]*?<filename>([^<]+)</filename>[\\s\\S]*?<max>([^<]+)</max>");
  for (std::sregex_iterator i(xml.begin(), xml.end(), instrument), end; i != end; ++i) {
    const std::string body = (*i)[1];
    std::smatch m;
    if (!std::regex_search(body, m, id)) continue;
    KitInstrument inst;
    inst.nId = std::stoi(m[1]);
    for (std::sregex_iterator l(body.begin(), body.end(), layer); l != end; ++l)
      inst.layers.push_back({dir + std::string((*l)[1]), std::stod((*l)[2])});
    if (!inst.layers.empty() && inst.nId < 128) kit.push_back(std::move(inst));
  }
  return kit;
}

inline std::string TempPath(const std::string& name) {
  return (std::filesystem::temp_directory_path() / name).string();
}

// Instrument n on slot n (note 36 + n); its loudest layers first, at most five.
inline std::string WriteThumperKit(const std::vector<KitInstrument>& kit, const std::string& path) {
  thumper::CThumperDoc doc;
  doc.OnNewDocument();
  doc.m_pGroupNames->push_back("Kit");
  for (const KitInstrument& inst : kit) {
    auto layers = inst.layers;
    std::sort(layers.begin(), layers.end(),
              [](const auto& a, const auto& b) { return a.second > b.second; });
    layers.resize(std::min<size_t>(layers.size(), thumper::kLayerCount));
    for (int l = 0; l < thumper::kLayerCount; ++l) {
      const int own = std::min<int>(l, int(layers.size()) - 1);
      doc.m_nLayerSource[thumper::LayerIndex(inst.nId, l)] = own;
      if (own != l) continue;
      doc.m_layerSample[thumper::LayerIndex(inst.nId, l)] = {0, int(doc.m_pGroupList[0]->size())};
      doc.m_pGroupList[0]->push_back(layers[l].first);
    }
  }
  thumper::SilentUi ui;
  return doc.OnSaveDocument(path, ui) ? path : std::string();
}

// A DrumGizmo kit of the same files, one channel each (as the anchor was
// measured), with a MIDI map of note 36 + n to instrument n. Returns the kit
// file; the map is written beside it as midimap.xml.
inline std::string WriteDrumGizmoKit(const std::vector<KitInstrument>& kit, const std::string& dir,
                                     int rate) {
  std::filesystem::create_directories(dir);
  std::ofstream drumkit(dir + "/drumkit.xml"), midimap(dir + "/midimap.xml");
  drumkit << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<drumkit version=\"2.0\" name=\"bench\" "
             "samplerate=\""
          << rate << "\">\n<channels><channel name=\"L\"/></channels>\n<instruments>\n";
  midimap << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<midimap>\n";
  for (const KitInstrument& inst : kit) {
    const std::string name = "i" + std::to_string(inst.nId);
    drumkit << "<instrument name=\"" << name << "\" file=\"" << name
            << ".xml\"><channelmap in=\"L\" out=\"L\"/></instrument>\n";
    midimap << "<map note=\"" << 36 + inst.nId << "\" instr=\"" << name << "\"/>\n";
    std::ofstream out(dir + "/" + name + ".xml");
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<instrument version=\"2.0\" name=\"" << name
        << "\">\n<samples>\n";
    int n = 0;
    for (const auto& [file, power] : inst.layers)
      out << "<sample name=\"s" << n++ << "\" power=\""
          << std::max(power, 0.001)
          // DrumGizmo takes the path relative to the instrument file.
          << "\"><audiofile channel=\"L\" file=\"" << std::filesystem::relative(file, dir).string()
          << "\" filechannel=\"1\"/></sample>\n";
    out << "</samples>\n</instrument>\n";
  }
  drumkit << "</instruments>\n</drumkit>\n";
  midimap << "</midimap>\n";
  return dir + "/drumkit.xml";
}

// One note (36, velocity 100) at the start.
inline std::string WriteOneNoteSong(const std::string& path) {
  std::vector<uint8_t> track = {0x00, 0x90, 36, 100, 0x83, 0x60, 0x80, 36, 0, 0x00, 0xFF, 0x2F, 0};
  std::vector<uint8_t> file = {'M', 'T',  'h',  'd', 0,   0,   0,   6, 0, 0, 0,
                               1,   0x01, 0xE0, 'M', 'T', 'r', 'k', 0, 0, 0, uint8_t(track.size())};
  file.insert(file.end(), track.begin(), track.end());
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(file.data()), std::streamsize(file.size()));
  return path;
}

struct TimedRun {
  int nStatus = -1;
  double wall = 0, cpu = 0;  // seconds; cpu is user + system of the child
  void Add(const TimedRun& run) {
    wall += run.wall;
    cpu += run.cpu;
  }
};

// Removes the files a render to prefix made: prefix.wav, and DrumGizmo's
// prefix<channel>-<n>.wav.
inline void RemoveOutputs(const std::string& prefix) {
  const std::filesystem::path p(prefix);
  for (const auto& e : std::filesystem::directory_iterator(p.parent_path())) {
    const std::string name = e.path().filename().string();
    if (name.rfind(p.filename().string(), 0) == 0 && e.path().extension() == ".wav")
      std::filesystem::remove(e.path());
  }
}

// Runs a program with its output to /dev/null and times it.
inline TimedRun RunTimed(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  TimedRun run;
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) != 0) return run;
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  run.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
  run.cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
            1e-6 * double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  run.nStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  posix_spawn_file_actions_destroy(&actions);
  return run;
}

inline bool HaveProgram(const std::string& name) {
  return RunTimed({"sh", "-c", "command -v " + name}).nStatus == 0;
}

}  // namespace bench
