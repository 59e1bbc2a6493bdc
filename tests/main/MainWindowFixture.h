#pragma once
// The main window built as the program builds it, on the scriptable MIDI back
// end, with waits that take no real time and a preferences file of its own.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QThread>

#include <functional>
#include <ostream>
#include <memory>
#include <string>
#include <vector>

#include "JackTestTurn.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "TestMidiServices.h"
#include "backends/SystemMidiServices.h"
#include "LogView.h"
#include "frmMain.h"
#include "frmSendBulk.h"
#include "uComm.h"
#include "uUserPrefs.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

// Runs the waits at the test's pace: each blocking step processes what is
// pending and then lets its whole time pass at once.
class TFastDelayClock : public TDelayClock {
 public:
  explicit TFastDelayClock(uint32_t start = 0) : Now(start) {}
  uint32_t TickCount() override { return Now; }
  void WaitForEvents(uint32_t maxMs, bool pump) override {
    if (pump) QCoreApplication::processEvents();
    if (OnWait) OnWait();
    Now += maxMs;
    ++Waits;
  }

  uint32_t Now;
  int Waits = 0;
  std::function<void()> OnWait;
};

struct TDevices {
  std::vector<std::string> inputs{"Keyboard"};
  std::vector<std::string> outputs{"Synth A"};
};

class MainWindowFixture : public ::testing::Test {
 protected:
  // Chooses a device by its listed name in one of the window's lists.
  static bool Choose(QComboBox* list, const QString& name) {
    const int index = list->findText(name);
    if (index < 0) return false;
    list->setCurrentIndex(index);
    return list->currentText() == name;
  }

  // Runs the event loop until `done` holds; false after `ms`.
  static bool PumpUntil(const std::function<bool()>& done, int ms = 10000) {
    QElapsedTimer watch;
    watch.start();
    while (!done() && watch.elapsed() < ms) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
  }

  static void PumpFor(int ms) { PumpUntil([] { return false; }, ms); }

  // Installs the devices, lets `script` prepare the back end, then runs the
  // program's start-up: ports, main window (creation sequence), bulk window.
  void Start(const TDevices& devices = {},
             const std::function<void(TestMidiServices&)>& script = nullptr) {
    auto owned = std::make_unique<TestMidiServices>();
    midi = owned.get();
    for (const auto& name : devices.inputs) midi->AddInputDevice(name);
    for (const auto& name : devices.outputs) midi->AddOutputDevice(name);
    if (script) script(*midi);
    Boot(std::move(owned));
  }

  // The same start-up on the given back end (the system's, for end-to-end tests).
  // The program's own back ends, with the default JACK server to this test
  // until TearDown (JackTestTurn.h).
  void BootSystem() {
    jackTurn = JackTestTurn();
    Boot(CreateSystemMidiServices());
  }

  void Boot(std::unique_ptr<MidiServices> backEnd) {
    services = std::make_unique<ScopedMidiServices>(std::move(backEnd));
    if (!realWaits) clockScope = std::make_unique<TScopedDelayClock>(clock);

    AbortDelay = false;
    MidiInCount = 0;
    MidiOutCount = 0;
    LoopTestRunning = false;
    LoopRxStatus = LoopRxData1 = LoopRxData2 = 0;
    UserPrefs = TUserPrefs{};
    LogMaxEvents = 0;
    ASSERT_TRUE(prefsDir.isValid());

    MidiPorts_Start();
    window = std::make_unique<TfmMain>([this] { return prefsDir.filePath("orvalis.ini"); });
    fmMain = window.get();
    window->FormCreate(window.get());
    bulk = std::make_unique<TfmSendBulk>();
    fmSendBulk = bulk.get();
    bulk->FormCreate(bulk.get());
  }

  void TearDown() override {
    MidiPorts_End();
    bulk.reset();
    window.reset();
    clockScope.reset();
    services.reset();
    jackTurn.reset();
    AbortDelay = false;
  }

  // Lets the ports see the notices of the back end and the window its events.
  // After a batch of input (a flood), the input port hands the next messages
  // over only at the end of its batch interval (TMidiInput::BatchMs): those
  // still waiting are taken then.
  static void Pump() {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    if (!MidiInPort) return;
    QElapsedTimer watch;
    watch.start();
    while (MidiInPort->MessageCount() > 0 && watch.elapsed() < 3 * MidiInPort->BatchMs() + 50) {
      QThread::msleep(1);
      QCoreApplication::processEvents();
    }
  }

  // Delivers short messages (status + 256 * data1 + 65536 * data2) and pumps.
  void Receive(std::initializer_list<uint32_t> packed) {
    for (uint32_t message : packed) ASSERT_TRUE(midi->DeliverShort(message));
    Pump();
  }

  QStringList LogLines() const {
    const TLogModel& log = *window->MemoLog->Model();
    QStringList lines;
    for (int i = 0; i < log.LineCount(); ++i) lines << log.Line(i);
    return lines;
  }

  // Pumps events until the log holds `count` lines or `timeoutMs` pass.
  bool WaitForLogLines(int count, int timeoutMs = 10000) {
    QElapsedTimer watch;
    watch.start();
    while (LogLines().size() < count && watch.elapsed() < timeoutMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return LogLines().size() >= count;
  }

  TestMidiServices* midi = nullptr;  // owned by `services` (when Start made it)
  std::shared_ptr<const void> jackTurn;
  std::unique_ptr<ScopedMidiServices> services;
  TFastDelayClock clock;
  bool realWaits = false;  // true: the waits take real time (real devices settle)
  std::unique_ptr<TScopedDelayClock> clockScope;
  QTemporaryDir prefsDir;
  std::unique_ptr<TfmMain> window;
  std::unique_ptr<TfmSendBulk> bulk;
};
