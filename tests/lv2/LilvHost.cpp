#include "LilvHost.h"

#include "PluginUri.h"

#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace thumper::test {

namespace {

constexpr size_t kMaxBlock = 8192;
constexpr size_t kAtomBytes = 1 << 16;
constexpr size_t kWorkerBytes = 1 << 20;

LV2_URID MapUri(LV2_URID_Map_Handle handle, const char* uri) {
  return static_cast<UridMap*>(handle)->Map(uri);
}
const char* UnmapUri(LV2_URID_Unmap_Handle handle, LV2_URID urid) {
  return static_cast<UridMap*>(handle)->Unmap(urid);
}

// Messages in a reserved buffer: a size, then the bytes, 8-byte aligned.
void Append(std::vector<uint8_t>& buffer, size_t& used, uint32_t size, const void* data) {
  const size_t need = sizeof(uint32_t) + ((size + 7u) & ~size_t{7});
  if (used + need + 8 > buffer.size()) std::abort();  // a test's worker never fills a megabyte
  std::memcpy(buffer.data() + used, &size, sizeof size);
  std::memcpy(buffer.data() + used + 8, data, size);
  used += 8 + ((size + 7u) & ~size_t{7});
}

template <class Fn>
void Drain(std::vector<uint8_t>& buffer, size_t& used, Fn fn) {
  // In place, without allocating: a handler never queues into the buffer it drains.
  for (size_t at = 0; at < used;) {
    uint32_t size;
    std::memcpy(&size, buffer.data() + at, sizeof size);
    fn(size, buffer.data() + at + 8);
    at += 8 + ((size + 7u) & ~size_t{7});
  }
  used = 0;
}

LV2_Worker_Status Schedule(LV2_Worker_Schedule_Handle handle, uint32_t size, const void* data) {
  static_cast<PluginInstance*>(handle)->PushRequest(size, data);
  return LV2_WORKER_SUCCESS;
}

LV2_Worker_Status Respond(LV2_Worker_Respond_Handle handle, uint32_t size, const void* data) {
  static_cast<PluginInstance*>(handle)->PushResponse(size, data);
  return LV2_WORKER_SUCCESS;
}

void MidnamUpdate(void* handle) {
  static_cast<PluginInstance*>(handle)->CountMidnamUpdate();
}

int LogVPrintf(LV2_Log_Handle handle, LV2_URID, const char* format, va_list args) {
  char line[4096];
  const int n = std::vsnprintf(line, sizeof line, format, args);
  static_cast<PluginInstance*>(handle)->AddLog(line);
  return n;
}

int LogPrintf(LV2_Log_Handle handle, LV2_URID type, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int n = LogVPrintf(handle, type, format, args);
  va_end(args);
  return n;
}

}  // namespace

UridMap::UridMap() {
  m_map = {this, &MapUri};
  m_unmap = {this, &UnmapUri};
}

LV2_URID UridMap::Map(const char* uri) {
  std::lock_guard lock(m_mutex);
  auto it = m_ids.find(uri);
  if (it != m_ids.end()) return it->second;
  m_uris.push_back(std::make_unique<std::string>(uri));
  const auto id = static_cast<LV2_URID>(m_uris.size());
  m_ids.emplace(uri, id);
  return id;
}

const char* UridMap::Unmap(LV2_URID urid) {
  std::lock_guard lock(m_mutex);
  return urid >= 1 && urid <= m_uris.size() ? m_uris[urid - 1]->c_str() : nullptr;
}

LilvHost::LilvHost(const char* pluginUri) {
  // This build's bundle first, then the system's (for the LV2 specifications).
  const std::string path = std::string(THUMPER_LV2_DIR) + ":/usr/lib/lv2";
  setenv("LV2_PATH", path.c_str(), 1);
  m_pWorld = lilv_world_new();
  lilv_world_load_all(m_pWorld);
  LilvNode* uri = lilv_new_uri(m_pWorld, pluginUri);
  m_pPlugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(m_pWorld), uri);
  lilv_node_free(uri);
}

