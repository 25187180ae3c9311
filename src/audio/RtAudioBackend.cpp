// The system's drivers: RtAudio's output devices, then the silent device.

#include <RtAudio.h>
#include <jack/jack.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>

#include "audio/OutputDriverList.h"

#include "audio/JackServerWatch.h"
#include "audio/LibraryChatter.h"

namespace thumper {

namespace {

std::string ApiLabel(RtAudio::Api api) {
  switch (api) {
    case RtAudio::UNIX_JACK:
      return "JACK";
    case RtAudio::LINUX_PULSE:
      return "PulseAudio";
    case RtAudio::LINUX_ALSA:
      return "ALSA";
    case RtAudio::LINUX_OSS:
      return "OSS";
    default:
      return RtAudio::getApiDisplayName(api);
  }
}

std::unique_ptr<RtAudio> MakeRtAudio(RtAudio::Api api) {
  try {
    auto rt = std::make_unique<RtAudio>(api);
    rt->showWarnings(false);
    return rt;
  } catch (const RtAudioError&) {
    return nullptr;
  }
}

class RtAudioDevice;
// RtAudio 5's error callback carries no user pointer; one stream is open at a time.
std::atomic<RtAudioDevice*> g_pOpenDevice{nullptr};

class RtAudioDevice : public SoundDevice {
 public:
  RtAudioDevice(Reclaimer& reclaimer, uint32_t rate, std::string description,
                std::unique_ptr<RtAudio> rt)
      : SoundDevice(reclaimer, rate, std::move(description)), m_pRt(std::move(rt)) {}

  ~RtAudioDevice() override { StopPulling(); }

