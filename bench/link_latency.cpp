// Round-trip latency over one JACK route, side by side in one run: the
// connection test window of the real program against jack_midi_latency_test
// (jackd2's example clients), both through the same client that echoes every
// message (JackTestClient), one message in flight at a time, three-byte
// messages. Rounds alternate between the two; the figures are the medians of
// all rounds, printed last, one per line, as "name: value".
//
// Orvalis measures from the moment a message is handed to the output to the
// driver's time stamp of its answer (steady clock, taken when the program's
// JACK client runs in the period the answer arrives in);
// jack_midi_latency_test measures in frames, from the frame it writes the
// message at to the frame the answer carries. Its median is read from its
// latency histogram (bins of 0.1 ms: the middle of the bin).
//
// It needs a JACK server (scripts/with-jack.sh).

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
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "ConnectionTestWindow.h"
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

struct Period {
  double us = 0;
};

Period ServerPeriod() {
  Period period;
  jack_client_t* probe = jack_client_open("OrvalisLatencyProbe", JackNoStartServer, nullptr);
  if (probe == nullptr) return period;
  period.us = 1e6 * jack_get_buffer_size(probe) / jack_get_sample_rate(probe);
  jack_client_close(probe);
  return period;
}

double Median(std::vector<double> values) {
  if (values.empty()) return -1;
  const size_t middle = (values.size() + 1) / 2 - 1;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  return values[middle];
}

// One run of jack_midi_latency_test through the route; its latencies (µs, the
// middles of its histogram's bins) are appended to `latencies`.
bool RunReference(const std::string& toEcho, const std::string& fromEcho, std::vector<double>& latencies) {
  QProcess process;
  process.setProcessChannelMode(QProcess::MergedChannels);
  process.start(QStringLiteral("jack_midi_latency_test"),
                {QStringLiteral("-s"), QString::number(kMessagesPerRound), QStringLiteral("-t"), QStringLiteral("5"),
                 QString::fromStdString(toEcho), QString::fromStdString(fromEcho)});
  if (!process.waitForFinished(120000)) {
    process.kill();
    process.waitForFinished();
    std::fprintf(stderr, "jack_midi_latency_test did not end\n");
    return false;
  }
  const QString output = QString::fromLocal8Bit(process.readAll());
  const qsizetype plot = output.indexOf(QStringLiteral("Latency Plot:"));
  if (plot < 0) {
    std::fprintf(stderr, "jack_midi_latency_test:\n%s\n", qPrintable(output));
    return false;
  }
  static const QRegularExpression bin(QStringLiteral(R"(^\s*([0-9.]+) - ([0-9.]+) ms: (\d+)\s*$)"),
                                      QRegularExpression::MultilineOption);
  auto it = bin.globalMatch(output.mid(plot));
  size_t counted = 0;
  while (it.hasNext()) {
    const auto m = it.next();
    const double middleUs = (m.captured(1).toDouble() + m.captured(2).toDouble()) / 2 * 1000;
    const int count = m.captured(3).toInt();
    latencies.insert(latencies.end(), static_cast<size_t>(count), middleUs);
    counted += static_cast<size_t>(count);
  }
  if (counted == 0) std::fprintf(stderr, "jack_midi_latency_test:\n%s\n", qPrintable(output));
  return counted > 0;
}

bool Choose(QComboBox* list, const QString& name) {
  const int index = list->findText(name);
  if (index < 0) return false;
  list->setCurrentIndex(index);
  return true;
}

// One run of the connection test window; its latencies (µs) are appended.
bool RunOrvalis(ConnectionTestWindow& test, std::vector<double>& latencies) {
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
      latencies.push_back(static_cast<double>(r.ReceivedUs - r.SentUs));
    }
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const Period period = ServerPeriod();
  auto echo = JackTestClient::Open("OrvalisLatencyEcho");
  if (period.us <= 0 || !echo) {
    std::fprintf(stderr, "link_latency needs a running JACK server (scripts/with-jack.sh)\n");
    return 1;
  }
  echo->Echo();

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
  for (int round = 0; round < kRounds; ++round) {
    if (!RunReference(echo->InputPort(), echo->OutputPort(), reference)) return 1;
    if (!RunOrvalis(test, orvalis)) return 1;
    std::printf("round %d: orvalis %zu answers, reference %zu answers\n", round + 1, orvalis.size(), reference.size());
  }
  const double orvalisUs = Median(orvalis);
  const double referenceUs = Median(reference);
  std::printf("period_us: %.0f\n", period.us);
  std::printf("latency_median_us_orvalis: %.0f\n", orvalisUs);
  std::printf("latency_median_us_reference: %.0f\n", referenceUs);
  std::printf("latency_difference_periods: %.2f\n", (orvalisUs - referenceUs) / period.us);
  window.close();
  fmMain = nullptr;
  return 0;
}

#endif
