#pragma once
// The window's UiServices, passed on to the real dialogs, except while a
// session manager's request runs: then nobody may be at the screen, and the
// console policy answers (messages on standard error, No, Cancel).

#include "app/cli/ConsoleUi.h"
#include "drumset/UiServices.h"

namespace thumper {

class SessionUi : public UiServices {
 public:
  explicit SessionUi(UiServices& attended);

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgButtons buttons,
                       MsgIcon icon) override;
  FileDialogResult FileDialog(const FileDialogParams& params) override;
  std::optional<std::string> CreateGroupDialog(const std::string& offeredName) override;
  void Notice(const std::string& text, const std::string& caption) override;

  // While one lives, the console policy answers.
  class Unattended {
   public:
    explicit Unattended(SessionUi& ui) : m_ui(ui), m_bWas(ui.m_bUnattended) {
      ui.m_bUnattended = true;
    }
    ~Unattended() { m_ui.m_bUnattended = m_bWas; }
    Unattended(const Unattended&) = delete;
    Unattended& operator=(const Unattended&) = delete;

   private:
    SessionUi& m_ui;
    bool m_bWas;
  };

 private:
  UiServices& Target() { return m_bUnattended ? static_cast<UiServices&>(m_console) : m_attended; }

  UiServices& m_attended;
  cli::ConsoleUi m_console;
  bool m_bUnattended = false;
};

}  // namespace thumper
