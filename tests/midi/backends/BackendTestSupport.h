#pragma once
// Helpers for the tests of the MIDI back ends through the raw services.

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "DriverTime.h"
#include "MidiServices.h"
#include "backends/common/MidiClock.h"

// Records every driver callback, from whatever thread it comes. Pass
// &NoticeRecorder::Callback with Instance() when opening a device.
class NoticeRecorder {
 public:
  struct Notice {
    HMIDI handle;
    uint32_t msg;
    uintptr_t param1;
    uintptr_t param2;
    std::vector<uint8_t> bytes;  // of a returned header, as recorded at the callback
    uint32_t flags;              // of a returned header, at the callback
    uint64_t driverTimeUs;       // DriverEventTimeUs at the callback
  };

  static void Callback(HMIDI handle, uint32_t msg, uintptr_t instance, uintptr_t param1,
                       uintptr_t param2) {
    reinterpret_cast<NoticeRecorder*>(instance)->Record(handle, msg, param1, param2);
  }

  uintptr_t Instance() { return reinterpret_cast<uintptr_t>(this); }

  bool WaitFor(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return notices_.size() >= count; });
  }

  std::vector<Notice> Notices() const {
    std::lock_guard lock(mutex_);
    return notices_;
  }

  std::vector<Notice> Of(uint32_t msg) const {
    std::vector<Notice> found;
    for (const Notice& notice : Notices()) {
      if (notice.msg == msg) found.push_back(notice);
    }
    return found;
  }

  void Clear() {
    std::lock_guard lock(mutex_);
    notices_.clear();
  }

  size_t Count() const {
    std::lock_guard lock(mutex_);
    return notices_.size();
  }

 private:
  void Record(HMIDI handle, uint32_t msg, uintptr_t param1, uintptr_t param2) {
    Notice notice{handle, msg, param1, param2, {}, 0, DriverEventTimeUs()};
    if (msg == MIM_LONGDATA || msg == MIM_LONGERROR || msg == MOM_DONE) {
      const auto* hdr = reinterpret_cast<const MIDIHDR*>(param1);
      const uint32_t length = msg == MOM_DONE ? hdr->dwBufferLength : hdr->dwBytesRecorded;
      notice.bytes.assign(hdr->lpData, hdr->lpData + length);
      notice.flags = hdr->dwFlags;
    }
    std::lock_guard lock(mutex_);
    notices_.push_back(std::move(notice));
    changed_.notify_all();
  }

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Notice> notices_;
};

// A clock that stands still until the test moves it, for the services' time
// stamps. Read from any thread; it must outlive the services it was given to.
class ManualClock {
 public:
  MidiClock Function() {
    return [this] {
      return std::chrono::steady_clock::time_point(std::chrono::milliseconds(now_.load()));
    };
  }
  void Advance(std::chrono::milliseconds by) { now_.fetch_add(by.count()); }

 private:
  std::atomic<int64_t> now_{1'000'000};
};

// A header with a data block of its own; stays where it was made.
struct TestHeader {
  explicit TestHeader(size_t size) : data(size) { Point(); }
  explicit TestHeader(std::vector<uint8_t> bytes) : data(std::move(bytes)) { Point(); }
  TestHeader(const TestHeader&) = delete;
  TestHeader& operator=(const TestHeader&) = delete;

  MIDIHDR* operator->() { return &hdr; }
  MIDIHDR* get() { return &hdr; }

  std::vector<uint8_t> data;
  MIDIHDR hdr{};

 private:
  void Point() {
    hdr.lpData = data.data();
    hdr.dwBufferLength = static_cast<uint32_t>(data.size());
  }
};

// A system-exclusive message of `length` bytes, F0 and F7 included, with
// changing bytes between them.
inline std::vector<uint8_t> Sysex(size_t length) {
  std::vector<uint8_t> bytes(length);
  for (size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i % 0x7F);
  bytes.front() = 0xF0;
  bytes.back() = 0xF7;
  return bytes;
}

// Polls done() every millisecond until it holds (done may run an event loop);
// false after the timeout.
inline bool WaitUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
  const auto end = std::chrono::steady_clock::now() + timeout;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Id of the device of that name in the current list, or -1.
inline int InputIdOf(MidiServices& midi, const std::string& name) {
  const uint32_t count = midi.midiInGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIINCAPS caps;
    if (midi.midiInGetDevCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == name) {
      return static_cast<int>(id);
    }
  }
  return -1;
}

inline int OutputIdOf(MidiServices& midi, const std::string& name) {
  const uint32_t count = midi.midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIOUTCAPS caps;
    if (midi.midiOutGetDevCaps(id, &caps) == MMSYSERR_NOERROR && caps.szPname == name) {
      return static_cast<int>(id);
    }
  }
  return -1;
}

// Opens and starts the input device of that name with the recorder as its
// callback; 0 (and a test failure) when it cannot.
inline HMIDI OpenInputNamed(MidiServices& midi, const std::string& name, NoticeRecorder& recorder) {
  const int id = InputIdOf(midi, name);
  EXPECT_GE(id, 0) << name;
  HMIDI handle = 0;
  EXPECT_EQ(midi.midiInOpen(&handle, static_cast<uint32_t>(id), &NoticeRecorder::Callback,
                            recorder.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  EXPECT_EQ(midi.midiInStart(handle), MMSYSERR_NOERROR);
  return handle;
}

// Opens the output device of that name with the recorder as its callback.
inline HMIDI OpenOutputNamed(MidiServices& midi, const std::string& name, NoticeRecorder& recorder) {
  const int id = OutputIdOf(midi, name);
  EXPECT_GE(id, 0) << name;
  HMIDI handle = 0;
  EXPECT_EQ(midi.midiOutOpen(&handle, static_cast<uint32_t>(id), &NoticeRecorder::Callback,
                             recorder.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  return handle;
}

inline std::vector<std::string> InputNames(MidiServices& midi) {
  std::vector<std::string> names;
  const uint32_t count = midi.midiInGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIINCAPS caps;
    EXPECT_EQ(midi.midiInGetDevCaps(id, &caps), MMSYSERR_NOERROR);
    names.push_back(caps.szPname);
  }
  return names;
}

inline std::vector<std::string> OutputNames(MidiServices& midi) {
  std::vector<std::string> names;
  const uint32_t count = midi.midiOutGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIOUTCAPS caps;
    EXPECT_EQ(midi.midiOutGetDevCaps(id, &caps), MMSYSERR_NOERROR);
    names.push_back(caps.szPname);
  }
  return names;
}

// Prepares the header with the input and hands it over.
inline void AddInputHeader(MidiServices& midi, HMIDI in, TestHeader& header) {
  ASSERT_EQ(midi.midiInPrepareHeader(in, header.get(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiInAddBuffer(in, header.get(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
}

inline MMRESULT SendLong(MidiServices& midi, HMIDI out, TestHeader& header) {
  if (MMRESULT result = midi.midiOutPrepareHeader(out, header.get(), sizeof(MIDIHDR))) {
    return result;
  }
  return midi.midiOutLongMsg(out, header.get(), sizeof(MIDIHDR));
}
