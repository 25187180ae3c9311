#pragma once
// The software mixer: our layer in place of static sound buffers with duplicates.
//
// A buffer holds immutable 16-bit sample data at the mixer's rate, stereo or
// mono (a mono sample plays on both channels, as its doubled stereo would); a
// duplicate shares the data and has its own start position, attenuation and
// playing state. Create, lock/unlock (fill), duplicate and release run on the UI
// thread. Play, Stop, SetPosition and SetAttenuation may run on any thread: they
// only store an atomic or push a command into a bounded lock-free queue that the
// audio thread drains at the top of each block. The audio thread owns the
// playing state and never locks, allocates or frees. Released data is retired to
// the Reclaimer and freed on the UI thread once a whole block has begun after
// the release (the block that noticed it ends its voices): see RtReader::Advance.
//
// A stop fades the sounding copy out over 2 ms (or the length the stop asks
// for, as a choke does), and a restart hands the old sound to a spare tail voice
// that fades it out over 2 ms while the new start plays, so neither clicks. A
// copy started with a left and a right gain plays each channel at its own gain
// (pan); with equal gains it mixes exactly as a copy with one gain. A stereo
// copy may also be started with four gains, each input channel to each output
// (stereo width).

#include <atomic>
#include <bit>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "audio/CommandQueue.h"
#include "audio/Reclaimer.h"
#include "audio/SampleStreamer.h"
#include "audio/WaveFormat.h"

namespace thumper {

// Interleaved 16-bit frames at the mixer's rate, of nChannels channels (2, or 1
// for a mono file: half the memory). Immutable once published.
struct SampleData {
  std::unique_ptr<int16_t[]> pSamples;
  uint32_t nFrames = 0;
  uint32_t nChannels = 2;
  // A sample streamed from disk: pSamples holds its first nFrames frames (its
  // head), and the rest, up to nStreamFrames, is read from pStreamFile while it
  // plays. 0: all of it is in memory.
  uint32_t nStreamFrames = 0;
  std::shared_ptr<const StreamFile> pStreamFile;
  uint32_t nStreamFile = 0;  // its id with the mixer's streamer, given as it is adopted

  // Frames the sample lasts.
  uint32_t Frames() const { return nStreamFrames ? nStreamFrames : nFrames; }
};

// A stereo copy's four gains: each input channel to each output channel.
// {1, 0, 0, 1} plays it as recorded.
struct StereoGains {
  float fLeftToLeft = 1.0f;
  float fLeftToRight = 0.0f;
  float fRightToLeft = 0.0f;
  float fRightToRight = 1.0f;
};

// The gains of a stereo copy panned by left and right and then given width
// (1 as recorded, 0 both channels summed to the middle, -1 swapped; clamped
// to [-1, 1]), by the SFZ players' law: the width turns each input channel
// between its own side and the other by a quarter-circle, so 0 sends each at
// cos(pi/4) to both sides.
StereoGains WidthGains(float left, float right, float width) noexcept;

// Where a mix is written: interleaved stereo (float or 16-bit, as devices and
// files take it) or two float channels (as JACK and plugin hosts take it).
struct MixTarget {
  enum class Kind : uint8_t { Float, Int16, Planar };
  Kind kind = Kind::Float;
  float* pFloat = nullptr;
  int16_t* pInt16 = nullptr;
  float* pLeft = nullptr;
  float* pRight = nullptr;
  // More output pairs (a DAW's per-drum tracks, stems): a copy played on
  // output k (1..nMore) is mixed into pMore[k - 1] instead of this target;
  // copies on higher outputs, and every copy when there are none, into this one.
  const struct MixTarget* pMore = nullptr;
  uint32_t nMore = 0;