LilvHost::~LilvHost() {
  lilv_world_free(m_pWorld);
}

std::unique_ptr<PluginInstance> LilvHost::Instantiate(double rate, bool offerMidnam) {
  if (!m_pPlugin) return nullptr;
  auto instance = std::make_unique<PluginInstance>(*this, rate, offerMidnam);
  if (!instance->Ok()) return nullptr;
  return instance;
}

PluginInstance::PluginInstance(LilvHost& host, double rate, bool offerMidnam)
    : m_host(host),
      m_requests(kWorkerBytes),
      m_responses(kWorkerBytes),
      m_control(kAtomBytes),
      m_notify(kAtomBytes),
      m_outL(kMaxBlock),
      m_outR(kMaxBlock) {
  m_schedule = {this, &Schedule};
  m_logFeature = {this, &LogPrintf, &LogVPrintf};
  m_features[0] = {LV2_URID__map, &host.Urids().m_map};
  m_features[1] = {LV2_URID__unmap, &host.Urids().m_unmap};
  m_features[2] = {LV2_WORKER__schedule, &m_schedule};
  m_features[3] = {LV2_LOG__log, &m_logFeature};
  m_midnamFeature = {this, &MidnamUpdate};
  m_features[4] = {"http://ardour.org/lv2/midnam#update", &m_midnamFeature};
  const int count = offerMidnam ? 5 : 4;
  for (int i = 0; i < count; ++i) m_featureList[i] = &m_features[i];
  m_featureList[count] = nullptr;
  m_pInstance = lilv_plugin_instantiate(host.Plugin(), rate, m_featureList);
  if (!m_pInstance) return;
  m_pWorker = static_cast<const LV2_Worker_Interface*>(
      lilv_instance_get_extension_data(m_pInstance, LV2_WORKER__interface));
  lv2_atom_forge_init(&m_forge, &host.Urids().m_map);
  UridMap& u = host.Urids();
  m_nMidiEvent = u.Map(LV2_MIDI__MidiEvent);
  m_nChunk = u.Map(LV2_ATOM__Chunk);
  m_nSet = u.Map(LV2_PATCH__Set);
  m_nGet = u.Map(LV2_PATCH__Get);
  m_nProperty = u.Map(LV2_PATCH__property);
  m_nValue = u.Map(LV2_PATCH__value);
  m_nDrumSet = u.Map(THUMPER_LV2_DRUM_SET_URI);
  m_nNoteMap = u.Map(THUMPER_LV2_NOTE_MAP_URI);
  m_nString = u.Map(LV2_ATOM__String);
  m_nPath = u.Map(LV2_ATOM__Path);
  lilv_instance_connect_port(m_pInstance, 0, m_control.data());
  lilv_instance_connect_port(m_pInstance, 1, m_notify.data());
  lilv_instance_connect_port(m_pInstance, 2, m_outL.data());
  lilv_instance_connect_port(m_pInstance, 3, m_outR.data());
  lilv_instance_connect_port(m_pInstance, 4, &m_fChannel);
  // The Memory control by its symbol; every other port past the channel is an
  // output of "Thumper Multi", in pairs.
  LilvNode* memorySymbol = lilv_new_string(host.World(), "memory");
  const LilvPort* memory = lilv_plugin_get_port_by_symbol(host.Plugin(), memorySymbol);
  lilv_node_free(memorySymbol);
  const uint32_t memoryIndex = memory ? lilv_port_get_index(host.Plugin(), memory) : UINT32_MAX;
  if (memory) lilv_instance_connect_port(m_pInstance, memoryIndex, &m_fMemory);
  const uint32_t ports = lilv_plugin_get_num_ports(host.Plugin());
  for (uint32_t p = 5; p < ports; ++p) {
    if (p == memoryIndex) continue;
    m_moreOut.emplace_back(kMaxBlock);
    lilv_instance_connect_port(m_pInstance, p, m_moreOut.back().data());
  }
  m_moreLeft.resize(m_moreOut.size() / 2);
  m_moreRight.resize(m_moreOut.size() / 2);
  lilv_instance_activate(m_pInstance);
}

