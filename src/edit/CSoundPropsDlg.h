#pragma once
// The Sound Properties dialog (template 146): edits one note slot's volume at
// the lowest velocity, its cut slot and its velocity scheme, and shows which
// sample each velocity layer plays and the slot's number. The caller fills the
// members, runs it modally and, on OK, reads them back; the fields are checked
// in member order and the first that fails keeps the dialog open.

#include <QDialog>
#include <cstdint>
#include <string>

#include "drumset/DrumSet.h"
#include "drumset/UiServices.h"
#include "edit/DialogUnits.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace thumper {

class CSoundPropsDlg : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMaxLayerText = 256;

  // ui shows the validation messages; parent null: the application's window owns it.
  explicit CSoundPropsDlg(UiServices& ui, QWidget* parent = nullptr);

  // Runs the dialog modally; true on OK, after every field passed its check.
  bool DoModal();

  // The velocity thresholds the curves picture draws (the five default
  // schemes unless a caller gives the drum set's own).
  void SetCurveThresholds(const ThresholdTable& thresholds);

  std::string m_strLayer1;
  std::string m_strLayer2;
  std::string m_strLayer3;
  std::string m_strLayer5;
  std::string m_strLayer4;
  int32_t m_nCutNote;
  int32_t m_nNote;
  int32_t m_nScheme;
  int32_t m_bCut;
  int32_t m_nVolume;

  // The controls, by id, for the caller's tests and for accessibility tools.
  QLineEdit* LayerEdit(int layer) const { return m_pLayer[layer]; }  // layer 0..4
  QLineEdit* CutNoteEdit() const { return m_pCutNote; }
  QLineEdit* NoteEdit() const { return m_pNote; }
  QLineEdit* SchemeEdit() const { return m_pScheme; }
  QCheckBox* CutBox() const { return m_pCut; }
  QLineEdit* VolumeEdit() const { return m_pVolume; }
  QWidget* CurvesPicture() const { return m_pCurves; }
  QPushButton* OkButton() const { return m_pOk; }
  QPushButton* CancelButton() const { return m_pCancel; }
  // The base units the template was laid out with.
  const DialogBaseUnits& BaseUnits() const { return m_du; }

 public slots:
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Members into the controls, as the framework's initialisation does.
  void ToControls();
  // Controls into the members, checked in member order; false at the first
  // field that fails (its message shown, the field focused).
  bool FromControls();

  UiServices& m_ui;
  DialogBaseUnits m_du;
  QLineEdit* m_pLayer[kLayerCount];  // children, owned by the dialog
  QLineEdit* m_pNote;
  QLineEdit* m_pScheme;
  QWidget* m_pCurves;
  QCheckBox* m_pCut;
  QLineEdit* m_pCutNote;
  QLineEdit* m_pVolume;
  QPushButton* m_pOk;
  QPushButton* m_pCancel;
};

}  // namespace thumper