  static MixTarget Interleaved(float* out) { return {Kind::Float, out, nullptr, nullptr, nullptr}; }
  static MixTarget Interleaved(int16_t* out) {
    return {Kind::Int16, nullptr, out, nullptr, nullptr};
  }
  static MixTarget Planar(float* left, float* right) {
    return {Kind::Planar, nullptr, nullptr, left, right};
  }
  // This target with more output pairs (at most Mixer::kMaxOutputs - 1 count).
  MixTarget WithMore(const MixTarget* more, uint32_t count) const {
    MixTarget t = *this;
    t.pMore = more;
    t.nMore = count;
    return t;
  }
};

struct BufferId {
  static constexpr uint32_t kNone = 0xFFFFFFFFu;
  uint32_t nSlot = kNone;
  uint32_t nGen = 0;
  bool IsValid() const { return nSlot != kNone; }
};

class Mixer {
 public:
  // The largest buffer one create accepts, in bytes (as the original's static
  // buffers); 4 bytes is the smallest.
  static constexpr uint32_t kMaxBufferBytes = 0x0FFFFFFF;
  static constexpr uint32_t kMinBufferBytes = 4;
  static constexpr uint32_t kMaxBlockFrames = 1024;
  // Output pairs a mix can keep apart: the main one and 63 more.
  static constexpr uint32_t kMaxOutputs = 64;

  struct Options {
    uint32_t nSampleRate = kOutputRate;
    uint32_t nBufferSlots = 16384;  // 640 voices of 16 copies, the preview voice, spares
    uint32_t nTailVoices = 1024;    // sounds fading out after a stop or restart
    uint32_t nQueueCapacity = 16384;
  };

  // Registers the audio thread as a reader of reclaimer, which must outlive the mixer.
  Mixer(Reclaimer& reclaimer, const Options& options);
  Mixer(Reclaimer& reclaimer) : Mixer(reclaimer, Options{}) {}
  ~Mixer();
  Mixer(const Mixer&) = delete;
  Mixer& operator=(const Mixer&) = delete;

  // Read by the audio thread too: the rate may change while it runs.
  uint32_t SampleRate() const { return m_nSampleRate.load(std::memory_order_relaxed); }
  uint32_t FadeFrames() const { return m_nFadeFrames.load(std::memory_order_relaxed); }
  // UI thread: the device now runs at another rate. Buffers made from now on
  // are at the new one; those still held play at the wrong speed, so the
  // caller keeps the output silent until it has released them all.
  void SetSampleRate(uint32_t rate);

  // --- UI thread ---
  // A buffer of byteCount bytes in format (16-bit stereo PCM at 44,100 Hz);
  // nothing when the format or size cannot be held or every slot is taken.
  BufferId CreateBuffer(const WaveFormat& format, uint32_t byteCount);
  // Writable storage of the buffer's byteCount bytes; empty when the memory
  // cannot be had or the buffer was already filled.
  std::span<uint8_t> LockBuffer(BufferId id);
  // Publishes what was written, converted to the mixer's rate when it is not
  // 44,100 Hz. False when the buffer was not locked or the conversion failed.
  bool UnlockBuffer(BufferId id);
  // A buffer made from data already at the mixer's rate (decoded off the UI
  // thread): published at once, with no copy. Nothing when every slot is taken.
  BufferId AdoptBuffer(std::unique_ptr<SampleData> data);
  // A copy sharing the data (no copying), stopped, at full level.
  BufferId DuplicateBuffer(BufferId id);
  // Silences and frees the slot; the data goes once its last copy is released.
  void ReleaseBuffer(BufferId id);
  // Frees released sample data that the audio thread can no longer read.
  size_t Reclaim() { return m_reclaimer.Reclaim(); }
  // Once nothing pulls the mixer any more (the stream is stopped): it stops
  // holding back reclamation. Mix must not be called after this.
  void DetachReader();

  // --- any thread; real-time safe ---
  void Play(BufferId id) noexcept;
  // Starts the copy from its first frame at this gain: one command, so the gain
  // cannot be mixed up with another start of the same copy from another thread.
  void Play(BufferId id, float gain) noexcept;
  // Starts the copy at frame start with each channel at its own gain, on
  // output pair output (0 the main one; see MixTarget::pMore).
  void Play(BufferId id, float left, float right, uint32_t start, uint8_t output = 0) noexcept;
  // Starts the copy at frame start with each input channel sent to each output
  // at its own gain. A mono copy plays its one channel at the two gains to its
  // own side (fLeftToLeft, fRightToRight).
  void Play(BufferId id, const StereoGains& gains, uint32_t start, uint8_t output = 0) noexcept;

