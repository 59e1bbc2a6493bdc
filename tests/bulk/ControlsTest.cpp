// The bulk window's controls: enabling rules, the number boxes, tab order,
// closing.

#include "BulkFixture.h"

#include <QGroupBox>
#include <QPlainTextEdit>

namespace {

class ControlsTest : public BulkFixture {};

struct TEnabling {
  bool data2MinBox, data2MaxBox, data2MinLabel, data2MaxLabel;
  bool operator==(const TEnabling&) const = default;
};

TEnabling Data2Row(const TfmSendBulk& w) {
  return {w.edData2Min->isEnabled(), w.edData2Max->isEnabled(), w.lblData2Min->isEnabled(),
          w.lblData2Max->isEnabled()};
}

TEST_F(ControlsTest, InitialStateAndLoopBoxesSwitchTheirRow) {
  StartBulk();
  EXPECT_EQ(bulk->windowTitle(), "Envoi par paquets");
  EXPECT_EQ(bulk->size(), QSize(497, 418));
  EXPECT_FALSE(bulk->isVisible());
  EXPECT_EQ(bulk->lblData0Min->text(), "Fixe");
  EXPECT_FALSE(bulk->edData0Max->isEnabled());
  EXPECT_FALSE(bulk->lblData0Max->isEnabled());
  EXPECT_EQ(bulk->lblData1Min->text(), "Min");
  EXPECT_TRUE(bulk->edData1Max->isEnabled());

  bulk->cbData0Loop->click();
  EXPECT_EQ(bulk->lblData0Min->text(), "Min");
  EXPECT_TRUE(bulk->edData0Max->isEnabled());
  EXPECT_TRUE(bulk->lblData0Max->isEnabled());
  bulk->cbData1Loop->click();
  EXPECT_EQ(bulk->lblData1Min->text(), "Fixe");
  EXPECT_FALSE(bulk->edData1Max->isEnabled());
  EXPECT_FALSE(bulk->lblData1Max->isEnabled());
  EXPECT_TRUE(bulk->edData1Min->isEnabled());
}

TEST_F(ControlsTest, EventTypeAndLoopBoxesEnableByteThreeLastOneWins) {
  StartBulk();
  bulk->rbProgramChange->click();
  EXPECT_EQ(Data2Row(*bulk), (TEnabling{false, false, false, false}));
  EXPECT_TRUE(bulk->cbData2Loop->isEnabled());

  bulk->cbData2Loop->click();  // unchecked: the loop rule disables the maximum
  bulk->cbData2Loop->click();  // checked again: it enables the maximum again
  EXPECT_EQ(Data2Row(*bulk), (TEnabling{false, true, false, true}));

  bulk->rbNote->click();
  EXPECT_EQ(Data2Row(*bulk), (TEnabling{true, true, true, true}));
  bulk->rbProgramChange->click();
  bulk->rbControlChange->click();
  EXPECT_EQ(Data2Row(*bulk), (TEnabling{true, true, true, true}));

  bulk->cbLoopInfinite->click();  // any box applies the loop rules in full
  EXPECT_EQ(bulk->lblData0Min->text(), "Fixe");
  EXPECT_FALSE(bulk->edData0Max->isEnabled());
}

TEST_F(ControlsTest, HexadecimalBoxesShowPrefixAndUpperCaseDigits) {
  StartBulk();
  const std::pair<int, const char*> cases[] = {{0, "0x0"}, {9, "0x9"}, {0x3C, "0x3C"}, {127, "0x7F"}, {200, "0xC8"}};
  for (const auto& [value, text] : cases) {
    bulk->edData1Min->SetValue(value);
    EXPECT_EQ(bulk->edData1Min->text(), text);
    EXPECT_EQ(bulk->edData1Min->value(), value);
  }
}

TEST_F(ControlsTest, ValuesOutsideTheRange) {
  StartBulk();
  bulk->cbData0Loop->setChecked(true);  // enables edData0Max
  struct TCase {
    const char* name;
    TBulkSpinBox* box;
    int programValue;  // set by the program
    QString shownAfterSet;
    QString typed;  // typed by the user, then Return
    QString shownWhileTyping;
    QString shownAfterEdit;
  };
  const TCase cases[] = {
      {"edData0Min", bulk->edData0Min, 0, "1", "20", "20", "16"},
      {"edData0Max", bulk->edData0Max, 99, "16", "0", "0", "1"},
      {"edLoopDelay", bulk->edLoopDelay, 20000, "10000", "12345", "12345", "10000"},
      {"edData1Max", bulk->edData1Max, 200, "0xC8", "FF", "FF", "0x7F"},
      {"edData2Min", bulk->edData2Min, 255, "0xFF", "0x80", "0x80", "0x7F"},
  };
  for (const TCase& c : cases) {
    c.box->SetValue(c.programValue);
    EXPECT_EQ(c.box->text(), c.shownAfterSet) << c.name;
    Type(c.box, c.typed, false);
    EXPECT_EQ(c.box->text(), c.shownWhileTyping) << c.name;
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(c.box, &enter);
    EXPECT_EQ(c.box->text(), c.shownAfterEdit) << c.name;
  }
}

TEST_F(ControlsTest, ArrowsStayInsideTheRange) {
  StartBulk();
  bulk->edData1Max->stepBy(1);
  EXPECT_EQ(bulk->edData1Max->value(), 127);
  bulk->edData1Max->SetValue(200);
  bulk->edData1Max->stepBy(-1);
  EXPECT_EQ(bulk->edData1Max->value(), 127);
  bulk->edData0Min->stepBy(-1);
  EXPECT_EQ(bulk->edData0Min->value(), 1);
  bulk->edData0Min->stepBy(3);
  EXPECT_EQ(bulk->edData0Min->value(), 4);
}

TEST_F(ControlsTest, TabOrderFollowsTheForm) {
  StartBulk();
  const QWidget* expected[] = {bulk->cbMIDIOut,       bulk->cbData0Loop,     bulk->cbData1Loop, bulk->cbData2Loop,
                               bulk->edData0Min,      bulk->edData0Max,      bulk->edData1Min,  bulk->edData1Max,
                               bulk->edData2Min,      bulk->edData2Max,      bulk->edLoopDelay, bulk->rbProgramChange,
                               bulk->rbControlChange, bulk->rbNote,          bulk->cbLoopInfinite, bulk->Memo1,
                               bulk->btnSendBulkStop, bulk->btnSendBulkStart};
  for (size_t i = 1; i < std::size(expected); ++i) {
    const QWidget* next = expected[i - 1]->nextInFocusChain();
    // A spin box's line edit follows the box itself in the chain.
    while (next && next->parentWidget() == expected[i - 1]) next = next->nextInFocusChain();
    EXPECT_EQ(next, expected[i]) << expected[i - 1]->objectName().toStdString();
  }
}

TEST_F(ControlsTest, ClosingOnlyHides) {
  StartBulk();
  window->ActToolsSendBulk->trigger();
  EXPECT_TRUE(bulk->isVisible());
  bulk->Memo1->appendPlainText("kept");
  EXPECT_TRUE(bulk->close());
  EXPECT_FALSE(bulk->isVisible());
  EXPECT_EQ(fmSendBulk, bulk.get());
  window->ActToolsSendBulk->trigger();
  EXPECT_EQ(MemoLines(), QStringList{"kept"});
}

}  // namespace
