#include "app/cli/ConsoleUi.h"

#include <ostream>

namespace thumper::cli {

ConsoleUi::ConsoleUi(std::ostream& err) : m_err(err) {}

MsgResult ConsoleUi::MessageBox(const std::string& text, const std::string& caption,
                                MsgButtons buttons, MsgIcon) {
  m_err << "thumper: " << (caption.empty() ? kAppName : caption) << ": " << text << "\n";
  m_err.flush();
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgResult::Ok;
    case MsgButtons::OkCancel:
      return MsgResult::Cancel;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
      return MsgResult::No;
  }
  return MsgResult::Cancel;
}

FileDialogResult ConsoleUi::FileDialog(const FileDialogParams&) {
  return {};
}

std::optional<std::string> ConsoleUi::CreateGroupDialog(const std::string&) {
  return std::nullopt;
}

void ConsoleUi::ReportUnreadableSample(const std::string& path) {
  m_err << "thumper: " << path << ": found, but it cannot be read as a sample; left out\n";
  m_err.flush();
}

}  // namespace thumper::cli
