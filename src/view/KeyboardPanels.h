#pragma once
// The two keyboard panels and the Edit Octave selector: 24 slots of the drum set
// as 12 keys of five layer cells each, the octave pair choice, and the cells and
// MIDI IN light that notes light. UI thread only: the note trigger's events are
// drained on the UI thread and handed to ShowNotePlaying / ShowNoteReleased.

#include <cstdint>
#include <optional>

#include "drumset/DrumSet.h"
#include "view/Surface.h"
#include "view/ViewRegions.h"

namespace thumper {

class KeyboardPanels {
 public:
  KeyboardPanels(Surface& surface, const ViewRegions& regions, const DrumSet& drumSet);

  // The first slot of the shown pair: 0, 24 or 48.
  int32_t m_nFirstShownSlot = 0;

  // The own-sample cells of the 24 shown slots in the assigned look; other cells
  // stay as they are on the face.
  void DrawKeyboardCells();
  // The selector with its lit pair, the two octave labels, both panels at rest
  // and then the own-sample cells.
  void DrawOctaveSelector();
  // A left press in the selector: the pair under the point becomes the shown one
  // and the selector is drawn, even when that pair was already shown. False when
  // the point is on no pair.
  bool ChooseOctavePair(int x, int y);

  // The cell under a window point for the shown pair (the mouse gestures' test).
  std::optional<CellHit> CellAt(int x, int y) const;

  // A note-on: MIDI IN lights; the cell of the layer lights when its slot is shown,
  // in the playing look when the slot sounds, else in the pressed look.
  void ShowNotePlaying(int32_t slot, int32_t layer, bool bSounds);
  // A note release: MIDI IN goes out; all five cells of a shown key go back to rest.
  void ShowNoteReleased(int32_t slot);

 private:
  // The panel (0 left, 1 right) and key of a slot, when it is shown.
  bool ShownKey(int32_t slot, int& panel, int& key) const;
  void CopyCell(int panel, int k, int sheetX);
  void RestCell(int panel, int k, int32_t slot, int layer);

  Surface& m_surface;
  const ViewRegions& m_regions;
  const DrumSet& m_drumSet;
};

}  // namespace thumper
