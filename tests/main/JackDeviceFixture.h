#pragma once
// The main window with real waits on a JACK client as its device: the names
// the lists give the client's ports, both ports open, traffic both ways.
#include <QColor>
#include <QCoreApplication>

#include <string>

#include "JackTestClient.h"
#include "MainWindowFixture.h"
#include "StatusShape.h"

class JackDeviceFixture : public MainWindowFixture {
 protected:
  void SetUp() override { realWaits = true; }

  static QString InputOf(const std::string& client) { return QString::fromStdString(client) + ":out (JACK)"; }
  static QString OutputOf(const std::string& client) { return QString::fromStdString(client) + ":in (JACK)"; }

  void ExpectBothOpen() {
    EXPECT_EQ(MidiOutPort->State(), mosOpen);
    EXPECT_EQ(window->shMidiOut->BrushColor(), kLime);
    EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut ouvert");
    EXPECT_EQ(MidiInPort->State(), misOpen);
    EXPECT_EQ(window->shMidiIn->BrushColor(), kLime);
    EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn ouvert");
  }

  // Both ports closed by the device's going, red, their hints saying so.
  void ExpectBothAwaited() {
    EXPECT_EQ(MidiOutPort->State(), mosClosed);
    EXPECT_EQ(window->shMidiOut->BrushColor(), kRed);
    EXPECT_EQ(window->shMidiOut->Hint(), "Port MidiOut fermé : périphérique déconnecté, en attente de son retour");
    EXPECT_EQ(MidiInPort->State(), misClosed);
    EXPECT_EQ(window->shMidiIn->BrushColor(), kRed);
    EXPECT_EQ(window->shMidiIn->Hint(), "Port MidiIn fermé : périphérique déconnecté, en attente de son retour");
  }

  // A Note On out to the device and one back into the log. A JACK graph that
  // has just changed may skip a period: each step is repeated until it shows.
  void ExpectTrafficBothWays(JackTestClient& device) {
    device.ClearReceived();
    const bool sent = JackTestClient::Retry(
        [&] { window->btnSendData1Click(window->btnSendData1); },
        [&] {
          QCoreApplication::processEvents();  // as the window's own loop would meanwhile
          for (const auto& message : device.Received()) {
            if (message == JackTestClient::Message{0x90, 0x3C, 0x40}) return true;
          }
          return false;
        });
    EXPECT_TRUE(sent) << device.Graph();
    const bool received = JackTestClient::Retry(
        [&] { device.Send({0x92, 0x40, 0x11}); },
        [&] {
          QCoreApplication::processEvents();
          return LogLines().contains("[MIDI-In] - 92 40 11 (Note On)");
        });
    EXPECT_TRUE(received) << device.Graph() << LogLines().join('\n').toStdString();
  }

  static inline const QColor kLime{0x00, 0xFF, 0x00};
  static inline const QColor kRed{0xFF, 0x00, 0x00};
};
