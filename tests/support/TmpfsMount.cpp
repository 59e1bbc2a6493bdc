#include "TmpfsMount.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

std::string Failure(const char* what, const QString& path, int error) {
  return std::string(what) + " " + path.toStdString() + ": " + std::strerror(error);
}

}  // namespace

TTmpfsMount::TTmpfsMount(qint64 sizeBytes, const QString& at) {
  if (at.isEmpty()) {
    QByteArray folder = "/tmp/orvalis-tmpfs.XXXXXX";
    if (!mkdtemp(folder.data())) {
      FError = Failure("mkdtemp", QString::fromUtf8(folder), errno);
      return;
    }
    FPath = QString::fromUtf8(folder);
    FOwnsFolder = true;
  } else {
    FPath = at;
  }
  const QByteArray options = "size=" + QByteArray::number(sizeBytes) + ",mode=0755";
  if (mount("tmpfs", FPath.toUtf8().constData(), "tmpfs", 0, options.constData()) != 0) {
    const int error = errno;
    FNotPermitted = error == EPERM;
    FError = Failure("mounting a tmpfs on", FPath, error) +
             (FNotPermitted ? " (mounting needs root)" : "");
    return;
  }
  FMounted = true;
}

TTmpfsMount::~TTmpfsMount() {
  const QByteArray path = FPath.toUtf8();
  if (FMounted && umount2(path.constData(), 0) != 0) umount2(path.constData(), MNT_DETACH);
  if (FOwnsFolder) rmdir(path.constData());
}

bool TTmpfsMount::RemountReadOnly() {
  if (mount(nullptr, FPath.toUtf8().constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0) return true;
  FError = Failure("remounting read-only", FPath, errno);
  return false;
}

qint64 TTmpfsMount::FreeBytes() const {
  struct statvfs info {};
  if (statvfs(FPath.toUtf8().constData(), &info) != 0) return -1;
  return static_cast<qint64>(info.f_bavail) * static_cast<qint64>(info.f_frsize);
}

qint64 TTmpfsMount::BlockSize() const {
  struct statvfs info {};
  if (statvfs(FPath.toUtf8().constData(), &info) != 0) return -1;
  return static_cast<qint64>(info.f_frsize);
}

bool TTmpfsMount::FillLeaving(qint64 freeBytes) {
  const qint64 block = BlockSize();
  const qint64 keep = freeBytes / block * block;
  qint64 toWrite = FreeBytes() - keep;
  if (block <= 0 || toWrite < 0) {
    FError = "cannot leave " + std::to_string(keep) + " bytes free on " + FPath.toStdString();
    return false;
  }
  const int fd = open(FilePath(FillerName).toUtf8().constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    FError = Failure("creating", FilePath(FillerName), errno);
    return false;
  }
  const QByteArray zeros(static_cast<int>(block), '\0');
  while (toWrite > 0) {
    const ssize_t written = write(fd, zeros.constData(), static_cast<size_t>(std::min(toWrite, block)));
    if (written <= 0) {
      FError = Failure("filling", FPath, errno);
      close(fd);
      return false;
    }
    toWrite -= written;
  }
  close(fd);
  if (FreeBytes() == keep) return true;
  FError = "filling " + FPath.toStdString() + " left " + std::to_string(FreeBytes()) + " bytes free, not " +
           std::to_string(keep);
  return false;
}
