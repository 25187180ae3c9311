#include "kits/SfzReader.h"

#include <algorithm>
#include <filesystem>

#include "kits/SfzFiles.h"
#include "kits/SfzOpcodes.h"

namespace thumper {
namespace {

namespace fs = std::filesystem;

// Distinct unknown opcode names kept; a hostile file could invent millions.
constexpr size_t kMaxUnknownNames = 1000;
constexpr size_t kMaxOpcodesPerHeader = 4096;

size_t RegionBytes(const SfzRegion& r) {
  return sizeof(SfzRegion) + r.strSample.capacity() + r.strSamplePath.capacity() +
         r.place.strFile.capacity() +
         (r.ccConditions.capacity() + r.ccTriggers.capacity()) * sizeof(SfzCcRange) +
         (r.amplitudeCc.capacity() + r.volumeCc.capacity() + r.panCc.capacity()) *
             sizeof(SfzCcModulation) +
         r.ampVelcurve.capacity() * sizeof(std::pair<int, float>);
}

enum class Level { None, Control, Global, Master, Group, Region, Curve, Skipped };

struct Opcode {
  std::string strName;
  std::string strValue;
};

class KitBuilder : public SfzLexerSink {
 public:
  KitBuilder(SfzKit& kit, SfzReadResult& result, const SfzReadOptions& options)
      : m_kit(kit), m_result(result), m_options(options), m_finder(kit.strFolder) {}

  void OnHeader(std::string_view name, const SfzPlace& place) override {
    Flush();
    m_place = place;
    if (name == "control") {
      m_level = Level::Control;
    } else if (name == "global") {
      m_level = Level::Global;
      m_base.reset();
      m_global.clear();
      m_master.clear();
      m_group.clear();
    } else if (name == "master") {
      m_level = Level::Master;
      m_base.reset();
      m_master.clear();
      m_group.clear();
    } else if (name == "group") {
      m_level = Level::Group;
      m_base.reset();
      m_group.clear();
    } else if (name == "region") {
      m_level = Level::Region;
      m_region.clear();
    } else if (name == "curve") {
      m_level = Level::Curve;
      m_curve = SfzCurve{};
      m_curve.nIndex = -1;
      m_curveSet.fill(false);
    } else {
      m_level = Level::Skipped;
      if (name.empty()) return;  // the lexer said what is wrong with it
      ++m_kit.unknownHeaders[std::string(name.substr(0, 64))];
      // Headers of the format that a drum kit does without are only counted.
      if (name != "effect" && name != "midi" && name != "sample")
        Problem(place,
                "<" + std::string(name) + ">: not a header SFZ knows; its opcodes are skipped");
    }
  }

  void OnOpcode(std::string_view name, std::string_view value, const SfzPlace& place) override {
    if (m_level == Level::Skipped) return;
    if (m_level == Level::None) {
      Problem(place, std::string(name) + ": stands before any header; skipped");
      return;
    }
    if (m_level == Level::Curve) {
      CurveOpcode(name, value, place);
      return;
    }
    if (IsSfzControlOpcode(name)) {
      ControlOpcode(name, value, place);
      return;
    }
    // Checked once where it is written, not again in every region it reaches.
    SfzRegion scratch;
    std::string problem;
    if (!ApplySfzRegionOpcode(scratch, name, value, problem)) {
      auto at = m_kit.unknownOpcodes.find(std::string(name));
      if (at != m_kit.unknownOpcodes.end())
        ++at->second;
      else if (m_kit.unknownOpcodes.size() < kMaxUnknownNames)
        m_kit.unknownOpcodes.emplace(std::string(name), 1);
      return;
    }
    if (!problem.empty()) Problem(place, std::string(name) + ": " + problem);
    if (m_level == Level::Control) {
      Problem(place, std::string(name) + ": a region's opcode in <control>; skipped");
      return;
    }
    std::vector<Opcode>& list = LevelList();
    if (list.size() >= kMaxOpcodesPerHeader) {
      Problem(place, std::string(name) + ": more than " + std::to_string(kMaxOpcodesPerHeader) +
                         " opcodes under one header; skipped");
      return;
    }
    if (m_level != Level::Region) m_base.reset();
    list.push_back({std::string(name), std::string(value)});
  }

  void OnProblem(const SfzPlace& place, const std::string& what) override { Problem(place, what); }

  bool Full() const override { return m_bFull; }

