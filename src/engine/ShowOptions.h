#pragma once
// The engine side of the Options dialog: what it is filled with before it is
// shown, and what its OK does to the running program. UI thread.

#include "drumset/UiServices.h"
#include "engine/ThumperRuntime.h"
#include "midi/MidiInput.h"
#include "midi/OptionsData.h"

namespace thumper {

// Fills data from the running program: the first 30 MIDI input ports, the drum
// set's device, the trigger's channel, and the output drivers with the one in
// use. ports is the device list to offer, in device-number order.
void PrepareOptions(ThumperRuntime& runtime, OptionsDlgData& data, const MidiPortList& ports);
// The same with this machine's MIDI input ports.
void PrepareOptions(ThumperRuntime& runtime, OptionsDlgData& data);

// Applies what the user chose, in this order: the channel at once; a changed
// device is stored in the drum set (which is not marked modified, as the choice
// is saved with the drum set only when the user saves it) and reopened; a
// changed driver is switched to, or the first driver that works is opened.
void ApplyOptions(ThumperRuntime& runtime, UiServices& ui, const OptionsDlgData& data);

}  // namespace thumper
