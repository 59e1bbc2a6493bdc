#pragma once
// A scriptable MIDI back end for tests.
//
//   auto owned = std::make_unique<TestMidiServices>();
//   TestMidiServices& midi = *owned;
//   ScopedMidiServices installed(std::move(owned));   // the process-wide back end
//   midi.AddOutputDevice("Synth A");                  // output id 0
//   midi.AddInputDevice("Keyboard");                  // input id 0
//
//   // Devices: ids in the order added; the mapper (MIDI_MAPPER) always exists
//   // and is named "MIDI Mapper". Capabilities can be edited in place
//   // (OutputCaps(0).dwSupport = MIDICAPS_VOLUME) or made to fail with a code
//   // (FailOutputCaps(MIDI_MAPPER, MMSYSERR_NODRIVER)).
//   // Results: midi.FailNext("midiOutShortMsg", MIDIERR_NOTREADY) makes the next
//   // call of that operation return 67 and do nothing; times = -1 for every call.
//   // Record: Calls() lists every call (name and arguments, failed ones too);
//   // ShortMessages() and LongMessages() what was accepted for sending.
//
//   // Input, once a port has opened and started the device (midiInStart):
//   midi.DeliverShort(0x403C90, 1500);    // MIM_DATA on the delivery thread
//   midi.DeliverSysex({0xF0, 0x7E, 0xF7});  // fills the added headers in order
//   QCoreApplication::processEvents();  // let the port see its notices
//
//   // Output: each long message is completed (MOM_DONE) at once unless
//   // SetAutoCompleteLongMessages(false); then CompleteLongMessages() does it.
//
//   // A cable: what output device 0 accepts arrives at input device 0.
//   midi.Loop(0, 0);
//
// Threads: every operation and every Deliver* call is made from the test's
// thread, whose event loop also calls the devices-changed listener. Driver
// callbacks run on one delivery thread of this back end (started by the
// constructor, joined by the destructor); each Deliver* waits until the
// callback has returned. After midiInStop, midiInReset or
// midiInClose returns, no input callback runs for that handle.
//
// Driver behaviour, as the program's own back ends behave (the contract suite
// in tests/midi/backends/ holds it against them): headers must be prepared
// before midiInAddBuffer or midiOutLongMsg (MIDIERR_UNPREPARED otherwise), and
// a header without data or of 0 bytes cannot be; a header with the driver
// can't be unprepared (MIDIERR_STILLPLAYING); midiInReset and midiInClose give
// every added header back (marked done, no callback); midiOutReset and
// midiOutClose complete every pending long message (MOM_DONE) first. Opening
// takes function callbacks only (CALLBACK_FUNCTION with a callback, or none).
// Unknown handles give MMSYSERR_INVALHANDLE, unknown device ids
// MMSYSERR_BADDEVICEID. A short message without a status byte is refused with
// MIDIERR_BADOPENMODE, one that starts a system-exclusive message or whose
// data bytes would read as a status with MMSYSERR_INVALPARAM.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "MidiServices.h"

class TestMidiServices final : public MidiServices {
 public:
  struct Call {
    std::string op;
    std::vector<uint64_t> args;  // handles, ids, codes and pointers as numbers
  };

  TestMidiServices();
  ~TestMidiServices() override;
  TestMidiServices(const TestMidiServices&) = delete;
  TestMidiServices& operator=(const TestMidiServices&) = delete;

  // ---- Devices ------------------------------------------------------------
  // Return the new device's id.
  uint32_t AddInputDevice(const std::string& name, uint16_t mid = 1, uint16_t pid = 1,
                          uint32_t driverVersion = 0x0100);
  uint32_t AddOutputDevice(const std::string& name, uint16_t technology = MOD_MIDIPORT,
                           uint32_t support = 0);
  void RemoveAllDevices();
  // Removes the first device of that name (false when there is none); the
  // ids of the devices after it move down. A handle open on it stays open
  // with its device gone (mid*CheckDevice: MIDIERR_NODEVICE): sends are
  // refused with MIDIERR_NODEVICE, nothing is delivered to it. A device added
  // again under the same name is another device.
  bool RemoveInputDevice(const std::string& name);
  bool RemoveOutputDevice(const std::string& name);
  // Calls the devices-changed listener from the event loop (posted), as the
  // system's back ends do after devices came or went. Adding and removing
  // devices calls nothing by itself.
  void NotifyDevicesChanged();
  // Capabilities, editable in place; OutputCaps(MIDI_MAPPER) is the mapper's.
  MIDIINCAPS& InputCaps(uint32_t id);
  MIDIOUTCAPS& OutputCaps(uint32_t id);
  // The capability read of that id (MIDI_MAPPER included) returns code; 0 undoes it.
  void FailInputCaps(uint32_t id, MMRESULT code);
  void FailOutputCaps(uint32_t id, MMRESULT code);

