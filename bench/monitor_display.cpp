// The receive monitor of the real program on a real display: the main window
// as the program builds it, on the system MIDI back end, shown on the X server
// of the environment (run it under xvfb-run), its input fed by a paced JACK
// flood of numbered note-ons from a separate process. For each log limit
// (400 and 10 000 lines by default) and each run:
//  - 10 000 messages per second, then 20 000 per second, for --seconds each:
//    the messages lost (sent minus counted by the window) and whether the log
//    holds its last lines without a gap;
//  - 10 000 per second while the window's thread is held busy for 0.3 s, one
//    second into the flood: the messages lost;
//  - the CPU time of this process (the program: its window thread, its JACK
//    client thread, Qt's threads) per message of the 10 000/s flood, and that
//    of jack_midi_dump, which receives the same flood at the same time and
//    only prints it (into a file), as the floor.
// The flood source is a forked JACK client; its CPU time is not counted.
//
//   out/build/bench/monitor_display [--runs N] [--seconds S] [--limits 400,10000]
//                                   [--size WIDTHxHEIGHT] [--only-10k] [--threads] [--details]
//
// --details: every display option of the log on (decimal values, channel,
// note and controller names, program numbers, controller pairs; the clock
// tempo is on by default).
//
// It needs a JACK server (scripts/with-jack.sh) and an X server (xvfb-run).
// The figures are printed last, per log limit, one per line, "name: value".

#if !__has_include("frmMain.h") || !defined(ORVALIS_BENCH_WITH_JACK)
#include <cstdio>
int main() {
  std::puts("monitor_display needs the windows and JACK; configure with ORVALIS_BUILD_GUI=ON "
            "and ORVALIS_WITH_JACK=ON");
  return 0;
}
#else

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <jack/jack.h>
#include <jack/midiport.h>

#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "DisplayPrefs.h"
#include "LogDisplay.h"
#include "LogView.h"
#include "MidiIn.h"
#include "backends/SystemMidiServices.h"
#include "frmMain.h"
#include "frmSendBulk.h"
#include "rmLed.h"
#include "uComm.h"
#include "uUserPrefs.h"

extern char** environ;

