#pragma once
// The main window on the program's own back ends, with real waits, and the
// round trip of a note and a system-exclusive message through a loop.
#include <algorithm>

#include <QComboBox>
#include <QPushButton>
#include <QRadioButton>

#include "CounterDisplay.h"
#include "HexSpinBox.h"
#include "MainWindowFixture.h"
#include "MidiOut.h"
#include "backends/SystemMidiServices.h"

class EndToEndTest : public MainWindowFixture {
 protected:
  void SetUp() override { realWaits = true; }


  std::function<std::string()> diagnose = [] { return std::string(); };

  void SendAndExpectEcho() {
    window->btnLogClearClick(window->btnLogClear);
    MidiInCount = 0;
    MidiOutCount = 0;
    MidiOut_SendBytes(std::array<uint8_t, 3>{0x93, 0x3C, 0x40}, 3, true);
    ASSERT_TRUE(WaitForLogLines(2)) << LogLines().join('\n').toStdString() << diagnose();
    EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - 93 3C 40", "[MIDI-In] - 93 3C 40 (Note On)"}));
    EXPECT_EQ(MidiOutCount, 1);
    EXPECT_EQ(MidiInCount, 1);
    EXPECT_EQ(window->cntMidiOut->Value(), 1);
    EXPECT_EQ(window->cntMidiIn->Value(), 1);

    MidiOut_SendBytes(std::array<uint8_t, 6>{0xF0, 0x7E, 0x00, 0x06, 0x01, 0xF7}, 6, true);
    ASSERT_TRUE(WaitForLogLines(4)) << LogLines().join('\n').toStdString() << diagnose();
    EXPECT_EQ(LogLines().mid(2), (QStringList{"[Midi-Out] - F0 7E 00 06 01 F7",
                                              "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)"}));
  }
};

