#include "MidiType.h"

#include <algorithm>
#include <new>

#include "CircBuf.h"

const std::array<const char*, 6> TechnologyNames = {
    "None", "MIDI Port", "Generic Synth", "Square Wave Synth", "FM Synth", "MIDI Mapper"};

std::string TechnologyName(OutPortTech tech) {
  if (tech < TechnologyNames.size()) return TechnologyNames[tech];
  return std::to_string(static_cast<unsigned>(tech));
}

std::string PlatformErrorText(MMRESULT (*errorTextService)(MMRESULT, std::string*), MMRESULT code) {
  std::string text;
  if (errorTextService(code, &text) != MMSYSERR_NOERROR) return "Specified error number is out of range";
  return text;
}

void TMyMidiEvent::SetSysex(const uint8_t* bytes, uint16_t length) {
  MidiMessage = 0xF0;
  Data1 = 0;
  Data2 = 0;
  SysexLength = length;
  Sysex.reset();
  if (length == 0) return;
  Sysex = std::make_unique<uint8_t[]>(length);
  std::copy_n(bytes, length, Sysex.get());
}

TMyMidiHdr::TMyMidiHdr(uint16_t bufferSize) {
  if (bufferSize == 0) return;
  auto* hdr = static_cast<MIDIHDR*>(AllocSharedBlock(sizeof(MIDIHDR), hdrHandle));
  auto* data = static_cast<uint8_t*>(AllocSharedBlock(bufferSize, sysexHandle));
  if (hdr == nullptr || data == nullptr) {
    FreeSharedBlock(hdrHandle);
    FreeSharedBlock(sysexHandle);
    hdrHandle = 0;
    sysexHandle = 0;
    return;
  }
  hdrPointer = new (hdr) MIDIHDR{};
  sysexPointer = data;
  hdrPointer->lpData = sysexPointer;
  hdrPointer->dwBufferLength = bufferSize;
}

TMyMidiHdr::~TMyMidiHdr() {
  FreeSharedBlock(hdrHandle);
  FreeSharedBlock(sysexHandle);
}

TMidiCtlInfo* TMidiCtlInfo::Allocate() {
  uint32_t handle = 0;
  void* block = AllocSharedBlock(sizeof(TMidiCtlInfo), handle);
  if (block == nullptr) return nullptr;
  auto* info = new (block) TMidiCtlInfo;
  info->hMem = handle;
  return info;
}

void TMidiCtlInfo::Free(TMidiCtlInfo* info) {
  if (info == nullptr) return;
  const uint32_t handle = info->hMem;
  info->~TMidiCtlInfo();
  FreeSharedBlock(handle);
}
