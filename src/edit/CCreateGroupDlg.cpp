#include "edit/CCreateGroupDlg.h"

#include <QLineEdit>
#include <QPushButton>

#include "edit/DialogUnits.h"

namespace thumper {

CCreateGroupDlg::CCreateGroupDlg(UiServices& ui, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_ui(ui),
      m_pNameEdit(new QLineEdit(this)),
      m_pOk(new QPushButton(QStringLiteral("OK"), this)),
      m_pCancel(new QPushButton(QStringLiteral("Cancel"), this)) {
  setWindowTitle(QStringLiteral("Create Group"));
  setObjectName(QStringLiteral("CreateGroupDialog"));
  const DialogBaseUnits du = DialogBaseUnits::Of(font());
  setFixedSize(du.ToPixelsX(186), du.ToPixelsY(47));
  m_pNameEdit->setObjectName(QStringLiteral("1010"));
  m_pNameEdit->setGeometry(du.ToPixels(25, 16, 80, 14));
  m_pNameEdit->setMaxLength(kMaxNameLength);
  m_pOk->setObjectName(QStringLiteral("IDOK"));
  m_pOk->setGeometry(du.ToPixels(129, 7, 50, 14));
  m_pOk->setDefault(true);
  m_pOk->setAutoDefault(true);
  m_pCancel->setObjectName(QStringLiteral("IDCANCEL"));
  m_pCancel->setGeometry(du.ToPixels(129, 26, 50, 14));
  m_pCancel->setAutoDefault(false);
  setTabOrder(m_pNameEdit, m_pOk);
  setTabOrder(m_pOk, m_pCancel);
  connect(m_pOk, &QPushButton::clicked, this, &CCreateGroupDlg::accept);
  connect(m_pCancel, &QPushButton::clicked, this, &CCreateGroupDlg::reject);
  connect(m_pNameEdit, &QLineEdit::textEdited, this, &CCreateGroupDlg::OnNameEdited);
}

bool CCreateGroupDlg::DoModal() {
  return exec() == QDialog::Accepted;
}

void CCreateGroupDlg::showEvent(QShowEvent* event) {
  // The edit shows the offered name in full, even a longer one a caller set;
  // typing may only shorten such a name, never lengthen it.
  const QString name = QString::fromStdString(m_strName);
  m_pNameEdit->setMaxLength(std::max<int>(kMaxNameLength, name.size()));
  m_pNameEdit->setText(name);
  m_pNameEdit->selectAll();
  m_pNameEdit->setFocus();
  QDialog::showEvent(event);
}

void CCreateGroupDlg::OnNameEdited(const QString& text) {
  m_pNameEdit->setMaxLength(std::max<int>(kMaxNameLength, text.size()));
}

void CCreateGroupDlg::accept() {
  const QString text = m_pNameEdit->text();
  if (text.size() > kMaxNameLength) {
    m_ui.MessageBox("Please enter no more than " + std::to_string(kMaxNameLength) + " characters.",
                    kAppName, MsgButtons::Ok, MsgIcon::Warning);
    m_pNameEdit->setFocus();
    m_pNameEdit->selectAll();
    return;
  }
  m_strName = text.toStdString();
  QDialog::accept();
}

}  // namespace thumper
