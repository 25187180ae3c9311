#pragma once
// Ardour's MIDNAM extension for LV2, which no LV2 package ships: the plugin
// hands the host a MIDINameDocument for its piano roll, and tells the host
// when it has a new one. Declared here as Ardour defines it
// (libs/ardour/ardour/lv2_extensions.h).

#include <lv2/core/lv2.h>

#define THUMPER_ARDOUR_MIDNAM_URI "http://ardour.org/lv2/midnam"
#define THUMPER_ARDOUR_MIDNAM__interface THUMPER_ARDOUR_MIDNAM_URI "#interface"
#define THUMPER_ARDOUR_MIDNAM__update THUMPER_ARDOUR_MIDNAM_URI "#update"

extern "C" {

// The host's feature: update asks it to read the document again.
struct ArdourMidnamHost {
  void* handle;
  void (*update)(void* handle);
};

// The plugin's extension data. The host frees what midnam and model return
// with free; model names the instance (unique among the host's instances).
struct ArdourMidnamInterface {
  char* (*midnam)(LV2_Handle instance);
  char* (*model)(LV2_Handle instance);
  void (*free)(char* text);
};
}
