#include "kits/HydrogenKit.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <pugixml.hpp>
#include <string_view>

#include "drumset/FileIo.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;

// Hydrogen writes a default namespace on newer kits; names are matched by
// their local part so a prefixed element reads the same.
std::string_view LocalName(const pugi::xml_node& node) {
  std::string_view name = node.name();
  const size_t colon = name.find(':');
  return colon == std::string_view::npos ? name : name.substr(colon + 1);
}

pugi::xml_node Child(const pugi::xml_node& parent, std::string_view name) {
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && LocalName(child) == name) return child;
  return {};
}

std::vector<pugi::xml_node> Children(const pugi::xml_node& parent, std::string_view name) {
  std::vector<pugi::xml_node> found;
  for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling())
    if (child.type() == pugi::node_element && LocalName(child) == name) found.push_back(child);
  return found;
}

std::string_view Trimmed(std::string_view text) {
  const char* space = " \t\r\n";
  const size_t first = text.find_first_not_of(space);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::optional<double> ParseNumber(std::string_view text) {
  text = Trimmed(text);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  double value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
  if (!std::isfinite(value)) return std::nullopt;  // "nan" and "inf" are no setting
  return value;
}

class XmlReader {
 public:
  XmlReader(std::span<const char> bytes, std::string xmlPath)
      : m_bytes(bytes), m_strXmlPath(std::move(xmlPath)) {}

  int LineOf(ptrdiff_t offset) const {
    if (offset < 0) return 0;
    const auto end = m_bytes.begin() + std::min<ptrdiff_t>(offset, m_bytes.size());
    return 1 + static_cast<int>(std::count(m_bytes.begin(), end, '\n'));
  }

  std::string Where(const pugi::xml_node& node) const {
    return m_strXmlPath + ":" + std::to_string(LineOf(node.offset_debug())) + ": ";
  }

  // A number where one must be: an error names the element when it is not.
  bool Number(const pugi::xml_node& parent, std::string_view name, const std::string& what,
              float& value, std::string& error) const {
    const pugi::xml_node node = Child(parent, name);
    if (!node) return true;
    const auto number = ParseNumber(node.text().get());
    if (!number) {
      error = Where(node) + "<" + std::string(name) + "> of " + what + " is not a number: \"" +
              node.text().get() + "\"";
      return false;
    }
    value = static_cast<float>(*number);
    return true;
  }

  // Settings that do not change the sound are looked at leniently: an unreadable
  // value counts as the default.
  static float Setting(const pugi::xml_node& parent, std::string_view name, float fallback) {
    const pugi::xml_node node = Child(parent, name);
    if (!node) return fallback;
    return static_cast<float>(ParseNumber(node.text().get()).value_or(fallback));
  }

 private:
  std::span<const char> m_bytes;
  std::string m_strXmlPath;
};

std::string SamplePath(const std::string& folder, const std::string& name) {
  if (!name.empty() && name.front() == '/') return fs::path(name).lexically_normal().string();
  return (fs::path(folder) / name).lexically_normal().string();
}

void NoteLostSettings(const pugi::xml_node& node, HydrogenInstrument& instrument,
                      size_t components) {
  auto lose = [&](const char* what) {
    if (std::find(instrument.lostSettings.begin(), instrument.lostSettings.end(), what) ==
        instrument.lostSettings.end())
      instrument.lostSettings.push_back(what);
  };
  const bool pannedOld =
      Child(node, "pan_L") && Child(node, "pan_R") &&
      XmlReader::Setting(node, "pan_L", 1) != XmlReader::Setting(node, "pan_R", 1);
  if (pannedOld || XmlReader::Setting(node, "pan", 0) != 0) lose("pan");
  if (XmlReader::Setting(node, "gain", 1) != 1) lose("gain");
  if (XmlReader::Setting(node, "volume", 1) != 1) lose("volume");
  if (XmlReader::Setting(node, "pitchOffset", 0) != 0 ||
      XmlReader::Setting(node, "randomPitchFactor", 0) != 0)
    lose("pitch");
  for (const HydrogenLayer& layer : instrument.layers) {
    if (layer.fGain != 1) lose("layer gain");
    if (layer.fPitch != 0) lose("layer pitch");
  }
  if (components > 1) lose("second component");
}

std::string ElementName(const pugi::xml_node& node) {
  return "<" + std::string(LocalName(node)) + ">";
}

// Reads what Hydrogen plays an instrument with: its settings, clamped to what
// can play, and every component with its layers (Hydrogen keeps 16 a component).
class SoundReader {
 public:
  SoundReader(const XmlReader& reader, const std::string& folder,
              std::vector<std::string>& warnings)
      : m_reader(reader), m_strFolder(folder), m_warnings(warnings) {}

  // A setting between low and high; a value outside is clamped and said.
  float Bounded(const pugi::xml_node& parent, std::string_view name, float fallback, float low,
                float high, const std::string& what) {
    const pugi::xml_node node = Child(parent, name);
    if (!node) return fallback;
    const auto number = ParseNumber(node.text().get());
    if (!number) return fallback;
    if (*number >= low && *number <= high) return static_cast<float>(*number);
    const float clamped = static_cast<float>(std::clamp<double>(*number, low, high));
    Warn(node, ElementName(node) + " of " + what + " is " +
                   std::string(Trimmed(node.text().get())) + ", outside " + Shown(low) + ".." +
                   Shown(high) + ": plays as " + Shown(clamped));
    return clamped;
  }

  static bool Flag(const pugi::xml_node& parent, std::string_view name, bool fallback) {
    const pugi::xml_node node = Child(parent, name);
    if (!node) return fallback;
    return Trimmed(node.text().get()) == "true";  // as Hydrogen reads a bool
  }

  bool Layer(const pugi::xml_node& node, const std::string& what, bool legacyFile,
             HydrogenLayer& layer, std::string& error) {
    layer.strFileName = Child(node, "filename").text().get();
    if (layer.strFileName.empty()) {
      error = m_reader.Where(node) + what + " names no <filename>";
      return false;
    }
    layer.strPath = SamplePath(m_strFolder, layer.strFileName);
    if (legacyFile) return true;  // the oldest layout: one file at full range
    if (!m_reader.Number(node, "min", what, layer.fMin, error) ||
        !m_reader.Number(node, "max", what, layer.fMax, error))
      return false;
    for (auto [value, name] : {std::pair{&layer.fMin, "min"}, std::pair{&layer.fMax, "max"}}) {
      if (*value >= 0.0f && *value <= 1.0f) continue;
      const pugi::xml_node bad = Child(node, name);
      *value = std::clamp(*value, 0.0f, 1.0f);
      Warn(bad, "<" + std::string(name) + "> of " + what + " lies outside 0..1: plays as " +
                    Shown(*value));
    }
    if (layer.fMin > layer.fMax)
      Warn(node, what + " has <min> above <max>: no velocity selects it (as in Hydrogen)");
    layer.fGain = Bounded(node, "gain", 1.0f, 0.0f, kMaxGain, what);
    layer.fPitch = Bounded(node, "pitch", 0.0f, -kMaxPitch, kMaxPitch, what);
    return true;
  }

  bool Components(const pugi::xml_node& node, const std::string& what,
                  HydrogenInstrument& instrument, std::string& error) {
    std::vector<pugi::xml_node> components = Children(node, "instrumentComponent");
    if (components.empty()) {
      // Older layouts: one component, of one <filename> or of <layer>s.
      HydrogenComponent component;
      const pugi::xml_node file = Child(node, "filename");
      if (file && !Trimmed(file.text().get()).empty()) {
        HydrogenLayer layer;
        if (!Layer(node, what, true, layer, error)) return false;
        component.layers.push_back(std::move(layer));
      } else if (!Layers(node, what, component, error)) {
        return false;
      }
      instrument.components.push_back(std::move(component));
      return true;
    }
    if (components.size() > kHydrogenMaxComponents) {
      Warn(components[kHydrogenMaxComponents],
           what + " has " + std::to_string(components.size()) + " <instrumentComponent>s: the " +
               std::to_string(kHydrogenMaxComponents) + " first play");
      components.resize(kHydrogenMaxComponents);
    }
    int position = 0;
    for (const pugi::xml_node& componentNode : components) {
      const std::string componentWhat = "component " + std::to_string(++position) + " of " + what;
      HydrogenComponent component;
      component.nComponentId = static_cast<int>(
          ParseNumber(Child(componentNode, "component_id").text().get()).value_or(-1));
      component.fGain = Bounded(componentNode, "gain", 1.0f, 0.0f, kMaxGain, componentWhat);
      if (!Layers(componentNode, componentWhat, component, error)) return false;
      instrument.components.push_back(std::move(component));
    }
    return true;
  }

  void Warn(const pugi::xml_node& node, const std::string& text) {
    m_warnings.push_back(m_reader.Where(node) + text);
  }

  static constexpr float kMaxGain = 16.0f;   // +24 dB: beyond what Hydrogen's knobs reach
  static constexpr float kMaxPitch = 24.0f;  // semitones: Hydrogen's pitch knobs' range

 private:
  bool Layers(const pugi::xml_node& parent, const std::string& what, HydrogenComponent& component,
              std::string& error) {
    const std::vector<pugi::xml_node> nodes = Children(parent, "layer");
    for (size_t i = 0; i < nodes.size(); ++i) {
      if (i == kHydrogenMaxLayers) {
        Warn(nodes[i], what + " has " + std::to_string(nodes.size()) +
                           " layers: as in Hydrogen, layer 17 and those after it are left out");
        break;
      }
      HydrogenLayer layer;
      if (!Layer(nodes[i], "layer " + std::to_string(i + 1) + " of " + what, false, layer, error))
        return false;
      component.layers.push_back(std::move(layer));
    }
    return true;
  }

  static std::string Shown(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
  }

  const XmlReader& m_reader;
  const std::string& m_strFolder;
  std::vector<std::string>& m_warnings;
};

// Hydrogen's conversion of the older pan_L / pan_R pair into one pan (its "ratio" pan).
float RatioPan(float left, float right) {
  if (left < 0 || right < 0 || (left == 0 && right == 0)) return 0.0f;
  return left >= right ? right / left - 1.0f : 1.0f - left / right;
}

bool ReadSound(const pugi::xml_node& node, const std::string& what, SoundReader& sound,
               HydrogenInstrument& instrument, std::string& error) {
  if (const pugi::xml_node id = Child(node, "id"))
    if (auto value = ParseNumber(id.text().get()); value && *value >= -1e6 && *value <= 1e6)
      instrument.nId = static_cast<int>(*value);
  instrument.fVolume = sound.Bounded(node, "volume", 1.0f, 0.0f, SoundReader::kMaxGain, what);
  instrument.fGain = sound.Bounded(node, "gain", 1.0f, 0.0f, SoundReader::kMaxGain, what);
  if (Child(node, "pan")) {
    instrument.fPan = sound.Bounded(node, "pan", 0.0f, -1.0f, 1.0f, what);
  } else if (Child(node, "pan_L") && Child(node, "pan_R")) {
    instrument.fPan =
        RatioPan(XmlReader::Setting(node, "pan_L", 1), XmlReader::Setting(node, "pan_R", 1));
  }
  instrument.fPitchOffset = sound.Bounded(node, "pitchOffset", 0.0f, -SoundReader::kMaxPitch,
                                          SoundReader::kMaxPitch, what);
  instrument.fRandomPitchFactor = sound.Bounded(node, "randomPitchFactor", 0.0f, 0.0f, 1.0f, what);
  instrument.bApplyVelocity = SoundReader::Flag(node, "applyVelocity", true);
  instrument.bMuted = SoundReader::Flag(node, "isMuted", false);
  instrument.bStopNote = SoundReader::Flag(node, "isStopNote", true);
  const std::string_view algorithm = Trimmed(Child(node, "sampleSelectionAlgo").text().get());
  if (algorithm == "ROUND_ROBIN")
    instrument.selection = HydrogenSelection::RoundRobin;
  else if (algorithm == "RANDOM")
    instrument.selection = HydrogenSelection::Random;
  instrument.nHihatGroup = static_cast<int>(sound.Bounded(node, "isHihat", -1, -1, 1e6f, what));
  instrument.nLowerCc = static_cast<int>(sound.Bounded(node, "lower_cc", 0, 0, 127, what));
  instrument.nHigherCc = static_cast<int>(sound.Bounded(node, "higher_cc", 127, 0, 127, what));
  if (instrument.nHihatGroup >= 0 && instrument.nLowerCc > instrument.nHigherCc)
    sound.Warn(Child(node, "lower_cc"),
               what + " has <lower_cc> above <higher_cc>: no pedal position selects it");
  instrument.bFilterActive = SoundReader::Flag(node, "filterActive", false);
  instrument.fFilterCutoff = XmlReader::Setting(node, "filterCutoff", 1.0f);
  instrument.fFilterResonance = XmlReader::Setting(node, "filterResonance", 0.0f);
  // The envelope within Hydrogen's own bounds, which it applies without a word
  // (a release of 0 is a kit's way of asking for the shortest).
  auto envelope = [&](std::string_view name, float fallback, float low, float high) {
    return std::clamp(XmlReader::Setting(node, name, fallback), low, high);
  };
  instrument.nAttack = static_cast<int>(envelope("Attack", 0, 0, 100000));
  instrument.nDecay = static_cast<int>(envelope("Decay", 0, 0, 100000));
  instrument.fSustain = envelope("Sustain", 1.0f, 0.0f, 1.0f);
  instrument.nRelease = static_cast<int>(envelope("Release", 1000, 256, 100256));
  return sound.Components(node, what, instrument, error);
}

// A drumkit.xml reached through symbolic links (a host saves a kit as a link in
// its session) names its samples relative to the real file: a relative name
// missing beside the file as given is taken from beside the file it resolves to.
void FindSamplesBesideRealFile(const fs::path& xml, HydrogenKit& kit) {
  std::error_code ec;
  const fs::path real = fs::canonical(xml, ec);
  if (ec) return;
  const fs::path realFolder = real.parent_path();
  if (realFolder == xml.parent_path()) return;  // no link on the way
  for (HydrogenInstrument& instrument : kit.instruments) {
    auto find = [&](HydrogenLayer& layer) {
      if (layer.strFileName.front() == '/' || fs::is_regular_file(layer.strPath, ec)) return;
      std::string beside = SamplePath(realFolder.string(), layer.strFileName);
      if (fs::is_regular_file(beside, ec)) layer.strPath = std::move(beside);
    };
    for (HydrogenLayer& layer : instrument.layers) find(layer);
    for (HydrogenComponent& component : instrument.components)
      for (HydrogenLayer& layer : component.layers) find(layer);
  }
}

}  // namespace

