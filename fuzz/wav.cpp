// Feeds arbitrary bytes to the sample reader through memory: it must fail
// cleanly or give whole stereo frames, never read or write outside a buffer.

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "audio/WaveReader.h"

namespace {

class NoUi : public thumper::UiServices {
 public:
  thumper::MsgResult MessageBox(const std::string&, const std::string&, thumper::MsgButtons,
                                thumper::MsgIcon) override {
    std::abort();  // reading from memory never shows a message
  }
  thumper::FileDialogResult FileDialog(const thumper::FileDialogParams&) override { return {}; }
  std::optional<std::string> CreateGroupDialog(const std::string&) override { return {}; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  NoUi ui;
  thumper::WaveReader reader(ui);
  const int result = reader.ReadMemory(data, size);
  if (result == 0) {
    if (reader.m_nDataBytes % 4 != 0) std::abort();
    if (reader.m_nDataBytes && !reader.m_pData) std::abort();
    // Touch every byte so the sanitizer sees any that lie outside the buffer.
    unsigned sum = 0;
    for (uint32_t i = 0; i < reader.m_nDataBytes; ++i) sum += reader.m_pData[i];
    asm volatile("" : : "r"(sum));
  } else if (reader.m_pData || reader.m_nDataBytes) {
    std::abort();
  }
  return 0;
}
