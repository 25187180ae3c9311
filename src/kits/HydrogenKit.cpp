#include "kits/HydrogenKit.h"

#include <algorithm>
#include <charconv>
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
    for (HydrogenLayer& layer : instrument.layers) {
      if (layer.strFileName.front() == '/' || fs::is_regular_file(layer.strPath, ec)) continue;
      std::string beside = SamplePath(realFolder.string(), layer.strFileName);
      if (fs::is_regular_file(beside, ec)) layer.strPath = std::move(beside);
    }
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

  const pugi::xml_node list = Child(root, "instrumentList");
  int position = 0;
  for (const pugi::xml_node& node : Children(list, "instrument")) {
    ++position;
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
    NoteLostSettings(node, instrument, sounding);
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
