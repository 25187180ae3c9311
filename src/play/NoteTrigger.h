#pragma once
// The note trigger: turns MIDI short messages into voice playback through the
// playing model (PlayProgram). A note-on on the selected channel weighs the
// note's regions in each selection set against the velocity and the last
// controller and polyphonic aftertouch values, starts the next copy of each
// chosen region's voice at its level and pan, and then stops the choke groups
// they stop. A note-off stops the regions that ask for it. For a drum set that
// is: the slot's velocity layer, at the attenuation of its volume scaling, the
// velocity and the channel volume (controller 7), cutting its cut slot; a
// note-off never stops a sound.
//
// Threads: OnMidiMessage runs on each MIDI source's own thread (the numbered
// device and the virtual port may deliver at once), never locks, allocates or
// frees. The UI thread publishes the drum set as a TriggerState, selects the
// channel and drains the note events that the keyboard panels draw.

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>

#include "audio/CommandQueue.h"
#include "audio/Reclaimer.h"
#include "audio/WakeSignal.h"
#include "play/TriggerState.h"

namespace thumper {

// What the keyboard panels show for one note, in arrival order.
struct NoteEvent {
  enum class Kind : uint8_t { Playing, Released };
  Kind kind = Kind::Playing;
  uint8_t nSlot = 0;
  uint8_t nLayer = 0;    // Playing only: the layer the velocity chose
  bool bSounds = false;  // Playing only: false draws the pressed look
};

// The MIDI IN light after an event: lit by every note-on, out after every release.
constexpr bool MidiInLitAfter(const NoteEvent& event) {
  return event.kind == NoteEvent::Kind::Playing;
}

// Packs a short message as the trigger takes it: status in bits 0-7, the first
// data byte in 8-15, the second in 16-23.
constexpr uint32_t PackShortMessage(uint8_t status, uint8_t d1, uint8_t d2) {
  return uint32_t{status} | uint32_t{d1} << 8 | uint32_t{d2} << 16;
}

// Slot of a MIDI note: note - 36, and slot 0 for every note below 36.
constexpr int SlotOfNote(int note) {
  return note < 36 ? 0 : note - 36;
}

// The slot a message starts when the trigger listens on channel (1..16), or -1
// for a message that starts none: what OnMidiMessage does with it.
constexpr int SlotStartedBy(uint32_t message, int channel) {
  const uint32_t status = message & 0xFF, d1 = (message >> 8) & 0xFF, d2 = (message >> 16) & 0xFF;
  if ((d1 | d2) & 0x80 || channel < 1 || channel > 16) return -1;
  return status == 0x8F + uint32_t(channel) && d2 != 0 ? SlotOfNote(int(d1)) : -1;
}

// The attenuation of a note, in hundredths of a decibel: volume scaling V,
// channel volume cv and velocity v (both 0..127), in 32-bit integers with
// truncation toward zero, exactly as the drum sets were tuned with.
constexpr int32_t NoteAttenuation(int32_t volume, int32_t channelVolume, int32_t velocity) {
  const int32_t p = (channelVolume * velocity) / 128;
  const int32_t q = volume / 128 + 1;
  return volume - p * q;
}

class NoteTrigger {
 public:
  static constexpr uint32_t kEventCapacity = 1024;

  // UI thread. Retired states are freed by reclaimer.Reclaim(), which the
  // runtime calls (it outlives the trigger). Starts with every slot silent.
  explicit NoteTrigger(Reclaimer& reclaimer);
  // Every source must have stopped calling OnMidiMessage.
  ~NoteTrigger();
  NoteTrigger(const NoteTrigger&) = delete;
  NoteTrigger& operator=(const NoteTrigger&) = delete;

  // --- UI thread ---
  // Swaps in a new state and retires the old one. Call after every change of the
  // drum set or the voice table, before retiring any voice the old state names.
  // The state takes the note map set last.
  void Publish(std::unique_ptr<TriggerState> state);
  // The user's note map, for every state published from now on (nothing: every
  // note plays itself).
  void SetNoteMap(const std::optional<NoteMap>& map) { m_noteMap = map; }
  // For a host whose audio thread swaps whole kits (the plugin): swaps in state,
  // whose ownership passes to the trigger, and hands back the one it replaces,
  // which the caller now owns. Real-time safe; only the thread that delivers
  // the messages may call it, between two of them, so no note still reads the
  // state handed back.
  const TriggerState* Exchange(const TriggerState* state) noexcept;
  // The state notes read now (UI thread: it alone replaces it).
  const TriggerState& Current() const { return *m_pState.load(std::memory_order_acquire); }
  // Raised after every note event the panels are to draw (null: none). Set
  // before any source calls in; it must outlive them.
  void SetWakeSignal(WakeSignal* wake) { m_pWake.store(wake, std::memory_order_release); }
  // Channel 1..16; other values are ignored.
  void SetChannel(int channel);
  int Channel() const { return m_nNoteOnStatus.load(std::memory_order_relaxed) - 0x8F; }
  // The next note event for the panels; false when none is waiting. One
  // consumer only.
  bool PopNoteEvent(NoteEvent& event) noexcept { return m_events.TryPop(event); }
  // Whether the MIDI IN light is lit after the last note (also when events were dropped).
  bool MidiInLit() const { return m_bMidiInLit.load(std::memory_order_relaxed); }
  uint64_t DroppedNoteEvents() const { return m_nDroppedEvents.load(std::memory_order_relaxed); }
  // Note-ons of notes whose samples were still loading (silent), so far.
  uint64_t HitsWhileLoading() const { return m_nHitsWhileLoading.load(std::memory_order_relaxed); }
  int ChannelVolume(int channel) const;

