// Devices that come and go while the program runs, on the scriptable back end:
// the lists follow the system's notices, an open device that goes away leaves
// its port closed and waiting, and the port opens again by itself when that
// device is back, unless the user chose another one meanwhile.
#include <QComboBox>
#include <QPushButton>

#include "CounterDisplay.h"
#include "MainWindowFixture.h"
#include "StatusShape.h"
#include "uDeviceWatch.h"

namespace {

const QColor kLime(0x00, 0xFF, 0x00);
const QColor kRed(0xFF, 0x00, 0x00);
const QString kInWaitingHint = "Port MidiIn fermé : périphérique déconnecté, en attente de son retour";
const QString kOutWaitingHint = "Port MidiOut fermé : périphérique déconnecté, en attente de son retour";

QStringList Entries(const QComboBox* list) {
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  return entries;
}

// Whether the entry of that text is shown as an awaited device's.
bool MarkedAwaited(const QComboBox* list, const QString& text) {
  const int index = list->findText(text);
  return index >= 0 && !list->itemData(index, Qt::ToolTipRole).toString().isEmpty();
}

class DevicesComeAndGoTest : public MainWindowFixture {
 protected:
  void StartWithTwoOfEach() {
    Start({{"Keyboard", "Pads"}, {"Synth A", "Synth B"}});
    ASSERT_EQ(MidiInPort->State(), misOpen);
    ASSERT_EQ(MidiOutPort->State(), mosOpen);
    window->btnLogClearClick(window->btnLogClear);
  }

  void Notify() {
    midi->NotifyDevicesChanged();
    Pump();
  }

  void ExpectInputOpenOn(const QString& name) {
    EXPECT_EQ(MidiInPort->State(), misOpen);
    EXPECT_EQ(QString::fromStdString(MidiInPort->ProductName()), name);
    EXPECT_EQ(window->cbMIDIIn->currentText(), name);
    EXPECT_EQ(window->shMidiIn->BrushColor(), kLime);
    EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn ouvert");
    EXPECT_TRUE(MidiPort_AwaitedDevice(mpkIn).isEmpty());
  }

  void ExpectOutputOpenOn(const QString& name) {
    EXPECT_EQ(MidiOutPort->State(), mosOpen);
    EXPECT_EQ(QString::fromStdString(MidiOutPort->ProductName()), name);
    EXPECT_EQ(window->cbMIDIOut->currentText(), name);
    EXPECT_EQ(window->shMidiOut->BrushColor(), kLime);
    EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut ouvert");
    EXPECT_TRUE(MidiPort_AwaitedDevice(mpkOut).isEmpty());
  }

  void ExpectInputWaitingFor(const QString& name) {
    EXPECT_EQ(MidiInPort->State(), misClosed);
    EXPECT_EQ(window->cbMIDIIn->currentText(), name);
    EXPECT_TRUE(MarkedAwaited(window->cbMIDIIn, name));
    EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);
    EXPECT_EQ(window->shMidiIn->Hint(), kInWaitingHint);
    EXPECT_EQ(MidiPort_AwaitedDevice(mpkIn), name);
  }

  void ExpectOutputWaitingFor(const QString& name) {
    EXPECT_EQ(MidiOutPort->State(), mosClosed);
    EXPECT_EQ(window->cbMIDIOut->currentText(), name);
    EXPECT_TRUE(MarkedAwaited(window->cbMIDIOut, name));
    EXPECT_EQ(window->shMidiOut->BrushColor(), kRed);
    EXPECT_EQ(window->shMidiOut->Hint(), kOutWaitingHint);
    EXPECT_EQ(MidiPort_AwaitedDevice(mpkOut), name);
  }
};

