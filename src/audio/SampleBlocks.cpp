#include "audio/SampleBlocks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#endif

namespace thumper {

namespace {

#if defined(__x86_64__) && defined(__GNUC__)
// The same steps eight at a time.
__attribute__((target("avx2"))) size_t ScaleToInt16Avx2(const float* in, int16_t* out, size_t count,
                                                        float scale) noexcept {
  const __m256 k = _mm256_set1_ps(scale), lo = _mm256_set1_ps(-32768.0f),
               hi = _mm256_set1_ps(32767.0f), half = _mm256_set1_ps(0.5f),
               sign = _mm256_set1_ps(-0.0f);
  size_t i = 0;
  for (; i + 16 <= count; i += 16) {
    __m256 a = _mm256_min_ps(_mm256_max_ps(_mm256_mul_ps(_mm256_loadu_ps(in + i), k), lo), hi);
    __m256 b = _mm256_min_ps(_mm256_max_ps(_mm256_mul_ps(_mm256_loadu_ps(in + i + 8), k), lo), hi);
    a = _mm256_add_ps(a, _mm256_or_ps(_mm256_and_ps(a, sign), half));
    b = _mm256_add_ps(b, _mm256_or_ps(_mm256_and_ps(b, sign), half));
    // The pack works within each 128-bit half: put the quarters back in order.
    const __m256i packed = _mm256_packs_epi32(_mm256_cvttps_epi32(a), _mm256_cvttps_epi32(b));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + i),
                        _mm256_permute4x64_epi64(packed, _MM_SHUFFLE(3, 1, 2, 0)));
  }
  return i;
}

bool HasAvx2() noexcept {
  __builtin_cpu_init();  // may run before the library's own constructors
  return __builtin_cpu_supports("avx2");
}
#endif

}  // namespace

#if defined(__x86_64__) && defined(__GNUC__)
const bool kCpuHasAvx2 = HasAvx2();
#else
const bool kCpuHasAvx2 = false;
#endif

// Real-time: any thread.
void ScaleToInt16(const float* in, int16_t* out, size_t count, float scale) noexcept {
  size_t i = 0;
#if defined(__x86_64__) && defined(__GNUC__)
  if (kCpuHasAvx2) i = ScaleToInt16Avx2(in, out, count, scale);
#endif
#if defined(__SSE2__)
  // Scale, saturate, add a half away from zero, truncate: the scalar steps, in
  // the same order, so every result is the same.
  const __m128 k = _mm_set1_ps(scale), lo = _mm_set1_ps(-32768.0f), hi = _mm_set1_ps(32767.0f),
               half = _mm_set1_ps(0.5f), sign = _mm_set1_ps(-0.0f);
  for (; i + 8 <= count; i += 8) {
    __m128 a = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(in + i), k), lo), hi);
    __m128 b = _mm_min_ps(_mm_max_ps(_mm_mul_ps(_mm_loadu_ps(in + i + 4), k), lo), hi);
    a = _mm_add_ps(a, _mm_or_ps(_mm_and_ps(a, sign), half));
    b = _mm_add_ps(b, _mm_or_ps(_mm_and_ps(b, sign), half));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + i),
                     _mm_packs_epi32(_mm_cvttps_epi32(a), _mm_cvttps_epi32(b)));
  }
#endif
  for (; i < count; ++i) {
    float v = in[i] * scale;
    v = v < -32768.0f ? -32768.0f : (v > 32767.0f ? 32767.0f : v);
    out[i] = static_cast<int16_t>(v >= 0.0f ? v + 0.5f : v - 0.5f);
  }
}

// Real-time: any thread.
void SplitScaled(const float* in, float* left, float* right, size_t frames, float scale) noexcept {
  size_t k = 0;
#if defined(__SSE2__)
  const __m128 s = _mm_set1_ps(scale);
  for (; k + 4 <= frames; k += 4) {
    const __m128 a = _mm_loadu_ps(in + 2 * k);      // L0 R0 L1 R1
    const __m128 b = _mm_loadu_ps(in + 2 * k + 4);  // L2 R2 L3 R3
    _mm_storeu_ps(left + k, _mm_mul_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(2, 0, 2, 0)), s));
    _mm_storeu_ps(right + k, _mm_mul_ps(_mm_shuffle_ps(a, b, _MM_SHUFFLE(3, 1, 3, 1)), s));
  }
#endif
  for (; k < frames; ++k) {
    left[k] = in[2 * k] * scale;
    right[k] = in[2 * k + 1] * scale;
  }
}

}  // namespace thumper
