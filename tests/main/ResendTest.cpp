// Re-send from the log: ParseHexText, the cut of each line format, the
// outcome texts and one send per double click.
#include <QApplication>
#include <QCheckBox>
#include <QMouseEvent>
#include <QTextBlock>

#include "LogMemo.h"
#include "StatusBar.h"
#include "TransmitFixture.h"

namespace {

struct HexCase {
  const char* text;
  uint32_t value;
};

TEST(ParseHexTextTest, ReadsLeadingHexDigitsAndNeverFails) {
  const HexCase cases[] = {
      {"3c", 0x3C},        {"7F", 0x7F},          {"3Z", 0x03},         {"Te", 0x00},
      {"bo", 0x0B},        {"0x7f", 0x7F},        {"0X7F", 0x7F},       {"$41", 0x41},
      {"", 0},             {"$", 0},              {"0x", 0},            {" 4\t2 ", 0x42},
      {"FFFFFFFF", 0xFFFFFFFF}, {"123456789", 0x12345678}, {"FFFFFFFFF", 0xFFFFFFFF},
      {"$$1", 0},
  };
  for (const HexCase& c : cases) {
    EXPECT_EQ(ParseHexText(QString::fromUtf8(c.text)), c.value) << '"' << c.text << '"';
  }
}

class ResendTest : public TransmitFixture {
 protected:
  QString Outcome() const { return window->sbMain->PanelText(0); }
  QString Bytes() const { return window->sbMain->PanelText(1); }

  // Puts the caret inside the given logical line.
  void CaretInLine(int line, int column = 3) {
    const QTextBlock block = window->MemoLog->document()->findBlockByNumber(line);
    QTextCursor cursor(block);
    cursor.setPosition(block.position() + std::min(column, block.length() - 1));
    window->MemoLog->setTextCursor(cursor);
  }

  // Sends a press-release-press-double-click-release sequence at the line.
  void DoubleClickLine(int line) {
    CaretInLine(line);
    QWidget* viewport = window->MemoLog->viewport();
    const QPointF at = window->MemoLog->cursorRect().center();
    const QPointF global = viewport->mapToGlobal(at);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                              QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
      const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
      QMouseEvent event(type, at, global, Qt::LeftButton, held, Qt::NoModifier);
      QApplication::sendEvent(viewport, &event);
    }
  }

  std::vector<std::vector<uint8_t>> Sent() const {
    std::vector<std::vector<uint8_t>> all = midi->LongMessages();
    for (uint32_t m : midi->ShortMessages()) {
      all.push_back({static_cast<uint8_t>(m), static_cast<uint8_t>(m >> 8), static_cast<uint8_t>(m >> 16)});
    }
    return all;
  }
};

struct CutCase {
  const char* line;
  const char* cut;
};

TEST_F(ResendTest, ClickShowsTheBytesOfEachLineFormatWithOrWithoutTimeStamp) {
  Start();
  const CutCase cases[] = {
      {"[MIDI-In] - 90 3C 40 (Note On)", " 90 3C 40 "},
      {"[MIDI-In] - C5 07 (Program Change)", " C5 07 "},
      {"[MIDI-In] - F1 23 (MTC Quarter Frame)", " F1 23 "},
      {"[MIDI-In] - FA (Start)", " FA "},
      {"[MIDI-In] - F0 7E 00 F7  (Sysex - 4)", " F0 7E 00 F7  "},
      {"[Midi-Out] - F0 7F 00 06 02 F7", " F0 7F 00 06 02 F7"},
      {"[Midi-Out] - B0 01 02", " B0 01 02"},
      {"Test boucle...", "Test boucle..."},
      {"Test boucle : OK.", "Test boucle : OK."},
      {"", ""},
  };
  for (const char* stamp : {"", "[14:05:09:123] "}) {
    for (const CutCase& c : cases) {
      const QString line = QString::fromUtf8(c.line);
      const QString stamped = line.isEmpty() || line.startsWith("Test") ? line : stamp + line;
      SCOPED_TRACE(stamped.toStdString());
      window->MemoLog->setPlainText("first line\n" + stamped + "\nlast line");
      window->sbMain->SetPanelText(0, "Tx-OK");
      CaretInLine(1);
      window->MemoLogClick(window->MemoLog);
      EXPECT_EQ(Bytes(), QString::fromUtf8(c.cut));
      EXPECT_EQ(Outcome(), "");
    }
  }
  EXPECT_TRUE(Sent().empty());
}

TEST_F(ResendTest, DoubleClickOnAReceivedLineSelectsItAndSendsItOnceWithoutLogging) {
  Start();
  Receive({0x403C90});
  ASSERT_EQ(LogLines(), QStringList{"[MIDI-In] - 90 3C 40 (Note On)"});
  DoubleClickLine(0);
  EXPECT_EQ(Sent(), (std::vector<std::vector<uint8_t>>{{0x90, 0x3C, 0x40}}));
  EXPECT_EQ(Outcome(), "Tx-OK");
  EXPECT_EQ(Bytes(), " 90 3C 40 ");
  EXPECT_EQ(window->MemoLog->textCursor().selectedText(), "[MIDI-In] - 90 3C 40 (Note On)");
  EXPECT_EQ(LogLines().size(), 1);
  EXPECT_EQ(MidiOutCount, 1);
}