  // ---- Results ------------------------------------------------------------
  // After `after` more calls succeed, the next `times` calls of the operation
  // (its name, e.g. "midiInAddBuffer") return code without doing anything;
  // times -1: every call from then on.
  void FailNext(const std::string& op, MMRESULT code, int times = 1, int after = 0);
  void ClearFailures();
  // Runs `action` once, at the start of the call of the operation that comes
  // after `after` more calls of it: a change (a device that comes or goes)
  // that lands between two calls of the program's.
  void BeforeNext(const std::string& op, std::function<void()> action, int after = 0);
  // Texts of midiInGetErrorText / midiOutGetErrorText; unknown codes fail with
  // MMSYSERR_INVALPARAM. Known from the start: every code that the program's
  // back ends return, with their texts (ErrorTexts.h).
  void SetErrorText(MMRESULT code, const std::string& text);
  void ForgetErrorText(MMRESULT code);

  // ---- Record -------------------------------------------------------------
  std::vector<Call> Calls() const;
  std::vector<std::string> CallNames() const;
  int CallCount(const std::string& op) const;
  void ClearCalls();
  std::vector<uint32_t> ShortMessages() const;
  std::vector<std::vector<uint8_t>> LongMessages() const;
  void ClearSent();

  // ---- Input --------------------------------------------------------------
  // Each returns false when no started input is open (nothing is delivered);
  // handle 0 means the most recently opened input.
  bool DeliverShort(uint32_t packed, uint32_t timestamp = 0, HMIDI handle = 0);
  // The same, as received by its driver at `steadyUs` (DriverTime.h): the
  // message's TimeUs, microseconds of the steady clock.
  bool DeliverShortAt(uint32_t packed, uint64_t steadyUs, HMIDI handle = 0);
  // Fills the added headers in order, MIM_LONGDATA for each; bytes beyond the
  // last available header are dropped. An empty message returns one header
  // with 0 bytes.
  bool DeliverSysex(const std::vector<uint8_t>& bytes, uint32_t timestamp = 0, HMIDI handle = 0);
  // Returns the next added header with the bytes (truncated to its size) and
  // MIM_LONGERROR.
  bool DeliverLongError(const std::vector<uint8_t>& bytes, uint32_t timestamp = 0,
                        HMIDI handle = 0);
  // Runs the callback with any message and parameters.
  bool DeliverRaw(uint32_t msg, uintptr_t param1, uintptr_t param2, HMIDI handle = 0);
  // Takes the oldest added header back from the driver (marked done, no
  // callback), e.g. to alter it and hand it to DeliverRaw; none when no header
  // is queued.
  MIDIHDR* TakeInputHeader(HMIDI handle = 0);
  // Headers added and not yet returned.
  size_t QueuedInputHeaders(HMIDI handle = 0) const;
  bool InputOpen() const;
  bool InputStarted() const;

  // ---- Output -------------------------------------------------------------
  // From now on, every message that the output device accepts also arrives at
  // the open and started input of the input device, before the send returns: a
  // short message with the bytes its status implies (time stamp 0; none of the
  // short messages that the program's back ends refuse travels), a long
  // message's bytes as DeliverSysex puts them into the added headers (they
  // are not read as messages), before the long message's MOM_DONE.
  void Loop(uint32_t outputDeviceId, uint32_t inputDeviceId);
  void SetAutoCompleteLongMessages(bool atOnce);
  size_t PendingLongMessages() const;
  // Completes the oldest n (default: all) pending long messages with MOM_DONE.
  void CompleteLongMessages(size_t n = SIZE_MAX);
  bool OutputOpen() const;
  // Device volume as midiOutGetVolume reports and midiOutSetVolume sets it.
  void SetDeviceVolume(uint32_t id, uint32_t volume);
  uint32_t DeviceVolume(uint32_t id) const;
  // Result of midiOutMessage.
  void SetDriverMessageResult(MMRESULT result);

