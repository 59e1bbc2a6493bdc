// The built-in loopback device through the raw services: what is sent to its
// output arrives on its input, delivered by the loopback's own thread. The
// contract of the services runs on it here; below it, what only the loopback
// does.

#include <gtest/gtest.h>

#include <deque>

#include "BackendTestSupport.h"
#include "MidiServicesContract.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/loopback/LoopbackSource.h"

namespace {

std::vector<std::unique_ptr<DeviceSource>> LoopbackOnly() {
  std::vector<std::unique_ptr<DeviceSource>> sources;
  sources.push_back(std::make_unique<LoopbackSource>());
  return sources;
}

// The loopback alone, its messages stamped by a clock that the test sets.
class LoopbackLoop final : public ServicesUnderTest {
 public:
  static std::unique_ptr<ServicesUnderTest> Make(std::string*) {
    return std::make_unique<LoopbackLoop>();
  }

  std::unique_ptr<MidiServices> TakeServices() override {
    return std::make_unique<BackendMidiServices>(LoopbackOnly(), clock_.Function());
  }
  std::string LoopOutput() const override { return LoopbackSource::kName; }
  std::string LoopInput() const override { return LoopbackSource::kName; }
  // Resetting an output waits until the loopback has delivered all it sent.
  void Settle(MidiServices& midi, HMIDI out) override {
    ASSERT_EQ(midi.midiOutReset(out), MMSYSERR_NOERROR);
  }
  ManualClock* Clock() override { return &clock_; }
  Split LargeSysex() const override { return {60000, 4096, 15, 60000 - 14 * 4096}; }

 private:
  ManualClock clock_;  // outlives the services: the rig goes after them
};

INSTANTIATE_TEST_SUITE_P(Loopback, MidiServicesContract,
                         ::testing::Values(BackEnd{"Loopback", &LoopbackLoop::Make}));

class LoopbackServices : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(midi.midiInOpen(&in, 0, &NoticeRecorder::Callback, received.Instance(),
                              CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    ASSERT_EQ(midi.midiOutOpen(&out, 0, &NoticeRecorder::Callback, sent.Instance(),
                               CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
  }

  TestHeader& AddHeader(size_t size) {
    TestHeader& header = headers.emplace_back(size);
    AddInputHeader(midi, in, header);
    return header;
  }

  MMRESULT SendSysex(const std::vector<uint8_t>& bytes) {
    return SendLong(midi, out, headers.emplace_back(bytes));
  }

  // Every message sent so far has been through the loopback.
  void Flush() { ASSERT_EQ(midi.midiOutReset(out), MMSYSERR_NOERROR); }

  // Declared before the services, which may still hold them until they are gone.
  NoticeRecorder received;
  NoticeRecorder sent;
  std::deque<TestHeader> headers;
  BackendMidiServices midi{LoopbackOnly()};
  HMIDI in = 0;
  HMIDI out = 0;
};

TEST_F(LoopbackServices, ALongMessageIsReadAsAStreamOfMessages) {
  TestHeader& first = AddHeader(16);
  TestHeader& second = AddHeader(16);
  ASSERT_EQ(midi.midiInStart(in), MMSYSERR_NOERROR);
  // A sysex cut short by a note on (running status for a second one), then a
  // complete sysex with a clock byte inside.
  ASSERT_EQ(SendSysex({0xF0, 0x01, 0x02, 0x90, 0x3C, 0x40, 0x3E, 0x00, 0xF0, 0x03, 0xF8, 0xF7}),
            MMSYSERR_NOERROR);
  Flush();
  const auto notices = received.Notices();
  ASSERT_EQ(notices.size(), 5u);
  EXPECT_EQ(notices[0].msg, MIM_LONGERROR);
  EXPECT_EQ(notices[0].param1, reinterpret_cast<uintptr_t>(first.get()));
  EXPECT_EQ(notices[0].bytes, (std::vector<uint8_t>{0xF0, 0x01, 0x02}));
  EXPECT_EQ(notices[1].param1, 0x403C90u);
  EXPECT_EQ(notices[2].param1, 0x003E90u);
  EXPECT_EQ(notices[3].msg, MIM_DATA);
  EXPECT_EQ(notices[3].param1, 0xF8u);
  EXPECT_EQ(notices[4].msg, MIM_LONGDATA);
  EXPECT_EQ(notices[4].param1, reinterpret_cast<uintptr_t>(second.get()));
  EXPECT_EQ(notices[4].bytes, (std::vector<uint8_t>{0xF0, 0x03, 0xF7}));
}

TEST_F(LoopbackServices, EachLongMessageComesBackWithMomDoneAfterItsBytesArrived) {
  // One recorder for both ends shows the order of delivery and completion.
  NoticeRecorder both;
  HMIDI bothIn = 0;
  HMIDI bothOut = 0;
  ASSERT_EQ(midi.midiInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiInOpen(&bothIn, 0, &NoticeRecorder::Callback, both.Instance(),
                            CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiOutOpen(&bothOut, 0, &NoticeRecorder::Callback, both.Instance(),
                             CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  for (int i = 0; i < 3; ++i) AddInputHeader(midi, bothIn, headers.emplace_back(64));
  ASSERT_EQ(midi.midiInStart(bothIn), MMSYSERR_NOERROR);

  std::vector<TestHeader*> sentHeaders;
  for (uint8_t i = 0; i < 3; ++i) {
    TestHeader& header = headers.emplace_back(std::vector<uint8_t>{0xF0, i, 0xF7});
    ASSERT_EQ(SendLong(midi, bothOut, header), MMSYSERR_NOERROR);
    sentHeaders.push_back(&header);
  }
  ASSERT_EQ(midi.midiOutClose(bothOut), MMSYSERR_NOERROR);  // returns once all came back

  const auto notices = both.Notices();
  ASSERT_EQ(notices.size(), 6u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(notices[2 * i].msg, MIM_LONGDATA);
    EXPECT_EQ(notices[2 * i].bytes, sentHeaders[i]->data);
    EXPECT_EQ(notices[2 * i + 1].msg, MOM_DONE);
    EXPECT_EQ(notices[2 * i + 1].handle, bothOut);
    EXPECT_EQ(notices[2 * i + 1].param1, reinterpret_cast<uintptr_t>(sentHeaders[i]->get()));
    EXPECT_EQ(sentHeaders[i]->hdr.dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  }
  ASSERT_EQ(midi.midiInClose(bothIn), MMSYSERR_NOERROR);
}

TEST_F(LoopbackServices, OnlyOneInputIsOpenAtATime) {
  HMIDI second = 0;
  EXPECT_EQ(midi.midiInOpen(&second, 0, nullptr, 0, 0), MMSYSERR_ALLOCATED);
  EXPECT_EQ(second, 0u);
  ASSERT_EQ(midi.midiInClose(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midi.midiInOpen(&second, 0, nullptr, 0, 0), MMSYSERR_NOERROR);
  EXPECT_EQ(midi.midiInClose(second), MMSYSERR_NOERROR);
}

}  // namespace