namespace {

constexpr int kStallMs = 300;
constexpr int kStallAfterMs = 1000;
constexpr int kSettleMs = 400;
constexpr uint32_t kNumbers = 1u << 14;  // data1 + 128 * data2

// ---------------------------------------------------------------------------
// The flood source: a JACK client in a child process, driven through a pipe.
// Commands, one per line: "C <port>" connects its output to a port, "F <rate>
// <count>" sends `count` numbered note-ons at `rate` per second, on JACK's own
// frame clock (each period carries the messages due in it, at their frames),
// "Q" ends it. Answers: "R <client name>" once ready, "OK"/"ERR" for a
// connection, "D <sent> <refused> <xruns>" at the end of a flood (xruns: the
// periods in which the server found a client late, during the flood).

struct TFloodState {
  jack_client_t* client = nullptr;
  jack_port_t* out = nullptr;
  std::atomic<bool> active{false};
  std::atomic<bool> finished{false};
  double rate = 0;
  uint64_t count = 0;
  jack_nframes_t startFrame = 0;
  bool started = false;
  uint64_t sent = 0;
  uint64_t refused = 0;
  std::atomic<uint32_t> xruns{0};  // reported by the server, any client late
};

int CountXrun(void* arg) {
  static_cast<TFloodState*>(arg)->xruns.fetch_add(1, std::memory_order_relaxed);
  return 0;
}

int FloodProcess(jack_nframes_t frames, void* arg) {
  auto& s = *static_cast<TFloodState*>(arg);
  void* buffer = jack_port_get_buffer(s.out, frames);
  jack_midi_clear_buffer(buffer);
  if (!s.active.load(std::memory_order_acquire)) return 0;
  const jack_nframes_t periodStart = jack_last_frame_time(s.client);
  if (!s.started) {
    s.started = true;
    s.startFrame = periodStart;
  }
  const double sampleRate = jack_get_sample_rate(s.client);
  const double elapsedEnd = static_cast<double>(periodStart - s.startFrame + frames) / sampleRate;
  const uint64_t due = std::min<uint64_t>(s.count, static_cast<uint64_t>(elapsedEnd * s.rate));
  while (s.sent + s.refused < due) {
    const uint64_t n = s.sent + s.refused;
    const double at = static_cast<double>(n) / s.rate * sampleRate - (periodStart - s.startFrame);
    const auto offset = static_cast<jack_nframes_t>(std::clamp(at, 0.0, static_cast<double>(frames - 1)));
    jack_midi_data_t* data = jack_midi_event_reserve(buffer, offset, 3);
    if (data == nullptr) {
      ++s.refused;
      continue;
    }
    const uint32_t number = static_cast<uint32_t>(n % kNumbers);
    data[0] = 0x90;
    data[1] = static_cast<jack_midi_data_t>(number & 0x7F);
    data[2] = static_cast<jack_midi_data_t>(number >> 7);
    ++s.sent;
  }
  if (s.sent + s.refused >= s.count) {
    s.active.store(false, std::memory_order_relaxed);
    s.finished.store(true, std::memory_order_release);
  }
  return 0;
}

void Answer(int fd, const std::string& line) {
  const std::string text = line + "\n";
  if (write(fd, text.data(), text.size()) < 0) _exit(1);
}

std::optional<std::string> ReadLine(int fd) {
  std::string line;
  char c = 0;
  while (true) {
    const ssize_t n = read(fd, &c, 1);
    if (n <= 0) return std::nullopt;
    if (c == '\n') return line;
    line += c;
  }
}

[[noreturn]] void RunFloodSource(int commands, int answers) {
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  TFloodState state;
  state.client = jack_client_open("OrvalisBenchFlood", JackNoStartServer, nullptr);
  if (state.client == nullptr) {
    Answer(answers, "ERR no JACK server");
    _exit(1);
  }
  state.out = jack_port_register(state.client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
  if (state.out == nullptr || jack_set_process_callback(state.client, FloodProcess, &state) != 0 ||
      jack_set_xrun_callback(state.client, CountXrun, &state) != 0 || jack_activate(state.client) != 0) {
    Answer(answers, "ERR JACK client");
    _exit(1);
  }
  Answer(answers, std::string("R ") + jack_get_client_name(state.client));
  while (std::optional<std::string> line = ReadLine(commands)) {
    std::istringstream in(*line);
    std::string op;
    in >> op;
    if (op == "C") {
      std::string port;
      in >> port;
      const int result = jack_connect(state.client, jack_port_name(state.out), port.c_str());
      Answer(answers, result == 0 || result == EEXIST ? "OK" : "ERR");
    } else if (op == "F") {
      in >> state.rate >> state.count;
      state.sent = state.refused = 0;
      state.started = false;
      state.xruns.store(0);
      state.finished.store(false);
      state.active.store(true, std::memory_order_release);
      while (!state.finished.load(std::memory_order_acquire)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
      }
      Answer(answers, "D " + std::to_string(state.sent) + " " + std::to_string(state.refused) + " " +
                          std::to_string(state.xruns.load()));
    } else {
      break;
    }
  }
  jack_client_close(state.client);
  _exit(0);
}

class TFloodSource {
 public:
  // Forks the source; call before any thread exists.
  bool Start() {
    int down[2];
    int up[2];
    if (pipe(down) != 0 || pipe(up) != 0) return false;
    pid_ = fork();
    if (pid_ < 0) return false;
    if (pid_ == 0) {
      close(down[1]);
      close(up[0]);
      RunFloodSource(down[0], up[1]);
    }
    close(down[0]);
    close(up[1]);
    commands_ = down[1];
    answers_ = up[0];
    const std::optional<std::string> ready = ReadLine(answers_);
    if (!ready || ready->rfind("R ", 0) != 0) {
      std::fprintf(stderr, "flood source: %s\n", ready ? ready->c_str() : "no answer");
      return false;
    }
    clientName_ = ready->substr(2);
    return true;
  }

  ~TFloodSource() {
    if (pid_ > 0) {
      Command("Q");
      waitpid(pid_, nullptr, 0);
    }
  }

  const std::string& ClientName() const { return clientName_; }
  int AnswerFd() const { return answers_; }

  bool Connect(const std::string& port) {
    Command("C " + port);
    const std::optional<std::string> answer = ReadLine(answers_);
    return answer && *answer == "OK";
  }

  // Starts a flood; its answer ("D <sent> <refused> <xruns>") comes on AnswerFd.
  void Flood(int rate, uint64_t count) {
    Command("F " + std::to_string(rate) + " " + std::to_string(count));
  }

 private:
  void Command(const std::string& line) {
    const std::string text = line + "\n";
    if (write(commands_, text.data(), text.size()) < 0) std::perror("flood source");
  }

  pid_t pid_ = -1;
  int commands_ = -1;
  int answers_ = -1;
  std::string clientName_;
};

// ---------------------------------------------------------------------------
// jack_midi_dump, the floor: started with its output going into a file.

class TFloor {
 public:
  bool Start(const std::string& clientName, const std::string& outputFile) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    std::string name = clientName;
    char program[] = "jack_midi_dump";
    char* argv[] = {program, name.data(), nullptr};
    const int result = posix_spawnp(&pid_, program, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    if (result != 0) pid_ = -1;
    return result == 0;
  }
  ~TFloor() { Stop(); }
  // Ends it; its output is complete afterwards.
  void Stop() {
    if (pid_ > 0) {
      kill(pid_, SIGTERM);
      waitpid(pid_, nullptr, 0);
      pid_ = -1;
    }
  }
  // CPU time of all its threads, in microseconds (their run time in the scheduler).
  double CpuUs() const {
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid_));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
      std::ifstream stat(tasks.filePath(task + "/schedstat").toStdString());
      double ns = 0;
      if (stat >> ns) total += ns / 1000.0;
    }
    return total;
  }

 private:
  pid_t pid_ = -1;
};