TEST_F(ResendTest, DoubleClickResendsAnMmcLineAsOneSystemExclusiveMessage) {
  Start();
  window->cbDTflag->setChecked(true);
  window->btnSendRTStart->click();
  midi->ClearSent();
  DoubleClickLine(0);
  EXPECT_EQ(midi->LongMessages(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7}}));
  EXPECT_TRUE(midi->ShortMessages().empty());
  EXPECT_EQ(Outcome(), "Tx-OK");
}

TEST_F(ResendTest, PicksTheWholeLogicalLineEvenWhenItWraps) {
  Start();
  std::vector<uint8_t> bytes(200, 0x11);
  bytes.front() = 0xF0;
  bytes.back() = 0xF7;
  MidiOut_SendBytes(bytes, bytes.size(), true);
  midi->ClearSent();
  window->MemoLog->resize(200, 300);
  QCoreApplication::processEvents();
  const QTextBlock block = window->MemoLog->document()->firstBlock();
  ASSERT_GT(block.layout()->lineCount(), 1);  // wrapped on screen
  CaretInLine(0, block.length() - 5);          // in its last displayed piece
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(midi->LongMessages(), std::vector<std::vector<uint8_t>>{bytes});
  EXPECT_EQ(Outcome(), "Tx-OK");
}

struct RefusedCase {
  const char* name;
  QString line;
};

TEST_F(ResendTest, TextsThatGiveNoWholeMessageAreRefused) {
  Start();
  QString long256 = "[Midi-Out] - F0";
  for (int i = 0; i < 254; ++i) long256 += " 00";
  long256 += " F7";
  QString long255 = "[Midi-Out] - F0";
  for (int i = 0; i < 253; ++i) long255 += " 00";
  long255 += " F7";
  const RefusedCase refused[] = {
      {"empty line", ""},
      {"one character", "[Midi-Out] - F"},
      {"256 bytes", long256},
      {"odd-length sysex", "[MIDI-In] - F0 01 02 03  (Sysex - 5)"},
      {"sysex longer than shown", "[MIDI-In] - F0 01 02 F7  (Sysex - 900)"},
  };
  for (const RefusedCase& c : refused) {
    SCOPED_TRACE(c.name);
    window->MemoLog->setPlainText(c.line);
    CaretInLine(0);
    window->MemoLogDblClick(window->MemoLog);
    EXPECT_EQ(Outcome(), "Err-Fmt!");
    EXPECT_TRUE(Sent().empty());
  }
  // 255 bytes still go out, and so does a received sysex line shown whole.
  window->MemoLog->setPlainText(long255);
  CaretInLine(0);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(Outcome(), "Tx-OK");
  ASSERT_EQ(midi->LongMessages().size(), 1u);
  EXPECT_EQ(midi->LongMessages()[0].size(), 255u);
  midi->ClearSent();
  window->MemoLog->setPlainText("[MIDI-In] - F0 7E 00 F7  (Sysex - 4)");
  CaretInLine(0);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(Outcome(), "Tx-OK");
  EXPECT_EQ(midi->LongMessages(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x7E, 0x00, 0xF7}}));
}

// A received system-exclusive message of odd length shows all its bytes, F7
// included, so that its line sends the same message again.
TEST_F(ResendTest, AReceivedSystemExclusiveOfOddLengthIsSentAgainWhole) {
  Start();
  ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x7D, 0x01, 0x02, 0xF7}));
  Pump();
  ASSERT_EQ(LogLines(), QStringList{"[MIDI-In] - F0 7D 01 02 F7  (Sysex - 5)"});
  midi->ClearSent();
  DoubleClickLine(0);
  EXPECT_EQ(Outcome(), "Tx-OK");
  EXPECT_EQ(midi->LongMessages(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x7D, 0x01, 0x02, 0xF7}}));
}

// "Test boucle..." gives 00 00 0B 00 00 00: handed to the port as a message,
// which a device refuses for want of a status byte.
TEST_F(ResendTest, FreeTextIsHandedOnAsTheBytesItsPairsGiveAndRefusedWithoutAStatusByte) {
  Start();
  midi->ClearCalls();
  window->MemoLog->setPlainText("Test boucle...");
  CaretInLine(0);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(Outcome(), "Err-Tx!");
  EXPECT_TRUE(midi->ShortMessages().empty());
  const auto calls = midi->Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].op, "midiOutShortMsg");
  EXPECT_EQ(calls[0].args.at(1), 0x0B0000u);
}

TEST_F(ResendTest, WithoutOutputTheOutcomeIsErrTx) {
  Start();
  window->MemoLog->setPlainText("[Midi-Out] - 90 3C 40");
  MidiOut_Close();
  CaretInLine(0);
  window->MemoLogDblClick(window->MemoLog);
  EXPECT_EQ(Outcome(), "Err-Tx!");
  EXPECT_EQ(LogLines().size(), 1);
}

}  // namespace
