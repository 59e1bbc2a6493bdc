#include "MidiParser.h"

#include "MidiBytes.h"

void MidiParser::Feed(uint8_t byte, Sink& sink) {
  if (IsRealTime(byte)) {
    sink.OnShortMessage(byte);
    return;
  }
  if (byte >= 0x80) {
    OnStatus(byte, sink);
    return;
  }
  if (inSysex_) {
    sink.OnSysexByte(byte);
    return;
  }
  if (status_ == 0) return;  // no status to attach it to
  if (dataHeld_ == 0 && dataNeeded_ == 2) {
    data1_ = byte;
    dataHeld_ = 1;
    return;
  }
  const uint32_t packed =
      dataNeeded_ == 2 ? PackShortMessage(status_, data1_, byte) : PackShortMessage(status_, byte);
  dataHeld_ = 0;
  if (status_ >= 0xF0) status_ = 0;  // system common messages leave no running status
  sink.OnShortMessage(packed);
}

void MidiParser::OnStatus(uint8_t status, Sink& sink) {
  if (inSysex_) {
    inSysex_ = false;
    if (status == 0xF7) {
      sink.OnSysexByte(status);
      sink.OnSysexEnd(true);
      return;
    }
    sink.OnSysexEnd(false);
  }
  dataHeld_ = 0;
  status_ = 0;
  if (status == 0xF0) {
    inSysex_ = true;
    sink.OnSysexByte(status);
    return;
  }
  if (status == 0xF7) return;  // an end without a start
  const int length = ShortMessageLength(status);
  if (length == 1) {
    sink.OnShortMessage(status);
    return;
  }
  status_ = status;
  dataNeeded_ = length - 1;
}

void MidiParser::Reset() {
  status_ = 0;
  dataHeld_ = 0;
  dataNeeded_ = 0;
  inSysex_ = false;
}
