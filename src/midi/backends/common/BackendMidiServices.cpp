#include "BackendMidiServices.h"

#include <utility>

#include "ErrorTexts.h"
#include "HeaderFlags.h"
#include "MidiBytes.h"

namespace {

constexpr uint16_t kManufacturerId = 0xFFFF;  // no registered manufacturer
constexpr uint16_t kMapperProductId = 4;
constexpr uint32_t kMapperVersion = 0x0100;
constexpr uint16_t kAllChannels = 0xFFFF;
constexpr uint32_t kCallbackTypeMask = 0x00070000;

MMRESULT CheckHeader(const MIDIHDR* hdr, uint32_t hdrSize) {
  return hdr == nullptr || hdrSize < sizeof(MIDIHDR) ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

MMRESULT PrepareHeader(MIDIHDR* hdr, uint32_t hdrSize) {
  if (MMRESULT result = CheckHeader(hdr, hdrSize)) return result;
  if (hdr->lpData == nullptr || hdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  ChangeHeaderFlags(*hdr, MHDR_PREPARED, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT UnprepareHeader(MIDIHDR* hdr, uint32_t hdrSize) {
  if (MMRESULT result = CheckHeader(hdr, hdrSize)) return result;
  if (HeaderFlags(*hdr) & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  ChangeHeaderFlags(*hdr, 0, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

// A header about to be handed to the driver.
MMRESULT CheckHandOver(const MIDIHDR* hdr, uint32_t hdrSize) {
  if (MMRESULT result = CheckHeader(hdr, hdrSize)) return result;
  const uint32_t flags = HeaderFlags(*hdr);
  if (!(flags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  if (hdr->lpData == nullptr || hdr->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

// Only function callbacks (or none) are offered.
MMRESULT CheckOpen(HMIDI* handle, MidiCallbackProc callback, uint32_t flags) {
  if (handle == nullptr) return MMSYSERR_INVALPARAM;
  *handle = 0;
  switch (flags & kCallbackTypeMask) {
    case 0: return MMSYSERR_NOERROR;
    case CALLBACK_FUNCTION: return callback != nullptr ? MMSYSERR_NOERROR : MMSYSERR_INVALPARAM;
    default: return MMSYSERR_INVALPARAM;
  }
}

MMRESULT ErrorText(MMRESULT code, std::string* text) {
  if (text == nullptr) return MMSYSERR_INVALPARAM;
  std::optional<std::string> known = MidiErrorText(code);
  if (!known) return MMSYSERR_INVALPARAM;
  *text = std::move(*known);
  return MMSYSERR_NOERROR;
}

}  // namespace

BackendMidiServices::BackendMidiServices(std::vector<std::unique_ptr<DeviceSource>> sources,
                                         MidiClock clock)
    : sources_(std::move(sources)), clock_(std::move(clock)) {}

BackendMidiServices::~BackendMidiServices() {
  for (auto& [handle, port] : inputPorts_) port.delivery->TakeBackBuffers();
  inputPorts_.clear();
  for (auto& [handle, port] : outputPorts_) port.connection->Flush();
  outputPorts_.clear();
}

// ---- Device lists -----------------------------------------------------------

void BackendMidiServices::ListInputs() {
  inputs_.clear();
  for (auto& source : sources_) {
    for (std::string& name : source->InputNames()) inputs_.push_back({std::move(name), source.get()});
  }
  inputsListed_ = true;
}

void BackendMidiServices::ListOutputs() {
  outputs_.clear();
  for (auto& source : sources_) {
    for (std::string& name : source->OutputNames()) {
      outputs_.push_back({std::move(name), source.get()});
    }
  }
  outputsListed_ = true;
}

const std::vector<BackendMidiServices::Device>& BackendMidiServices::Inputs() {
  if (!inputsListed_) ListInputs();
  return inputs_;
}

const std::vector<BackendMidiServices::Device>& BackendMidiServices::Outputs() {
  if (!outputsListed_) ListOutputs();
  return outputs_;
}

MMRESULT BackendMidiServices::CheckOutputId(uint32_t deviceId) {
  return deviceId == MIDI_MAPPER || deviceId < Outputs().size() ? MMSYSERR_NOERROR
                                                                 : MMSYSERR_BADDEVICEID;
}

BackendMidiServices::InputPort* BackendMidiServices::FindInput(HMIDI handle) {
  auto found = inputPorts_.find(handle);
  return found == inputPorts_.end() ? nullptr : &found->second;
}

BackendMidiServices::OutputPort* BackendMidiServices::FindOutput(HMIDI handle) {
  auto found = outputPorts_.find(handle);
  return found == outputPorts_.end() ? nullptr : &found->second;
}

// ---- Input ------------------------------------------------------------------

uint32_t BackendMidiServices::midiInGetNumDevs() {
  ListInputs();
  return static_cast<uint32_t>(inputs_.size());
}

MMRESULT BackendMidiServices::midiInGetDevCaps(uint32_t deviceId, MIDIINCAPS* caps) {
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  const auto& devices = Inputs();
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  const Device& device = devices[deviceId];
  *caps = MIDIINCAPS{kManufacturerId, device.source->ProductId(), device.source->DriverVersion(),
                     device.name, 0};
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiInGetErrorText(MMRESULT code, std::string* text) {
  return ErrorText(code, text);
}

MMRESULT BackendMidiServices::midiInOpen(HMIDI* handle, uint32_t deviceId,
                                         MidiCallbackProc callback, uintptr_t instance,
                                         uint32_t flags) {
  if (MMRESULT result = CheckOpen(handle, callback, flags)) return result;
  const auto& devices = Inputs();
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  const HMIDI newHandle = NewHandle();
  InputPort port;
  port.delivery = std::make_unique<InputDelivery>(
      newHandle, (flags & kCallbackTypeMask) ? callback : nullptr, instance, clock_);
  const Device& device = devices[deviceId];
  if (MMRESULT result = device.source->OpenInput(device.name, *port.delivery, &port.connection)) {
    return result;
  }
  inputPorts_.emplace(newHandle, std::move(port));
  *handle = newHandle;
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiInClose(HMIDI handle) {
  InputPort* port = FindInput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->delivery->TakeBackBuffers();
  inputPorts_.erase(handle);
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiInPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  if (FindInput(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return PrepareHeader(hdr, hdrSize);
}

MMRESULT BackendMidiServices::midiInUnprepareHeader(HMIDI handle, MIDIHDR* hdr,
                                                    uint32_t hdrSize) {
  if (FindInput(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return UnprepareHeader(hdr, hdrSize);
}

MMRESULT BackendMidiServices::midiInAddBuffer(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  InputPort* port = FindInput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckHandOver(hdr, hdrSize)) return result;
  return port->delivery->AddBuffer(hdr);
}

MMRESULT BackendMidiServices::midiInStart(HMIDI handle) {
  InputPort* port = FindInput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->delivery->Start();
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiInStop(HMIDI handle) {
  InputPort* port = FindInput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->delivery->Stop();
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiInReset(HMIDI handle) {
  InputPort* port = FindInput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->delivery->TakeBackBuffers();
  return MMSYSERR_NOERROR;
}

// ---- Output -----------------------------------------------------------------

uint32_t BackendMidiServices::midiOutGetNumDevs() {
  ListOutputs();
  return static_cast<uint32_t>(outputs_.size());
}

MMRESULT BackendMidiServices::midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps) {
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  if (deviceId == MIDI_MAPPER) {
    *caps = MIDIOUTCAPS{kManufacturerId, kMapperProductId, kMapperVersion, kMapperName,
                        MOD_MAPPER,      0,                0,              kAllChannels, 0};
    return MMSYSERR_NOERROR;
  }
  const auto& devices = Outputs();
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  const Device& device = devices[deviceId];
  *caps = MIDIOUTCAPS{kManufacturerId, device.source->ProductId(), device.source->DriverVersion(),
                      device.name,     MOD_MIDIPORT, 0, 0, kAllChannels, 0};
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiOutGetErrorText(MMRESULT code, std::string* text) {
  return ErrorText(code, text);
}

MMRESULT BackendMidiServices::midiOutOpen(HMIDI* handle, uint32_t deviceId,
                                          MidiCallbackProc callback, uintptr_t instance,
                                          uint32_t flags) {
  if (MMRESULT result = CheckOpen(handle, callback, flags)) return result;
  const auto& devices = Outputs();
  if (deviceId == MIDI_MAPPER) {
    if (devices.empty()) return MIDIERR_NODEVICE;
    deviceId = 0;
  }
  if (deviceId >= devices.size()) return MMSYSERR_BADDEVICEID;
  const HMIDI newHandle = NewHandle();
  const LongMessageDone done{newHandle, (flags & kCallbackTypeMask) ? callback : nullptr,
                             instance};
  OutputPort port;
  const Device& device = devices[deviceId];
  if (MMRESULT result = device.source->OpenOutput(device.name, done, &port.connection)) {
    return result;
  }
  outputPorts_.emplace(newHandle, std::move(port));
  *handle = newHandle;
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiOutClose(HMIDI handle) {
  OutputPort* port = FindOutput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->connection->Flush();
  outputPorts_.erase(handle);
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiOutShortMsg(HMIDI handle, uint32_t packedMsg) {
  OutputPort* port = FindOutput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  const uint8_t bytes[3] = {static_cast<uint8_t>(packedMsg), static_cast<uint8_t>(packedMsg >> 8),
                            static_cast<uint8_t>(packedMsg >> 16)};
  if (bytes[0] < 0x80) return MIDIERR_BADOPENMODE;
  const int length = ShortMessageLength(bytes[0]);
  if (length == 0) return MMSYSERR_INVALPARAM;  // system exclusive goes by midiOutLongMsg
  for (int i = 1; i < length; ++i) {
    if (bytes[i] >= 0x80) return MMSYSERR_INVALPARAM;  // would be read as a status byte
  }
  return Sent(*port, port->connection->SendShort(bytes, static_cast<size_t>(length)));
}

MMRESULT BackendMidiServices::midiOutPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  if (FindOutput(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return PrepareHeader(hdr, hdrSize);
}

MMRESULT BackendMidiServices::midiOutUnprepareHeader(HMIDI handle, MIDIHDR* hdr,
                                                     uint32_t hdrSize) {
  if (FindOutput(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return UnprepareHeader(hdr, hdrSize);
}

MMRESULT BackendMidiServices::midiOutLongMsg(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  OutputPort* port = FindOutput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckHandOver(hdr, hdrSize)) return result;
  ChangeHeaderFlags(*hdr, MHDR_INQUEUE, MHDR_DONE);
  const MMRESULT result = Sent(*port, port->connection->SendLong(hdr));
  if (result != MMSYSERR_NOERROR) ChangeHeaderFlags(*hdr, 0, MHDR_INQUEUE);
  return result;
}

MMRESULT BackendMidiServices::midiOutReset(HMIDI handle) {
  OutputPort* port = FindOutput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->connection->Flush();
  return MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiOutGetVolume(uint32_t deviceId, uint32_t* volume) {
  if (MMRESULT result = CheckOutputId(deviceId)) return result;
  return volume == nullptr ? MMSYSERR_INVALPARAM : kMidiNotSupported;
}

MMRESULT BackendMidiServices::midiOutSetVolume(uint32_t deviceId, uint32_t) {
  if (MMRESULT result = CheckOutputId(deviceId)) return result;
  return kMidiNotSupported;
}

MMRESULT BackendMidiServices::midiOutMessage(uint32_t deviceId, uint32_t, uint32_t, uint32_t) {
  if (MMRESULT result = CheckOutputId(deviceId)) return result;
  return kMidiNotSupported;
}

MMRESULT BackendMidiServices::midiOutCachePatches(HMIDI handle, uint32_t, uint16_t* patches128,
                                                  uint32_t) {
  if (FindOutput(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return patches128 == nullptr ? MMSYSERR_INVALPARAM : kMidiNotSupported;
}

MMRESULT BackendMidiServices::midiOutCacheDrumPatches(HMIDI handle, uint32_t, uint16_t* keys128,
                                                      uint32_t) {
  if (FindOutput(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return keys128 == nullptr ? MMSYSERR_INVALPARAM : kMidiNotSupported;
}

// ---- Devices that come and go -------------------------------------------------

void BackendMidiServices::SetDevicesChangedListener(std::function<void()> listener) {
  *listener_ = std::move(listener);
  if (watching_ || !*listener_) return;
  watching_ = true;
  for (auto& source : sources_) {
    source->Watch([listener = listener_] {
      const std::function<void()> call = *listener;  // it may set another listener
      if (call) call();
    });
  }
}

MMRESULT BackendMidiServices::midiInCheckDevice(HMIDI handle) {
  InputPort* port = FindInput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  return port->connection->Gone() ? MIDIERR_NODEVICE : MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::midiOutCheckDevice(HMIDI handle) {
  OutputPort* port = FindOutput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  return port->connection->Gone() ? MIDIERR_NODEVICE : MMSYSERR_NOERROR;
}

MMRESULT BackendMidiServices::Sent(OutputPort& port, MMRESULT result) {
  if (result == MMSYSERR_NOERROR) port.handedOver = clock_();
  return result;
}

MMRESULT BackendMidiServices::midiOutGetSendTime(HMIDI handle, uint64_t* steadyUs) {
  OutputPort* port = FindOutput(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (steadyUs == nullptr) return MMSYSERR_INVALPARAM;
  std::optional<std::chrono::steady_clock::time_point> time = port->connection->LastSendTime();
  if (!time) time = port->handedOver;
  if (!time) return MMSYSERR_ERROR;  // nothing sent yet
  *steadyUs = static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(time->time_since_epoch()).count());
  return MMSYSERR_NOERROR;
}
