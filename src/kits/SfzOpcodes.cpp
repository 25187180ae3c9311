#include "kits/SfzOpcodes.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

namespace thumper {
namespace {

constexpr double kInt32Max = std::numeric_limits<int32_t>::max();

std::string Number(double v) {
  std::string s = std::to_string(v);
  while (s.find('.') != std::string::npos && (s.back() == '0' || s.back() == '.')) {
    const bool dot = s.back() == '.';
    s.pop_back();
    if (dot) break;
  }
  return s;
}

// A number in [lo, hi]: out-of-range values are clamped and said so.
std::optional<double> Ranged(std::string_view value, double lo, double hi, std::string& problem) {
  const std::optional<double> v = ParseSfzNumber(value);
  if (!v) {
    problem = "\"" + std::string(value.substr(0, 40)) + "\" is not a number";
    return std::nullopt;
  }
  if (*v < lo || *v > hi) {
    const double used = std::clamp(*v, lo, hi);
    problem = Number(*v) + " is outside " + Number(lo) + " to " + Number(hi) + "; " + Number(used) +
              " is used";
    return used;
  }
  return v;
}

template <class T>
void SetFloat(T& field, std::string_view value, double lo, double hi, std::string& problem) {
  if (auto v = Ranged(value, lo, hi, problem)) field = static_cast<T>(*v);
}

template <class T>
void SetInt(T& field, std::string_view value, double lo, double hi, std::string& problem) {
  if (auto v = Ranged(value, lo, hi, problem)) field = static_cast<T>(std::trunc(*v));
}

// True when field was set.
bool SetNote(int& field, std::string_view value, std::string& problem) {
  if (!value.empty() && std::isalpha(static_cast<unsigned char>(value.front()))) {
    const std::optional<int> note = ParseSfzNote(value);
    if (note)
      field = *note;
    else
      problem = "\"" + std::string(value.substr(0, 40)) + "\" is not a note";
    return note.has_value();
  }
  SetInt(field, value, 0, 127, problem);
  return ParseSfzNumber(value).has_value();
}

template <class E, size_t N>
void SetWord(E& field, std::string_view value, const std::pair<std::string_view, E> (&words)[N],
             std::string& problem) {
  for (const auto& [word, e] : words) {
    if (value == word) {
      field = e;
      return;
    }
  }
  std::string known;
  for (const auto& w : words) known += (known.empty() ? "" : ", ") + std::string(w.first);
  problem = "\"" + std::string(value.substr(0, 40)) + "\" is not one of " + known;
}

// Real kits name a few controllers per region; a hostile one could name
// hundreds in every region.
constexpr size_t kMaxControllersPerList = 64;

SfzCcRange* RangeFor(std::vector<SfzCcRange>& ranges, int cc) {
  for (SfzCcRange& r : ranges)
    if (r.nCc == cc) return &r;
  if (ranges.size() >= kMaxControllersPerList) return nullptr;
  return &ranges.emplace_back(SfzCcRange{cc, 0, 127});
}

SfzCcModulation* ModulationFor(std::vector<SfzCcModulation>& mods, int cc) {
  for (SfzCcModulation& m : mods)
    if (m.nCc == cc) return &m;
  if (mods.size() >= kMaxControllersPerList) return nullptr;
  return &mods.emplace_back(SfzCcModulation{cc, 0, 0});
}

const std::string kTooManyControllers =
    "a region takes at most " + std::to_string(kMaxControllersPerList) + " controllers here";

// name is prefix + N with N a controller: the controller, or nothing. A
// number past the last controller is a problem of its own.
std::optional<int> Controller(std::string_view name, std::string_view prefix,
                              std::string& problem) {
  if (name.substr(0, prefix.size()) != prefix || name.size() == prefix.size()) return std::nullopt;
  std::optional<int> n = SfzOpcodeSuffix(name, prefix);
  if (!n) {
    const std::string_view digits = name.substr(prefix.size());
    if (std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; })) {
      problem = "controller " + std::string(digits.substr(0, 12)) + " does not exist";
      return -1;
    }
    return std::nullopt;
  }
  if (*n >= kSfzControllerCount) {
    problem = "controller " + std::to_string(*n) + " does not exist (the last is " +
              std::to_string(kSfzControllerCount - 1) + ")";
    return -1;
  }
  return n;
}

