#pragma once
// Counts heap allocations, frees and mutex locks made by the calling thread,
// to prove that real-time code does none. Replaces the global operator new and
// delete and interposes pthread_mutex_lock, so include it in exactly one source
// file of a program.

#include <dlfcn.h>
#include <pthread.h>

#include <cstdlib>
#include <new>

namespace thumper::test::heap {

struct Counts {
  long allocations = 0, frees = 0, locks = 0;
};

namespace detail {
inline thread_local bool t_bCounting = false;
inline thread_local Counts t_counts;

inline void* Alloc(std::size_t size) {
  if (t_bCounting) ++t_counts.allocations;
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}

inline void Free(void* p) noexcept {
  if (p && t_bCounting) ++t_counts.frees;
  std::free(p);
}
}  // namespace detail

// Zeroes this thread's counts and counts from now on.
inline void Start() {
  detail::t_counts = {};
  detail::t_bCounting = true;
}
// Counts on from where a Pause left off.
inline void Resume() {
  detail::t_bCounting = true;
}
inline void Pause() {
  detail::t_bCounting = false;
}
inline Counts Read() {
  return detail::t_counts;
}
// Stops counting and gives what was counted.
inline Counts Stop() {
  Pause();
  return Read();
}

}  // namespace thumper::test::heap

void* operator new(std::size_t size) {
  return thumper::test::heap::detail::Alloc(size);
}
void* operator new[](std::size_t size) {
  return thumper::test::heap::detail::Alloc(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return thumper::test::heap::detail::Alloc(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return thumper::test::heap::detail::Alloc(size);
  } catch (...) {
    return nullptr;
  }
}
void operator delete(void* p) noexcept {
  thumper::test::heap::detail::Free(p);
}
void operator delete[](void* p) noexcept {
  thumper::test::heap::detail::Free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  thumper::test::heap::detail::Free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  thumper::test::heap::detail::Free(p);
}

// Every std::mutex, condition variable and most of libc's locks go through here.
extern "C" int pthread_mutex_lock(pthread_mutex_t* m) {
  using Fn = int (*)(pthread_mutex_t*);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
  if (thumper::test::heap::detail::t_bCounting) ++thumper::test::heap::detail::t_counts.locks;
  return real(m);
}
