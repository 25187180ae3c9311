// The C entry points the host calls, each handing on to the instance.

#include <lv2/core/lv2.h>
#include <lv2/state/state.h>
#include <lv2/worker/worker.h>

#include <cstdlib>
#include <cstring>

#include "ArdourMidnam.h"
#include "PluginUri.h"
#include "ThumperPlugin.h"

namespace {

using thumper::lv2::ThumperPlugin;

ThumperPlugin* Self(LV2_Handle instance) {
  return static_cast<ThumperPlugin*>(instance);
}

LV2_Handle Instantiate(const LV2_Descriptor* descriptor, double rate, const char*,
                       const LV2_Feature* const* features) {
  try {
    const bool multi = std::strcmp(descriptor->URI, THUMPER_LV2_MULTI_URI) == 0;
    return ThumperPlugin::Create(rate, features, multi ? thumper::lv2::kMorePairs : 0).release();
  } catch (...) {
    return nullptr;  // out of memory: the host reports a plugin that failed to load
  }
}

void ConnectPort(LV2_Handle instance, uint32_t port, void* data) {
  Self(instance)->ConnectPort(port, data);
}

void Activate(LV2_Handle) {}

// Real-time: the host's audio thread.
void Run(LV2_Handle instance, uint32_t frames) {
  Self(instance)->Run(frames);
}

void Deactivate(LV2_Handle) {}

void Cleanup(LV2_Handle instance) {
  delete Self(instance);
}

LV2_Worker_Status Work(LV2_Handle instance, LV2_Worker_Respond_Function respond,
                       LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  try {
    return Self(instance)->Work(respond, handle, size, data);
  } catch (...) {
    return LV2_WORKER_ERR_NO_SPACE;
  }
}

LV2_Worker_Status WorkResponse(LV2_Handle instance, uint32_t size, const void* data) {
  return Self(instance)->WorkResponse(size, data);
}

LV2_State_Status Save(LV2_Handle instance, LV2_State_Store_Function store, LV2_State_Handle handle,
                      uint32_t, const LV2_Feature* const* features) {
  try {
    return Self(instance)->Save(store, handle, features);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

LV2_State_Status Restore(LV2_Handle instance, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle handle, uint32_t, const LV2_Feature* const* features) {
  try {
    return Self(instance)->Restore(retrieve, handle, features);
  } catch (...) {
    return LV2_STATE_ERR_UNKNOWN;
  }
}

// A host's GUI thread; never the audio thread. Null tells the host there is
// no document (out of memory).
char* Midnam(LV2_Handle instance) {
  try {
    return Self(instance)->Midnam();
  } catch (...) {
    return nullptr;
  }
}

char* Model(LV2_Handle instance) {
  return Self(instance)->Model();
}

void FreeText(char* text) {
  std::free(text);
}

const void* ExtensionData(const char* uri) {
  static const LV2_Worker_Interface worker = {Work, WorkResponse, nullptr};
  static const LV2_State_Interface state = {Save, Restore};
  static const ArdourMidnamInterface midnam = {Midnam, Model, FreeText};
  if (std::strcmp(uri, LV2_WORKER__interface) == 0) return &worker;
  if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
  if (std::strcmp(uri, THUMPER_ARDOUR_MIDNAM__interface) == 0) return &midnam;
  return nullptr;
}

const LV2_Descriptor kDescriptor = {THUMPER_LV2_URI, Instantiate, ConnectPort,  Activate, Run,
                                    Deactivate,      Cleanup,     ExtensionData};
// "Thumper Multi": the same plugin with 16 more output pairs.
const LV2_Descriptor kMultiDescriptor = {
    THUMPER_LV2_MULTI_URI, Instantiate, ConnectPort, Activate, Run, Deactivate, Cleanup,
    ExtensionData};

}  // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index) {
  return index == 0 ? &kDescriptor : index == 1 ? &kMultiDescriptor : nullptr;
}
