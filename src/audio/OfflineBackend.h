#pragma once
// A driver list with one entry, a device that the caller pulls: what the
// offline renderer opens in place of the system's drivers.

#include <memory>

#include "audio/OutputDriverList.h"

namespace thumper {

inline constexpr const char* kOfflineDeviceDescription = "Offline render";

std::unique_ptr<DriverBackend> MakeOfflineBackend();

}  // namespace thumper
