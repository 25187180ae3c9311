#include "app/HelpManual.h"

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace thumper {

QString HelpManualPath() {
  QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.cache");
  return base + QStringLiteral("/thumper/help/index.html");
}

bool OpenHelpManual() {
  QFile source(QStringLiteral(":/help/index.html"));
  if (!source.open(QIODevice::ReadOnly)) return false;
  const QByteArray manual = source.readAll();
  const QString path = HelpManualPath();
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  // Written whole every time, so a manual from an older version never lingers.
  QSaveFile out(path);
  if (!out.open(QIODevice::WriteOnly) || out.write(manual) != manual.size() || !out.commit())
    return false;
  return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

}  // namespace thumper
