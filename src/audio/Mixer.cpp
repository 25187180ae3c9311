#include "audio/Mixer.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cmath>
#include <cstring>
#include <new>

#include "audio/Resample.h"
#include "audio/SampleBlocks.h"

#if defined(__SSE__)
#include <xmmintrin.h>
#endif
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace thumper {

namespace {

// Every attenuation's gain, worked out once at the program's start: a note-on
// looks its level up instead of taking a power (a fifth of its cost).
struct GainTable {
  std::array<float, 10001> fGain;
  GainTable() {
    for (int a = 0; a < 10000; ++a)
      fGain[a] = static_cast<float>(std::pow(10.0, static_cast<double>(-a) / 2000.0));
    fGain[10000] = 0.0f;
  }
};
const GainTable kGainTable;

}  // namespace

float GainOfAttenuation(long attenuation) {
  return kGainTable.fGain[static_cast<size_t>(-std::clamp(attenuation, -10000L, 0L))];
}

// Real-time: the note trigger.
StereoGains WidthGains(float left, float right, float width) noexcept {
  // w in [0, 1]: 1 keeps each channel on its side, 0 sends it to the other.
  if (width >= 1.0f) return {left, 0.0f, 0.0f, right};
  if (width <= -1.0f) return {0.0f, left, right, 0.0f};
  const float w = (width + 1.0f) * 0.5f;
  constexpr float kQuarter = 1.57079632679489661923f;
  const float own = std::sin(w * kQuarter), other = std::cos(w * kQuarter);
  // The pan comes first: each input channel carries its own side's gain.
  return {left * own, left * other, right * other, right * own};
}

namespace {

// Flush denormals to zero for the duration of a block, then restore.
class DenormalGuard {
 public:
  DenormalGuard() noexcept {
#if defined(__SSE__)
    m_nSaved = _mm_getcsr();
    _mm_setcsr(m_nSaved | 0x8040);  // FTZ | DAZ
#endif
  }
  ~DenormalGuard() {
#if defined(__SSE__)
    _mm_setcsr(m_nSaved);
#endif
  }

 private:
  unsigned m_nSaved = 0;
};

// The hot loops: plain indexed loops over restrict pointers so they vectorise.
// Each sample is one multiply and one add (never fused), so the 8-wide form
// gives exactly the 4-wide one's results.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) void AddScaledAvx2(float* __restrict acc,
                                                   const int16_t* __restrict src, uint32_t samples,
                                                   float gain) noexcept {
  for (uint32_t i = 0; i < samples; ++i) acc[i] += static_cast<float>(src[i]) * gain;
}
#endif

void AddScaled(float* __restrict acc, const int16_t* __restrict src, uint32_t samples,
               float gain) noexcept {
#if defined(__x86_64__) && defined(__GNUC__)
  if (kCpuHasAvx2) return AddScaledAvx2(acc, src, samples, gain);
#endif
  for (uint32_t i = 0; i < samples; ++i) acc[i] += static_cast<float>(src[i]) * gain;
}

// A panned copy: each channel at its own gain, with the same two steps per sample.
void AddScaledPair(float* __restrict acc, const int16_t* __restrict src, uint32_t frames,
                   float left, float right) noexcept {
  for (uint32_t k = 0; k < frames; ++k) {
    acc[2 * k] += static_cast<float>(src[2 * k]) * left;
    acc[2 * k + 1] += static_cast<float>(src[2 * k + 1]) * right;
  }
}

// Mono data: each frame's one sample takes the steps its doubled stereo frame
// took on each channel (one multiply, one add), so the sums are the same to
// the bit. Four frames (eight output samples) at a time, eight with AVX2.
#if defined(__x86_64__) && defined(__GNUC__)
__attribute__((target("avx2"))) uint32_t AddMonoPairAvx2(float* __restrict acc,
                                                         const int16_t* __restrict src,
                                                         uint32_t frames, float left,
                                                         float right) noexcept {
  const __m256 gl = _mm256_set1_ps(left), gr = _mm256_set1_ps(right);
  uint32_t k = 0;
  for (; k + 8 <= frames; k += 8) {
    const __m256 x = _mm256_cvtepi32_ps(
        _mm256_cvtepi16_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(src + k))));
    const __m256 l = _mm256_mul_ps(x, gl), r = _mm256_mul_ps(x, gr);
    // Interleaved within each 128-bit half: frames 0-1 | 4-5 and 2-3 | 6-7.
    const __m256 lo = _mm256_unpacklo_ps(l, r), hi = _mm256_unpackhi_ps(l, r);
    float* a = acc + 2 * static_cast<size_t>(k);
    _mm256_storeu_ps(a, _mm256_add_ps(_mm256_loadu_ps(a), _mm256_permute2f128_ps(lo, hi, 0x20)));
    _mm256_storeu_ps(a + 8,
                     _mm256_add_ps(_mm256_loadu_ps(a + 8), _mm256_permute2f128_ps(lo, hi, 0x31)));
  }
  return k;
}
#endif