  void StopPulling() override {
    RtAudioDevice* self = this;
    g_pOpenDevice.compare_exchange_strong(self, nullptr);
    if (!m_pRt) return;
    // When the JACK server goes away RtAudio closes the stream itself, from a
    // thread of its own; a second close at the same time deadlocks in libjack.
    // A failed stream is given time to finish that close; one that is still
    // open then is left to it: the client and RtAudio are abandoned, and a
    // callback that still comes finds no device and plays silence.
    if (m_pRt->getCurrentApi() == RtAudio::UNIX_JACK && HasFailed()) {
      const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
      while (m_pRt->isStreamOpen() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (m_pRt->isStreamOpen()) {
        m_pTarget->pDevice.store(nullptr);
        (void)m_pTarget.release();
        (void)m_pRt.release();
        return;
      }
    }
    try {
      if (m_pRt->isStreamRunning()) m_pRt->abortStream();
      if (m_pRt->isStreamOpen()) m_pRt->closeStream();
    } catch (const RtAudioError&) {
    }
  }

  bool Start(unsigned device, uint32_t periodFrames) {
    RtAudio::StreamParameters params;
    params.deviceId = device;
    params.nChannels = kOutputChannels;
    RtAudio::StreamOptions options;
    options.flags = RTAUDIO_MINIMIZE_LATENCY | RTAUDIO_SCHEDULE_REALTIME;
    options.numberOfBuffers = 2;
    options.streamName = "Thumper";
    options.priority = 70;
    unsigned frames = std::clamp<uint32_t>(periodFrames, 16, Mixer::kMaxBlockFrames);
    try {
      g_pOpenDevice.store(this);
      m_pRt->openStream(&params, nullptr, RTAUDIO_FLOAT32, SampleRate(), &frames, &Callback,
                        m_pTarget.get(), &options, &OnError);
      m_nPeriod = frames;
      m_pRt->startStream();
      m_lastProgress = std::chrono::steady_clock::now();
      return m_pRt->isStreamRunning();
    } catch (const RtAudioError&) {
      return false;
    }
  }

  uint32_t PeriodFrames() const override { return m_nPeriod; }

  // UI thread. Besides RtAudio's own report, a stream whose callbacks stopped
  // coming for two seconds has failed: a JACK server that went away closes the
  // stream without telling us.
  bool HasFailed() const override {
    if (SoundDevice::HasFailed() || !m_pRt) return true;
    try {
      if (!m_pRt->isStreamRunning()) return true;
    } catch (const RtAudioError&) {
      return true;
    }
    const auto now = std::chrono::steady_clock::now();
    const uint64_t calls = m_nCallbacks.load(std::memory_order_relaxed);
    if (calls != m_nSeenCallbacks) {
      m_nSeenCallbacks = calls;
      m_lastProgress = now;
      return false;
    }
    return now - m_lastProgress > std::chrono::seconds(2);
  }

 private:
  // Real-time: RtAudio's callback thread.
  static int Callback(void* out, void*, unsigned frames, double, RtAudioStreamStatus,
                      void* user) noexcept {
    RtAudioDevice* self = static_cast<CallbackTarget*>(user)->pDevice.load();
    if (!self) {
      std::fill_n(static_cast<float*>(out), size_t{frames} * kOutputChannels, 0.0f);
      return 0;
    }
    self->m_pMixer->Mix(static_cast<float*>(out), frames);
    self->m_nCallbacks.fetch_add(1, std::memory_order_relaxed);
    return 0;
  }

  static void OnError(RtAudioError::Type type, const std::string&) {
    if (type == RtAudioError::WARNING || type == RtAudioError::DEBUG_WARNING) return;
    if (RtAudioDevice* d = g_pOpenDevice.load()) d->MarkFailed();
  }

  // What RtAudio calls back with; outlives the device when the stream is abandoned.
  struct CallbackTarget {
    explicit CallbackTarget(RtAudioDevice* device) : pDevice(device) {}
    std::atomic<RtAudioDevice*> pDevice;
  };
  std::unique_ptr<RtAudio> m_pRt;
  std::unique_ptr<CallbackTarget> m_pTarget = std::make_unique<CallbackTarget>(this);
  uint32_t m_nPeriod = 0;
  std::atomic<uint64_t> m_nCallbacks{0};
  mutable uint64_t m_nSeenCallbacks = 0;
  mutable std::chrono::steady_clock::time_point m_lastProgress = std::chrono::steady_clock::now();
};

// JACK runs at the server's rate; elsewhere 44,100 Hz if the device offers it.
uint32_t ChooseRate(RtAudio::Api api, const RtAudio::DeviceInfo& info) {
  if (api == RtAudio::UNIX_JACK && info.preferredSampleRate) return info.preferredSampleRate;
  if (info.sampleRates.empty() || std::find(info.sampleRates.begin(), info.sampleRates.end(),
                                            kOutputRate) != info.sampleRates.end())
    return kOutputRate;
  return info.preferredSampleRate ? info.preferredSampleRate : info.sampleRates.back();
}

std::unique_ptr<SoundDevice> OpenRtAudio(RtAudio::Api api, int device, const std::string& name,
                                         const std::string& description, Reclaimer& reclaimer,
                                         uint32_t periodFrames) {
  auto rt = MakeRtAudio(api);
  if (!rt) return nullptr;
  try {
    const unsigned count = rt->getDeviceCount();
    if (count == 0) return nullptr;
    unsigned index = device < 0 ? rt->getDefaultOutputDevice() : static_cast<unsigned>(device);
    if (device >= 0) {
      // Indexes may move between the enumeration and now; the name decides.
      if (index >= count || rt->getDeviceInfo(index).name != name) {
        index = count;
        for (unsigned i = 0; i < count; ++i)
          if (rt->getDeviceInfo(i).name == name) index = i;
        if (index == count) return nullptr;
      }
    }
    if (index >= count) return nullptr;
    const RtAudio::DeviceInfo info = rt->getDeviceInfo(index);
    if (!info.probed || info.outputChannels < kOutputChannels) return nullptr;
    const RtAudio::Api actual = rt->getCurrentApi();
    auto dev = std::make_unique<RtAudioDevice>(reclaimer, ChooseRate(actual, info), description,
                                               std::move(rt));
    if (!dev->Start(index, periodFrames)) return nullptr;
    return dev;
  } catch (const RtAudioError&) {
    return nullptr;
  }
}

std::vector<std::string> PortNames(jack_client_t* client, const char* type, unsigned long flags) {
  std::vector<std::string> names;
  if (const char** ports = jack_get_ports(client, nullptr, type, flags)) {
    for (const char** p = ports; *p; ++p) names.emplace_back(*p);
    jack_free(ports);
  }
  return names;
}

// How long the UI thread waits for a server to take a client.

// Closes a client made at a server's life, or abandons it when that server
// went away (see jack_watch::Abandon).
struct JackClientCloser {
  uint64_t nGeneration = 0;
  void operator()(jack_client_t* client) const {
    if (nGeneration != jack_watch::Generation())
      jack_watch::Abandon(client);
    else
      jack_client_close(client);
  }
};

class SystemBackend : public DriverBackend {
 public:
  bool Enumerate(OutputDriverList& list) override {
    SilenceLibraryChatter();
    EnumOutputDriver(nullptr, kDefaultDeviceDescription, "default", list);
    std::vector<RtAudio::Api> apis;
    RtAudio::getCompiledApi(apis);
    for (RtAudio::Api api : apis) {
      if (api == RtAudio::RTAUDIO_DUMMY || api == RtAudio::UNSPECIFIED) continue;
      if (api == RtAudio::UNIX_JACK) {
        EnumerateJack(list);
        continue;
      }
      auto rt = MakeRtAudio(api);
      if (!rt) continue;
      try {
        const unsigned count = rt->getDeviceCount();
        for (unsigned i = 0; i < count; ++i) {
          const RtAudio::DeviceInfo info = rt->getDeviceInfo(i);
          if (!info.probed || info.outputChannels == 0) continue;
          // The last place is kept for the silent device, so a driver always opens.
          if (list.m_nCount >= OutputDriverList::kMaxDrivers - 1) break;
          DriverId id{DriverId::Kind::RtAudioDevice, static_cast<int>(api), i, info.name};
          EnumOutputDriver(&id, ApiLabel(api) + ": " + info.name, RtAudio::getApiName(api), list);
        }
      } catch (const RtAudioError&) {
      }
    }
    DriverId silent{DriverId::Kind::Silent, 0, 0, {}};
    EnumOutputDriver(&silent, kSilentDeviceDescription, "silent", list);
    return true;
  }