PluginInstance::~PluginInstance() {
  if (m_worker.joinable()) {
    {
      std::lock_guard lock(m_workMutex);
      m_bStopWorker = true;
    }
    m_workCv.notify_all();
    m_worker.join();
  }
  if (!m_pInstance) return;
  lilv_instance_deactivate(m_pInstance);
  lilv_instance_free(m_pInstance);
}

void PluginInstance::QueueKit(const std::string& path) {
  m_strPendingKit = path;
}

void PluginInstance::QueueGetKit() {
  m_bPendingGet = true;
}

void PluginInstance::QueueNoteMap(const std::string& path, bool asName) {
  m_strPendingMap = path;
  m_bPendingMap = true;
  m_bPendingMapAsName = asName;
}

void PluginInstance::QueueGetNoteMap() {
  m_bPendingGetMap = true;
}

void PluginInstance::RunOnly(uint32_t frames, const std::vector<MidiAt>& midi) {
  if (frames > kMaxBlock) std::abort();
  lv2_atom_forge_set_buffer(&m_forge, m_control.data(), m_control.size());
  LV2_Atom_Forge_Frame seq;
  lv2_atom_forge_sequence_head(&m_forge, &seq, 0);
  auto patch = [&](LV2_URID type, LV2_URID property, const std::string* value, LV2_URID valueType) {
    LV2_Atom_Forge_Frame obj;
    lv2_atom_forge_frame_time(&m_forge, 0);
    lv2_atom_forge_object(&m_forge, &obj, 0, type);
    lv2_atom_forge_key(&m_forge, m_nProperty);
    lv2_atom_forge_urid(&m_forge, property);
    if (value) {
      lv2_atom_forge_key(&m_forge, m_nValue);
      if (valueType == m_nString)
        lv2_atom_forge_string(&m_forge, value->c_str(), static_cast<uint32_t>(value->size()));
      else
        lv2_atom_forge_path(&m_forge, value->c_str(), static_cast<uint32_t>(value->size()));
    }
    lv2_atom_forge_pop(&m_forge, &obj);
  };
  if (!m_strPendingKit.empty()) patch(m_nSet, m_nDrumSet, &m_strPendingKit, m_nPath);
  if (m_bPendingGet) patch(m_nGet, m_nDrumSet, nullptr, 0);
  if (m_bPendingMap)
    patch(m_nSet, m_nNoteMap, &m_strPendingMap, m_bPendingMapAsName ? m_nString : m_nPath);
  if (m_bPendingGetMap) patch(m_nGet, m_nNoteMap, nullptr, 0);
  m_strPendingKit.clear();
  m_bPendingGet = false;
  m_bPendingMap = false;
  m_bPendingGetMap = false;
  for (const MidiAt& m : midi) {
    const uint8_t bytes[3] = {m.status, m.d1, m.d2};
    lv2_atom_forge_frame_time(&m_forge, m.frame);
    lv2_atom_forge_atom(&m_forge, 3, m_nMidiEvent);
    lv2_atom_forge_write(&m_forge, bytes, 3);
  }
  lv2_atom_forge_pop(&m_forge, &seq);

  auto* notify = reinterpret_cast<LV2_Atom_Sequence*>(m_notify.data());
  notify->atom.type = m_nChunk;
  notify->atom.size = static_cast<uint32_t>(m_notify.size() - sizeof(LV2_Atom));
  lilv_instance_run(m_pInstance, frames);
}