bool ApplyControllerOpcode(SfzRegion& r, std::string_view name, std::string_view value,
                           std::string& problem) {
  struct RangeOpcode {
    std::string_view prefix;
    std::vector<SfzCcRange> SfzRegion::*ranges;
    bool bLow;
  };
  static const RangeOpcode ranges[] = {
      {"locc", &SfzRegion::ccConditions, true},
      {"hicc", &SfzRegion::ccConditions, false},
      {"on_locc", &SfzRegion::ccTriggers, true},
      {"on_hicc", &SfzRegion::ccTriggers, false},
  };
  for (const RangeOpcode& o : ranges) {
    if (auto cc = Controller(name, o.prefix, problem)) {
      if (*cc < 0) return true;
      int v = 0;
      SetInt(v, value, 0, 127, problem);
      if (ParseSfzNumber(value)) {
        if (SfzCcRange* range = RangeFor(r.*o.ranges, *cc))
          (o.bLow ? range->nLo : range->nHi) = v;
        else
          problem = kTooManyControllers;
      }
      return true;
    }
  }
  struct ModOpcode {
    std::string_view prefix;
    std::vector<SfzCcModulation> SfzRegion::*mods;
    bool bCurve;
    double lo, hi;
  };
  static const ModOpcode mods[] = {
      {"amplitude_oncc", &SfzRegion::amplitudeCc, false, 0, 10000},
      {"amplitude_cc", &SfzRegion::amplitudeCc, false, 0, 10000},
      {"amplitude_curvecc", &SfzRegion::amplitudeCc, true, 0, 255},
      {"volume_oncc", &SfzRegion::volumeCc, false, -144, 48},
      {"gain_oncc", &SfzRegion::volumeCc, false, -144, 48},
      {"gain_cc", &SfzRegion::volumeCc, false, -144, 48},
      {"volume_curvecc", &SfzRegion::volumeCc, true, 0, 255},
      {"pan_oncc", &SfzRegion::panCc, false, -200, 200},
      {"pan_cc", &SfzRegion::panCc, false, -200, 200},
      {"pan_curvecc", &SfzRegion::panCc, true, 0, 255},
  };
  for (const ModOpcode& o : mods) {
    if (auto cc = Controller(name, o.prefix, problem)) {
      if (*cc < 0) return true;
      if (auto v = Ranged(value, o.lo, o.hi, problem)) {
        SfzCcModulation* m = ModulationFor(r.*o.mods, *cc);
        if (!m)
          problem = kTooManyControllers;
        else if (o.bCurve)
          m->nCurve = static_cast<int>(*v);
        else
          m->fDepth = static_cast<float>(*v);
      }
      return true;
    }
  }
  if (auto v = SfzOpcodeSuffix(name, "amp_velcurve_")) {
    if (*v > 127) {
      problem = "velocity " + std::to_string(*v) + " does not exist";
      return true;
    }
    if (auto gain = Ranged(value, 0, 1, problem)) {
      auto at = std::find_if(r.ampVelcurve.begin(), r.ampVelcurve.end(),
                             [&](const auto& p) { return p.first >= *v; });
      if (at != r.ampVelcurve.end() && at->first == *v)
        at->second = static_cast<float>(*gain);
      else
        r.ampVelcurve.insert(at, {*v, static_cast<float>(*gain)});
    }
    return true;
  }
  return false;
}

}  // namespace

std::optional<double> ParseSfzNumber(std::string_view value) {
  size_t i = 0;
  while (i < value.size() && (value[i] == ' ' || value[i] == '\t')) ++i;
  if (i < value.size() && value[i] == '+') ++i;
  double v = 0;
  const auto [end, ec] = std::from_chars(value.data() + i, value.data() + value.size(), v);
  if (ec != std::errc() || !std::isfinite(v)) return std::nullopt;
  (void)end;
  return v;
}