bool ShowThreads = false;  // --threads: the CPU time of each thread of the program per flood

// CPU time of each thread of this process ("id:name"), in microseconds.
std::map<std::string, double> ThreadCpuUs() {
  std::map<std::string, double> threads;
  const QDir tasks(QStringLiteral("/proc/self/task"));
  for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
    std::ifstream stat(tasks.filePath(task + "/schedstat").toStdString());
    std::ifstream comm(tasks.filePath(task + "/comm").toStdString());
    std::string name;
    std::getline(comm, name);
    double ns = 0;
    if (stat >> ns) threads[task.toStdString() + ":" + name] = ns / 1000.0;
  }
  return threads;
}

double OwnCpuUs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec * 1e6 + usage.ru_utime.tv_usec + usage.ru_stime.tv_sec * 1e6 +
         usage.ru_stime.tv_usec;
}

// ---------------------------------------------------------------------------
// The program's side.

bool Choose(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  if (index < 0) return false;
  {
    const QSignalBlocker blocker(list);
    list->setCurrentIndex(index);
  }
  fmMain->cbMIDIInChange(list);
  return true;
}

// Runs the event loop until `done` holds, checking it whenever an event came.
void RunUntil(const std::function<bool()>& done) {
  while (!done()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Runs the event loop until the input count has not moved for kSettleMs.
void Settle() {
  QEventLoop loop;
  int32_t last = MidiInCount;
  QElapsedTimer sinceChange;
  sinceChange.start();
  QTimer check;
  QObject::connect(&check, &QTimer::timeout, [&] {
    if (MidiInCount != last) {
      last = MidiInCount;
      sinceChange.restart();
    } else if (sinceChange.elapsed() >= kSettleMs) {
      loop.quit();
    }
  });
  check.start(50);
  loop.exec();
}

// Breaks in the numbering of the log's received lines (each number follows
// the one before it, modulo kNumbers). PipeWire's JACK library turns a Note
// On with velocity 0 (the numbers 0 to 127) into a Note Off ("80 nn 00"),
// which the log shows as it arrived: such a line carries its number too.
int LogGaps() {
  int gaps = 0;
  std::optional<uint32_t> previous;
  const TLogModel& log = *fmMain->MemoLog->Model();
  for (int i = 0; i < log.LineCount(); ++i) {
    const QString& line = log.Line(i);
    const bool asSent = line.startsWith(QLatin1String("[MIDI-In] - 90 "));
    const bool asNoteOff = line.startsWith(QLatin1String("[MIDI-In] - 80 ")) && line.mid(18, 2) == QLatin1String("00");
    if (!asSent && !asNoteOff) continue;
    bool ok1 = false;
    bool ok2 = false;
    const uint32_t number = line.mid(15, 2).toUInt(&ok1, 16) + 128 * line.mid(18, 2).toUInt(&ok2, 16);
    if (!ok1 || !ok2) {
      ++gaps;
      continue;
    }
    if (previous && number != (*previous + 1) % kNumbers) {
      ++gaps;
      if (qEnvironmentVariableIsSet("ORVALIS_BENCH_SHOW_GAPS")) {
        std::fprintf(stderr, "log gap at line %d of %d: %u then %u\n", i, log.LineCount(), *previous, number);
        for (int j = std::max(0, i - 3); j <= i; ++j) std::fprintf(stderr, "  %s\n", qPrintable(log.Line(j)));
      }
    }
    previous = number;
  }
  return gaps;
}

uint64_t TotalSent = 0;  // by every flood of the run, as jack_midi_dump should have printed them

struct TFloodResult {
  uint64_t sent = 0;
  uint64_t refused = 0;  // by the source's JACK buffer (not the program's fault)
  unsigned xruns = 0;    // periods in which JACK found a client late: messages may be lost before the program
  int64_t lost = 0;
  int gaps = 0;
  bool overflowed = false;  // the error LED lit: the input queue was full
  double cpuUsPerMsg = 0;
  double floorCpuUsPerMsg = 0;
};

TFloodResult Flood(TFloodSource& source, const TFloor& floor, int rate, int seconds, bool stall) {
  Settle();  // nothing of an earlier flood is still coming
  fmMain->btnLogClearClick(fmMain->btnLogClear);
  fmMain->LedMidiErr->SetLedOn(false);
  MidiInCount = 0;
  const uint64_t count = static_cast<uint64_t>(rate) * static_cast<uint64_t>(seconds);
  TFloodResult result;
  bool answered = false;
  QSocketNotifier notifier(source.AnswerFd(), QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
    notifier.setEnabled(false);
    const std::optional<std::string> answer = ReadLine(source.AnswerFd());
    unsigned long long sent = 0;
    unsigned long long refused = 0;
    if (answer && std::sscanf(answer->c_str(), "D %llu %llu %u", &sent, &refused, &result.xruns) == 3) {
      result.sent = sent;
      result.refused = refused;
    }
    answered = true;
  });
  if (stall) {
    QTimer::singleShot(kStallAfterMs, [] {
      QElapsedTimer held;
      held.start();
      while (held.elapsed() < kStallMs) {
      }
    });
  }
  const std::map<std::string, double> threadsBefore = ThreadCpuUs();
  const double ownBefore = OwnCpuUs();
  const double floorBefore = floor.CpuUs();
  source.Flood(rate, count);
  RunUntil([&] { return answered; });
  Settle();
  const double ownUs = OwnCpuUs() - ownBefore;
  if (ShowThreads) {
    for (const auto& [name, us] : ThreadCpuUs()) {
      const auto before = threadsBefore.find(name);
      const double spent = us - (before == threadsBefore.end() ? 0 : before->second);
      if (spent > 0) std::printf("  thread %s: %.0f us\n", name.c_str(), spent);
    }
  }
  const double floorUs = floor.CpuUs() - floorBefore;
  result.lost = static_cast<int64_t>(result.sent) - MidiInCount;
  TotalSent += result.sent;
  result.gaps = LogGaps();
  result.overflowed = fmMain->LedMidiErr->LedOn();
  if (result.sent > 0) {
    result.cpuUsPerMsg = ownUs / static_cast<double>(result.sent);
    result.floorCpuUsPerMsg = floorUs / static_cast<double>(result.sent);
  }
  return result;
}

// One flood in the run's line: the messages lost, then why some may be.
std::string Describe(const char* name, const TFloodResult& r) {
  std::string text = std::string(name) + " lost " + std::to_string(r.lost) + " (log gaps " +
                     std::to_string(r.gaps) + ", JACK xruns " + std::to_string(r.xruns);
  if (r.overflowed) text += ", input queue overflowed";
  if (r.refused > 0) text += ", " + std::to_string(r.refused) + " refused by the source's JACK buffer";
  return text + ")";
}

struct TOptions {
  int runs = 1;
  int seconds = 10;
  std::vector<int> limits{400, 10000};
  int width = 0;
  int height = 0;
  bool only10k = false;  // only the 10 000/s flood (for profiling)
  bool details = false;  // every display option of the log on
};

bool ParseOptions(int argc, char** argv, TOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--runs" && value) {
      options.runs = std::max(1, std::atoi(value));
    } else if (arg == "--seconds" && value) {
      options.seconds = std::max(2, std::atoi(value));
    } else if (arg == "--limits" && value) {
      options.limits.clear();
      std::stringstream list(value);
      for (std::string item; std::getline(list, item, ',');) options.limits.push_back(std::atoi(item.c_str()));
    } else if (arg == "--only-10k") {
      options.only10k = true;
      continue;
    } else if (arg == "--threads") {
      ShowThreads = true;
      continue;
    } else if (arg == "--details") {
      options.details = true;
      continue;
    } else if (arg == "--size" && value) {
      if (std::sscanf(value, "%dx%d", &options.width, &options.height) != 2) return false;
    } else {
      return false;
    }
    ++i;
  }
  return !options.limits.empty();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string Join(const std::vector<int64_t>& values) {
  std::string text;
  for (int64_t v : values) text += (text.empty() ? "" : " ") + std::to_string(v);
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  TOptions options;
  if (!ParseOptions(argc, argv, options)) {
    std::fprintf(stderr,
                 "usage: monitor_display [--runs N] [--seconds S] [--limits 400,10000] "
                 "[--size WIDTHxHEIGHT] [--only-10k] [--threads] [--details]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
    std::fprintf(stderr, "monitor_display draws on a real X server: run it under xvfb-run, "
                         "without QT_QPA_PLATFORM\n");
    return 2;
  }
  TFloodSource source;
  if (!source.Start()) return 1;

  QApplication app(argc, argv);
  QTemporaryDir work;
  const std::string floorOutput = work.filePath("jack_midi_dump.txt").toStdString();
  TFloor floor;
  const std::string floorClient = "OrvalisBenchFloor";
  if (!floor.Start(floorClient, floorOutput)) {
    std::fprintf(stderr, "jack_midi_dump could not be started\n");
    return 1;
  }
  bool floorConnected = false;
  for (int i = 0; i < 100 && !floorConnected; ++i) {
    floorConnected = source.Connect(floorClient + ":input");
    if (!floorConnected) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  if (!floorConnected) {
    std::fprintf(stderr, "jack_midi_dump's input could not be connected\n");
    return 1;
  }

  InstallMidiServices(CreateSystemMidiServices());
  int status = 0;
  {
    TMidiPortsSession ports;
    TfmMain window([&] { return work.filePath("orvalis.ini"); });
    fmMain = &window;
    window.FormCreate(&window);
    TfmSendBulk bulk;
    fmSendBulk = &bulk;
    bulk.FormCreate(&bulk);
    if (options.width > 0) window.resize(options.width, options.height);
    if (options.details) {
      DisplayPrefs prefs;
      prefs.Details.Decimal = prefs.Details.Channel = prefs.Details.NoteName = true;
      prefs.Details.ControllerName = prefs.Details.ProgramNumber = true;
      prefs.ControllerPairs = true;
      window.Display->SetPrefs(prefs);
    }
    const QString input = QString::fromStdString(source.ClientName()) + ":out (JACK)";
    if (!Choose(window.cbMIDIIn, input) || MidiInPort->State() != misOpen) {
      std::fprintf(stderr, "the flood's port %s could not be opened as input\n", qPrintable(input));
      return 1;
    }
    QCoreApplication::processEvents();

    for (int limit : options.limits) {
      window.seLogMaxEvents->setValue(limit);
      std::vector<int64_t> lost10k, lost20k, lostStall;
      std::vector<double> cpu, floorCpu;
      for (int run = 1; run <= options.runs; ++run) {
        const TFloodResult at10k = Flood(source, floor, 10000, options.seconds, false);
        std::string line = "log limit " + std::to_string(limit) + ", run " + std::to_string(run) + "/" +
                           std::to_string(options.runs) + ": " + Describe("10k/s", at10k);
        if (!options.only10k) {
          const TFloodResult at20k = Flood(source, floor, 20000, options.seconds, false);
          const TFloodResult stalled = Flood(source, floor, 10000, std::max(3, options.seconds / 2), true);
          lost10k.push_back(at10k.lost);
          lost20k.push_back(at20k.lost);
          lostStall.push_back(stalled.lost);
          cpu.push_back(at10k.cpuUsPerMsg);
          floorCpu.push_back(at10k.floorCpuUsPerMsg);
          line += "; " + Describe("20k/s", at20k) + "; " + Describe("stall", stalled);
        }
        char figures[96];
        std::snprintf(figures, sizeof figures, "; cpu %.2f us/msg, jack_midi_dump %.2f us/msg", at10k.cpuUsPerMsg,
                      at10k.floorCpuUsPerMsg);
        std::printf("%s%s\n", line.c_str(), figures);
        std::fflush(stdout);
      }
      if (options.only10k) continue;
      const auto worst = [](const std::vector<int64_t>& v) { return *std::max_element(v.begin(), v.end()); };
      const double cpuMedian = Median(cpu);
      const double floorMedian = Median(floorCpu);
      std::printf("\nlog_limit: %d (%d runs of %d s%s; lost: the worst run, then each run; "
                  "cpu: the median run)\n", limit, options.runs, options.seconds,
                  options.details ? ", every display option on" : "");
      std::printf("lost_at_10k: %lld (%s)\n", static_cast<long long>(worst(lost10k)), Join(lost10k).c_str());
      std::printf("lost_at_20k: %lld (%s)\n", static_cast<long long>(worst(lost20k)), Join(lost20k).c_str());
      std::printf("lost_after_stall: %lld (%s)\n", static_cast<long long>(worst(lostStall)),
                  Join(lostStall).c_str());
      std::printf("cpu_us_per_msg: %.2f\n", cpuMedian);
      std::printf("floor_cpu_us_per_msg: %.2f\n", floorMedian);
      std::printf("ratio_to_floor: %.2f\n\n", floorMedian > 0 ? cpuMedian / floorMedian : 0.0);
      std::fflush(stdout);
      if (worst(lost10k) != 0 || worst(lost20k) != 0 || worst(lostStall) != 0) status = 3;
    }
    window.close();
  }
  floor.Stop();
  std::ifstream printed(floorOutput);
  uint64_t lines = 0;
  for (std::string line; std::getline(printed, line);) ++lines;
  std::printf("jack_midi_dump printed %llu lines for %llu messages sent\n",
              static_cast<unsigned long long>(lines), static_cast<unsigned long long>(TotalSent));
  return status;
}

#endif