  // The header open at the end of the text.
  void Finish() { Flush(); }

 private:
  std::vector<Opcode>& LevelList() {
    switch (m_level) {
      case Level::Global:
        return m_global;
      case Level::Master:
        return m_master;
      case Level::Group:
        return m_group;
      default:
        return m_region;
    }
  }

  void Problem(const SfzPlace& place, const std::string& what) {
    if (m_result.messages.size() >= m_options.limits.nMaxMessages) {
      ++m_result.nMessagesLeftOut;
      return;
    }
    m_result.messages.push_back(place.strFile + ":" + std::to_string(place.nLine) + ": " + what);
  }

  void ControlOpcode(std::string_view name, std::string_view value, const SfzPlace& place) {
    if (name == "default_path") {
      m_strDefaultPath = std::string(value);
      std::replace(m_strDefaultPath.begin(), m_strDefaultPath.end(), '\\', '/');
      return;
    }
    std::string problem;
    if (auto label = SfzOpcodeSuffix(name, "label_key")) {
      if (*label > 127)
        problem = "key " + std::to_string(*label) + " does not exist";
      else
        m_kit.keyLabels[*label] = std::string(value.substr(0, 256));
    } else if (auto cc = SfzOpcodeSuffix(name, "label_cc")) {
      if (*cc >= kSfzControllerCount)
        problem = "controller " + std::to_string(*cc) + " does not exist";
      else
        m_kit.ccLabels[*cc] = std::string(value.substr(0, 256));
    } else {
      const bool hd = name.substr(0, 8) == "set_hdcc";
      const int n = *SfzOpcodeSuffix(name, hd ? "set_hdcc" : "set_cc");
      if (n >= kSfzControllerCount) {
        problem = "controller " + std::to_string(n) + " does not exist";
      } else if (const std::optional<double> v = ParseSfzNumber(value)) {
        const double top = hd ? 1.0 : 127.0;
        if (*v < 0 || *v > top)
          problem = "the value is outside 0 to " + std::string(hd ? "1" : "127") + "; clamped";
        m_kit.ccDefaults[n] = static_cast<float>(std::clamp(*v, 0.0, top) / top);
      } else {
        problem = "\"" + std::string(value.substr(0, 40)) + "\" is not a number";
      }
    }
    if (!problem.empty()) Problem(place, std::string(name) + ": " + problem);
  }

  void CurveOpcode(std::string_view name, std::string_view value, const SfzPlace& place) {
    std::string problem;
    if (name == "curve_index") {
      const std::optional<double> v = ParseSfzNumber(value);
      if (!v || *v < 0 || *v > 255)
        problem = "\"" + std::string(value.substr(0, 40)) + "\" is not a curve number (0 to 255)";
      else
        m_curve.nIndex = static_cast<int>(*v);
    } else if (auto point = SfzOpcodeSuffix(name, "v"); point && *point < 128) {
      const std::optional<double> v = ParseSfzNumber(value);
      if (!v) {
        problem = "\"" + std::string(value.substr(0, 40)) + "\" is not a number";
      } else {
        m_curve.points[*point] = static_cast<float>(*v);
        m_curveSet[*point] = true;
      }
    } else {
      problem = "not an opcode of <curve>; skipped";
    }
    if (!problem.empty()) Problem(place, std::string(name) + ": " + problem);
  }

  void Flush() {
    if (m_level == Level::Region) FlushRegion();
    if (m_level == Level::Curve) FlushCurve();
    m_level = Level::None;
  }

  void FlushCurve() {
    if (m_curve.nIndex < 0) {
      Problem(m_place, "<curve>: has no curve_index; skipped");
      return;
    }
    // Unset ends are 0 and 1; points between are drawn straight.
    if (!m_curveSet[0]) m_curve.points[0] = 0, m_curveSet[0] = true;
    if (!m_curveSet[127]) m_curve.points[127] = 1, m_curveSet[127] = true;
    int last = 0;
    for (int i = 1; i < 128; ++i) {
      if (!m_curveSet[i]) continue;
      for (int j = last + 1; j < i; ++j)
        m_curve.points[j] = m_curve.points[last] + (m_curve.points[i] - m_curve.points[last]) *
                                                       static_cast<float>(j - last) /
                                                       static_cast<float>(i - last);
      last = i;
    }
    auto at = std::find_if(m_kit.curves.begin(), m_kit.curves.end(),
                           [&](const SfzCurve& c) { return c.nIndex == m_curve.nIndex; });
    if (at != m_kit.curves.end())
      *at = m_curve;
    else
      m_kit.curves.push_back(m_curve);
  }

