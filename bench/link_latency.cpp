// Round-trip latency over one JACK route, side by side in one run: the
// connection test window of the real program against jack_midi_latency_test
// (jackd2's example clients), both through the same client that echoes every
// message a fixed number of frames after it arrived (JackTestClient; 1000 by
// default, --delay-frames N), one message in flight at a time, three-byte
// messages. Rounds alternate between the two; the figures are those of all
// rounds, printed last, one per line, as "name: value".
//
// Both measure from frame to frame: Orvalis from the frame its output wrote
// the message at to the frame of its answer (the JACK back end's times),
// jack_midi_latency_test from the frame it writes the message at to the frame
// the answer carries. The reference's median is exact when its lowest and
// highest latencies are the same frame; otherwise it is read from its latency
// histogram (bins of 0.1 ms: the middle of the bin).
//
// It needs a JACK server: jackd2 (scripts/with-jack.sh) or PipeWire's
// (scripts/with-pipewire.sh, PIPEWIRE_QUANTUM=256/48000 for the same period).

#if !__has_include("frmMain.h") || !defined(ORVALIS_BENCH_WITH_JACK) || !__has_include("JackTestClient.h")
#include <cstdio>
int main() {
  std::puts("link_latency needs the windows and JACK; configure with ORVALIS_BUILD_GUI=ON "
            "and ORVALIS_WITH_JACK=ON");
  return 0;
}
#else

#include <jack/jack.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ConnectionTestWindow.h"
#include "LatencyStats.h"
#include "JackTestClient.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "MidiServices.h"
#include "backends/SystemMidiServices.h"
#include "frmMain.h"
#include "uComm.h"

namespace {

constexpr int kRounds = 3;
constexpr int kMessagesPerRound = 500;
// jack_midi_latency_test gives up a run at the first message the route loses
// (PipeWire's graph loses one now and then): its rounds are runs of this many.
constexpr int kMessagesPerReferenceRun = 100;

struct Period {
  double us = 0;
  double frameUs = 0;
};

Period ServerPeriod() {
  Period period;
  jack_client_t* probe = jack_client_open("OrvalisLatencyProbe", JackNoStartServer, nullptr);
  if (probe == nullptr) return period;
  period.us = 1e6 * jack_get_buffer_size(probe) / jack_get_sample_rate(probe);
  period.frameUs = 1e6 / jack_get_sample_rate(probe);
  jack_client_close(probe);
  return period;
}

double Spread(const std::vector<double>& values) {
  if (values.empty()) return -1;
  const auto [low, high] = std::minmax_element(values.begin(), values.end());
  return *high - *low;
}

// The root mean square of the deviations from the mean, as the window shows it.
double Jitter(const std::vector<double>& values) {
  if (values.empty()) return -1;
  double mean = 0;
  for (double v : values) mean += v;
  mean /= static_cast<double>(values.size());
  double squares = 0;
  for (double v : values) squares += (v - mean) * (v - mean);
  return std::sqrt(squares / static_cast<double>(values.size()));
}

// What one run of jack_midi_latency_test reports besides its histogram.
struct ReferenceRun {
  unsigned lowestFrames = 0;
  unsigned highestFrames = 0;
  double averageJitterUs = -1;
};

// What the reference sent and got back, its failed runs included.
struct ReferenceCount {
  long sent = 0;
  long received = 0;
  int failedRuns = 0;
};

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  const size_t middle = (values.size() + 1) / 2 - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  return values[middle];
}

