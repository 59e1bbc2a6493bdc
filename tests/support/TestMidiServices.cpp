#include "TestMidiServices.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include "backends/common/ErrorTexts.h"
#include "DriverTime.h"
#include "MidiBytes.h"

namespace {

using Lock = std::lock_guard<std::recursive_mutex>;

uint64_t Num(const void* p) { return reinterpret_cast<uintptr_t>(p); }

constexpr uint32_t kCallbackTypeMask = 0x00070000;

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

MMRESULT CheckPrepare(const MIDIHDR* hdr, uint32_t hdrSize) {
  if (hdr == nullptr || hdrSize < sizeof(MIDIHDR) || hdr->lpData == nullptr ||
      hdr->dwBufferLength == 0) {
    return MMSYSERR_INVALPARAM;
  }
  return MMSYSERR_NOERROR;
}

// What the program's back ends answer to a short message: refused without a
// status byte, for F0 (which goes as a long message) and for a data byte that
// would be read as a status byte.
MMRESULT ShortMessageRefusal(uint32_t packed) {
  const auto status = static_cast<uint8_t>(packed);
  if (status < 0x80) return MIDIERR_BADOPENMODE;
  const int length = ShortMessageLength(status);
  if (length == 0) return MMSYSERR_INVALPARAM;
  for (int i = 1; i < length; ++i) {
    if (((packed >> (8 * i)) & 0xFF) >= 0x80) return MMSYSERR_INVALPARAM;
  }
  return MMSYSERR_NOERROR;
}

// The bytes of the message that travel: those its status implies.
uint32_t Travelling(uint32_t packed) {
  const int length = ShortMessageLength(static_cast<uint8_t>(packed));
  return packed & (0xFFFFFFu >> (8 * (3 - length)));
}

}  // namespace

TestMidiServices::TestMidiServices() {
  mapperCaps_.wMid = 1;
  mapperCaps_.wPid = 1;
  mapperCaps_.szPname = "MIDI Mapper";
  mapperCaps_.wTechnology = MOD_MAPPER;
  mapperCaps_.wChannelMask = 0xFFFF;
  // The texts users see: those of the program's own back ends.
  for (MMRESULT code : std::initializer_list<MMRESULT>{MMSYSERR_NOERROR, MMSYSERR_ERROR, MMSYSERR_BADDEVICEID, MMSYSERR_ALLOCATED,
                        MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER, MMSYSERR_NOMEM, kMidiNotSupported,
                        MMSYSERR_INVALPARAM, MIDIERR_UNPREPARED, MIDIERR_STILLPLAYING, MIDIERR_NOTREADY,
                        MIDIERR_NODEVICE, MIDIERR_BADOPENMODE}) {
    errorTexts_[code] = *MidiErrorText(code);
  }
  deliveryThread_ = std::thread([this] { DeliveryLoop(); });
}

TestMidiServices::~TestMidiServices() {
  {
    std::lock_guard lock(jobMutex_);
    quit_ = true;
  }
  jobReady_.notify_all();
  deliveryThread_.join();
}

// ---- Devices ----------------------------------------------------------------

uint32_t TestMidiServices::AddInputDevice(const std::string& name, uint16_t mid, uint16_t pid,
                                          uint32_t driverVersion) {
  Lock lock(mutex_);
  MIDIINCAPS caps;
  caps.wMid = mid;
  caps.wPid = pid;
  caps.vDriverVersion = driverVersion;
  caps.szPname = name;
  inDevices_.push_back(caps);
  inKeys_.push_back(nextDeviceKey_++);
  return static_cast<uint32_t>(inDevices_.size() - 1);
}

uint32_t TestMidiServices::AddOutputDevice(const std::string& name, uint16_t technology,
                                           uint32_t support) {
  Lock lock(mutex_);
  MIDIOUTCAPS caps;
  caps.wMid = 1;
  caps.wPid = static_cast<uint16_t>(outDevices_.size() + 1);
  caps.vDriverVersion = 0x0100;
  caps.szPname = name;
  caps.wTechnology = technology;
  caps.wChannelMask = 0xFFFF;
  caps.dwSupport = support;
  outDevices_.push_back(caps);
  outKeys_.push_back(nextDeviceKey_++);
  return static_cast<uint32_t>(outDevices_.size() - 1);
}

