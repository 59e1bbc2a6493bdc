#include "LinkTestCommand.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTimer>

#include <algorithm>
#include <exception>
#include <memory>

#include "CircBuf.h"
#include "CsvExport.h"
#include "LinkTestDevices.h"
#include "LinkTestReport.h"
#include "LinkTestRun.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MidiServices.h"
#include "TerminationSignals.h"
#include "WholeFile.h"

namespace {

// A route just connected may drop its first messages (a JACK graph that has
// just changed; PipeWire makes a new link work some cycles after it shows):
// a timing clock goes out until one comes back, or this long has passed.
constexpr int kRouteWarmUpMs = 2000;
constexpr int kRouteProbeMs = 20;
constexpr int kProgressIntervalMs = 250;

QString ErrorLine(const QString& text) {
  return QStringLiteral("orvalis-linktest: ") + text + (text.endsWith(QLatin1Char('\n')) ? QString() : QStringLiteral("\n"));
}

// Runs the event loop for that long.
void Pump(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// The services' devices-changed listener for the length of a run.
class DevicesChangedListener {
 public:
  explicit DevicesChangedListener(std::function<void()> listener) {
    CurrentMidiServices().SetDevicesChangedListener(std::move(listener));
  }
  ~DevicesChangedListener() { CurrentMidiServices().SetDevicesChangedListener({}); }
  DevicesChangedListener(const DevicesChangedListener&) = delete;
  DevicesChangedListener& operator=(const DevicesChangedListener&) = delete;
};

// The output and the input of the route, open (the input started); the input
// is stopped and both are closed when it goes.
class OpenRoute {
 public:
  // The reason it could not be opened; empty when it is.
  QString Open(const QString& outputName, const QString& inputName) {
    try {
      out.SetProductName(outputName.toStdString());
    } catch (const std::exception& error) {
      return QStringLiteral("cannot open the output \"%1\": %2").arg(outputName, QString::fromUtf8(error.what()));
    }
    if (!out.Open()) {
      return QStringLiteral("cannot open the output \"%1\": %2")
          .arg(outputName, QString::fromStdString(MidiOutErrorText(out.Error())));
    }
    try {
      // As deep as one ring block allows, with SysEx buffers as the main window's.
      in.SetCapacity(kMaxCircularBufferCapacity);
      in.SetSysexBufferCount(16);
      in.SetSysexBufferSize(63999);
      in.SetFilteredMessages({msgActiveSensing});
      in.SetProductName(inputName.toStdString());
      in.OpenAndStart();
    } catch (const std::exception& error) {
      return QStringLiteral("cannot open the input \"%1\": %2").arg(inputName, QString::fromUtf8(error.what()));
    }
    return QString();
  }

  ~OpenRoute() {
    in.SetOnMidiInput(nullptr);
    in.SetOnOverflow(nullptr);
    try {
      if (in.State() == misOpen) in.StopAndClose();
    } catch (...) {
      // Going anyway: the process ends.
    }
    try {
      out.Close();
    } catch (...) {
    }
  }

  TMidiOutput out;
  TMidiInput in;
};

QString ProgressLine(const LinkTestRun& run) {
  const LinkTestRun::Counts c = run.GetCounts();
  return QStringLiteral("\r%1/%2 sent, %3 received, %4 lost ")
      .arg(c.Sent)
      .arg(run.Settings().Count)
      .arg(c.Received)
      .arg(c.Lost);
}

// A timing clock (F8) is a real-time byte: the test leaves it out of its
// answers, and one that comes back late changes nothing; without a Start, it
// moves no sequencer. (Active Sensing would not do: the input filters it.)
void WaitUntilTheRouteAnswers(OpenRoute& route) {
  bool answered = false;
  route.in.SetOnMidiInput([&](QObject*) {
    while (std::unique_ptr<TMyMidiEvent> event = route.in.GetMidiEvent()) {
      if (event->MidiMessage == 0xF8) answered = true;
    }
  });
  QElapsedTimer waited;
  waited.start();
  while (!answered && waited.elapsed() < kRouteWarmUpMs) {
    try {
      route.out.PutShort(0xF8, 0, 0);
    } catch (const std::exception&) {
      break;  // the run will say why
    }
    Pump(kRouteProbeMs);
  }
  route.in.SetOnMidiInput({});
}

}  // namespace

int ListLinkTestDevices(const LinkTestOptions& options, const LinkTestConsole& console) {
  const QStringList outputs = LinkTestDeviceNames(LinkTestPort::Output);
  const QStringList inputs = LinkTestDeviceNames(LinkTestPort::Input);
  console.Out(options.Json ? LinkTestDeviceListJson(outputs, inputs) : LinkTestDeviceListText(outputs, inputs));
  return LinkTestPassed;
}

int RunLinkTest(const LinkTestOptions& options, const LinkTestConsole& console) {
  // Exact names only: a script must never test another device than it named.
  for (const LinkTestPort port : {LinkTestPort::Output, LinkTestPort::Input}) {
    const QString& name = port == LinkTestPort::Output ? options.Output : options.Input;
    const QStringList names = LinkTestDeviceNames(port);
    if (!names.contains(name)) {
      console.Err(ErrorLine(UnknownDeviceText(port, name, names)));
      return LinkTestError;
    }
  }
  OpenRoute route;
  if (const QString error = route.Open(options.Output, options.Input); !error.isEmpty()) {
    console.Err(ErrorLine(error));
    return LinkTestError;
  }
  WaitUntilTheRouteAnswers(route);

  QString error;  // why the run could not be completed
  uint64_t sends = 0;
  const auto send = [&](std::span<const uint8_t> bytes) {
    try {
      if (bytes[0] == 0xF0) {
        route.out.PutLong(bytes.data(), static_cast<uint16_t>(bytes.size()));
      } else {
        route.out.PutShort(bytes[0], bytes.size() > 1 ? bytes[1] : 0, bytes.size() > 2 ? bytes[2] : 0);
      }
    } catch (const std::exception& refusal) {
      if (error.isEmpty()) {
        error = QStringLiteral("the output refused message %1: %2").arg(sends + 1).arg(QString::fromUtf8(refusal.what()));
      }
      throw;
    }
    ++sends;
  };
  LinkTestRun run(options.Settings, send);
  const uint64_t seed = options.Seed ? *options.Seed : QRandomGenerator::global()->generate64();
  run.SetRandomSeed(seed);
  run.SetSendTime([&route]() -> std::optional<uint64_t> {
    uint64_t left = 0;
    if (midiOutGetSendTime(route.out.MIDIHandle(), &left) != MMSYSERR_NOERROR) return std::nullopt;
    return left;
  });

  QEventLoop loop;
  QTimer tick;
  tick.setSingleShot(true);
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
    const std::optional<uint64_t> next = run.Tick();
    if (!run.Running()) {
      loop.quit();
    } else if (next) {
      tick.start(static_cast<int>(std::min<uint64_t>((*next + 999) / 1000, 60000)));
    }
  });
  const auto fail = [&](const QString& reason) {
    if (!run.Running()) return;
    if (error.isEmpty()) error = reason;
    run.Fail(reason);
    loop.quit();
  };
  route.in.SetOnMidiInput([&](QObject*) {
    while (std::unique_ptr<TMyMidiEvent> event = route.in.GetMidiEvent()) {
      if (run.Running()) run.Receive(*event);
    }
    // An answer may let the next message go (one at a time) or end the run.
    if (run.Running() && (run.Settings().OneInFlight || run.Records().size() == static_cast<size_t>(run.Settings().Count))) {
      tick.start(0);
    }
  });
  uint64_t overflows = 0;
  route.in.SetOnOverflow([&](QObject*) { ++overflows; });
  const DevicesChangedListener devices([&] {
    if (route.out.DeviceGone()) fail(QStringLiteral("the output \"%1\" went away during the test").arg(options.Output));
    if (route.in.DeviceGone()) fail(QStringLiteral("the input \"%1\" went away during the test").arg(options.Input));
  });
  // Ctrl+C, SIGTERM, SIGHUP: the run stops (a Note On that went out gets its
  // Note Off) and the figures of what came back so far are printed.
  TTerminationSignals interruption([&] {
    if (!run.Running()) return;
    if (error.isEmpty()) error = QStringLiteral("interrupted: the figures are those of the answers so far");
    run.Stop();
    loop.quit();
  });
  interruption.Enable();
  QTimer progressTimer;
  if (console.Progress) {
    progressTimer.setInterval(kProgressIntervalMs);
    QObject::connect(&progressTimer, &QTimer::timeout, &loop, [&] { console.Err(ProgressLine(run)); });
    progressTimer.start();
  }

  run.Start();
  if (run.Running()) {
    tick.start(0);
    loop.exec();
  }
  tick.stop();
  progressTimer.stop();
  if (console.Progress) console.Err(QStringLiteral("\r\x1b[K"));
  if (run.CurrentState() == LinkTestRun::State::Failed && error.isEmpty()) error = run.FailureText();

  const LinkTestOutcome outcome{run, LinkTestRoute{options.Output, options.Input}, seed, error};
  int status = LinkTestExitStatus(outcome);
  if (options.Json) {
    console.Out(QString::fromUtf8(QJsonDocument(LinkTestReportJson(outcome)).toJson(QJsonDocument::Indented)));
  } else {
    console.Out(LinkTestReportText(outcome));
  }
  if (!error.isEmpty()) console.Err(ErrorLine(error));
  if (overflows > 0) {
    console.Err(ErrorLine(QStringLiteral("warning: this program's input queue overflowed %1 times; those messages were lost here, "
                              "not on the route")
                   .arg(overflows)));
  }
  if (!options.CsvPath.isEmpty()) {
    if (!WriteWholeFile(options.CsvPath, LinkTestCsv(run, outcome.Route)).isEmpty()) {
      console.Err(ErrorLine(QStringLiteral("cannot write the CSV file \"%1\"").arg(options.CsvPath)));
      status = LinkTestError;
    }
  }
  return status;
}