  std::unique_ptr<SoundDevice> Open(const DriverId* guid, const std::string& description,
                                    Reclaimer& reclaimer, uint32_t periodFrames) override {
    SilenceLibraryChatter();
    if (!guid) {
      // RtAudio's own default is JACK whenever a server runs; ours is our client.
      if (jack_client_t* client = TakeListingClient())
        if (auto jack = JackClientDevice::Open(reclaimer, description, m_jack, client)) return jack;
      // Then RtAudio's default, but never through RtAudio's JACK: its probe
      // opens a client on this thread, on a server that just did not answer.
      std::vector<RtAudio::Api> apis;
      RtAudio::getCompiledApi(apis);
      for (RtAudio::Api api : apis) {
        if (api == RtAudio::UNIX_JACK || api == RtAudio::RTAUDIO_DUMMY) continue;
        if (auto device = OpenRtAudio(api, -1, {}, description, reclaimer, periodFrames))
          return device;
      }
      return nullptr;
    }
    if (static_cast<RtAudio::Api>(guid->nApi) == RtAudio::UNIX_JACK &&
        guid->kind == DriverId::Kind::RtAudioDevice) {
      jack_client_t* client = TakeListingClient();
      if (!client) return nullptr;
      return JackClientDevice::Open(reclaimer, description, m_jack, client);
    }
    DropListingClient();
    if (guid->kind == DriverId::Kind::Silent)
      return std::make_unique<SilentDevice>(reclaimer, description, periodFrames);
    return OpenRtAudio(static_cast<RtAudio::Api>(guid->nApi), static_cast<int>(guid->nDevice),
                       guid->strDevice, description, reclaimer, periodFrames);
  }

