// ALSA devices that come and go, through the raw services: the listener hears
// the sequencer's announcements, an open device unplugged is gone for good and
// refuses sends, inputs opened and closed again and again while messages flow,
// how the program shows up on the sequencer, and system-exclusive bytes that
// come faster than they are read.

#include <alsa/asoundlib.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QTemporaryFile>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <thread>

#include "AlsaTestSupport.h"
#include "BackendTestSupport.h"

namespace {

using namespace std::chrono_literals;

bool Listed(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

std::vector<std::string> Inputs(MidiServices& midi) {
  std::vector<std::string> names;
  const uint32_t count = midi.midiInGetNumDevs();
  for (uint32_t id = 0; id < count; ++id) {
    MIDIINCAPS caps;
    if (midi.midiInGetDevCaps(id, &caps) == MMSYSERR_NOERROR) names.push_back(caps.szPname);
  }
  return names;
}

// Runs the event loop (which carries the services' notices) until done() holds.
bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 10s) {
  return WaitUntil(
      [&] {
        QCoreApplication::processEvents();
        return done();
      },
      timeout);
}

class AlsaDevices : public AlsaTest {
 protected:
  void SetUp() override {
    AlsaTest::SetUp();
    if (IsSkipped()) return;
    midi = &CurrentMidiServices();
    midi->SetDevicesChangedListener([this] { ++notices; });
  }

  void TearDown() override {
    for (HMIDI in : inputs) midi->midiInClose(in);
    for (HMIDI out : outputs) midi->midiOutClose(out);
    if (midi != nullptr) midi->SetDevicesChangedListener(nullptr);
    if (unplugged) {
      EXPECT_TRUE(PlugVirtualRawMidi()) << "the next tests need the devices";
    }
  }

  HMIDI OpenIn(const std::string& name, NoticeRecorder& recorder) {
    const HMIDI in = OpenInputNamed(*midi, name, recorder);
    if (in != 0) inputs.push_back(in);
    return in;
  }
  HMIDI OpenOut(const std::string& name, NoticeRecorder& recorder) {
    const HMIDI out = OpenOutputNamed(*midi, name, recorder);
    if (out != 0) outputs.push_back(out);
    return out;
  }
  void Close(HMIDI in) {
    EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
    std::erase(inputs, in);
  }

