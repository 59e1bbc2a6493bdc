#include "MidiIn.h"

#include <algorithm>

#include "CircBuf.h"
#include "MidiCallback.h"
#include "MidiWindow.h"

namespace {

constexpr uint32_t kHdrSize = sizeof(MIDIHDR);

}  // namespace

std::string TMidiInput::ErrorText(MMRESULT code) { return PlatformErrorText(midiInGetErrorText, code); }

TMidiInput::TMidiInput(QObject* owner) : TMidiIO(owner) {
  FState = misCreating;
  FNumDevs = midiInGetNumDevs();
  if (FNumDevs > 0) {
    try {
      SetDeviceID(0);
    } catch (const EMidiInputError&) {
      // Device 0 cannot be read: the port starts without a selected device
      // (Error holds the platform's code) instead of failing to exist.
    }
  }
  Handle = new TMidiWindow(
      [this](uint32_t msg, uintptr_t wParam, uintptr_t lParam) {
        return MidiInput(msg, wParam, lParam);
      },
      this, {MIM_DATA, WM_USER});
  FState = misClosed;
}

TMidiInput::~TMidiInput() {
  if (FMIDIHandle != 0) ForceClose();
  ReleaseHeaders();
  ReleaseBuffers();
  TMidiCtlInfo::Free(PCtlInfo);
  PCtlInfo = nullptr;
}

uint32_t TMidiInput::DeviceCount() {
  FNumDevs = midiInGetNumDevs();
  return FNumDevs;
}

void TMidiInput::Raise(const std::string& text) { throw EMidiInputError(text); }

void TMidiInput::Check(MMRESULT result) {
  FError = static_cast<uint16_t>(result & 0xFFFF);
  if (result != MMSYSERR_NOERROR) Raise(ErrorText(result));
}

void TMidiInput::SetDeviceID(uint32_t value) {
  if (FState == misOpen) Raise("Change to DeviceID while device was open");
  if (value >= midiInGetNumDevs() && value != MIDI_MAPPER) Raise("Invalid device ID");
  FDeviceID = value;
  MIDIINCAPS caps;
  Check(midiInGetDevCaps(value, &caps));
  FProductName = caps.szPname;
  FDriverVersion = caps.vDriverVersion;
  FMID = caps.wMid;
  FPID = caps.wPid;
  if (FOnDeviceChanged) FOnDeviceChanged(this);
}

void TMidiInput::SetProductName(const std::string& value) {
  if (FState == misOpen) Raise("Change to ProductName while device was open");
  const uint32_t count = midiInGetNumDevs();
  uint32_t id = 0;
  for (; id < count; ++id) {
    MIDIINCAPS caps;
    Check(midiInGetDevCaps(id, &caps));
    if (caps.szPname == value) {
      FProductName = value;
      break;
    }
  }
  if (FProductName != value) Raise("MIDI Input Device " + value + " not installed ");
  // The port already bore that name and the device has gone. Raised here:
  // DeviceID's own check counts the devices again, and a device that came
  // meanwhile would make the id valid and move the port to that device.
  if (id == count) Raise("Invalid device ID");
  SetDeviceID(id);
}

void TMidiInput::SetBatchMs(uint16_t value) {
  FBatchMs = value;
  Handle->SetHold(MIM_DATA, value);
}

void TMidiInput::SetSysexBufferSize(uint16_t value) {
  if (FState == misOpen) Raise("Change to SysexBufferSize while device was open");
  FSysexBufferSize = value;
}

void TMidiInput::SetSysexBufferCount(uint16_t value) {
  if (FState == misOpen) Raise("Change to SysexBufferCount while device was open");
  FSysexBufferCount = value;
}

void TMidiInput::SetSysexOnly(bool value) {
  FSysexOnly = value;
  if (PCtlInfo != nullptr) PCtlInfo->SysexOnly.store(value, std::memory_order_relaxed);
}

void TMidiInput::SetFilteredMessages(TMidiMsgFilter value) {
  FFilteredMessages = value;
  if (PCtlInfo != nullptr) CopyFiltersToCtlInfo();
}

void TMidiInput::CopyFiltersToCtlInfo() {
  PCtlInfo->SysexOnly.store(FSysexOnly, std::memory_order_relaxed);
  PCtlInfo->FilterMTC.store(FFilteredMessages.Contains(msgMidiTimeCode), std::memory_order_relaxed);
  PCtlInfo->FilterAS.store(FFilteredMessages.Contains(msgActiveSensing), std::memory_order_relaxed);
}

