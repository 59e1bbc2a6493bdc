#include "MidiServices.h"

#include <utility>

namespace {

// Services of a machine without any MIDI device: empty lists, every open refused.
class NoMidiServices final : public MidiServices {
 public:
  uint32_t midiInGetNumDevs() override { return 0; }
  MMRESULT midiInGetDevCaps(uint32_t, MIDIINCAPS*) override { return MMSYSERR_BADDEVICEID; }
  MMRESULT midiInGetErrorText(MMRESULT, std::string*) override { return MMSYSERR_NODRIVER; }
  MMRESULT midiInOpen(HMIDI*, uint32_t, MidiCallbackProc, uintptr_t, uint32_t) override {
    return MMSYSERR_BADDEVICEID;
  }
  MMRESULT midiInClose(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiInPrepareHeader(HMIDI, MIDIHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiInUnprepareHeader(HMIDI, MIDIHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiInAddBuffer(HMIDI, MIDIHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiInStart(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiInStop(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiInReset(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  uint32_t midiOutGetNumDevs() override { return 0; }
  MMRESULT midiOutGetDevCaps(uint32_t, MIDIOUTCAPS*) override { return MMSYSERR_BADDEVICEID; }
  MMRESULT midiOutGetErrorText(MMRESULT, std::string*) override { return MMSYSERR_NODRIVER; }
  MMRESULT midiOutOpen(HMIDI*, uint32_t, MidiCallbackProc, uintptr_t, uint32_t) override {
    return MMSYSERR_BADDEVICEID;
  }
  MMRESULT midiOutClose(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutShortMsg(HMIDI, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutPrepareHeader(HMIDI, MIDIHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutUnprepareHeader(HMIDI, MIDIHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutLongMsg(HMIDI, MIDIHDR*, uint32_t) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutReset(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutGetVolume(uint32_t, uint32_t*) override { return MMSYSERR_BADDEVICEID; }
  MMRESULT midiOutSetVolume(uint32_t, uint32_t) override { return MMSYSERR_BADDEVICEID; }
  MMRESULT midiOutMessage(uint32_t, uint32_t, uint32_t, uint32_t) override {
    return MMSYSERR_BADDEVICEID;
  }
  MMRESULT midiOutCachePatches(HMIDI, uint32_t, uint16_t*, uint32_t) override {
    return MMSYSERR_INVALHANDLE;
  }
  MMRESULT midiOutCacheDrumPatches(HMIDI, uint32_t, uint16_t*, uint32_t) override {
    return MMSYSERR_INVALHANDLE;
  }
  void SetDevicesChangedListener(std::function<void()>) override {}
  MMRESULT midiInCheckDevice(HMIDI) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT midiOutCheckDevice(HMIDI) override { return MMSYSERR_INVALHANDLE; }
};

std::unique_ptr<MidiServices>& InstalledServices() {
  static std::unique_ptr<MidiServices> installed;
  return installed;
}

}  // namespace

std::unique_ptr<MidiServices> InstallMidiServices(std::unique_ptr<MidiServices> services) {
  return std::exchange(InstalledServices(), std::move(services));
}

MidiServices& CurrentMidiServices() {
  static NoMidiServices none;
  auto& installed = InstalledServices();
  return installed ? *installed : static_cast<MidiServices&>(none);
}

ScopedMidiServices::ScopedMidiServices(std::unique_ptr<MidiServices> services)
    : previous_(InstallMidiServices(std::move(services))) {}

ScopedMidiServices::~ScopedMidiServices() { InstallMidiServices(std::move(previous_)); }

uint32_t midiInGetNumDevs() { return CurrentMidiServices().midiInGetNumDevs(); }
MMRESULT midiInGetDevCaps(uint32_t id, MIDIINCAPS* caps) {
  return CurrentMidiServices().midiInGetDevCaps(id, caps);
}
MMRESULT midiInGetErrorText(MMRESULT code, std::string* text) {
  return CurrentMidiServices().midiInGetErrorText(code, text);
}
MMRESULT midiInOpen(HMIDI* handle, uint32_t id, MidiCallbackProc cb, uintptr_t instance,
                    uint32_t flags) {
  return CurrentMidiServices().midiInOpen(handle, id, cb, instance, flags);
}
MMRESULT midiInClose(HMIDI h) { return CurrentMidiServices().midiInClose(h); }
MMRESULT midiInPrepareHeader(HMIDI h, MIDIHDR* hdr, uint32_t size) {
  return CurrentMidiServices().midiInPrepareHeader(h, hdr, size);
}
MMRESULT midiInUnprepareHeader(HMIDI h, MIDIHDR* hdr, uint32_t size) {
  return CurrentMidiServices().midiInUnprepareHeader(h, hdr, size);
}
MMRESULT midiInAddBuffer(HMIDI h, MIDIHDR* hdr, uint32_t size) {
  return CurrentMidiServices().midiInAddBuffer(h, hdr, size);
}
MMRESULT midiInStart(HMIDI h) { return CurrentMidiServices().midiInStart(h); }
MMRESULT midiInStop(HMIDI h) { return CurrentMidiServices().midiInStop(h); }
MMRESULT midiInReset(HMIDI h) { return CurrentMidiServices().midiInReset(h); }
uint32_t midiOutGetNumDevs() { return CurrentMidiServices().midiOutGetNumDevs(); }
MMRESULT midiOutGetDevCaps(uint32_t id, MIDIOUTCAPS* caps) {
  return CurrentMidiServices().midiOutGetDevCaps(id, caps);
}
MMRESULT midiOutGetErrorText(MMRESULT code, std::string* text) {
  return CurrentMidiServices().midiOutGetErrorText(code, text);
}
MMRESULT midiOutOpen(HMIDI* handle, uint32_t id, MidiCallbackProc cb, uintptr_t instance,
                     uint32_t flags) {
  return CurrentMidiServices().midiOutOpen(handle, id, cb, instance, flags);
}
MMRESULT midiOutClose(HMIDI h) { return CurrentMidiServices().midiOutClose(h); }
MMRESULT midiOutShortMsg(HMIDI h, uint32_t msg) { return CurrentMidiServices().midiOutShortMsg(h, msg); }
MMRESULT midiOutPrepareHeader(HMIDI h, MIDIHDR* hdr, uint32_t size) {
  return CurrentMidiServices().midiOutPrepareHeader(h, hdr, size);
}
MMRESULT midiOutUnprepareHeader(HMIDI h, MIDIHDR* hdr, uint32_t size) {
  return CurrentMidiServices().midiOutUnprepareHeader(h, hdr, size);
}
MMRESULT midiOutLongMsg(HMIDI h, MIDIHDR* hdr, uint32_t size) {
  return CurrentMidiServices().midiOutLongMsg(h, hdr, size);
}
MMRESULT midiOutReset(HMIDI h) { return CurrentMidiServices().midiOutReset(h); }
MMRESULT midiOutGetVolume(uint32_t id, uint32_t* volume) {
  return CurrentMidiServices().midiOutGetVolume(id, volume);
}
MMRESULT midiOutSetVolume(uint32_t id, uint32_t volume) {
  return CurrentMidiServices().midiOutSetVolume(id, volume);
}
MMRESULT midiOutMessage(uint32_t id, uint32_t msg, uint32_t dw1, uint32_t dw2) {
  return CurrentMidiServices().midiOutMessage(id, msg, dw1, dw2);
}
MMRESULT midiOutCachePatches(HMIDI h, uint32_t bank, uint16_t* patches, uint32_t flags) {
  return CurrentMidiServices().midiOutCachePatches(h, bank, patches, flags);
}
MMRESULT midiOutCacheDrumPatches(HMIDI h, uint32_t patch, uint16_t* keys, uint32_t flags) {
  return CurrentMidiServices().midiOutCacheDrumPatches(h, patch, keys, flags);
}
void midiSetDevicesChangedListener(std::function<void()> listener) {
  CurrentMidiServices().SetDevicesChangedListener(std::move(listener));
}
MMRESULT midiInCheckDevice(HMIDI h) { return CurrentMidiServices().midiInCheckDevice(h); }
MMRESULT midiOutCheckDevice(HMIDI h) { return CurrentMidiServices().midiOutCheckDevice(h); }
MMRESULT midiOutGetSendTime(HMIDI h, uint64_t* steadyUs) {
  return CurrentMidiServices().midiOutGetSendTime(h, steadyUs);
}
