#include "LinkTestReport.h"

#include <QJsonValue>
#include <QStringList>

#include <cmath>

namespace {

QString KindName(LinkMessageKind kind) {
  switch (kind) {
    case LinkMessageKind::ControlChange:
      return QStringLiteral("cc");
    case LinkMessageKind::Sysex:
      return QStringLiteral("sysex");
    case LinkMessageKind::NoteOnOff:
      break;
  }
  return QStringLiteral("note");
}

QString Milliseconds(double us) { return QString::number(us / 1000.0, 'f', 3); }

// Microseconds to the nanosecond: no digits of rounding noise in the JSON.
double Rounded(double us) { return std::round(us * 1000.0) / 1000.0; }

QString Line(const QString& label, const QString& value) {
  return QStringLiteral("%1 %2\n").arg(label, -18).arg(value, 10);
}

QString Pace(const LinkTestSettings& s, uint64_t seed) {
  if (s.OneInFlight) {
    return s.RandomMoments ? QStringLiteral("one at a time, random pauses (seed %1)").arg(seed)
                           : QStringLiteral("one at a time");
  }
  return s.RandomMoments ? QStringLiteral("%1 per second at random moments (seed %2)").arg(s.RatePerSecond).arg(seed)
                         : QStringLiteral("%1 per second at even intervals").arg(s.RatePerSecond);
}

}  // namespace

LinkTestExit LinkTestExitStatus(const LinkTestOutcome& outcome) {
  if (!outcome.Error.isEmpty() || outcome.Run.CurrentState() != LinkTestRun::State::Done) return LinkTestError;
  const LinkTestRun::Counts c = outcome.Run.GetCounts();
  const bool whole = c.Sent == static_cast<uint64_t>(outcome.Run.Settings().Count) && c.Received == c.Sent &&
                     c.Lost == 0 && c.OutOfOrder == 0 && c.Corrupted == 0 && c.Duplicates == 0;
  return whole ? LinkTestPassed : LinkTestFaults;
}

QString LinkTestVerdict(const LinkTestOutcome& outcome) {
  if (!outcome.Error.isEmpty()) return outcome.Error;
  if (outcome.Run.CurrentState() != LinkTestRun::State::Done) return QStringLiteral("the test did not end");
  if (LinkTestExitStatus(outcome) == LinkTestPassed) return QStringLiteral("every message came back intact and in order");
  const LinkTestRun::Counts c = outcome.Run.GetCounts();
  if (c.Received == 0 && c.Corrupted == 0) {
    return QStringLiteral("nothing came back: is the output connected to the input?");
  }
  QStringList faults;
  const auto note = [&](uint64_t count, const char* what) {
    if (count > 0) faults << QStringLiteral("%1 %2").arg(count).arg(QLatin1String(what));
  };
  note(c.Lost, "lost");
  note(c.OutOfOrder, "out of order");
  note(c.Corrupted, "corrupted");
  note(c.Duplicates, "duplicates");
  return faults.join(QStringLiteral(", "));
}

QString LinkTestReportText(const LinkTestOutcome& outcome) {
  const LinkTestRun& run = outcome.Run;
  const LinkTestSettings& s = run.Settings();
  const LinkTestRun::Counts c = run.GetCounts();
  const LatencyStats::Summary l = run.Latencies().Summarize();

  QString text;
  text += QStringLiteral("Route      %1 -> %2\n").arg(outcome.Route.Output, outcome.Route.Input);
  QString messages = QStringLiteral("%1 %2").arg(s.Count).arg(KindName(s.Kind));
  if (s.Kind == LinkMessageKind::Sysex) messages += QStringLiteral(" of %1 bytes").arg(s.SysexLength);
  text += QStringLiteral("Messages   %1, %2\n").arg(messages, Pace(s, outcome.Seed));
  text += QStringLiteral("           timeout %1 ms, warm-up %2 answers\n").arg(s.TimeoutMs).arg(s.WarmUp);
  text += QLatin1Char('\n');
  text += Line(QStringLiteral("Sent"), QString::number(c.Sent));
  text += Line(QStringLiteral("Received"), QString::number(c.Received));
  text += Line(QStringLiteral("Lost"), QString::number(c.Lost));
  text += Line(QStringLiteral("Out of order"), QString::number(c.OutOfOrder));
  text += Line(QStringLiteral("Corrupted"), QString::number(c.Corrupted));
  text += Line(QStringLiteral("Duplicates"), QString::number(c.Duplicates));
  text += QLatin1Char('\n');
  if (l.Count == 0) {
    text += QStringLiteral("Latency    no answers to measure\n");
  } else {
    text += QStringLiteral("Latency of %1 answers, ms\n").arg(l.Count);
    const auto figure = [&](const char* label, double us) { text += Line(QLatin1String(label), Milliseconds(us)); };
    figure("  minimum", static_cast<double>(l.MinUs));
    figure("  median", static_cast<double>(l.MedianUs));
    figure("  mean", l.MeanUs);
    figure("  95th percentile", static_cast<double>(l.P95Us));
    figure("  99th percentile", static_cast<double>(l.P99Us));
    figure("  maximum", static_cast<double>(l.MaxUs));
    figure("  jitter (std dev)", l.JitterUs);
    figure("  peak-to-peak", static_cast<double>(l.PeakToPeakUs));
    figure("  mean abs. dev.", l.MeanAbsoluteDeviationUs);
  }
  text += QLatin1Char('\n');
  text += QStringLiteral("Result     %1\n").arg(LinkTestVerdict(outcome));
  return text;
}