void TestMidiServices::RemoveAllDevices() {
  Lock lock(mutex_);
  inDevices_.clear();
  inKeys_.clear();
  outDevices_.clear();
  outKeys_.clear();
}

bool TestMidiServices::RemoveInputDevice(const std::string& name) {
  Lock lock(mutex_);
  for (size_t i = 0; i < inDevices_.size(); ++i) {
    if (inDevices_[i].szPname != name) continue;
    inDevices_.erase(inDevices_.begin() + static_cast<ptrdiff_t>(i));
    inKeys_.erase(inKeys_.begin() + static_cast<ptrdiff_t>(i));
    return true;
  }
  return false;
}

bool TestMidiServices::RemoveOutputDevice(const std::string& name) {
  Lock lock(mutex_);
  for (size_t i = 0; i < outDevices_.size(); ++i) {
    if (outDevices_[i].szPname != name) continue;
    outDevices_.erase(outDevices_.begin() + static_cast<ptrdiff_t>(i));
    outKeys_.erase(outKeys_.begin() + static_cast<ptrdiff_t>(i));
    return true;
  }
  return false;
}

bool TestMidiServices::InDevicePresent(uint64_t key) const {
  return std::find(inKeys_.begin(), inKeys_.end(), key) != inKeys_.end();
}

bool TestMidiServices::OutDevicePresent(uint64_t key) const {
  return key == kMapperKey || std::find(outKeys_.begin(), outKeys_.end(), key) != outKeys_.end();
}

void TestMidiServices::NotifyDevicesChanged() {
  QMetaObject::invokeMethod(
      QCoreApplication::instance(),
      [listener = listener_] {
        const std::function<void()> call = *listener;
        if (call) call();
      },
      Qt::QueuedConnection);
}

void TestMidiServices::SetDevicesChangedListener(std::function<void()> listener) {
  Lock lock(mutex_);
  *listener_ = std::move(listener);
}

MMRESULT TestMidiServices::midiInCheckDevice(HMIDI handle) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInCheckDevice", {handle}, &code)) return code;
  const InPort* port = FindIn(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  return InDevicePresent(port->deviceKey) ? MMSYSERR_NOERROR : MIDIERR_NODEVICE;
}

MMRESULT TestMidiServices::midiOutCheckDevice(HMIDI handle) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutCheckDevice", {handle}, &code)) return code;
  OutPort* port = FindOut(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  return OutDevicePresent(port->deviceKey) ? MMSYSERR_NOERROR : MIDIERR_NODEVICE;
}

MIDIINCAPS& TestMidiServices::InputCaps(uint32_t id) {
  Lock lock(mutex_);
  return inDevices_.at(id);
}

MIDIOUTCAPS& TestMidiServices::OutputCaps(uint32_t id) {
  Lock lock(mutex_);
  return id == MIDI_MAPPER ? mapperCaps_ : outDevices_.at(id);
}

void TestMidiServices::FailInputCaps(uint32_t id, MMRESULT code) {
  Lock lock(mutex_);
  if (code == MMSYSERR_NOERROR) {
    inCapsFailures_.erase(id);
  } else {
    inCapsFailures_[id] = code;
  }
}

void TestMidiServices::FailOutputCaps(uint32_t id, MMRESULT code) {
  Lock lock(mutex_);
  if (code == MMSYSERR_NOERROR) {
    outCapsFailures_.erase(id);
  } else {
    outCapsFailures_[id] = code;
  }
}

// ---- Results ----------------------------------------------------------------

void TestMidiServices::FailNext(const std::string& op, MMRESULT code, int times, int after) {
  Lock lock(mutex_);
  if (times == 0) {
    failures_.erase(op);
  } else {
    failures_[op] = {code, times, after};
  }
}

void TestMidiServices::BeforeNext(const std::string& op, std::function<void()> action, int after) {
  Lock lock(mutex_);
  actions_[op] = {std::move(action), after};
}

void TestMidiServices::ClearFailures() {
  Lock lock(mutex_);
  failures_.clear();
}

void TestMidiServices::SetErrorText(MMRESULT code, const std::string& text) {
  Lock lock(mutex_);
  errorTexts_[code] = text;
}

void TestMidiServices::ForgetErrorText(MMRESULT code) {
  Lock lock(mutex_);
  errorTexts_.erase(code);
}

// ---- Record -----------------------------------------------------------------

