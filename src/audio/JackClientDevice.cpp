#include "audio/JackClientDevice.h"

#include <jack/metadata.h>
#include <jack/midiport.h>
#include <jack/uuid.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "audio/JackCallbackGuard.h"
#include "audio/JackServerWatch.h"
#include "audio/LibraryChatter.h"

namespace thumper {

namespace {

// JACK's own clock, which its cycle times are given on.
int64_t JackMicros() noexcept {
  return static_cast<int64_t>(jack_get_time());
}

// Whether a client of this name other than ours has ports: asked before ours
// are registered.
bool NameHasPorts(jack_client_t* client, const std::string& name) {
  std::string pattern = "^";
  for (char c : name) {
    if (std::strchr("\\^$.|?*+()[]{}", c)) pattern += '\\';
    pattern += c;
  }
  pattern += ':';
  const char** ports = jack_get_ports(client, pattern.c_str(), nullptr, 0);
  const bool any = ports && ports[0];
  if (ports) jack_free(ports);
  return any;
}

// The name JACK 2 would have given: "Thumper-01", "Thumper-02", ...
std::string FreeName(jack_client_t* client, const std::string& name) {
  char suffix[8];
  for (int n = 1; n < 100; ++n) {
    std::snprintf(suffix, sizeof suffix, "-%02d", n);
    if (!NameHasPorts(client, name + suffix)) return name + suffix;
  }
  return name;
}

constexpr uint32_t PackMessage(uint8_t status, uint8_t d1, uint8_t d2) {
  return uint32_t{status} | uint32_t{d1} << 8 | uint32_t{d2} << 16;
}

}  // namespace

JackClientDevice::JackClientDevice(Reclaimer& reclaimer, uint32_t rate, std::string description,
                                   jack_client_t* client)
    : SoundDevice(reclaimer, rate, std::move(description)),
      m_pClient(client),
      m_nJackGeneration(jack_watch::Generation()),
      m_pEvents(std::make_unique<MidiEventAt[]>(kMaxCycleEvents)) {}

std::unique_ptr<JackClientDevice> JackClientDevice::Open(Reclaimer& reclaimer,
                                                         std::string description,
                                                         const JackClientOptions& options,
                                                         jack_client_t* opened) {
  SilenceLibraryChatter();
  jack_status_t status{};
  // Without JackUseExactName the server gives the next free name ("Thumper-01")
  // when ours is taken.
  jack_client_t* client =
      opened ? opened : jack_client_open(options.strName.c_str(), JackNoStartServer, &status);
  if (!client) return nullptr;
  // PipeWire's libjack gives the asked name even when it is taken, and without
  // the name-taken flag, while the others then see us as "Thumper-46": our
  // own name would be wrong everywhere we print it or connect by it. A client
  // of a free name is made in its place, before anything is registered.
  if (const char* given = jack_get_client_name(client); given && NameHasPorts(client, given)) {
    const std::string name = FreeName(client, given);
    jack_client_close(client);
    client = jack_watch::OpenClientWithin(
        name, jack_watch::kOpenLimit,
        static_cast<jack_options_t>(JackNoStartServer | JackUseExactName));
    if (!client) return nullptr;
  }
  const jack_nframes_t rate = jack_get_sample_rate(client);
  std::unique_ptr<JackClientDevice> device(
      new JackClientDevice(reclaimer, rate, std::move(description), client));
  if (!device->Setup(options)) return nullptr;  // the destructor closes the client
  jack_watch::AdoptOwnClient(client, device->m_nJackGeneration);
  return device;
}

bool JackClientDevice::Setup(const JackClientOptions& options) {
  if (const char* name = jack_get_client_name(m_pClient)) m_strClientName = name;
  m_bMultiOut = options.bMultiOut;
  if (m_bMultiOut) m_pScratch = std::make_unique<float[]>(kScratchFrames);
  m_pMidiIn = jack_port_register(m_pClient, kJackMidiPortName, JACK_DEFAULT_MIDI_TYPE,
                                 JackPortIsInput | JackPortIsTerminal, 0);
  for (int c = 0; c < 2; ++c)
    m_pOut[c] = jack_port_register(m_pClient, kJackOutPortNames[c], JACK_DEFAULT_AUDIO_TYPE,
                                   JackPortIsOutput | JackPortIsTerminal, 0);
  if (!m_pMidiIn || !m_pOut[0] || !m_pOut[1]) return false;
  m_nPeriod.store(jack_get_buffer_size(m_pClient), std::memory_order_relaxed);
  if (jack_set_process_callback(m_pClient, &Process, this) != 0 ||
      jack_set_buffer_size_callback(m_pClient, &BufferSize, this) != 0 ||
      jack_set_latency_callback(m_pClient, &Latency, this) != 0 ||
      jack_set_xrun_callback(m_pClient, &Xrun, this) != 0 ||
      jack_set_freewheel_callback(m_pClient, &Freewheel, this) != 0 ||
      jack_set_sample_rate_callback(m_pClient, &SampleRate, this) != 0)
    return false;
  // Servers call one of the two: JACK 2 the one with the reason, PipeWire's
  // libjack only the plain one.
  jack_on_info_shutdown(m_pClient, &Shutdown, this);
  jack_on_shutdown(m_pClient, &PlainShutdown, this);
  if (jack_activate(m_pClient) != 0) return false;
  m_bActive = true;
  if (options.bConnectOutputs) ConnectOutputs();
  return true;
}

void JackClientDevice::ConnectOutputs() {
  const char** playback = jack_get_ports(m_pClient, nullptr, JACK_DEFAULT_AUDIO_TYPE,
                                         JackPortIsPhysical | JackPortIsInput);
  if (!playback) return;
  // A mono system gets both channels on its one port.
  for (int c = 0; c < 2 && playback[0]; ++c) {
    const char* target = playback[c == 1 && playback[1] ? 1 : 0];
    jack_connect(m_pClient, jack_port_name(m_pOut[c]), target);
  }
  jack_free(playback);
}

JackClientDevice::~JackClientDevice() {
  StopPulling();
}

void JackClientDevice::StopPulling() {
  if (m_bClosed) return;
  m_bClosed = true;
  jack_client_t* client = m_pClient;  // the process callback reads it until the close
  // A server that died a moment ago may not have said so yet: ask it, since
  // deactivating a client whose server is going crashes inside libjack.
  const bool usable =
      !m_bServerGone.load(std::memory_order_acquire) && jack_watch::ClientUsable(m_nJackGeneration);
  jack_watch::ReleaseOwnClient(client);
  if (!usable) {
    jack_watch::Abandon(client);
    return;
  }
  if (m_bActive) jack_deactivate(client);
  jack_client_close(client);
}

bool JackClientDevice::HasFailed() const {
  return SoundDevice::HasFailed() || m_bServerGone.load(std::memory_order_acquire);
}

// Real-time: JACK's process thread.
int JackClientDevice::Process(jack_nframes_t frames, void* arg) {
  JackCallbackGuard guard;
  jack_watch::NoteCycle();
  auto* self = static_cast<JackClientDevice*>(arg);
  auto* left = static_cast<float*>(jack_port_get_buffer(self->m_pOut[0], frames));
  auto* right = static_cast<float*>(jack_port_get_buffer(self->m_pOut[1], frames));
  void* midi = jack_port_get_buffer(self->m_pMidiIn, frames);
  size_t count = 0;
  const uint32_t n = midi ? jack_midi_get_event_count(midi) : 0;
  for (uint32_t i = 0; i < n; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, midi, i) != 0 || event.size == 0) continue;
    const uint8_t status = event.buffer[0];
    // A JACK MIDI event is one whole message: no running status. System
    // exclusive, common and real-time messages are not for the trigger.
    if (status < 0x80 || status >= 0xF0) {
      self->m_midi.nIgnored.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    if (count == kMaxCycleEvents) {
      self->m_midi.nDropped.fetch_add(1, std::memory_order_relaxed);
      continue;
    }
    const uint8_t d1 = event.size > 1 ? event.buffer[1] : 0;
    const uint8_t d2 = event.size > 2 ? event.buffer[2] : 0;
    self->m_pEvents[count++] = {event.time, PackMessage(status, d1, d2)};
  }
  CycleTime time;
  jack_nframes_t cycleFrames = 0;
  jack_time_t current = 0, next = 0;
  float periodMicros = 0;
  if (jack_get_cycle_times(self->m_pClient, &cycleFrames, &current, &next, &periodMicros) == 0) {
    time.nStartMicros = static_cast<int64_t>(current);
    time.pClock = &JackMicros;
  }
  MixTarget out = MixTarget::Planar(left, right);
  const PairTable* pairs = self->m_pPairs.load(std::memory_order_acquire);
  if (pairs && pairs->nMore > 0 && frames <= kScratchFrames) {
    for (uint32_t k = 1; k <= pairs->nMore; ++k) {
      jack_port_t* l = pairs->pPort[2 * k];
      jack_port_t* r = pairs->pPort[2 * k + 1];
      float* scratch = self->m_pScratch.get();
      self->m_more[k - 1] =
          MixTarget::Planar(l ? static_cast<float*>(jack_port_get_buffer(l, frames)) : scratch,
                            r ? static_cast<float*>(jack_port_get_buffer(r, frames)) : scratch);
    }
    out = out.WithMore(self->m_more.data(), pairs->nMore);
  }
  self->RenderCycle(out, frames, {self->m_pEvents.get(), count}, time);
  self->m_nCycles.fetch_add(1, std::memory_order_release);
  return 0;
}

