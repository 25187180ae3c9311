#pragma once
// UiServices with real dialogs: QMessageBox, QFileDialog and the Create Group
// dialog, owned by the main window once it is on screen. UI thread only.

#include <QByteArray>
#include <QPointer>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <memory>

#include "app/cli/ConsoleUi.h"
#include "drumset/UiServices.h"

class QFileDialog;

namespace thumper {

// One entry of a filter written "name | pattern||".
struct FileFilterEntry {
  std::string strName;
  std::string strPattern;
};

// Splits a filter at its bars; blanks around names and patterns go.
std::vector<FileFilterEntry> ParseFileFilter(const std::string& filter);

// The filters as Qt's dialog takes them. Qt matches the patterns it finds in the
// name's parentheses, so a name that does not end in its own pattern gets it added.
QStringList QtNameFilters(const std::string& filter);

// The name with the default extension (".drums") added when it has none of its own.
std::string WithDefaultExtension(const std::string& path, const std::string& defExt);

// The one place a file dialog is made from its parameters.
std::unique_ptr<QFileDialog> MakeFileDialog(const FileDialogParams& params, QWidget* owner);

// The paths a finished dialog chose, with the default extension applied.
FileDialogResult FileDialogChoice(const QFileDialog& dialog, const FileDialogParams& params);

// The size and layout (column widths, view mode, sidebar) of the file dialogs,
// kept for the run: the first dialog opens at a size whose columns show whole
// names, and each later one as the user left the last.
class FileDialogLayout {
 public:
  static constexpr int kWidth = 860, kHeight = 540;
  // Before the dialog is shown.
  void Apply(QFileDialog& dialog) const;
  // After it has closed.
  void Remember(const QFileDialog& dialog);

 private:
  QSize m_size;
  QByteArray m_state;
};

class QtUiServices : public UiServices {
 public:
  QtUiServices();

  // The window that owns every dialog, once it is shown; before that dialogs
  // stand alone (a start-up error comes before any window).
  void SetOwner(QWidget* owner) { m_pOwner = owner; }
  QWidget* Owner() const;
  // On a platform nobody can see (offscreen, minimal) a modal dialog would wait
  // for ever: messages go to standard error, questions are answered No and file
  // dialogs cancelled, as on the command line.
  bool Unattended() const;

  MsgResult MessageBox(const std::string& text, const std::string& caption,
                       MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None) override;
  FileDialogResult FileDialog(const FileDialogParams& params) override;
  std::optional<std::string> CreateGroupDialog(const std::string& offeredName) override;

 private:
  QPointer<QWidget> m_pOwner;
  cli::ConsoleUi m_console;
  FileDialogLayout m_fileDialogLayout;
};

}  // namespace thumper
