// The trigger under load while the drum set changes: MIDI sources hammer it
// with notes while the UI thread assigns, clears and reloads layers, retiring
// voices and states, and an audio thread mixes. In the JACK style the audio
// thread runs the trigger itself, through the timed-event engine, as the JACK
// client and the plugin do. Run under ThreadSanitizer too
// (-DTHUMPER_SANITIZE=thread): no crash, no race, no lost note event.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <random>
#include <thread>

#include "engine/TimedEngine.h"
#include "midi/TriggerTestSupport.h"

namespace thumper::test {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kSlots = 24;  // the slots the stress plays and edits
constexpr auto kRunTime = std::chrono::milliseconds(1000);

class TriggerStressTest : public TriggerTest {
 protected:
  // Retired voices must go while their mixer still exists; the mixer's reader
  // lets reclamation pass only as it mixes.
  ~TriggerStressTest() override {
    for (auto& v : voices) v.reset();
    std::vector<float> out(2 * 128);
    for (int i = 0; i < 100 && reclaimer.PendingCount() > 0; ++i) {
      mixer.Mix(out.data(), 128);
      reclaimer.Reclaim();
    }
  }

  // Takes a voice out of the table: it goes once a state without it is out and
  // every reader has moved past.
  void Drop(int index) {
    if (voices[index]) m_dropped.push_back(std::move(voices[index]));
  }

  // As the runtime does it: publish a state without the dropped voices, then
  // retire them; a voice may still be sounding in the mixer.
  void PublishAndRetire() {
    Publish();
    for (auto& v : m_dropped) reclaimer.Retire(std::move(v));
    m_dropped.clear();
    reclaimer.Reclaim();
  }

  void AssignLayer(int slot, int layer) {
    Drop(LayerIndex(slot, layer));
    MakeVoice(slot, layer, 2000);
    // The sources as the document keeps them: own layers and borrowed ones.
    int source = -1;
    for (int l = 0; l < kLayerCount; ++l) {
      if (l == 0 && !voices[LayerIndex(slot, 0)]) MakeVoice(slot, 0, 2000);
      if (voices[LayerIndex(slot, l)]) source = l;
      set.m_nLayerSource[LayerIndex(slot, l)] = source;
    }
  }

  void ClearLayer(int slot, int layer) {
    Drop(LayerIndex(slot, layer));
    if (layer == 0) {
      for (int l = 0; l < kLayerCount; ++l) {
        Drop(LayerIndex(slot, l));
        set.m_nLayerSource[LayerIndex(slot, l)] = -1;
      }
      return;
    }
    for (int l = layer; l < kLayerCount && !voices[LayerIndex(slot, l)]; ++l)
      set.m_nLayerSource[LayerIndex(slot, l)] = set.m_nLayerSource[LayerIndex(slot, l - 1)];
  }

  // A new drum set, some of it damaged, and every voice made again.
  void ReplaceDrumSet(std::mt19937& rng) {
    for (int i = 0; i < kLayerTotal; ++i) Drop(i);
    set = DrumSet{};
    PublishAndRetire();
    for (int s = 0; s < kSlots; ++s) {
      set.m_noteSlot[s].nScheme = static_cast<int32_t>(rng() % 8) - 1;
      set.m_noteSlot[s].nCutNote = static_cast<int32_t>(rng() % 300) - 50;
      set.m_noteSlot[s].nVolume = -static_cast<int32_t>(rng() % 9000);
      if (rng() % 4 == 0) AssignLayer(s, static_cast<int>(rng() % 5));
    }
    set.m_nLayerSource[LayerIndex(3, 2)] = 9;  // damaged sources
    set.m_nLayerSource[LayerIndex(3, 3)] = -4;
    PublishAndRetire();
  }

  enum class Style { UiPulls, AudioThread, JackStyle };
  void Run(Style style);

