#include "app/SessionUi.h"

#include <iostream>

namespace thumper {

SessionUi::SessionUi(UiServices& attended) : m_attended(attended), m_console(std::cerr) {}

MsgResult SessionUi::MessageBox(const std::string& text, const std::string& caption,
                                MsgButtons buttons, MsgIcon icon) {
  return Target().MessageBox(text, caption, buttons, icon);
}

FileDialogResult SessionUi::FileDialog(const FileDialogParams& params) {
  return Target().FileDialog(params);
}

std::optional<std::string> SessionUi::CreateGroupDialog(const std::string& offeredName) {
  return Target().CreateGroupDialog(offeredName);
}

void SessionUi::Notice(const std::string& text, const std::string& caption) {
  Target().Notice(text, caption);
}

}  // namespace thumper