TEST_F(DevicesComeAndGoTest, ADeviceThatAppearsIsListedAndTheChosenOnesStayChosenAndOpen) {
  StartWithTwoOfEach();
  window->cbMIDIIn->setCurrentIndex(1);  // "Pads"
  window->cbMIDIOut->setCurrentIndex(1);  // "Synth B"
  midi->AddInputDevice("Guitar");
  midi->AddOutputDevice("Drum Machine");
  const int opensBefore = midi->CallCount("midiInOpen") + midi->CallCount("midiOutOpen");

  Notify();
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Keyboard", "Pads", "Guitar"}));
  EXPECT_EQ(Entries(window->cbMIDIOut), (QStringList{"Synth A", "Synth B", "Drum Machine"}));
  EXPECT_EQ(Entries(bulk->cbMIDIOut), Entries(window->cbMIDIOut));
  EXPECT_EQ(bulk->cbMIDIOut->currentIndex(), window->cbMIDIOut->currentIndex());
  ExpectInputOpenOn("Pads");
  ExpectOutputOpenOn("Synth B");
  EXPECT_EQ(midi->CallCount("midiInOpen") + midi->CallCount("midiOutOpen"), opensBefore)
      << "nothing is opened again";
  EXPECT_EQ(LogLines(), QStringList{}) << "a new device is no news for the log";

  // A device that is not chosen goes from the lists without further ado.
  midi->RemoveInputDevice("Keyboard");
  midi->RemoveOutputDevice("Synth A");
  Notify();
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Pads", "Guitar"}));
  EXPECT_EQ(Entries(window->cbMIDIOut), (QStringList{"Synth B", "Drum Machine"}));
  EXPECT_EQ(Entries(bulk->cbMIDIOut), Entries(window->cbMIDIOut));
  ExpectInputOpenOn("Pads");
  ExpectOutputOpenOn("Synth B");
  EXPECT_EQ(LogLines(), QStringList{});
}

TEST_F(DevicesComeAndGoTest, AnOpenDeviceUnpluggedLeavesItsPortClosedAndWaitingAndIsReopenedWhenBack) {
  StartWithTwoOfEach();
  QStringList gone, back;
  QObject::connect(&MidiDeviceEvents(), &TMidiDeviceEvents::DeviceGone, window.get(),
                   [&](TMidiPortKind kind, const QString& name) { gone << QString::number(kind) + name; });
  QObject::connect(&MidiDeviceEvents(), &TMidiDeviceEvents::DeviceBack, window.get(),
                   [&](TMidiPortKind kind, const QString& name) { back << QString::number(kind) + name; });

  midi->RemoveInputDevice("Keyboard");
  midi->RemoveOutputDevice("Synth A");
  Notify();
  ExpectInputWaitingFor("Keyboard");
  ExpectOutputWaitingFor("Synth A");
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Keyboard", "Pads"}));
  EXPECT_EQ(Entries(window->cbMIDIOut), (QStringList{"Synth A", "Synth B"}));
  EXPECT_EQ(Entries(bulk->cbMIDIOut), Entries(window->cbMIDIOut));
  EXPECT_TRUE(MarkedAwaited(bulk->cbMIDIOut, "Synth A"));
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In déconnecté : Keyboard",
                                     "Périphérique MIDI Out déconnecté : Synth A"}));
  EXPECT_EQ(gone, (QStringList{"0Keyboard", "1Synth A"}));

  // Nothing is sent, and nothing is counted as sent.
  const int32_t sentBefore = MidiOutCount;
  EXPECT_THROW(window->btnSendData1Click(window->btnSendData1), EMidiOutputError);
  EXPECT_EQ(MidiOutCount, sentBefore);
  EXPECT_TRUE(midi->ShortMessages().empty());

  // Other news leave the waiting as it is.
  midi->AddInputDevice("Guitar");
  Notify();
  ExpectInputWaitingFor("Keyboard");
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Keyboard", "Pads", "Guitar"}));

  window->btnLogClearClick(window->btnLogClear);
  midi->AddInputDevice("Keyboard");
  midi->AddOutputDevice("Synth A");
  Notify();
  ExpectInputOpenOn("Keyboard");
  ExpectOutputOpenOn("Synth A");
  EXPECT_FALSE(MarkedAwaited(window->cbMIDIIn, "Keyboard"));
  EXPECT_FALSE(MarkedAwaited(bulk->cbMIDIOut, "Synth A"));
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Pads", "Guitar", "Keyboard"}));
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In de retour, port rouvert : Keyboard",
                                     "Périphérique MIDI Out de retour, port rouvert : Synth A"}));
  EXPECT_EQ(back, (QStringList{"0Keyboard", "1Synth A"}));

  // And the devices work again.
  window->btnLogClearClick(window->btnLogClear);
  window->btnSendData1Click(window->btnSendData1);
  Receive({0x403C91});
  EXPECT_EQ(midi->ShortMessages(), std::vector<uint32_t>{0x403C90});
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - 90 3C 40", "[MIDI-In] - 91 3C 40 (Note On)"}));
}