void AddMonoPair(float* __restrict acc, const int16_t* __restrict src, uint32_t frames, float left,
                 float right) noexcept {
  uint32_t k = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (kCpuHasAvx2) k = AddMonoPairAvx2(acc, src, frames, left, right);
#endif
#if defined(__SSE2__)
  const __m128 gl = _mm_set1_ps(left), gr = _mm_set1_ps(right);
  for (; k + 4 <= frames; k += 4) {
    const __m128i raw = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(src + k));
    // Sign-extended to 32 bits: each sample in the high half, shifted down.
    const __m128 x = _mm_cvtepi32_ps(_mm_srai_epi32(_mm_unpacklo_epi16(raw, raw), 16));
    const __m128 l = _mm_mul_ps(x, gl), r = _mm_mul_ps(x, gr);
    float* a = acc + 2 * static_cast<size_t>(k);
    _mm_storeu_ps(a, _mm_add_ps(_mm_loadu_ps(a), _mm_unpacklo_ps(l, r)));
    _mm_storeu_ps(a + 4, _mm_add_ps(_mm_loadu_ps(a + 4), _mm_unpackhi_ps(l, r)));
  }
#endif
  for (; k < frames; ++k) {
    const float x = static_cast<float>(src[k]);
    acc[2 * k] += x * left;
    acc[2 * k + 1] += x * right;
  }
}

// A stereo copy with width: each output channel takes both inputs.
void AddCrossed(float* __restrict acc, const int16_t* __restrict src, uint32_t frames, float ll,
                float rl, float lr, float rr) noexcept {
  for (uint32_t k = 0; k < frames; ++k) {
    const float l = static_cast<float>(src[2 * k]), r = static_cast<float>(src[2 * k + 1]);
    acc[2 * k] += l * ll + r * rl;
    acc[2 * k + 1] += l * lr + r * rr;
  }
}

// A fade's gain depends only on the frames it has left, so a fade comes out the
// same however the cycle around it is cut into pieces. Equal steps give the
// one-gain fade's results exactly.
void AddRamp(float* __restrict acc, const int16_t* __restrict src, uint32_t frames, uint32_t left,
             float step, float stepR) noexcept {
  for (uint32_t k = 0; k < frames; ++k) {
    const float n = static_cast<float>(left - k);
    acc[2 * k] += static_cast<float>(src[2 * k]) * (step * n);
    acc[2 * k + 1] += static_cast<float>(src[2 * k + 1]) * (stepR * n);
  }
}

// The same fade of mono data, with the doubled stereo's steps.
void AddRampMono(float* __restrict acc, const int16_t* __restrict src, uint32_t frames,
                 uint32_t left, float step, float stepR) noexcept {
  for (uint32_t k = 0; k < frames; ++k) {
    const float n = static_cast<float>(left - k);
    const float x = static_cast<float>(src[k]);
    acc[2 * k] += x * (step * n);
    acc[2 * k + 1] += x * (stepR * n);
  }
}

// The fade of a crossed copy: all four gains fall together.
void AddRampCrossed(float* __restrict acc, const int16_t* __restrict src, uint32_t frames,
                    uint32_t left, const float* steps) noexcept {
  for (uint32_t k = 0; k < frames; ++k) {
    const float n = static_cast<float>(left - k);
    const float l = static_cast<float>(src[2 * k]), r = static_cast<float>(src[2 * k + 1]);
    acc[2 * k] += l * (steps[0] * n) + r * (steps[1] * n);
    acc[2 * k + 1] += l * (steps[2] * n) + r * (steps[3] * n);
  }
}

// 2 ms: 88 frames at 44.1 kHz.
uint32_t FadeFramesAt(uint32_t rate) {
  return std::max<uint32_t>(1, rate / 500);
}

}  // namespace