  void FlushRegion() {
    if (m_kit.regions.size() >= m_options.limits.nMaxRegions) {
      Problem(m_place, "<region>: the kit has more than " +
                           std::to_string(m_options.limits.nMaxRegions) +
                           " regions; the rest are skipped");
      m_bFull = true;
      return;
    }
    std::string ignored;
    // What the headers above give, worked out once for all their regions.
    if (!m_base) {
      m_base.emplace();
      for (const std::vector<Opcode>* list : {&m_global, &m_master, &m_group})
        for (const Opcode& o : *list) ApplySfzRegionOpcode(*m_base, o.strName, o.strValue, ignored);
    }
    SfzRegion r = *m_base;
    r.place = m_place;
    for (const Opcode& o : m_region) ApplySfzRegionOpcode(r, o.strName, o.strValue, ignored);
    if (r.strSample.empty()) {
      Problem(m_place, "<region>: has no sample; skipped");
      return;
    }
    std::replace(r.strSample.begin(), r.strSample.end(), '\\', '/');
    if (r.strSample.front() == '*') {
      // Generators: *silence plays nothing and is there to choke.
      r.bSilence = r.strSample == "*silence";
      if (!r.bSilence) Problem(m_place, "sample=" + r.strSample + ": a generator; plays nothing");
      r.bSilence = true;
    } else {
      r.strSample = m_strDefaultPath + r.strSample;
      if (m_options.bFindSamples) {
        std::optional<std::string> found = m_finder.Find(r.strSample);
        if (!found) {
          Problem(m_place, "sample=" + r.strSample + ": no such file; the region is skipped");
          return;
        }
        r.strSamplePath = std::move(*found);
      }
    }
    m_nKitBytes += RegionBytes(r);
    if (m_nKitBytes > m_options.limits.nMaxKitBytes) {
      Problem(m_place, "<region>: the kit's regions take more than " +
                           std::to_string(m_options.limits.nMaxKitBytes >> 20) +
                           " MiB; the rest are skipped");
      m_bFull = true;
      return;
    }
    m_kit.regions.push_back(std::move(r));
  }

  SfzKit& m_kit;
  SfzReadResult& m_result;
  const SfzReadOptions& m_options;
  SfzFileFinder m_finder;
  Level m_level = Level::None;
  SfzPlace m_place;
  std::vector<Opcode> m_global, m_master, m_group, m_region;
  std::string m_strDefaultPath;
  SfzCurve m_curve;
  std::array<bool, 128> m_curveSet{};
  std::optional<SfzRegion> m_base;
  size_t m_nKitBytes = 0;
  bool m_bFull = false;
};

}  // namespace

SfzReadResult ParseSfzText(std::string_view text, const std::string& path,
                           const SfzReadOptions& options) {
  SfzReadResult result;
  SfzKit kit;
  kit.strPath = fs::absolute(path).lexically_normal().string();
  kit.strFolder = fs::path(kit.strPath).parent_path().string();
  KitBuilder builder(kit, result, options);
  LexSfz(kit.strPath, text, kit.strFolder, options.reader, options.limits, builder);
  builder.Finish();
  const bool plays = std::any_of(kit.regions.begin(), kit.regions.end(),
                                 [](const SfzRegion& r) { return !r.PlaysNothing(); });
  if (!plays) {
    result.strError = path + ": " +
                      (kit.regions.empty() ? "no region with a sample the kit can play"
                                           : "every region is silent; the kit plays nothing");
    if (!result.messages.empty()) result.strError += " (first problem: " + result.messages[0] + ")";
    return result;
  }
  result.kit = std::move(kit);
  return result;
}

SfzReadResult ReadSfzKit(const std::string& path, const SfzReadOptions& options) {
  std::string error;
  const std::string full = fs::absolute(path).lexically_normal().string();
  const std::optional<std::string> text =
      options.reader ? options.reader(full, options.limits.nMaxFileBytes, error) : std::nullopt;
  if (!text) {
    SfzReadResult result;
    result.strError = path + ": " + (error.empty() ? std::string("cannot be read") : error);
    return result;
  }
  return ParseSfzText(*text, full, options);
}

}  // namespace thumper
