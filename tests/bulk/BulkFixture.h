#pragma once
// The program's windows on the scriptable back end, with the bulk window's
// helpers: reading Memo1, the waits taken, typing into a box.

#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QToolButton>

#include "../main/MainWindowFixture.h"
#include "BulkSpinBox.h"

// The fast clock that also notes the length of each blocking wait.
class TRecordingClock : public TFastDelayClock {
 public:
  void WaitForEvents(uint32_t maxMs, bool pump) override {
    Waits.push_back(maxMs);
    TFastDelayClock::WaitForEvents(maxMs, pump);
  }
  std::vector<uint32_t> Waits;
};

class BulkFixture : public MainWindowFixture {
 protected:
  void StartBulk() {
    Start({{"Keyboard"}, {"Synth A", "Synth B", "Synth C"}});
    sweepClockScope = std::make_unique<TScopedDelayClock>(sweepClock);
  }

  void TearDown() override {
    SendBulkRunning = false;
    sweepClockScope.reset();
    MainWindowFixture::TearDown();
  }

  QStringList MemoLines() const {
    const QString text = bulk->Memo1->toPlainText();
    return text.isEmpty() ? QStringList{} : text.split(QLatin1Char('\n'));
  }

  // Messages sent, packed as status + 256 * data1 + 65536 * data2.
  std::vector<uint32_t> Sent() const { return midi->ShortMessages(); }

  // Types `text` into the box as a user would, replacing its content, then
  // optionally ends the edit with Return.
  static void Type(TBulkSpinBox* box, const QString& text, bool finish = true) {
    box->selectAll();
    for (const QChar c : text) {
      QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
      QCoreApplication::sendEvent(box, &press);
    }
    if (finish) {
      QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
      QCoreApplication::sendEvent(box, &enter);
    }
  }

  // Every range fixed on one value: channel, byte #2, byte #3.
  void FixAll(int channel, int d1, int d2) {
    bulk->cbData0Loop->setChecked(false);
    bulk->cbData1Loop->setChecked(false);
    bulk->cbData2Loop->setChecked(false);
    bulk->edData0Min->SetValue(channel);
    bulk->edData1Min->SetValue(d1);
    bulk->edData2Min->SetValue(d2);
  }

  // The clock of the sweep's waits: sweepClock.Waits lists them in order,
  // sweepClock.OnWait runs inside each.
  TRecordingClock sweepClock;
  std::unique_ptr<TScopedDelayClock> sweepClockScope;
};

inline const QString kEndLine = QStringLiteral("Full loop ellapsed or aborted");
