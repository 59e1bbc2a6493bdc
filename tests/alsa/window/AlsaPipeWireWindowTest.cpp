// The main window on a PipeWire desktop: the sequencer's devices reached
// directly (ALSA) and through PipeWire's bridge (JACK). Runs in the VM of
// scripts/with-alsa-vm.sh under scripts/with-pipewire.sh, the program on
// PipeWire's JACK library; skipped elsewhere.

#include <unistd.h>

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>

#include "AlsaTestSupport.h"
#include "JackServerProcess.h"
#include "MainWindowFixture.h"
#include "backends/SystemMidiServices.h"

namespace {

const QString kMidiThroughName = QString::fromStdString(kMidiThrough);
const QString kBridgeThroughIn = "Midi-Bridge:Midi Through:(capture_0) Midi Through Port-0 (JACK)";
const QString kBridgeThroughOut = "Midi-Bridge:Midi Through:(playback_0) Midi Through Port-0 (JACK)";

QStringList Entries(const QComboBox* list) {
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  return entries;
}

class AlsaPipeWireWindow : public MainWindowFixture {
 protected:
  void SetUp() override {
    realWaits = true;
    if (access("/dev/snd/seq", R_OK | W_OK) != 0 || SequencerClientNumber("Midi Through") < 0) {
      GTEST_SKIP() << "needs the ALSA sequencer of scripts/with-alsa-vm.sh";
    }
    if (!JackServerProcess::LibraryIsPipeWires()) {
      GTEST_SKIP() << "needs PipeWire's JACK library (scripts/with-pipewire.sh)";
    }
    Boot(CreateSystemMidiServices());
    // PipeWire shows its bridge's ports a moment after it starts.
    QElapsedTimer watch;
    watch.start();
    while (window->cbMIDIIn->findText(kBridgeThroughIn) < 0 && watch.elapsed() < 20000) PumpFor(100);
    ASSERT_GE(window->cbMIDIIn->findText(kBridgeThroughIn), 0) << Entries(window->cbMIDIIn).join('\n').toStdString();
  }

  // The loop test through the devices, once their ports are open; the
  // bridge's route may take a moment to carry its first message.
  QStringList LoopTestThrough(const QString& input, const QString& output) {
    EXPECT_TRUE(Choose(window->cbMIDIIn, input)) << input.toStdString();
    EXPECT_TRUE(Choose(window->cbMIDIOut, output)) << output.toStdString();
    EXPECT_EQ(MidiInPort ? MidiInPort->State() : misClosed, misOpen);
    EXPECT_EQ(MidiOutPort ? MidiOutPort->State() : mosClosed, mosOpen);
    QStringList lines;
    for (int attempt = 0; attempt < 5; ++attempt) {
      window->btnLogClearClick(window->btnLogClear);
      window->ActToolsLoopTestExecute(window->ActToolsLoopTest);
      lines = LogLines();
      if (lines.endsWith("Test boucle : OK.")) break;
      PumpFor(500);
    }
    return lines;
  }
};

const QStringList kLoopTestPassed = {"Test boucle...",          "[Midi-Out] - 90 3C 40",
                                     "[MIDI-In] - 90 3C 40 (Note On)", "[Midi-Out] - 80 3C 40",
                                     "[MIDI-In] - 80 3C 40 (Note Off)", "Test boucle : OK."};

TEST_F(AlsaPipeWireWindow, TheLoopTestThroughMidiThroughPassesOnBothRoutes) {
  EXPECT_EQ(LoopTestThrough(kMidiThroughName, kMidiThroughName), kLoopTestPassed);
  EXPECT_EQ(LoopTestThrough(kBridgeThroughIn, kBridgeThroughOut), kLoopTestPassed);
  // Neither list shows the program's own ports, by either route.
  for (QComboBox* list : {window->cbMIDIIn, window->cbMIDIOut}) {
    for (const QString& name : Entries(list)) {
      if (name == "Orvalis Loopback") continue;
      EXPECT_FALSE(name.contains("Orvalis")) << name.toStdString();
    }
  }
}

}  // namespace
