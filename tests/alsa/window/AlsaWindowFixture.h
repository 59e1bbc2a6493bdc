#pragma once
// The main window on the machine's MIDI services, on the VM's ALSA sequencer
// (AlsaTestSupport.h): what a user sees of ALSA devices. Waits take real time.

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>

#include <functional>

#include "AlsaTestSupport.h"
#include "MainWindowFixture.h"
#include "StatusShape.h"
#include "backends/SystemMidiServices.h"

class AlsaWindowFixture : public MainWindowFixture {
 protected:
  void SetUp() override {
    realWaits = true;
    if (const std::string why = WhyNotTheVmSequencer(); !why.empty()) GTEST_SKIP() << why;
    Boot(CreateSystemMidiServices());
  }


  // Chooses the devices and expects both ports open.
  void ChooseDevices(const QString& input, const QString& output) {
    ASSERT_TRUE(Choose(window->cbMIDIIn, input)) << input.toStdString();
    ASSERT_TRUE(Choose(window->cbMIDIOut, output)) << output.toStdString();
    ASSERT_EQ(MidiInPort->State(), misOpen);
    ASSERT_EQ(MidiOutPort->State(), mosOpen);
    window->btnLogClearClick(window->btnLogClear);
  }


  std::string Log() const { return LogLines().join('\n').toStdString(); }
};