  void Stop(BufferId id) noexcept;
  // Stops the copy with a fade of fadeFrames frames (0: the mixer's own 2 ms).
  void Stop(BufferId id, uint32_t fadeFrames) noexcept;
  // Frame at which the next Play of this copy starts.
  void SetPosition(BufferId id, uint32_t frame) noexcept;
  // Hundredths of a decibel; takes hold for this copy from the next block on.
  void SetAttenuation(BufferId id, long attenuation) noexcept;
  // Stops every sounding copy (with the fade).
  void StopAll() noexcept;

  // Any thread: the streamer of the samples this mixer plays from disk, made
  // when the first of them is adopted; null before.
  SampleStreamer* Streamer() { return m_pStreamerRt.load(std::memory_order_acquire); }
  // UI thread: makes the streamer with streams voices' pool, unless one is
  // made already (it stays the mixer's while the mixer lives, as the audio
  // thread's streamed voices hold its streams).
  SampleStreamer& PrepareStreaming(uint32_t streams = SampleStreamer::kDefaultStreams);
  // Any thread: a render (or a JACK export) waits for the disk instead of
  // playing silence where a block of a streamed sample is late.
  void SetStreamingWaits(bool wait) noexcept;

  uint64_t DroppedCommands() const { return m_nDropped.load(std::memory_order_relaxed); }
  // Sounding voices (copies and fading tails) after the last block.
  uint32_t SoundingVoices() const { return m_nSounding.load(std::memory_order_relaxed); }

  // --- the audio thread (one thread at a time); real-time ---
  // Mixes frames stereo frames into out, interleaved, overwriting it: one cycle.
  void Mix(float* out, uint32_t frames) noexcept;
  void Mix(int16_t* out, uint32_t frames) noexcept;
  void Mix(const MixTarget& out, uint32_t frames) noexcept;

  // A cycle in pieces, for hosts that apply events inside a block: BeginCycle
  // once, then MixSegment for consecutive stretches of the cycle. Commands
  // queued between two segments take effect at the first frame of the second.
  void BeginCycle() noexcept;
  // Writes frames frames at frame offset of out, overwriting them.
  void MixSegment(const MixTarget& out, uint32_t offset, uint32_t frames) noexcept;

 private:
  enum class CommandType : uint8_t { Play, PlayWithGain, Stop, StopAll };
  struct Command {
    CommandType type;
    uint32_t nSlot;
    uint32_t nGen;
    float fGain;          // PlayWithGain: the left gain
    float fGainR;         // PlayWithGain: the right gain
    uint32_t nArg;        // PlayWithGain: the start frame; Stop: the fade's frames (0: 2 ms)
    float fCrossL;        // PlayWithGain: the right input's gain to the left output
    float fCrossR;        // PlayWithGain: the left input's gain to the right output
    uint8_t nOutput = 0;  // PlayWithGain: the output pair
  };
  struct Slot {
    std::atomic<uint32_t> nGen{0};
    std::atomic<const SampleData*> pData{nullptr};
    // The copy's gain (float bits, low half) and how many times it was set
    // (high half), in one word so one relaxed load gives a matching pair.
    std::atomic<uint64_t> nGain{PackGain(1.0f, 0)};
    std::atomic<uint32_t> nStart{0};
  };
  struct SlotOwner {  // UI thread only
    std::shared_ptr<SampleData> pData;
    std::unique_ptr<SampleData> pStaging;  // locked, not yet unlocked
    uint32_t nBytes = 0;
    bool bInUse = false;
  };
  struct Voice {  // audio thread only
    const int16_t* pSamples;
    uint32_t nFrames;
    uint32_t nChannels;  // of pSamples: 1 or 2
    uint32_t nPos;
    uint32_t nSlot;
    uint32_t nGen;
    float fGain;         // the left channel's gain (both channels' when not panned)
    float fGainR;        // the right channel's
    uint32_t nGainSeq;   // the slot's gain sequence this voice's gain follows
    float fFadeStep;     // gain lost per frame while fading (left)
    float fFadeStepR;    // (right)
    uint32_t nFadeLeft;  // frames of fade left; 0 when not fading
    bool bBound;         // still the sound of its slot (not a tail)
    // A stereo copy whose channels also cross (width): the right input's gain
    // to the left output and the left input's to the right, and their fade steps.
    bool bCross;
    float fCrossL;
    float fCrossR;
    float fCrossStepL;
    float fCrossStepR;
    uint8_t nOutput;  // the output pair it is mixed into
    // Streamed data: the frames held in memory (nFrames when none streams),
    // its stream while it has one (-1 before), whether it waits for a stream,
    // and whether it was chosen to give its stream up.
    uint32_t nHeld = 0;
    uint32_t nStreamFile = 0;
    int32_t nStream = -1;
    bool bWantsStream = false;
    bool bYielding = false;
    bool bMissedStream = false;
  };

