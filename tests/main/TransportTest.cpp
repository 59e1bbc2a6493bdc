// Transport commands: the three families as a one-of-three choice, the bytes
// of each button, and the control-surface press, wait and release.
#include <QCheckBox>
#include <QFile>
#include <QPushButton>

#include "TransmitFixture.h"

namespace {

class TransportTest : public TransmitFixture {
 protected:
  QCheckBox* Family(int i) const {
    return std::array{window->cbMidiSendRT, window->cbMidiSendMMC, window->cbMidiSendMCP}[i];
  }
};

enum { kRT, kMMC, kMCP };

struct FamilyCase {
  const char* name;
  int family;
  bool continueEnabled;
  bool recEnabled;
  QStringList play, stop, cont, rec;
};

TEST_F(TransportTest, EachFamilySendsItsBytesAndEnablesItsButtons) {
  Start();
  const FamilyCase cases[] = {
      {"RT", kRT, true, false, {"FA"}, {"FC"}, {"FB"}, {}},
      {"MMC", kMMC, false, true, {"F0 7F 00 06 02 F7"}, {"F0 7F 00 06 01 F7"}, {}, {"F0 7F 00 06 06 F7"}},
      {"MCP", kMCP, false, true, {"90 5E 7F", "90 5E 00"}, {"90 5D 7F", "90 5D 00"}, {},
       {"90 5F 7F", "90 5F 00"}},
  };
  for (const FamilyCase& c : cases) {
    SCOPED_TRACE(c.name);
    Family(c.family)->click();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(Family(i)->isChecked(), i == c.family);
    EXPECT_EQ(window->btnSendRTContinue->isEnabled(), c.continueEnabled);
    EXPECT_EQ(window->btnSendRTRec->isEnabled(), c.recEnabled);
    EXPECT_TRUE(window->btnSendRTStart->isEnabled());
    EXPECT_TRUE(window->btnSendRTStop->isEnabled());

    const std::pair<QPushButton*, QStringList> presses[] = {{window->btnSendRTStart, c.play},
                                                            {window->btnSendRTStop, c.stop},
                                                            {window->btnSendRTContinue, c.cont},
                                                            {window->btnSendRTRec, c.rec}};
    for (const auto& [button, expected] : presses) {
      SCOPED_TRACE(button->text().toStdString());
      window->btnLogClearClick(window->btnLogClear);
      midi->ClearSent();
      button->click();  // a disabled button does nothing
      EXPECT_EQ(OutLines(), expected);
      const size_t onWire = midi->ShortMessages().size() + midi->LongMessages().size();
      EXPECT_EQ(onWire, static_cast<size_t>(expected.size()));
    }
  }
  // The MMC strings go out whole as system-exclusive messages.
  Family(kMMC)->click();
  midi->ClearSent();
  window->btnSendRTStart->click();
  EXPECT_EQ(midi->LongMessages(), (std::vector<std::vector<uint8_t>>{{0xF0, 0x7F, 0x00, 0x06, 0x02, 0xF7}}));
}

TEST_F(TransportTest, StartUpChoosesMmcWithContinueDisabled) {
  Start();
  EXPECT_TRUE(window->cbMidiSendMMC->isChecked());
  EXPECT_FALSE(window->cbMidiSendRT->isChecked());
  EXPECT_FALSE(window->cbMidiSendMCP->isChecked());
  EXPECT_FALSE(window->btnSendRTContinue->isEnabled());
  EXPECT_TRUE(window->btnSendRTRec->isEnabled());
}

TEST_F(TransportTest, ClickingTheCheckedBoxKeepsIt) {
  Start();
  window->cbMidiSendMMC->click();
  EXPECT_TRUE(window->cbMidiSendMMC->isChecked());
  EXPECT_FALSE(window->cbMidiSendRT->isChecked());
  EXPECT_FALSE(window->btnSendRTContinue->isEnabled());
  EXPECT_TRUE(window->btnSendRTRec->isEnabled());
}

TEST_F(TransportTest, ControlSurfaceHoldsTheButtonForOneHundredMilliseconds) {
  Start();
  window->cbMidiSendMCP->click();
  const uint32_t start = clock.Now;
  clock.Waits = 0;
  QStringList atWait;
  clock.OnWait = [&] { atWait = OutLines(); };
  window->btnSendRTStop->click();
  EXPECT_EQ(atWait, QStringList{"90 5D 7F"});
  EXPECT_EQ(clock.Now - start, 100u);
  EXPECT_EQ(clock.Waits, 1);
  EXPECT_EQ(OutLines(), (QStringList{"90 5D 7F", "90 5D 00"}));
  EXPECT_EQ(midi->ShortMessages(), (std::vector<uint32_t>{0x7F5D90, 0x005D90}));
}

TEST_F(TransportTest, ControlSurfacePressWithoutOutputSendsNoRelease) {
  Start();
  window->cbMidiSendMCP->click();
  MidiOut_Close();
  clock.Waits = 0;
  EXPECT_THROW(window->btnSendRTStartClick(window->btnSendRTStart), EMidiOutputError);
  EXPECT_EQ(OutLines(), QStringList{"90 5E 7F (Non envoyé : MIDI Output device not open)"});
  EXPECT_EQ(clock.Waits, 0);
}

// The release still goes out, before the port closes (see CompletionTest).
TEST_F(TransportTest, CloseDuringTheControlSurfaceWaitStillReleasesTheButton) {
  Start();
  window->cbMidiSendMCP->click();
  clock.OnWait = [&] { window->close(); };
  window->btnSendRTRec->click();
  EXPECT_EQ(OutLines(), (QStringList{"90 5F 7F", "90 5F 00"}));
  EXPECT_EQ(midi->ShortMessages(), (std::vector<uint32_t>{0x7F5F90, 0x005F90}));
  EXPECT_FALSE(midi->OutputOpen());
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_TRUE(QFile::exists(PrefsFileName));
}

}  // namespace