  MidiServices* midi = nullptr;
  int notices = 0;
  std::vector<HMIDI> inputs, outputs;
  // Buffers handed to the inputs: they outlive TearDown, which closes them.
  std::deque<TestHeader> headers;
  bool unplugged = false;
};

TEST_F(AlsaDevices, TheListenerHearsADeviceComeAndGo) {
  const std::string name = "Test Synth:port (ALSA)";
  EXPECT_FALSE(Listed(Inputs(*midi), name));
  auto synth = SequencerTestClient::Open("Test Synth");
  ASSERT_TRUE(synth);
  ASSERT_TRUE(PumpUntil([&] { return notices > 0; }));
  EXPECT_TRUE(Listed(Inputs(*midi), name));

  notices = 0;
  synth.reset();
  ASSERT_TRUE(PumpUntil([&] { return notices > 0; }));
  EXPECT_FALSE(Listed(Inputs(*midi), name));
}

TEST_F(AlsaDevices, AnOpenDeviceUnpluggedIsGoneForGoodAndRefusesSends) {
  NoticeRecorder received, sent;
  const HMIDI in = OpenIn(kVirtualRawMidi1, received);
  const HMIDI out = OpenOut(kVirtualRawMidi1, sent);
  ASSERT_NE(in, 0u);
  ASSERT_NE(out, 0u);
  EXPECT_EQ(midi->midiInCheckDevice(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiOutCheckDevice(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR);

  unplugged = UnplugVirtualRawMidi();
  ASSERT_TRUE(unplugged);
  ASSERT_TRUE(PumpUntil([&] { return notices > 0; }));
  EXPECT_EQ(midi->midiInCheckDevice(in), MIDIERR_NODEVICE);
  EXPECT_EQ(midi->midiOutCheckDevice(out), MIDIERR_NODEVICE);
  EXPECT_EQ(midi->midiOutShortMsg(out, 0x403C90), MIDIERR_NODEVICE);
  TestHeader sysex(std::vector<uint8_t>{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7});
  EXPECT_EQ(SendLong(*midi, out, sysex), MIDIERR_NODEVICE);

  // Plugged back, it is another device: the handles stay gone, a new opening works.
  ASSERT_TRUE(PlugVirtualRawMidi());
  unplugged = false;
  ASSERT_TRUE(PumpUntil([&] { return Listed(Inputs(*midi), kVirtualRawMidi1); }));
  EXPECT_EQ(midi->midiInCheckDevice(in), MIDIERR_NODEVICE);
  EXPECT_EQ(midi->midiOutShortMsg(out, 0x403C90), MIDIERR_NODEVICE);
  NoticeRecorder again;
  const HMIDI next = OpenOut(kVirtualRawMidi1, again);
  ASSERT_NE(next, 0u);
  RawMidiDevice raw(kRawMidi1, O_RDONLY);
  ASSERT_TRUE(raw.IsOpen());
  EXPECT_EQ(midi->midiOutShortMsg(next, 0x403C90), MMSYSERR_NOERROR);
  EXPECT_EQ(raw.Read(3), (std::vector<uint8_t>{0x90, 0x3C, 0x40}));
}

TEST_F(AlsaDevices, InputsOpenedAndClosedAgainAndAgainWhileMessagesFlowDeliverWhileOpen) {
  NoticeRecorder sent, steady;
  const HMIDI out = OpenOut(kMidiThrough, sent);
  const HMIDI kept = OpenIn(kMidiThrough, steady);  // open all along
  ASSERT_NE(out, 0u);
  ASSERT_NE(kept, 0u);
  size_t sentCount = 0;
  for (int round = 0; round < 100; ++round) {
    NoticeRecorder received;
    const HMIDI in = OpenIn(kMidiThrough, received);
    ASSERT_NE(in, 0u) << "round " << round;
    const uint32_t note = 0x400090u | (static_cast<uint32_t>(round) << 8);
    ASSERT_EQ(midi->midiOutShortMsg(out, note), MMSYSERR_NOERROR);
    ++sentCount;
    ASSERT_TRUE(received.WaitFor(1)) << "round " << round;
    EXPECT_EQ(received.Notices()[0].param1, note);
    Close(in);
  }
  ASSERT_TRUE(steady.WaitFor(sentCount));
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(steady.Count(), sentCount) << "the input open all along got each message once";
}

struct OwnPort {
  std::string name;
  unsigned capability;
};

std::vector<OwnPort> PortsOfClient(int client) {
  std::vector<OwnPort> ports;
  snd_seq_t* opened = nullptr;
  if (snd_seq_open(&opened, "default", SND_SEQ_OPEN_DUPLEX, 0) < 0) return ports;
  const std::unique_ptr<snd_seq_t, decltype(&snd_seq_close)> seq(opened, &snd_seq_close);
  snd_seq_port_info_t* port = nullptr;
  snd_seq_port_info_alloca(&port);
  snd_seq_port_info_set_client(port, client);
  snd_seq_port_info_set_port(port, -1);
  while (snd_seq_query_next_port(seq.get(), port) >= 0) {
    ports.push_back({snd_seq_port_info_get_name(port), snd_seq_port_info_get_capability(port)});
  }
  return ports;
}

TEST_F(AlsaDevices, TheProgramIsOneClientWithAnInputAndAnOutputPortConnectedToItsDevices) {
  NoticeRecorder received, sent;
  const HMIDI in = OpenIn(kMidiThrough, received);
  const HMIDI out = OpenOut(kVirtualRawMidi1, sent);
  ASSERT_NE(in, 0u);
  ASSERT_NE(out, 0u);

  std::vector<SequencerClient> own;
  for (const SequencerClient& client : SequencerClients()) {
    if (client.name.starts_with("Orvalis")) own.push_back(client);
  }
  ASSERT_EQ(own.size(), 2u);
  const auto orvalis = std::find_if(own.begin(), own.end(), [](const auto& c) { return c.name == "Orvalis"; });
  ASSERT_NE(orvalis, own.end());
  std::vector<std::string> names;
  for (const OwnPort& port : PortsOfClient(orvalis->number)) names.push_back(port.name);
  EXPECT_EQ(names, (std::vector<std::string>{"MIDI In", "MIDI Out"}));
  EXPECT_TRUE(ConnectedToOrvalis(SequencerClientNumber("Midi Through"), true));
  EXPECT_TRUE(ConnectedToOrvalis(SequencerClientNumber("Virtual Raw MIDI 0-1"), false));

  // The other client only hears the sequencer's announcements: no program
  // can connect to its port, so lists such as aconnect's leave it out.
  const auto watcher = std::find_if(own.begin(), own.end(), [](const auto& c) { return c.name != "Orvalis"; });
  ASSERT_NE(watcher, own.end());
  EXPECT_EQ(watcher->name, "Orvalis device list");
  for (const OwnPort& port : PortsOfClient(watcher->number)) {
    EXPECT_EQ(port.capability & (SND_SEQ_PORT_CAP_SUBS_READ | SND_SEQ_PORT_CAP_SUBS_WRITE), 0u) << port.name;
    EXPECT_NE(port.capability & SND_SEQ_PORT_CAP_NO_EXPORT, 0u) << port.name;
  }

  // Closed, the ports go; the client stays for the next ones.
  Close(in);
  EXPECT_EQ(midi->midiOutClose(out), MMSYSERR_NOERROR);
  outputs.clear();
  EXPECT_TRUE(PortsOfClient(orvalis->number).empty());
}

// Runs the body with the process's stderr going to a file; returns what was written.
std::string StderrOf(const std::function<void()>& body) {
  std::fflush(stderr);
  QTemporaryFile file;
  if (!file.open()) return "(cannot capture stderr)";
  const int saved = dup(STDERR_FILENO);
  dup2(file.handle(), STDERR_FILENO);
  body();
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  file.seek(0);
  return file.readAll().toStdString();
}

// An input whose callback keeps the reading thread in the callback of a Start
// (FA) until released, as a slow callback would. It lets the thread go and
// closes the input before it goes.
struct StallingInput {
  StallingInput(MidiServices& services, const std::string& name) : midi(services) {
    EXPECT_EQ(midi.midiInOpen(&handle, static_cast<uint32_t>(InputIdOf(midi, name)), &Callback,
                              reinterpret_cast<uintptr_t>(this), CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
  }
  ~StallingInput() {
    released = true;
    if (handle != 0) {
      EXPECT_EQ(midi.midiInClose(handle), MMSYSERR_NOERROR);
    }
  }

  static void Callback(HMIDI in, uint32_t msg, uintptr_t instance, uintptr_t param1, uintptr_t param2) {
    auto& self = *reinterpret_cast<StallingInput*>(instance);
    NoticeRecorder::Callback(in, msg, self.received.Instance(), param1, param2);
    if (msg != MIM_DATA || param1 != 0xFA) return;
    self.stalled = true;
    while (!self.released) std::this_thread::sleep_for(1ms);
  }

  MidiServices& midi;
  HMIDI handle = 0;
  NoticeRecorder received;
  std::atomic<bool> stalled{false};
  std::atomic<bool> released{false};
};

// Writes a Note On to the device until it arrives: sent again now and then,
// for the client's queue may overflow again.
bool NoteOnComesThrough(RawMidiDevice& raw, const NoticeRecorder& received) {
  auto sent = std::chrono::steady_clock::now() - 1s;
  return WaitUntil([&] {
    const auto notes = received.Of(MIM_DATA);
    if (!notes.empty() && notes.back().param1 == 0x403C90u) return true;
    if (std::chrono::steady_clock::now() - sent > 200ms) {
      sent = std::chrono::steady_clock::now();
      raw.Write({0x90, 0x3C, 0x40});
    }
    return false;
  }, 30s);
}

TEST_F(AlsaDevices, SysexLostWhileItIsReadEndsCutShortWhereTheLossBeganAndNothingJoinsIt) {
  // The first of three 60000-byte messages begins, with a Start after its
  // first 1000 bytes, whose callback holds the reading thread while the rest
  // comes: the client's queue overflows long before it reads again.
  const std::vector<uint8_t> whole = Sysex(60000);
  std::vector<uint8_t> rest(whole.begin() + 1000, whole.end());
  for (int i = 0; i < 2; ++i) rest.insert(rest.end(), whole.begin(), whole.end());

  StallingInput input(*midi, kVirtualRawMidi0);
  NoticeRecorder& received = input.received;
  const std::string printed = StderrOf([&] {
    const HMIDI stalling = input.handle;
    ASSERT_NE(stalling, 0u);
    for (int i = 0; i < 16; ++i) AddInputHeader(*midi, stalling, headers.emplace_back(63999));
    ASSERT_EQ(midi->midiInStart(stalling), MMSYSERR_NOERROR);

    RawMidiDevice raw(kRawMidi0, O_WRONLY);
    ASSERT_TRUE(raw.IsOpen());
    std::vector<uint8_t> start(whole.begin(), whole.begin() + 1000);
    start.push_back(0xFA);
    ASSERT_TRUE(raw.Write(start));
    ASSERT_TRUE(WaitUntil([&] { return input.stalled.load(); }));
    ASSERT_TRUE(raw.Write(rest));
    EXPECT_FALSE(raw.WaitUntilSentOrStopped()) << "the device stops when the queue is full";
    input.released = true;
    // The note sets the device going again, after the rest.
    ASSERT_TRUE(NoteOnComesThrough(raw, received));
  });
  EXPECT_EQ(printed, "");

  // The message under way ends with what was read before the loss (the
  // device sends it in pieces, so up to the Start at most); what came after
  // the loss (its middle and end) is not joined to it, and a message is
  // delivered as whole only if it is.
  const auto cut = received.Of(MIM_LONGERROR);
  ASSERT_FALSE(cut.empty());
  EXPECT_LE(cut[0].bytes.size(), 1000u);
  for (const auto& notice : cut) {
    ASSERT_FALSE(notice.bytes.empty());
    EXPECT_TRUE(std::equal(notice.bytes.begin(), notice.bytes.end(), whole.begin()))
        << "what came of a message cut short is its beginning";
  }
  for (const auto& notice : received.Of(MIM_LONGDATA)) {
    EXPECT_TRUE(notice.bytes == whole) << "a message delivered as whole is whole";
  }
}

// A flood of numbered Control Changes that comes while the reading thread is
// held in a callback: the sequencer's queue for the client overflows and
// drops events. What comes through arrives once each and in order, and the
// loss is told (MIM_OVERFLOW), never silent.
TEST_F(AlsaDevices, AFloodTheSequencerDropsArrivesOnceEachInOrderAndItsLossIsTold) {
  constexpr uint32_t kFlood = 6000;  // three times the client's queue
  StallingInput input(*midi, kVirtualRawMidi0);
  NoticeRecorder& received = input.received;
  const std::string printed = StderrOf([&] {
    ASSERT_NE(input.handle, 0u);
    ASSERT_EQ(midi->midiInStart(input.handle), MMSYSERR_NOERROR);
    RawMidiDevice raw(kRawMidi0, O_WRONLY);
    ASSERT_TRUE(raw.IsOpen());
    ASSERT_TRUE(raw.Write({0xFA}));
    ASSERT_TRUE(WaitUntil([&] { return input.stalled.load(); }));
    std::vector<uint8_t> flood;
    for (uint32_t n = 0; n < kFlood; ++n) {
      flood.insert(flood.end(), {0xB0, static_cast<uint8_t>(n % 128), static_cast<uint8_t>(n / 128)});
    }
    ASSERT_TRUE(raw.Write(flood));
    (void)raw.WaitUntilSentOrStopped();
    input.released = true;
    // A Note On ends it.
    ASSERT_TRUE(NoteOnComesThrough(raw, received));
  });
  EXPECT_EQ(printed, "");

  std::vector<uint32_t> numbers;
  for (const auto& notice : received.Of(MIM_DATA)) {
    if ((notice.param1 & 0xFF) == 0xB0) numbers.push_back(((notice.param1 >> 8) & 0x7F) + 128 * (notice.param1 >> 16));
  }
  for (size_t i = 1; i < numbers.size(); ++i) {
    ASSERT_LT(numbers[i - 1], numbers[i]) << "once each and in order, at " << i;
  }
  EXPECT_LT(numbers.size(), kFlood) << "the queue overflowed";
  const auto losses = received.Of(MIM_OVERFLOW);
  ASSERT_FALSE(losses.empty()) << "the loss is told";
  // Told where it happened: before the first number missing.
  size_t expected = 0;
  while (expected < numbers.size() && numbers[expected] == expected) ++expected;
  const auto notices = received.Notices();
  const auto firstLoss = std::find_if(notices.begin(), notices.end(),
                                      [](const auto& notice) { return notice.msg == MIM_OVERFLOW; });
  const auto beforeLoss = std::count_if(notices.begin(), firstLoss, [](const auto& notice) {
    return notice.msg == MIM_DATA && (notice.param1 & 0xFF) == 0xB0;
  });
  EXPECT_LE(static_cast<size_t>(beforeLoss), expected) << "no message after the gap is delivered before it is told";
}

// What arrives is stamped by the kernel as the sequencer queues it, not when
// the reading thread takes it: a message that comes while the thread is held
// in a callback keeps the time it came at. A send's time is the queue's when
// the sequencer took the message.
TEST_F(AlsaDevices, MessagesCarryTheTimeTheSequencerReceivedThemAndSendsTheTimeTheyLeft) {
  const auto micros = [] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  };
  StallingInput input(*midi, kVirtualRawMidi0);
  ASSERT_NE(input.handle, 0u);
  ASSERT_EQ(midi->midiInStart(input.handle), MMSYSERR_NOERROR);
  RawMidiDevice raw(kRawMidi0, O_WRONLY);
  ASSERT_TRUE(raw.IsOpen());
  ASSERT_TRUE(raw.Write({0xFA}));
  ASSERT_TRUE(WaitUntil([&] { return input.stalled.load(); }));
  const uint64_t written = micros();
  ASSERT_TRUE(raw.Write({0x90, 0x3C, 0x40}));
  std::this_thread::sleep_for(300ms);
  const uint64_t released = micros();
  input.released = true;
  ASSERT_TRUE(WaitUntil([&] { return input.received.Of(MIM_DATA).size() >= 2; }));
  const auto note = input.received.Of(MIM_DATA)[1];
  ASSERT_EQ(note.param1, 0x403C90u);
  EXPECT_GE(note.driverTimeUs + 20'000, written);
  EXPECT_LT(note.driverTimeUs, released - 200'000) << "stamped when read, not when it came";

  NoticeRecorder sent;
  const HMIDI out = OpenOut(kMidiThrough, sent);
  ASSERT_NE(out, 0u);
  const uint64_t before = micros();
  ASSERT_EQ(midi->midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR);
  const uint64_t after = micros();
  uint64_t left = 0;
  ASSERT_EQ(midi->midiOutGetSendTime(out, &left), MMSYSERR_NOERROR);
  // The queue's clock counts its timer's ticks, which keep close to the
  // steady clock but not to the microsecond (emulated, a few ms a second).
  EXPECT_GE(left + 20'000, before);
  EXPECT_LE(left, after + 20'000);
}

}  // namespace