Mixer::Mixer(Reclaimer& reclaimer, const Options& options)
    : m_reclaimer(reclaimer),
      m_pReader(reclaimer.RegisterReader()),
      m_nSampleRate(options.nSampleRate ? options.nSampleRate : kOutputRate),
      m_nFadeFrames(FadeFramesAt(SampleRate())),
      m_pSlots(std::make_unique<Slot[]>(options.nBufferSlots)),
      m_nSlotCount(options.nBufferSlots),
      m_owners(options.nBufferSlots),
      m_queue(options.nQueueCapacity) {
  assert(m_pReader && "too many real-time readers");
  m_freeSlots.reserve(m_nSlotCount);
  for (uint32_t i = m_nSlotCount; i-- > 0;) m_freeSlots.push_back(i);
  const uint32_t voices = m_nSlotCount + options.nTailVoices;
  m_voices.resize(voices);
  m_freeVoices.reserve(voices);
  for (uint32_t i = voices; i-- > 0;) m_freeVoices.push_back(i);
  m_active.reserve(voices);
  m_slotVoice.assign(m_nSlotCount, -1);
  m_acc.assign(size_t{2} * kMaxBlockFrames * kMaxOutputs, 0.0f);
}

Mixer::~Mixer() {
  for (uint32_t i = 0; i < m_nSlotCount; ++i)
    if (m_owners[i].bInUse) ReleaseBuffer({i, m_pSlots[i].nGen.load()});
  DetachReader();
}

void Mixer::SetSampleRate(uint32_t rate) {
  if (rate == 0) return;
  m_nSampleRate.store(rate, std::memory_order_relaxed);
  m_nFadeFrames.store(FadeFramesAt(rate), std::memory_order_relaxed);
}

void Mixer::DetachReader() {
  m_reclaimer.UnregisterReader(m_pReader);
  m_pReader = nullptr;
}

// --- UI thread ---

BufferId Mixer::CreateBuffer(const WaveFormat& format, uint32_t byteCount) {
  if (format.wFormatTag != 1 || format.nChannels != 2 || format.wBitsPerSample != 16 ||
      format.nSamplesPerSec != kOutputRate || format.nBlockAlign != 4)
    return {};
  if (byteCount < kMinBufferBytes || byteCount > kMaxBufferBytes) return {};
  if (m_freeSlots.empty()) return {};
  const uint32_t slot = m_freeSlots.back();
  m_freeSlots.pop_back();
  SlotOwner& owner = m_owners[slot];
  owner = SlotOwner{};
  owner.bInUse = true;
  owner.nBytes = byteCount;
  Slot& s = m_pSlots[slot];
  s.nGain.store(PackGain(1.0f, 0), std::memory_order_relaxed);
  s.nStart.store(0, std::memory_order_relaxed);
  return {slot, s.nGen.load(std::memory_order_relaxed)};
}

bool Mixer::IsCurrent(BufferId id) const noexcept {
  return id.nSlot < m_nSlotCount &&
         m_pSlots[id.nSlot].nGen.load(std::memory_order_acquire) == id.nGen;
}

std::span<uint8_t> Mixer::LockBuffer(BufferId id) {
  if (!IsCurrent(id)) return {};
  SlotOwner& owner = m_owners[id.nSlot];
  if (!owner.bInUse || owner.pData) return {};
  if (!owner.pStaging) {
    auto data = std::make_unique<SampleData>();
    const size_t frames = (owner.nBytes + 3) / 4;  // a partial last frame is padded with zeros
    data->pSamples.reset(new (std::nothrow) int16_t[2 * frames]());
    if (!data->pSamples) return {};
    data->nFrames = owner.nBytes / 4;
    owner.pStaging = std::move(data);
  }
  return {reinterpret_cast<uint8_t*>(owner.pStaging->pSamples.get()), owner.nBytes};
}

std::shared_ptr<SampleData> Mixer::Publishable(std::unique_ptr<SampleData> data) {
  // The last copy released hands the data to the reclaimer instead of freeing it,
  // since the audio thread may still be reading it.
  Reclaimer* reclaimer = &m_reclaimer;
  return std::shared_ptr<SampleData>(data.release(), [reclaimer](SampleData* p) {
    reclaimer->Retire(std::unique_ptr<SampleData>(p));
  });
}

