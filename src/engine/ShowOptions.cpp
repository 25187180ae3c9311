#include "engine/ShowOptions.h"

#include <algorithm>

#include "audio/OutputDriverList.h"

namespace thumper {

void PrepareOptions(ThumperRuntime& runtime, OptionsDlgData& data, const MidiPortList& ports) {
  const int listed =
      std::min<int>(static_cast<int>(ports.names.size()), OptionsDlgData::kMaxMidiIn);
  for (int i = 0; i < listed; ++i) {
    data.m_strMidiIn[i] = ports.names[i];
    data.m_nLastMidiIn = i;
  }

  data.m_nMidiIn = runtime.m_doc.m_nMidiInDevice;
  data.m_nChannel = runtime.m_trigger.Channel();

  OutputDriverList drivers;
  if (runtime.m_output.EnumerateDrivers(drivers)) {
    data.m_nDriverCount = std::min(drivers.m_nCount, OptionsDlgData::kMaxDrivers);
    for (int i = 0; i < data.m_nDriverCount; ++i) data.m_strDriver[i] = drivers.m_strDescription[i];
    // The list moves when a server comes or goes (a JACK server started after
    // the fallback to "No audio output"): the driver in use keeps its entry.
    const SoundDevice* device = runtime.m_output.m_pDirectSound.get();
    int& inUse = runtime.m_output.m_nOutputDriver;
    const bool stale = inUse < 0 || inUse >= drivers.m_nCount ||
                       (device && drivers.m_strDescription[inUse] != device->Description());
    if (device && stale) {
      for (int i = 0; i < drivers.m_nCount; ++i)
        if (drivers.m_strDescription[i] == device->Description()) inUse = i;
    }
  }
  // Also when the list could not be made: OK with an empty box must not switch
  // away from the driver in use to driver 0.
  data.m_nDriver = runtime.m_output.m_nOutputDriver;
}

void PrepareOptions(ThumperRuntime& runtime, OptionsDlgData& data) {
  PrepareOptions(runtime, data, runtime.m_midiIn.ListPorts());
}

void ApplyOptions(ThumperRuntime& runtime, UiServices& ui, const OptionsDlgData& data) {
  // From the next message on; the trigger ignores a channel outside 1..16.
  runtime.m_trigger.SetChannel(data.m_nChannel);

  if (data.m_nMidiIn != runtime.m_doc.m_nMidiInDevice) {
    runtime.m_doc.m_nMidiInDevice = data.m_nMidiIn;
    runtime.m_midiIn.MidiInOpenClose(0, 0);
    runtime.m_midiIn.MidiInOpenClose(runtime.m_doc.m_nMidiInDevice, 1);
  }

  AudioOutput& output = runtime.m_output;
  if (data.m_nDriver != output.m_nOutputDriver) {
    output.m_nOutputDriver = data.m_nDriver;
    // A switch reloads every voice on the new device; so does the fallback.
    if (output.InitDirectSound(ui, true) == 0) output.InitDirectSound(ui, false);
  }
}

}  // namespace thumper
