#pragma once
// The plugin's identity. CMake reads these lines into the bundle's TTL
// files, so the URI is written here and nowhere else.

#define THUMPER_LV2_URI "urn:thumper:lv2:drum-module"
#define THUMPER_LV2_DRUM_SET_URI THUMPER_LV2_URI "#drumSet"
#define THUMPER_LV2_NOTE_MAP_URI THUMPER_LV2_URI "#noteMap"
// The "Memory" control's value as the session keeps it, beside the port's.
#define THUMPER_LV2_MEMORY_URI THUMPER_LV2_URI "#memory"
// "Thumper Multi", the plugin with 16 more output pairs, in the same bundle.
#define THUMPER_LV2_MULTI_URI THUMPER_LV2_URI "-multi"