bool Mixer::UnlockBuffer(BufferId id) {
  if (!IsCurrent(id)) return false;
  SlotOwner& owner = m_owners[id.nSlot];
  if (!owner.pStaging) return false;
  std::unique_ptr<SampleData> data = std::move(owner.pStaging);
  if (SampleRate() != kOutputRate) {
    std::vector<int16_t> converted;
    if (!ResampleInt16(data->pSamples.get(), data->nFrames, 2, kOutputRate, SampleRate(),
                       converted))
      return false;
    auto out = std::make_unique<SampleData>();
    out->nFrames = static_cast<uint32_t>(converted.size() / 2);
    out->pSamples.reset(new (std::nothrow) int16_t[std::max<size_t>(converted.size(), 2)]());
    if (!out->pSamples) return false;
    std::copy(converted.begin(), converted.end(), out->pSamples.get());
    data = std::move(out);
  }
  owner.pData = Publishable(std::move(data));
  m_pSlots[id.nSlot].pData.store(owner.pData.get(), std::memory_order_release);
  return true;
}

BufferId Mixer::AdoptBuffer(std::unique_ptr<SampleData> data) {
  if (!data || !data->pSamples || m_freeSlots.empty()) return {};
  if (data->pStreamFile) data->nStreamFile = PrepareStreaming().AddFile(data->pStreamFile);
  const uint32_t slot = m_freeSlots.back();
  m_freeSlots.pop_back();
  SlotOwner& owner = m_owners[slot];
  owner = SlotOwner{};
  owner.bInUse = true;
  owner.nBytes = 4 * data->nFrames;
  owner.pData = Publishable(std::move(data));
  Slot& s = m_pSlots[slot];
  s.nGain.store(PackGain(1.0f, 0), std::memory_order_relaxed);
  s.nStart.store(0, std::memory_order_relaxed);
  s.pData.store(owner.pData.get(), std::memory_order_release);
  return {slot, s.nGen.load(std::memory_order_relaxed)};
}

SampleStreamer& Mixer::PrepareStreaming(uint32_t streams) {
  if (!m_pStreamer) {
    m_pStreamer = std::make_unique<SampleStreamer>(streams);
    m_pStreamerRt.store(m_pStreamer.get(), std::memory_order_seq_cst);
    // After the streamer is published: a change made meanwhile is not lost.
    m_pStreamer->SetWaitForData(m_bStreamingWaits.load(std::memory_order_seq_cst));
  }
  return *m_pStreamer;
}

void Mixer::SetStreamingWaits(bool wait) noexcept {
  m_bStreamingWaits.store(wait, std::memory_order_seq_cst);
  if (SampleStreamer* streamer = m_pStreamerRt.load(std::memory_order_seq_cst))
    streamer->SetWaitForData(wait);
}

BufferId Mixer::DuplicateBuffer(BufferId id) {
  if (!IsCurrent(id) || !m_owners[id.nSlot].bInUse || m_freeSlots.empty()) return {};
  const uint32_t slot = m_freeSlots.back();
  m_freeSlots.pop_back();
  SlotOwner& owner = m_owners[slot];
  owner = SlotOwner{};
  owner.bInUse = true;
  owner.nBytes = m_owners[id.nSlot].nBytes;
  owner.pData = m_owners[id.nSlot].pData;
  Slot& s = m_pSlots[slot];
  s.nGain.store(PackGain(1.0f, 0), std::memory_order_relaxed);
  s.nStart.store(0, std::memory_order_relaxed);
  s.pData.store(owner.pData.get(), std::memory_order_release);
  return {slot, s.nGen.load(std::memory_order_relaxed)};
}

void Mixer::ReleaseBuffer(BufferId id) {
  if (!IsCurrent(id) || !m_owners[id.nSlot].bInUse) return;
  Slot& s = m_pSlots[id.nSlot];
  // Unpublish first: the new generation makes the audio thread drop every voice
  // and queued command of this copy, and only then may the data be retired.
  s.pData.store(nullptr, std::memory_order_release);
  s.nGen.fetch_add(1, std::memory_order_seq_cst);
  m_owners[id.nSlot] = SlotOwner{};
  m_freeSlots.push_back(id.nSlot);
}

// --- any thread ---

bool Mixer::Push(const Command& c) noexcept {
  if (m_queue.TryPush(c)) return true;
  m_nDropped.fetch_add(1, std::memory_order_relaxed);
  return false;
}

// Real-time: any thread.
void Mixer::Play(BufferId id) noexcept {
  if (IsCurrent(id)) Push({CommandType::Play, id.nSlot, id.nGen, 0.0f, 0.0f, 0, 0.0f, 0.0f});
}

// Real-time: any thread.
void Mixer::Play(BufferId id, float gain) noexcept {
  if (IsCurrent(id))
    Push({CommandType::PlayWithGain, id.nSlot, id.nGen, gain, gain, 0, 0.0f, 0.0f});
}

