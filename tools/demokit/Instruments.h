#pragma once
// The demo kit's drums. Each voice takes a hardness h from 0 (the softest hit)
// to 1 (the hardest): a harder hit is brighter, longer and more driven, not
// just louder. Levels are set afterwards by Finish.

#include <cstdint>
#include <vector>

namespace thumper::demokit {

using Mono = std::vector<double>;

Mono Kick(double h, uint64_t seed);
Mono Snare(double h, uint64_t seed);
Mono SideStick(double h, uint64_t seed);
Mono Clap(double h, uint64_t seed);
Mono HiHat(double h, bool open, uint64_t seed);
Mono Tom(double pitchHz, double h, uint64_t seed);
Mono Crash(double h, uint64_t seed);
Mono Ride(double h, uint64_t seed);

}  // namespace thumper::demokit