std::optional<int> ParseSfzNote(std::string_view value) {
  static const int semitones[] = {9, 11, 0, 2, 4, 5, 7};  // a b c d e f g
  if (value.empty()) return std::nullopt;
  const char letter = static_cast<char>(std::tolower(static_cast<unsigned char>(value[0])));
  if (letter < 'a' || letter > 'g') {
    const std::optional<double> n = ParseSfzNumber(value);
    if (!n || *n < 0 || *n > 127) return std::nullopt;
    return static_cast<int>(*n);
  }
  int note = semitones[letter - 'a'];
  size_t i = 1;
  if (i < value.size() && value[i] == '#') {
    ++note;
    ++i;
  } else if (i < value.size() && value[i] == 'b') {
    --note;
    ++i;
  }
  int octave = 0;
  const auto [end, ec] = std::from_chars(value.data() + i, value.data() + value.size(), octave);
  if (ec != std::errc() || end != value.data() + value.size() || octave < -1 || octave > 9)
    return std::nullopt;
  note += (octave + 1) * 12;
  if (note < 0 || note > 127) return std::nullopt;
  return note;
}

std::optional<int> SfzOpcodeSuffix(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  if (digits.size() > 9) return std::nullopt;
  int n = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    n = n * 10 + (c - '0');
  }
  return n;
}

bool IsSfzControlOpcode(std::string_view name) {
  return name == "default_path" || SfzOpcodeSuffix(name, "set_cc") ||
         SfzOpcodeSuffix(name, "set_hdcc") || SfzOpcodeSuffix(name, "label_cc") ||
         SfzOpcodeSuffix(name, "label_key");
}