// One run of jack_midi_latency_test through the route; its latencies (µs, the
// middles of its histogram's bins) are appended to `latencies`.
bool RunReference(const std::string& toEcho, const std::string& fromEcho, const Period& period,
                  std::vector<double>& latencies, std::vector<ReferenceRun>& runs, ReferenceCount& count) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStringLiteral("jack_midi_latency_test"),
                {QStringLiteral("-s"), QString::number(kMessagesPerReferenceRun), QStringLiteral("-t"),
                 QStringLiteral("2"), QString::fromStdString(toEcho), QString::fromStdString(fromEcho)});
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    std::fprintf(stderr, "jack_midi_latency_test did not end\n");
    return false;
  }
  const QString output = QString::fromLocal8Bit(process.readAll());
  static const QRegularExpression sent(QStringLiteral(R"(Messages sent: (\d+))"));
  static const QRegularExpression received(QStringLiteral(R"(Messages received: (\d+))"));
  count.sent += sent.match(output).captured(1).toLong();
  count.received += received.match(output).captured(1).toLong();
  const qsizetype plot = output.indexOf(QStringLiteral("Latency Plot:"));
  if (plot < 0) {
    ++count.failedRuns;
    return false;
  }
  ReferenceRun run;
  static const QRegularExpression lowest(QStringLiteral(R"(Lowest latency: [0-9.]+ ms \((\d+) frames\))"));
  static const QRegularExpression highest(QStringLiteral(R"(Highest latency: [0-9.]+ ms \((\d+) frames\))"));
  static const QRegularExpression jitter(QStringLiteral(R"(Average MIDI jitter: ([0-9.]+) ms)"));
  const auto low = lowest.match(output);
  const auto high = highest.match(output);
  const auto averageJitter = jitter.match(output);
  if (low.hasMatch() && high.hasMatch()) {
    run.lowestFrames = low.captured(1).toUInt();
    run.highestFrames = high.captured(1).toUInt();
  }
  if (averageJitter.hasMatch()) run.averageJitterUs = averageJitter.captured(1).toDouble() * 1000;
  static const QRegularExpression bin(QStringLiteral(R"(^\s*([0-9.]+) - ([0-9.]+) ms: (\d+)\s*$)"),
                                      QRegularExpression::MultilineOption);
  auto it = bin.globalMatch(output.mid(plot));
  size_t counted = 0;
  // Every answer the same frame: the exact figure instead of the bin's middle.
  const bool exact = run.highestFrames > 0 && run.lowestFrames == run.highestFrames;
  while (it.hasNext()) {
    const auto m = it.next();
    const double middleUs = exact ? run.lowestFrames * period.frameUs
                                  : (m.captured(1).toDouble() + m.captured(2).toDouble()) / 2 * 1000;
    const int count = m.captured(3).toInt();
    latencies.insert(latencies.end(), static_cast<size_t>(count), middleUs);
    counted += static_cast<size_t>(count);
  }
  if (counted == 0) {
    ++count.failedRuns;
    return false;
  }
  runs.push_back(run);
  return true;
}

bool Choose(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  return true;
}

