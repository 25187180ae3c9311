#pragma once
// A drum set compiled into the playing model, to play exactly as the drum set
// always has: per slot one set of five velocity regions from its scheme's
// thresholds (each region the layer's voice, or the one it falls back to), the
// drum sets' attenuation law, and the cut slot as a choke group of that slot's
// own voices, stopped after the start (so a slot that cuts itself falls
// silent). Notes below 36 play slot 0; a note-off does nothing. Each
// sounding slot plays on an output pair of its own (slots that cut one
// another share one), which only hosts with more pairs keep apart.

#include <array>

#include "drumset/DrumSet.h"
#include "play/PlayProgram.h"

namespace thumper {

struct TriggerSlot;

// Control thread. The slots as TriggerState resolves them.
void CompileDrumSet(const std::array<TriggerSlot, kSlotCount>& slots, PlayProgram& program);

// The velocity range [low, high] that picks layer of these thresholds
// (VelocityLayer's choice), within 1..127; low > high when none does.
std::array<int, 2> LayerVelocityRange(const std::array<int32_t, kThresholdCount>& threshold,
                                      int layer);

}  // namespace thumper
