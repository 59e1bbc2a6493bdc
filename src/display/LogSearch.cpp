#include "LogSearch.h"

#include "LogModel.h"

namespace {

bool IsHexDigit(QChar c) {
  return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

// The bytes of a line as " 90 3C 40 ": what follows the first " - " up to the
// first "(", each byte followed by a blank; empty when that part holds anything else.
QString LineBytes(const QString& line) {
  const qsizetype marker = line.indexOf(QLatin1String(" - "));
  if (marker < 0) return QString();
  qsizetype end = line.indexOf(QLatin1Char('('), marker);
  if (end < 0) end = line.size();
  QString bytes(QLatin1Char(' '));
  qsizetype i = marker + 3;
  while (i < end) {
    if (line[i] == u' ') {
      ++i;
      continue;
    }
    if (i + 1 >= end || !IsHexDigit(line[i]) || !IsHexDigit(line[i + 1])) return QString();
    bytes += line[i].toUpper();
    bytes += line[i + 1].toUpper();
    bytes += QLatin1Char(' ');
    i += 2;
  }
  return bytes;
}

}  // namespace

LogSearch::LogSearch(const QString& query) : FText(query.trimmed()) {
  QString digits = FText;
  digits.remove(QLatin1Char(' '));
  if (digits.isEmpty() || digits.size() % 2 != 0) return;
  for (QChar c : digits) {
    if (!IsHexDigit(c)) return;
  }
  FBytes = QStringLiteral(" ");
  for (qsizetype i = 0; i < digits.size(); i += 2) {
    FBytes += digits.mid(i, 2).toUpper();
    FBytes += QLatin1Char(' ');
  }
}

bool LogSearch::Matches(const QString& line) const {
  if (FText.isEmpty()) return false;
  if (line.contains(FText, Qt::CaseInsensitive)) return true;
  return !FBytes.isEmpty() && LineBytes(line).contains(FBytes);
}

int LogSearch::Find(const TLogModel& log, int from, bool forward) const {
  const int count = log.LineCount();
  if (count == 0 || FText.isEmpty()) return -1;
  if (from < 0 || from >= count) from = forward ? count - 1 : 0;
  for (int step = 1; step <= count; ++step) {
    const int line = forward ? (from + step) % count : ((from - step) % count + count) % count;
    if (Matches(log.Line(line))) return line;
  }
  return -1;
}
