#pragma once
// The demo song: one minute of groove for the demo kit, as the bytes of a
// format 0 Standard MIDI File on channel 1.

#include <cstdint>
#include <vector>

namespace thumper::demokit {

// General MIDI drum notes the kit answers.
namespace gm {
inline constexpr int kKick = 36, kSideStick = 37, kSnare = 38, kClap = 39, kClosedHat = 42,
                     kLowTom = 45, kOpenHat = 46, kMidTom = 47, kCrash = 49, kHighTom = 50,
                     kRide = 51;
}

inline constexpr int kGrooveBpm = 112;
inline constexpr int kGrooveBars = 28;  // 112 beats at 112 BPM: one minute
inline constexpr int kTicksPerQuarter = 480;

std::vector<uint8_t> DemoGrooveMidi();

}  // namespace thumper::demokit