QJsonObject LinkTestReportJson(const LinkTestOutcome& outcome) {
  const LinkTestRun& run = outcome.Run;
  const LinkTestSettings& s = run.Settings();
  const LinkTestRun::Counts c = run.GetCounts();
  const LatencyStats::Summary l = run.Latencies().Summarize();
  const auto number = [](uint64_t value) { return QJsonValue(static_cast<double>(value)); };

  QJsonObject settings{
      {QStringLiteral("kind"), KindName(s.Kind)},
      {QStringLiteral("sysex_length"), s.Kind == LinkMessageKind::Sysex ? QJsonValue(s.SysexLength) : QJsonValue()},
      {QStringLiteral("count"), s.Count},
      {QStringLiteral("rate"), s.OneInFlight ? QJsonValue() : QJsonValue(s.RatePerSecond)},
      {QStringLiteral("one_at_a_time"), s.OneInFlight},
      {QStringLiteral("moments"), s.RandomMoments ? QStringLiteral("random") : QStringLiteral("even")},
      // As text: a JSON number loses the digits of a seed beyond 2^53.
      {QStringLiteral("seed"), QString::number(outcome.Seed)},
      {QStringLiteral("timeout_ms"), s.TimeoutMs},
      {QStringLiteral("warmup"), s.WarmUp},
  };
  QJsonObject counts{
      {QStringLiteral("sent"), number(c.Sent)},
      {QStringLiteral("received"), number(c.Received)},
      {QStringLiteral("lost"), number(c.Lost)},
      {QStringLiteral("out_of_order"), number(c.OutOfOrder)},
      {QStringLiteral("corrupted"), number(c.Corrupted)},
      {QStringLiteral("duplicates"), number(c.Duplicates)},
  };
  QJsonObject latency{{QStringLiteral("count"), number(l.Count)}};
  const auto figure = [&](const char* key, double us) {
    latency.insert(QLatin1String(key), l.Count == 0 ? QJsonValue() : QJsonValue(Rounded(us)));
  };
  figure("min", static_cast<double>(l.MinUs));
  figure("median", static_cast<double>(l.MedianUs));
  figure("mean", l.MeanUs);
  figure("p95", static_cast<double>(l.P95Us));
  figure("p99", static_cast<double>(l.P99Us));
  figure("max", static_cast<double>(l.MaxUs));
  figure("jitter", l.JitterUs);
  figure("peak_to_peak", static_cast<double>(l.PeakToPeakUs));
  figure("mean_absolute_deviation", l.MeanAbsoluteDeviationUs);

  static const char* const kResults[] = {"passed", "faults", "error"};
  const LinkTestExit status = LinkTestExitStatus(outcome);
  return QJsonObject{
      {QStringLiteral("route"),
       QJsonObject{{QStringLiteral("output"), outcome.Route.Output}, {QStringLiteral("input"), outcome.Route.Input}}},
      {QStringLiteral("settings"), settings},
      {QStringLiteral("counts"), counts},
      {QStringLiteral("latency_us"), latency},
      {QStringLiteral("result"), QLatin1String(kResults[status])},
      {QStringLiteral("verdict"), LinkTestVerdict(outcome)},
      {QStringLiteral("exit_status"), static_cast<int>(status)},
  };
}