// Real-time: any thread.
// Real-time: any thread.
void Mixer::Play(BufferId id, float left, float right, uint32_t start, uint8_t output) noexcept {
  if (IsCurrent(id))
    Push({CommandType::PlayWithGain, id.nSlot, id.nGen, left, right, start, 0.0f, 0.0f, output});
}

// Real-time: any thread.
void Mixer::Play(BufferId id, const StereoGains& gains, uint32_t start, uint8_t output) noexcept {
  if (IsCurrent(id))
    Push({CommandType::PlayWithGain, id.nSlot, id.nGen, gains.fLeftToLeft, gains.fRightToRight,
          start, gains.fRightToLeft, gains.fLeftToRight, output});
}

// Real-time: any thread.
void Mixer::Stop(BufferId id) noexcept {
  Stop(id, 0);
}

// Real-time: any thread.
void Mixer::Stop(BufferId id, uint32_t fadeFrames) noexcept {
  if (IsCurrent(id))
    Push({CommandType::Stop, id.nSlot, id.nGen, 0.0f, 0.0f, fadeFrames, 0.0f, 0.0f});
}

// Real-time: any thread.
void Mixer::StopAll() noexcept {
  Push({CommandType::StopAll, 0, 0, 0.0f, 0.0f, 0, 0.0f, 0.0f});
}

// Real-time: any thread.
void Mixer::SetPosition(BufferId id, uint32_t frame) noexcept {
  if (IsCurrent(id)) m_pSlots[id.nSlot].nStart.store(frame, std::memory_order_relaxed);
}

// Real-time: any thread.
void Mixer::SetAttenuation(BufferId id, long attenuation) noexcept {
  if (!IsCurrent(id)) return;
  Slot& s = m_pSlots[id.nSlot];
  const float gain = GainOfAttenuation(attenuation);
  uint64_t old = s.nGain.load(std::memory_order_relaxed);
  while (!s.nGain.compare_exchange_weak(old, PackGain(gain, SeqOf(old) + 1),
                                        std::memory_order_relaxed)) {
  }
}

// --- audio thread ---

int32_t Mixer::TakeVoice() noexcept {
  if (!m_freeVoices.empty()) {
    const uint32_t v = m_freeVoices.back();
    m_freeVoices.pop_back();
    m_active.push_back(v);
    return static_cast<int32_t>(v);
  }
  // Every tail is busy: cut the fading voice nearest its end to make room.
  int32_t best = -1;
  for (uint32_t i = 0; i < m_active.size(); ++i) {
    const Voice& v = m_voices[m_active[i]];
    if (!v.bBound && (best < 0 || v.nFadeLeft < m_voices[m_active[best]].nFadeLeft))
      best = static_cast<int32_t>(i);
  }
  if (best < 0) return -1;
  return static_cast<int32_t>(m_active[best]);  // stays in the active list, reused
}

void Mixer::FadeOut(uint32_t index, uint32_t fadeFrames) noexcept {
  Voice& v = m_voices[index];
  if (v.bBound) {
    m_slotVoice[v.nSlot] = -1;
    v.bBound = false;
  }
  if (v.nFadeLeft == 0) {
    const uint32_t frames = fadeFrames ? fadeFrames : FadeFrames();
    v.nFadeLeft = frames;
    v.fFadeStep = v.fGain / static_cast<float>(frames);
    v.fFadeStepR = v.fGainR / static_cast<float>(frames);
    v.fCrossStepL = v.fCrossL / static_cast<float>(frames);
    v.fCrossStepR = v.fCrossR / static_cast<float>(frames);
  }
}

