#pragma once
// A small LV2 host written with lilv, as a DAW would host the plugin: it maps
// URIs, runs the worker on the audio thread right after each run (as the
// reference hosts do when they run offline), logs what the plugin says, saves
// and restores state, and reads the plugin's note names as Ardour does (its
// MIDNAM extension). It loads the bundle from this build.

#include <lilv/lilv.h>
#include <lv2/atom/forge.h>
#include <lv2/log/log.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include "PluginUri.h"

#include <atomic>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace thumper::test {

// URIs to URIDs and back, for every instance of one host.
class UridMap {
 public:
  UridMap();
  LV2_URID Map(const char* uri);
  const char* Unmap(LV2_URID urid);
  LV2_URID_Map m_map;
  LV2_URID_Unmap m_unmap;

 private:
  std::mutex m_mutex;
  std::unordered_map<std::string, LV2_URID> m_ids;
  std::vector<std::unique_ptr<std::string>> m_uris;
};

// One MIDI message at a frame of a block.
struct MidiAt {
  uint32_t frame;
  uint8_t status, d1, d2;
};

class PluginInstance;

class LilvHost {
 public:
  // The plugin of uri from this build's bundle ("Thumper", or "Thumper Multi").
  explicit LilvHost(const char* uri = THUMPER_LV2_URI);
  ~LilvHost();
  LilvHost(const LilvHost&) = delete;
  LilvHost& operator=(const LilvHost&) = delete;

  // The plugin from this build's bundle; null when it was not found.
  const LilvPlugin* Plugin() const { return m_pPlugin; }
  // An instance at rate; null when instantiate failed. Without offerMidnam the
  // host offers no MIDNAM update feature, as hosts other than Ardour.
  std::unique_ptr<PluginInstance> Instantiate(double rate, bool offerMidnam = true);

  LilvWorld* World() const { return m_pWorld; }
  UridMap& Urids() { return m_urids; }

 private:
  LilvWorld* m_pWorld = nullptr;
  const LilvPlugin* m_pPlugin = nullptr;
  UridMap m_urids;
};

class PluginInstance {
 public:
  PluginInstance(LilvHost& host, double rate, bool offerMidnam = true);
  ~PluginInstance();
  PluginInstance(const PluginInstance&) = delete;
  PluginInstance& operator=(const PluginInstance&) = delete;

  bool Ok() const { return m_pInstance != nullptr; }

  // What the next Run sends besides MIDI.
  void QueueKit(const std::string& path);
  void QueueGetKit();
  // The note map parameter: a file as atom:Path, or with asName a built-in's
  // name as atom:String. An empty path takes the map away.
  void QueueNoteMap(const std::string& path, bool asName = false);
  void QueueGetNoteMap();
  void SetChannel(float channel) { m_fChannel = channel; }
  // The "Memory" control, in megabytes (0: automatic).
  void SetMemory(float megabytes) { m_fMemory = megabytes; }

  // One block of frames frames with these messages; the output is appended to
  // Left() and Right(). Then the worker runs and its replies are delivered, as
  // a host does between two blocks.
  void Run(uint32_t frames, const std::vector<MidiAt>& midi = {});
  // Only the plugin's run(), without the worker (for counting what run() does).
  void RunOnly(uint32_t frames, const std::vector<MidiAt>& midi = {});
  void RunWorker();
  // The two halves of RunWorker: the worker thread's part, and the replies
  // delivered on the audio thread.
  void DoWork();
  void DeliverResponses();
  // From now on the worker runs on a thread of its own, as in jalv, and its
  // replies are delivered after the next run.
  void StartWorkerThread();
  bool WorkerIdle();
  // Sets the kit and runs one block so the worker loads it and hands it over.
  void LoadKit(const std::string& path);

  std::vector<float>& Left() { return m_left; }
  std::vector<float>& Right() { return m_right; }
  // "Thumper Multi": what output pair k (1..16) played, left and right.
  std::vector<float>& MoreLeft(int k) { return m_moreLeft.at(size_t(k - 1)); }
  std::vector<float>& MoreRight(int k) { return m_moreRight.at(size_t(k - 1)); }
  // The kit paths the plugin announced with patch:Set on its notify port.
  const std::vector<std::string>& AnnouncedPaths() const { return m_announced; }
  // The note maps it announced the same way.
  const std::vector<std::string>& AnnouncedNoteMaps() const { return m_announcedMaps; }

  // The MIDNAM extension: the document and the model (empty when the plugin
  // returns none), and how often the plugin asked the host to read them again.
  std::string Midnam();
  std::string Model();
  int MidnamUpdates() const { return m_nMidnamUpdates.load(); }
  void CountMidnamUpdate() { ++m_nMidnamUpdates; }
  std::string AllLog() const;

  // State through lilv: save to a string (with files under dir), restore from one.
  std::string SaveState(const std::string& dir);
  void RestoreState(const std::string& text);

  // The raw handle, for the host callbacks.
  void PushRequest(uint32_t size, const void* data);
  void PushResponse(uint32_t size, const void* data);
  void AddLog(const std::string& line) {
    std::lock_guard lock(m_logMutex);
    m_log.push_back(line);
  }

 private:
  void ReadNotify();

  LilvHost& m_host;
  LilvInstance* m_pInstance = nullptr;
  const LV2_Worker_Interface* m_pWorker = nullptr;
  LV2_Worker_Schedule m_schedule{};
  LV2_Log_Log m_logFeature{};
  struct {
    void* handle;
    void (*update)(void*);
  } m_midnamFeature{};
  LV2_Feature m_features[5]{};
  const LV2_Feature* m_featureList[6]{};
  std::atomic<int> m_nMidnamUpdates{0};

  // Worker messages, in memory reserved up front so run() never makes the host allocate.
  std::vector<uint8_t> m_requests, m_responses;
  size_t m_nRequestBytes = 0, m_nResponseBytes = 0;

  std::vector<uint8_t> m_control, m_notify;
  std::vector<float> m_outL, m_outR;
  // The plugin's more output pairs, if it has them: buffers and what they played.
  std::vector<std::vector<float>> m_moreOut;
  std::vector<std::vector<float>> m_moreLeft, m_moreRight;
  float m_fChannel = 1.0f;
  float m_fMemory = 0.0f;
  std::string m_strPendingKit;
  bool m_bPendingGet = false;
  std::string m_strPendingMap;  // kept, not freed, by run(): the host allocates nothing there
  bool m_bPendingMap = false;
  bool m_bPendingMapAsName = false;
  bool m_bPendingGetMap = false;
  LV2_Atom_Forge m_forge{};
  LV2_URID m_nMidiEvent = 0, m_nChunk = 0, m_nSet = 0, m_nGet = 0, m_nProperty = 0, m_nValue = 0,
           m_nDrumSet = 0, m_nNoteMap = 0, m_nString = 0, m_nPath = 0;

  std::vector<float> m_left, m_right;
  std::vector<std::string> m_announced, m_announcedMaps;
  mutable std::mutex m_logMutex;  // the worker thread logs too
  std::vector<std::string> m_log;

  std::thread m_worker;
  std::mutex m_workMutex;
  std::condition_variable m_workCv;
  std::deque<std::vector<uint8_t>> m_threadRequests, m_threadResponses;
  int m_nWorking = 0;
  bool m_bStopWorker = false;
};

}  // namespace thumper::test
