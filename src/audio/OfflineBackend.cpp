#include "audio/OfflineBackend.h"

namespace thumper {

namespace {

class OfflineBackend : public DriverBackend {
 public:
  bool Enumerate(OutputDriverList& list) override {
    DriverId id;
    id.kind = DriverId::Kind::Silent;
    return EnumOutputDriver(&id, kOfflineDeviceDescription, "", list);
  }
  std::unique_ptr<SoundDevice> Open(const DriverId*, const std::string& description,
                                    Reclaimer& reclaimer, uint32_t) override {
    auto device = std::make_unique<PulledDevice>(reclaimer, kOutputRate, description);
    // A render is not held to time: it waits for a streamed sample's disk.
    device->GetMixer().SetStreamingWaits(true);
    return device;
  }
};

}  // namespace

std::unique_ptr<DriverBackend> MakeOfflineBackend() {
  return std::make_unique<OfflineBackend>();
}

}  // namespace thumper
