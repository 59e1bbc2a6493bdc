// A long session: the real main window (offscreen) sends mixed traffic at a
// steady rate (1 000 messages a second by default) through the send routine
// to a JACK client that echoes every message back to the window's input, so
// that as much comes in as goes out; a system-exclusive message now and then,
// the log at its largest line limit, a traffic recording running all along.
// It watches what a long run does to the process: resident memory, CPU time
// and messages lost.
//
//   bash scripts/with-jack.sh out/build/bench/soak [--seconds N] [--rate N]
//
// --seconds: the length of the run (3600 by default); the first five minutes
// (or the first fifth of a shorter run) warm up and are not measured.
// Prints its progress every minute, then, last, one figure per line:
//
//   rss_growth_mb_per_hour: <resident memory's growth after the warm-up, per hour>
//   lost: <messages sent and never received back, or lost to an overflow>
//   cpu_us_per_msg: <CPU time of the whole process per message sent or received>
//
// The process holds the echoing client too: its CPU time is counted. The recording goes to a temporary
// folder beside the working folder (out/ when run from the repository).

#if !__has_include("frmMain.h") || !defined(ORVALIS_BENCH_WITH_JACK)
#include <cstdio>
int main() {
  std::puts("soak needs the windows and JACK; configure with ORVALIS_BUILD_GUI=ON "
            "and ORVALIS_WITH_JACK=ON");
  return 0;
}
#else

#include <jack/jack.h>
#include <jack/midiport.h>
#include <sys/resource.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "FileCommands.h"
#include "LogModel.h"
#include "LogView.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MidiServices.h"
#include "TrafficRecorder.h"
#include "backends/SystemMidiServices.h"
#include "frmMain.h"
#include "rmLed.h"
#include "uComm.h"

namespace {

constexpr int kTickMs = 10;
constexpr int kSysexEverySeconds = 2;
constexpr size_t kSysexBytes = 256;

double ResidentMb() {
  QFile status(QStringLiteral("/proc/self/status"));
  if (!status.open(QIODevice::ReadOnly)) return -1;
  for (const QByteArray& line : status.readAll().split('\n')) {
    if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toDouble() / 1024.0;
  }
  return -1;
}

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// A JACK client that sends back on "out", in the same period and at the same
// frame, every message that arrives on "in". Made here rather than with the
// tests' client, which takes the tests' turn on JACK for as long as it lives.
class Echo {
 public:
  bool Open() {
    client_ = jack_client_open("OrvalisSoakEcho", JackNoStartServer, nullptr);
    if (client_ == nullptr) return false;
    in_ = jack_port_register(client_, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    out_ = jack_port_register(client_, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
    if (in_ == nullptr || out_ == nullptr) return false;
    jack_set_process_callback(client_, &Echo::Process, this);
    jack_set_xrun_callback(client_, &Echo::Xrun, this);
    return jack_activate(client_) == 0;
  }
  ~Echo() {
    if (client_ != nullptr) jack_client_close(client_);
  }
  std::string Name() const { return jack_get_client_name(client_); }
  uint64_t Xruns() const { return xruns_.load(); }
  uint64_t Dropped() const { return dropped_.load(); }

 private:
  static int Process(jack_nframes_t frames, void* self) {
    auto& echo = *static_cast<Echo*>(self);
    void* in = jack_port_get_buffer(echo.in_, frames);
    void* out = jack_port_get_buffer(echo.out_, frames);
    jack_midi_clear_buffer(out);
    const uint32_t count = jack_midi_get_event_count(in);
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, in, i) != 0) continue;
      if (jack_midi_event_write(out, event.time, event.buffer, event.size) != 0) echo.dropped_.fetch_add(1);
    }
    return 0;
  }
  static int Xrun(void* self) {
    static_cast<Echo*>(self)->xruns_.fetch_add(1);
    return 0;
  }

  jack_client_t* client_ = nullptr;
  jack_port_t* in_ = nullptr;
  jack_port_t* out_ = nullptr;
  std::atomic<uint64_t> xruns_{0};
  std::atomic<uint64_t> dropped_{0};
};