bool JackClientDevice::WaitForNextCycle() {
  // Two counts on: a cycle that had read the old table before the change
  // has ended by then.
  const uint64_t start = m_nCycles.load(std::memory_order_acquire);
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  while (m_nCycles.load(std::memory_order_acquire) < start + 2) {
    if (!m_bActive || HasFailed() || std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

void JackClientDevice::SetOutputPairs(const std::vector<OutputPairPorts>& wanted) {
  if (!m_bMultiOut || m_bClosed || wanted == m_pairs) return;
  auto table = std::make_unique<PairTable>();
  std::map<std::string, jack_port_t*> kept;
  for (const OutputPairPorts& pair : wanted) {
    if (pair.nOutput == 0 || pair.nOutput >= Mixer::kMaxOutputs) continue;
    for (int c = 0; c < 2; ++c) {
      const std::string name = pair.strPortBase + (c == 0 ? "_L" : "_R");
      jack_port_t* port = nullptr;
      if (auto it = m_pairPort.find(name); it != m_pairPort.end()) {
        port = it->second;
      } else {
        port = jack_port_register(m_pClient, name.c_str(), JACK_DEFAULT_AUDIO_TYPE,
                                  JackPortIsOutput | JackPortIsTerminal, 0);
        if (!port) continue;  // the name is taken: this pair plays on scratch
        const std::string pretty = pair.strPrettyName + (c == 0 ? " L" : " R");
        jack_set_property(m_pClient, jack_port_uuid(port), JACK_METADATA_PRETTY_NAME,
                          pretty.c_str(), "text/plain");
      }
      kept[name] = port;
      table->pPort[2 * pair.nOutput + c] = port;
    }
    table->nMore = std::max<uint32_t>(table->nMore, pair.nOutput);
  }
  m_pPairs.store(table.get(), std::memory_order_release);
  m_pairTables.push_back(std::move(table));
  m_pairs = wanted;
  // Ports and tables that went are let go only once no cycle can read them;
  // while no port goes, the few old tables wait for a later change.
  const bool portGoes = std::any_of(m_pairPort.begin(), m_pairPort.end(),
                                    [&](const auto& entry) { return !kept.count(entry.first); });
  if (!portGoes && m_pairTables.size() <= 8) {
    m_pairPort = std::move(kept);
    return;
  }
  if (!WaitForNextCycle()) {
    for (auto& [name, port] : m_pairPort) kept.emplace(name, port);
    m_pairPort = std::move(kept);
    return;
  }
  for (auto& [name, port] : m_pairPort)
    if (!kept.count(name)) jack_port_unregister(m_pClient, port);
  m_pairPort = std::move(kept);
  m_pairTables.erase(m_pairTables.begin(), m_pairTables.end() - 1);
}

int JackClientDevice::BufferSize(jack_nframes_t frames, void* arg) {
  JackCallbackGuard guard;
  // The mixer takes any cycle length in fixed steps and the event list has a
  // fixed size, so nothing is reallocated for a new size.
  static_cast<JackClientDevice*>(arg)->m_nPeriod.store(frames, std::memory_order_relaxed);
  return 0;
}

void JackClientDevice::Latency(jack_latency_callback_mode_t mode, void* arg) {
  JackCallbackGuard guard;
  auto* self = static_cast<JackClientDevice*>(arg);
  // A note leaves in the cycle it came in: the ports pass latency through
  // unchanged, as an instrument does.
  jack_latency_range_t range;
  if (mode == JackCaptureLatency) {
    jack_port_get_latency_range(self->m_pMidiIn, JackCaptureLatency, &range);
    for (jack_port_t* out : self->m_pOut)
      jack_port_set_latency_range(out, JackCaptureLatency, &range);
  } else {
    jack_latency_range_t widest{0, 0};
    for (jack_port_t* out : self->m_pOut) {
      jack_port_get_latency_range(out, JackPlaybackLatency, &range);
      widest.min = std::max(widest.min, range.min);
      widest.max = std::max(widest.max, range.max);
    }
    jack_port_set_latency_range(self->m_pMidiIn, JackPlaybackLatency, &widest);
  }
}

int JackClientDevice::Xrun(void* arg) {
  JackCallbackGuard guard;
  static_cast<JackClientDevice*>(arg)->m_nXruns.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

void JackClientDevice::Freewheel(int starting, void* arg) {
  JackCallbackGuard guard;
  auto* self = static_cast<JackClientDevice*>(arg);
  self->m_bFreewheel.store(starting != 0, std::memory_order_relaxed);
  // An export runs the cycles as fast as they go: streamed samples wait for
  // the disk, as a render does, instead of playing silence.
  self->GetMixer().SetStreamingWaits(starting != 0);
}

int JackClientDevice::SampleRate(jack_nframes_t rate, void* arg) {
  JackCallbackGuard guard;
  // JACK 2 calls it once when it is set, with the rate we opened at.
  static_cast<JackClientDevice*>(arg)->NoteDeviceRate(rate);
  return 0;
}

void JackClientDevice::PlainShutdown(void* arg) {
  JackCallbackGuard guard;
  Shutdown(JackServerError, nullptr, arg);
}

void JackClientDevice::Shutdown(jack_status_t, const char*, void* arg) {
  JackCallbackGuard guard;
  // Async-signal context: flags only. The UI's poll sees the failure and
  // falls back to the silent device.
  auto* self = static_cast<JackClientDevice*>(arg);
  self->m_bServerGone.store(true, std::memory_order_release);
  jack_watch::ReportLoss();
  self->MarkFailed();
}

}  // namespace thumper