  void SetJackOptions(const JackClientOptions& options) override { m_jack = options; }

 private:
  // JACK's devices as RtAudio names them: one per client that has audio ports,
  // in the order of the server's port list, with the client's audio inputs as
  // its output channels. Listed through Thumper's own client while it has one;
  // RtAudio would open a client for the count and one more per device.
  void EnumerateJack(OutputDriverList& list) {
    std::optional<std::vector<std::string>> ports =
        jack_watch::ListPortsThroughOwnClient(JACK_DEFAULT_AUDIO_TYPE, 0);
    std::optional<std::vector<std::string>> inputs =
        jack_watch::ListPortsThroughOwnClient(JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    if (!ports || !inputs) {
      jack_client_t* client = ListingClient();
      if (!client) return;
      ports = PortNames(client, JACK_DEFAULT_AUDIO_TYPE, 0);
      inputs = PortNames(client, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    }
    std::vector<std::string> clients;
    for (const std::string& port : *ports) {
      const size_t colon = port.find(':');
      if (colon == std::string::npos) continue;
      std::string name = port.substr(0, colon);
      if (std::find(clients.begin(), clients.end(), name) == clients.end())
        clients.push_back(std::move(name));
    }
    for (unsigned i = 0; i < clients.size(); ++i) {
      const std::string prefix = clients[i] + ":";
      const bool hasInput = std::any_of(inputs->begin(), inputs->end(), [&](const std::string& p) {
        return p.compare(0, prefix.size(), prefix) == 0;
      });
      if (!hasInput) continue;
      if (list.m_nCount >= OutputDriverList::kMaxDrivers - 1) break;
      DriverId id{DriverId::Kind::RtAudioDevice, static_cast<int>(RtAudio::UNIX_JACK), i,
                  clients[i]};
      EnumOutputDriver(&id, ApiLabel(RtAudio::UNIX_JACK) + ": " + clients[i],
                       RtAudio::getApiName(RtAudio::UNIX_JACK), list);
    }
  }

  // Without a client of our own, the list is made through a client under our
  // own name that is kept, not activated, and becomes Thumper's client when a
  // JACK driver opens next: no client shows up only to be listed through.
  jack_client_t* ListingClient() {
    DropStaleListingClient();
    if (!m_pListing) {
      const uint64_t generation = jack_watch::Generation();
      m_pListing = {jack_watch::OpenClientWithin(m_jack.strName, jack_watch::kOpenLimit),
                    JackClientCloser{generation}};
      m_strListingName = m_jack.strName;
    }
    return m_pListing.get();
  }

  // The client a JACK driver opens as: the listing's, else one opened now, on
  // a thread of its own, so a server that does not answer cannot hold the UI
  // thread (null then, and the next driver is tried).
  jack_client_t* TakeListingClient() {
    DropStaleListingClient();
    if (m_pListing) return m_pListing.release();
    return jack_watch::OpenClientWithin(m_jack.strName, jack_watch::kOpenLimit);
  }

  // One made at an earlier server's life, or under a name no longer ours.
  void DropStaleListingClient() {
    if (m_pListing && (m_pListing.get_deleter().nGeneration != jack_watch::Generation() ||
                       m_strListingName != m_jack.strName))
      m_pListing.reset();
  }

  void DropListingClient() { m_pListing.reset(); }

  JackClientOptions m_jack;
  std::unique_ptr<jack_client_t, JackClientCloser> m_pListing;
  std::string m_strListingName;
};

}  // namespace

std::unique_ptr<DriverBackend> MakeSystemBackend() {
  return std::make_unique<SystemBackend>();
}

}  // namespace thumper
