#include "kits/HydrogenProgram.h"

#include <algorithm>
#include <cmath>

namespace thumper {

namespace {
// Velocity 1..127 that a layer's [min, max] of 0..1 holds.
uint8_t VelocityOf(float fraction, bool low) {
  const float v = fraction * 127.0f;
  const int n =
      low ? static_cast<int>(std::ceil(v - 1e-4f)) : static_cast<int>(std::floor(v + 1e-4f));
  return static_cast<uint8_t>(std::clamp(n, 1, 127));
}
}  // namespace

// A first form: every instrument on note 36 + position, its layers by
// velocity at their own gain. The rest of Hydrogen's rules come on top.
KitProgramResult CompileHydrogenKit(const HydrogenKit& kit, const KitProgramOptions&) {
  KitProgramResult result;
  KitProgram program;
  program.strName = kit.strName;
  program.strPath = kit.strXmlPath;
  for (size_t i = 0; i < kit.instruments.size(); ++i) {
    const int n = 36 + static_cast<int>(i);
    if (n >= PlayProgram::kNoteCount) {
      program.warnings.push_back(kit.strXmlPath + ": instrument " + kit.instruments[i].strName +
                                 " lies past MIDI note 127 and does not play");
      continue;
    }
    const HydrogenInstrument& instrument = kit.instruments[i];
    KitNote& note = program.notes[n];
    note.strName = instrument.strName;
    note.nShowSlot = static_cast<uint8_t>(n - 36);
    KitSet set;
    set.selection = Selection::First;
    for (const HydrogenLayer& layer : instrument.layers) {
      KitRegion region;
      region.nSample = program.SampleIndex(layer.strPath, layer.fPitch);
      region.nVelocityLow = VelocityOf(layer.fMin, true);
      region.nVelocityHigh = VelocityOf(layer.fMax, false);
      region.fGain = layer.fGain;
      if (region.nVelocityLow <= region.nVelocityHigh) set.regions.push_back(std::move(region));
    }
    if (!set.regions.empty()) note.sets.push_back(std::move(set));
  }
  result.program = std::move(program);
  return result;
}

}  // namespace thumper
