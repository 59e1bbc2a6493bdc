// Re-send from the log: ParseHexText, the cut of the picked line and the
// send of its bytes, on one main window built once on the scriptable back end.
//
// Input: the log's text (UTF-8), optionally followed by a NUL byte and a
// character position in decimal ("<text>\0<position>"): the log's cursor goes
// on the line holding that character; without it, on the last line, the one
// most recently logged.
//
// ParseHexText must read what its rule gives; a click must show the cut text
// and send nothing; a double click and a direct Log_SendHexText must send
// exactly the bytes the text's pairs give when there are 1 to 255 of them
// (or report the send's failure), and nothing otherwise.
#include <QApplication>
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "LogView.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "StatusBar.h"
#include "TestMidiServices.h"
#include "frmMain.h"
#include "uComm.h"
#include "uDelay.h"

namespace {

[[noreturn]] void Fail(const char* what, const QString& text) {
  std::fprintf(stderr, "fuzz_hex_text: %s\n  text: \"%s\"\n", what, text.toUtf8().constData());
  __builtin_trap();
}

// In memory when the system offers it; ORVALIS_FUZZ_TMPDIR (set by
// scripts/fuzz.sh) overrides the choice.
QString ScratchBase() {
  const QString chosen = qEnvironmentVariable("ORVALIS_FUZZ_TMPDIR");
  if (!chosen.isEmpty()) return chosen;
  return QDir(QStringLiteral("/dev/shm")).exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
}

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

// Waits take no real time.
class TInstantClock : public TDelayClock {
 public:
  uint32_t TickCount() override { return FNow; }
  void WaitForEvents(uint32_t maxMs, bool pump) override {
    if (pump) QCoreApplication::processEvents();
    FNow += maxMs;
  }

 private:
  uint32_t FNow = 0;
};

// Everything the runs share. Made once and never destroyed: the process ends
// with it.
struct TSetup {
  TSetup() {
    auto owned = std::make_unique<TestMidiServices>();
    midi = owned.get();
    midi->AddInputDevice("Keyboard");
    midi->AddOutputDevice("Synth A");
    services = std::make_unique<ScopedMidiServices>(std::move(owned));
    clockScope = std::make_unique<TScopedDelayClock>(clock);
    MidiPorts_Start();
    window = std::make_unique<TfmMain>([this] { return prefsDir.filePath(QStringLiteral("orvalis.ini")); });
    fmMain = window.get();
    window->FormCreate(window.get());
    QCoreApplication::sendPostedEvents();
  }