TEST_F(DevicesComeAndGoTest, ADeviceGoneAndBackBetweenTwoNoticesIsReopened) {
  // The notice may come late: the port's handle is dead although a device of
  // that name is listed again.
  StartWithTwoOfEach();
  midi->RemoveInputDevice("Keyboard");
  midi->AddInputDevice("Keyboard");
  midi->RemoveOutputDevice("Synth A");
  midi->AddOutputDevice("Synth A");
  Notify();
  ExpectInputOpenOn("Keyboard");
  ExpectOutputOpenOn("Synth A");
  EXPECT_EQ(LogLines(), (QStringList{"Périphérique MIDI In déconnecté : Keyboard",
                                     "Périphérique MIDI In de retour, port rouvert : Keyboard",
                                     "Périphérique MIDI Out déconnecté : Synth A",
                                     "Périphérique MIDI Out de retour, port rouvert : Synth A"}));
  ASSERT_TRUE(midi->DeliverShort(0x403C90));
  Pump();
  EXPECT_EQ(MidiInCount, 1);
}

TEST_F(DevicesComeAndGoTest, ChoosingAnotherDeviceEndsTheWaiting) {
  StartWithTwoOfEach();
  midi->RemoveInputDevice("Keyboard");
  midi->RemoveOutputDevice("Synth A");
  Notify();
  ExpectInputWaitingFor("Keyboard");

  window->cbMIDIIn->setCurrentIndex(window->cbMIDIIn->findText("Pads"));
  ExpectInputOpenOn("Pads");
  EXPECT_EQ(Entries(window->cbMIDIIn), QStringList{"Pads"}) << "the gone device's entry goes";
  // The output, from the bulk window's list.
  bulk->cbMIDIOut->setCurrentIndex(bulk->cbMIDIOut->findText("Synth B"));
  ExpectOutputOpenOn("Synth B");
  EXPECT_EQ(Entries(window->cbMIDIOut), QStringList{"Synth B"});
  EXPECT_EQ(Entries(bulk->cbMIDIOut), QStringList{"Synth B"});
  EXPECT_EQ(UserPrefs.MidiInDevName, "Pads");
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth B");

  // Back, they are listed again, and nothing changes for the ports.
  window->btnLogClearClick(window->btnLogClear);
  midi->AddInputDevice("Keyboard");
  midi->AddOutputDevice("Synth A");
  Notify();
  ExpectInputOpenOn("Pads");
  ExpectOutputOpenOn("Synth B");
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Pads", "Keyboard"}));
  EXPECT_EQ(LogLines(), QStringList{});
}

TEST_F(DevicesComeAndGoTest, TheAwaitedDeviceIsRememberedWhenTheProgramCloses) {
  StartWithTwoOfEach();
  midi->RemoveOutputDevice("Synth A");
  Notify();
  window->close();
  TUserPrefs saved = UserPrefs;
  UserPrefs = TUserPrefs{};
  Prefs_Load(prefsDir.filePath("orvalis.ini"));
  EXPECT_EQ(UserPrefs.MidiOutDevName, "Synth A");
  EXPECT_EQ(UserPrefs.MidiInDevName, "Keyboard");
  UserPrefs = saved;
}

TEST_F(DevicesComeAndGoTest, AChosenDeviceThatGoesWhileItsPortIsClosedIsAwaitedToo) {
  Start({{"Keyboard"}, {"Synth A", "Synth B"}}, [](TestMidiServices& m) {
    m.FailNext("midiOutOpen", MIDIERR_NOTREADY);  // busy at start
  });
  window->btnLogClearClick(window->btnLogClear);
  ASSERT_EQ(MidiOutPort->State(), mosClosed);

  midi->RemoveOutputDevice("Synth A");
  Notify();
  ExpectOutputWaitingFor("Synth A");
  EXPECT_EQ(LogLines(), QStringList{"Périphérique MIDI Out déconnecté : Synth A"});

  midi->AddOutputDevice("Synth A");
  Notify();
  ExpectOutputOpenOn("Synth A");
}

