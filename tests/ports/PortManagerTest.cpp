// The port manager: device lists, status shapes and hints, selection by name,
// port objects that could not be created, and the end of the program.
#include <QApplication>
#include <QComboBox>

#include "../main/MainWindowFixture.h"
#include "LogMemo.h"
#include "StatusShape.h"

namespace {

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kGrey(0x80, 0x80, 0x80);

struct Look {
  QColor color;
  QString hint;
};

class PortManagerTest : public MainWindowFixture {
 protected:
  static Look In() { return {fmMain->shMidiIn->BrushColor(), fmMain->shMidiIn->Hint()}; }
  static Look Out() { return {fmMain->shMidiOut->BrushColor(), fmMain->shMidiOut->Hint()}; }
};

void ExpectLook(const Look& actual, const QColor& color, const QString& hint) {
  EXPECT_EQ(actual.color, color);
  EXPECT_EQ(actual.hint, hint);
}

TEST_F(PortManagerTest, InputPortGetsItsSettingsAtCreation) {
  Start();
  EXPECT_EQ(MidiInPort->Capacity(), 1024);
  EXPECT_EQ(MidiInPort->SysexBufferCount(), 16);
  EXPECT_EQ(MidiInPort->SysexBufferSize(), 63999);
  EXPECT_EQ(MidiInPort->FilteredMessages(), TMidiMsgFilter{msgActiveSensing});
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
}

TEST_F(PortManagerTest, ShapesAndHintsFollowOpenAndClose) {
  Start();
  ExpectLook(In(), kLime, "Port MidiIn ouvert");
  ExpectLook(Out(), kLime, "Port MidiOut ouvert");

  MidiIn_Close();
  MidiOut_Close();
  ExpectLook(In(), kRed, "Port MidiIn fermé");
  ExpectLook(Out(), kRed, "Port MidiOut fermé");

  MidiIn_Close();  // already closed
  MidiOut_Close();
  ExpectLook(In(), kRed, "Port MidiIn fermé");
  ExpectLook(Out(), kRed, "Port MidiOut fermé");

  MidiIn_Open();
  MidiOut_Open();
  ExpectLook(In(), kLime, "Port MidiIn ouvert");
  ExpectLook(Out(), kLime, "Port MidiOut ouvert");
}

TEST_F(PortManagerTest, ShapesShowTheTransitionalColoursDuringTheOpeningWait) {
  Start();
  MidiIn_Close();
  MidiOut_Close();
  std::vector<QColor> during;
  clock.OnWait = [&] {
    during.push_back(fmMain->shMidiIn->BrushColor());
    during.push_back(fmMain->shMidiOut->BrushColor());
  };
  MidiIn_Open();
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during.front(), kRed);
  during.clear();
  MidiOut_Open();
  ASSERT_FALSE(during.empty());
  EXPECT_EQ(during[1], kGrey);
}

TEST_F(PortManagerTest, OpeningsWaitMoreThan200Milliseconds) {
  Start();
  MidiOut_Close();
  const uint32_t before = clock.Now;
  MidiOut_Open();
  EXPECT_EQ(clock.Now - before, 201u);
}

TEST_F(PortManagerTest, FailedOpensShowRedAndOnlyTheOutputChangesItsHint) {
  Start();
  MidiIn_Close();
  MidiOut_Close();
  fmMain->shMidiIn->SetHint("earlier");
  midi->FailNext("midiInOpen", MMSYSERR_ALLOCATED);
  midi->FailNext("midiOutOpen", MMSYSERR_ALLOCATED);
  fmMain->shMidiOut->SetHint("earlier");
  const uint32_t before = clock.Now;
  MidiIn_Open();
  EXPECT_EQ(clock.Now, before);  // no wait after a refused input
  MidiOut_Open();
  EXPECT_GT(clock.Now - before, 200u);  // the output waits all the same
  ExpectLook(In(), kRed, "earlier");
  ExpectLook(Out(), kRed, "Port MidiOut fermé");
  EXPECT_TRUE(LogLines().isEmpty());
}

