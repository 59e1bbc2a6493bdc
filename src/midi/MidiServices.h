#pragma once
// The MIDI services of the platform: device lists and capabilities, opening,
// buffers handed to the driver, sending, error texts, and the driver callback.
//
// Every operation returns an MMRESULT, 0 for success. One back end is
// installed for the whole process (InstallMidiServices, chosen once at start;
// tests install their own); the free functions below forward to it.
//
// Threads:
//  - Every operation is called from the user-interface thread.
//  - Input notices (MIM_DATA, MIM_LONGDATA, MIM_LONGERROR, MIM_OVERFLOW) are delivered by the
//    back end on a thread of its own, never the user-interface thread, one at a
//    time per handle. After midiInStop, midiInReset or midiInClose returns, no
//    callback for that handle is running and none will start.
//  - MOM_DONE may be delivered from any thread, including from inside
//    midiOutLongMsg; the callback only posts it, so its handling always happens
//    later from the event loop.
//  - The callback must not block, allocate from the driver's own pools or call
//    back into the services. The ports' callback (MidiDriverCallback) meets
//    this on a real-time thread such as JACK's process thread: per input
//    message it reads the clock, stores into a lock-free ring and does one
//    atomic exchange; only when the user-interface thread has caught up does
//    it post one Qt event (see MidiCallback.h).
//  - The devices-changed listener runs on the user-interface thread, from its
//    event loop, never from inside one of the operations.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

using MMRESULT = uint32_t;
using HMIDI = uintptr_t;  // 0 = no handle

enum : MMRESULT {
  MMSYSERR_NOERROR = 0,
  MMSYSERR_ERROR = 1,
  MMSYSERR_BADDEVICEID = 2,
  MMSYSERR_ALLOCATED = 4,
  MMSYSERR_INVALHANDLE = 5,
  MMSYSERR_NODRIVER = 6,
  MMSYSERR_NOMEM = 7,
  MMSYSERR_NOTSUPPORTED = 8,
  MMSYSERR_INVALPARAM = 11,
  MIDIERR_UNPREPARED = 64,
  MIDIERR_STILLPLAYING = 65,
  MIDIERR_NOTREADY = 67,
  MIDIERR_NODEVICE = 68,
  MIDIERR_BADOPENMODE = 70,  // message without a status byte
};

// Notification numbers passed to the callback and posted to port windows.
constexpr uint32_t WM_QUERYENDSESSION = 0x011;
constexpr uint32_t MIM_DATA = 0x3C3;       // 963
constexpr uint32_t MIM_LONGDATA = 0x3C4;   // 964
constexpr uint32_t MIM_LONGERROR = 0x3C6;  // 966
constexpr uint32_t MOM_DONE = 0x3C9;       // 969
// Not the platform's: the back end's own queue (the ALSA sequencer's for the
// program's client) dropped input before the next notice. param1: how many
// messages, when the system says; 0 when it does not (one or more).
constexpr uint32_t MIM_OVERFLOW = 0x3CF;   // 975
constexpr uint32_t WM_USER = 0x400;        // 1024

constexpr uint32_t MIDI_MAPPER = 0xFFFFFFFF;
constexpr uint32_t CALLBACK_FUNCTION = 0x00030000;

// MIDIHDR flags.
constexpr uint32_t MHDR_DONE = 0x1;
constexpr uint32_t MHDR_PREPARED = 0x2;
constexpr uint32_t MHDR_INQUEUE = 0x4;

// Output technologies (low byte of wTechnology).
constexpr uint16_t MOD_MIDIPORT = 1;
constexpr uint16_t MOD_SYNTH = 2;
constexpr uint16_t MOD_SQSYNTH = 3;
constexpr uint16_t MOD_FMSYNTH = 4;
constexpr uint16_t MOD_MAPPER = 5;

// dwSupport bits.
constexpr uint32_t MIDICAPS_VOLUME = 0x1;
constexpr uint32_t MIDICAPS_LRVOLUME = 0x2;
constexpr uint32_t MIDICAPS_CACHE = 0x4;
constexpr uint32_t MIDICAPS_STREAM = 0x8;

