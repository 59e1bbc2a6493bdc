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
#include <cstdio>
#include <deque>

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

TEST_F(AlsaDevices, SysexComingFasterThanItIsReadIsNeverDeliveredAsWholeWhenItIsNot) {
  // Three 60000-byte messages written at once, far beyond what a MIDI cable
  // carries: the client's queue may overflow. Whatever comes through either
  // is the whole message or is cut short (MIM_LONGERROR, no F7 at its end),
  // and nothing is printed.
  NoticeRecorder received;
  const std::string printed = StderrOf([&] {
    const HMIDI in = OpenIn(kVirtualRawMidi0, received);
    ASSERT_NE(in, 0u);
    for (int i = 0; i < 16; ++i) AddInputHeader(*midi, in, headers.emplace_back(63999));
    RawMidiDevice raw(kRawMidi0, O_WRONLY);
    ASSERT_TRUE(raw.IsOpen());
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 3; ++i) {
      const std::vector<uint8_t> message = Sysex(60000);
      bytes.insert(bytes.end(), message.begin(), message.end());
    }
    ASSERT_TRUE(raw.Write(bytes));
    ASSERT_TRUE(raw.Write({0x90, 0x3C, 0x40}));  // the last message, after them
    ASSERT_TRUE(WaitUntil([&] { return !received.Of(MIM_DATA).empty(); }));
  });
  EXPECT_EQ(printed, "");
  const std::vector<uint8_t> whole = Sysex(60000);
  int cut = 0;
  for (const auto& notice : received.Notices()) {
    if (notice.msg == MIM_LONGDATA) {
      EXPECT_EQ(notice.bytes, whole) << "a message delivered as whole is whole";
    } else if (notice.msg == MIM_LONGERROR) {
      ++cut;
      ASSERT_FALSE(notice.bytes.empty());
      EXPECT_EQ(notice.bytes.front(), 0xF0);
      EXPECT_NE(notice.bytes.back(), 0xF7);
      EXPECT_TRUE(std::equal(notice.bytes.begin(), notice.bytes.end(), whole.begin()))
          << "what came of a message cut short is its beginning";
    }
  }
  EXPECT_EQ(received.Of(MIM_DATA).back().param1, 0x403C90u);
  RecordProperty("cut_short", cut);
}

}  // namespace