  // --- a MIDI source's thread; real-time ---
  // Handles one packed short message completely, inside a read section of the
  // calling source's own reader. The time stamp is not used.
  void OnMidiMessage(RtReader& reader, uint32_t message, uint32_t timestamp) noexcept;

  // Note-on status byte of the selected channel, 0x90 + channel - 1.
  std::atomic<int> m_nNoteOnStatus{0x90};
  // Last controller 7 value per channel; only the selected channel's is used.
  std::atomic<int> m_nChannelVolume[16];
  // Last value of every controller and every note's polyphonic aftertouch, per channel.
  std::atomic<uint8_t> m_nController[16][128];
  std::atomic<uint8_t> m_nPolyPressure[16][128];
  // Velocity of each note's last note-on, per channel (what a note-off starts plays at).
  std::atomic<uint8_t> m_nNoteVelocity[16][128];

 private:
  // The most regions one note-on starts (the rest of its sets stay silent).
  static constexpr uint32_t kMaxStarts = 256;

  // What one note-on (or the note-off or controller that starts regions) weighs.
  struct NoteContext {
    int nNote = 0;
    int nVelocity = 0;
    int nChannel = 0;
    float fRandom = 0.0f;
    uint32_t nSequence[PlayProgram::kMaxNoteSequences] = {};
  };

  void NoteOn(const TriggerState& state, int note, int velocity, int channel) noexcept;
  void NoteOff(const TriggerState& state, int note, int channel) noexcept;
  void ControllerMoved(const PlayProgram& program, int controller, int channel) noexcept;
  void PressureMoved(const PlayProgram& program, int note, int channel) noexcept;
  // The note's random value and sequence counters (advanced by a note-on; as
  // its last note-on left them for a note-off).
  static void PrepareContext(const PlayProgram& program, const PlayNote& note, bool advance,
                             NoteContext& context) noexcept;
  // Chooses from sets first .. + count, then starts what they chose. Returns how many started.
  uint32_t PlaySets(const PlayProgram& program, uint32_t first, uint32_t count,
                    const NoteContext& context) noexcept;
  void StopGroups(const PlayProgram& program, uint32_t first, uint32_t count, uint32_t fadeFrames,
                  const NoteContext& context) const noexcept;
  // Starts the regions set s chooses; adds them to started. Returns how many.
  uint32_t PlayFromSet(const PlayProgram& program, uint32_t s, const NoteContext& context,
                       uint32_t* started, uint32_t startedCount) noexcept;
  bool Holds(const PlayProgram& program, const PlayRegion& region,
             const NoteContext& context) const noexcept;
  bool ChecksHold(const PlayProgram& program, const PlayRegion& region,
                  const NoteContext& context) const noexcept;
  bool ConditionsHold(const PlayProgram& program, uint32_t first, uint32_t count, int note,
                      int channel) const noexcept;
  int ControllerValue(uint8_t controller, int note, int channel) const noexcept;
  void Start(const PlayProgram& program, const PlayRegion& region,
             const NoteContext& context) const noexcept;
  void StartCurve(const PlayProgram& program, const PlayRegion& region,
                  const NoteContext& context) const noexcept;
  void ApplyStartControllers(const TriggerState& state) noexcept;
  void ShowNotePlaying(int slot, int layer, bool sounds) noexcept;
  void ShowNoteReleased(int slot) noexcept;
  void PushEvent(const NoteEvent& event) noexcept;

  Reclaimer& m_reclaimer;
  std::optional<NoteMap> m_noteMap;  // UI thread
  std::atomic<const TriggerState*> m_pState{nullptr};
  CommandQueue<NoteEvent> m_events{kEventCapacity};
  std::atomic<uint64_t> m_nDroppedEvents{0};
  std::atomic<uint64_t> m_nHitsWhileLoading{0};
  std::atomic<bool> m_bMidiInLit{false};
  std::atomic<WakeSignal*> m_pWake{nullptr};
};

}  // namespace thumper
