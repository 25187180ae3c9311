#include "view/ViewCursors.h"

#include <QPixmap>

static void InitCursorResources() {
  Q_INIT_RESOURCE(view);
}

namespace thumper {

QCursor CarryCursor() {
  InitCursorResources();
  return QCursor(QPixmap(QStringLiteral(":/skin/cursor-arrow.png")), kCarryCursorHotX,
                 kCarryCursorHotY);
}

QCursor CellCursor() {
  InitCursorResources();
  return QCursor(QPixmap(QStringLiteral(":/skin/cursor-speaker.png")), kCellCursorHotX,
                 kCellCursorHotY);
}

}  // namespace thumper