int HydrogenKit::LayerCount() const {
  int count = 0;
  for (const HydrogenInstrument& instrument : instruments)
    count += static_cast<int>(instrument.layers.size());
  return count;
}

int HydrogenLayerFor(const HydrogenInstrument& instrument, int velocity) {
  // Hydrogen compares in float; so do we, so that a boundary falls the same way.
  const float level = static_cast<float>(velocity) / 127.0f;
  for (size_t i = 0; i < instrument.layers.size(); ++i) {
    const HydrogenLayer& layer = instrument.layers[i];
    if (layer.fMin <= level && level <= layer.fMax) return static_cast<int>(i);
  }
  return -1;
}

KitReadResult ParseDrumkitXml(std::span<const char> bytes, const std::string& folder,
                              const std::string& xmlPath) {
  KitReadResult result;
  XmlReader reader(bytes, xmlPath);
  pugi::xml_document doc;
  const pugi::xml_parse_result parsed =
      doc.load_buffer(bytes.data(), bytes.size(), pugi::parse_default, pugi::encoding_utf8);
  if (!parsed) {
    result.strError = xmlPath + ":" + std::to_string(reader.LineOf(parsed.offset)) +
                      ": not well-formed XML: " + parsed.description();
    return result;
  }
  const pugi::xml_node root = doc.document_element();
  if (!root || LocalName(root) != "drumkit_info") {
    result.strError =
        xmlPath + ": not a Hydrogen drum kit (its root element is not <drumkit_info>)";
    return result;
  }
  HydrogenKit kit;
  kit.strFolder = folder;
  kit.strXmlPath = xmlPath;
  kit.strName = std::string(Trimmed(Child(root, "name").text().get()));
  if (kit.strName.empty()) kit.strName = fs::path(folder).filename().string();

  SoundReader sound(reader, folder, kit.warnings);
  for (const pugi::xml_node& node : Children(Child(root, "componentList"), "drumkitComponent")) {
    HydrogenKitComponent component;
    component.nId = static_cast<int>(ParseNumber(Child(node, "id").text().get()).value_or(-1));
    component.strName = std::string(Trimmed(Child(node, "name").text().get()));
    component.fVolume = sound.Bounded(node, "volume", 1.0f, 0.0f, SoundReader::kMaxGain,
                                      "component \"" + component.strName + "\"");
    if (kit.kitComponents.size() < kHydrogenMaxComponents)
      kit.kitComponents.push_back(std::move(component));
  }

  const pugi::xml_node list = Child(root, "instrumentList");
  int position = 0;
  for (const pugi::xml_node& node : Children(list, "instrument")) {
    ++position;
    if (static_cast<size_t>(position) > kHydrogenMaxInstruments) {
      sound.Warn(node, "the kit has more than " + std::to_string(kHydrogenMaxInstruments) +
                           " instruments: as in Hydrogen, those after are left out");
      break;
    }
    HydrogenInstrument instrument;
    instrument.strName = std::string(Trimmed(Child(node, "name").text().get()));
    if (instrument.strName.empty()) instrument.strName = "instrument " + std::to_string(position);
    const std::string what =
        "instrument " + std::to_string(position) + " \"" + instrument.strName + "\"";
    if (const pugi::xml_node group = Child(node, "muteGroup"))
      instrument.nMuteGroup = static_cast<int>(ParseNumber(group.text().get()).value_or(-1));
    if (const pugi::xml_node note = Child(node, "midiOutNote")) {
      if (auto value = ParseNumber(note.text().get()); value && *value >= -1e6 && *value <= 1e6)
        instrument.nMidiOutNote = static_cast<int>(*value);
    }

    // Hydrogen sounds every component at once; a slot holds the first that has layers.
    std::vector<pugi::xml_node> layerNodes = Children(node, "layer");
    size_t sounding = 0;
    for (const pugi::xml_node& component : Children(node, "instrumentComponent")) {
      std::vector<pugi::xml_node> inComponent = Children(component, "layer");
      if (inComponent.empty()) continue;
      if (++sounding == 1 && layerNodes.empty()) layerNodes = std::move(inComponent);
    }
    int layerPosition = 0;
    for (const pugi::xml_node& layerNode : layerNodes) {
      ++layerPosition;
      const std::string layerWhat = "layer " + std::to_string(layerPosition) + " of " + what;
      HydrogenLayer layer;
      layer.strFileName = Child(layerNode, "filename").text().get();
      if (layer.strFileName.empty()) {
        result.strError = reader.Where(layerNode) + layerWhat + " names no <filename>";
        return result;
      }
      layer.strPath = SamplePath(folder, layer.strFileName);
      if (!reader.Number(layerNode, "min", layerWhat, layer.fMin, result.strError) ||
          !reader.Number(layerNode, "max", layerWhat, layer.fMax, result.strError))
        return result;
      layer.fGain = XmlReader::Setting(layerNode, "gain", 1);
      layer.fPitch = XmlReader::Setting(layerNode, "pitch", 0);
      instrument.layers.push_back(std::move(layer));
    }
    if (layerNodes.empty()) {
      // The older layout: one sample for every velocity.
      if (const pugi::xml_node file = Child(node, "filename");
          file && !Trimmed(file.text().get()).empty()) {
        HydrogenLayer layer;
        layer.strFileName = file.text().get();
        layer.strPath = SamplePath(folder, layer.strFileName);
        instrument.layers.push_back(std::move(layer));
      }
    }
    instrument.bLoadsInHydrogen =
        Child(node, "instrumentComponent") || Child(node, "layer") || Child(node, "filename");
    NoteLostSettings(node, instrument, sounding);
    instrument.nLine = reader.LineOf(node.offset_debug());
    if (!ReadSound(node, what, sound, instrument, result.strError)) return result;
    kit.instruments.push_back(std::move(instrument));
  }
  if (kit.instruments.empty()) {
    result.strError = reader.Where(list ? list : root) + "the kit has no <instrument>";
    return result;
  }
  result.kit = std::move(kit);
  return result;
}

KitReadResult ReadHydrogenKit(const std::string& path) {
  std::error_code ec;
  fs::path xml = fs::absolute(path, ec).lexically_normal();
  if (fs::is_directory(xml, ec)) xml /= "drumkit.xml";
  FileReadResult file = ReadWholeFile(xml.string());
  if (file.error != FileError::None) return {std::nullopt, FileErrorText(file.error, xml.string())};
  std::string folder = xml.parent_path().string();
  KitReadResult result = ParseDrumkitXml(
      std::span(reinterpret_cast<const char*>(file.bytes.data()), file.bytes.size()), folder,
      xml.string());
  if (result.kit) FindSamplesBesideRealFile(xml, *result.kit);
  return result;
}

}  // namespace thumper