bool ApplySfzRegionOpcode(SfzRegion& r, std::string_view name, std::string_view value,
                          std::string& problem) {
  problem.clear();
  if (name == "sample") {
    r.strSample = std::string(value);
  } else if (name == "key") {
    // As in sfizz: -1 takes the region off the keys (key 60 is kept as its range).
    int key = 0;
    if (ParseSfzNumber(value) == -1.0) {
      r.bTriggerOnNote = false;
      r.nLoKey = r.nHiKey = r.nPitchKeycenter = 60;
    } else if (SetNote(key, value, problem)) {
      r.nLoKey = r.nHiKey = r.nPitchKeycenter = key;
      r.bTriggerOnNote = true;
    }
  } else if (name == "lokey") {
    SetNote(r.nLoKey, value, problem);
  } else if (name == "hikey") {
    if (ParseSfzNumber(value) == -1.0) {
      r.bTriggerOnNote = false;
      r.nHiKey = 127;
    } else if (SetNote(r.nHiKey, value, problem)) {
      r.bTriggerOnNote = true;
    }
  } else if (name == "pitch_keycenter") {
    SetNote(r.nPitchKeycenter, value, problem);
  } else if (name == "lovel") {
    SetInt(r.nLoVel, value, 0, 127, problem);
  } else if (name == "hivel") {
    SetInt(r.nHiVel, value, 0, 127, problem);
  } else if (name == "seq_length") {
    SetInt(r.nSeqLength, value, 1, 100, problem);
  } else if (name == "seq_position") {
    SetInt(r.nSeqPosition, value, 1, 100, problem);
  } else if (name == "lorand") {
    SetFloat(r.fLoRand, value, 0, 1, problem);
  } else if (name == "hirand") {
    SetFloat(r.fHiRand, value, 0, 1, problem);
  } else if (name == "trigger") {
    static const std::pair<std::string_view, SfzTrigger> words[] = {
        {"attack", SfzTrigger::Attack},
        {"release", SfzTrigger::Release},
        {"release_key", SfzTrigger::ReleaseKey},
        {"first", SfzTrigger::First},
        {"legato", SfzTrigger::Legato}};
    SetWord(r.trigger, value, words, problem);
  } else if (name == "group" || name == "polyphony_group") {
    SetInt(r.nGroup, value, -kInt32Max, 4294967295.0, problem);
  } else if (name == "off_by" || name == "offby") {
    int64_t by = 0;
    SetInt(by, value, -kInt32Max, 4294967295.0, problem);
    if (ParseSfzNumber(value)) r.nOffBy = by;
  } else if (name == "off_mode") {
    static const std::pair<std::string_view, SfzOffMode> words[] = {
        {"fast", SfzOffMode::Fast}, {"normal", SfzOffMode::Normal}, {"time", SfzOffMode::Time}};
    SetWord(r.offMode, value, words, problem);
  } else if (name == "off_time") {
    // As in sfizz: a fade time asks for the timed fade.
    SetFloat(r.fOffTime, value, 0, 100, problem);
    if (ParseSfzNumber(value)) r.offMode = SfzOffMode::Time;
  } else if (name == "off_shape") {
    SetFloat(r.fOffShape, value, -100, 100, problem);
  } else if (name == "polyphony") {
    int n = 0;
    SetInt(n, value, 0, 1024, problem);
    if (ParseSfzNumber(value)) r.nPolyphony = n;
  } else if (name == "note_polyphony") {
    int n = 0;
    SetInt(n, value, 1, 1024, problem);
    if (ParseSfzNumber(value)) r.nNotePolyphony = n;
  } else if (name == "loop_mode" || name == "loopmode") {
    static const std::pair<std::string_view, SfzLoopMode> words[] = {
        {"no_loop", SfzLoopMode::NoLoop},
        {"one_shot", SfzLoopMode::OneShot},
        {"loop_continuous", SfzLoopMode::LoopContinuous},
        {"loop_sustain", SfzLoopMode::LoopSustain}};
    SetWord(r.loopMode, value, words, problem);
  } else if (name == "end") {
    int64_t end = 0;
    SetInt(end, value, -1, kInt32Max, problem);
    if (ParseSfzNumber(value)) r.nEnd = end;
  } else if (name == "offset") {
    SetInt(r.nOffset, value, 0, kInt32Max, problem);
  } else if (name == "volume" || name == "gain") {
    SetFloat(r.fVolume, value, -144, 48, problem);
  } else if (name == "amplitude") {
    SetFloat(r.fAmplitude, value, 0, 10000, problem);
  } else if (name == "pan") {
    SetFloat(r.fPan, value, -100, 100, problem);
  } else if (name == "width") {
    SetFloat(r.fWidth, value, -100, 100, problem);
  } else if (name == "amp_veltrack") {
    SetFloat(r.fAmpVeltrack, value, -100, 100, problem);
  } else if (name == "ampeg_delay") {
    SetFloat(r.fAmpegDelay, value, 0, 100, problem);
  } else if (name == "ampeg_attack") {
    SetFloat(r.fAmpegAttack, value, 0, 100, problem);
  } else if (name == "ampeg_hold") {
    SetFloat(r.fAmpegHold, value, 0, 100, problem);
  } else if (name == "ampeg_decay") {
    SetFloat(r.fAmpegDecay, value, 0, 100, problem);
  } else if (name == "ampeg_sustain") {
    SetFloat(r.fAmpegSustain, value, 0, 100, problem);
  } else if (name == "ampeg_release") {
    SetFloat(r.fAmpegRelease, value, 0, 100, problem);
  } else if (name == "transpose") {
    SetInt(r.nTranspose, value, -127, 127, problem);
  } else if (name == "pitch_keytrack") {
    SetFloat(r.fPitchKeytrack, value, -1200, 1200, problem);
  } else if (name == "tune" || name == "pitch") {
    SetFloat(r.fTune, value, -2400, 2400, problem);
  } else if (name == "output") {
    SetInt(r.nOutput, value, 0, 1023, problem);
  } else {
    return ApplyControllerOpcode(r, name, value, problem);
  }
  return true;
}

}  // namespace thumper