void PluginInstance::Run(uint32_t frames, const std::vector<MidiAt>& midi) {
  RunOnly(frames, midi);
  m_left.insert(m_left.end(), m_outL.begin(), m_outL.begin() + frames);
  m_right.insert(m_right.end(), m_outR.begin(), m_outR.begin() + frames);
  for (size_t k = 0; k < m_moreLeft.size(); ++k) {
    m_moreLeft[k].insert(m_moreLeft[k].end(), m_moreOut[2 * k].begin(),
                         m_moreOut[2 * k].begin() + frames);
    m_moreRight[k].insert(m_moreRight[k].end(), m_moreOut[2 * k + 1].begin(),
                          m_moreOut[2 * k + 1].begin() + frames);
  }
  ReadNotify();
  RunWorker();
}

void PluginInstance::RunWorker() {
  DoWork();
  DeliverResponses();
}

void PluginInstance::StartWorkerThread() {
  m_worker = std::thread([this] {
    std::unique_lock lock(m_workMutex);
    for (;;) {
      m_workCv.wait(lock, [this] { return m_bStopWorker || !m_threadRequests.empty(); });
      if (m_bStopWorker) return;
      std::vector<uint8_t> request = std::move(m_threadRequests.front());
      m_threadRequests.pop_front();
      ++m_nWorking;
      lock.unlock();
      m_pWorker->work(lilv_instance_get_handle(m_pInstance), &Respond, this,
                      static_cast<uint32_t>(request.size()), request.data());
      lock.lock();
      --m_nWorking;
    }
  });
}

bool PluginInstance::WorkerIdle() {
  std::lock_guard lock(m_workMutex);
  return m_threadRequests.empty() && m_nWorking == 0 && m_threadResponses.empty();
}

void PluginInstance::DoWork() {
  if (m_worker.joinable()) return;  // the worker thread does it
  Drain(m_requests, m_nRequestBytes, [this](uint32_t size, const void* data) {
    m_pWorker->work(lilv_instance_get_handle(m_pInstance), &Respond, this, size, data);
  });
}

void PluginInstance::DeliverResponses() {
  if (m_worker.joinable()) {
    std::deque<std::vector<uint8_t>> replies;
    {
      std::lock_guard lock(m_workMutex);
      replies.swap(m_threadResponses);
    }
    for (const auto& r : replies)
      m_pWorker->work_response(lilv_instance_get_handle(m_pInstance),
                               static_cast<uint32_t>(r.size()), r.data());
    return;
  }
  Drain(m_responses, m_nResponseBytes, [this](uint32_t size, const void* data) {
    m_pWorker->work_response(lilv_instance_get_handle(m_pInstance), size, data);
  });
}

void PluginInstance::LoadKit(const std::string& path) {
  QueueKit(path);
  Run(1);
}

void PluginInstance::PushRequest(uint32_t size, const void* data) {
  if (m_worker.joinable()) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    {
      std::lock_guard lock(m_workMutex);
      m_threadRequests.emplace_back(bytes, bytes + size);
    }
    m_workCv.notify_one();
    return;
  }
  Append(m_requests, m_nRequestBytes, size, data);
}

void PluginInstance::PushResponse(uint32_t size, const void* data) {
  if (m_worker.joinable()) {
    const auto* bytes = static_cast<const uint8_t*>(data);
    std::lock_guard lock(m_workMutex);
    m_threadResponses.emplace_back(bytes, bytes + size);
    return;
  }
  Append(m_responses, m_nResponseBytes, size, data);
}

