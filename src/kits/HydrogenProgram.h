#pragma once
// A Hydrogen kit compiled into the playing model as Hydrogen plays it.
// Control thread; plain values.

#include "kits/HydrogenKit.h"
#include "kits/KitPrograms.h"
#include "play/KitProgram.h"

namespace thumper {

KitProgramResult CompileHydrogenKit(const HydrogenKit& kit, const KitProgramOptions& options = {});

}  // namespace thumper