void TestMidiServices::Record(const std::string& op, std::vector<uint64_t> args) {
  Lock lock(mutex_);
  calls_.push_back({op, std::move(args)});
  auto it = actions_.find(op);
  if (it == actions_.end()) return;
  if (it->second.after > 0) {
    --it->second.after;
    return;
  }
  const std::function<void()> action = std::move(it->second.run);
  actions_.erase(it);
  action();
}

bool TestMidiServices::Injected(const std::string& op, std::vector<uint64_t> args,
                                MMRESULT* code) {
  Lock lock(mutex_);
  Record(op, std::move(args));
  auto it = failures_.find(op);
  if (it == failures_.end()) return false;
  Failure& failure = it->second;
  if (failure.after > 0) {
    --failure.after;
    return false;
  }
  *code = failure.code;
  if (failure.times > 0 && --failure.times == 0) failures_.erase(it);
  return true;
}

std::vector<TestMidiServices::Call> TestMidiServices::Calls() const {
  Lock lock(mutex_);
  return calls_;
}

std::vector<std::string> TestMidiServices::CallNames() const {
  Lock lock(mutex_);
  std::vector<std::string> names;
  for (const Call& call : calls_) names.push_back(call.op);
  return names;
}

int TestMidiServices::CallCount(const std::string& op) const {
  Lock lock(mutex_);
  return static_cast<int>(
      std::count_if(calls_.begin(), calls_.end(), [&](const Call& c) { return c.op == op; }));
}

void TestMidiServices::ClearCalls() {
  Lock lock(mutex_);
  calls_.clear();
}

std::vector<uint32_t> TestMidiServices::ShortMessages() const {
  Lock lock(mutex_);
  return shortMessages_;
}

std::vector<std::vector<uint8_t>> TestMidiServices::LongMessages() const {
  Lock lock(mutex_);
  return longMessages_;
}

void TestMidiServices::ClearSent() {
  Lock lock(mutex_);
  shortMessages_.clear();
  longMessages_.clear();
}

// ---- Delivery thread --------------------------------------------------------

void TestMidiServices::RunOnDeliveryThread(std::vector<Notice> notices) {
  if (notices.empty()) return;
  std::unique_lock lock(jobMutex_);
  jobDone_.wait(lock, [this] { return !hasJob_; });
  job_ = std::move(notices);
  hasJob_ = true;
  jobReady_.notify_all();
  jobDone_.wait(lock, [this] { return !hasJob_; });
}

void TestMidiServices::DeliveryLoop() {
  std::unique_lock lock(jobMutex_);
  for (;;) {
    jobReady_.wait(lock, [this] { return hasJob_ || quit_; });
    if (!hasJob_) return;
    std::vector<Notice> notices = std::move(job_);
    lock.unlock();
    {
      std::lock_guard running(callbackMutex_);
      for (const Notice& n : notices) {
        const DriverTimeScope driverTime(n.driverTimeUs);
        n.callback(n.handle, n.msg, n.instance, n.param1, n.param2);
      }
    }
    lock.lock();
    hasJob_ = false;
    jobDone_.notify_all();
  }
}

// ---- Input ------------------------------------------------------------------

TestMidiServices::InPort* TestMidiServices::FindIn(HMIDI handle) {
  auto it = inPorts_.find(handle);
  return it == inPorts_.end() ? nullptr : &it->second;
}

const TestMidiServices::InPort* TestMidiServices::FindIn(HMIDI handle) const {
  auto it = inPorts_.find(handle);
  return it == inPorts_.end() ? nullptr : &it->second;
}

HMIDI TestMidiServices::ResolveIn(HMIDI handle) const { return handle != 0 ? handle : lastInput_; }

bool TestMidiServices::DeliverShort(uint32_t packed, uint32_t timestamp, HMIDI handle) {
  return DeliverRaw(MIM_DATA, packed, timestamp, handle);
}

bool TestMidiServices::DeliverShortAt(uint32_t packed, uint64_t steadyUs, HMIDI handle) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    handle = ResolveIn(handle);
    InPort* port = FindIn(handle);
    if (port == nullptr || !port->started || port->callback == nullptr) return false;
    if (!InDevicePresent(port->deviceKey)) return false;
    notices.push_back({port->callback, handle, MIM_DATA, port->instance, packed, 0, steadyUs});
  }
  RunOnDeliveryThread(std::move(notices));
  return true;
}