  static constexpr uint64_t PackGain(float gain, uint32_t seq) noexcept {
    return uint64_t{seq} << 32 | std::bit_cast<uint32_t>(gain);
  }
  static constexpr float GainOf(uint64_t packed) noexcept {
    return std::bit_cast<float>(static_cast<uint32_t>(packed));
  }
  static constexpr uint32_t SeqOf(uint64_t packed) noexcept {
    return static_cast<uint32_t>(packed >> 32);
  }

  bool Push(const Command& c) noexcept;
  bool IsCurrent(BufferId id) const noexcept;
  void ApplyCommands() noexcept;
  void StartVoice(const Command& c) noexcept;
  void FadeOut(uint32_t voice, uint32_t fadeFrames = 0) noexcept;
  // A stream for v's data; false when every stream plays.
  bool ClaimStream(Voice& v) noexcept;
  void TakeOverStream() noexcept;
  // Mixes n frames of v from src (null: silence) and moves its fade on.
  static void MixFrames(Voice& v, float* acc, const int16_t* src, uint32_t n) noexcept;
  void MixStreamed(Voice& v, float* acc, uint32_t n) noexcept;
  int32_t TakeVoice() noexcept;
  void RefreshVoices(uint32_t frames) noexcept;
  // Mixes into acc (stride floats per output pair, outputs pairs of them);
  // a copy on an output at or past outputs goes to the first.
  void MixBlock(float* acc, uint32_t frames, uint32_t outputs) noexcept;
  void MixTo(const MixTarget& out, uint32_t offset, uint32_t frames) noexcept;
  std::shared_ptr<SampleData> Publishable(std::unique_ptr<SampleData> data);

  Reclaimer& m_reclaimer;
  RtReader* m_pReader;
  std::atomic<uint32_t> m_nSampleRate;
  std::atomic<uint32_t> m_nFadeFrames;

  std::unique_ptr<Slot[]> m_pSlots;
  uint32_t m_nSlotCount;
  std::vector<SlotOwner> m_owners;
  std::vector<uint32_t> m_freeSlots;

  CommandQueue<Command> m_queue;
  std::atomic<uint64_t> m_nDropped{0};
  std::atomic<uint32_t> m_nSounding{0};

  // Audio-thread state, all preallocated.
  std::vector<Voice> m_voices;
  std::vector<uint32_t> m_freeVoices;
  std::vector<uint32_t> m_active;
  std::vector<int32_t> m_slotVoice;
  std::vector<float> m_acc;

  std::atomic<bool> m_bStreamingWaits{false};
  // Made once, on the UI thread, before the first streamed buffer is published.
  std::unique_ptr<SampleStreamer> m_pStreamer;
  std::atomic<SampleStreamer*> m_pStreamerRt{nullptr};
};

}  // namespace thumper
