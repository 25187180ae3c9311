#pragma once
// A UiServices for benchmarks: every box answers OK, every dialog cancels and
// nothing is printed, so only the work itself is measured.

#include "drumset/UiServices.h"

namespace thumper {

class SilentUi : public UiServices {
 public:
  MsgResult MessageBox(const std::string&, const std::string&, MsgButtons, MsgIcon) override {
    return MsgResult::Ok;
  }
  FileDialogResult FileDialog(const FileDialogParams&) override { return {}; }
  std::optional<std::string> CreateGroupDialog(const std::string&) override { return {}; }
  void Notice(const std::string&, const std::string&) override {}
};

}  // namespace thumper
