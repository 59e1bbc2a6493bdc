#pragma once
// Records the traffic into a text file, one line per message (UTF-8, "\n"
// line ends), without ever making its caller wait for the disk.
//
// Threads: the object is made, fed, read and stopped on one thread (the
// user-interface thread). Append only copies the line into a buffer in memory.
// A writer thread of its own, started by the constructor and joined by Stop
// (which the destructor calls), does all the file's input and output: it
// writes the buffer to the file as soon as it holds WriteThreshold bytes and
// otherwise every WriteInterval, so what was recorded reaches the system well
// within a second. The two threads share only what FMutex guards, held just
// long enough to append a line or to swap the buffer out.
//
// Failures: when a write fails (disk full, file system turned read-only, an
// input/output error) or the buffer outgrows MaxBuffered because the disk does
// not keep up, the recording ends by itself: the file is cut back to its last
// whole line and closed, so what was written stays readable, and later lines
// are dropped. Running() then turns false and Failure() says why, in French.
// Nothing is raised.

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include <sys/types.h>

class TrafficRecorder {
 public:
  // The system's write(2), or a stand-in for tests; called on the writer thread.
  using WriteFunction = std::function<ssize_t(int fd, const void* data, size_t size)>;

  static constexpr qsizetype WriteThreshold = 256 * 1024;
  static constexpr qsizetype MaxBuffered = 64 * 1024 * 1024;
  static constexpr std::chrono::milliseconds WriteInterval{200};

  // Creates or empties the file and starts the writer. When the file cannot be
  // opened, nothing runs, Running() is false and Failure() says why.
  explicit TrafficRecorder(QString path, WriteFunction write = nullptr);
  // Stops the recording.
  ~TrafficRecorder();
  TrafficRecorder(const TrafficRecorder&) = delete;
  TrafficRecorder& operator=(const TrafficRecorder&) = delete;

  // Adds one line (without its line end); dropped once the recording ended.
  void Append(QStringView line);
  // Ends the recording: writes what is buffered, puts the file on the disk,
  // closes it and joins the writer. Running() is false afterwards.
  void Stop();

  const QString& Path() const { return FPath; }
  // Lines are being accepted: neither stopped nor ended by a failure.
  bool Running() const;
  // Bytes in the file so far (handed to the system, whole lines).
  qint64 BytesWritten() const { return FWritten.load(std::memory_order_relaxed); }
  // Why the recording ended by itself ("disque plein", …); empty otherwise.
  QString Failure() const;

 private:
  void WriterLoop();
  // Writer thread: writes the chunk at the end of the file; on failure cuts
  // the file back to its last whole line and returns the reason.
  QString WriteOut(const QByteArray& chunk);

  const QString FPath;
  const WriteFunction FWrite;
  int FFd = -1;  // the file; the writer thread's from its start, closed by it
  std::atomic<qint64> FWritten{0};

  mutable std::mutex FMutex;
  std::condition_variable FWake;
  QByteArray FBuffer;  // lines not yet taken by the writer
  bool FAccepting = false;
  bool FStopping = false;
  QString FFailure;

  std::thread FWriter;
};