TEST_F(PortManagerTest, EnumerationListsNamesInOrderWithDuplicatesAndRestoresTheCursor) {
  Start({{"Twin", "Twin", "Solo"}, {"Out A", "Out B"}});
  ASSERT_EQ(fmMain->cbMIDIIn->count(), 3);
  EXPECT_EQ(fmMain->cbMIDIIn->itemText(1), "Twin");
  EXPECT_EQ(fmMain->cbMIDIIn->currentIndex(), 0);
  EXPECT_EQ(fmMain->cbMIDIOut->count(), 2);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  MidiIn_Close();
  MidiIn_SelectByName("Solo");
  EXPECT_EQ(MidiInPort->DeviceID(), 2u);
  MidiIn_SelectByName("Twin");
  EXPECT_EQ(MidiInPort->DeviceID(), 0u);
  MidiIn_SelectByName("Nobody");  // no error, the choice stays
  EXPECT_EQ(MidiInPort->DeviceID(), 0u);
}

TEST_F(PortManagerTest, SelectingWhileOpenIsIgnored) {
  Start({{"A", "B"}, {"X", "Y"}});
  MidiIn_SelectByName("B");
  MidiOut_SelectByName("Y");
  EXPECT_EQ(MidiInPort->ProductName(), "A");
  EXPECT_EQ(MidiOutPort->ProductName(), "X");
}

// A device that cannot be read (gone between the count and the reading) is
// left out of its list, input or output; the enumeration goes on.
TEST_F(PortManagerTest, AnUnreadableDeviceIsLeftOutOfEitherList) {
  Start({{"In A", "In B"}, {"Out A", "Out B"}});
  midi->FailInputCaps(0, MMSYSERR_NODRIVER);
  midi->FailOutputCaps(1, MMSYSERR_NODRIVER);
  MidiIn_Close();
  MidiOut_Close();
  window->MemoLog->clear();
  MidiOutPort->SetOnMidiOutput(nullptr);
  EXPECT_NO_THROW(MidiPorts_Enumerate());
  EXPECT_EQ(fmMain->cbMIDIIn->count(), 1);
  EXPECT_EQ(fmMain->cbMIDIIn->itemText(0), "In B");
  EXPECT_EQ(fmMain->cbMIDIOut->count(), 1);
  EXPECT_EQ(fmMain->cbMIDIOut->itemText(0), "Out A");
  EXPECT_TRUE(MidiOutPort->OnMidiOutput());
  EXPECT_TRUE(MidiInPort->OnMidiInput());
  EXPECT_TRUE(LogLines().isEmpty());
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(PortManagerTest, NoDevicesStillConnectTheNotifications) {
  Start({{}, {}});
  EXPECT_EQ(LogLines(), (QStringList{"Aucun port MIDI In trouvé !", "Aucun port MIDI Out trouvé !"}));
  EXPECT_TRUE(MidiInPort->OnMidiInput());
  EXPECT_TRUE(MidiInPort->OnOverflow());
  EXPECT_TRUE(MidiOutPort->OnMidiOutput());
}

TEST_F(PortManagerTest, MissingPortObjectsMakeEveryOperationANoOp) {
  Start();
  MidiIn_Close();
  MidiOut_Close();
  MidiInPort.reset();
  MidiOutPort.reset();
  window->MemoLog->clear();
  MidiPorts_Enumerate();
  EXPECT_EQ(LogLines(), (QStringList{"Aucun port MIDI In trouvé !", "Aucun port MIDI Out trouvé !"}));
  EXPECT_EQ(fmMain->cbMIDIIn->count(), 0);

  fmMain->shMidiIn->SetHint("kept");
  fmMain->shMidiOut->SetHint("kept");
  const uint32_t before = clock.Now;
  MidiIn_Open();
  MidiOut_Open();
  MidiIn_SelectByName("Keyboard");
  MidiOut_SelectByName("Synth A");
  window->cbMIDIInChange(window->cbMIDIIn);
  window->cbMIDIOutChange(window->cbMIDIOut);
  EXPECT_EQ(clock.Now, before);
  ExpectLook(In(), kRed, "kept");
  ExpectLook(Out(), kGrey, "kept");
  EXPECT_FALSE(midi->InputOpen());
}

TEST_F(PortManagerTest, TheEndClosesAndFreesBothPortsWithoutTouchingTheShapes) {
  Start();
  MidiPorts_End();
  EXPECT_TRUE(ShuttingDown);
  EXPECT_EQ(MidiInPort, nullptr);
  EXPECT_EQ(MidiOutPort, nullptr);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_FALSE(midi->OutputOpen());
  ExpectLook(In(), kLime, "Port MidiIn ouvert");
  ExpectLook(Out(), kLime, "Port MidiOut ouvert");
}

}  // namespace