void PluginInstance::ReadNotify() {
  UridMap& u = m_host.Urids();
  const auto* seq = reinterpret_cast<const LV2_Atom_Sequence*>(m_notify.data());
  LV2_ATOM_SEQUENCE_FOREACH(seq, ev) {
    if (ev->body.type != u.Map(LV2_ATOM__Object)) continue;
    const auto* obj = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
    if (obj->body.otype != u.Map(LV2_PATCH__Set)) continue;
    const LV2_Atom* property = nullptr;
    const LV2_Atom* value = nullptr;
    lv2_atom_object_get(obj, m_nProperty, &property, m_nValue, &value, 0);
    if (!property || property->type != u.Map(LV2_ATOM__URID) || !value ||
        value->type != u.Map(LV2_ATOM__Path))
      continue;
    const LV2_URID key = reinterpret_cast<const LV2_Atom_URID*>(property)->body;
    const char* text = static_cast<const char*>(LV2_ATOM_BODY_CONST(value));
    if (key == m_nDrumSet) m_announced.emplace_back(text);
    if (key == m_nNoteMap) m_announcedMaps.emplace_back(text);
  }
}

namespace {

// Ardour's MIDNAM interface, as the plugin hands it out.
struct MidnamInterface {
  char* (*midnam)(LV2_Handle);
  char* (*model)(LV2_Handle);
  void (*free)(char*);
};

}  // namespace

// One of the interface's texts (its midnam or its model), freed as it asks.
static std::string MidnamText(LilvInstance* instance, char* (*MidnamInterface::*get)(LV2_Handle)) {
  const auto* midnam = static_cast<const MidnamInterface*>(
      lilv_instance_get_extension_data(instance, "http://ardour.org/lv2/midnam#interface"));
  if (!midnam) return {};
  char* text = (midnam->*get)(lilv_instance_get_handle(instance));
  std::string out = text ? text : "";
  midnam->free(text);
  return out;
}

std::string PluginInstance::Midnam() {
  return MidnamText(m_pInstance, &MidnamInterface::midnam);
}

std::string PluginInstance::Model() {
  return MidnamText(m_pInstance, &MidnamInterface::model);
}

std::string PluginInstance::AllLog() const {
  std::lock_guard lock(m_logMutex);
  std::string all;
  for (const std::string& line : m_log) all += line;
  return all;
}

namespace {

// The host's control values: the channel, then the Memory control.
struct PortValues {
  float* pChannel;
  float* pMemory;
  LV2_URID nFloat;
};

float* PortValue(const char* symbol, const PortValues& values) {
  if (std::strcmp(symbol, "channel") == 0) return values.pChannel;
  if (std::strcmp(symbol, "memory") == 0) return values.pMemory;
  return nullptr;
}

const void* GetPortValue(const char* symbol, void* self, uint32_t* size, uint32_t* type) {
  auto* values = static_cast<PortValues*>(self);
  float* value = PortValue(symbol, *values);
  if (!value) return nullptr;
  *size = sizeof(float);
  *type = values->nFloat;
  return value;
}

void SetPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t) {
  float* port = PortValue(symbol, *static_cast<PortValues*>(self));
  if (port && size == sizeof(float)) std::memcpy(port, value, sizeof(float));
}

}  // namespace

std::string PluginInstance::SaveState(const std::string& dir) {
  UridMap& u = m_host.Urids();
  PortValues values{&m_fChannel, &m_fMemory, u.Map(LV2_ATOM__Float)};
  LilvState* state =
      lilv_state_new_from_instance(m_host.Plugin(), m_pInstance, &u.m_map, nullptr, nullptr,
                                   nullptr, dir.c_str(), &GetPortValue, &values, 0, nullptr);
  char* text = lilv_state_to_string(m_host.World(), &u.m_map, &u.m_unmap, state,
                                    "urn:thumper:test-state", nullptr);
  std::string out = text ? text : "";
  lilv_free(text);
  lilv_state_free(state);
  return out;
}

void PluginInstance::RestoreState(const std::string& text) {
  UridMap& u = m_host.Urids();
  LilvState* state = lilv_state_new_from_string(m_host.World(), &u.m_map, text.c_str());
  if (!state) return;
  PortValues values{&m_fChannel, &m_fMemory, u.Map(LV2_ATOM__Float)};
  lilv_state_restore(state, m_pInstance, &SetPortValue, &values, 0, m_featureList);
  lilv_state_free(state);
}

}  // namespace thumper::test
