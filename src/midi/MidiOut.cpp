#include "MidiOut.h"

#include <algorithm>

#include "MidiCallback.h"
#include "MidiWindow.h"

namespace {

constexpr uint32_t kHdrSize = sizeof(MIDIHDR);

struct ContextText {
  TOutErrorContext context;
  MMRESULT code;
  const char* text;
};

constexpr ContextText kContextTexts[] = {
    {ecShortMsg, MMSYSERR_INVALHANDLE, "(Short Msg) The specified device handle is invalid."},
    {ecShortMsg, MIDIERR_NOTREADY, "(Short Msg) The hardware is busy with other data."},
    {ecShortMsg, MIDIERR_BADOPENMODE,
     "(Short Msg) The application sent a message without a status byte to a stream handle."},
    {ecLongMsg, MMSYSERR_INVALHANDLE, "(Long Msg) The specified device handle is invalid."},
    {ecLongMsg, MMSYSERR_INVALPARAM, "(Long Msg) The specified pointer or structure is invalid."},
    {ecLongMsg, MIDIERR_UNPREPARED,
     "(Long Msg) The buffer pointed to by lpMidiOutHdr has not been prepared."},
    {ecLongMsg, MIDIERR_NOTREADY, "(Long Msg) The hardware is busy with other data."},
    {ecPrepHeader, MMSYSERR_INVALHANDLE, "(Prep Header) The specified device handle is invalid."},
    {ecPrepHeader, MMSYSERR_NOMEM,
     "(Prep Header) The system is unable to allocate or lock memory."},
    {ecPrepHeader, MMSYSERR_INVALPARAM,
     "(Prep Header) The specified address is invalid or the given stream buffer is greater than "
     "64K."},
};

}  // namespace

std::string MidiOutErrorText(MMRESULT code) { return PlatformErrorText(midiOutGetErrorText, code); }

std::string TMidiOutput::ErrorText(MMRESULT code, TOutErrorContext context) {
  for (const ContextText& entry : kContextTexts) {
    if (entry.context == context && entry.code == code) return entry.text;
  }
  return MidiOutErrorText(code);
}

void TMidiOutput::Check(MMRESULT result, TOutErrorContext context) {
  FError = result;
  if (result != MMSYSERR_NOERROR) throw EMidiOutputError(ErrorText(result, context));
}

TMidiOutput::TMidiOutput(QObject* owner)
    : TMidiIO(owner),
      FNumDevs(static_cast<uint16_t>(midiOutGetNumDevs())),
      Handle(new TMidiWindow(
          [this](uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
            return MidiOutputDone(msg, wParam, lParam);
          },
          this)) {}

TMidiOutput::~TMidiOutput() {
  FDestroying = true;
  if (FState == mosOpen) {
    try {
      Close();
    } catch (const EMidiOutputError&) {
      // Refused: reset (which returns every header) and close once more.
      midiOutReset(FMIDIHandle);
      midiOutClose(FMIDIHandle);
      FMIDIHandle = 0;
      FState = mosClosed;
    }
  }
  // Completion notices still queued release their headers now; headers the
  // driver never gave back can no longer be touched by the closed device.
  Handle->DeliverPending();
  FPending.clear();
  ReleaseCtlInfo();
}

bool TMidiOutput::DeviceGone() const {
  return FState == mosOpen && midiOutCheckDevice(FMIDIHandle) == MIDIERR_NODEVICE;
}

uint32_t TMidiOutput::DeviceCount() {
  FNumDevs = static_cast<uint16_t>(midiOutGetNumDevs());
  return FNumDevs;
}

void TMidiOutput::SetDeviceID(uint32_t value) {
  if (FState == mosOpen) throw EMidiOutputError("Change to DeviceID while device was open");
  if (value >= midiOutGetNumDevs() && value != MIDI_MAPPER) {
    throw EMidiOutputError("Invalid device ID");
  }
  FDeviceID = value;
  MIDIOUTCAPS caps;
  Check(midiOutGetDevCaps(value, &caps), ecGeneral);
  FMID = caps.wMid;
  FPID = caps.wPid;
  FProductName = caps.szPname;
  FDriverVersion = caps.vDriverVersion;
  FTechnology = static_cast<OutPortTech>(caps.wTechnology & 0xFF);
  FVoices = caps.wVoices;
  FNotes = caps.wNotes;
  FChannelMask = caps.wChannelMask;
  FSupport = caps.dwSupport;
  if (FOnDeviceChanged) FOnDeviceChanged(this);
}

template <typename Match>
uint32_t TMidiOutput::SearchDevices(Match match) {
  const uint32_t count = midiOutGetNumDevs();
  for (uint64_t i = 0; i <= count; ++i) {
    const uint32_t id = i == 0 ? MIDI_MAPPER : static_cast<uint32_t>(i - 1);
    MIDIOUTCAPS caps;
    Check(midiOutGetDevCaps(id, &caps), ecGeneral);
    if (match(caps)) return id;
  }
  return count;
}

