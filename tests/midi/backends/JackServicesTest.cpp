// The JACK devices through the raw services, against a test client on the
// running JACK server (skipped when none runs). JACK drops whole periods when
// a client falls behind, so each step is repeated until its effect shows (see
// JackTestClient::Retry); what arrives is then checked byte for byte. The
// contract of the services runs on JACK here, looped by an echoing test
// client; below it, what only JACK shows: names, and the bytes on the wire.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <functional>
#include <thread>

#include "BackendTestSupport.h"
#include "JackTestClient.h"
#include "MidiServicesContract.h"
#include "backends/SystemMidiServices.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/jack/JackSource.h"
#include "backends/loopback/LoopbackSource.h"

namespace {

using namespace std::chrono_literals;
using Message = JackTestClient::Message;

// The JACK source alone, looped by a test client that sends back on "out"
// whatever arrives on "in". Messages are stamped with their frames' times,
// not by a clock of the test's: JackServices checks those below.
class JackLoop final : public ServicesUnderTest {
 public:
  static std::unique_ptr<ServicesUnderTest> Make(std::string* whyNot) {
    auto echo = JackTestClient::Open("OrvalisContract-" + std::to_string(getpid()));
    if (!echo) {
      *whyNot = JackTestClient::kNoServer;
      return nullptr;
    }
    echo->Echo();
    return std::make_unique<JackLoop>(std::move(echo));
  }

  explicit JackLoop(std::unique_ptr<JackTestClient> echo) : echo_(std::move(echo)) {}

  std::unique_ptr<MidiServices> TakeServices() override {
    std::vector<std::unique_ptr<DeviceSource>> sources;
    sources.push_back(std::make_unique<JackSource>());
    return std::make_unique<BackendMidiServices>(std::move(sources));
  }
  std::string LoopOutput() const override { return echo_->InputPort() + " (JACK)"; }
  std::string LoopInput() const override { return echo_->OutputPort() + " (JACK)"; }
  bool Loses() const override { return true; }
  bool Until(const std::function<void()>& attempt, const std::function<bool()>& done) override {
    return JackTestClient::Retry(attempt, done);
  }
  // A message crosses the server within a period or two (about 5 ms each) or
  // is dropped; this is many periods.
  void Settle(MidiServices&, HMIDI) override { std::this_thread::sleep_for(300ms); }
  Split LargeSysex() const override { return {200, 128, 2, 72}; }

 private:
  std::unique_ptr<JackTestClient> echo_;  // outlives the services: the rig goes after them
};

INSTANTIATE_TEST_SUITE_P(Jack, MidiServicesContract,
                         ::testing::Values(BackEnd{"Jack", &JackLoop::Make}));

class JackServices : public ::testing::Test {
 protected:
  void SetUp() override {
    jack = JackTestClient::Open("OrvalisTest-" + std::to_string(getpid()));
    if (!jack) GTEST_SKIP() << JackTestClient::kNoServer;
    midi = CreateSystemMidiServices();
  }

  // Our input from the test client's "out", started.
  HMIDI OpenIn() { return OpenInputNamed(*midi, jack->OutputPort() + " (JACK)", received); }

  // Our output to the test client's "in".
  HMIDI OpenOut() { return OpenOutputNamed(*midi, jack->InputPort() + " (JACK)", sent); }

  // The names in a device list, without other test programs' clients, which
  // may come and go meanwhile.
  std::vector<std::string> Settled(const std::vector<std::string>& names) {
    std::vector<std::string> kept;
    for (const std::string& name : names) {
      if (!name.starts_with("Orvalis") || name.starts_with(jack->ClientName() + ":") ||
          name == LoopbackSource::kName) {
        kept.push_back(name);
      }
    }
    return kept;
  }

  // Sends until the test client got something; returns the first message it got.
  Message SendOut(const std::function<void()>& send) {
    jack->ClearReceived();
    EXPECT_TRUE(JackTestClient::Retry(send, [&] { return !jack->Received().empty(); }))
        << jack->Graph();
    const auto got = jack->Received();
    return got.empty() ? Message{} : got.front();
  }

