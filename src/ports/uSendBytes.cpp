// The send routine: the one way out for every outgoing message, and the
// messages that timed sequences owe to their device.
#include <QTimer>

#include <algorithm>
#include <climits>
#include <stdexcept>

#include "MidiOut.h"
#include "MidiText.h"
#include "MidiBytes.h"
#include "frmMain.h"
#include "rmLed.h"
#include "uComm.h"

namespace {

// The bytes of the message that the port sends: all of a system-exclusive
// string, as many as its status byte calls for of a short message (the port
// leaves out the rest), all of them when the first is no status byte (the
// port refuses those).
std::span<const uint8_t> MessageBytes(std::span<const uint8_t> bytes) {
  if (bytes.empty() || bytes[0] == 0xF0) return bytes;
  const auto length = static_cast<size_t>(ShortMessageLength(bytes[0]));
  return length == 0 ? bytes : bytes.first(std::min(length, bytes.size()));
}

// The outgoing line into the log, or only into a recording of the traffic
// when the caller asked for no log line; an error while logging never stops a
// send.
void LogOutgoing(std::span<const uint8_t> message, const QString& refusal, bool logIt) {
  try {
    const QString text = MidiOut_MessageText(message, refusal);
    if (text.isEmpty() || !fmMain) return;
    if (logIt) {
      fmMain->Log_Add_MidiOutEvent(text);
    } else {
      fmMain->Log_Record_MidiOutEvent(text);
    }
  } catch (...) {
  }
}

// Hands one to 65535 bytes to the port, logs the outcome, shows the activity.
void Deliver(std::span<const uint8_t> bytes, bool logIt) {
  const size_t count = bytes.size();
  try {
    if (!MidiOutPort) throw EMidiOutputError("MIDI Output port not available");
    TMyMidiEvent event;
    event.MidiMessage = bytes[0];
    if (count > 1) event.Data1 = bytes[1];
    if (count > 2) event.Data2 = bytes[2];
    if (bytes[0] == 0xF0) event.SetSysex(bytes.data(), static_cast<uint16_t>(count));
    MidiOutPort->PutMidiEvent(event);
  } catch (const EMidiOutputError& error) {
    LogOutgoing(bytes, QString::fromUtf8(error.what()), logIt);
    throw;
  }
  LogOutgoing(bytes, QString(), logIt);

  if (fmMain) {
    fmMain->LedMidiOut->SetLedOn(true);
    if (!fmMain->TimerMidiOut->isActive()) fmMain->TimerMidiOut->start();
  }
  if (MidiOutCount < INT32_MAX) ++MidiOutCount;
  if (fmMain) fmMain->GUI_Refresh();
}

// The messages owed, oldest first.
std::vector<TOwedMessage*>& Owed() {
  static std::vector<TOwedMessage*> owed;
  return owed;
}

void Forget(TOwedMessage* message) { std::erase(Owed(), message); }

}  // namespace

QString MidiOut_MessageText(std::span<const uint8_t> Data, const QString& Refusal) {
  QString text = HexBytesText(MessageBytes(Data));
  if (!Refusal.isNull()) text += QStringLiteral(" (Non envoyé : %1)").arg(Refusal);
  return text;
}

void MidiOut_SendBytes(std::span<const uint8_t> Data, size_t Count, bool LogIt) {
  if (AbortDelay || Count == 0) return;
  if (Count > Data.size() || Count > UINT16_MAX) {
    throw std::invalid_argument("MidiOut_SendBytes: Count exceeds the bytes supplied");
  }
  Deliver(Data.first(Count), LogIt);
}

TOwedMessage::TOwedMessage(std::function<std::vector<uint8_t>()> bytes)
    : FBytes(std::move(bytes)), FOwed(!AbortDelay) {
  if (FOwed) Owed().push_back(this);
}

TOwedMessage::~TOwedMessage() { Forget(this); }

void TOwedMessage::Send() {
  if (!FOwed) return;
  FOwed = false;
  Forget(this);
  const std::vector<uint8_t> bytes = FBytes();
  if (bytes.empty() || bytes.size() > UINT16_MAX) return;
  Deliver(bytes, true);
}

void MidiOut_SendOwed() {
  while (!Owed().empty()) {
    try {
      Owed().front()->Send();
    } catch (...) {
      // The refusal is in the log; the port closes all the same.
    }
  }
}