namespace {

// The port already bore what was sought and the device has gone: the search
// ended past the last id. Raised here rather than by DeviceID's own check,
// which counts the devices again: one that came meanwhile would make that id
// valid, and the port would silently move to whichever device bears it.
void RaiseUnlessFound(bool found) {
  if (!found) throw EMidiOutputError("Invalid device ID");
}

}  // namespace

void TMidiOutput::SetProductName(const std::string& value) {
  if (FState == mosOpen) throw EMidiOutputError("Change to ProductName while device was open");
  bool found = false;
  const uint32_t id = SearchDevices([&](const MIDIOUTCAPS& caps) {
    found = caps.szPname == value;
    return found;
  });
  if (found) FProductName = value;
  if (FProductName != value) {
    throw EMidiOutputError("MIDI output Device " + value + " not installed");
  }
  RaiseUnlessFound(found);
  SetDeviceID(id);
}

void TMidiOutput::SetTechnology(OutPortTech value) {
  if (FState == mosOpen) {
    throw EMidiOutputError("Change to Product Technology while device was open");
  }
  bool found = false;
  const uint32_t id = SearchDevices([&](const MIDIOUTCAPS& caps) {
    found = (caps.wTechnology & 0xFF) == value;
    return found;
  });
  if (found) FTechnology = value;
  if (FTechnology != value) {
    throw EMidiOutputError("MIDI output technology " + TechnologyName(value) + " not installed");
  }
  RaiseUnlessFound(found);
  SetDeviceID(id);
}

TFeatureSet TMidiOutput::SupportedFeatures() const {
  TFeatureSet features;
  if (FSupport & MIDICAPS_CACHE) features.Include(ftCaching);
  if (FSupport & MIDICAPS_STREAM) features.Include(ftStreaming);
  if (FSupport & MIDICAPS_VOLUME) features.Include(ftVolume);
  if (FSupport & MIDICAPS_LRVOLUME) features.Include(ftStereoVolume);
  return features;
}

bool TMidiOutput::Open() {
  if (FState == mosOpen) return false;
  if (PCtlInfo == nullptr) {
    PCtlInfo = TMidiCtlInfo::Allocate();
    if (PCtlInfo == nullptr) {
      throw EMidiOutputError("Not enough memory for the MIDI output control record");
    }
  }
  PCtlInfo->hWindow = Handle;
  HMIDI handle = 0;
  FError = midiOutOpen(&handle, FDeviceID, MidiDriverCallback,
                       reinterpret_cast<uintptr_t>(PCtlInfo), CALLBACK_FUNCTION);
  if (FError != MMSYSERR_NOERROR) {
    ReleaseCtlInfo();
    return false;
  }
  FMIDIHandle = handle;
  FState = mosOpen;
  return true;
}

bool TMidiOutput::Close() {
  bool closed = false;
  if (FState == mosOpen) {
    if (FFullResetOnClose) Check(midiOutReset(FMIDIHandle), ecGeneral);
    Check(midiOutClose(FMIDIHandle), ecGeneral);
    closed = true;
  }
  FMIDIHandle = 0;
  FState = mosClosed;
  return closed;
}

bool TMidiOutput::ChangeDevice(uint32_t newDeviceId, bool openAfterChange) {
  if (FState != mosClosed) Close();
  if (FState != mosClosed) return false;
  SetDeviceID(newDeviceId);
  return openAfterChange ? Open() : false;
}

void TMidiOutput::PutMidiEvent(const TMyMidiEvent& event) {
  if (FState != mosOpen) throw EMidiOutputError("MIDI Output device not open");
  if (event.Sysex) {
    PutLong(event.Sysex.get(), event.SysexLength);
  } else {
    PutShort(event.MidiMessage, event.Data1, event.Data2);
  }
}

void TMidiOutput::PutShort(uint8_t midiMessage, uint8_t data1, uint8_t data2) {
  if (FState != mosOpen) throw EMidiOutputError("(Short Msg) Device not opened.");
  Check(midiOutShortMsg(FMIDIHandle, midiMessage + 256u * data1 + 65536u * data2), ecShortMsg);
}

