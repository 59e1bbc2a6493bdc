// How the receive monitor keeps up with real traffic, logging into the real
// main window (offscreen, log limit 400), and what a wait costs:
//  1. a burst of 100 000 short messages sent through the built-in loopback as
//     fast as its output takes them, while the window drains its input (what
//     overflows the input queue is lost); then the same number fed only as
//     fast as the monitor takes them, for the drain rate;
//  2. 10 000 messages per second for 5 s into the input from a JACK client,
//     when a JACK server runs;
//  3. one 1-second Delay_MsUntilAbort on the real clock: CPU time of the
//     waiting thread over wall time, and how late it returned.
// The figures are printed last, one per line, as "name: value".

#if !__has_include("frmMain.h")
// Configured without the windows (ORVALIS_BUILD_GUI=OFF): nothing to measure.
#include <cstdio>
int main() {
  std::puts("monitor_flood needs the windows; configure with ORVALIS_BUILD_GUI=ON");
  return 0;
}
#else

#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MidiIn.h"
#include "MidiOut.h"
#include "backends/SystemMidiServices.h"
#include "frmMain.h"
#include "rmLed.h"
#include "uComm.h"
#include "uUserPrefs.h"

#if __has_include("JackTestClient.h")
#include "JackTestClient.h"
#define ORVALIS_BENCH_JACK 1
#endif

namespace {

constexpr int kBurstCount = 100000;
constexpr int kBurstChunk = 256;
constexpr int kInFlight = 768;
constexpr int kPacedRate = 10000;
constexpr int kPacedSeconds = 5;
constexpr int kSettleMs = 500;

// Chooses a device as the user does, reopening the port even when the name is
// the list's current entry already.
bool Choose(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  if (index < 0) return false;
  {
    const QSignalBlocker blocker(list);
    list->setCurrentIndex(index);
  }
  if (list == fmMain->cbMIDIIn) {
    fmMain->cbMIDIInChange(list);
  } else {
    fmMain->cbMIDIOutChange(list);
  }
  return true;
}

// Blocks in the event loop until the next event; a ticking timer makes sure
// that one comes within a millisecond or two.
void PumpOnce() {
  static QTimer* ticker = [] {
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setTimerType(Qt::PreciseTimer);
    timer->start(1);
    return timer;
  }();
  ticker->start(1);
  QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  ticker->stop();
}

// Processes events until the input count has not moved for kSettleMs; returns
// the time (on `watch`) of the last change.
qint64 SettleInput(const QElapsedTimer& watch) {
  int32_t last = MidiInCount;
  qint64 lastChange = watch.elapsed();
  while (watch.elapsed() - lastChange < kSettleMs) {
    PumpOnce();
    if (MidiInCount != last) {
      last = MidiInCount;
      lastChange = watch.elapsed();
    }
  }
  return lastChange;
}

double ThreadCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec * 1e3 + usage.ru_utime.tv_usec / 1e3 + usage.ru_stime.tv_sec * 1e3 +
         usage.ru_stime.tv_usec / 1e3;
}

struct Figures {
  double drainedPerSecond = 0;
  int lostBurst = -1;
  std::string lostAt10k = "n/a";
  double waitCpuPercent = 0;
  double waitLateMs = 0;
};

// The burst as fast as the loopback's output takes it: the messages are sent
// in chunks with one pass over the pending events between two chunks, so the
// monitor drains while the burst goes on. Whatever overflows the input queue
// (4095 messages) is lost.
void Burst(Figures& figures) {
  MidiInCount = 0;
  fmMain->LedMidiErr->SetLedOn(false);
  QElapsedTimer watch;
  watch.start();
  for (int sent = 0; sent < kBurstCount;) {
    for (int i = 0; i < kBurstChunk && sent < kBurstCount; ++i, ++sent) {
      MidiOutPort->PutShort(0x90, static_cast<uint8_t>(sent & 0x7F), 0x40);
    }
    QCoreApplication::processEvents();
  }
  const qint64 lastMs = SettleInput(watch);
  figures.lostBurst = kBurstCount - MidiInCount;
  std::printf("burst: %d sent, %d drained in %lld ms, error LED %s\n", kBurstCount, MidiInCount,
              static_cast<long long>(lastMs), fmMain->LedMidiErr->LedOn() ? "on" : "off");
}

