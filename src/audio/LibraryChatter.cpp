#include "audio/LibraryChatter.h"

#include <jack/jack.h>

#include <mutex>

#if defined(THUMPER_HAVE_ALSA)
#include <alsa/asoundlib.h>
#endif

namespace thumper {

namespace {
#if defined(THUMPER_HAVE_ALSA)
void QuietAlsa(const char*, int, const char*, int, const char*, ...) {}
#endif
void QuietJack(const char*) {}
}  // namespace

void SilenceLibraryChatter() {
  static std::once_flag once;
  std::call_once(once, [] {
#if defined(THUMPER_HAVE_ALSA)
    snd_lib_error_set_handler(QuietAlsa);
#endif
    jack_set_error_function(QuietJack);
    jack_set_info_function(QuietJack);
  });
}

}  // namespace thumper
