#pragma once
// The Options dialog (template 150): the MIDI input channel, the MIDI input
// device and the audio output driver. The caller fills the OptionsDlgData
// members before it is shown; after OK they hold what the user chose.

#include <QDialog>
#include <functional>

#include "drumset/UiServices.h"
#include "midi/OptionsData.h"
#include "engine/ThumperRuntime.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QShowEvent;

namespace thumper {

class COptionsDlg : public QDialog, public OptionsDlgData {
  Q_OBJECT

 public:
  // ui shows the validation message; parent: the view.
  explicit COptionsDlg(UiServices& ui, QWidget* parent = nullptr);

  // Runs the dialog modally; true on OK.
  bool DoModal();

  QComboBox* m_cbDriver;  // box 1037, a child of the dialog
  QComboBox* m_cbMidiIn;  // box 1032, a child of the dialog

  QLineEdit* ChannelEdit() const { return m_pChannel; }
  QPushButton* OkButton() const { return m_pOk; }
  QPushButton* CancelButton() const { return m_pCancel; }

 public slots:
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  void OnInitDialog();
  void OnSelChangeMidiIn(int index);
  void OnSelChangeDriver(int index);

  UiServices& m_ui;
  QLineEdit* m_pChannel;  // children, owned by the dialog
  QPushButton* m_pOk;
  QPushButton* m_pCancel;
};

// Runs the Options dialog and applies its result: the dialog is made and
// filled from the running program, run (the application passes one that calls
// DoModal), and on OK the channel, device and driver the user chose take
// effect. True on OK.
bool ShowOptions(ThumperRuntime& runtime, UiServices& ui,
                 const std::function<bool(COptionsDlg&)>& run, QWidget* parent = nullptr);

}  // namespace thumper