void TMidiInput::Open() {
  if (FState == misOpen || FMIDIHandle != 0) Raise("The MIDI input device is already open");
  try {
    if (PBuffer == nullptr) {
      if (FCapacity == 0 || FCapacity > kMaxCircularBufferCapacity) {
        Raise("Invalid queue capacity " + std::to_string(FCapacity) + ": it must be 1 to " +
              std::to_string(kMaxCircularBufferCapacity) + " messages");
      }
      PBuffer = CreateCircularBuffer(FCapacity);
      if (PBuffer == nullptr) Raise("Not enough memory for the MIDI input queue");
    }
    if (PCtlInfo == nullptr) {
      PCtlInfo = TMidiCtlInfo::Allocate();
      if (PCtlInfo == nullptr) Raise("Not enough memory for the MIDI input control record");
    }
    PCtlInfo->PBuffer = PBuffer;
    PCtlInfo->hWindow = Handle;
    ForgetLosses();
    CopyFiltersToCtlInfo();
    HMIDI handle = 0;
    const MMRESULT result = midiInOpen(&handle, FDeviceID, MidiDriverCallback,
                                       reinterpret_cast<uintptr_t>(PCtlInfo), CALLBACK_FUNCTION);
    if (result == MMSYSERR_NOERROR) FMIDIHandle = handle;
    Check(result);
    PrepareHeaders();
    AddBuffers();
    FState = misOpen;
  } catch (...) {
    AbandonOpen();
    throw;
  }
}

void TMidiInput::PrepareHeaders() {
  if (FSysexBufferCount == 0 || FSysexBufferSize == 0 || FMIDIHandle == 0) return;
  MidiHdrs.clear();
  MidiHdrs.reserve(FSysexBufferCount);
  for (uint16_t i = 0; i < FSysexBufferCount; ++i) {
    auto hdr = std::make_unique<TMyMidiHdr>(FSysexBufferSize);
    if (!hdr->Allocated()) Raise("Not enough memory for the system-exclusive buffers");
    hdr->hdrPointer->dwUser = reinterpret_cast<uintptr_t>(hdr.get());
    Check(midiInPrepareHeader(FMIDIHandle, hdr->hdrPointer, kHdrSize));
    MidiHdrs.push_back(std::move(hdr));
  }
}

void TMidiInput::AddBuffers() {
  for (const auto& hdr : MidiHdrs) Check(midiInAddBuffer(FMIDIHandle, hdr->hdrPointer, kHdrSize));
}

void TMidiInput::AbandonOpen() noexcept {
  if (FMIDIHandle != 0) {
    // Take back the headers already with the driver before releasing them.
    const bool reset = midiInReset(FMIDIHandle) == MMSYSERR_NOERROR;
    if (reset) ReleaseHeaders();
    const MMRESULT closed = midiInClose(FMIDIHandle);
    FError = static_cast<uint16_t>(closed & 0xFFFF);
    // A device that refuses to close may still call back: keep what it uses
    // (Close or the destructor try again).
    if (closed != MMSYSERR_NOERROR) return;
    FMIDIHandle = 0;
  }
  ReleaseHeaders();
  ReleaseBuffers();
  TMidiCtlInfo::Free(PCtlInfo);
  PCtlInfo = nullptr;
}

void TMidiInput::Start() {
  if (FState == misOpen) Check(midiInStart(FMIDIHandle));
}

void TMidiInput::Stop() {
  if (FState == misOpen) Check(midiInStop(FMIDIHandle));
}

void TMidiInput::OpenAndStart() {
  Open();
  Start();
}

void TMidiInput::StopAndClose() {
  Stop();
  Close();
}

void TMidiInput::Close() {
  if (FState != misOpen && FMIDIHandle == 0) return;
  // From here on, notices still queued and messages returned by the reset are
  // no longer delivered.
  FState = misClosed;
  Check(midiInReset(FMIDIHandle));
  UnprepareHeaders();
  Check(midiInClose(FMIDIHandle));
  FMIDIHandle = 0;
  ReleaseBuffers();
}

void TMidiInput::UnprepareHeaders() {
  // From the front, each header released once unprepared: after a failure the
  // rest stay for the next Close.
  while (!MidiHdrs.empty()) {
    Check(midiInUnprepareHeader(FMIDIHandle, MidiHdrs.front()->hdrPointer, kHdrSize));
    MidiHdrs.erase(MidiHdrs.begin());
  }
}

void TMidiInput::ForceClose() noexcept {
  try {
    Close();
  } catch (const EMidiInputError&) {
    midiInReset(FMIDIHandle);
    midiInClose(FMIDIHandle);
    FMIDIHandle = 0;
  }
}

void TMidiInput::ReleaseHeaders() noexcept {
  for (const auto& hdr : MidiHdrs) midiInUnprepareHeader(FMIDIHandle, hdr->hdrPointer, kHdrSize);
  MidiHdrs.clear();
}

void TMidiInput::ReleaseBuffers() noexcept {
  FreeCircularBuffer(PBuffer);
  PBuffer = nullptr;
  if (PCtlInfo != nullptr) PCtlInfo->PBuffer = nullptr;
  ForgetLosses();
}

