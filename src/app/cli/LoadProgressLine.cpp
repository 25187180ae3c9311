#include "app/cli/LoadProgressLine.h"

#include <unistd.h>

namespace thumper::cli {

LoadProgressLine::LoadProgressLine(std::FILE* out)
    : m_pOut(out), m_bTty(isatty(fileno(out)) != 0) {}

void LoadProgressLine::Show(int done, int total) {
  const auto now = std::chrono::steady_clock::now();
  if (done == 0) {  // a load begins
    m_start = now;
    m_bShown = false;
    m_nLastTenth = -1;
    return;
  }
  const bool finished = done >= total;
  if (now - m_start < std::chrono::seconds(1)) return;
  if (!finished && now - m_last < std::chrono::milliseconds(100)) return;
  m_last = now;
  if (m_bTty) {
    std::fprintf(m_pOut, "\rthumper: loading %d of %d%s", done, total, finished ? "\n" : "");
    m_bShown = true;
  } else if (const int tenth = done * 10 / total; tenth != m_nLastTenth || finished) {
    std::fprintf(m_pOut, "thumper: loading %d of %d\n", done, total);
    m_nLastTenth = finished ? 10 : tenth;
  }
  std::fflush(m_pOut);
}

}  // namespace thumper::cli