bool Choose(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  return true;
}

// The n-th message of the mix: notes on and off, control changes, program
// changes, pitch bends, channel pressure, and now and then a clock.
std::vector<uint8_t> Mixed(uint64_t n) {
  const auto channel = static_cast<uint8_t>(n % 16);
  const auto a = static_cast<uint8_t>(n % 128);
  const auto b = static_cast<uint8_t>((n / 128) % 128);
  switch (n % 8) {
    case 0: return {static_cast<uint8_t>(0x90 | channel), a, static_cast<uint8_t>(b | 1)};
    case 1: return {static_cast<uint8_t>(0x80 | channel), a, 0x40};
    case 2:
    case 3: return {static_cast<uint8_t>(0xB0 | channel), static_cast<uint8_t>(20 + n % 12), b};
    case 4: return {static_cast<uint8_t>(0xC0 | channel), a};
    case 5: return {static_cast<uint8_t>(0xE0 | channel), a, b};
    case 6: return {static_cast<uint8_t>(0xD0 | channel), a};
    default: return {0xF8};
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  long seconds = 3600;
  long rate = 1000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--seconds") seconds = std::strtol(argv[i + 1], nullptr, 10);
    if (std::string(argv[i]) == "--rate") rate = std::strtol(argv[i + 1], nullptr, 10);
  }
  if (seconds < 10 || rate < 100) {
    std::fprintf(stderr, "usage: soak [--seconds N (10 or more)] [--rate N (100 or more)]\n");
    return 2;
  }
  const long warmUp = std::min<long>(300, seconds / 5);

  Echo echo;
  if (!echo.Open()) {
    std::fprintf(stderr, "soak needs a running JACK server (scripts/with-jack.sh)\n");
    return 1;
  }

  QTemporaryDir work(QDir::current().filePath(QStringLiteral("soak-XXXXXX")));
  InstallMidiServices(CreateSystemMidiServices());
  TMidiPortsSession ports;
  TfmMain window([&work] { return work.filePath(QStringLiteral("orvalis.ini")); });
  fmMain = &window;
  window.FormCreate(&window);
  const QString client = QString::fromStdString(echo.Name());
  if (!Choose(window.cbMIDIOut, client + QStringLiteral(":in (JACK)")) ||
      !Choose(window.cbMIDIIn, client + QStringLiteral(":out (JACK)")) || !MidiInPort || !MidiOutPort ||
      MidiInPort->State() != misOpen || MidiOutPort->State() != mosOpen) {
    std::fprintf(stderr, "the echoing client's ports did not open\n");
    return 1;
  }
  window.seLogMaxEvents->setValue(window.seLogMaxEvents->maximum());
  const QString recording = work.filePath(QStringLiteral("trafic.txt"));
  if (const QString error = window.Files->RecordTrafficTo(recording); !error.isEmpty()) {
    std::fprintf(stderr, "%s\n", qPrintable(error));
    return 1;
  }
  // A graph that has just changed may drop a period: a round trip first.
  QElapsedTimer watch;
  watch.start();
  while (MidiInCount == 0 && watch.elapsed() < 10000) {
    MidiOutPort->PutShort(0xFC, 0, 0);
    Delay_Ms(250, true);
  }
  MidiInCount = 0;
  MidiOutCount = 0;
  window.LedMidiErr->SetLedOn(false);
  uint64_t lostToOverflow = 0;
  MidiInPort->SetOnOverflow([&](QObject* sender) {
    ++lostToOverflow;
    window.MidiInOverflow(sender);
  });

  std::vector<uint8_t> sysex(kSysexBytes);
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  uint64_t sent = 0;
  uint64_t sysexSent = 0;
  const long perTick = rate * kTickMs / 1000;
  QElapsedTimer clock;
  clock.start();
  double rssAtWarmUp = -1;
  double cpuAtWarmUp = 0;
  int64_t inAtWarmUp = 0;
  int64_t outAtWarmUp = 0;
  int64_t warmUpEndMs = 0;
  QTimer ticks;
  ticks.setTimerType(Qt::PreciseTimer);
  ticks.setInterval(kTickMs);
  QObject::connect(&ticks, &QTimer::timeout, [&] {
    // As many as the time since the start calls for: a late tick catches up.
    const auto due = static_cast<uint64_t>(clock.elapsed() / kTickMs * perTick);
    while (sent < due) {
      if (sent % static_cast<uint64_t>(rate * kSysexEverySeconds) == 0) {
        for (size_t i = 1; i + 1 < sysex.size(); ++i) sysex[i] = static_cast<uint8_t>((sysexSent + i) % 128);
        MidiOut_SendBytes(sysex, sysex.size(), true);
        ++sysexSent;
      } else {
        const std::vector<uint8_t> message = Mixed(sent);
        MidiOut_SendBytes(message, message.size(), true);
      }
      ++sent;
    }
  });
  QEventLoop run;
  QTimer minute;
  minute.setInterval(1000);
  int secondsGone = 0;
  QObject::connect(&minute, &QTimer::timeout, [&] {
    ++secondsGone;
    if (secondsGone == warmUp) {
      rssAtWarmUp = ResidentMb();
      cpuAtWarmUp = CpuSeconds();
      inAtWarmUp = MidiInCount;
      outAtWarmUp = MidiOutCount;
      warmUpEndMs = clock.elapsed();
    }
    if (secondsGone % 60 == 0) {
      const TrafficRecorder* recorder = window.Files->Recorder();
      std::printf("%4d min: sent %lld, received %lld, rss %.1f MB, log %d lines, recording %s\n", secondsGone / 60,
                  static_cast<long long>(MidiOutCount), static_cast<long long>(MidiInCount), ResidentMb(),
                  window.MemoLog->Model()->LineCount(), recorder && recorder->Running() ? "on" : "STOPPED");
      std::fflush(stdout);
    }
    if (secondsGone >= seconds) {
      ticks.stop();
      run.quit();  // not the application's quit, which would close the window
    }
  });
  ticks.start();
  minute.start();
  run.exec();
  minute.stop();

  // What is still under way comes back.
  watch.restart();
  while (MidiInCount < MidiOutCount && watch.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  const double hours = static_cast<double>(clock.elapsed() - warmUpEndMs) / 3.6e6;
  const double rssGrowth = (ResidentMb() - rssAtWarmUp) / hours;
  const double cpu = CpuSeconds() - cpuAtWarmUp;
  const auto messages = static_cast<double>((MidiInCount - inAtWarmUp) + (MidiOutCount - outAtWarmUp));
  const int64_t notBack = std::max<int64_t>(0, MidiOutCount - MidiInCount);
  const bool recordingRan = window.Files->Recorder() && window.Files->Recorder()->Running();
  window.Files->StopTrafficRecording();

  std::printf("seconds: %ld\n", seconds);
  std::printf("warm_up_seconds: %ld\n", warmUp);
  std::printf("sent: %lld\n", static_cast<long long>(MidiOutCount));
  std::printf("received: %lld\n", static_cast<long long>(MidiInCount));
  std::printf("sysex_sent: %llu\n", static_cast<unsigned long long>(sysexSent));
  std::printf("recording_ran_to_the_end: %s\n", recordingRan ? "yes" : "no");
  std::printf("error_led: %s\n", window.LedMidiErr->LedOn() ? "on" : "off");
  std::printf("xruns: %llu\n", static_cast<unsigned long long>(echo.Xruns()));
  std::printf("echo_dropped: %llu\n", static_cast<unsigned long long>(echo.Dropped()));
  std::printf("rss_mb_at_warm_up: %.1f\n", rssAtWarmUp);
  std::printf("rss_growth_mb_per_hour: %.2f\n", rssGrowth);
  std::printf("lost: %lld\n", static_cast<long long>(std::max<uint64_t>(static_cast<uint64_t>(notBack), lostToOverflow)));
  std::printf("cpu_us_per_msg: %.2f\n", messages > 0 ? cpu * 1e6 / messages : -1.0);
  window.close();
  fmMain = nullptr;
  return 0;
}

#endif
