#pragma once
// One instance of the LV2 plugin: the engine (a mixer at the host's rate, the
// note trigger and the timed-event engine that `thumper render` and the JACK
// client run) and the kit it plays.
//
// Threads: Create, Save and Restore on the host's control threads; Work on the
// worker thread; Run and WorkResponse on the audio thread. A kit is loaded by
// Work (or Restore) without touching the playing one, handed to the audio
// thread, swapped in there wait-free, and the replaced kit goes back to the
// worker, which frees it once its last hits have rung out.

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
#include <string>
#include <vector>

#include "audio/Reclaimer.h"
#include "audio/SoundDevice.h"
#include "engine/LoadedKit.h"
#include "engine/TimedEngine.h"
#include "play/NoteTrigger.h"

namespace thumper::lv2 {

enum PortIndex : uint32_t { kControl = 0, kNotify = 1, kOutLeft = 2, kOutRight = 3, kChannel = 4 };

class ThumperPlugin {
 public:
  // Control thread. Null (with a log line) when the host lacks a required feature.
  static std::unique_ptr<ThumperPlugin> Create(double sampleRate,
                                               const LV2_Feature* const* features);
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

 private:
  struct Uris {
    LV2_URID atomPath, atomUrid, atomObject, atomBlank, midiEvent;
    LV2_URID patchSet, patchGet, patchProperty, patchValue, drumSet;
  };
  struct Retiring {
    std::unique_ptr<LoadedKit> pKit;
    uint64_t nReleaseFrame;  // the audio thread's frame count when its hits have ended
  };

  ThumperPlugin(uint32_t sampleRate, LV2_URID_Map* map, LV2_Worker_Schedule* schedule,
                LV2_Log_Log* log);

  // --- audio thread ---
  void TakeRestoredKit() noexcept;
  void InstallKit(std::unique_ptr<LoadedKit> kit) noexcept;
  // Sends a replaced kit to the worker; kits the host's queue cannot take yet
  // wait in a list that needs no memory of its own and go with a later run.
  void ReturnKit(std::unique_ptr<LoadedKit> kit) noexcept;
  void SendReturningKits() noexcept;
  void HandlePatch(const LV2_Atom_Object* object, int64_t frame) noexcept;
  // Any thread: a kit that a worker message is about to carry is noted here
  // before the message goes, and taken off when it arrives, so a host that
  // frees the instance with messages undelivered frees their kits with it.
  bool HoldInFlight(LoadedKit* kit) noexcept;
  void TakeInFlight(LoadedKit* kit) noexcept;
  void WriteKitPath(int64_t frame) noexcept;

  // --- control threads, holding m_controlMutex ---
  std::unique_ptr<LoadedKit> LoadLogged(const std::string& path);
  void FreeRungOutKits();

  Uris m_uris{};
  LV2_URID_Map* m_pMap;
  LV2_Worker_Schedule* m_pSchedule;
  LV2_Log_Logger m_logger{};
  LV2_Atom_Forge m_forge{};
  uint32_t m_nSampleRate;

  // Ports.
  const LV2_Atom_Sequence* m_pControl = nullptr;
  LV2_Atom_Sequence* m_pNotify = nullptr;
  float* m_pOut[2] = {nullptr, nullptr};
  const float* m_pChannel = nullptr;

  // The engine; destroyed after every kit, whose voices live on its mixer.
  Reclaimer m_reclaimer;
  PulledDevice m_device;
  NoteTrigger m_trigger;
  TimedEngine m_engine;

  // The control side: the mixer's control calls, the retired kits, the path saved.
  std::mutex m_controlMutex;
  std::vector<Retiring> m_retiring;
  std::string m_strSavedPath;
  std::atomic<LoadedKit*> m_pRestored{nullptr};  // owned; taken by the next run
  // Kits inside worker messages (owned here until the message arrives). More
  // than a few at once never happen; past the last slot a kit goes untracked.
  std::array<std::atomic<LoadedKit*>, 64> m_inFlight{};
  std::atomic<uint64_t> m_nFramesPlayed{0};

  // Audio-thread state.
  std::unique_ptr<LoadedKit> m_pKit;        // what plays; its state is the trigger's
  std::unique_ptr<LoadedKit> m_pReturning;  // waiting to go back, linked by m_pNextReturn
  static constexpr size_t kMaxEvents = 4096;
  std::array<MidiEventAt, kMaxEvents> m_events{};
  uint64_t m_nFrames = 0;
  uint64_t m_nLastHousekeeping = 0;
  int m_nChannel = 1;
  bool m_bAnnounce = false;  // the notify port tells the kit path in the next run
};

}  // namespace thumper::lv2
