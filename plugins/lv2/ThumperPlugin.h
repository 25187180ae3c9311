#pragma once
// One instance of the LV2 plugin: the engine (a mixer at the host's rate, the
// note trigger and the timed-event engine that `thumper render` and the JACK
// client run), the kit it plays, the note map in front of it, and the names
// of its notes for the host's piano roll (Ardour's MIDNAM extension).
//
// Threads: Create, Save and Restore on the host's control threads; Work on the
// worker thread; Run and WorkResponse on the audio thread; Midnam and Model on
// any thread but the audio one. A kit is loaded by Work (or Restore) without
// touching the playing one, handed to the audio thread, swapped in there
// wait-free, and the replaced kit goes back to the worker, which frees it once
// its last hits have rung out. A kit that plays as its maker made it is handed
// over in steps while its samples load (each note once all of its samples are
// in); a newer choice of kit stops such a load. A note map is read there too and reaches the
// audio thread as the newest of three slots (LatestValue). The MIDNAM document
// is made on the worker with each kit or map and the host told of it from
// there; Midnam only copies it.

#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/log/logger.h>
#include <lv2/state/state.h>
#include <lv2/urid/urid.h>
#include <lv2/worker/worker.h>

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ArdourMidnam.h"
#include "LatestValue.h"
#include "audio/Reclaimer.h"
#include "audio/SoundDevice.h"
#include "engine/KitNoteNames.h"
#include "engine/LoadedKit.h"
#include "engine/TimedEngine.h"
#include "play/NoteTrigger.h"

namespace thumper::lv2 {

enum PortIndex : uint32_t {
  kControl = 0,
  kNotify = 1,
  kOutLeft = 2,
  kOutRight = 3,
  kChannel = 4,
  // "Thumper Multi" only: output pairs 1..kMorePairs, left and right.
  kFirstMoreOut = 5,
  // The "Memory" control (megabytes, 0: automatic) follows the outputs:
  // index 5 for "Thumper", 37 for "Thumper Multi"; the host's freewheeling
  // flag follows it.
};

// The output pairs "Thumper Multi" has besides the main one.
inline constexpr uint32_t kMorePairs = 16;

class ThumperPlugin {
 public:
  // Control thread. Null (with a log line) when the host lacks a required feature.
  // morePairs: the output pairs it has besides the main one (0 for "Thumper",
  // kMorePairs for "Thumper Multi").
  static std::unique_ptr<ThumperPlugin> Create(double sampleRate,
                                               const LV2_Feature* const* features,
                                               uint32_t morePairs = 0);
  ~ThumperPlugin();
  ThumperPlugin(const ThumperPlugin&) = delete;
  ThumperPlugin& operator=(const ThumperPlugin&) = delete;

  void ConnectPort(uint32_t port, void* data) noexcept;
  // Real-time: the host's audio thread.
  void Run(uint32_t frames) noexcept;

  // The worker thread.
  LV2_Worker_Status Work(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
                         uint32_t size, const void* data);
  // Real-time: the audio thread, between two runs.
  LV2_Worker_Status WorkResponse(uint32_t size, const void* data) noexcept;

  // Control threads.
  LV2_State_Status Save(LV2_State_Store_Function store, LV2_State_Handle handle,
                        const LV2_Feature* const* features);
  LV2_State_Status Restore(LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                           const LV2_Feature* const* features);

  // Any thread but the audio one: the MIDNAM document of what plays, and the
  // instance's model name, each a copy for the host to free with std::free.
  char* Midnam();
  char* Model();

 private:
  struct Uris {
    LV2_URID atomPath, atomUrid, atomObject, atomBlank, midiEvent;
    LV2_URID patchSet, patchGet, patchProperty, patchValue, drumSet;
    LV2_URID atomString, noteMap, atomInt, memory;
  };
  // The note map as the audio thread takes it.
  struct PlayingMap {
    bool bOn = false;  // false: every note plays itself
    NoteMap map;
    std::string strName;  // the file or built-in name the user chose; empty for none
  };
  struct Retiring {
    std::unique_ptr<LoadedKit> pKit;
    uint64_t nReleaseFrame;  // the audio thread's frame count when its hits have ended
  };

  ThumperPlugin(uint32_t sampleRate, LV2_URID_Map* map, LV2_Worker_Schedule* schedule,
                LV2_Log_Log* log, ArdourMidnamHost* midnamHost);

  // --- audio thread ---
  void TakeRestoredKit() noexcept;
  void TakeNoteMap() noexcept;
  // Sets the note map that plays in state, which only this thread reads.
  void ApplyNoteMap(TriggerState& state) const noexcept;
  void InstallKit(std::unique_ptr<LoadedKit> kit) noexcept;
  // Sends a replaced kit to the worker; kits the host's queue cannot take yet
  // wait in a list that needs no memory of its own and go with a later run.
  void ReturnKit(std::unique_ptr<LoadedKit> kit) noexcept;
  void SendReturningKits() noexcept;
  void HandlePatch(const LV2_Atom_Object* object, int64_t frame) noexcept;
  // Asks the worker for a kit or map load of path (kind: a WorkRequest::Kind).
  void ScheduleLoad(uint32_t kind, const char* path, uint32_t length) noexcept;
  // The Memory control's index.
  uint32_t MemoryPort() const noexcept { return kFirstMoreOut + 2 * m_nMorePairs; }
  uint32_t FreewheelPort() const noexcept { return MemoryPort() + 1; }
  // Any thread: a kit that a worker message is about to carry is noted here
  // before the message goes, and taken off when it arrives, so a host that
  // frees the instance with messages undelivered frees their kits with it.
  bool HoldInFlight(LoadedKit* kit) noexcept;
  void TakeInFlight(LoadedKit* kit) noexcept;
  void WriteKitPath(int64_t frame) noexcept;
  void WriteNoteMapName(int64_t frame) noexcept;
  void WritePathProperty(int64_t frame, LV2_URID property, const std::string& path) noexcept;