  NoticeRecorder received;
  NoticeRecorder sent;
  std::deque<TestHeader> headers;
  std::unique_ptr<JackTestClient> jack;
  std::unique_ptr<MidiServices> midi;
};

TEST_F(JackServices, ListsTheServersPortsWithStableNamesButNeverItsOwn) {
  const HMIDI in = OpenIn();
  const HMIDI out = OpenOut();

  // The program's ports exist on the server ...
  size_t own = 0;
  for (bool sources : {true, false}) {
    for (const std::string& port : jack->MidiPorts(sources)) {
      own += port.starts_with("Orvalis:") || port.starts_with("Orvalis-");
    }
  }
  EXPECT_GE(own, 2u);
  // ... and stay out of its lists, which keep their names from one listing to the next.
  const auto inputs = InputNames(*midi);
  const auto outputs = OutputNames(*midi);
  for (const auto& names : {inputs, outputs}) {
    for (const std::string& name : names) {
      EXPECT_FALSE(name.starts_with("Orvalis:") || name.starts_with("Orvalis-")) << name;
    }
    EXPECT_EQ(names.back(), LoopbackSource::kName);
  }
  EXPECT_NE(std::find(inputs.begin(), inputs.end(), jack->OutputPort() + " (JACK)"), inputs.end());
  EXPECT_NE(std::find(outputs.begin(), outputs.end(), jack->InputPort() + " (JACK)"),
            outputs.end());
  EXPECT_EQ(Settled(InputNames(*midi)), Settled(inputs));
  EXPECT_EQ(Settled(OutputNames(*midi)), Settled(outputs));

  EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(JackServices, ShortMessagesGoOutWithTheLengthTheirStatusImplies) {
  const HMIDI out = OpenOut();
  struct Case {
    uint32_t packed;
    Message bytes;
  };
  const Case cases[] = {{0x403C90, {0x90, 0x3C, 0x40}},
                        {0x7F05C0, {0xC0, 0x05}},
                        {0x0000F8, {0xF8}},
                        {0x0201F2, {0xF2, 0x01, 0x02}}};
  for (const Case& c : cases) {
    EXPECT_EQ(SendOut([&] { EXPECT_EQ(midi->midiOutShortMsg(out, c.packed), MMSYSERR_NOERROR); }),
              c.bytes);
  }
}

TEST_F(JackServices, ALoopThroughTheServerCarriesTransformedMessages) {
  OpenIn();
  const HMIDI out = OpenOut();
  // Note off becomes polyphonic aftertouch (not a note on with velocity 0,
  // which PipeWire hands on as a note off).
  jack->Echo([](const Message& m) {
    if (m.size() == 3 && (m[0] & 0xF0) == 0x80) {
      return Message{static_cast<uint8_t>(0xA0 | (m[0] & 0x0F)), m[1], 0x11};
    }
    return m;
  });
  for (auto [sentMessage, arrived] : {std::pair{0x403C80u, 0x113CA0u}, {0x0A0BB1u, 0x0A0BB1u}}) {
    received.Clear();
    ASSERT_TRUE(JackTestClient::Retry([&] { midi->midiOutShortMsg(out, sentMessage); },
                                      [&] { return received.Count() > 0; }))
        << jack->Graph() << jack->Received().size() << " received by the test client";
    EXPECT_EQ(received.Notices()[0].param1, arrived);
  }
}

TEST_F(JackServices, A200ByteSysexGoesOutWholeAndComesBackWithMomDone) {
  const HMIDI out = OpenOut();
  int attempts = 0;
  const Message got = SendOut([&] {
    ++attempts;
    TestHeader& header = headers.emplace_back(Sysex(200));
    EXPECT_EQ(SendLong(*midi, out, header), MMSYSERR_NOERROR);
  });
  EXPECT_EQ(got, Sysex(200));
  const auto done = sent.Of(MOM_DONE);
  ASSERT_EQ(done.size(), static_cast<size_t>(attempts));
  for (size_t i = 0; i < done.size(); ++i) {
    EXPECT_EQ(done[i].param1, reinterpret_cast<uintptr_t>(headers[i].get()));
    EXPECT_EQ(headers[i]->dwFlags & (MHDR_DONE | MHDR_INQUEUE), MHDR_DONE);
  }
}

TEST_F(JackServices, ALongMessageGoesOutAsOneJackEventPerMessage) {
  const HMIDI out = OpenOut();
  jack->ClearReceived();
  ASSERT_TRUE(JackTestClient::Retry(
      [&] {
        TestHeader& header = headers.emplace_back(
            std::vector<uint8_t>{0x90, 0x3C, 0x40, 0x3E, 0x7F, 0xF0, 0x01, 0xF7});
        EXPECT_EQ(SendLong(*midi, out, header), MMSYSERR_NOERROR);
      },
      [&] {
        const auto got = jack->Received();
        return std::find(got.begin(), got.end(), Message{0xF0, 0x01, 0xF7}) != got.end();
      }))
      << jack->Graph();
  // An attempt whose cycle was dropped may have left some of its messages.
  const auto got = jack->Received();
  const std::vector<Message> expected{{0x90, 0x3C, 0x40}, {0x90, 0x3E, 0x7F}, {0xF0, 0x01, 0xF7}};
  EXPECT_NE(std::search(got.begin(), got.end(), expected.begin(), expected.end()), got.end());
}

TEST_F(JackServices, ASysexSentInPiecesGoesOutAsOneJackEventPerPiece) {
  const HMIDI out = OpenOut();
  jack->ClearReceived();
  const std::vector<Message> pieces = {{0xF0, 0x01}, {0x02, 0xF7}};
  ASSERT_TRUE(JackTestClient::Retry(
      [&] {
        for (const Message& piece : pieces) {
          EXPECT_EQ(SendLong(*midi, out, headers.emplace_back(piece)), MMSYSERR_NOERROR);
        }
      },
      [&] {
        const auto got = jack->Received();
        return std::search(got.begin(), got.end(), pieces.begin(), pieces.end()) != got.end();
      }))
      << jack->Graph();
  EXPECT_EQ(sent.Of(MOM_DONE).size(), headers.size()) << "each piece's header came back at once";
}

// A JACK port's buffer carries 32 kB a cycle on jackd2 (PipeWire's the same).
TEST_F(JackServices, AMessageTooLongForJackIsRefusedInsteadOfLost) {
  const HMIDI out = OpenOut();
  TestHeader& header = headers.emplace_back(Sysex(100000));
  EXPECT_EQ(SendLong(*midi, out, header), MMSYSERR_INVALPARAM);
  EXPECT_EQ(header->dwFlags & (MHDR_DONE | MHDR_INQUEUE), 0u);
  EXPECT_EQ(sent.Count(), 0u);
}

TEST_F(JackServices, ASysexAsLongAsACycleCarriesGoesOutWhole) {
  const HMIDI out = OpenOut();
  EXPECT_EQ(SendOut([&] { EXPECT_EQ(SendLong(*midi, out, headers.emplace_back(Sysex(20000))), MMSYSERR_NOERROR); }),
            Sysex(20000));
}

// A route that answers exactly 1000 frames later: each message's round trip,
// from the frame it left at (midiOutGetSendTime) to the frame its answer
// arrived at (the callback's DriverEventTimeUs), is the same to the frame,
// whatever the threads' scheduling; the route adds a whole period when the
// echo's answer reaches the program's input only in the next cycle.
TEST_F(JackServices, RoundTripsAreMeasuredFromFrameToFrame) {
  const HMIDI in = OpenIn();
  const HMIDI out = OpenOut();
  const auto frame = std::chrono::duration<double, std::micro>(1'000'000.0 / jack->SampleRate());
  jack->Echo();
  jack->EchoAfter(std::chrono::duration_cast<std::chrono::microseconds>(1000 * frame));
  std::vector<double> tripsUs;
  for (uint8_t note = 0x30; note < 0x30 + 20; ++note) {
    received.Clear();
    uint64_t leftUs = 0;
    ASSERT_TRUE(JackTestClient::Retry(
        [&] {
          ASSERT_EQ(midi->midiOutShortMsg(out, 0x400090u | (note << 8)), MMSYSERR_NOERROR);
          ASSERT_EQ(midi->midiOutGetSendTime(out, &leftUs), MMSYSERR_NOERROR);
        },
        [&] { return received.Count() > 0; }))
        << jack->Graph();
    const auto answer = received.Notices().front();
    ASSERT_EQ(answer.param1, 0x400090u | (note << 8));
    ASSERT_NE(answer.driverTimeUs, 0u);
    tripsUs.push_back(static_cast<double>(answer.driverTimeUs) - static_cast<double>(leftUs));
    std::this_thread::sleep_for(std::chrono::milliseconds(3 + note % 7));  // off the period's beat
  }
  if (jack->Xruns() > 0) GTEST_SKIP() << "the server ran late during the test";
  // A message sent while a slow build held the thread may leave a cycle late
  // (it then counts from the frame it was meant for): most trips are exact.
  std::sort(tripsUs.begin(), tripsUs.end());
  const double median = tripsUs[tripsUs.size() / 2];
  const auto exact = std::count_if(tripsUs.begin(), tripsUs.end(), [&](double trip) {
    return std::abs(trip - median) <= 2 * frame.count();
  });
  EXPECT_GE(exact, 15) << "jitter where the route has none";
  const double period = jack->PeriodFrames() * frame.count();
  const double expected = 1000 * frame.count();
  EXPECT_TRUE(std::abs(median - expected) <= 2 * frame.count() ||
              std::abs(median - expected - period) <= 2 * frame.count())
      << median << " us, expected " << expected << " or one period more";
  EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
}

}  // namespace