  TestMidiServices* midi = nullptr;
  std::unique_ptr<ScopedMidiServices> services;
  TInstantClock clock;
  std::unique_ptr<TScopedDelayClock> clockScope;
  QTemporaryDir prefsDir{ScratchBase() + QStringLiteral("/fuzz_hex_text-XXXXXX")};
  std::unique_ptr<TfmMain> window;
};

TSetup* setup = nullptr;

// ParseHexText's rule, step by step.
uint32_t ExpectedHexValue(const QString& text) {
  std::u16string t;
  for (QChar c : text)
    if (c.unicode() > 32) t += (c.unicode() >= u'a' && c.unicode() <= u'z') ? char16_t(c.unicode() - 32) : c.unicode();
  if (t.size() >= 2 && t.compare(0, 2, u"0X") == 0) t.erase(0, 2);
  if (!t.empty() && t[0] != u'$') t.insert(0, 1, u'$');
  uint32_t value = 0;
  for (size_t i = 1; i < t.size(); ++i) {
    uint32_t digit;
    if (t[i] >= u'0' && t[i] <= u'9') digit = t[i] - u'0';
    else if (t[i] >= u'A' && t[i] <= u'F') digit = t[i] - u'A' + 10;
    else break;
    if (value > 0x0FFFFFFFu) break;
    value = value * 16 + digit;
  }
  return value;
}

// The cut of a log line: from the blank after the first " - ", up to the
// first "(".
QString ExpectedCut(const QString& line) {
  QString text = line;
  const qsizetype marker = text.indexOf(QStringLiteral(" - "));
  if (marker >= 0) text = text.mid(marker + 2);
  const qsizetype name = text.indexOf(QLatin1Char('('));
  if (name >= 0) text.truncate(name);
  return text;
}

// The bytes of a hexadecimal text: one per pair of characters once the
// blanks are gone.
std::vector<uint8_t> ExpectedBytes(const QString& text) {
  QString hex = text;
  hex.remove(QLatin1Char(' '));
  std::vector<uint8_t> bytes;
  for (qsizetype i = 0; i + 1 < hex.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(ExpectedHexValue(hex.mid(i, 2)) & 0xFF));
  return bytes;
}

// What the back end received since the last call, as byte strings.
std::vector<std::vector<uint8_t>> TakeSent() {
  QCoreApplication::sendPostedEvents();  // completes the long messages
  std::vector<std::vector<uint8_t>> sent = setup->midi->LongMessages();
  for (uint32_t m : setup->midi->ShortMessages())
    sent.push_back({static_cast<uint8_t>(m), static_cast<uint8_t>(m >> 8), static_cast<uint8_t>(m >> 16)});
  setup->midi->ClearSent();
  setup->midi->ClearCalls();
  return sent;
}

// The outcome of one send of `bytes`, as the first panel and the back end
// show it. `refused`: the text may be refused whole ("Err-Fmt!").
void CheckSend(const std::vector<uint8_t>& bytes, bool mayBeRefused, const QString& text) {
  const QString outcome = setup->window->sbMain->PanelText(0);
  const std::vector<std::vector<uint8_t>> sent = TakeSent();
  if (outcome == QLatin1String("Err-Fmt!") || outcome == QLatin1String("Err-Tx!")) {
    if (!sent.empty()) Fail("bytes went out although the outcome is an error", text);
    if (outcome == QLatin1String("Err-Fmt!") && !mayBeRefused && !bytes.empty() && bytes.size() <= 255)
      Fail("a text of 1 to 255 bytes was refused", text);
    return;
  }
  if (outcome != QLatin1String("Tx-OK")) Fail("unexpected outcome", text);
  if (bytes.empty() || bytes.size() > 255) Fail("a text of no bytes or more than 255 bytes was sent", text);
  if (sent.size() != 1) Fail("a send did not give exactly one message", text);
  std::vector<uint8_t> expected = bytes;
  if (bytes[0] != 0xF0) expected.resize(3, 0);  // a short message: at most three bytes
  if (sent[0] != expected) Fail("the bytes sent are not those of the text", text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  qInstallMessageHandler(Quiet);
  new QApplication(*argc, *argv);  // lives as long as the process
  setup = new TSetup;
  // The ports go before the statics they use are destroyed.
  std::atexit([] {
    MidiPorts_End();
    setup->prefsDir.remove();
  });
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray input(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const qsizetype split = input.indexOf('\0');
  const QString text = QString::fromUtf8(split < 0 ? input : input.left(split));

  if (ParseHexText(text) != ExpectedHexValue(text)) Fail("ParseHexText does not follow its rule", text);

  TfmMain& w = *setup->window;
  const TLogModel& log = *w.MemoLog->Model();
  w.MemoLog->Model()->SetText(text);
  const int lines = log.LineCount();
  int caretLine = lines - 1;
  if (split >= 0) {
    const auto length = static_cast<unsigned>(text.size() + 1);
    const auto position = static_cast<qsizetype>(input.mid(split + 1, 9).toUInt() % length);
    caretLine = std::min(static_cast<int>(text.left(position).count(QLatin1Char('\n'))), lines - 1);
  }
  if (caretLine >= 0) w.MemoLog->SetCurrentLine(caretLine);
  const QString line = caretLine >= 0 ? log.Line(caretLine) : QString();
  const QString cut = ExpectedCut(line);
  const std::vector<uint8_t> bytes = ExpectedBytes(cut);
  TakeSent();

  w.Log_PickLine(false);
  if (w.sbMain->PanelText(0) != QString()) Fail("a click left an outcome", line);
  if (w.sbMain->PanelText(1) != cut) Fail("a click did not show the cut line", line);
  if (!TakeSent().empty()) Fail("a click sent bytes", line);

  w.Log_PickLine(true);
  if (w.sbMain->PanelText(1) != cut) Fail("a double click did not show the cut line", line);
  CheckSend(bytes, line.contains(QLatin1String("(Sysex - ")), line);

  w.Log_SendHexText(text);
  CheckSend(ExpectedBytes(text), false, text);

  if (log.LineCount() != lines) Fail("a re-send changed the log", text);
  return 0;
}
