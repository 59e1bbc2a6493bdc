#pragma once
// Splits a MIDI byte stream into messages the way a receiving driver does:
// running status for channel messages, real-time bytes anywhere (also inside a
// system-exclusive message, which goes on around them), a system-exclusive
// message ended by F7 or cut short by any other status byte, and data bytes
// without a status dropped.
//
// Not thread-safe; whoever feeds it owns it. Feed allocates nothing.

#include <cstdint>

class MidiParser {
 public:
  class Sink {
   public:
    // A complete short message, packed as status + 256 * data1 + 65536 * data2.
    virtual void OnShortMessage(uint32_t packed) = 0;
    // One byte of a system-exclusive message: F0 first, F7 last if it ends normally.
    virtual void OnSysexByte(uint8_t byte) = 0;
    // The message ended: complete when by F7, otherwise cut short.
    virtual void OnSysexEnd(bool complete) = 0;

   protected:
    ~Sink() = default;
  };

  void Feed(uint8_t byte, Sink& sink);
  // Forgets a partial message and the running status (nothing is reported).
  void Reset();
  bool InSysex() const { return inSysex_; }

 private:
  void OnStatus(uint8_t status, Sink& sink);

  uint8_t status_ = 0;  // running status, 0 when none
  uint8_t data1_ = 0;
  int dataNeeded_ = 0;
  int dataHeld_ = 0;
  bool inSysex_ = false;
};
