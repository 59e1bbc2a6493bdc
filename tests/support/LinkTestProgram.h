#pragma once
// Runs the built orvalis-linktest as a script would, and keeps what it
// printed and its exit status. The program's path comes from the test
// target's ORVALIS_LINKTEST_PROGRAM definition. Threads: the test's thread;
// the process is waited for (and killed by its own QProcess if it overruns).
//
//   const LinkTestProgram::Result r = LinkTestProgram::Run({"--list"});
//   EXPECT_EQ(r.status, 0);

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <signal.h>

#include <string>

namespace LinkTestProgram {

struct Result {
  bool finished = false;  // ended by itself within the time given
  int status = -1;
  QString out;
  QString err;

  const QJsonObject Json() const { return QJsonDocument::fromJson(out.toUtf8()).object(); }
  // For failure messages.
  std::string Describe() const {
    return "status " + std::to_string(status) + "\n--- stdout\n" + out.toStdString() + "--- stderr\n" + err.toStdString();
  }
};

inline QString Path() { return QStringLiteral(ORVALIS_LINKTEST_PROGRAM); }

// Without a display: the program must not need one. With `signalAfterMs`,
// the process gets `signal` that long after it started.
inline Result Run(const QStringList& arguments, int timeoutMs = 120000, int signalAfterMs = -1, int signal = 0) {
  QProcess process;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.remove(QStringLiteral("DISPLAY"));
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  environment.remove(QStringLiteral("QT_QPA_PLATFORM"));
  process.setProcessEnvironment(environment);
  process.start(Path(), arguments);
  Result result;
  if (!process.waitForStarted(10000)) return result;
  if (signalAfterMs >= 0 && !process.waitForFinished(signalAfterMs)) ::kill(static_cast<pid_t>(process.processId()), signal);
  result.finished = process.waitForFinished(timeoutMs) && process.exitStatus() == QProcess::NormalExit;
  if (!result.finished) {
    process.kill();
    process.waitForFinished(10000);
  }
  result.status = result.finished ? process.exitCode() : -1;
  result.out = QString::fromUtf8(process.readAllStandardOutput());
  result.err = QString::fromUtf8(process.readAllStandardError());
  return result;
}

}  // namespace LinkTestProgram
