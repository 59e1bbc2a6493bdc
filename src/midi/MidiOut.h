#pragma once
// The MIDI output port: device selection by id, product name or technology,
// capabilities, open and close, short and system-exclusive messages.

#include <map>
#include <memory>
#include <stdexcept>
#include <string>

#include "MidiType.h"

class TMidiWindow;

class EMidiOutputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The platform's text for an output error code, or "Specified error number is
// out of range" when the platform does not know it.
std::string MidiOutErrorText(MMRESULT code);

// Threads: every operation, MidiOutputDone and every event run on the
// user-interface thread; the driver thread only posts MOM_DONE to the port's
// message window. Ownership: a system-exclusive message is copied into a
// TMyMidiHdr that the port keeps from PutLong until the driver's MOM_DONE is
// handled (or until the port is destroyed, which releases what is left).
// Failures raise EMidiOutputError, except Open (false), CachePatches,
// CacheDrumPatches and DriverMidiMessage (results).
class TMidiOutput : public TMidiIO {
  Q_OBJECT

 public:
  explicit TMidiOutput(QObject* owner = nullptr);
  ~TMidiOutput() override;

  uint32_t DeviceCount() override;

  // Opens DeviceID; false (Error = the platform's code) when refused or when
  // the port is already open.
  virtual bool Open();
  // True when it closed an open device, false when the port was closed.
  virtual bool Close();
  virtual bool ChangeDevice(uint32_t newDeviceId, bool openAfterChange);
  // Sends the event's Sysex as one long message when set, otherwise its three
  // bytes; the event stays the caller's and may go as soon as this returns.
  virtual void PutMidiEvent(const TMyMidiEvent& event);
  virtual void PutShort(uint8_t midiMessage, uint8_t data1, uint8_t data2);
  // Copies the bytes and returns before they are sent; OnMidiOutput fires once
  // they are. A length of 0 is refused.
  virtual void PutLong(const uint8_t* sysex, uint16_t msgLength);

  void NoteOff(uint8_t channel, uint8_t note, uint8_t dynamics);
  void NoteOn(uint8_t channel, uint8_t note, uint8_t dynamics);
  void NoteAftertouch(uint8_t channel, uint8_t note, uint8_t newDynamics);
  void ControllerChange(uint8_t channel, uint8_t newController, uint8_t value);
  void ProgramChange(uint8_t channel, uint8_t newProgram);
  void ChannelAftertouch(uint8_t channel, uint8_t newDynamics);
  void ChangeInstrument(uint8_t channel, TGMInstrumentPatch newInstrument);

  void SetVolume(uint16_t left, uint16_t right);
  void SetVolume(uint16_t monoVolume);
  void GetVolume(uint16_t& left, uint16_t& right);
  void GetVolume(uint16_t& monoVolume);
  uint16_t GetVolume();

  bool CachePatches(uint32_t bank, TKeyPatchArray& patchArray, uint8_t operationFlag);
  bool CacheDrumPatches(uint32_t patch, TKeyPatchArray& keyArray, uint8_t operationFlag);
  MMRESULT DriverMidiMessage(uint32_t msg, uint32_t dw1, uint32_t dw2);

  // The text for a platform code in the context of an operation.
  static std::string ErrorText(MMRESULT code, TOutErrorContext context);

  // Properties.
  uint32_t DeviceID() const { return FDeviceID; }
  void SetDeviceID(uint32_t value);
  const std::string& ProductName() const { return FProductName; }
  void SetProductName(const std::string& value);
  OutPortTech Technology() const { return FTechnology; }
  void SetTechnology(OutPortTech value);
  const TNotifyEvent& OnMidiOutput() const { return FOnMidiOutput; }
  void SetOnMidiOutput(TNotifyEvent handler) { FOnMidiOutput = std::move(handler); }
  const TNotifyEvent& OnDeviceChanged() const { return FOnDeviceChanged; }
  void SetOnDeviceChanged(TNotifyEvent handler) { FOnDeviceChanged = std::move(handler); }
  MidiOutputState State() const { return FState; }
  HMIDI MIDIHandle() const { return FMIDIHandle; }
  MMRESULT Error() const { return FError; }
  uint16_t NumDevs() const { return FNumDevs; }
  uint16_t MID() const { return FMID; }
  uint16_t PID() const { return FPID; }
  uint32_t DriverVersion() const { return FDriverVersion; }
  uint16_t Voices() const { return FVoices; }
  uint16_t Notes() const { return FNotes; }
  uint16_t ChannelMask() const { return FChannelMask; }
  uint32_t Support() const { return FSupport; }
  TFeatureSet SupportedFeatures() const;
  bool SupportsCaching() const { return SupportedFeatures().Contains(ftCaching); }
  bool SupportsStreaming() const { return SupportedFeatures().Contains(ftStreaming); }
  bool SupportsVolumeControl() const { return SupportedFeatures().Contains(ftVolume); }
  bool SupportsStereoVolumeControl() const { return SupportedFeatures().Contains(ftStereoVolume); }
  bool FullResetOnClose() const { return FFullResetOnClose; }
  void SetFullResetOnClose(bool value) { FFullResetOnClose = value; }
  // System-exclusive messages handed to the driver and not yet completed.
  size_t PendingLongMessages() const { return FPending.size(); }
  // True when the port is open and its device has gone away: every send is
  // refused until the port is closed and opened on a device again.
  bool DeviceGone() const;

 private:
  // The message window's procedure: MOM_DONE releases the sent header.
  intptr_t MidiOutputDone(uint32_t msg, uintptr_t wParam, uintptr_t lParam);
  // Stores the result in Error and raises its text in the operation's context
  // when it is not 0.
  void Check(MMRESULT result, TOutErrorContext context);
  // Index of the first device (mapper first) that matches, or the count.
  template <typename Match>
  uint32_t SearchDevices(Match match);
  void ReleaseCtlInfo();
  // Sends one short message through the virtual PutShort.
  void PutChannelMessage(uint8_t status, uint8_t channel, uint8_t data1, uint8_t data2);

  uint32_t FDeviceID = 0;
  std::string FProductName;
  OutPortTech FTechnology = opt_None;
  TNotifyEvent FOnMidiOutput;
  TNotifyEvent FOnDeviceChanged;
  MidiOutputState FState = mosClosed;
  HMIDI FMIDIHandle = 0;
  MMRESULT FError = 0;
  uint16_t FNumDevs = 0;
  uint16_t FMID = 0;
  uint16_t FPID = 0;
  uint32_t FDriverVersion = 0;
  uint16_t FVoices = 0;
  uint16_t FNotes = 0;
  uint16_t FChannelMask = 0;
  uint32_t FSupport = 0;
  bool FFullResetOnClose = false;
  bool FDestroying = false;

  TMidiWindow* Handle = nullptr;  // child of the port
  TMidiCtlInfo* PCtlInfo = nullptr;
  // Headers with the driver, by their platform header.
  std::map<MIDIHDR*, std::unique_ptr<TMyMidiHdr>> FPending;
};
