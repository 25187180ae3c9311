#pragma once
// An SFZ kit compiled into the playing model as sfizz plays it: every region
// on every key of its range, chosen by velocity, controllers, sequence and
// random; its level by sfizz's velocity curve, amplitude, volume and the
// controllers that modulate them; sfizz's pan law; group and off_by chokes
// with their fades; release and controller-started regions; the controllers'
// starting values. Control thread; plain values.

#include "kits/KitPrograms.h"
#include "kits/SfzKit.h"
#include "play/KitProgram.h"

namespace thumper {

KitProgramResult CompileSfzKit(const SfzKit& kit, const KitProgramOptions& options = {});

// sfizz's velocity response of a region (0..1 for velocity 0..127): its
// amp_velcurve_N points drawn straight between (0 at 0, 1 at 127 where not
// given), else velocity squared, then bent by amp_veltrack.
PlayProgram::Curve SfzVelocityCurve(const SfzRegion& region);

}  // namespace thumper
