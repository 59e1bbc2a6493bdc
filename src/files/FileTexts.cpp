#include "FileTexts.h"

namespace {

constexpr QChar kNoBreakSpace(0x00A0);

// One decimal with a decimal comma: 12.46 gives "12,5".
QString OneDecimal(qint64 bytes, qint64 unit) {
  const qint64 tenths = (bytes * 10 + unit / 2) / unit;
  return GroupedNumber(tenths / 10) + QLatin1Char(',') + QString::number(tenths % 10);
}

}  // namespace

QString GroupedNumber(qint64 value) {
  const bool negative = value < 0;
  QString digits = QString::number(value);
  if (negative) digits.remove(0, 1);
  QString grouped;
  grouped.reserve(digits.size() + digits.size() / 3 + 1);
  for (qsizetype i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += kNoBreakSpace;
    grouped += digits[i];
  }
  return negative ? QLatin1Char('-') + grouped : grouped;
}

QString ByteCountText(qint64 bytes) {
  return GroupedNumber(bytes) + (bytes == 1 || bytes == -1 ? QStringLiteral(" octet") : QStringLiteral(" octets"));
}

QString ByteSizeText(qint64 bytes) {
  constexpr qint64 kKo = 1024;
  constexpr qint64 kMo = 1024 * 1024;
  if (bytes < kKo) return ByteCountText(bytes);
  // Rounded to one decimal, 1 023,96 Ko would read "1 024,0 Ko": show it in Mo.
  if (bytes * 10 + kKo / 2 < kMo * 10) return OneDecimal(bytes, kKo) + QStringLiteral(" Ko");
  return OneDecimal(bytes, kMo) + QStringLiteral(" Mo");
}

QString DurationText(qint64 ms) {
  const qint64 seconds = ms <= 0 ? 0 : (ms + 999) / 1000;
  const qint64 h = seconds / 3600;
  const qint64 m = seconds / 60 % 60;
  const qint64 s = seconds % 60;
  const QString ss = QStringLiteral("%1").arg(s, 2, 10, QLatin1Char('0'));
  if (h == 0) return QStringLiteral("%1:%2").arg(m).arg(ss);
  return QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(ss);
}

QString MessageCountText(qint64 count) {
  return GroupedNumber(count) + (count == 1 || count == -1 ? QStringLiteral(" message") : QStringLiteral(" messages"));
}
