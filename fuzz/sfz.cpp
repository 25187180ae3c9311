// Any bytes given to the SFZ reader as a kit: it reads a kit or says why
// not, within its limits, and every region it keeps has values in the
// ranges the format gives. The input may include itself under other names
// (inc1.sfz, inc2.sfz, ...) to reach the include limits. A kit read is then
// compiled for the playing model, and every index the program holds must be
// in range.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "kits/SfzProgram.h"
#include "kits/SfzReader.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

void CheckRange(const thumper::SfzCcRange& r) {
  Check(r.nCc >= 0 && r.nCc < thumper::kSfzControllerCount);
  Check(r.nLo >= 0 && r.nLo <= 127 && r.nHi >= 0 && r.nHi <= 127);
}

void CheckSets(const thumper::KitProgram& p, const thumper::KitNote* note,
               const std::vector<thumper::KitSet>& sets) {
  using namespace thumper;
  for (const KitSet& set : sets) {
    Check(set.regions.size() <= PlayProgram::kMaxSetRegions);
    for (const KitRegion& r : set.regions) {
      Check(r.nSample == KitRegion::kNoSample || r.nSample < p.samples.size());
      Check(r.nVelocityLow >= 1 && r.nVelocityLow <= r.nVelocityHigh && r.nVelocityHigh <= 127);
      Check(r.bCurveLaw && r.nVelocityCurve < p.curves.size());
      for (const Modulation& m : r.modulations)
        Check(m.nCurve < p.curves.size() && m.nController <= ControllerRange::kPolyPressure &&
              std::isfinite(m.fDepth));
      for (const ControllerRange& c : r.conditions)
        Check(c.nController <= ControllerRange::kPolyPressure && c.nLow <= c.nHigh);
      Check(r.nChokeGroup < static_cast<int32_t>(p.nGroupCount));
      for (uint32_t g : r.stopsGroupsFirst)
        Check((g & ~ChokeGroup::kSpareWhileHeld) < p.nGroupCount);
      if (r.nSequenceLength > 1) Check(note && r.nSequence < note->sequences.size());
      Check(std::isfinite(r.fGain) && r.fGain >= 0 && std::isfinite(r.fPanLeft) &&
            std::isfinite(r.fPanRight) && std::isfinite(r.fReleaseFadeSeconds));
    }
  }
}

void CheckProgram(const thumper::KitProgram& p) {
  using namespace thumper;
  Check(p.groups.size() == p.nGroupCount);
  for (const KitSample& s : p.samples) Check(std::abs(s.fPitch) <= 48.0f);
  for (const KitNote& note : p.notes) {
    Check(note.sequences.size() <= PlayProgram::kMaxNoteSequences);
    for (uint32_t c : note.sequences) Check(c < p.nSequenceCount);
    CheckSets(p, &note, note.sets);
    CheckSets(p, &note, note.releaseSets);
    CheckSets(p, &note, note.pressureSets);
  }
  for (const auto& sets : p.controllerTriggers) CheckSets(p, nullptr, sets);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace thumper;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  SfzReadOptions options;
  options.bFindSamples = false;
  options.limits.nMaxFiles = 32;
  options.limits.nMaxRegions = 2000;
  options.limits.nMaxTotalBytes = size_t{4} << 20;
  options.limits.nMaxMessages = 50;
  options.reader = [&](const std::string& path, size_t maxBytes,
                       std::string& error) -> std::optional<std::string> {
    const std::string_view name = std::string_view(path).substr(path.rfind('/') + 1);
    if (name.substr(0, 3) != "inc" || text.size() > maxBytes) {
      error = "no such file";
      return std::nullopt;
    }
    return std::string(text);
  };
  const SfzReadResult r = ParseSfzText(text, "/kits/fuzz/kit.sfz", options);
  Check(r.messages.size() <= options.limits.nMaxMessages);
  if (!r.kit) {
    Check(!r.strError.empty());
    return 0;
  }
  const SfzKit& kit = *r.kit;
  Check(!kit.regions.empty() && kit.regions.size() <= options.limits.nMaxRegions);
  Check(std::any_of(kit.regions.begin(), kit.regions.end(),
                    [](const SfzRegion& g) { return !g.PlaysNothing(); }));
  for (const SfzRegion& g : kit.regions) {
    Check(!g.strSample.empty() && g.strSamplePath.empty());
    Check(g.nLoKey >= 0 && g.nLoKey <= 127 && g.nHiKey >= 0 && g.nHiKey <= 127);
    Check(g.nPitchKeycenter >= 0 && g.nPitchKeycenter <= 127);
    Check(g.nLoVel >= 0 && g.nLoVel <= 127 && g.nHiVel >= 0 && g.nHiVel <= 127);
    Check(g.nSeqLength >= 1 && g.nSeqLength <= 100 && g.nSeqPosition >= 1 && g.nSeqPosition <= 100);
    Check(g.fLoRand >= 0 && g.fLoRand <= 1 && g.fHiRand >= 0 && g.fHiRand <= 1);
    Check(g.fVolume >= -144 && g.fVolume <= 48 && g.fPan >= -100 && g.fPan <= 100);
    Check(g.fOffTime >= 0 && std::isfinite(g.fAmplitude) && g.nOffset >= 0);
    Check(!g.nEnd || *g.nEnd >= -1);
    for (const SfzCcRange& c : g.ccConditions) CheckRange(c);
    for (const SfzCcRange& c : g.ccTriggers) CheckRange(c);
    for (const auto* mods : {&g.amplitudeCc, &g.volumeCc, &g.panCc})
      for (const SfzCcModulation& m : *mods)
        Check(m.nCc >= 0 && m.nCc < kSfzControllerCount && m.nCurve >= 0 && m.nCurve <= 255 &&
              std::isfinite(m.fDepth));
    for (size_t i = 0; i < g.ampVelcurve.size(); ++i)
      Check(g.ampVelcurve[i].first >= 0 && g.ampVelcurve[i].first <= 127 &&
            (i == 0 || g.ampVelcurve[i - 1].first < g.ampVelcurve[i].first));
  }
  for (const SfzCurve& c : kit.curves) {
    Check(c.nIndex >= 0 && c.nIndex <= 255);
    for (float p : c.points) Check(std::isfinite(p));
  }
  for (const auto& [cc, v] : kit.ccDefaults)
    Check(cc >= 0 && cc < kSfzControllerCount && v >= 0 && v <= 1);

  // As if every sample were on disk; a kit of many wide regions is left to the tests.
  if (kit.regions.size() > 200) return 0;
  SfzKit found = kit;
  for (SfzRegion& g : found.regions)
    if (!g.bSilence) g.strSamplePath = "/kits/fuzz/" + g.strSample;
  const KitProgramResult compiled = CompileSfzKit(found);
  Check(compiled.program.has_value() != !compiled.strError.empty());
  if (compiled.program) CheckProgram(*compiled.program);
  return 0;
}
