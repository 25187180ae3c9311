#pragma once
// The two drag cursors of the main view: an arrow while a group or a sample is
// carried, a loudspeaker while a key cell is carried. UI thread only (needs a
// QGuiApplication).

#include <QCursor>

namespace thumper {

inline constexpr int kCarryCursorHotX = 11, kCarryCursorHotY = 7;
inline constexpr int kCellCursorHotX = 12, kCellCursorHotY = 16;

// Arrow with a small sample card; hot spot (11, 7).
QCursor CarryCursor();
// Loudspeaker; hot spot (12, 16).
QCursor CellCursor();

}  // namespace thumper