// The drain rate: the same number of messages, keeping at most kInFlight of
// them between the loopback's output and the monitor (below the queue's 4095),
// so that the output is fed as fast as the monitor takes the messages.
void Drain(Figures& figures) {
  MidiInCount = 0;
  QElapsedTimer watch;
  watch.start();
  for (int sent = 0; sent < kBurstCount;) {
    const int room = kInFlight - (sent - MidiInCount);
    for (int i = 0; i < room && sent < kBurstCount; ++i, ++sent) {
      MidiOutPort->PutShort(0x90, static_cast<uint8_t>(sent & 0x7F), 0x40);
    }
    PumpOnce();
  }
  const qint64 lastMs = SettleInput(watch);
  figures.drainedPerSecond = lastMs > 0 ? MidiInCount * 1000.0 / static_cast<double>(lastMs) : 0;
  std::printf("drain: %d sent, %d drained in %lld ms\n", kBurstCount, MidiInCount,
              static_cast<long long>(lastMs));
}

#ifdef ORVALIS_BENCH_JACK
void PacedThroughJack(Figures& figures) {
  auto source = JackTestClient::Open("OrvalisBenchSource");
  if (!source) {
    std::printf("paced: skipped, %s\n", JackTestClient::kNoServer);
    return;
  }
  // The device lists are read when enumerating: list the new client's ports.
  MidiIn_Close();
  MidiOut_Close();
  MidiPorts_Enumerate();
  const QString input = QString::fromStdString(source->ClientName()) + ":out (JACK)";
  if (!Choose(fmMain->cbMIDIIn, input)) {
    std::printf("paced: skipped, %s is not listed\n", input.toUtf8().constData());
    return;
  }
  std::printf("paced: input %s, %s\n", input.toUtf8().constData(),
              MidiInPort->State() == misOpen ? "open" : "closed");
  MidiInCount = 0;
  std::atomic<bool> done{false};
  const int total = kPacedRate * kPacedSeconds;
  // Ten messages every millisecond, on absolute deadlines.
  std::thread pacer([&] {
    auto next = std::chrono::steady_clock::now();
    for (int sent = 0; sent < total;) {
      for (int i = 0; i < kPacedRate / 1000 && sent < total; ++i, ++sent) {
        source->Send({0x90, static_cast<uint8_t>(sent & 0x7F), 0x40});
      }
      next += std::chrono::milliseconds(1);
      std::this_thread::sleep_until(next);
    }
    done = true;
  });
  QElapsedTimer watch;
  watch.start();
  while (!done) PumpOnce();
  pacer.join();
  SettleInput(watch);
  figures.lostAt10k = std::to_string(total - MidiInCount);
  std::printf("paced: %d sent at %d/s, %d drained\n", total, kPacedRate, MidiInCount);
}
#endif

void Wait(Figures& figures) {
  AbortDelay = false;
  QElapsedTimer watch;
  const double cpuBefore = ThreadCpuMs();
  watch.start();
  Delay_MsUntilAbort(1000);
  const double wallMs = static_cast<double>(watch.nsecsElapsed()) / 1e6;
  const double cpuMs = ThreadCpuMs() - cpuBefore;
  figures.waitCpuPercent = 100.0 * cpuMs / wallMs;
  figures.waitLateMs = wallMs - 1000.0;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QTemporaryDir prefsDir;
  InstallMidiServices(CreateSystemMidiServices());
  Figures figures;
  {
    TMidiPortsSession ports;
    TfmMain window([&] { return prefsDir.filePath("orvalis.ini"); });
    fmMain = &window;
    window.FormCreate(&window);
    window.seLogMaxEvents->setValue(400);
    if (!Choose(window.cbMIDIIn, "Orvalis Loopback") || !Choose(window.cbMIDIOut, "Orvalis Loopback") ||
        MidiInPort->State() != misOpen || MidiOutPort->State() != mosOpen) {
      std::fprintf(stderr, "The built-in loopback could not be opened.\n");
      return 1;
    }
    Burst(figures);
    Drain(figures);
#ifdef ORVALIS_BENCH_JACK
    PacedThroughJack(figures);
#else
    std::printf("paced: skipped, built without the JACK test client\n");
#endif
    Wait(figures);
  }
  std::printf("drained_per_second: %.0f\n", figures.drainedPerSecond);
  std::printf("lost_burst: %d\n", figures.lostBurst);
  std::printf("lost_at_10k: %s\n", figures.lostAt10k.c_str());
  std::printf("wait_cpu_percent: %.2f\n", figures.waitCpuPercent);
  std::printf("wait_late_ms: %.2f\n", figures.waitLateMs);
  return 0;
}

#endif
