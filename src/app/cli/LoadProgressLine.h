#pragma once
// "thumper: loading 37 of 124" on standard error while a kit loads, once the
// load has taken more than a second: one line rewritten in place on a
// terminal, a line per tenth otherwise. Command-line thread.

#include <chrono>
#include <cstdio>
#include <functional>

namespace thumper::cli {

class LoadProgressLine {
 public:
  explicit LoadProgressLine(std::FILE* out = stderr);
  // What the runtime calls as voices come in.
  std::function<void(int, int)> Callback() {
    return [this](int done, int total) { Show(done, total); };
  }
  void Show(int done, int total);

 private:
  std::FILE* m_pOut;
  bool m_bTty;
  bool m_bShown = false;
  int m_nLastTenth = -1;
  std::chrono::steady_clock::time_point m_start;
  std::chrono::steady_clock::time_point m_last{};
};

}  // namespace thumper::cli