void Mixer::StartVoice(const Command& c) noexcept {
  const uint32_t slot = c.nSlot;
  const uint32_t gen = c.nGen;
  Slot& s = m_pSlots[slot];
  if (s.nGen.load(std::memory_order_acquire) != gen) return;
  const SampleData* data = s.pData.load(std::memory_order_acquire);
  // Recheck: a release and re-create between the two loads would pair this
  // command with another buffer's data.
  if (!data || s.nGen.load(std::memory_order_acquire) != gen) return;
  const bool withGain = c.type == CommandType::PlayWithGain;
  const uint32_t start = withGain ? c.nArg : s.nStart.load(std::memory_order_relaxed);
  const uint64_t packed = s.nGain.load(std::memory_order_relaxed);
  const int32_t old = m_slotVoice[slot];
  if (old >= 0) FadeOut(static_cast<uint32_t>(old));  // the old sound becomes a tail
  if (start >= data->Frames()) return;
  const int32_t index = TakeVoice();
  if (index < 0) return;
  Voice& v = m_voices[index];
  if (v.nStream >= 0)
    m_pStreamerRt.load(std::memory_order_relaxed)->End(v.nStream);  // a cut tail's
  const float left = withGain ? c.fGain : GainOf(packed);
  const float right = withGain ? c.fGainR : left;
  // Crossing gains mean something only for stereo data; a mono copy keeps its two own.
  const bool stereo = data->nChannels == 2;
  const float crossL = withGain && stereo ? c.fCrossL : 0.0f;
  const float crossR = withGain && stereo ? c.fCrossR : 0.0f;
  v = Voice{data->pSamples.get(),
            data->Frames(),
            stereo ? 2u : 1u,
            start,
            slot,
            gen,
            left,
            right,
            SeqOf(packed),
            0.0f,
            0.0f,
            0,
            true,
            crossL != 0.0f || crossR != 0.0f,
            crossL,
            crossR,
            0.0f,
            0.0f,
            withGain ? c.nOutput : uint8_t{0}};
  v.nHeld = data->nFrames;
  if (data->nStreamFrames > data->nFrames) {
    v.nStreamFile = data->nStreamFile;
    if (!ClaimStream(v)) {
      // Every stream plays: this voice takes one over as it comes free.
      v.bWantsStream = true;
      TakeOverStream();
    }
  }
  m_slotVoice[slot] = index;
}

bool Mixer::ClaimStream(Voice& v) noexcept {
  SampleStreamer* streamer = m_pStreamerRt.load(std::memory_order_acquire);
  if (!streamer) return false;
  v.nStream = streamer->Begin(v.nStreamFile, v.nHeld, v.nFrames, v.nChannels);
  if (v.nStream < 0) return false;
  v.bWantsStream = false;
  return true;
}

void Mixer::TakeOverStream() noexcept {
  // The oldest voice (in a decaying drum also the quietest), the quieter of
  // two as old, fades out quickly to give its stream up.
  int32_t best = -1;
  for (uint32_t index : m_active) {
    const Voice& v = m_voices[index];
    if (v.nStream < 0 || v.bYielding) continue;
    if (best < 0) {
      best = static_cast<int32_t>(index);
      continue;
    }
    const Voice& b = m_voices[best];
    if (v.nPos > b.nPos ||
        (v.nPos == b.nPos && std::max(v.fGain, v.fGainR) < std::max(b.fGain, b.fGainR)))
      best = static_cast<int32_t>(index);
  }
  if (best < 0) return;
  m_voices[best].bYielding = true;
  FadeOut(static_cast<uint32_t>(best));
}

void Mixer::ApplyCommands() noexcept {
  Command c;
  // Bounded by the queue's capacity: producers cannot keep the loop going forever.
  for (size_t n = m_queue.Capacity(); n > 0 && m_queue.TryPop(c); --n) {
    switch (c.type) {
      case CommandType::Play:
      case CommandType::PlayWithGain:
        StartVoice(c);
        break;
      case CommandType::Stop:
        if (c.nSlot < m_nSlotCount && m_slotVoice[c.nSlot] >= 0 &&
            m_voices[m_slotVoice[c.nSlot]].nGen == c.nGen)
          FadeOut(static_cast<uint32_t>(m_slotVoice[c.nSlot]), c.nArg);
        break;
      case CommandType::StopAll:
        for (uint32_t v : m_active) FadeOut(v);
        break;
    }
  }
}

void Mixer::RefreshVoices(uint32_t frames) noexcept {
  for (uint32_t index : m_active) {
    Voice& v = m_voices[index];
    const Slot& s = m_pSlots[v.nSlot];
    if (s.nGen.load(std::memory_order_acquire) != v.nGen) {
      // Released: its data may be freed once the next block begins, so the
      // fade must end within this one.
      FadeOut(index);
      if (v.nFadeLeft > frames) {
        v.fFadeStep = v.fFadeStep * static_cast<float>(v.nFadeLeft) / static_cast<float>(frames);
        v.fFadeStepR = v.fFadeStepR * static_cast<float>(v.nFadeLeft) / static_cast<float>(frames);
        v.fCrossStepL =
            v.fCrossStepL * static_cast<float>(v.nFadeLeft) / static_cast<float>(frames);
        v.fCrossStepR =
            v.fCrossStepR * static_cast<float>(v.nFadeLeft) / static_cast<float>(frames);
        v.nFadeLeft = frames;
      }
    } else if (v.bBound) {
      // A gain set on this copy after its start takes hold from this block on.
      const uint64_t packed = s.nGain.load(std::memory_order_relaxed);
      if (SeqOf(packed) != v.nGainSeq) {
        v.nGainSeq = SeqOf(packed);
        v.fGain = v.fGainR = GainOf(packed);
        v.fCrossL = v.fCrossR = 0.0f;  // one gain: as recorded
        v.bCross = false;
      }
    }
  }
}