  // Any thread: raises the number of the newest kit load to at least load,
  // which stops the loads numbered below it.
  void NoteNewestLoad(uint64_t load) noexcept;

  // --- control threads, holding m_controlMutex ---
  // memoryMB: the Memory control's value when the load was asked for.
  std::unique_ptr<LoadedKit> LoadLogged(const std::string& path, uint32_t memoryMB,
                                        const KitLoadSteps& steps = {});
  // The worker: sends a kit to the audio thread; step: one of a load still running.
  void SendKit(LV2_Worker_Respond_Function respond, LV2_Worker_Respond_Handle handle,
               std::unique_ptr<LoadedKit> kit, bool step);
  // Reads the map name names (a file or a built-in; empty: none) into map;
  // false, with the reason logged and map untouched, when it cannot be read.
  bool LoadNoteMapLogged(const std::string& name, std::optional<NoteMap>& map);
  // Hands m_noteMap to the audio thread and remakes the MIDNAM document.
  void PublishNoteMap();
  void UpdateMidnam();
  void FreeRungOutKits();
  // Worker: logs the blocks of streamed samples the disk gave too late since
  // the last report.
  void ReportUnderruns();

  // --- control threads, holding no lock of the plugin's ---
  // Tells the host that the MIDNAM document changed (it may read it at once).
  void NotifyMidnamChanged();

  Uris m_uris{};
  LV2_URID_Map* m_pMap;
  LV2_Worker_Schedule* m_pSchedule;
  ArdourMidnamHost* m_pMidnamHost;  // null: the host reads no note names
  LV2_Log_Logger m_logger{};
  LV2_Atom_Forge m_forge{};
  uint32_t m_nSampleRate;

  // Ports.
  const LV2_Atom_Sequence* m_pControl = nullptr;
  LV2_Atom_Sequence* m_pNotify = nullptr;
  float* m_pOut[2] = {nullptr, nullptr};
  const float* m_pChannel = nullptr;
  const float* m_pMemory = nullptr;
  const float* m_pFreewheel = nullptr;
  bool m_bFreewheel = false;        // audio thread: the flag as run() last saw it
  uint64_t m_nUnderrunsLogged = 0;  // worker
  uint32_t m_nMorePairs = 0;
  std::array<float*, 2 * kMorePairs> m_pMoreOut{};
  std::array<MixTarget, kMorePairs> m_more{};  // the audio thread's own

  // The engine; destroyed after every kit, whose voices live on its mixer.
  Reclaimer m_reclaimer;
  PulledDevice m_device;
  NoteTrigger m_trigger;
  TimedEngine m_engine;

  // The control side: the mixer's control calls, the retired kits, the path
  // saved, the note map chosen and the names of the kit's notes.
  std::mutex m_controlMutex;
  std::vector<Retiring> m_retiring;
  std::string m_strSavedPath;
  std::string m_strSavedNoteMap;
  std::optional<NoteMap> m_noteMap;
  NoteNames m_kitNames;
  std::array<int, 128> m_kitGmNotes = GeneralMidiIdentity();  // the kit's General MIDI drums
  LatestValue<PlayingMap> m_playingMaps;                      // written holding m_controlMutex
  std::atomic<LoadedKit*> m_pRestored{nullptr};               // owned; taken by the next run
  // Kits inside worker messages (owned here until the message arrives). More
  // than a few at once never happen; past the last slot a kit goes untracked.
  std::array<std::atomic<LoadedKit*>, 64> m_inFlight{};
  std::atomic<uint64_t> m_nFramesPlayed{0};
  // The Memory control's value as run() last saw it, in megabytes (0: automatic).
  std::atomic<uint32_t> m_nMemoryMB{0};
  // Kit loads are numbered as they are asked for; the worker stops one once a
  // later one has been asked for (m_nNewestLoad), and the audio thread never
  // puts back a kit older than the one that plays.
  std::atomic<uint64_t> m_nNextLoad{0};
  std::atomic<uint64_t> m_nNewestLoad{0};
  // While the worker loads a kit in steps, it reads no other message: replaced
  // kits wait on the audio thread instead of filling the host's queue.
  std::atomic<bool> m_bWorkerLoading{false};
  // Steps sent and not yet taken by the audio thread; the next waits for none.
  std::atomic<int> m_nStepsInFlight{0};

  // The MIDNAM document, ready for the host to copy.
  std::mutex m_midnamMutex;
  const std::string m_strModel;
  std::string m_strMidnam;

  // Audio-thread state.
  std::unique_ptr<LoadedKit> m_pKit;        // what plays; its state is the trigger's
  TriggerState* m_pPlayingState = nullptr;  // that state, which only this thread reads
  std::unique_ptr<LoadedKit> m_pReturning;  // waiting to go back, linked by m_pNextReturn
  static constexpr size_t kMaxEvents = 4096;
  std::array<MidiEventAt, kMaxEvents> m_events{};
  uint64_t m_nFrames = 0;
  uint64_t m_nLastHousekeeping = 0;
  uint64_t m_nPlayingLoad = 0;  // the load that made m_pKit
  int m_nChannel = 1;
  bool m_bAnnounce = false;     // the notify port tells the kit path in the next run
  bool m_bAnnounceMap = false;  // and the note map's name
};

}  // namespace thumper::lv2
