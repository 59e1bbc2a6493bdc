#pragma once
// The port manager and the send routine: the program's one MIDI input port and
// one MIDI output port, their device lists and status shapes on the main
// window, selection by name, and the single routine through which every
// outgoing message passes.
//
// Threads: user-interface thread only. Ownership: the port manager owns both
// ports from MidiPorts_Start to MidiPorts_End (none when creation failed).
// Every failure of opening, closing and selecting is swallowed and shown only
// on the status shapes; the send routine lets port errors reach its caller.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <vector>

#include "uDelay.h"

class TMidiInput;
class TMidiOutput;

extern std::unique_ptr<TMidiInput> MidiInPort;
extern std::unique_ptr<TMidiOutput> MidiOutPort;
// Set once when the port manager ends: the display is no longer touched.
extern bool ShuttingDown;
// Messages accepted by the output port since start or the last Reset.
extern int32_t MidiOutCount;

// Creates both ports (input: queue of 4095 messages, the largest one ring
// block holds; 16 system-exclusive buffers of 63999 bytes; active sensing
// filtered; under heavy traffic, input taken in batches of 16 ms). A port
// whose creation fails stays none.
void MidiPorts_Start();
// Sets ShuttingDown, closes and frees both ports without touching the display.
void MidiPorts_End();

// The port manager's lifetime as a scope (program entry).
class TMidiPortsSession {
 public:
  TMidiPortsSession() { MidiPorts_Start(); }
  ~TMidiPortsSession() { MidiPorts_End(); }
  TMidiPortsSession(const TMidiPortsSession&) = delete;
  TMidiPortsSession& operator=(const TMidiPortsSession&) = delete;
};

// Fills the main window's two device lists (first entry chosen), connects
// the ports' notifications to the main window, and from then on follows the
// devices as they come and go (uDeviceWatch.h).
void MidiPorts_Enumerate();
void MidiIn_Open();
void MidiIn_Close();
void MidiOut_Open();
void MidiOut_Close();
void MidiIn_SelectByName(const QString& name);
void MidiOut_SelectByName(const QString& name);

// Sends the first Count bytes of Data as one message: a system-exclusive string
// when the first byte is 0xF0, otherwise a short message of at most the first
// three bytes (the port sends as many as the status byte calls for). With
// LogIt the outcome is logged as an outgoing line: the bytes sent, or the
// bytes and the reason when the port refused them. On success lights the
// output LED and counts the message. Does nothing once AbortDelay is set or
// when Count is 0. Raises EMidiOutputError when the port refuses the message
// or does not exist, and std::invalid_argument when Count exceeds the bytes
// supplied or 65535.
void MidiOut_SendBytes(std::span<const uint8_t> Data, size_t Count, bool LogIt);
inline void MidiOut_SendBytes(const uint8_t* Data, size_t Count, bool LogIt) {
  MidiOut_SendBytes(std::span<const uint8_t>(Data, Count), Count, LogIt);
}
// A message owed to the device that got the one before it: the Note Off of a
// Note On, the release of a press. A timed sequence makes one right after the
// first message went out, and sends it after its wait. Should the output
// close or change device meanwhile, MidiOut_Close sends it first, to that same
// device; and it goes even once AbortDelay is set, as the end of what was
// started. Nothing is owed when the first message was not sent (AbortDelay
// set when the object is made). User-interface thread only; the object lives
// on the stack of its sequence.
class TOwedMessage {
 public:
  // `bytes` gives the message when it is sent (the sequence's fields then).
  explicit TOwedMessage(std::function<std::vector<uint8_t>()> bytes);
  ~TOwedMessage();
  TOwedMessage(const TOwedMessage&) = delete;
  TOwedMessage& operator=(const TOwedMessage&) = delete;

  // Sends it, logged, unless it was sent already or nothing is owed; raises as
  // MidiOut_SendBytes does.
  void Send();

 private:
  std::function<std::vector<uint8_t>()> FBytes;
  bool FOwed;
};

// Sends every owed message now, oldest first; a refusal is logged and dropped.
// MidiOut_Close calls it before it closes the port.
void MidiOut_SendOwed();

// A message as the log shows it: the bytes that the port sends of Data, each
// as two upper-case hexadecimal digits, separated by single spaces; followed
// by " (Non envoyé : <Refusal>)" when a refusal is given.
QString MidiOut_MessageText(std::span<const uint8_t> Data, const QString& Refusal = QString());
