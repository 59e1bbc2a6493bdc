// The send routine: the one way out for every outgoing message.
#include <QTimer>

#include <climits>
#include <stdexcept>

#include "MidiOut.h"
#include "MidiText.h"
#include "frmMain.h"
#include "rmLed.h"
#include "uComm.h"

QString MidiOut_BytesText(std::span<const uint8_t> Data) { return HexBytesText(Data); }

void MidiOut_SendBytes(std::span<const uint8_t> Data, size_t Count, bool LogIt) {
  if (AbortDelay || Count == 0) return;
  if (Count > Data.size() || Count > UINT16_MAX) {
    throw std::invalid_argument("MidiOut_SendBytes: Count exceeds the bytes supplied");
  }
  const std::span<const uint8_t> bytes = Data.first(Count);

  try {
    const QString text = MidiOut_BytesText(bytes);
    if (!text.isEmpty() && LogIt && fmMain) fmMain->Log_Add_MidiOutEvent(text);
  } catch (...) {
    // Logging never stops the send.
  }

  if (!MidiOutPort) throw EMidiOutputError("MIDI Output port not available");

  TMyMidiEvent event;
  event.MidiMessage = bytes[0];
  if (Count > 1) event.Data1 = bytes[1];
  if (Count > 2) event.Data2 = bytes[2];
  if (bytes[0] == 0xF0) event.SetSysex(bytes.data(), static_cast<uint16_t>(Count));
  MidiOutPort->PutMidiEvent(event);

  if (fmMain) {
    fmMain->LedMidiOut->SetLedOn(true);
    if (!fmMain->TimerMidiOut->isActive()) fmMain->TimerMidiOut->start();
  }
  if (MidiOutCount < INT32_MAX) ++MidiOutCount;
  if (fmMain) fmMain->GUI_Refresh();
}
