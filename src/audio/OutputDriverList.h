#pragma once
// The output drivers of one enumeration, in the platform's order, and the
// backend that lists and opens them.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "audio/JackClientDevice.h"
#include "audio/SoundDevice.h"

namespace thumper {

// What identifies one driver: our counterpart of a driver GUID.
struct DriverId {
  enum class Kind { RtAudioDevice, Silent };
  Kind kind = Kind::RtAudioDevice;
  int nApi = 0;           // RtAudio::Api
  unsigned nDevice = 0;   // RtAudio device index at enumeration time
  std::string strDevice;  // its name, to find it again if the indexes moved
};

struct OutputDriverList {
  static constexpr int kMaxDrivers = 20;
  // Slot i identifies driver i; the default device's slot holds none.
  std::array<std::unique_ptr<DriverId>, kMaxDrivers> m_pGuid;
  std::vector<std::string> m_strDescription;
  std::vector<std::string> m_strModule;
  int m_nCount = 0;
};

// Appends one driver; always true so that the enumeration goes on. A driver
// beyond the 20th is left out.
bool EnumOutputDriver(const DriverId* guid, const std::string& description,
                      const std::string& module, OutputDriverList& list);

// Lists and opens drivers. The system backend offers RtAudio's devices and the
// silent device; tests put in a scripted one.
class DriverBackend {
 public:
  virtual ~DriverBackend() = default;
  // Calls EnumOutputDriver for every driver; false when the enumeration failed.
  virtual bool Enumerate(OutputDriverList& list) = 0;
  // Opens and starts a driver (guid null: the default device); nothing when it
  // does not open. UI thread.
  virtual std::unique_ptr<SoundDevice> Open(const DriverId* guid, const std::string& description,
                                            Reclaimer& reclaimer, uint32_t periodFrames) = 0;
  // How a JACK client opened from now on is named and connected.
  virtual void SetJackOptions(const JackClientOptions&) {}
};

inline constexpr const char* kDefaultDeviceDescription = "Default output device";
inline constexpr const char* kSilentDeviceDescription = "No audio output";

// RtAudio's output devices on every compiled API (JACK, PulseAudio, ALSA) after
// the default device, then "No audio output". A JACK entry, and the default
// device while a JACK server runs, open Thumper's own JACK client.
std::unique_ptr<DriverBackend> MakeSystemBackend();

}  // namespace thumper