void TMidiOutput::PutLong(const uint8_t* sysex, uint16_t msgLength) {
  if (FState != mosOpen) throw EMidiOutputError("(Long Msg) Device not opened.");
  if (msgLength == 0 || sysex == nullptr) {
    throw EMidiOutputError("(Long Msg) There is no message to send.");
  }
  auto owned = std::make_unique<TMyMidiHdr>(msgLength);
  if (!owned->Allocated()) {
    throw EMidiOutputError("(Long Msg) Not enough memory for the message buffer.");
  }
  MIDIHDR* hdr = owned->hdrPointer;
  std::copy_n(sysex, msgLength, owned->sysexPointer);
  hdr->dwUser = reinterpret_cast<uintptr_t>(owned.get());
  Check(midiOutPrepareHeader(FMIDIHandle, hdr, kHdrSize), ecPrepHeader);
  FPending.emplace(hdr, std::move(owned));
  const MMRESULT sent = midiOutLongMsg(FMIDIHandle, hdr, kHdrSize);
  if (sent != MMSYSERR_NOERROR) {
    // Never with the driver, so no completion notice will release it.
    midiOutUnprepareHeader(FMIDIHandle, hdr, kHdrSize);
    FPending.erase(hdr);
  }
  Check(sent, ecLongMsg);
}

intptr_t TMidiOutput::MidiOutputDone(uint32_t msg, uintptr_t, uintptr_t lParam) {
  if (msg != MOM_DONE) return 0;
  auto* hdr = reinterpret_cast<MIDIHDR*>(lParam);
  auto it = FPending.find(hdr);
  if (it == FPending.end()) return 0;  // not a header of this port
  midiOutUnprepareHeader(FMIDIHandle, hdr, kHdrSize);
  FPending.erase(it);
  if (FOnMidiOutput && !FDestroying) FOnMidiOutput(this);
  return 0;
}

void TMidiOutput::PutChannelMessage(uint8_t status, uint8_t channel, uint8_t data1,
                                    uint8_t data2) {
  PutShort(static_cast<uint8_t>(status + (channel & 0x0F)), data1, data2);
}

void TMidiOutput::NoteOff(uint8_t channel, uint8_t note, uint8_t dynamics) {
  PutChannelMessage(0x80, channel, note, dynamics);
}
void TMidiOutput::NoteOn(uint8_t channel, uint8_t note, uint8_t dynamics) {
  PutChannelMessage(0x90, channel, note, dynamics);
}
void TMidiOutput::NoteAftertouch(uint8_t channel, uint8_t note, uint8_t newDynamics) {
  PutChannelMessage(0xA0, channel, note, newDynamics);
}
void TMidiOutput::ControllerChange(uint8_t channel, uint8_t newController, uint8_t value) {
  PutChannelMessage(0xB0, channel, newController, value);
}
void TMidiOutput::ProgramChange(uint8_t channel, uint8_t newProgram) {
  PutChannelMessage(0xC0, channel, newProgram, 0);
}
void TMidiOutput::ChannelAftertouch(uint8_t channel, uint8_t newDynamics) {
  PutChannelMessage(0xD0, channel, newDynamics, 0);
}
void TMidiOutput::ChangeInstrument(uint8_t channel, TGMInstrumentPatch newInstrument) {
  ProgramChange(channel, newInstrument);
}

void TMidiOutput::SetVolume(uint16_t left, uint16_t right) {
  const uint32_t value =
      (uint32_t{left} << 16) | (SupportsStereoVolumeControl() ? right : left);
  Check(midiOutSetVolume(FDeviceID, value), ecGeneral);
}

void TMidiOutput::SetVolume(uint16_t monoVolume) { SetVolume(monoVolume, monoVolume); }

void TMidiOutput::GetVolume(uint16_t& left, uint16_t& right) {
  uint32_t value = 0;
  Check(midiOutGetVolume(FDeviceID, &value), ecGeneral);
  left = static_cast<uint16_t>(value >> 16);
  right = SupportsStereoVolumeControl() ? static_cast<uint16_t>(value & 0xFFFF) : left;
}

void TMidiOutput::GetVolume(uint16_t& monoVolume) {
  uint16_t right = 0;
  GetVolume(monoVolume, right);
}

uint16_t TMidiOutput::GetVolume() {
  uint16_t left = 0;
  GetVolume(left);
  return left;
}

bool TMidiOutput::CachePatches(uint32_t bank, TKeyPatchArray& patchArray, uint8_t operationFlag) {
  FError = midiOutCachePatches(FMIDIHandle, bank, patchArray.data(), operationFlag);
  return FError == MMSYSERR_NOERROR;
}

bool TMidiOutput::CacheDrumPatches(uint32_t patch, TKeyPatchArray& keyArray,
                                   uint8_t operationFlag) {
  FError = midiOutCacheDrumPatches(FMIDIHandle, patch, keyArray.data(), operationFlag);
  return FError == MMSYSERR_NOERROR;
}

MMRESULT TMidiOutput::DriverMidiMessage(uint32_t msg, uint32_t dw1, uint32_t dw2) {
  return midiOutMessage(FDeviceID, msg, dw1, dw2);
}

void TMidiOutput::ReleaseCtlInfo() {
  TMidiCtlInfo::Free(PCtlInfo);
  PCtlInfo = nullptr;
}
