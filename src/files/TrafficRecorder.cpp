#include "TrafficRecorder.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

QString Reason(int error) {
  switch (error) {
    case ENOSPC:
      return QStringLiteral("disque plein");
    case EDQUOT:
      return QStringLiteral("quota du disque atteint");
    case EROFS:
      return QStringLiteral("disque en lecture seule");
    case EACCES:
    case EPERM:
      return QStringLiteral("accès refusé");
    case EIO:
      return QStringLiteral("erreur d'entrée-sortie");
    case ENOENT:
      return QStringLiteral("dossier introuvable");
    default:
      return QString::fromLocal8Bit(std::strerror(error));
  }
}

}  // namespace

TrafficRecorder::TrafficRecorder(QString path, WriteFunction write)
    : FPath(std::move(path)),
      FWrite(write ? std::move(write) : WriteFunction([](int fd, const void* data, size_t size) {
        return ::write(fd, data, size);
      })) {
  FFd = ::open(FPath.toLocal8Bit().constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (FFd < 0) {
    FFailure = Reason(errno);
    return;
  }
  FAccepting = true;
  FWriter = std::thread([this] { WriterLoop(); });
}

TrafficRecorder::~TrafficRecorder() { Stop(); }

void TrafficRecorder::Append(QStringView line) {
  const QByteArray bytes = line.toUtf8();
  const std::lock_guard lock(FMutex);
  if (!FAccepting) return;
  FBuffer += bytes;
  FBuffer += '\n';
  if (FBuffer.size() > MaxBuffered) {
    FAccepting = false;
    FFailure = QStringLiteral("le disque ne suit pas");
    FWake.notify_one();
  } else if (FBuffer.size() >= WriteThreshold) {
    FWake.notify_one();
  }
}

void TrafficRecorder::Stop() {
  {
    const std::lock_guard lock(FMutex);
    FStopping = true;
    FAccepting = false;
  }
  FWake.notify_one();
  if (FWriter.joinable()) FWriter.join();
}

bool TrafficRecorder::Running() const {
  const std::lock_guard lock(FMutex);
  return FAccepting;
}

QString TrafficRecorder::Failure() const {
  const std::lock_guard lock(FMutex);
  return FFailure;
}

void TrafficRecorder::WriterLoop() {
  std::unique_lock lock(FMutex);
  for (;;) {
    FWake.wait_for(lock, WriteInterval,
                   [this] { return FStopping || !FAccepting || FBuffer.size() >= WriteThreshold; });
    QByteArray chunk;
    chunk.swap(FBuffer);
    const bool last = FStopping || !FAccepting;
    lock.unlock();
    QString failure = chunk.isEmpty() ? QString() : WriteOut(chunk);
    lock.lock();
    if (!failure.isEmpty()) {
      FAccepting = false;
      FBuffer.clear();
      if (FFailure.isEmpty()) FFailure = failure;
      break;
    }
    if (last && FBuffer.isEmpty()) break;
  }
  lock.unlock();
  // A failure the system reports only now (a network file system) counts too.
  const bool synced = fsync(FFd) == 0 || errno == EINVAL;
  const int syncError = errno;
  ::close(FFd);
  FFd = -1;
  if (!synced) {
    lock.lock();
    if (FFailure.isEmpty()) FFailure = Reason(syncError);
  }
}

QString TrafficRecorder::WriteOut(const QByteArray& chunk) {
  const qint64 start = FWritten.load(std::memory_order_relaxed);
  qsizetype done = 0;
  while (done < chunk.size()) {
    const ssize_t n = FWrite(FFd, chunk.constData() + done, static_cast<size_t>(chunk.size() - done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : ENOSPC;
      // Only whole lines stay: the part of a line that fitted is cut off.
      const qsizetype lineEnd = done > 0 ? chunk.lastIndexOf('\n', done - 1) + 1 : 0;
      const bool cut = lineEnd == done || ftruncate(FFd, start + lineEnd) == 0;
      FWritten.store(start + (cut ? lineEnd : done), std::memory_order_relaxed);
      return Reason(error);
    }
    done += n;
  }
  FWritten.store(start + done, std::memory_order_relaxed);
  return {};
}
