#include "ThumperPlugin.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>

#include "PluginUri.h"
#include "app/cli/ConsoleUi.h"
#include "engine/MidnamDocument.h"

namespace thumper::lv2 {

namespace {

// What the audio thread and the worker send each other through the host.
struct WorkRequest {
  enum class Kind : uint32_t { Load, Retire, Housekeeping, LoadNoteMap };
  Kind kind;
  uint32_t nPathBytes;     // Load, LoadNoteMap: the path follows, with its terminating zero
  LoadedKit* pKit;         // Retire: the replaced kit, owned by the message
  uint64_t nReleaseFrame;  // Retire: when its last hit has ended
  uint64_t nLoad = 0;      // Load: its number
  uint32_t nMemoryMB = 0;  // Load: the Memory control's value (0: automatic)
};

struct WorkReply {
  LoadedKit* pKit;  // the loaded kit, owned by the message; null when the load failed
  bool bStep;       // a kit handed over while its load goes on
};

// How often a kit that loads in steps is handed over again.
constexpr auto kStepInterval = std::chrono::milliseconds(100);
// The Memory control's range, in megabytes.
constexpr float kMaxMemoryMB = 65536.0f;

// How often the audio thread asks the worker to free what has rung out.
constexpr double kHousekeepingSeconds = 0.25;

const LV2_Feature* FindFeature(const LV2_Feature* const* features, const char* uri) {
  for (; features && *features; ++features)
    if (std::strcmp((*features)->URI, uri) == 0) return *features;
  return nullptr;
}

template <class T>
T* FeatureData(const LV2_Feature* const* features, const char* uri) {
  const LV2_Feature* f = FindFeature(features, uri);
  return f ? static_cast<T*>(f->data) : nullptr;
}

// A DAW keys the note names it reads on the model, so each instance has its own.
std::string ModelName(const void* instance) {
  char name[64];
  std::snprintf(name, sizeof name, "Thumper:%p", instance);
  return name;
}

// A built-in map is saved by its name, a file by its path (which the host may move).
bool IsBuiltInNoteMapName(std::string_view name) {
  std::string_view names = BuiltInNoteMapNames();
  while (!names.empty()) {
    const size_t end = names.find_first_of(", |");
    if (names.substr(0, end) == name) return true;
    if (end == std::string_view::npos) break;
    names.remove_prefix(end + 1);
  }
  return false;
}

// A path the host's map-path feature made, as a string, freed as the host asks.
std::string TakeHostPath(char* made, const std::string& otherwise,
                         const LV2_Feature* const* features) {
  if (!made) return otherwise;
  std::string out = made;
  if (auto* freePath = FeatureData<LV2_State_Free_Path>(features, LV2_STATE__freePath))
    freePath->free_path(freePath->handle, made);
  else
    std::free(made);
  return out;
}

// The host's absolute form of a path from the session's state, or path itself.
std::string AbsolutePath(const std::string& path, const LV2_Feature* const* features) {
  auto* mapPath = FeatureData<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
  return TakeHostPath(mapPath ? mapPath->absolute_path(mapPath->handle, path.c_str()) : nullptr,
                      path, features);
}

// Stores path as an atom:Path in the host's abstract form, which lets a
// session move with its files.
LV2_State_Status StorePath(LV2_State_Store_Function store, LV2_State_Handle handle, LV2_URID key,
                           LV2_URID pathType, const std::string& path,
                           const LV2_Feature* const* features) {
  auto* mapPath = FeatureData<LV2_State_Map_Path>(features, LV2_STATE__mapPath);
  const std::string stored = TakeHostPath(
      mapPath ? mapPath->abstract_path(mapPath->handle, path.c_str()) : nullptr, path, features);
  return store(handle, key, stored.c_str(), stored.size() + 1, pathType,
               LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

// The command line's console policy, but with its notices (a kit that cannot
// be read, one past the memory budget) in the same report: a plugin's
// standard error is not where its host's user looks.
class LoggedUi : public cli::ConsoleUi {
 public:
  explicit LoggedUi(std::ostream& said) : ConsoleUi(said), m_said(said) {}
  void Notice(const std::string& text, const std::string& caption) override {
    m_said << "thumper: " << (caption.empty() ? kAppName : caption) << ": " << text << '\n';
  }

 private:
  std::ostream& m_said;
};

}  // namespace

std::unique_ptr<ThumperPlugin> ThumperPlugin::Create(double sampleRate,
                                                     const LV2_Feature* const* features,
                                                     uint32_t morePairs) {
  auto* log = FeatureData<LV2_Log_Log>(features, LV2_LOG__log);
  LV2_Log_Logger logger{};
  lv2_log_logger_init(&logger, nullptr, log);
  auto* map = FeatureData<LV2_URID_Map>(features, LV2_URID__map);
  auto* schedule = FeatureData<LV2_Worker_Schedule>(features, LV2_WORKER__schedule);
  if (!map || !schedule) {
    lv2_log_error(&logger, "Thumper: the host does not offer %s\n",
                  map ? LV2_WORKER__schedule : LV2_URID__map);
    return nullptr;
  }
  const long rate = std::lround(sampleRate);
  if (rate < 8000 || rate > 384000) {
    lv2_log_error(&logger, "Thumper: a sample rate of %f Hz is not supported\n", sampleRate);
    return nullptr;
  }
  if (log) lv2_log_logger_set_map(&logger, map);
  auto* midnamHost = FeatureData<ArdourMidnamHost>(features, THUMPER_ARDOUR_MIDNAM__update);
  std::unique_ptr<ThumperPlugin> plugin(
      new ThumperPlugin(static_cast<uint32_t>(rate), map, schedule, log, midnamHost));
  plugin->m_nMorePairs = std::min(morePairs, kMorePairs);
  return plugin;
}

ThumperPlugin::ThumperPlugin(uint32_t sampleRate, LV2_URID_Map* map, LV2_Worker_Schedule* schedule,
                             LV2_Log_Log* log, ArdourMidnamHost* midnamHost)
    : m_pMap(map),
      m_pSchedule(schedule),
      m_pMidnamHost(midnamHost && midnamHost->update ? midnamHost : nullptr),
      m_nSampleRate(sampleRate),
      m_device(m_reclaimer, sampleRate, "LV2"),
      m_trigger(m_reclaimer),
      m_engine(m_trigger, m_reclaimer),
      m_strModel(ModelName(this)) {
  lv2_log_logger_init(&m_logger, map, log);
  lv2_atom_forge_init(&m_forge, map);
  auto uri = [map](const char* u) { return map->map(map->handle, u); };
  m_uris = {uri(LV2_ATOM__Path),      uri(LV2_ATOM__URID),
            uri(LV2_ATOM__Object),    uri(LV2_ATOM__Blank),
            uri(LV2_MIDI__MidiEvent), uri(LV2_PATCH__Set),
            uri(LV2_PATCH__Get),      uri(LV2_PATCH__property),
            uri(LV2_PATCH__value),    uri(THUMPER_LV2_DRUM_SET_URI),
            uri(LV2_ATOM__String),    uri(THUMPER_LV2_NOTE_MAP_URI),
            uri(LV2_ATOM__Int),       uri(THUMPER_LV2_MEMORY_URI)};
  // Silent until a kit is chosen; the trigger's own first state is replaced so
  // that from now on the playing kit's state is always the trigger's.
  m_pKit = EmptyKit();
  m_pPlayingState = m_pKit->m_pState.release();
  std::unique_ptr<const TriggerState> first(m_trigger.Exchange(m_pPlayingState));
  m_strMidnam = MidnamDocument(m_strModel, m_kitNames);
}

ThumperPlugin::~ThumperPlugin() {
  // Nothing runs any more: every kit goes now, before the mixer its voices live on.
  delete m_pRestored.exchange(nullptr);
  for (auto& slot : m_inFlight) delete slot.exchange(nullptr);
  m_pReturning.reset();
  m_retiring.clear();
  m_pKit.reset();
}

void ThumperPlugin::ConnectPort(uint32_t port, void* data) noexcept {
  switch (port) {
    case kControl:
      m_pControl = static_cast<const LV2_Atom_Sequence*>(data);
      break;
    case kNotify:
      m_pNotify = static_cast<LV2_Atom_Sequence*>(data);
      break;
    case kOutLeft:
    case kOutRight:
      m_pOut[port - kOutLeft] = static_cast<float*>(data);
      break;
    case kChannel:
      m_pChannel = static_cast<const float*>(data);
      break;
    default:
      if (port >= kFirstMoreOut && port < kFirstMoreOut + 2 * m_nMorePairs)
        m_pMoreOut[port - kFirstMoreOut] = static_cast<float*>(data);
      else if (port == MemoryPort())
        m_pMemory = static_cast<const float*>(data);
      else if (port == FreewheelPort())
        m_pFreewheel = static_cast<const float*>(data);
      break;
  }
}

// --- audio thread ---

// Real-time: the host's audio thread.
void ThumperPlugin::Run(uint32_t frames) noexcept {
  TakeNoteMap();
  TakeRestoredKit();
  SendReturningKits();

  if (m_pChannel) {
    const float value = std::isfinite(*m_pChannel) ? *m_pChannel : 1.0f;  // a host's NaN
    const int channel = static_cast<int>(std::lround(std::clamp(value, 1.0f, 16.0f)));
    if (channel != m_nChannel) {
      m_nChannel = channel;
      m_trigger.SetChannel(channel);  // one atomic store
    }
  }
  // An export may wait for the disk where a streamed sample's block is late.
  if (const bool freewheel = m_pFreewheel && *m_pFreewheel > 0.5f; freewheel != m_bFreewheel) {
    m_bFreewheel = freewheel;
    m_device.GetMixer().SetStreamingWaits(freewheel);  // two atomic stores
  }
  if (m_pMemory && std::isfinite(*m_pMemory)) {
    const float mb = std::clamp(*m_pMemory, 0.0f, kMaxMemoryMB);
    m_nMemoryMB.store(static_cast<uint32_t>(std::lround(mb)), std::memory_order_relaxed);
  }

  LV2_Atom_Forge_Frame notifyFrame;
  if (m_pNotify) {
    lv2_atom_forge_set_buffer(&m_forge, reinterpret_cast<uint8_t*>(m_pNotify),
                              m_pNotify->atom.size);
    lv2_atom_forge_sequence_head(&m_forge, &notifyFrame, 0);
  }
  if (m_bAnnounce) {
    m_bAnnounce = false;
    WriteKitPath(0);
  }
  if (m_bAnnounceMap) {
    m_bAnnounceMap = false;
    WriteNoteMapName(0);
  }

  size_t count = 0;
  if (m_pControl) {
    LV2_ATOM_SEQUENCE_FOREACH(m_pControl, ev) {
      const int64_t frame = ev->time.frames;
      if (ev->body.type == m_uris.midiEvent) {
        const auto* bytes = static_cast<const uint8_t*>(LV2_ATOM_BODY_CONST(&ev->body));
        const uint32_t size = ev->body.size;
        // Channel messages only: the trigger takes short messages.
        if (size == 0 || size > 3 || (bytes[0] & 0x80) == 0 || bytes[0] >= 0xF0) continue;
        if (count == m_events.size()) continue;  // more than a block can hold
        const uint32_t message =
            PackShortMessage(bytes[0], size > 1 ? bytes[1] : 0, size > 2 ? bytes[2] : 0);
        const uint32_t at = frame < 0 ? 0 : static_cast<uint32_t>(std::min<int64_t>(frame, frames));
        m_events[count++] = {at, message};
      } else if (ev->body.type == m_uris.atomObject || ev->body.type == m_uris.atomBlank) {
        HandlePatch(reinterpret_cast<const LV2_Atom_Object*>(&ev->body), frame);
      }
    }
  }

  if (m_pOut[0] && m_pOut[1]) {
    // Each pair the host connected plays its own sounds; the sounds of pairs
    // past them play on the main one.
    uint32_t pairs = 0;
    while (pairs < m_nMorePairs && m_pMoreOut[2 * pairs] && m_pMoreOut[2 * pairs + 1]) {
      m_more[pairs] = MixTarget::Planar(m_pMoreOut[2 * pairs], m_pMoreOut[2 * pairs + 1]);
      ++pairs;
    }
    for (uint32_t k = 2 * pairs; k < 2 * m_nMorePairs; ++k)
      if (m_pMoreOut[k]) std::fill_n(m_pMoreOut[k], frames, 0.0f);
    m_engine.RenderCycle(m_device.GetMixer(),
                         MixTarget::Planar(m_pOut[0], m_pOut[1]).WithMore(m_more.data(), pairs),
                         frames, {m_events.data(), count}, {});
  }
  if (m_pNotify) lv2_atom_forge_pop(&m_forge, &notifyFrame);

  m_nFrames += frames;
  m_nFramesPlayed.store(m_nFrames, std::memory_order_release);
  // A worker busy with a load frees rung-out kits between its steps.
  if (m_nFrames - m_nLastHousekeeping >= m_nSampleRate * kHousekeepingSeconds &&
      !m_bWorkerLoading.load(std::memory_order_acquire)) {
    m_nLastHousekeeping = m_nFrames;
    const WorkRequest request{WorkRequest::Kind::Housekeeping, 0, nullptr, 0};
    m_pSchedule->schedule_work(m_pSchedule->handle, sizeof request, &request);
  }
}

// Real-time: the audio thread.
void ThumperPlugin::HandlePatch(const LV2_Atom_Object* object, int64_t frame) noexcept {
  const LV2_Atom* property = nullptr;
  const LV2_Atom* value = nullptr;
  lv2_atom_object_get(object, m_uris.patchProperty, &property, m_uris.patchValue, &value, 0);
  const LV2_URID key = property && property->type == m_uris.atomUrid
                           ? reinterpret_cast<const LV2_Atom_URID*>(property)->body
                           : 0;
  if (object->body.otype == m_uris.patchGet) {
    // Without a property: every one.
    if (!property || key == m_uris.drumSet) WriteKitPath(frame);
    if (!property || key == m_uris.noteMap) WriteNoteMapName(frame);
    return;
  }
  if (object->body.otype != m_uris.patchSet || !value) return;
  const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
  const uint32_t length = static_cast<uint32_t>(strnlen(text, value->size));
  if (key == m_uris.drumSet && value->type == m_uris.atomPath) {
    if (length > 0) ScheduleLoad(static_cast<uint32_t>(WorkRequest::Kind::Load), text, length);
  } else if (key == m_uris.noteMap &&
             (value->type == m_uris.atomPath || value->type == m_uris.atomString)) {
    // A built-in map comes by name; an empty one takes the map away.
    ScheduleLoad(static_cast<uint32_t>(WorkRequest::Kind::LoadNoteMap), text, length);
  }
}

// Real-time: the audio thread.
void ThumperPlugin::ScheduleLoad(uint32_t kind, const char* path, uint32_t length) noexcept {
  // The request and the path in one message, built in place: no allocation.
  alignas(8) uint8_t message[sizeof(WorkRequest) + 4096];
  if (length >= sizeof message - sizeof(WorkRequest)) return;
  WorkRequest request{static_cast<WorkRequest::Kind>(kind), length + 1, nullptr, 0};
  const bool bKit = request.kind == WorkRequest::Kind::Load;
  if (bKit) {
    // The Memory value in force now is the load's budget.
    request.nLoad = m_nNextLoad.fetch_add(1, std::memory_order_relaxed) + 1;
    request.nMemoryMB = m_nMemoryMB.load(std::memory_order_relaxed);
  }
  std::memcpy(message, &request, sizeof request);
  std::memcpy(message + sizeof request, path, length);
  message[sizeof request + length] = 0;
  // Only a request on its way stops the load before it.
  if (m_pSchedule->schedule_work(m_pSchedule->handle, sizeof request + length + 1, message) ==
          LV2_WORKER_SUCCESS &&
      bKit)
    NoteNewestLoad(request.nLoad);
}

// Any thread; wait-free but for other threads noting loads at the same time.
void ThumperPlugin::NoteNewestLoad(uint64_t load) noexcept {
  uint64_t newest = m_nNewestLoad.load(std::memory_order_relaxed);
  while (newest < load &&
         !m_nNewestLoad.compare_exchange_weak(newest, load, std::memory_order_acq_rel)) {
  }
}

// Real-time: the audio thread. A patch:Set of the kit path on the notify port.
void ThumperPlugin::WriteKitPath(int64_t frame) noexcept {
  WritePathProperty(frame, m_uris.drumSet, m_pKit->m_strPath);
}

// Real-time: the audio thread. The note map's file or built-in name, empty for none.
void ThumperPlugin::WriteNoteMapName(int64_t frame) noexcept {
  WritePathProperty(frame, m_uris.noteMap, m_playingMaps.Front().strName);
}

// Real-time: the audio thread.
void ThumperPlugin::WritePathProperty(int64_t frame, LV2_URID property,
                                      const std::string& path) noexcept {
  if (!m_pNotify) return;
  LV2_Atom_Forge_Frame object;
  if (!lv2_atom_forge_frame_time(&m_forge, frame)) return;
  lv2_atom_forge_object(&m_forge, &object, 0, m_uris.patchSet);
  lv2_atom_forge_key(&m_forge, m_uris.patchProperty);
  lv2_atom_forge_urid(&m_forge, property);
  lv2_atom_forge_key(&m_forge, m_uris.patchValue);
  lv2_atom_forge_path(&m_forge, path.c_str(), static_cast<uint32_t>(path.size()));
  lv2_atom_forge_pop(&m_forge, &object);
}

// Real-time: the audio thread.
void ThumperPlugin::TakeRestoredKit() noexcept {
  if (m_pRestored.load(std::memory_order_relaxed) == nullptr) return;
  LoadedKit* restored = m_pRestored.exchange(nullptr, std::memory_order_acq_rel);
  if (!restored) return;
  std::unique_ptr<LoadedKit> kit(restored);
  // A kit chosen after the session was restored may already play.
  if (kit->m_nLoad < m_nPlayingLoad)
    ReturnKit(std::move(kit));
  else
    InstallKit(std::move(kit));
}

// Real-time: the audio thread, between two cycles.
void ThumperPlugin::TakeNoteMap() noexcept {
  if (!m_playingMaps.TakeNewest()) return;
  ApplyNoteMap(*m_pPlayingState);
  m_bAnnounceMap = true;
}

// Real-time: the audio thread, between two cycles. The trigger reads the state
// only inside this thread's cycles, so it may change here.
void ThumperPlugin::ApplyNoteMap(TriggerState& state) const noexcept {
  const PlayingMap& playing = m_playingMaps.Front();
  state.m_bNoteMap = playing.bOn;
  if (playing.bOn) state.m_noteMap = NoteMapForKit(playing.map, state.m_nGeneralMidiNote);
}

// Real-time: the audio thread, between two cycles.
void ThumperPlugin::InstallKit(std::unique_ptr<LoadedKit> kit) noexcept {
  // The later steps of a load are the same kit to the host.
  if (kit->m_nLoad != m_nPlayingLoad || kit->m_nLoad == 0) m_bAnnounce = true;
  m_nPlayingLoad = kit->m_nLoad;
  TriggerState* state = kit->m_pState.release();
  ApplyNoteMap(*state);
  const TriggerState* replaced = m_trigger.Exchange(state);
  m_pPlayingState = state;
  std::unique_ptr<LoadedKit> old = std::move(m_pKit);
  m_pKit = std::move(kit);
  // The old kit takes its state back (it held none while it played).
  old->m_pState.reset(const_cast<TriggerState*>(replaced));
  ReturnKit(std::move(old));
}

// Real-time: the audio thread.
void ThumperPlugin::ReturnKit(std::unique_ptr<LoadedKit> kit) noexcept {
  if (m_bWorkerLoading.load(std::memory_order_acquire)) {
    // The worker reads no message before its load ends: the kit waits here.
    kit->m_pNextReturn = std::move(m_pReturning);
    m_pReturning = std::move(kit);
    return;
  }
  // Its hits already started ring out; the kit goes once the longest has ended.
  const WorkRequest request{WorkRequest::Kind::Retire, 0, kit.get(),
                            m_nFrames + kit->m_nRingFrames};
  // Noted before the message goes: the worker may take it at once.
  const bool held = HoldInFlight(kit.get());
  if (m_pSchedule->schedule_work(m_pSchedule->handle, sizeof request, &request) ==
      LV2_WORKER_SUCCESS) {
    (void)kit.release();  // the message owns it now
    return;
  }
  if (held) TakeInFlight(kit.get());
  kit->m_pNextReturn = std::move(m_pReturning);
  m_pReturning = std::move(kit);
}

// Real-time: the audio thread.
void ThumperPlugin::SendReturningKits() noexcept {
  if (!m_pReturning || m_bWorkerLoading.load(std::memory_order_acquire)) return;
  std::unique_ptr<LoadedKit> list = std::move(m_pReturning);
  while (list) {
    std::unique_ptr<LoadedKit> next = std::move(list->m_pNextReturn);
    ReturnKit(std::move(list));
    list = std::move(next);
  }
}

// Real-time: the audio thread, between two runs.
LV2_Worker_Status ThumperPlugin::WorkResponse(uint32_t size, const void* data) noexcept {
  if (size != sizeof(WorkReply)) return LV2_WORKER_ERR_UNKNOWN;
  WorkReply reply;
  std::memcpy(&reply, data, sizeof reply);
  if (reply.bStep) m_nStepsInFlight.fetch_sub(1, std::memory_order_acq_rel);
  if (!reply.pKit) {
    m_bAnnounce = true;  // the load failed: tell the host what still plays
    return LV2_WORKER_SUCCESS;
  }
  TakeInFlight(reply.pKit);
  std::unique_ptr<LoadedKit> kit(reply.pKit);
  // A step of a load that a restored session's kit has overtaken.
  if (kit->m_nLoad < m_nPlayingLoad)
    ReturnKit(std::move(kit));
  else
    InstallKit(std::move(kit));
  return LV2_WORKER_SUCCESS;
}

// Real-time safe: the audio thread and the worker.
bool ThumperPlugin::HoldInFlight(LoadedKit* kit) noexcept {
  for (auto& slot : m_inFlight) {
    LoadedKit* empty = nullptr;
    if (slot.compare_exchange_strong(empty, kit, std::memory_order_acq_rel)) return true;
  }
  return false;
}

// Real-time safe: the audio thread and the worker.
void ThumperPlugin::TakeInFlight(LoadedKit* kit) noexcept {
  for (auto& slot : m_inFlight) {
    LoadedKit* expected = kit;
    if (slot.compare_exchange_strong(expected, nullptr, std::memory_order_acq_rel)) return;
  }
}

// --- control threads ---

std::unique_ptr<LoadedKit> ThumperPlugin::LoadLogged(const std::string& path, uint32_t memoryMB,
                                                     const KitLoadSteps& steps) {
  std::ostringstream said;
  LoggedUi ui(said);
  const std::optional<uint64_t> budget =
      memoryMB ? std::optional<uint64_t>(uint64_t{memoryMB} * 1000000) : std::nullopt;
  std::unique_ptr<LoadedKit> kit = LoadKit(path, m_device, ui, budget, steps);
  // Every report of the console policy becomes a log line.
  std::istringstream lines(said.str());
  for (std::string line; std::getline(lines, line);)
    if (!line.empty()) lv2_log_warning(&m_logger, "%s\n", line.c_str());
  if (!kit && steps.cancelled && steps.cancelled())
    lv2_log_note(&m_logger, "Thumper: the load of %s stopped: another kit was chosen\n",
                 path.c_str());
  else if (!kit)
    lv2_log_error(&m_logger, "Thumper: the drum set %s could not be loaded\n", path.c_str());
  else if (kit->m_nSampleLayers > 0 && kit->m_nDroppedLayers >= kit->m_nSampleLayers)
    lv2_log_error(&m_logger,
                  "Thumper: not one sample of the drum set %s could be found: it stays silent\n",
                  path.c_str());
  else if (kit->m_nDroppedLayers > 0)
    lv2_log_warning(&m_logger, "Thumper: %s: %d layers stay silent\n", path.c_str(),
                    kit->m_nDroppedLayers);
  else
    lv2_log_note(&m_logger, "Thumper: loaded %s\n", path.c_str());
  return kit;
}

void ThumperPlugin::SendKit(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                            std::unique_ptr<LoadedKit> kit, bool step) {
  const WorkReply reply{kit.get(), step};
  const bool held = kit && HoldInFlight(kit.get());
  if (step) m_nStepsInFlight.fetch_add(1, std::memory_order_acq_rel);
  if (respond(handle, sizeof reply, &reply) == LV2_WORKER_SUCCESS) {
    (void)kit.release();  // the message owns it now
    return;
  }
  if (step) m_nStepsInFlight.fetch_sub(1, std::memory_order_acq_rel);
  if (held) TakeInFlight(kit.get());
}

bool ThumperPlugin::LoadNoteMapLogged(const std::string& name, std::optional<NoteMap>& map) {
  if (name.empty()) {
    map.reset();
    return true;
  }
  NoteMapResult read = LoadNoteMap(name);
  if (!read.map) {
    lv2_log_error(&m_logger, "Thumper: the note map could not be read: %s\n",
                  read.strError.c_str());
    return false;
  }
  lv2_log_note(&m_logger, "Thumper: note map %s\n", name.c_str());
  map = read.map;
  return true;
}

void ThumperPlugin::PublishNoteMap() {
  PlayingMap& next = m_playingMaps.Back();
  next.bOn = m_noteMap.has_value();
  if (m_noteMap) next.map = *m_noteMap;
  next.strName = m_strSavedNoteMap;
  m_playingMaps.Publish();
  UpdateMidnam();
}

void ThumperPlugin::UpdateMidnam() {
  std::string document = MidnamDocument(
      m_strModel, m_noteMap ? MappedNoteNames(m_kitNames, NoteMapForKit(*m_noteMap, m_kitGmNotes))
                            : m_kitNames);
  std::lock_guard lock(m_midnamMutex);
  m_strMidnam.swap(document);
}

void ThumperPlugin::NotifyMidnamChanged() {
  if (m_pMidnamHost) m_pMidnamHost->update(m_pMidnamHost->handle);
}

char* ThumperPlugin::Midnam() {
  std::lock_guard lock(m_midnamMutex);
  return strdup(m_strMidnam.c_str());
}

char* ThumperPlugin::Model() {
  return strdup(m_strModel.c_str());
}

void ThumperPlugin::ReportUnderruns() {
  const SampleStreamer* streamer = m_device.GetMixer().Streamer();
  const uint64_t now = streamer ? streamer->Underruns() : 0;
  if (now <= m_nUnderrunsLogged) return;
  lv2_log_warning(&m_logger,
                  "Thumper: %llu blocks of samples streamed from disk came too late and played "
                  "as silence (underruns: %llu in all)\n",
                  static_cast<unsigned long long>(now - m_nUnderrunsLogged),
                  static_cast<unsigned long long>(now));
  m_nUnderrunsLogged = now;
}

void ThumperPlugin::FreeRungOutKits() {
  const uint64_t now = m_nFramesPlayed.load(std::memory_order_acquire);
  std::erase_if(m_retiring, [now](const Retiring& r) { return r.nReleaseFrame <= now; });
  m_reclaimer.Reclaim();
}

// The worker thread.
LV2_Worker_Status ThumperPlugin::Work(LV2_Worker_Respond_Function respond,
                                      LV2_Worker_Respond_Handle handle, uint32_t size,
                                      const void* data) {
  if (size < sizeof(WorkRequest)) return LV2_WORKER_ERR_UNKNOWN;
  WorkRequest request;
  std::memcpy(&request, data, sizeof request);
  const bool bLoad =
      request.kind == WorkRequest::Kind::Load || request.kind == WorkRequest::Kind::LoadNoteMap;
  if (bLoad && (size != sizeof request + request.nPathBytes || request.nPathBytes == 0))
    return LV2_WORKER_ERR_UNKNOWN;
  const std::string path =
      bLoad ? std::string(static_cast<const char*>(data) + sizeof request, request.nPathBytes - 1)
            : std::string();
  bool namesChanged = false;
  {
    std::lock_guard lock(m_controlMutex);
    switch (request.kind) {
      case WorkRequest::Kind::Load: {
        const uint64_t number = request.nLoad;
        const auto overtaken = [this, number] {
          return m_nNewestLoad.load(std::memory_order_acquire) > number;
        };
        if (overtaken()) break;  // a later choice is on its way
        // What plays from now on: its path and names, from its first step.
        const auto takeNames = [&](const LoadedKit& kit) {
          m_strSavedPath = path;
          std::ostringstream said;  // the load has told what is wrong with the kit
          cli::ConsoleUi ui(said);
          m_kitNames = LoadedKitNoteNames(kit, ui);
          m_kitGmNotes = kit.m_pState ? kit.m_pState->m_nGeneralMidiNote : GeneralMidiIdentity();
          UpdateMidnam();
          namesChanged = true;
        };
        const uint64_t silentBefore = m_trigger.HitsWhileLoading();
        KitLoadSteps steps;
        steps.interval = kStepInterval;
        steps.cancelled = overtaken;
        steps.wantsStep = [this] { return m_nStepsInFlight.load(std::memory_order_acquire) == 0; };
        steps.onStep = [&](std::unique_ptr<LoadedKit> kit) {
          kit->m_nLoad = number;
          if (!namesChanged) takeNames(*kit);
          SendKit(respond, handle, std::move(kit), true);
          FreeRungOutKits();
        };
        m_bWorkerLoading.store(true, std::memory_order_release);
        std::unique_ptr<LoadedKit> kit = LoadLogged(path, request.nMemoryMB, steps);
        m_bWorkerLoading.store(false, std::memory_order_release);
        if (overtaken()) break;  // what it handed over stays until the next kit comes
        if (kit) {
          kit->m_nLoad = number;
          takeNames(*kit);
          if (const uint64_t silent = m_trigger.HitsWhileLoading() - silentBefore)
            lv2_log_note(&m_logger, "Thumper: %llu notes played while %s loaded stayed silent\n",
                         static_cast<unsigned long long>(silent), path.c_str());
        }
        SendKit(respond, handle, std::move(kit), false);
        break;
      }
      case WorkRequest::Kind::LoadNoteMap:
        // A map that cannot be read leaves the one that plays; either way the
        // audio thread takes the map again and tells the host which it is.
        if (LoadNoteMapLogged(path, m_noteMap)) {
          m_strSavedNoteMap = path;
          namesChanged = true;
        }
        PublishNoteMap();
        break;
      case WorkRequest::Kind::Retire:
        TakeInFlight(request.pKit);
        m_retiring.push_back({std::unique_ptr<LoadedKit>(request.pKit), request.nReleaseFrame});
        FreeRungOutKits();
        break;
      case WorkRequest::Kind::Housekeeping:
        FreeRungOutKits();
        ReportUnderruns();
        break;
    }
  }
  // Outside the locks: the host may read the document from inside the call.
  if (namesChanged) NotifyMidnamChanged();
  return LV2_WORKER_SUCCESS;
}

LV2_State_Status ThumperPlugin::Save(LV2_State_Store_Function store, LV2_State_Handle handle,
                                     const LV2_Feature* const* features) {
  std::string path, noteMap;
  {
    std::lock_guard lock(m_controlMutex);
    path = m_strSavedPath;
    noteMap = m_strSavedNoteMap;
  }
  // Kept beside the port's value, which hosts set only after the state is
  // restored: the session's kit then loads with its own budget. Automatic
  // stores nothing, as sessions from before the control.
  const int32_t memoryMB = static_cast<int32_t>(m_nMemoryMB.load(std::memory_order_relaxed));
  if (memoryMB != 0) {
    const LV2_State_Status status = store(handle, m_uris.memory, &memoryMB, sizeof memoryMB,
                                          m_uris.atomInt, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
    if (status != LV2_STATE_SUCCESS) return status;
  }
  // Without a map nothing is stored, so a session saved before there were maps
  // and one saved without a map are the same.
  if (!noteMap.empty()) {
    const LV2_State_Status status =
        IsBuiltInNoteMapName(noteMap)
            ? store(handle, m_uris.noteMap, noteMap.c_str(), noteMap.size() + 1, m_uris.atomString,
                    LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE)
            : StorePath(store, handle, m_uris.noteMap, m_uris.atomPath, noteMap, features);
    if (status != LV2_STATE_SUCCESS) return status;
  }
  if (path.empty()) return LV2_STATE_SUCCESS;
  return StorePath(store, handle, m_uris.drumSet, m_uris.atomPath, path, features);
}

LV2_State_Status ThumperPlugin::Restore(LV2_State_Retrieve_Function retrieve,
                                        LV2_State_Handle handle,
                                        const LV2_Feature* const* features) {
  size_t size = 0;
  uint32_t type = 0;
  uint32_t flags = 0;
  const void* value = retrieve(handle, m_uris.drumSet, &size, &type, &flags);
  std::string path;
  if (value && type == m_uris.atomPath && size > 0) {
    const char* stored = static_cast<const char*>(value);
    path = AbsolutePath(std::string(stored, strnlen(stored, size)), features);
  }
  // A built-in map is kept by name, a file by its path; none in older sessions.
  value = retrieve(handle, m_uris.noteMap, &size, &type, &flags);
  std::string noteMap;
  if (value && size > 0 && (type == m_uris.atomPath || type == m_uris.atomString)) {
    const char* stored = static_cast<const char*>(value);
    noteMap = std::string(stored, strnlen(stored, size));
    if (type == m_uris.atomPath && !noteMap.empty()) noteMap = AbsolutePath(noteMap, features);
  }

  value = retrieve(handle, m_uris.memory, &size, &type, &flags);
  uint32_t memoryMB = 0;  // none: automatic
  if (value && size == sizeof(int32_t) && type == m_uris.atomInt) {
    int32_t stored = 0;
    std::memcpy(&stored, value, sizeof stored);
    memoryMB = static_cast<uint32_t>(std::clamp<int32_t>(stored, 0, int32_t(kMaxMemoryMB)));
  }
  m_nMemoryMB.store(memoryMB, std::memory_order_relaxed);

  // The session's kit replaces whatever the worker is loading: that load stops.
  const uint64_t number = m_nNextLoad.fetch_add(1, std::memory_order_relaxed) + 1;
  NoteNewestLoad(number);

  // A state without a kit restores the empty kit; a kit that cannot be loaded
  // keeps its path, so the session still knows what it was.
  // A map that cannot be read is kept the same way, and the kit plays without it.
  std::unique_ptr<LoadedKit> kit;
  {
    std::lock_guard lock(m_controlMutex);
    kit = path.empty() ? nullptr : LoadLogged(path, memoryMB);
    std::ostringstream said;  // the load has told what is wrong with the kit
    cli::ConsoleUi ui(said);
    m_kitNames = kit ? LoadedKitNoteNames(*kit, ui) : NoteNames{};
    m_kitGmNotes = kit && kit->m_pState ? kit->m_pState->m_nGeneralMidiNote : GeneralMidiIdentity();
    if (!kit) kit = EmptyKit(path);
    kit->m_nLoad = number;
    m_strSavedPath = path;
    if (!LoadNoteMapLogged(noteMap, m_noteMap)) m_noteMap.reset();
    m_strSavedNoteMap = noteMap;
    PublishNoteMap();
  }
  // Never installed, so a kit restored before it could play is freed right here.
  std::unique_ptr<LoadedKit> unused(m_pRestored.exchange(kit.release(), std::memory_order_acq_rel));
  if (unused) {
    std::lock_guard lock(m_controlMutex);
    unused.reset();
  }
  NotifyMidnamChanged();
  return LV2_STATE_SUCCESS;
}

}  // namespace thumper::lv2
