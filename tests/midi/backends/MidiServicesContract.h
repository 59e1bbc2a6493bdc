#pragma once
// The contract of MidiServices: one suite of cases, run against every
// implementation, so that one that disagrees with the others shows up here:
// the built-in loopback (the services over LoopbackSource), the ports of a
// JACK server (over JackSource), the ALSA sequencer's (over AlsaSource, in the
// VM of scripts/with-alsa-vm.sh: tests/alsa/AlsaServicesContractTest.cpp) and
// the scriptable test back end of the port tests (TestMidiServices). Each
// comes with a loop: an output device and an input device such that what is
// sent to the one arrives at the other.
//
// A back end's own test file says how to make it and runs the suite on it:
//
//   INSTANTIATE_TEST_SUITE_P(Loopback, MidiServicesContract,
//                            ::testing::Values(BackEnd{"Loopback", &MakeLoopbackLoop}));
//
// Cases that only some implementations can show skip the others, with the
// reason. Threads: the test's thread makes every call; the recorders take the
// callbacks from the back ends' threads.

#include <gtest/gtest.h>

#include <chrono>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "BackendTestSupport.h"
#include "MidiServices.h"

// What an implementation may not do as the program's back ends do; each is a
// reason to skip the cases that show it.
enum class Claim {
  kRefusesShortMessagesItCannotSend,
  kJoinsASysexSentInPieces,
  kWordsErrorsAsUsersReadThem,
};

class ServicesUnderTest {
 public:
  // A system-exclusive message longer than one input header, short enough for
  // the loop to carry, and how it fills the headers.
  struct Split {
    size_t messageBytes;
    size_t headerBytes;
    size_t headersFilled;
    size_t lastHeaderBytes;
  };

  virtual ~ServicesUnderTest() = default;

  // The services, handed over once to be installed for the test.
  virtual std::unique_ptr<MidiServices> TakeServices() = 0;
  virtual std::string LoopOutput() const = 0;
  virtual std::string LoopInput() const = 0;

  // True where a message can get lost on the way (a JACK server drops whole
  // periods when a client falls behind): attempts are then repeated, a message
  // may arrive twice, and one that did not arrive may have been dropped rather
  // than refused.
  virtual bool Loses() const { return false; }
  // Runs attempt until done() holds (done may run an event loop); false after
  // a timeout. Where messages get lost, attempt runs again now and then.
  virtual bool Until(const std::function<void()>& attempt, const std::function<bool()>& done) {
    attempt();
    return WaitUntil(done);
  }
  // Returns once what `out` sent so far has been through the loop; where
  // messages get lost, after a generous wait instead.
  virtual void Settle(MidiServices& midi, HMIDI out) = 0;

  // The clock of the input's time stamps, when the services stamp messages
  // themselves; null otherwise.
  virtual ManualClock* Clock() { return nullptr; }
  virtual Split LargeSysex() const = 0;
  // Empty when the implementation does as the claim says; otherwise why not.
  virtual std::string WhyNot(Claim) const { return {}; }
};

struct BackEnd {
  const char* name;
  // Null, with the reason, when the back end cannot run here.
  std::unique_ptr<ServicesUnderTest> (*make)(std::string* whyNot);
};

inline void PrintTo(const BackEnd& backEnd, std::ostream* os) { *os << backEnd.name; }

class MidiServicesContract : public ::testing::TestWithParam<BackEnd> {
 protected:
  void SetUp() override {
    std::string whyNot;
    rig = GetParam().make(&whyNot);
    if (!rig) GTEST_SKIP() << whyNot;
    installed.emplace(rig->TakeServices());
    midi = &CurrentMidiServices();
  }

  // The loop's devices, opened with the recorder as callback; 0 (and a test
  // failure) when they cannot be. The input is not started.
  HMIDI OpenIn(NoticeRecorder& recorder) {
    const int id = InputIdOf(*midi, rig->LoopInput());
    EXPECT_GE(id, 0) << rig->LoopInput();
    HMIDI handle = 0;
    EXPECT_EQ(midi->midiInOpen(&handle, static_cast<uint32_t>(id), &NoticeRecorder::Callback,
                               recorder.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }
  HMIDI OpenOut(NoticeRecorder& recorder) {
    const int id = OutputIdOf(*midi, rig->LoopOutput());
    EXPECT_GE(id, 0) << rig->LoopOutput();
    HMIDI handle = 0;
    EXPECT_EQ(midi->midiOutOpen(&handle, static_cast<uint32_t>(id), &NoticeRecorder::Callback,
                                recorder.Instance(), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }
  HMIDI OpenStartedIn() {
    const HMIDI in = OpenIn(received);
    EXPECT_EQ(midi->midiInStart(in), MMSYSERR_NOERROR);
    return in;
  }

  TestHeader& AddHeader(HMIDI in, size_t size) {
    TestHeader& header = headers.emplace_back(size);
    AddInputHeader(*midi, in, header);
    return header;
  }
  MMRESULT SendSysex(HMIDI out, std::vector<uint8_t> bytes) {
    return SendLong(*midi, out, headers.emplace_back(std::move(bytes)));
  }

  bool Until(const std::function<void()>& attempt, const std::function<bool()>& done) {
    return rig->Until(attempt, done);
  }
  void Settle(HMIDI out) { rig->Settle(*midi, out); }

  // Declared before the services, which may hold them until they are gone.
  NoticeRecorder received;  // what the loop's input delivers
  NoticeRecorder sent;      // what comes back to the output
  std::deque<TestHeader> headers;
  std::unique_ptr<ServicesUnderTest> rig;
  std::optional<ScopedMidiServices> installed;
  MidiServices* midi = nullptr;
};

// Skips the case, with the reason, for an implementation that does not do as
// the claim says.
#define SKIP_UNLESS(claim)                                                   \
  do {                                                                       \
    if (const std::string why = rig->WhyNot(claim); !why.empty()) {          \
      GTEST_SKIP() << why;                                                   \
    }                                                                        \
  } while (false)
