#pragma once
// The MIDI input port: device selection by id or product name, open with a ring
// buffer and system-exclusive buffers, start and stop, and the received
// messages handed to the user-interface thread as TMyMidiEvent records.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "MidiType.h"

class TMidiWindow;

class EMidiInputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Threads: every operation, MidiInput and every event run on the user-interface
// thread. The driver thread reaches the port only through MidiDriverCallback,
// which reads PCtlInfo, writes the ring buffer (and, for lost messages, the
// record's loss counters) and posts notices to the message window, at most
// one of each kind waiting at a time. OnMidiInput fires once per MIM_DATA
// notice while messages wait: the handler is expected to take them all, and
// what it leaves waits for the notice of the next message. Under heavy
// traffic (BatchMs) the notices come at a steady pace instead. OnOverflow
// fires once per lost message, when the WM_USER notice comes: lost to a full
// ring, or before it by the driver's own queue (MIM_OVERFLOW). Ownership: the port owns its ring buffer and system-exclusive
// headers from Open to Close; a header belongs to the driver from
// midiInAddBuffer until GetMidiEvent takes its item. Every failure raises
// EMidiInputError.
class TMidiInput : public TMidiIO {
  Q_OBJECT

 public:
  explicit TMidiInput(QObject* owner = nullptr);
  ~TMidiInput() override;

  uint32_t DeviceCount() override;

  // Opens DeviceID with a ring buffer of Capacity items and SysexBufferCount
  // buffers of SysexBufferSize bytes; does not start reception. A failure
  // leaves the port closed with nothing allocated. Refused on an open port.
  void Open();
  // Closes the device, drops waiting messages and releases every buffer.
  // After a failed close (the device still open), calling it again retries.
  void Close();
  void Start();
  void Stop();
  void OpenAndStart();
  void StopAndClose();
  void ChangeDevice(uint32_t newDeviceId, bool openAndStartAfterChange);

  // The oldest waiting message, which the caller now owns, or none.
  std::unique_ptr<TMyMidiEvent> GetMidiEvent();
  // Drops every waiting message.
  void FlushQueue();
  // True when the port is open and its device has gone away: nothing more
  // arrives until the port is closed and opened on a device again.
  bool DeviceGone() const;

  // The platform's text for a code, or "Specified error number is out of range".
  static std::string ErrorText(MMRESULT code);

  // Properties.
  uint32_t DeviceID() const { return FDeviceID; }
  void SetDeviceID(uint32_t value);
  const std::string& ProductName() const { return FProductName; }
  void SetProductName(const std::string& value);
  uint16_t Capacity() const { return FCapacity; }
  void SetCapacity(uint16_t value) { FCapacity = value; }
  // Once OnMidiInput has found at least kBatchMessages waiting, the next
  // MIM_DATA notice comes BatchMs milliseconds later at the soonest: the
  // messages of the meantime wait in the queue and come as one batch. 0 (at
  // creation): every notice comes as soon as a message waits.
  static constexpr uint16_t kBatchMessages = 16;
  uint16_t BatchMs() const { return FBatchMs; }
  void SetBatchMs(uint16_t value);
  uint16_t SysexBufferSize() const { return FSysexBufferSize; }
  void SetSysexBufferSize(uint16_t value);
  uint16_t SysexBufferCount() const { return FSysexBufferCount; }
  void SetSysexBufferCount(uint16_t value);
  bool SysexOnly() const { return FSysexOnly; }
  void SetSysexOnly(bool value);
  TMidiMsgFilter FilteredMessages() const { return FFilteredMessages; }
  void SetFilteredMessages(TMidiMsgFilter value);
  uint16_t Error() const { return FError; }
  const TNotifyEvent& OnMidiInput() const { return FOnMidiInput; }
  void SetOnMidiInput(TNotifyEvent handler) { FOnMidiInput = std::move(handler); }
  const TNotifyEvent& OnOverflow() const { return FOnOverflow; }
  // Since the port opened, its driver reported a loss without saying how
  // many messages it cost (each such loss fired OnOverflow once).
  bool LossUncounted() const { return FLossUncounted; }
  void SetOnOverflow(TNotifyEvent handler) { FOnOverflow = std::move(handler); }
  const TNotifyEvent& OnDeviceChanged() const { return FOnDeviceChanged; }
  void SetOnDeviceChanged(TNotifyEvent handler) { FOnDeviceChanged = std::move(handler); }
  MidiInputState State() const { return FState; }
  HMIDI MIDIHandle() const { return FMIDIHandle; }
  uint32_t NumDevs() const { return FNumDevs; }
  uint16_t MID() const { return FMID; }
  uint16_t PID() const { return FPID; }
  uint32_t DriverVersion() const { return FDriverVersion; }
  uint16_t MessageCount() const;

 private:
  // The message window's procedure.
  intptr_t MidiInput(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Stores the result and raises the platform's error when it is not 0.
  void Check(MMRESULT result);
  [[noreturn]] void Raise(const std::string& text);
  void PrepareHeaders();
  void AddBuffers();
  // WM_USER: hands the headers of sysex items lost to a full queue back to
  // the driver, then fires OnOverflow once per lost message.
  void HandleOverflow();
  void GiveBackLostHeader(MIDIHDR* hdr) noexcept;
  // Forgets what the callback noted about lost messages; only while no device
  // can call back.
  void ForgetLosses() noexcept;
  void UnprepareHeaders();
  // Open's clean-up: closes a device left open, releases every buffer.
  void AbandonOpen() noexcept;
  // Destruction: closes and releases whatever is left, ignoring failures.
  void ForceClose() noexcept;
  void ReleaseHeaders() noexcept;
  void ReleaseBuffers() noexcept;
  void CopyFiltersToCtlInfo();
  // Whether the header is one of the port's sysex buffers.
  bool OwnsHeader(const MIDIHDR* hdr) const;

  uint32_t FDeviceID = 0;
  std::string FProductName;
  uint16_t FCapacity = 1024;
  uint16_t FBatchMs = 0;
  uint16_t FSysexBufferSize = 4096;
  uint16_t FSysexBufferCount = 16;
  bool FSysexOnly = false;
  TMidiMsgFilter FFilteredMessages{msgActiveSensing, msgMidiTimeCode};
  uint16_t FError = 0;
  TNotifyEvent FOnMidiInput;
  TNotifyEvent FOnOverflow;
  bool FLossUncounted = false;
  TNotifyEvent FOnDeviceChanged;
  MidiInputState FState = misCreating;
  HMIDI FMIDIHandle = 0;
  uint32_t FNumDevs = 0;
  uint16_t FMID = 0;
  uint16_t FPID = 0;
  uint32_t FDriverVersion = 0;

  TMidiWindow* Handle = nullptr;  // child of the port
  TCircularBuffer* PBuffer = nullptr;
  TMidiCtlInfo* PCtlInfo = nullptr;
  std::vector<std::unique_ptr<TMyMidiHdr>> MidiHdrs;  // prepared sysex buffers, in the order added
};