bool TestMidiServices::DeliverRaw(uint32_t msg, uintptr_t param1, uintptr_t param2, HMIDI handle) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    handle = ResolveIn(handle);
    InPort* port = FindIn(handle);
    if (port == nullptr || !port->started || port->callback == nullptr) return false;
    if (!InDevicePresent(port->deviceKey)) return false;
    notices.push_back({port->callback, handle, msg, port->instance, param1, param2});
  }
  RunOnDeliveryThread(std::move(notices));
  return true;
}

bool TestMidiServices::DeliverSysex(const std::vector<uint8_t>& bytes, uint32_t timestamp,
                                    HMIDI handle) {
  return DeliverHeaders(MIM_LONGDATA, bytes, timestamp, handle, true);
}

bool TestMidiServices::DeliverLongError(const std::vector<uint8_t>& bytes, uint32_t timestamp,
                                        HMIDI handle) {
  return DeliverHeaders(MIM_LONGERROR, bytes, timestamp, handle, false);
}

bool TestMidiServices::DeliverHeaders(uint32_t msg, const std::vector<uint8_t>& bytes,
                                      uint32_t timestamp, HMIDI handle, bool allChunks) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    if (!FillHeaders(ResolveIn(handle), msg, bytes, timestamp, allChunks, &notices)) return false;
  }
  RunOnDeliveryThread(std::move(notices));
  return true;
}

bool TestMidiServices::FillHeaders(HMIDI handle, uint32_t msg, const std::vector<uint8_t>& bytes,
                                   uint32_t timestamp, bool allChunks,
                                   std::vector<Notice>* notices) {
  InPort* port = FindIn(handle);
  if (port == nullptr || !port->started || port->callback == nullptr) return false;
  if (!InDevicePresent(port->deviceKey)) return false;
  size_t offset = 0;
  do {
    if (port->queued.empty()) break;  // no buffer: the rest is lost
    MIDIHDR* hdr = port->queued.front();
    port->queued.pop_front();
    const size_t n = std::min<size_t>(bytes.size() - offset, hdr->dwBufferLength);
    if (n > 0) std::memcpy(hdr->lpData, bytes.data() + offset, n);
    hdr->dwBytesRecorded = static_cast<uint32_t>(n);
    hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    offset += n;
    notices->push_back({port->callback, handle, msg, port->instance, Num(hdr), timestamp});
  } while (allChunks && offset < bytes.size());
  return true;
}

HMIDI TestMidiServices::LoopedInput(uint64_t outputDeviceKey) const {
  const auto loop = loops_.find(outputDeviceKey);
  if (loop == loops_.end()) return 0;
  for (const auto& [handle, port] : inPorts_) {
    if (port.deviceKey == loop->second) return handle;
  }
  return 0;
}

MIDIHDR* TestMidiServices::TakeInputHeader(HMIDI handle) {
  Lock lock(mutex_);
  InPort* port = FindIn(ResolveIn(handle));
  if (port == nullptr || port->queued.empty()) return nullptr;
  MIDIHDR* hdr = port->queued.front();
  port->queued.pop_front();
  hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  return hdr;
}

size_t TestMidiServices::QueuedInputHeaders(HMIDI handle) const {
  Lock lock(mutex_);
  const InPort* port = FindIn(ResolveIn(handle));
  return port == nullptr ? 0 : port->queued.size();
}

bool TestMidiServices::InputOpen() const {
  Lock lock(mutex_);
  return !inPorts_.empty();
}

bool TestMidiServices::InputStarted() const {
  Lock lock(mutex_);
  return std::any_of(inPorts_.begin(), inPorts_.end(),
                     [](const auto& entry) { return entry.second.started; });
}

void TestMidiServices::TakeBackInputHeaders(InPort& port) {
  for (MIDIHDR* hdr : port.queued) hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
  port.queued.clear();
}

uint32_t TestMidiServices::midiInGetNumDevs() {
  Lock lock(mutex_);
  Record("midiInGetNumDevs", {});
  return static_cast<uint32_t>(inDevices_.size());
}

