#pragma once
// UiServices without a user, for `thumper render` and `thumper play`: every
// message goes to standard error, every question is answered No, every dialog
// Cancel. So a missing sample is named and dropped, and the run goes on.

#include <iosfwd>

#include "drumset/UiServices.h"

namespace thumper::cli {

class ConsoleUi : public UiServices {
 public:
  explicit ConsoleUi(std::ostream& err);

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                       MsgIcon icon) override;
  FileDialogResult FileDialog(const FileDialogParams& params) override;
  std::optional<std::string> CreateGroupDialog(const std::string& offeredName) override;

  // Names a sample file that was found but could not be read, so it is left out.
  void ReportUnreadableSample(const std::string& path);

 private:
  std::ostream& m_err;
};

}  // namespace thumper::cli