  // ---- MidiServices -------------------------------------------------------
  uint32_t midiInGetNumDevs() override;
  MMRESULT midiInGetDevCaps(uint32_t deviceId, MIDIINCAPS* caps) override;
  MMRESULT midiInGetErrorText(MMRESULT code, std::string* text) override;
  MMRESULT midiInOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback,
                      uintptr_t instance, uint32_t flags) override;
  MMRESULT midiInClose(HMIDI handle) override;
  MMRESULT midiInPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) override;
  MMRESULT midiInUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) override;
  MMRESULT midiInAddBuffer(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) override;
  MMRESULT midiInStart(HMIDI handle) override;
  MMRESULT midiInStop(HMIDI handle) override;
  MMRESULT midiInReset(HMIDI handle) override;
  uint32_t midiOutGetNumDevs() override;
  MMRESULT midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps) override;
  MMRESULT midiOutGetErrorText(MMRESULT code, std::string* text) override;
  MMRESULT midiOutOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback,
                       uintptr_t instance, uint32_t flags) override;
  MMRESULT midiOutClose(HMIDI handle) override;
  MMRESULT midiOutShortMsg(HMIDI handle, uint32_t packedMsg) override;
  MMRESULT midiOutPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) override;
  MMRESULT midiOutUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) override;
  MMRESULT midiOutLongMsg(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) override;
  MMRESULT midiOutReset(HMIDI handle) override;
  MMRESULT midiOutGetVolume(uint32_t deviceId, uint32_t* volume) override;
  MMRESULT midiOutSetVolume(uint32_t deviceId, uint32_t volume) override;
  MMRESULT midiOutMessage(uint32_t deviceId, uint32_t msg, uint32_t dw1, uint32_t dw2) override;
  MMRESULT midiOutCachePatches(HMIDI handle, uint32_t bank, uint16_t* patches128,
                               uint32_t flags) override;
  MMRESULT midiOutCacheDrumPatches(HMIDI handle, uint32_t patch, uint16_t* keys128,
                                   uint32_t flags) override;
  void SetDevicesChangedListener(std::function<void()> listener) override;
  MMRESULT midiInCheckDevice(HMIDI handle) override;
  MMRESULT midiOutCheckDevice(HMIDI handle) override;

 private:
  // Devices are told apart by a key of their own, which the ids (places in
  // the lists) are not once devices go; the mapper's is kMapperKey.
  static constexpr uint64_t kMapperKey = 0;

  struct InPort {
    uint64_t deviceKey = 0;
    MidiCallbackProc callback = nullptr;
    uintptr_t instance = 0;
    bool started = false;
    std::deque<MIDIHDR*> queued;  // added headers, in order
  };
  struct OutPort {
    uint64_t deviceKey = 0;
    MidiCallbackProc callback = nullptr;
    uintptr_t instance = 0;
    std::deque<MIDIHDR*> pending;  // sent long messages awaiting MOM_DONE
  };
  struct Notice {
    MidiCallbackProc callback;
    HMIDI handle;
    uint32_t msg;
    uintptr_t instance, param1, param2;
    uint64_t driverTimeUs = 0;  // when not 0, the driver's time of the message
  };

  void Record(const std::string& op, std::vector<uint64_t> args);
  // Records the call; true (with *code set) when an injected failure applies.
  bool Injected(const std::string& op, std::vector<uint64_t> args, MMRESULT* code);
  InPort* FindIn(HMIDI handle);
  const InPort* FindIn(HMIDI handle) const;
  OutPort* FindOut(HMIDI handle);
  HMIDI ResolveIn(HMIDI handle) const;
  // Runs the callbacks on the delivery thread and waits for them to return.
  void RunOnDeliveryThread(std::vector<Notice> notices);
  void DeliveryLoop();
  std::vector<Notice> TakeOutputPending(HMIDI handle, size_t n);
  void TakeBackInputHeaders(InPort& port);
  bool DeliverHeaders(uint32_t msg, const std::vector<uint8_t>& bytes, uint32_t timestamp,
                      HMIDI handle, bool allChunks);
  // The notices that hand the bytes to the input in its headers; false (and no
  // notice) when the input is not open and started with a callback.
  bool FillHeaders(HMIDI handle, uint32_t msg, const std::vector<uint8_t>& bytes,
                   uint32_t timestamp, bool allChunks, std::vector<Notice>* notices);
  // The input that a loop from the output device reaches, or 0.
  HMIDI LoopedInput(uint64_t outputDeviceKey) const;
  bool InDevicePresent(uint64_t key) const;
  bool OutDevicePresent(uint64_t key) const;
  uint64_t OutDeviceKeyOf(uint32_t deviceId) const;

  std::vector<MIDIINCAPS> inDevices_;
  std::vector<MIDIOUTCAPS> outDevices_;
  std::vector<uint64_t> inKeys_;  // index for index with inDevices_
  std::vector<uint64_t> outKeys_;
  uint64_t nextDeviceKey_ = 1;
  std::shared_ptr<std::function<void()>> listener_ = std::make_shared<std::function<void()>>();
  MIDIOUTCAPS mapperCaps_;
  std::map<uint32_t, MMRESULT> inCapsFailures_;
  std::map<uint32_t, MMRESULT> outCapsFailures_;
  struct Failure {
    MMRESULT code;
    int times;
    int after;
  };
  std::map<std::string, Failure> failures_;
  struct Action {
    std::function<void()> run;
    int after;
  };
  std::map<std::string, Action> actions_;
  std::map<MMRESULT, std::string> errorTexts_;
  std::vector<Call> calls_;
  std::vector<uint32_t> shortMessages_;
  std::vector<std::vector<uint8_t>> longMessages_;
  std::map<HMIDI, InPort> inPorts_;
  std::map<HMIDI, OutPort> outPorts_;
  HMIDI nextHandle_ = 0x100;
  HMIDI lastInput_ = 0;
  bool autoComplete_ = true;
  std::map<uint32_t, uint32_t> volumes_;
  std::map<uint64_t, uint64_t> loops_;  // output device key -> input device key
  MMRESULT driverMessageResult_ = MMSYSERR_NOERROR;

  // Guards the state above against the delivery thread's reads.
  mutable std::recursive_mutex mutex_;
  // Held while a callback runs, so that stop, reset and close wait for it.
  std::mutex callbackMutex_;

  std::mutex jobMutex_;
  std::condition_variable jobReady_;
  std::condition_variable jobDone_;
  std::vector<Notice> job_;
  bool hasJob_ = false;
  bool quit_ = false;
  std::thread deliveryThread_;
};
