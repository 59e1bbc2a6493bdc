// A flood through a real ALSA device, for the VM of scripts/with-alsa-vm.sh:
// 10 000 short messages per second for 5 s, written by a child process to the
// raw MIDI device /dev/snd/midiC0D0 and read from "Virtual Raw MIDI 0-0"
//  1. by the program's input port alone (the ALSA back end, the input queue
//     and a drain that only counts): what is lost, and the CPU time of this
//     process (user and system, the writer being another process) per message;
//  2. by the main window (offscreen), logging every message as a user sees it.
// The figures are printed last, one per line, as "name: value".

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "MidiIn.h"
#include "backends/SystemMidiServices.h"

#if __has_include("frmMain.h")
#include <QApplication>
#include <QComboBox>
#include <QTemporaryDir>

#include "frmMain.h"
#include "uComm.h"
#define ORVALIS_BENCH_WINDOW 1
#endif

namespace {

constexpr int kRate = 10000;
constexpr int kSeconds = 5;
constexpr int kPerWrite = 100;  // messages per write, every 10 ms
constexpr int kMessages = kRate * kSeconds;
const char* const kRawDevice = "/dev/snd/midiC0D0";
const char* const kDevice = "Virtual Raw MIDI 0-0:VirMIDI 0-0 (ALSA)";

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The writer: a child process that writes the flood, paced on the clock. It
// allocates nothing (this process has threads).
pid_t StartWriter() {
  std::vector<unsigned char> chunk;
  for (int i = 0; i < kPerWrite; ++i) chunk.insert(chunk.end(), {0x90, static_cast<unsigned char>(i), 0x40});
  const pid_t pid = fork();
  if (pid != 0) return pid;
  const int fd = open(kRawDevice, O_WRONLY);
  if (fd < 0) _exit(1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  auto next = std::chrono::steady_clock::now();
  for (int written = 0; written < kMessages; written += kPerWrite) {
    size_t done = 0;
    while (done < chunk.size()) {
      const ssize_t n = write(fd, chunk.data() + done, chunk.size() - done);
      if (n <= 0) _exit(2);
      done += static_cast<size_t>(n);
    }
    next += std::chrono::milliseconds(1000 * kPerWrite / kRate);
    std::this_thread::sleep_until(next);
  }
  close(fd);
  _exit(0);
}

// Runs the event loop while the writer writes, then until `received` has
// stayed the same for half a second; false when the writer failed.
bool Flood(const std::function<long()>& received) {
  const pid_t writer = StartWriter();
  if (writer < 0) return false;
  int status = 0;
  bool ended = false;
  while (!ended) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ended = waitpid(writer, &status, WNOHANG) == writer;
  }
  long last = -1;
  QElapsedTimer quiet;
  quiet.start();
  while (quiet.elapsed() < 500) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (received() != last) {
      last = received();
      quiet.restart();
    }
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

struct PortFigures {
  long lost = -1;
  double cpuMicrosecondsPerMessage = -1;
};

PortFigures ThroughThePort() {
  PortFigures figures;
  TMidiInput in;
  in.SetSysexBufferCount(16);
  in.SetSysexBufferSize(63999);
  in.SetFilteredMessages({msgActiveSensing});
  long received = 0;
  in.SetOnMidiInput([&](QObject*) {
    while (in.GetMidiEvent()) ++received;
  });
  try {
    in.SetProductName(kDevice);
    in.OpenAndStart();
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s cannot be opened: %s\n", kDevice, error.what());
    return figures;
  }
  const double before = CpuSeconds();
  if (!Flood([&] { return received; })) {
    std::fprintf(stderr, "The writer failed on %s\n", kRawDevice);
    return figures;
  }
  const double cpu = CpuSeconds() - before;
  in.StopAndClose();
  figures.lost = kMessages - received;
  figures.cpuMicrosecondsPerMessage = cpu * 1e6 / kMessages;
  return figures;
}

#if ORVALIS_BENCH_WINDOW
long ThroughTheWindow() {
  QTemporaryDir prefsDir;
  TMidiPortsSession ports;
  TfmMain window([&] { return prefsDir.filePath("orvalis.ini"); });
  fmMain = &window;
  window.FormCreate(&window);
  const int index = window.cbMIDIIn->findText(kDevice);
  if (index < 0) return -1;
  window.cbMIDIIn->setCurrentIndex(index);
  if (MidiInPort->State() != misOpen) return -1;
  MidiInCount = 0;
  const bool written = Flood([] { return static_cast<long>(MidiInCount); });
  const long lost = written ? kMessages - MidiInCount : -1;
  window.close();
  fmMain = nullptr;
  return lost;
}
#endif

}  // namespace

int main(int argc, char** argv) {
#if ORVALIS_BENCH_WINDOW
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
#else
  QCoreApplication app(argc, argv);
#endif
  if (access(kRawDevice, W_OK) != 0) {
    std::fprintf(stderr, "No %s here: run it in the VM, bash scripts/with-alsa-vm.sh %s\n", kRawDevice, argv[0]);
    return 1;
  }
  InstallMidiServices(CreateSystemMidiServices());
  const PortFigures port = ThroughThePort();
#if ORVALIS_BENCH_WINDOW
  const long window = ThroughTheWindow();
#endif
  InstallMidiServices(nullptr);
  if (port.lost < 0) return 1;
  std::printf("alsa_lost_at_10k: %ld\n", port.lost);
  std::printf("alsa_cpu_us_per_msg: %.2f\n", port.cpuMicrosecondsPerMessage);
#if ORVALIS_BENCH_WINDOW
  if (window < 0) {
    std::printf("alsa_window_lost_at_10k: n/a\n");
  } else {
    std::printf("alsa_window_lost_at_10k: %ld\n", window);
  }
#endif
  return 0;
}
