#include "WholeFile.h"

#include <QFileInfo>
#include <QSaveFile>

#include <unistd.h>

QString WriteWholeFile(const QString& path, const QByteArray& content) {
  const QString failed = QStringLiteral("Impossible d'écrire dans %1").arg(QFileInfo(path).fileName());
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return failed;
  // Qt's commit() would overlook a failing final flush or sync (where a full
  // disk shows) and put a truncated file in place: both are checked here.
  if (file.write(content) != content.size() || !file.flush() || fsync(file.handle()) != 0) {
    file.cancelWriting();
    return failed;
  }
  return file.commit() ? QString() : failed;
}