// One buffer handed to the driver. The layer uses lpData, dwBufferLength,
// dwBytesRecorded and dwUser (never touched by the driver); the rest starts
// zero and belongs to the driver.
struct MIDIHDR {
  uint8_t* lpData;
  uint32_t dwBufferLength;
  uint32_t dwBytesRecorded;
  uintptr_t dwUser;
  uint32_t dwFlags;
  MIDIHDR* lpNext;
  uintptr_t reserved;
  uint32_t dwOffset;
  uintptr_t dwReserved[4];
};

struct MIDIINCAPS {
  uint16_t wMid = 0;
  uint16_t wPid = 0;
  uint32_t vDriverVersion = 0;
  std::string szPname;  // full product name, stable across runs
  uint32_t dwSupport = 0;
};

struct MIDIOUTCAPS {
  uint16_t wMid = 0;
  uint16_t wPid = 0;
  uint32_t vDriverVersion = 0;
  std::string szPname;
  uint16_t wTechnology = 0;
  uint16_t wVoices = 0;
  uint16_t wNotes = 0;
  uint16_t wChannelMask = 0;
  uint32_t dwSupport = 0;
};

// (handle, message, instance, param1, param2). For MIM_DATA param1 is the
// packed short message (status + 256 * data1 + 65536 * data2) and param2 the
// time in milliseconds since midiInStart; for MIM_LONGDATA and MIM_LONGERROR
// param1 is the returned MIDIHDR*; for MOM_DONE param1 is the sent MIDIHDR*.
using MidiCallbackProc = void (*)(HMIDI handle, uint32_t msg, uintptr_t instance,
                                  uintptr_t param1, uintptr_t param2);

class MidiServices {
 public:
  virtual ~MidiServices() = default;

  // Input.
  virtual uint32_t midiInGetNumDevs() = 0;
  virtual MMRESULT midiInGetDevCaps(uint32_t deviceId, MIDIINCAPS* caps) = 0;
  // Own wording; a non-zero result for an unknown code.
  virtual MMRESULT midiInGetErrorText(MMRESULT code, std::string* text) = 0;
  virtual MMRESULT midiInOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback,
                              uintptr_t instance, uint32_t flags) = 0;
  virtual MMRESULT midiInClose(HMIDI handle) = 0;
  virtual MMRESULT midiInPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) = 0;
  virtual MMRESULT midiInUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) = 0;
  // Headers are filled in the order they were added.
  virtual MMRESULT midiInAddBuffer(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) = 0;
  virtual MMRESULT midiInStart(HMIDI handle) = 0;
  virtual MMRESULT midiInStop(HMIDI handle) = 0;
  // Stops input and takes back every header still with the driver (marked
  // done, with no callback).
  virtual MMRESULT midiInReset(HMIDI handle) = 0;

  // Output.
  virtual uint32_t midiOutGetNumDevs() = 0;
  // Accepts MIDI_MAPPER.
  virtual MMRESULT midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps) = 0;
  virtual MMRESULT midiOutGetErrorText(MMRESULT code, std::string* text) = 0;
  virtual MMRESULT midiOutOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback,
                               uintptr_t instance, uint32_t flags) = 0;
  virtual MMRESULT midiOutClose(HMIDI handle) = 0;
  virtual MMRESULT midiOutShortMsg(HMIDI handle, uint32_t packedMsg) = 0;
  virtual MMRESULT midiOutPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) = 0;
  virtual MMRESULT midiOutUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) = 0;
  // Returns at once; the header comes back through MOM_DONE.
  virtual MMRESULT midiOutLongMsg(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) = 0;
  virtual MMRESULT midiOutReset(HMIDI handle) = 0;
  virtual MMRESULT midiOutGetVolume(uint32_t deviceId, uint32_t* volume) = 0;
  virtual MMRESULT midiOutSetVolume(uint32_t deviceId, uint32_t volume) = 0;
  virtual MMRESULT midiOutMessage(uint32_t deviceId, uint32_t msg, uint32_t dw1, uint32_t dw2) = 0;
  virtual MMRESULT midiOutCachePatches(HMIDI handle, uint32_t bank, uint16_t* patches128,
                                       uint32_t flags) = 0;
  virtual MMRESULT midiOutCacheDrumPatches(HMIDI handle, uint32_t patch, uint16_t* keys128,
                                           uint32_t flags) = 0;

  // Devices that come and go. The listener is called each time the devices
  // may have changed: one appeared or went away, or the device of an open
  // handle went away; several changes may come as one call. An empty function
  // ends the calls.
  virtual void SetDevicesChangedListener(std::function<void()> listener) = 0;
  // MIDIERR_NODEVICE once the device of the open handle has gone away: it is
  // gone for good for this handle, which then sends and receives nothing
  // (sends are refused with MIDIERR_NODEVICE) until it is closed; 0 while the
  // device is there.
  virtual MMRESULT midiInCheckDevice(HMIDI handle) = 0;
  virtual MMRESULT midiOutCheckDevice(HMIDI handle) = 0;
  // When the last message sent on the open output leaves, or left, for its
  // device: microseconds of the steady clock, by the driver's own time where
  // it has one (JACK: the frame it is written at), else when it was handed
  // over. MMSYSERR_NOTSUPPORTED for services that do not tell; then the
  // caller's own clock is the best there is.
  virtual MMRESULT midiOutGetSendTime(HMIDI handle, uint64_t* steadyUs) {
    (void)handle;
    (void)steadyUs;
    return MMSYSERR_NOTSUPPORTED;
  }
};