TEST_F(DevicesComeAndGoTest, AnAwaitedDeviceThatCannotBeOpenedYetIsTriedAgainAtTheNextNotice) {
  StartWithTwoOfEach();
  midi->RemoveOutputDevice("Synth A");
  Notify();
  midi->AddOutputDevice("Synth A");
  midi->FailNext("midiOutOpen", MIDIERR_NOTREADY);
  Notify();
  EXPECT_EQ(MidiOutPort->State(), mosClosed);
  EXPECT_EQ(window->shMidiOut->Hint(), kOutWaitingHint);
  EXPECT_EQ(MidiPort_AwaitedDevice(mpkOut), "Synth A");
  EXPECT_EQ(window->cbMIDIOut->currentText(), "Synth A");

  Notify();
  ExpectOutputOpenOn("Synth A");
}

TEST_F(DevicesComeAndGoTest, AFlappingDeviceEndsOpenWithEveryComingAndGoingLogged) {
  StartWithTwoOfEach();
  for (int i = 0; i < 50; ++i) {
    midi->RemoveInputDevice("Keyboard");
    midi->RemoveOutputDevice("Synth A");
    if (i % 2 == 0) Notify();  // every other change is seen only with the next
    midi->AddInputDevice("Keyboard");
    midi->AddOutputDevice("Synth A");
    Notify();
  }
  ExpectInputOpenOn("Keyboard");
  ExpectOutputOpenOn("Synth A");
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Pads", "Keyboard"}));
  EXPECT_EQ(LogLines().filter("In déconnecté").size(), 50);
  EXPECT_EQ(LogLines().filter("In de retour").size(), 50);
  EXPECT_EQ(LogLines().filter("Out déconnecté").size(), 50);
  EXPECT_EQ(LogLines().filter("Out de retour").size(), 50);
  EXPECT_EQ(midi->CallCount("midiInOpen") - midi->CallCount("midiInClose"), 1);
  EXPECT_EQ(midi->CallCount("midiOutOpen") - midi->CallCount("midiOutClose"), 1);
}

TEST_F(DevicesComeAndGoTest, ANoticeDuringAnOpenIsHandledOnceTheOpenIsDone) {
  StartWithTwoOfEach();
  // The device goes while the input is being opened on it; its notice comes
  // during the open's wait.
  bool removed = false;
  clock.OnWait = [&] {
    if (removed) return;
    removed = true;
    midi->RemoveInputDevice("Pads");
    midi->NotifyDevicesChanged();
  };
  window->cbMIDIIn->setCurrentIndex(window->cbMIDIIn->findText("Pads"));
  clock.OnWait = nullptr;
  ASSERT_TRUE(removed);
  Pump();
  ExpectInputWaitingFor("Pads");
  EXPECT_EQ(LogLines(), QStringList{"Périphérique MIDI In déconnecté : Pads"});
}

TEST_F(DevicesComeAndGoTest, ListsThatWereEmptyFillWithoutChoosingForTheUser) {
  Start({{}, {}});
  midi->AddInputDevice("Keyboard");
  midi->AddOutputDevice("Synth A");
  Notify();
  EXPECT_EQ(Entries(window->cbMIDIIn), QStringList{"Keyboard"});
  EXPECT_EQ(Entries(window->cbMIDIOut), QStringList{"Synth A"});
  EXPECT_EQ(window->cbMIDIIn->currentIndex(), -1);
  EXPECT_EQ(window->cbMIDIOut->currentIndex(), -1);
  EXPECT_EQ(MidiInPort->State(), misClosed);
  EXPECT_EQ(MidiOutPort->State(), mosClosed);

  window->cbMIDIIn->setCurrentIndex(0);
  window->cbMIDIOut->setCurrentIndex(0);
  ExpectInputOpenOn("Keyboard");
  ExpectOutputOpenOn("Synth A");
}

TEST_F(DevicesComeAndGoTest, NoticesAfterTheCloseRequestOrTheEndChangeNothing) {
  StartWithTwoOfEach();
  window->close();
  midi->RemoveInputDevice("Keyboard");
  Notify();
  EXPECT_TRUE(MidiPort_AwaitedDevice(mpkIn).isEmpty());
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Keyboard", "Pads"}));

  MidiPorts_End();
  midi->NotifyDevicesChanged();
  Pump();
  EXPECT_EQ(Entries(window->cbMIDIIn), (QStringList{"Keyboard", "Pads"}));
}

}  // namespace
