#pragma once
// The view operation behind a double click on a key: the Sound Properties
// dialog of one slot, filled from the drum set and the layer voices, and its
// volume, cut and scheme written back after OK. UI thread only.

#include <QWidget>
#include <functional>
#include <string>

#include "drumset/CThumperDoc.h"
#include "drumset/UiServices.h"
#include "edit/CSoundPropsDlg.h"

namespace thumper {

class ThumperRuntime;

// The text Layer k + 1 shows (k = 0..4): the path of the sample the layer plays
// itself, or "Copy of layer %d" naming the layer it borrows from, counted from 1.
std::string LayerText(const CThumperDoc& doc, const ThumperRuntime& runtime, int slot, int layer);

// Fills the dialog from slot's settings and layers (nothing else of it).
void FillSoundPropsDlg(CSoundPropsDlg& dlg, const CThumperDoc& doc, const ThumperRuntime& runtime,
                       int slot);

// An empty slot shows the "Empty Layer" message and nothing else happens.
// Otherwise the dialog is filled and run through `run` (true for OK); after OK
// the slot's volume, cut and scheme are written and the note trigger sees them
// at once; after OK or Cancel the drum set is marked modified. Sources,
// references and voices never change. Returns true when the dialog was shown;
// a slot outside 0..127 does nothing.
bool EditSoundProperties(CThumperDoc& doc, ThumperRuntime& runtime, UiServices& ui, int slot,
                         const std::function<bool(CSoundPropsDlg&)>& run,
                         QWidget* parent = nullptr);

// The `run` the application passes: the dialog's own modal loop.
inline bool RunSoundPropsModal(CSoundPropsDlg& dlg) {
  return dlg.DoModal();
}

}  // namespace thumper
