#pragma once
// A small tmpfs mounted for one test, to see what the program does when its
// folder is full or turns read-only. Mounting needs root (CAP_SYS_ADMIN); where
// it is refused, REQUIRE_TMPFS skips the test with the kernel's reason.

#include <QString>
#include <gtest/gtest.h>

#include <string>

// Owns the mount: it is unmounted (lazily, if a file is still open on it) when
// the object goes, also when a test fails half-way, and the mount point it
// made is removed. One thread; not copyable.
class TTmpfsMount {
 public:
  // Mounts `sizeBytes` (whole pages) on a new folder under /tmp, or on the
  // existing folder `at`, whose own content is hidden until the unmount.
  explicit TTmpfsMount(qint64 sizeBytes, const QString& at = QString());
  ~TTmpfsMount();
  TTmpfsMount(const TTmpfsMount&) = delete;
  TTmpfsMount& operator=(const TTmpfsMount&) = delete;

  bool Mounted() const { return FMounted; }
  // True when the kernel refused the mount for want of rights (not root).
  bool NotPermitted() const { return FNotPermitted; }
  // What failed last, empty when nothing did.
  const std::string& Error() const { return FError; }

  const QString& Path() const { return FPath; }
  QString FilePath(const QString& name) const { return FPath + QLatin1Char('/') + name; }

  // Makes the whole file system read-only. The kernel refuses while a file
  // on it is open for writing.
  bool RemountReadOnly();
  // Writes the file FillerName until only `freeBytes` (rounded down to whole
  // blocks) stay free.
  bool FillLeaving(qint64 freeBytes);
  qint64 FreeBytes() const;
  qint64 BlockSize() const;

  static inline const QString FillerName = QStringLiteral("filler");

 private:
  QString FPath;
  bool FOwnsFolder = false;
  bool FMounted = false;
  bool FNotPermitted = false;
  std::string FError;
};

// In a test body or SetUp: skips the test where mounting is not permitted,
// fails it where the mount failed for another reason.
#define REQUIRE_TMPFS(mount)                                                 \
  do {                                                                       \
    if (!(mount).Mounted()) {                                                \
      if ((mount).NotPermitted()) GTEST_SKIP() << (mount).Error();           \
      FAIL() << (mount).Error();                                             \
    }                                                                        \
  } while (false)