MMRESULT TestMidiServices::midiInGetDevCaps(uint32_t deviceId, MIDIINCAPS* caps) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInGetDevCaps", {deviceId}, &code)) return code;
  if (auto it = inCapsFailures_.find(deviceId); it != inCapsFailures_.end()) return it->second;
  if (deviceId >= inDevices_.size()) return MMSYSERR_BADDEVICEID;
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  *caps = inDevices_[deviceId];
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInGetErrorText(MMRESULT code, std::string* text) {
  Lock lock(mutex_);
  MMRESULT injected = 0;
  if (Injected("midiInGetErrorText", {code}, &injected)) return injected;
  auto it = errorTexts_.find(code);
  if (it == errorTexts_.end() || text == nullptr) return MMSYSERR_INVALPARAM;
  *text = it->second;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInOpen(HMIDI* handle, uint32_t deviceId, MidiCallbackProc callback,
                                      uintptr_t instance, uint32_t flags) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInOpen", {deviceId, instance, flags}, &code)) return code;
  if (MMRESULT result = CheckOpen(handle, callback, flags)) return result;
  if (deviceId >= inDevices_.size()) return MMSYSERR_BADDEVICEID;
  for (const auto& [h, port] : inPorts_) {
    if (port.deviceKey == inKeys_[deviceId]) return MMSYSERR_ALLOCATED;
  }
  *handle = nextHandle_++;
  InPort& port = inPorts_[*handle];
  port.deviceKey = inKeys_[deviceId];
  port.callback = callback;
  port.instance = instance;
  lastInput_ = *handle;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInClose(HMIDI handle) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInClose", {handle}, &code)) return code;
  InPort* port = FindIn(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  std::lock_guard noCallback(callbackMutex_);
  TakeBackInputHeaders(*port);
  inPorts_.erase(handle);
  if (lastInput_ == handle) lastInput_ = inPorts_.empty() ? 0 : inPorts_.rbegin()->first;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInPrepareHeader", {handle, Num(hdr), hdrSize}, &code)) return code;
  if (FindIn(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckPrepare(hdr, hdrSize)) return result;
  hdr->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInUnprepareHeader", {handle, Num(hdr), hdrSize}, &code)) return code;
  if (FindIn(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  if (hdr == nullptr || hdrSize < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  hdr->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInAddBuffer(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInAddBuffer", {handle, Num(hdr), hdrSize}, &code)) return code;
  InPort* port = FindIn(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  if (hdr == nullptr || hdrSize < sizeof(MIDIHDR) || hdr->lpData == nullptr ||
      hdr->dwBufferLength == 0) {
    return MMSYSERR_INVALPARAM;
  }
  if (!(hdr->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  hdr->dwFlags = (hdr->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
  hdr->dwBytesRecorded = 0;
  port->queued.push_back(hdr);
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInStart(HMIDI handle) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInStart", {handle}, &code)) return code;
  InPort* port = FindIn(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  port->started = true;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInStop(HMIDI handle) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInStop", {handle}, &code)) return code;
  InPort* port = FindIn(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  std::lock_guard noCallback(callbackMutex_);
  port->started = false;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiInReset(HMIDI handle) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiInReset", {handle}, &code)) return code;
  InPort* port = FindIn(handle);
  if (port == nullptr) return MMSYSERR_INVALHANDLE;
  std::lock_guard noCallback(callbackMutex_);
  port->started = false;
  TakeBackInputHeaders(*port);
  return MMSYSERR_NOERROR;
}

// ---- Output -----------------------------------------------------------------

TestMidiServices::OutPort* TestMidiServices::FindOut(HMIDI handle) {
  auto it = outPorts_.find(handle);
  return it == outPorts_.end() ? nullptr : &it->second;
}

std::vector<TestMidiServices::Notice> TestMidiServices::TakeOutputPending(HMIDI handle,
                                                                          size_t n) {
  std::vector<Notice> notices;
  OutPort* port = FindOut(handle);
  if (port == nullptr) return notices;
  while (n > 0 && !port->pending.empty()) {
    MIDIHDR* hdr = port->pending.front();
    port->pending.pop_front();
    hdr->dwFlags = (hdr->dwFlags & ~MHDR_INQUEUE) | MHDR_DONE;
    if (port->callback != nullptr) {
      notices.push_back({port->callback, handle, MOM_DONE, port->instance, Num(hdr), 0});
    }
    --n;
  }
  return notices;
}

void TestMidiServices::Loop(uint32_t outputDeviceId, uint32_t inputDeviceId) {
  Lock lock(mutex_);
  loops_[OutDeviceKeyOf(outputDeviceId)] = inKeys_.at(inputDeviceId);
}

uint64_t TestMidiServices::OutDeviceKeyOf(uint32_t deviceId) const {
  return deviceId == MIDI_MAPPER ? kMapperKey : outKeys_.at(deviceId);
}

void TestMidiServices::SetAutoCompleteLongMessages(bool atOnce) {
  Lock lock(mutex_);
  autoComplete_ = atOnce;
}

size_t TestMidiServices::PendingLongMessages() const {
  Lock lock(mutex_);
  size_t total = 0;
  for (const auto& [handle, port] : outPorts_) total += port.pending.size();
  return total;
}

void TestMidiServices::CompleteLongMessages(size_t n) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    for (auto& [handle, port] : outPorts_) {
      auto some = TakeOutputPending(handle, n - notices.size());
      notices.insert(notices.end(), some.begin(), some.end());
      if (notices.size() >= n) break;
    }
  }
  RunOnDeliveryThread(std::move(notices));
}

bool TestMidiServices::OutputOpen() const {
  Lock lock(mutex_);
  return !outPorts_.empty();
}

void TestMidiServices::SetDeviceVolume(uint32_t id, uint32_t volume) {
  Lock lock(mutex_);
  volumes_[id] = volume;
}

uint32_t TestMidiServices::DeviceVolume(uint32_t id) const {
  Lock lock(mutex_);
  auto it = volumes_.find(id);
  return it == volumes_.end() ? 0xFFFFFFFF : it->second;
}

void TestMidiServices::SetDriverMessageResult(MMRESULT result) {
  Lock lock(mutex_);
  driverMessageResult_ = result;
}

uint32_t TestMidiServices::midiOutGetNumDevs() {
  Lock lock(mutex_);
  Record("midiOutGetNumDevs", {});
  return static_cast<uint32_t>(outDevices_.size());
}

MMRESULT TestMidiServices::midiOutGetDevCaps(uint32_t deviceId, MIDIOUTCAPS* caps) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutGetDevCaps", {deviceId}, &code)) return code;
  if (auto it = outCapsFailures_.find(deviceId); it != outCapsFailures_.end()) return it->second;
  if (deviceId != MIDI_MAPPER && deviceId >= outDevices_.size()) return MMSYSERR_BADDEVICEID;
  if (caps == nullptr) return MMSYSERR_INVALPARAM;
  *caps = deviceId == MIDI_MAPPER ? mapperCaps_ : outDevices_[deviceId];
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutGetErrorText(MMRESULT code, std::string* text) {
  Lock lock(mutex_);
  MMRESULT injected = 0;
  if (Injected("midiOutGetErrorText", {code}, &injected)) return injected;
  auto it = errorTexts_.find(code);
  if (it == errorTexts_.end() || text == nullptr) return MMSYSERR_INVALPARAM;
  *text = it->second;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutOpen(HMIDI* handle, uint32_t deviceId,
                                       MidiCallbackProc callback, uintptr_t instance,
                                       uint32_t flags) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutOpen", {deviceId, instance, flags}, &code)) return code;
  if (MMRESULT result = CheckOpen(handle, callback, flags)) return result;
  if (deviceId != MIDI_MAPPER && deviceId >= outDevices_.size()) return MMSYSERR_BADDEVICEID;
  *handle = nextHandle_++;
  OutPort& port = outPorts_[*handle];
  port.deviceKey = OutDeviceKeyOf(deviceId);
  port.callback = callback;
  port.instance = instance;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutClose(HMIDI handle) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    MMRESULT code = 0;
    if (Injected("midiOutClose", {handle}, &code)) return code;
    if (FindOut(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    notices = TakeOutputPending(handle, SIZE_MAX);
  }
  RunOnDeliveryThread(std::move(notices));
  Lock lock(mutex_);
  outPorts_.erase(handle);
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutShortMsg(HMIDI handle, uint32_t packedMsg) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    MMRESULT code = 0;
    if (Injected("midiOutShortMsg", {handle, packedMsg}, &code)) return code;
    OutPort* port = FindOut(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (!OutDevicePresent(port->deviceKey)) return MIDIERR_NODEVICE;
    if (MMRESULT refusal = ShortMessageRefusal(packedMsg)) return refusal;
    shortMessages_.push_back(packedMsg);
    const HMIDI looped = LoopedInput(port->deviceKey);
    if (looped != 0) {
      InPort* in = FindIn(looped);
      if (in->started && in->callback != nullptr) {
        notices.push_back({in->callback, looped, MIM_DATA, in->instance, Travelling(packedMsg), 0});
      }
    }
  }
  RunOnDeliveryThread(std::move(notices));
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutPrepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutPrepareHeader", {handle, Num(hdr), hdrSize}, &code)) return code;
  if (FindOut(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = CheckPrepare(hdr, hdrSize)) return result;
  hdr->dwFlags |= MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutUnprepareHeader(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutUnprepareHeader", {handle, Num(hdr), hdrSize}, &code)) return code;
  if (FindOut(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  if (hdr == nullptr || hdrSize < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  hdr->dwFlags &= ~MHDR_PREPARED;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutLongMsg(HMIDI handle, MIDIHDR* hdr, uint32_t hdrSize) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    MMRESULT code = 0;
    if (Injected("midiOutLongMsg", {handle, Num(hdr), hdrSize}, &code)) return code;
    OutPort* port = FindOut(handle);
    if (port == nullptr) return MMSYSERR_INVALHANDLE;
    if (hdr == nullptr || hdrSize < sizeof(MIDIHDR) || hdr->lpData == nullptr) {
      return MMSYSERR_INVALPARAM;
    }
    if (!(hdr->dwFlags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
    if (hdr->dwFlags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
    if (!OutDevicePresent(port->deviceKey)) return MIDIERR_NODEVICE;
    longMessages_.emplace_back(hdr->lpData, hdr->lpData + hdr->dwBufferLength);
    if (const HMIDI looped = LoopedInput(port->deviceKey)) {
      FillHeaders(looped, MIM_LONGDATA, longMessages_.back(), 0, true, &notices);
    }
    hdr->dwFlags = (hdr->dwFlags & ~MHDR_DONE) | MHDR_INQUEUE;
    port->pending.push_back(hdr);
    if (autoComplete_) {
      const auto done = TakeOutputPending(handle, SIZE_MAX);
      notices.insert(notices.end(), done.begin(), done.end());
    }
  }
  RunOnDeliveryThread(std::move(notices));
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutReset(HMIDI handle) {
  std::vector<Notice> notices;
  {
    Lock lock(mutex_);
    MMRESULT code = 0;
    if (Injected("midiOutReset", {handle}, &code)) return code;
    if (FindOut(handle) == nullptr) return MMSYSERR_INVALHANDLE;
    notices = TakeOutputPending(handle, SIZE_MAX);
  }
  RunOnDeliveryThread(std::move(notices));
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutGetVolume(uint32_t deviceId, uint32_t* volume) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutGetVolume", {deviceId}, &code)) return code;
  if (deviceId != MIDI_MAPPER && deviceId >= outDevices_.size()) return MMSYSERR_BADDEVICEID;
  if (volume == nullptr) return MMSYSERR_INVALPARAM;
  *volume = DeviceVolume(deviceId);
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutSetVolume(uint32_t deviceId, uint32_t volume) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutSetVolume", {deviceId, volume}, &code)) return code;
  if (deviceId != MIDI_MAPPER && deviceId >= outDevices_.size()) return MMSYSERR_BADDEVICEID;
  volumes_[deviceId] = volume;
  return MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutMessage(uint32_t deviceId, uint32_t msg, uint32_t dw1,
                                          uint32_t dw2) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutMessage", {deviceId, msg, dw1, dw2}, &code)) return code;
  if (deviceId != MIDI_MAPPER && deviceId >= outDevices_.size()) return MMSYSERR_BADDEVICEID;
  return driverMessageResult_;
}

MMRESULT TestMidiServices::midiOutCachePatches(HMIDI handle, uint32_t bank, uint16_t* patches128,
                                               uint32_t flags) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutCachePatches", {handle, bank, Num(patches128), flags}, &code)) return code;
  if (FindOut(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return patches128 == nullptr ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}

MMRESULT TestMidiServices::midiOutCacheDrumPatches(HMIDI handle, uint32_t patch,
                                                   uint16_t* keys128, uint32_t flags) {
  Lock lock(mutex_);
  MMRESULT code = 0;
  if (Injected("midiOutCacheDrumPatches", {handle, patch, Num(keys128), flags}, &code)) {
    return code;
  }
  if (FindOut(handle) == nullptr) return MMSYSERR_INVALHANDLE;
  return keys128 == nullptr ? MMSYSERR_INVALPARAM : MMSYSERR_NOERROR;
}
