#pragma once
// A Hydrogen drum kit as its drumkit.xml describes it: the instruments in list
// order, each with its velocity layers in file order. Both layouts are read:
// one <filename> per <instrument> (older kits), and <layer> elements, directly
// under the instrument or inside <instrumentComponent> (newer ones). Any thread.

#include <optional>
#include <span>
#include <string>
#include <vector>

namespace thumper {

struct HydrogenLayer {
  std::string strPath;      // absolute: the kit folder joined with <filename>
  std::string strFileName;  // as the file names it, for messages
  float fMin = 0.0f;        // velocity range, 0..1
  float fMax = 1.0f;
  float fGain = 1.0f;
  float fPitch = 0.0f;
};

struct HydrogenInstrument {
  std::string strName;
  int nMuteGroup = -1;
  std::optional<int> nMidiOutNote;
  std::vector<HydrogenLayer> layers;
  // Settings a ".drums" file cannot hold, by name ("pan", "gain", ...).
  std::vector<std::string> lostSettings;
};

struct HydrogenKit {
  std::string strName;
  std::string strFolder;   // absolute, without a trailing '/'
  std::string strXmlPath;  // the drumkit.xml it was read from
  std::vector<HydrogenInstrument> instruments;

  int LayerCount() const;
};

// The layer Hydrogen plays for MIDI velocity 1..127: the first in file order
// whose [min, max] holds velocity / 127; -1 when none does.
int HydrogenLayerFor(const HydrogenInstrument& instrument, int velocity);

struct KitReadResult {
  std::optional<HydrogenKit> kit;
  std::string strError;  // names the file, the line and the element
};

// Reads the bytes of a drumkit.xml. folder resolves relative sample names;
// xmlPath only names the file in messages. A kit without instruments, malformed
// XML and a min or max that is not a number are errors.
KitReadResult ParseDrumkitXml(std::span<const char> bytes, const std::string& folder,
                              const std::string& xmlPath);

// Reads a kit folder or its drumkit.xml from disk.
KitReadResult ReadHydrogenKit(const std::string& path);

}  // namespace thumper
