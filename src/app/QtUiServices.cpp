#include "app/QtUiServices.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QScreen>
#include <iostream>

#include "edit/CCreateGroupDlg.h"

namespace thumper {
namespace {

std::string Trimmed(const std::string& s) {
  const size_t first = s.find_first_not_of(' ');
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(' ') - first + 1);
}

bool HasFlag(const FileDialogParams& params, uint32_t flag) {
  return (params.nFlags & flag) != 0;
}

}  // namespace

std::vector<FileFilterEntry> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    const size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? bar : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  std::vector<FileFilterEntry> entries;
  // Pairs end at the first empty name: "||" closes the list.
  for (size_t i = 0; i + 1 < parts.size(); i += 2) {
    FileFilterEntry entry{Trimmed(parts[i]), Trimmed(parts[i + 1])};
    if (entry.strName.empty()) break;
    entries.push_back(std::move(entry));
  }
  return entries;
}

QStringList QtNameFilters(const std::string& filter) {
  QStringList filters;
  for (const FileFilterEntry& entry : ParseFileFilter(filter)) {
    QString pattern = QString::fromStdString(entry.strPattern);
    pattern.replace(QLatin1Char(';'), QLatin1Char(' '));
    pattern = pattern.simplified();
    if (pattern.isEmpty()) pattern = QStringLiteral("*");
    QString name = QString::fromStdString(entry.strName);
    if (!name.endsWith(QLatin1Char('(') + pattern + QLatin1Char(')')))
      name += QStringLiteral(" (") + pattern + QLatin1Char(')');
    filters << name;
  }
  return filters;
}

std::string WithDefaultExtension(const std::string& path, const std::string& defExt) {
  if (defExt.empty() || path.empty()) return path;
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) return path;
  return path + (defExt.front() == '.' ? defExt : "." + defExt);
}

std::unique_ptr<QFileDialog> MakeFileDialog(const FileDialogParams& params, QWidget* owner) {
  auto dialog = std::make_unique<QFileDialog>(owner);
  dialog->setAcceptMode(params.bOpen ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  if (params.bOpen && HasFlag(params, ofn::kAllowMultiSelect))
    dialog->setFileMode(QFileDialog::ExistingFiles);
  else if (params.bOpen && HasFlag(params, ofn::kFileMustExist))
    dialog->setFileMode(QFileDialog::ExistingFile);
  else
    dialog->setFileMode(QFileDialog::AnyFile);
  // Only a save dialog asked to prompt before replacing a file does so.
  dialog->setOption(QFileDialog::DontConfirmOverwrite,
                    params.bOpen || !HasFlag(params, ofn::kOverwritePrompt));
  if (!params.strDefExt.empty()) {
    const std::string& ext = params.strDefExt;
    dialog->setDefaultSuffix(QString::fromStdString(ext.front() == '.' ? ext.substr(1) : ext));
  }
  const QStringList filters = QtNameFilters(params.strFilter);
  if (!filters.isEmpty()) dialog->setNameFilters(filters);
  if (!params.strTitle.empty())
    dialog->setWindowTitle(QString::fromStdString(params.strTitle));
  else
    dialog->setWindowTitle(params.bOpen ? QStringLiteral("Open") : QStringLiteral("Save As"));
  if (!params.strInitialName.empty()) {
    const QFileInfo initial(QString::fromStdString(params.strInitialName));
    if (params.strInitialName.find('/') != std::string::npos) {
      dialog->setDirectory(initial.absolutePath());
      dialog->selectFile(initial.fileName());
    } else {
      dialog->selectFile(initial.fileName());
    }
  }
  return dialog;
}

FileDialogResult FileDialogChoice(const QFileDialog& dialog, const FileDialogParams& params) {
  FileDialogResult result;
  if (dialog.result() != QDialog::Accepted) return result;
  for (const QString& file : dialog.selectedFiles()) {
    std::string path = QFileInfo(file).absoluteFilePath().toStdString();
    // Qt adds the suffix itself; a platform dialog may not, so make sure.
    if (!params.bOpen || !HasFlag(params, ofn::kAllowMultiSelect))
      path = WithDefaultExtension(path, params.strDefExt);
    result.paths.push_back(std::move(path));
  }
  result.bOk = !result.paths.empty();
  return result;
}

void FileDialogLayout::Apply(QFileDialog& dialog) const {
  if (!m_state.isEmpty()) dialog.restoreState(m_state);
  QSize size = m_size.isValid() ? m_size : QSize(kWidth, kHeight);
  // Never larger than the screen the dialog opens on.
  const QWidget* parent = dialog.parentWidget();
  if (const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen()) {
    const QSize room = screen->availableSize() * 9 / 10;
    size = size.boundedTo(room);
  }
  dialog.resize(size);
  // The name column takes what the others leave, so long sample names show whole.
  if (m_state.isEmpty())
    if (auto* header = dialog.findChild<QHeaderView*>()) header->resizeSection(0, size.width() / 2);
}

void FileDialogLayout::Remember(const QFileDialog& dialog) {
  m_size = dialog.size();
  m_state = dialog.saveState();
}

QtUiServices::QtUiServices() : m_console(std::cerr) {}

bool QtUiServices::Unattended() const {
  const QString platform = QGuiApplication::platformName();
  return platform == QLatin1String("offscreen") || platform == QLatin1String("minimal");
}

QWidget* QtUiServices::Owner() const {
  return m_pOwner && m_pOwner->isVisible() ? m_pOwner.data() : nullptr;
}

MsgResult QtUiServices::MessageBox(const std::string& text, const std::string& caption,
                                   MsgButtons buttons, MsgIcon icon) {
  if (Unattended()) return m_console.MessageBox(text, caption, buttons, icon);
  QMessageBox box(Owner());
  box.setWindowTitle(QString::fromStdString(caption.empty() ? kAppName : caption));
  box.setText(QString::fromStdString(text));
  switch (icon) {
    case MsgIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MsgIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MsgIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MsgIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MsgIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (buttons) {
    case MsgButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MsgButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MsgButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      break;
    case MsgButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  switch (box.exec()) {
    case QMessageBox::Ok:
      return MsgResult::Ok;
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    default:
      // A box closed without a button: its cancel, or No where there is none.
      return buttons == MsgButtons::YesNo ? MsgResult::No
             : buttons == MsgButtons::Ok  ? MsgResult::Ok
                                          : MsgResult::Cancel;
  }
}

FileDialogResult QtUiServices::FileDialog(const FileDialogParams& params) {
  if (Unattended()) return m_console.FileDialog(params);
  auto dialog = MakeFileDialog(params, Owner());
  m_fileDialogLayout.Apply(*dialog);
  dialog->exec();
  m_fileDialogLayout.Remember(*dialog);
  return FileDialogChoice(*dialog, params);
}

std::optional<std::string> QtUiServices::CreateGroupDialog(const std::string& offeredName) {
  if (Unattended()) return m_console.CreateGroupDialog(offeredName);
  CCreateGroupDlg dialog(*this, Owner());
  dialog.m_strName = offeredName;
  if (!dialog.DoModal()) return std::nullopt;
  return dialog.m_strName;
}

}  // namespace thumper