// Real-time: the audio thread.
void Mixer::MixFrames(Voice& v, float* acc, const int16_t* src, uint32_t n) noexcept {
  if (v.nFadeLeft > 0) {
    if (src) {
      if (v.nChannels == 1) {
        AddRampMono(acc, src, n, v.nFadeLeft, v.fFadeStep, v.fFadeStepR);
      } else if (v.bCross) {
        const float steps[4] = {v.fFadeStep, v.fCrossStepL, v.fCrossStepR, v.fFadeStepR};
        AddRampCrossed(acc, src, n, v.nFadeLeft, steps);
      } else {
        AddRamp(acc, src, n, v.nFadeLeft, v.fFadeStep, v.fFadeStepR);
      }
    }
    v.nFadeLeft -= n;
    v.fGain = v.fFadeStep * static_cast<float>(v.nFadeLeft);
    v.fGainR = v.fFadeStepR * static_cast<float>(v.nFadeLeft);
    v.fCrossL = v.fCrossStepL * static_cast<float>(v.nFadeLeft);
    v.fCrossR = v.fCrossStepR * static_cast<float>(v.nFadeLeft);
  } else if (!src) {
  } else if (v.nChannels == 1) {
    if (v.fGain > 0.0f || v.fGainR > 0.0f) AddMonoPair(acc, src, n, v.fGain, v.fGainR);
  } else if (v.bCross) {
    AddCrossed(acc, src, n, v.fGain, v.fCrossL, v.fCrossR, v.fGainR);
  } else if (v.fGain == v.fGainR) {
    if (v.fGain > 0.0f) AddScaled(acc, src, 2 * n, v.fGain);
  } else {
    AddScaledPair(acc, src, n, v.fGain, v.fGainR);
  }
}

// Real-time: the audio thread. n frames of a voice that reaches past its
// head: what is held, then the stream's blocks, silence where one is late.
void Mixer::MixStreamed(Voice& v, float* acc, uint32_t n) noexcept {
  SampleStreamer* streamer = m_pStreamerRt.load(std::memory_order_relaxed);
  uint32_t done = 0;
  while (done < n) {
    const int16_t* src = nullptr;
    uint32_t count = n - done;
    if (v.nPos < v.nHeld) {
      count = std::min(count, v.nHeld - v.nPos);
      src = v.pSamples + v.nChannels * static_cast<size_t>(v.nPos);
    } else if (v.nStream >= 0) {
      src = streamer->Frames(v.nStream, v.nPos, count, count);
    } else if (!v.bMissedStream && streamer) {
      v.bMissedStream = true;  // no stream came free in time: silent from here
      streamer->CountUnderrun();
    }
    MixFrames(v, acc + 2 * static_cast<size_t>(done), src, count);
    v.nPos += count;
    done += count;
  }
}

void Mixer::MixBlock(float* const accs, uint32_t frames, uint32_t outputs) noexcept {
  constexpr size_t kStride = 2 * kMaxBlockFrames;
  for (uint32_t k = 0; k < outputs; ++k)
    std::fill(accs + k * kStride, accs + k * kStride + 2 * frames, 0.0f);
  RefreshVoices(frames);
  size_t keep = 0;
  for (size_t i = 0; i < m_active.size(); ++i) {
    const uint32_t index = m_active[i];
    Voice& v = m_voices[index];
    float* const acc = accs + (v.nOutput < outputs ? v.nOutput : 0) * kStride;
    if (v.bWantsStream) ClaimStream(v);
    uint32_t n = std::min(frames, v.nFrames - v.nPos);
    if (v.nFadeLeft > 0) n = std::min(n, v.nFadeLeft);
    if (v.nPos + n <= v.nHeld) {
      MixFrames(v, acc, v.pSamples + v.nChannels * static_cast<size_t>(v.nPos), n);
      v.nPos += n;
    } else {
      MixStreamed(v, acc, n);
    }
    const bool done = v.nPos >= v.nFrames || (!v.bBound && v.nFadeLeft == 0);
    if (done) {
      if (v.bBound) m_slotVoice[v.nSlot] = -1;
      if (v.nStream >= 0) m_pStreamerRt.load(std::memory_order_relaxed)->End(v.nStream);
      v.nStream = -1;
      v.bWantsStream = false;
      m_freeVoices.push_back(index);
    } else {
      m_active[keep++] = index;
    }
  }
  m_active.resize(keep);
#ifndef NDEBUG
  for (uint32_t k = 0; k < outputs; ++k)
    for (uint32_t i = 0; i < 2 * frames; ++i) assert(std::isfinite(accs[k * kStride + i]));
#endif
}

