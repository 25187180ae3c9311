#pragma once
// The Create Group dialog (template 135): asks for the name of a new sample
// group. The caller sets m_strName to the name offered and runs it modally; on
// OK m_strName holds the edited name (an empty name is accepted).

#include <QDialog>
#include <string>

#include "drumset/UiServices.h"

class QLineEdit;
class QPushButton;

namespace thumper {

class CCreateGroupDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxNameLength = 50;

  // ui shows the validation message; parent null: the application's window owns it.
  explicit CCreateGroupDlg(UiServices& ui, QWidget* parent = nullptr);

  // Runs the dialog modally; true on OK.
  bool DoModal();

  std::string m_strName;

  QLineEdit* NameEdit() const { return m_pNameEdit; }
  QPushButton* OkButton() const { return m_pOk; }
  QPushButton* CancelButton() const { return m_pCancel; }

 public slots:
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnNameEdited(const QString& text);

  UiServices& m_ui;
  QLineEdit* m_pNameEdit;  // children, owned by the dialog
  QPushButton* m_pOk;
  QPushButton* m_pCancel;
};

}  // namespace thumper
