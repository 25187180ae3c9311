#pragma once
// The About box (template 100): the About picture with the version over it. It
// has no button; Escape and the close box close it.

#include <QDialog>

class QLabel;

namespace thumper {

class CAboutDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CAboutDlg(QWidget* parent = nullptr);

  void DoModal() { exec(); }

  QLabel* Picture() const { return m_pPicture; }
  QLabel* VersionLabel() const { return m_pVersion; }

 private:
  QLabel* m_pPicture;  // children, owned by the dialog
  QLabel* m_pVersion;
};

}  // namespace thumper