namespace {

// Real-time: writes n mixed frames of acc at frame offset of out.
void WriteMix(const MixTarget& out, const float* acc, uint32_t offset, uint32_t n) noexcept {
  constexpr float kScale = 1.0f / 32768.0f;
  switch (out.kind) {
    case MixTarget::Kind::Float: {
      float* dst = out.pFloat + 2 * static_cast<size_t>(offset);
      for (uint32_t i = 0; i < 2 * n; ++i) dst[i] = acc[i] * kScale;
      break;
    }
    case MixTarget::Kind::Int16:
      ScaleToInt16(acc, out.pInt16 + 2 * static_cast<size_t>(offset), 2 * n, 1.0f);
      break;
    case MixTarget::Kind::Planar:
      SplitScaled(acc, out.pLeft + offset, out.pRight + offset, n, kScale);
      break;
  }
}

// Real-time: silence over frames frames at frame offset of out.
void WriteSilence(const MixTarget& out, uint32_t offset, uint32_t frames) noexcept {
  for (uint32_t k = offset; k < offset + frames; ++k) {
    switch (out.kind) {
      case MixTarget::Kind::Float:
        out.pFloat[2 * k] = out.pFloat[2 * k + 1] = 0.0f;
        break;
      case MixTarget::Kind::Int16:
        out.pInt16[2 * k] = out.pInt16[2 * k + 1] = 0;
        break;
      case MixTarget::Kind::Planar:
        out.pLeft[k] = out.pRight[k] = 0.0f;
        break;
    }
  }
}

}  // namespace

void Mixer::MixTo(const MixTarget& out, uint32_t offset, uint32_t frames) noexcept {
  const uint32_t more = out.pMore ? std::min(out.nMore, kMaxOutputs - 1) : 0;
  while (frames > 0) {
    const uint32_t n = std::min(frames, kMaxBlockFrames);
    float* acc = m_acc.data();
    MixBlock(acc, n, 1 + more);
    WriteMix(out, acc, offset, n);
    for (uint32_t k = 0; k < more; ++k)
      WriteMix(out.pMore[k], acc + (k + 1) * size_t{2} * kMaxBlockFrames, offset, n);
    offset += n;
    frames -= n;
  }
  m_nSounding.store(static_cast<uint32_t>(m_active.size()), std::memory_order_relaxed);
}

// Real-time: the audio thread, at the top of each cycle.
void Mixer::BeginCycle() noexcept {
  if (m_pReader) m_pReader->Advance();
}

// Real-time: the audio thread, inside a cycle.
void Mixer::MixSegment(const MixTarget& out, uint32_t offset, uint32_t frames) noexcept {
  if (frames == 0) return;
  if (!m_pReader) {
    // Detached: nothing may be read any more.
    WriteSilence(out, offset, frames);
    for (uint32_t k = 0; out.pMore && k < std::min(out.nMore, kMaxOutputs - 1); ++k)
      WriteSilence(out.pMore[k], offset, frames);
    return;
  }
  DenormalGuard denormals;
  ApplyCommands();
  MixTo(out, offset, frames);
}

// Real-time: the audio callback and the offline render loop.
void Mixer::Mix(const MixTarget& out, uint32_t frames) noexcept {
  BeginCycle();
  MixSegment(out, 0, frames);
}

// Real-time: the audio callback and the offline render loop.
void Mixer::Mix(float* out, uint32_t frames) noexcept {
  Mix(MixTarget::Interleaved(out), frames);
}

// Real-time: the audio callback and the offline render loop.
void Mixer::Mix(int16_t* out, uint32_t frames) noexcept {
  Mix(MixTarget::Interleaved(out), frames);
}

}  // namespace thumper
