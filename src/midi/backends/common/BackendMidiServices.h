#pragma once
// The MIDI services over a list of device sources: the device lists (every
// source's inputs and outputs, in the order of the sources), handles, header
// bookkeeping and result codes. The sources do the sending and receiving.
//
// Device ids refer to the list as it was at the last midiInGetNumDevs or
// midiOutGetNumDevs; a device is opened by its name, so one that moved since
// is still found and one that has gone gives MIDIERR_NODEVICE. The mapper
// (MIDI_MAPPER) is an output of its own whose opening opens output 0.
//
// Threads: as MidiServices.h says, every operation comes from the
// user-interface thread; the sources deliver the callbacks, and their device
// notices (DeviceSource::Watch) on the user-interface thread, which become the
// listener's calls. The object owns its
// sources and every open connection; its destructor closes what is still open.

#include <chrono>
#include <map>
#include <optional>
#include <memory>
#include <string>
#include <vector>

#include "DeviceSource.h"
#include "InputDelivery.h"
#include "MidiClock.h"
#include "MidiServices.h"

class BackendMidiServices final : public MidiServices {
 public:
  static constexpr const char* kMapperName = "Orvalis MIDI Mapper";

  // The clock time-stamps the inputs' messages.
  explicit BackendMidiServices(std::vector<std::unique_ptr<DeviceSource>> sources,
                               MidiClock clock = SteadyMidiClock());
  ~BackendMidiServices() override;
  BackendMidiServices(const BackendMidiServices&) = delete;
  BackendMidiServices& operator=(const BackendMidiServices&) = delete;

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

  // The sources are watched from the first listener on.
  void SetDevicesChangedListener(std::function<void()> listener) override;
  MMRESULT midiInCheckDevice(HMIDI handle) override;
  MMRESULT midiOutCheckDevice(HMIDI handle) override;
  // The back end's time where it has one, else when the last send returned.
  MMRESULT midiOutGetSendTime(HMIDI handle, uint64_t* steadyUs) override;

 private:
  struct Device {
    std::string name;
    DeviceSource* source;
  };
  struct InputPort {
    std::unique_ptr<InputDelivery> delivery;
    std::unique_ptr<InputConnection> connection;  // destroyed before the delivery
  };
  struct OutputPort {
    std::unique_ptr<OutputConnection> connection;
    std::optional<std::chrono::steady_clock::time_point> handedOver;  // the last send's
  };
  MMRESULT Sent(OutputPort& port, MMRESULT result);

  const std::vector<Device>& Inputs();
  const std::vector<Device>& Outputs();
  void ListInputs();
  void ListOutputs();
  MMRESULT CheckOutputId(uint32_t deviceId);
  InputPort* FindInput(HMIDI handle);
  OutputPort* FindOutput(HMIDI handle);
  HMIDI NewHandle() { return nextHandle_++; }

  std::vector<std::unique_ptr<DeviceSource>> sources_;
  const MidiClock clock_;
  std::vector<Device> inputs_;
  std::vector<Device> outputs_;
  bool inputsListed_ = false;
  bool outputsListed_ = false;
  std::map<HMIDI, InputPort> inputPorts_;
  std::map<HMIDI, OutputPort> outputPorts_;
  HMIDI nextHandle_ = 0x1000;
  // Shared with the sources' watches, which may outlive a listener.
  std::shared_ptr<std::function<void()>> listener_ = std::make_shared<std::function<void()>>();
  bool watching_ = false;
};
