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

// The most layers Hydrogen reads into one component (its default maxLayers);
// it omits the rest.
inline constexpr size_t kHydrogenMaxLayers = 16;
// Bounds of this reader, so a damaged file cannot make it allocate without end.
inline constexpr size_t kHydrogenMaxComponents = 32;
inline constexpr size_t kHydrogenMaxInstruments = 1000;  // Hydrogen's MAX_INSTRUMENTS

// One <instrumentComponent> (older layouts: the one implicit component).
struct HydrogenComponent {
  int nComponentId = 0;  // the kit's <drumkitComponent> it sounds through
  float fGain = 1.0f;
  std::vector<HydrogenLayer> layers;  // at most kHydrogenMaxLayers, file order
};

enum class HydrogenSelection { Velocity, RoundRobin, Random };

struct HydrogenInstrument {
  std::string strName;
  int nMuteGroup = -1;
  std::optional<int> nMidiOutNote;
  std::vector<HydrogenLayer> layers;
  // Settings a ".drums" file cannot hold, by name ("pan", "gain", ...).
  std::vector<std::string> lostSettings;

  // How Hydrogen plays it, with Hydrogen's defaults where an element is missing.
  std::optional<int> nId;  // Hydrogen skips an instrument without <id>
  // Hydrogen 1.2 also skips an instrument of the older layouts that names no
  // sample at all (no <instrumentComponent>, <layer> or <filename>): the
  // instruments after it move down one note.
  bool bLoadsInHydrogen = true;
  int nLine = 0;  // of <instrument>, for messages
  float fVolume = 1.0f;
  float fGain = 1.0f;
  float fPan = 0.0f;  // -1 left .. 1 right (pan_L / pan_R converted)
  float fPitchOffset = 0.0f;
  float fRandomPitchFactor = 0.0f;
  bool bApplyVelocity = true;
  bool bMuted = false;
  bool bStopNote = true;  // a missing <isStopNote> reads true
  HydrogenSelection selection = HydrogenSelection::Velocity;
  int nHihatGroup = -1;
  int nLowerCc = 0;
  int nHigherCc = 127;
  bool bFilterActive = false;
  float fFilterCutoff = 1.0f;
  float fFilterResonance = 0.0f;
  int nAttack = 0;  // envelope, in frames of the sample
  int nDecay = 0;
  float fSustain = 1.0f;
  int nRelease = 1000;
  std::vector<HydrogenComponent> components;  // every one sounds
};

// A <drumkitComponent> of the kit: the mixer channel its instruments' components sum into.
struct HydrogenKitComponent {
  int nId = 0;
  std::string strName;
  float fVolume = 1.0f;
};

struct HydrogenKit {
  std::string strName;
  std::string strFolder;   // absolute, without a trailing '/'
  std::string strXmlPath;  // the drumkit.xml it was read from
  std::vector<HydrogenInstrument> instruments;
  std::vector<HydrogenKitComponent> kitComponents;
  // Values out of range that were clamped or left out, each naming file, line and element.
  std::vector<std::string> warnings;

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
