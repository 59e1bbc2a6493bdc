#include "LinkTestTexts.h"

#include <QLocale>
#include <QStringList>

QString MillisecondsText(double microseconds, int decimals) {
  static const QLocale french(QLocale::French, QLocale::France);
  QLocale locale = french;
  locale.setNumberOptions(QLocale::OmitGroupSeparator);
  return locale.toString(microseconds / 1000.0, 'f', decimals) + QStringLiteral(" ms");
}

QString LinkTestSummaryLine(const LinkTestRun& run) {
  const LinkTestRun::Counts counts = run.GetCounts();
  QString line = QStringLiteral("Test de liaison");
  if (run.CurrentState() == LinkTestRun::State::Stopped) line += QStringLiteral(" arrêté");
  if (run.CurrentState() == LinkTestRun::State::Failed) line += QStringLiteral(" interrompu");
  line += QStringLiteral(" : %1/%2 reçus").arg(counts.Received).arg(counts.Sent);
  if (counts.Received > 0) {
    const LatencyStats::Summary s = run.Latencies().Summarize();
    line += QStringLiteral(", latence médiane %1 (max %2), gigue %3")
                .arg(MillisecondsText(static_cast<double>(s.MedianUs)), MillisecondsText(static_cast<double>(s.MaxUs)),
                     MillisecondsText(s.JitterUs));
  } else if (counts.Sent > 0) {
    line += QStringLiteral(", aucune réponse");
  }
  const auto plural = [](uint64_t n) { return n > 1 ? QStringLiteral("s") : QString(); };
  QStringList faults;
  if (counts.Lost > 0) faults << QStringLiteral("%1 perdu%2").arg(counts.Lost).arg(plural(counts.Lost));
  if (counts.OutOfOrder > 0) faults << QStringLiteral("%1 hors d'ordre").arg(counts.OutOfOrder);
  if (counts.Corrupted > 0) faults << QStringLiteral("%1 corrompu%2").arg(counts.Corrupted).arg(plural(counts.Corrupted));
  if (counts.Duplicates > 0) faults << QStringLiteral("%1 en double").arg(counts.Duplicates);
  if (!faults.isEmpty()) line += QStringLiteral(" ; ") + faults.join(QStringLiteral(", "));
  if (run.CurrentState() == LinkTestRun::State::Failed && !run.FailureText().isEmpty()) {
    line += QStringLiteral(" (") + run.FailureText() + QLatin1Char(')');
  }
  return line;
}

QString MessageStatusText(LinkTestRun::MessageStatus status) {
  switch (status) {
    case LinkTestRun::MessageStatus::Received:
      return QStringLiteral("reçu");
    case LinkTestRun::MessageStatus::OutOfOrder:
      return QStringLiteral("hors d'ordre");
    case LinkTestRun::MessageStatus::Corrupted:
      return QStringLiteral("corrompu");
    case LinkTestRun::MessageStatus::Lost:
      return QStringLiteral("perdu");
    case LinkTestRun::MessageStatus::Pending:
    case LinkTestRun::MessageStatus::Unanswered:
      break;
  }
  return QStringLiteral("sans réponse");
}
