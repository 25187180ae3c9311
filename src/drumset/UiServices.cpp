#include "drumset/UiServices.h"

#include <cstdio>

namespace thumper {

void UiServices::Notice(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "thumper: %s: %s\n", caption.empty() ? kAppName : caption.c_str(),
               text.c_str());
}

}  // namespace thumper