// One run of the connection test window; its latencies (µs) are appended,
// and the messages it did not get back counted.
bool RunOrvalis(ConnectionTestWindow& test, std::vector<double>& latencies, long& lost) {
  LinkTestSettings s;
  s.Kind = LinkMessageKind::NoteOnOff;
  s.Count = kMessagesPerRound;
  s.OneInFlight = true;
  s.TimeoutMs = 5000;
  test.ShowSettings(s);
  test.StartRun();
  QElapsedTimer watch;
  watch.start();
  while (test.Running() && watch.elapsed() < 120000) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  if (test.Running() || !test.Run()) return false;
  for (const LinkTestRun::Record& r : test.Run()->Records()) {
    if (r.Status == LinkTestRun::MessageStatus::Received || r.Status == LinkTestRun::MessageStatus::OutOfOrder) {
      // Signed: an answer stamped before its message left is a fault to see.
      latencies.push_back(static_cast<double>(static_cast<int64_t>(r.ReceivedUs) - static_cast<int64_t>(r.SentUs)));
    } else {
      ++lost;
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  long delayFrames = 1000;
  for (int i = 1; i + 1 < argc; ++i) {
    if (std::string(argv[i]) == "--delay-frames") delayFrames = std::strtol(argv[i + 1], nullptr, 10);
  }
  const Period period = ServerPeriod();
  auto echo = JackTestClient::Open("OrvalisLatencyEcho");
  if (period.us <= 0 || !echo || delayFrames < 0) {
    std::fprintf(stderr, "link_latency needs a running JACK server (scripts/with-jack.sh)\n");
    return 1;
  }
  echo->Echo();
  echo->EchoAfter(std::chrono::microseconds(std::lround(static_cast<double>(delayFrames) * period.frameUs)));

  QTemporaryDir prefs;
  InstallMidiServices(CreateSystemMidiServices());
  TMidiPortsSession ports;
  TfmMain window([&prefs] { return prefs.filePath(QStringLiteral("orvalis.ini")); });
  fmMain = &window;
  window.FormCreate(&window);
  const QString client = QString::fromStdString(echo->ClientName());
  if (!Choose(window.cbMIDIOut, client + QStringLiteral(":in (JACK)")) ||
      !Choose(window.cbMIDIIn, client + QStringLiteral(":out (JACK)")) || !MidiInPort || !MidiOutPort ||
      MidiInPort->State() != misOpen || MidiOutPort->State() != mosOpen) {
    std::fprintf(stderr, "the echoing client's ports did not open\n");
    return 1;
  }
  // A graph that has just changed may drop a period: a round trip first.
  QElapsedTimer watch;
  watch.start();
  while (MidiInCount == 0 && watch.elapsed() < 10000) {
    MidiOutPort->PutShort(0xFC, 0, 0);
    Delay_Ms(250, true);
  }
  window.ActToolsConnectionTestExecute(&window);
  ConnectionTestWindow& test = *window.ConnectionTest;

  std::vector<double> orvalis;
  std::vector<double> reference;
  std::vector<ReferenceRun> referenceRuns;
  ReferenceCount referenceCount;
  long orvalisLost = 0;
  for (int round = 0; round < kRounds; ++round) {
    for (int run = 0; run < kMessagesPerRound / kMessagesPerReferenceRun; ++run) {
      RunReference(echo->InputPort(), echo->OutputPort(), period, reference, referenceRuns, referenceCount);
    }
    if (!RunOrvalis(test, orvalis, orvalisLost)) return 1;
    std::printf("round %d: orvalis %zu answers, reference %zu answers (%d of its runs failed), xruns so far %llu\n",
                round + 1, orvalis.size(), reference.size(), referenceCount.failedRuns,
                static_cast<unsigned long long>(echo->Xruns()));
  }
  if (orvalis.empty()) return 1;
  LatencyStats orvalisStats;
  for (double us : orvalis) orvalisStats.Add(static_cast<uint64_t>(std::max(us, 0.0)));
  const LatencyStats::Summary figures = orvalisStats.Summarize();
  const double orvalisUs = Median(orvalis);
  const double referenceUs = reference.empty() ? std::nan("") : Median(reference);
  double referenceJitterUs = 0;
  for (const ReferenceRun& run : referenceRuns) referenceJitterUs = std::max(referenceJitterUs, run.averageJitterUs);
  std::printf("period_us: %.0f\n", period.us);
  std::printf("echo_delay_us: %.1f\n", static_cast<double>(delayFrames) * period.frameUs);
  std::printf("latency_median_us_orvalis: %.1f\n", orvalisUs);
  std::printf("latency_median_us_reference: %.1f\n", referenceUs);
  std::printf("latency_difference_us: %.1f\n", orvalisUs - referenceUs);
  std::printf("latency_difference_periods: %.2f\n", (orvalisUs - referenceUs) / period.us);
  std::printf("jitter_us_orvalis: %.1f\n", Jitter(orvalis));
  std::printf("jitter_us_reference: %.1f\n", referenceJitterUs);
  std::printf("mean_us_orvalis: %.1f\n", figures.MeanUs);
  std::printf("p95_us_orvalis: %llu\n", static_cast<unsigned long long>(figures.P95Us));
  std::printf("mean_absolute_deviation_us_orvalis: %.1f\n", figures.MeanAbsoluteDeviationUs);
  std::printf("peak_to_peak_us_orvalis: %.1f\n", Spread(orvalis));
  unsigned lowestFrames = UINT_MAX;
  unsigned highestFrames = 0;
  for (const ReferenceRun& run : referenceRuns) {
    lowestFrames = std::min(lowestFrames, run.lowestFrames);
    highestFrames = std::max(highestFrames, run.highestFrames);
  }
  std::printf("peak_to_peak_us_reference: %.1f\n",
              referenceRuns.empty() ? std::nan("") : (highestFrames - lowestFrames) * period.frameUs);
  std::printf("lost_orvalis: %ld of %d\n", orvalisLost, kRounds * kMessagesPerRound);
  std::printf("lost_reference: %ld of %ld\n", referenceCount.sent - referenceCount.received, referenceCount.sent);
  window.close();
  fmMain = nullptr;
  return 0;
}

#endif