  std::vector<std::unique_ptr<SampleVoice>> m_dropped;
  std::atomic<uint64_t> m_nBlocks{0};
};

uint32_t RandomMessage(uint32_t r);

// A MIDI source at a steady rate: note-ons, releases and channel volume.
struct Sender {
  RtReader* pReader;
  double fNotesPerSecond;
  uint32_t nSeed;
  std::atomic<uint64_t> nNoteMessages{0};

  void Run(NoteTrigger& trigger, const std::atomic<bool>& stop) {
    std::mt19937 rng(nSeed);
    const auto start = Clock::now();
    uint64_t sent = 0;
    while (!stop.load(std::memory_order_relaxed)) {
      const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      if (sent >= elapsed * fNotesPerSecond) {
        std::this_thread::yield();
        continue;
      }
      const uint32_t message = RandomMessage(rng());
      ++sent;
      if (pInbox)
        pInbox->PostNow(message);  // as RtMidi's thread does with the engine
      else
        trigger.OnMidiMessage(*pReader, message, 0);
      if ((message & 0xF0) != 0xB0) nNoteMessages.fetch_add(1, std::memory_order_relaxed);
    }
  }
  MidiInbox* pInbox = nullptr;
};

// Note-ons, releases and channel volume on the slots the stress plays.
uint32_t RandomMessage(uint32_t r) {
  const uint8_t note = static_cast<uint8_t>(30 + r % (kSlots + 6));
  const uint8_t velocity = static_cast<uint8_t>(1 + (r >> 8) % 127);
  if ((r >> 16) % 8 == 0) return PackShortMessage(0x80, note, 0);
  if ((r >> 16) % 64 == 1) return PackShortMessage(0xB0, 7, velocity);
  return PackShortMessage(0x90, note, velocity);
}

// UiPulls: the UI thread pulls the mixer between edits. AudioThread: an audio
// thread of its own mixes all the time. JackStyle: the audio thread plays the
// notes of each cycle at their frames and the stamped ones of another input,
// the trigger and the mixer on one thread.
void TriggerStressTest::Run(Style style) {
  const bool audioThread = style != Style::UiPulls;
  std::mt19937 rng(7);
  ReplaceDrumSet(rng);

  TimedEngine engine(trigger, reclaimer);
  std::atomic<bool> stop{false};
  Sender device{reclaimer.RegisterReader(), 100000.0, 1};
  Sender virtualPort{reclaimer.RegisterReader(), 20000.0, 2};
  ASSERT_NE(device.pReader, nullptr);
  ASSERT_NE(virtualPort.pReader, nullptr);
  if (style == Style::JackStyle) virtualPort.pInbox = &engine;
  std::thread deviceThread;
  if (style != Style::JackStyle) deviceThread = std::thread([&] { device.Run(trigger, stop); });
  std::thread portThread([&] { virtualPort.Run(trigger, stop); });
  std::atomic<uint64_t>& blocks = m_nBlocks;
  std::vector<float> out(2 * 128);
  std::thread audio;
  if (audioThread) {
    audio = std::thread([&] {
      std::vector<float> left(128), right(128);
      std::mt19937 noteRng(11);
      std::array<MidiEventAt, 16> events{};
      while (!stop.load(std::memory_order_relaxed)) {
        if (style == Style::JackStyle) {
          // Events at rising frames of the cycle, as a JACK port delivers them.
          for (size_t i = 0; i < events.size(); ++i)
            events[i] = {static_cast<uint32_t>(i * 8 + noteRng() % 8), RandomMessage(noteRng())};
          for (const MidiEventAt& e : events)
            if ((e.nMessage & 0xF0) != 0xB0) device.nNoteMessages.fetch_add(1);
          engine.RenderCycle(mixer, MixTarget::Planar(left.data(), right.data()), 128, events,
                             {SteadyMicros(), &SteadyMicros});
        } else {
          mixer.Mix(MixTarget::Planar(left.data(), right.data()), 128);
        }
        blocks.fetch_add(1, std::memory_order_relaxed);
        // Periodic like a device: a spinning thread would starve the others
        // on a small machine and hold their read sections open.
        std::this_thread::sleep_for(std::chrono::microseconds(300));
      }
    });
  }

  uint64_t events = 0;
  uint64_t edits = 0;
  const auto end = Clock::now() + kRunTime;
  while (Clock::now() < end) {
    // A reader held off the processor keeps retired voices alive; like a real
    // UI, wait for them instead of making ever more.
    if (reclaimer.PendingCount() > 1500) {
      if (!audioThread) {
        mixer.Mix(out.data(), 128);
        ++blocks;
      }
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      reclaimer.Reclaim();
      continue;
    }
    const uint32_t r = rng();
    const int slot = static_cast<int>(r % kSlots);
    const int layer = static_cast<int>((r >> 8) % kLayerCount);
    switch ((r >> 16) % 16) {
      case 0:
        ReplaceDrumSet(rng);
        break;
      case 1:
      case 2:
      case 3:
      case 4:
      case 5:
        ClearLayer(slot, layer);
        break;
      case 6:
        set.m_noteSlot[slot].nCutNote = static_cast<int32_t>((r >> 4) % kSlots);
        break;
      case 7:
        trigger.SetChannel(1 + static_cast<int>((r >> 4) % 2));
        break;
      default:
        AssignLayer(slot, layer);
        break;
    }
    PublishAndRetire();
    ++edits;
    if (!audioThread) {
      mixer.Mix(out.data(), 128);
      ++blocks;
    } else {
      std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
    NoteEvent e;
    while (trigger.PopNoteEvent(e)) {
      ASSERT_LT(e.nSlot, kSlotCount);
      ASSERT_LT(e.nLayer, kLayerCount);
      ++events;
    }
  }
  trigger.SetChannel(1);
  stop = true;
  if (deviceThread.joinable()) deviceThread.join();
  portThread.join();
  if (audio.joinable()) audio.join();
  NoteEvent e;
  while (trigger.PopNoteEvent(e)) ++events;
  reclaimer.UnregisterReader(device.pReader);
  reclaimer.UnregisterReader(virtualPort.pReader);

  const uint64_t notes = device.nNoteMessages + virtualPort.nNoteMessages;
  EXPECT_GT(edits, 10u);
  EXPECT_GT(blocks.load(), 10u);
  EXPECT_GT(notes, 1000u);
  // Notes on the other channel show nothing; every other one is shown or counted.
  EXPECT_LE(events + trigger.DroppedNoteEvents(), notes);
  // Stamped messages the engine had to drop (its inbox or waiting list full
  // while a slow audio thread, under a sanitizer, fell behind) never reach it.
  const uint64_t lost = engine.DroppedMessages();
  EXPECT_GT(events + trigger.DroppedNoteEvents() + lost, notes / 4) << lost << " lost";
  for (const auto& m : ui.messages) ADD_FAILURE() << m.caption << ": " << m.text;
  std::printf("%llu note messages, %llu shown, %llu dropped, %llu edits, %llu blocks\n",
              static_cast<unsigned long long>(notes), static_cast<unsigned long long>(events),
              static_cast<unsigned long long>(trigger.DroppedNoteEvents()),
              static_cast<unsigned long long>(edits),
              static_cast<unsigned long long>(blocks.load()));
}

TEST_F(TriggerStressTest, NotesKeepPlayingSafelyWhileTheDrumSetChanges) {
  Run(Style::UiPulls);
}

TEST_F(TriggerStressTest, NotesKeepPlayingSafelyWhileTheDrumSetChangesAndAudioRuns) {
  Run(Style::AudioThread);
}

TEST_F(TriggerStressTest, NotesPlayedByTheAudioThreadItselfStaySafeWhileTheDrumSetChanges) {
  Run(Style::JackStyle);
}

}  // namespace
}  // namespace thumper::test