// Installs the process-wide back end and returns the previous one. With none
// installed, the services report no devices and refuse every open.
std::unique_ptr<MidiServices> InstallMidiServices(std::unique_ptr<MidiServices> services);
MidiServices& CurrentMidiServices();

// Installs a back end for the lifetime of the object (tests), restoring the
// previous one afterwards.
class ScopedMidiServices {
 public:
  explicit ScopedMidiServices(std::unique_ptr<MidiServices> services);
  ~ScopedMidiServices();
  ScopedMidiServices(const ScopedMidiServices&) = delete;
  ScopedMidiServices& operator=(const ScopedMidiServices&) = delete;

 private:
  std::unique_ptr<MidiServices> previous_;
};

// Free functions named after the platform's, forwarding to the installed back end.
uint32_t midiInGetNumDevs();
MMRESULT midiInGetDevCaps(uint32_t deviceId, MIDIINCAPS* caps);
MMRESULT midiInGetErrorText(MMRESULT code, std::string* text);
MMRESULT midiInOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback, uintptr_t instance,
                    uint32_t flags);
MMRESULT midiInClose(HMIDI handle);
MMRESULT midiInPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize);
MMRESULT midiInUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize);
MMRESULT midiInAddBuffer(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize);
MMRESULT midiInStart(HMIDI handle);
MMRESULT midiInStop(HMIDI handle);
MMRESULT midiInReset(HMIDI handle);
uint32_t midiOutGetNumDevs();
MMRESULT midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps);
MMRESULT midiOutGetErrorText(MMRESULT code, std::string* text);
MMRESULT midiOutOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback, uintptr_t instance,
                     uint32_t flags);
MMRESULT midiOutClose(HMIDI handle);
MMRESULT midiOutShortMsg(HMIDI handle, uint32_t packedMsg);
MMRESULT midiOutPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize);
MMRESULT midiOutUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize);
MMRESULT midiOutLongMsg(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize);
MMRESULT midiOutReset(HMIDI handle);
MMRESULT midiOutGetVolume(uint32_t deviceId, uint32_t* volume);
MMRESULT midiOutSetVolume(uint32_t deviceId, uint32_t volume);
MMRESULT midiOutMessage(uint32_t deviceId, uint32_t msg, uint32_t dw1, uint32_t dw2);
MMRESULT midiOutCachePatches(HMIDI handle, uint32_t bank, uint16_t* patches128, uint32_t flags);
MMRESULT midiOutCacheDrumPatches(HMIDI handle, uint32_t patch, uint16_t* keys128, uint32_t flags);
void midiSetDevicesChangedListener(std::function<void()> listener);
MMRESULT midiInCheckDevice(HMIDI handle);
MMRESULT midiOutCheckDevice(HMIDI handle);
MMRESULT midiOutGetSendTime(HMIDI handle, uint64_t* steadyUs);
