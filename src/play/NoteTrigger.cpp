#include "play/NoteTrigger.h"

#include "audio/SampleVoice.h"

namespace thumper {

namespace {
constexpr int kControlChange = 0x20;  // added to the note-on status
constexpr int kNoteOff = -0x10;
constexpr int kChannelVolumeController = 7;
}  // namespace

NoteTrigger::NoteTrigger(Reclaimer& reclaimer) : m_reclaimer(reclaimer) {
  for (auto& volume : m_nChannelVolume) volume.store(127, std::memory_order_relaxed);
  m_pState.store(BuildSilentTriggerState(DrumSet{}).release(), std::memory_order_release);
}

NoteTrigger::~NoteTrigger() {
  delete m_pState.load(std::memory_order_acquire);
}

void NoteTrigger::Publish(std::unique_ptr<TriggerState> state) {
  if (!state) return;
  // Sequentially consistent, as the readers' epochs: a reader that entered
  // after this exchange cannot see the old state the retirement stamps.
  const TriggerState* old = m_pState.exchange(state.release(), std::memory_order_seq_cst);
  m_reclaimer.Retire(std::unique_ptr<TriggerState>(const_cast<TriggerState*>(old)));
}

// Real-time: the thread that delivers the messages.
const TriggerState* NoteTrigger::Exchange(const TriggerState* state) noexcept {
  return m_pState.exchange(state, std::memory_order_seq_cst);
}

void NoteTrigger::SetChannel(int channel) {
  if (channel < 1 || channel > 16) return;
  m_nNoteOnStatus.store(0x8F + channel, std::memory_order_relaxed);
}

int NoteTrigger::ChannelVolume(int channel) const {
  if (channel < 1 || channel > 16) return 0;
  return m_nChannelVolume[channel - 1].load(std::memory_order_relaxed);
}

// Real-time: a MIDI source's thread.
void NoteTrigger::OnMidiMessage(RtReader& reader, uint32_t message, uint32_t) noexcept {
  // Voices and states this message may reach stay alive until it has left.
  RtReadSection section(reader);
  const int status = static_cast<int>(message & 0xFF);
  const int d1 = static_cast<int>((message >> 8) & 0xFF);
  const int d2 = static_cast<int>((message >> 16) & 0xFF);
  // A data byte with its top bit set cannot come from a MIDI wire; such a
  // message is damaged and would reach past the slot and volume ranges.
  if ((d1 | d2) & 0x80) return;

  // Read once: the channel may change between two messages, never within one.
  const int noteOn = m_nNoteOnStatus.load(std::memory_order_relaxed);
  const int channel = (noteOn - 0x90) & 0x0F;

  if (status == noteOn + kControlChange) {
    if (d1 == kChannelVolumeController)
      m_nChannelVolume[channel].store(d2, std::memory_order_relaxed);
    return;
  }
  if (status == noteOn && d2 != 0) {
    NoteOn(SlotOfNote(d1), d2, channel);
    return;
  }
  if (status == noteOn || status == noteOn + kNoteOff) ShowNoteReleased(SlotOfNote(d1));
}

void NoteTrigger::NoteOn(int s, int velocity, int channel) noexcept {
  // Ordered after the section's epoch store (a plain load on x86).
  const TriggerState& state = *m_pState.load(std::memory_order_seq_cst);
  const TriggerSlot& slot = state.m_slot[s];
  const int layer = VelocityLayer(slot.nThreshold, velocity);
  if (slot.bSounds) {
    if (SampleVoice* voice = slot.pLayerVoice[layer]) {
      const int cv = m_nChannelVolume[channel].load(std::memory_order_relaxed);
      voice->PlayWithVolume(NoteAttenuation(slot.nVolume, cv, velocity));
    }
    // The cut comes after the start, so a slot that cuts itself falls silent.
    if (slot.nCutSlot >= 0) {
      for (SampleVoice* cut : state.m_slot[slot.nCutSlot].pOwnVoice)
        if (cut) cut->StopAll();
    }
  }
  ShowNotePlaying(s, layer, slot.bSounds);
}

void NoteTrigger::ShowNotePlaying(int slot, int layer, bool sounds) noexcept {
  m_bMidiInLit.store(true, std::memory_order_relaxed);
  PushEvent(
      {NoteEvent::Kind::Playing, static_cast<uint8_t>(slot), static_cast<uint8_t>(layer), sounds});
}

void NoteTrigger::ShowNoteReleased(int slot) noexcept {
  m_bMidiInLit.store(false, std::memory_order_relaxed);
  PushEvent({NoteEvent::Kind::Released, static_cast<uint8_t>(slot), 0, false});
}

void NoteTrigger::PushEvent(const NoteEvent& event) noexcept {
  if (!m_events.TryPush(event)) m_nDroppedEvents.fetch_add(1, std::memory_order_relaxed);
  if (WakeSignal* wake = m_pWake.load(std::memory_order_acquire)) wake->Raise();
}

}  // namespace thumper