void TMidiInput::ForgetLosses() noexcept {
  if (PCtlInfo == nullptr) return;
  PCtlInfo->LostCount.store(0, std::memory_order_relaxed);
  PCtlInfo->LostBeforeNextSysex.store(false, std::memory_order_relaxed);
  PCtlInfo->LossUncounted.store(false, std::memory_order_relaxed);
  FLossUncounted = false;
  while (PCtlInfo->TakeLostHeader() != nullptr) {
  }
}

void TMidiInput::ChangeDevice(uint32_t newDeviceId, bool openAndStartAfterChange) {
  if (newDeviceId == FDeviceID) return;
  StopAndClose();
  SetDeviceID(newDeviceId);
  if (openAndStartAfterChange) OpenAndStart();
}

bool TMidiInput::OwnsHeader(const MIDIHDR* hdr) const {
  return std::any_of(MidiHdrs.begin(), MidiHdrs.end(),
                     [hdr](const auto& own) { return own->hdrPointer == hdr; });
}

bool TMidiInput::DeviceGone() const {
  return FState == misOpen && midiInCheckDevice(FMIDIHandle) == MIDIERR_NODEVICE;
}

uint16_t TMidiInput::MessageCount() const {
  if (FState != misOpen || PBuffer == nullptr) return 0;
  return PBuffer->EventCount();
}

std::unique_ptr<TMyMidiEvent> TMidiInput::GetMidiEvent() {
  if (FState != misOpen || PBuffer == nullptr) return nullptr;
  TMidiBufferItem item;
  if (!PeekBufferItem(PBuffer, item)) return nullptr;
  auto event = std::make_unique<TMyMidiEvent>();
  event->Time = item.timestamp;
  event->TimeUs = item.timeUs;
  if (item.sysex != nullptr) {
    event->MidiMessage = 0xF0;
    event->AfterLoss = item.data == kSysexAfterLoss;
    MIDIHDR* hdr = item.sysex;
    const bool ours = OwnsHeader(hdr);
    if (ours) {
      // A driver never reports more than the buffer holds; don't trust it to.
      const uint32_t recorded = std::min(hdr->dwBytesRecorded, hdr->dwBufferLength);
      event->SetSysex(hdr->lpData, static_cast<uint16_t>(recorded & 0xFFFF));
      hdr->dwBytesRecorded = 0;
      MMRESULT result = midiInPrepareHeader(FMIDIHandle, hdr, kHdrSize);
      if (result == MMSYSERR_NOERROR) result = midiInAddBuffer(FMIDIHandle, hdr, kHdrSize);
      if (result != MMSYSERR_NOERROR) {
        // The header stays with the port (released by Close); the item goes, so
        // the queue moves on, and the event is not returned.
        (void)RemoveBufferItem(PBuffer);
        Check(result);
      }
      FError = 0;
    }
  } else {
    event->MidiMessage = static_cast<uint8_t>(item.data & 0xFF);
    event->Data1 = static_cast<uint8_t>((item.data >> 8) & 0xFF);
    event->Data2 = static_cast<uint8_t>((item.data >> 16) & 0xFF);
  }
  (void)RemoveBufferItem(PBuffer);
  return event;
}

void TMidiInput::FlushQueue() {
  while (MessageCount() > 0) GetMidiEvent();
}

void TMidiInput::GiveBackLostHeader(MIDIHDR* hdr) noexcept {
  if (FState != misOpen || !OwnsHeader(hdr)) return;
  // A header that cannot be handed back stays with the port until Close, as
  // before; the overflow itself is reported either way.
  hdr->dwBytesRecorded = 0;
  if (midiInPrepareHeader(FMIDIHandle, hdr, kHdrSize) == MMSYSERR_NOERROR)
    midiInAddBuffer(FMIDIHandle, hdr, kHdrSize);
}

void TMidiInput::HandleOverflow() {
  if (PCtlInfo == nullptr) return;
  while (MIDIHDR* hdr = PCtlInfo->TakeLostHeader()) GiveBackLostHeader(hdr);
  if (PCtlInfo->LossUncounted.exchange(false, std::memory_order_acquire)) FLossUncounted = true;
  for (uint32_t lost = PCtlInfo->LostCount.exchange(0, std::memory_order_acquire); lost > 0; --lost) {
    if (!FOnOverflow || FState != misOpen) return;
    FOnOverflow(this);
  }
}

intptr_t TMidiInput::MidiInput(uint32_t msg, uintptr_t, uintptr_t) {
  switch (msg) {
    case MIM_DATA: {
      if (!FOnMidiInput || FState != misOpen) return 0;
      const uint16_t waiting = MessageCount();
      if (waiting == 0) return 0;
      FOnMidiInput(this);
      return waiting >= kBatchMessages ? 1 : 0;  // a batch: the window holds the next notice
    }
    case WM_USER:
      HandleOverflow();
      return 0;
    case WM_QUERYENDSESSION:
      return 1;
    default:
      return 0;
  }
}
