#pragma once
// Choosing a drum set's five velocity schemes, each slot's scheme and the
// sample of each of its five rows so that the drum set plays, for as many
// (instrument, velocity) pairs as can be, the sample another player plays.
//
// A slot plays row L of its scheme for velocity v when v exceeds threshold L
// (and none before it), row 4 otherwise; a row without a sample of its own
// sounds the nearest louder row's. Rows may repeat a sample, so each row can
// play any sample: for a given scheme the best row sample is simply the one
// most played over the row's velocities, and the search is over the schemes.
// Any thread.

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "drumset/DrumSet.h"

namespace thumper {

constexpr int kMaxVelocity = 127;

// Per velocity 1..127 (index 0 unused), the sample the other player plays:
// an index into the instrument's own samples, or -1 for none we can play.
using VelocityTargets = std::array<int16_t, kMaxVelocity + 1>;

using Thresholds = std::array<int32_t, kThresholdCount>;

struct VelocityPlan {
  ThresholdTable thresholds = kDefaultThresholds;
  // Per instrument: its scheme, and each row's sample (-1 for an instrument
  // with nothing to play).
  std::vector<int> scheme;
  std::vector<std::array<int, kLayerCount>> rowSample;
  // Pairs (instrument, velocity) where both play the same sample, of all pairs.
  int64_t nAgree = 0;
  int64_t nTotal = 0;
};

// The row (0 loudest .. 4) that thresholds choose for a velocity.
int RowFor(const Thresholds& thresholds, int velocity);

// The plan for these instruments. Where five schemes can hold every
// instrument's targets exactly, every pair agrees.
VelocityPlan PlanVelocityLayers(std::span<const VelocityTargets> instruments);

}  // namespace thumper
