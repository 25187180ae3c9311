#pragma once
// What the Options dialog shows and returns: the MIDI input device names, the
// output driver descriptions, and the user's choices. Plain data, so the engine
// side prepares and applies it without Qt.

#include <array>
#include <string>

namespace thumper {

struct OptionsDlgData {
  static constexpr int kMaxMidiIn = 30;
  static constexpr int kMaxDrivers = 30;

  std::array<std::string, kMaxMidiIn> m_strMidiIn;  // index = device number
  int m_nLastMidiIn = 0;                            // index of the last name listed
  int m_nMidiIn = 0;                                // the chosen device
  int m_nDriver = 0;       // the chosen driver, index in the enumeration order
  int m_nDriverCount = 0;  // driver names listed
  std::array<std::string, kMaxDrivers> m_strDriver;
  int m_nChannel = 0;  // MIDI channel, 1 to 16
};

}  // namespace thumper
