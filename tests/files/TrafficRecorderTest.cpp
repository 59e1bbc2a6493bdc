// The traffic recording's file: every line in order, on the disk well within a
// second, and when the disk fails under it, a file of whole lines, a reason,
// and nothing raised.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <unistd.h>

#include "FileTestSupport.h"
#include "TmpfsMount.h"
#include "TrafficRecorder.h"

namespace {

using namespace std::chrono_literals;

QString Line(int i) { return QStringLiteral("[12:00:00:000] [MIDI-In] - 90 %1 40 (Note On)").arg(i % 128, 2, 16, QLatin1Char('0')).toUpper() + QString::number(i); }

QStringList Lines(const QString& path) {
  QString text = QString::fromUtf8(ReadAll(path));
  if (text.endsWith('\n')) text.chop(1);
  return text.isEmpty() ? QStringList{} : text.split('\n');
}

// True once `done` holds, polling for up to `timeout` (generous: the machine may be loaded).
bool Eventually(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
  QElapsedTimer watch;
  watch.start();
  while (!done()) {
    if (watch.elapsed() > timeout.count()) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

class TrafficRecorderTest : public ::testing::Test {
 protected:
  QTemporaryDir folder;
  QString path = folder.filePath("traffic.txt");
};

TEST_F(TrafficRecorderTest, WritesEveryLineInOrderAndClosesOnStop) {
  TrafficRecorder recorder(path);
  ASSERT_TRUE(recorder.Running()) << recorder.Failure().toStdString();
  QStringList expected;
  for (int i = 0; i < 50000; ++i) {
    expected << Line(i);
    recorder.Append(expected.back());
  }
  recorder.Stop();
  EXPECT_FALSE(recorder.Running());
  EXPECT_EQ(recorder.Failure(), "");
  EXPECT_EQ(Lines(path), expected);
  EXPECT_EQ(recorder.BytesWritten(), QFile(path).size());
  recorder.Append(QStringLiteral("after the stop"));
  EXPECT_EQ(Lines(path).size(), expected.size());
}

TEST_F(TrafficRecorderTest, TextIsUtf8WithOneLineEndPerLine) {
  {
    TrafficRecorder recorder(path);
    recorder.Append(QString::fromUtf8("Test boucle : Pas de réponse !"));
    recorder.Append(QStringLiteral("[Midi-Out] - F0 7E F7"));
  }
  EXPECT_EQ(ReadAll(path), QByteArray("Test boucle : Pas de r\xC3\xA9ponse !\n[Midi-Out] - F0 7E F7\n"));
}

TEST_F(TrafficRecorderTest, AFewLinesReachTheFileWithoutAStopWithinMomentsNotWhenTheBufferFills) {
  TrafficRecorder recorder(path);
  recorder.Append(Line(1));
  recorder.Append(Line(2));
  // Far below the write threshold: only the periodic write brings them out.
  ASSERT_TRUE(Eventually([&] { return Lines(path) == QStringList({Line(1), Line(2)}); }))
      << "not written within the wait";
  EXPECT_TRUE(recorder.Running());
  EXPECT_EQ(recorder.BytesWritten(), QFile(path).size());
}

TEST_F(TrafficRecorderTest, AFileThatCannotBeCreatedSaysWhyAndRecordsNothing) {
  TrafficRecorder recorder(folder.filePath("missing/traffic.txt"));
  EXPECT_FALSE(recorder.Running());
  EXPECT_EQ(recorder.Failure(), "dossier introuvable");
  recorder.Append(Line(1));
  recorder.Stop();
}

// The system refuses writes after `allowed` bytes with `error`; each write
// is taken in pieces of at most `piece` bytes, as a disk that fills mid-line does.
struct FailingDisk {
  size_t allowed;
  int error;
  size_t piece = 100;
  std::atomic<size_t> written{0};

  TrafficRecorder::WriteFunction Function() {
    return [this](int fd, const void* data, size_t size) -> ssize_t {
      const size_t room = allowed - written.load();
      if (room == 0) {
        errno = error;
        return -1;
      }
      const ssize_t n = ::write(fd, data, std::min({size, room, piece}));
      if (n > 0) written += static_cast<size_t>(n);
      return n;
    };
  }
};

struct FailureCase {
  const char* name;
  int error;
  const char* reason;
};

class TrafficRecorderDiskFailure : public TrafficRecorderTest, public ::testing::WithParamInterface<FailureCase> {};

TEST_P(TrafficRecorderDiskFailure, EndsTheRecordingWithWholeLinesAndAReason) {
  FailingDisk disk{5000, GetParam().error};
  TrafficRecorder recorder(path, disk.Function());
  QStringList appended;
  for (int i = 0; i < 2000; ++i) {
    appended << Line(i);
    recorder.Append(appended.back());
  }
  ASSERT_TRUE(Eventually([&] { return !recorder.Running(); }));
  EXPECT_EQ(recorder.Failure(), QString::fromUtf8(GetParam().reason));
  recorder.Append(QStringLiteral("dropped"));
  recorder.Stop();
  EXPECT_EQ(recorder.Failure(), QString::fromUtf8(GetParam().reason));

  const QByteArray content = ReadAll(path);
  EXPECT_TRUE(content.endsWith('\n')) << "the line cut by the failure is gone";
  EXPECT_LE(content.size(), 5000);
  EXPECT_GT(content.size(), 4800) << "every whole line that fitted stays";
  const QStringList lines = Lines(path);
  EXPECT_EQ(lines, appended.mid(0, lines.size()));
  EXPECT_EQ(recorder.BytesWritten(), content.size());
}

INSTANTIATE_TEST_SUITE_P(Faults, TrafficRecorderDiskFailure,
                         ::testing::Values(FailureCase{"Full", ENOSPC, "disque plein"},
                                           FailureCase{"ReadOnly", EROFS, "disque en lecture seule"},
                                           FailureCase{"QuotaReached", EDQUOT, "quota du disque atteint"},
                                           FailureCase{"InputOutputError", EIO, "erreur d'entrée-sortie"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A disk that takes each write only when the test lets it: the buffer in
// memory grows meanwhile, up to its bound.
TEST_F(TrafficRecorderTest, ADiskThatDoesNotKeepUpEndsTheRecordingAtTheBufferBoundWithWhatWasAccepted) {
  std::mutex mutex;
  std::condition_variable go;
  bool released = false;
  std::atomic<int> writes{0};
  TrafficRecorder recorder(path, [&](int fd, const void* data, size_t size) -> ssize_t {
    std::unique_lock lock(mutex);
    go.wait(lock, [&] { return released; });
    ++writes;
    return ::write(fd, data, size);
  });
  const QString line(99, QLatin1Char('x'));  // 100 bytes with its line end
  qsizetype accepted = 0;
  while (recorder.Running()) {
    recorder.Append(line);
    ++accepted;
    ASSERT_LT(accepted * 100, 2 * TrafficRecorder::MaxBuffered) << "the buffer is not bounded";
  }
  EXPECT_EQ(recorder.Failure(), "le disque ne suit pas");
  {
    const std::lock_guard lock(mutex);
    released = true;
  }
  go.notify_all();
  recorder.Stop();
  EXPECT_EQ(recorder.Failure(), "le disque ne suit pas");
  EXPECT_EQ(QFile(path).size(), accepted * 100) << "every line accepted before the end is in the file";
}

// A real file system that fills up under the recording.
TEST(TrafficRecorderOnTmpfs, AFullDiskEndsTheRecordingAndLeavesAReadableFileOfWholeLines) {
  TTmpfsMount mount(64 * 1024);
  REQUIRE_TMPFS(mount);
  const QString path = mount.FilePath("traffic.txt");
  TrafficRecorder recorder(path);
  QStringList appended;
  for (int i = 0; i < 5000 && recorder.Running(); ++i) {
    appended << Line(i);
    recorder.Append(appended.back());
    if (i % 500 == 0) std::this_thread::sleep_for(20ms);
  }
  ASSERT_TRUE(Eventually([&] { return !recorder.Running(); })) << "5 000 lines fit in 64 KiB?";
  recorder.Stop();
  EXPECT_EQ(recorder.Failure(), "disque plein");
  const QByteArray content = ReadAll(path);
  EXPECT_TRUE(content.endsWith('\n'));
  EXPECT_GT(content.size(), 32 * 1024);
  const QStringList lines = Lines(path);
  EXPECT_EQ(lines, appended.mid(0, lines.size()));
  EXPECT_EQ(recorder.BytesWritten(), content.size());
}

}  // namespace
