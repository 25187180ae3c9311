// Linked into every test program: kit loads write converted samples under
// $XDG_CACHE_HOME, and a test, run by ctest or by hand, must never write to the
// user's own cache. Set before main, so every thread and child program sees it.
// Tests of the cache itself point it at folders of their own.

#include <cstdlib>

namespace {
const bool g_bCacheHomeSet = ::setenv("XDG_CACHE_HOME", THUMPER_TEST_CACHE_HOME, 1) == 0;
}  // namespace
