// Re-send from the log: a click shows a line's bytes, a double click sends them.
#include <QRegularExpression>

#include <array>
#include <exception>

#include "LogView.h"
#include "StatusBar.h"
#include "frmMain.h"
#include "uComm.h"

namespace {

constexpr int kOutcomePanel = 0;
constexpr int kBytesPanel = 1;
// A re-send is at most this many bytes; longer texts are refused whole rather
// than cut, which would put a truncated message on the wire.
constexpr size_t kMaxResendBytes = 255;

// The bytes of a log line: what follows the first " - " (the blank after the
// hyphen stays), up to the first "(" (the message name) if any.
QString CutLogLine(const QString& line) {
  QString text = line;
  const qsizetype marker = text.indexOf(QStringLiteral(" - "));
  if (marker >= 0) text.remove(0, marker + 2);
  const qsizetype name = text.indexOf(QLatin1Char('('));
  if (name >= 0) text.truncate(name);
  return text;
}

QString WithoutBlanks(const QString& text) {
  QString result = text;
  result.remove(QLatin1Char(' '));
  return result;
}

// A received system-exclusive line shows at most 500 bytes and never an odd
// last byte, while "(Sysex - N)" gives the full length: such a line does not
// hold the whole message.
bool ShowsPartOfSysex(const QString& line, const QString& cut) {
  static const QRegularExpression sysexCount(QStringLiteral("\\(Sysex - (\\d+)\\)"));
  const QRegularExpressionMatch match = sysexCount.match(line);
  if (!match.hasMatch()) return false;
  bool ok = false;
  const qlonglong length = match.captured(1).toLongLong(&ok);
  return !ok || WithoutBlanks(cut).size() / 2 < length;
}

}  // namespace

void TfmMain::MemoLogClick(QObject*) { Log_PickLine(false); }

void TfmMain::MemoLogDblClick(QObject*) { Log_PickLine(true); }

// The picked line is the logical line holding the log's cursor, however the
// view wraps it; without a cursor line (the view following the end), the
// newest line, and an empty text when the log is empty.
void TfmMain::Log_PickLine(bool SelectAndSend) {
  sbMain->SetPanelText(kOutcomePanel, QString());

  const TLogModel& log = *MemoLog->Model();
  const int cursor = MemoLog->CurrentLine();
  const int index = cursor >= 0 ? cursor : log.LineCount() - 1;
  const QString line = index >= 0 ? log.Line(index) : QString();
  if (SelectAndSend && index >= 0) MemoLog->SelectLines(index, index);

  try {
    const QString text = CutLogLine(line);
    sbMain->SetPanelText(kBytesPanel, text);
    if (!SelectAndSend) return;
    if (ShowsPartOfSysex(line, text)) {
      sbMain->SetPanelText(kOutcomePanel, QStringLiteral("Err-Fmt!"));
      return;
    }
    Log_SendHexText(text);
  } catch (...) {
    sbMain->SetPanelText(kOutcomePanel, QStringLiteral("Err-Sel!"));
  }
}

void TfmMain::Log_SendHexText(const QString& Text) {
  QString hex = WithoutBlanks(Text);
  const size_t count = static_cast<size_t>(hex.size() / 2);
  if (count == 0 || count > kMaxResendBytes) {
    sbMain->SetPanelText(kOutcomePanel, QStringLiteral("Err-Fmt!"));
    return;
  }
  std::array<uint8_t, kMaxResendBytes> data{};
  for (size_t i = 0; i < count; ++i) {
    data[i] = static_cast<uint8_t>(ParseHexText(hex.mid(static_cast<qsizetype>(2 * i), 2)) & 0xFF);
  }
  try {
    MidiOut_SendBytes(data, count, false);
    sbMain->SetPanelText(kOutcomePanel, QStringLiteral("Tx-OK"));
  } catch (...) {
    sbMain->SetPanelText(kOutcomePanel, QStringLiteral("Err-Tx!"));
  }
}

uint32_t ParseHexText(const QString& Text) {
  QString text;
  text.reserve(Text.size());
  for (QChar c : Text) {
    if (c.unicode() > 32) text += c;
  }
  text = text.toUpper();
  if (text.startsWith(QStringLiteral("0X"))) text.remove(0, 2);
  if (text.startsWith(QLatin1Char('$'))) text.remove(0, 1);

  uint32_t value = 0;
  for (QChar c : text) {
    const char16_t ch = c.unicode();
    uint32_t digit;
    if (ch >= u'0' && ch <= u'9') digit = ch - u'0';
    else if (ch >= u'A' && ch <= u'F') digit = ch - u'A' + 10;
    else break;
    if (value > 0x0FFFFFFFu) break;  // one more digit would pass 32 bits
    value = value * 16 + digit;
  }
  return value;
}
