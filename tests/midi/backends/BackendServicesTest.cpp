// The services over device sources, with scripted sources: how the sources'
// lists make one list, ids, capabilities, the mapper and the functions that no
// port has. What every implementation of the services does, these included, is
// the contract (MidiServicesContractTest.cpp).

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>

#include "BackendTestSupport.h"
#include "JackTestTurn.h"
#include "backends/SystemMidiServices.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/common/ErrorTexts.h"
#include "backends/loopback/LoopbackSource.h"

namespace {

// A source whose device lists the test sets; it records what was opened and
// sent, and completes long messages at once.
class FakeSource final : public DeviceSource {
 public:
  FakeSource(std::vector<std::string> inputs, std::vector<std::string> outputs, uint16_t pid)
      : inputs(std::move(inputs)), outputs(std::move(outputs)), pid_(pid) {}

  std::vector<std::string> InputNames() override { return inputs; }
  std::vector<std::string> OutputNames() override { return outputs; }

  MMRESULT OpenInput(const std::string& name, InputDelivery&,
                     std::unique_ptr<InputConnection>* connection) override {
    if (!Has(inputs, name)) return MIDIERR_NODEVICE;
    opened.push_back(name);
    *connection = std::make_unique<Input>(*this);
    return MMSYSERR_NOERROR;
  }

  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override {
    if (!Has(outputs, name)) return MIDIERR_NODEVICE;
    opened.push_back(name);
    *connection = std::make_unique<Output>(*this, done);
    return MMSYSERR_NOERROR;
  }

  void Watch(std::function<void()> notice) override {
    ++watched;
    changed = std::move(notice);
  }

  uint16_t ProductId() const override { return pid_; }
  uint32_t DriverVersion() const override { return 0x0102; }

  std::vector<std::string> inputs;
  int watched = 0;
  std::function<void()> changed;  // what Watch was given
  bool gone = false;              // the open connections' devices went away
  std::vector<std::string> outputs;
  std::vector<std::string> opened;
  std::vector<std::vector<uint8_t>> sent;

 private:
  struct Output final : OutputConnection {
    Output(FakeSource& source, const LongMessageDone& done) : source(source), done(done) {}
    MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
      source.sent.emplace_back(bytes, bytes + count);
      return MMSYSERR_NOERROR;
    }
    MMRESULT SendLong(MIDIHDR* hdr) override {
      source.sent.emplace_back(hdr->lpData, hdr->lpData + hdr->dwBufferLength);
      done(hdr);
      return MMSYSERR_NOERROR;
    }
    void Flush() override {}
    bool Gone() override { return source.gone; }
    FakeSource& source;
    LongMessageDone done;
  };
  struct Input final : InputConnection {
    explicit Input(FakeSource& source) : source(source) {}
    bool Gone() override { return source.gone; }
    FakeSource& source;
  };

  static bool Has(const std::vector<std::string>& names, const std::string& name) {
    return std::find(names.begin(), names.end(), name) != names.end();
  }

  uint16_t pid_;
};

class BackendServices : public ::testing::Test {
 protected:
  BackendServices() {
    auto a = std::make_unique<FakeSource>(std::vector<std::string>{"a1", "a2"},
                                          std::vector<std::string>{"x1", "x2"}, 7);
    auto b = std::make_unique<FakeSource>(std::vector<std::string>{"b1"},
                                          std::vector<std::string>{"y1"}, 8);
    first = a.get();
    second = b.get();
    std::vector<std::unique_ptr<DeviceSource>> sources;
    sources.push_back(std::move(a));
    sources.push_back(std::move(b));
    midi = std::make_unique<BackendMidiServices>(std::move(sources));
  }

  HMIDI OpenIn(uint32_t id = 0) {
    HMIDI handle = 0;
    EXPECT_EQ(midi->midiInOpen(&handle, id, &NoticeRecorder::Callback, notices.Instance(),
                               CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }

  HMIDI OpenOut(uint32_t id = 0) {
    HMIDI handle = 0;
    EXPECT_EQ(midi->midiOutOpen(&handle, id, &NoticeRecorder::Callback, notices.Instance(),
                                CALLBACK_FUNCTION),
              MMSYSERR_NOERROR);
    return handle;
  }

  NoticeRecorder notices;
  std::deque<TestHeader> headers;
  FakeSource* first = nullptr;
  FakeSource* second = nullptr;
  std::unique_ptr<BackendMidiServices> midi;
};

TEST_F(BackendServices, ListsEverySourceInOrder) {
  EXPECT_EQ(InputNames(*midi), (std::vector<std::string>{"a1", "a2", "b1"}));
  EXPECT_EQ(OutputNames(*midi), (std::vector<std::string>{"x1", "x2", "y1"}));
}

TEST_F(BackendServices, IdsReferToTheLastListingAndDevicesAreOpenedByName) {
  ASSERT_EQ(midi->midiInGetNumDevs(), 3u);
  first->inputs = {"a2"};  // a1 unplugged: a2 moves to index 0

  HMIDI handle = 0;
  EXPECT_EQ(midi->midiInOpen(&handle, 0, nullptr, 0, 0), MIDIERR_NODEVICE);
  EXPECT_EQ(handle, 0u);
  MIDIINCAPS caps;
  ASSERT_EQ(midi->midiInGetDevCaps(1, &caps), MMSYSERR_NOERROR);
  EXPECT_EQ(caps.szPname, "a2");
  handle = OpenIn(1);
  EXPECT_NE(handle, 0u);
  EXPECT_EQ(first->opened, (std::vector<std::string>{"a2"}));

  EXPECT_EQ(InputNames(*midi), (std::vector<std::string>{"a2", "b1"}));
  EXPECT_EQ(midi->midiInGetDevCaps(2, &caps), MMSYSERR_BADDEVICEID);
}

TEST_F(BackendServices, EachDevicesCapabilitiesComeFromItsSourceAndTheMapperHasItsOwn) {
  MIDIINCAPS in;
  ASSERT_EQ(midi->midiInGetDevCaps(2, &in), MMSYSERR_NOERROR);
  EXPECT_EQ(in.szPname, "b1");
  EXPECT_EQ(in.wPid, 8);
  EXPECT_EQ(in.vDriverVersion, 0x0102u);

  MIDIOUTCAPS out;
  ASSERT_EQ(midi->midiOutGetDevCaps(1, &out), MMSYSERR_NOERROR);
  EXPECT_EQ(out.szPname, "x2");
  EXPECT_EQ(out.wTechnology, MOD_MIDIPORT);
  EXPECT_EQ(out.wChannelMask, 0xFFFF);
  EXPECT_EQ(out.dwSupport, 0u);

  MIDIOUTCAPS mapper;
  ASSERT_EQ(midi->midiOutGetDevCaps(MIDI_MAPPER, &mapper), MMSYSERR_NOERROR);
  EXPECT_EQ(mapper.wTechnology, MOD_MAPPER);
  EXPECT_EQ(mapper.szPname, BackendMidiServices::kMapperName);
}

TEST_F(BackendServices, TheMapperOpensTheFirstOutput) {
  const HMIDI handle = OpenOut(MIDI_MAPPER);
  ASSERT_EQ(midi->midiOutShortMsg(handle, 0x403C90), MMSYSERR_NOERROR);
  EXPECT_EQ(first->opened, (std::vector<std::string>{"x1"}));
  EXPECT_EQ(first->sent, (std::vector<std::vector<uint8_t>>{{0x90, 0x3C, 0x40}}));

  first->outputs.clear();
  second->outputs.clear();
  midi->midiOutGetNumDevs();
  HMIDI none = 0;
  EXPECT_EQ(midi->midiOutOpen(&none, MIDI_MAPPER, nullptr, 0, 0), MIDIERR_NODEVICE);
  EXPECT_EQ(midi->midiInOpen(&none, MIDI_MAPPER, nullptr, 0, 0), MMSYSERR_BADDEVICEID);
}

TEST_F(BackendServices, FunctionsThatPortsLackAreRefusedForValidIds) {
  uint32_t volume = 0;
  const HMIDI out = OpenOut();
  uint16_t patches[128] = {};
  EXPECT_EQ(midi->midiOutGetVolume(0, &volume), kMidiNotSupported);
  EXPECT_EQ(midi->midiOutGetVolume(MIDI_MAPPER, &volume), kMidiNotSupported);
  EXPECT_EQ(midi->midiOutGetVolume(0, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiOutSetVolume(2, 0xFFFFFFFF), kMidiNotSupported);
  EXPECT_EQ(midi->midiOutMessage(0, 0x800, 1, 2), kMidiNotSupported);
  EXPECT_EQ(midi->midiOutCachePatches(out, 0, patches, 0), kMidiNotSupported);
  EXPECT_EQ(midi->midiOutCacheDrumPatches(out, 0, patches, 0), kMidiNotSupported);
}

// ---- The services of this machine -------------------------------------------

// The services open JACK clients of their own when a server runs: these tests
// take the JACK test turn. The stability of names is shown by the JACK tests
// with a client of their own.
TEST(SystemMidiServices, ListTheLoopbackLastAndNeverTheProgramsOwnPorts) {
  const auto turn = JackTestTurn();
  auto midi = CreateSystemMidiServices();
  for (const auto& names : {InputNames(*midi), OutputNames(*midi)}) {
    ASSERT_FALSE(names.empty());
    EXPECT_EQ(names.back(), LoopbackSource::kName);
    for (const std::string& name : names) {
      EXPECT_FALSE(name.starts_with("Orvalis:") || name.starts_with("Orvalis-")) << name;
    }
  }
  MIDIOUTCAPS mapper;
  ASSERT_EQ(midi->midiOutGetDevCaps(MIDI_MAPPER, &mapper), MMSYSERR_NOERROR);
  EXPECT_EQ(mapper.wTechnology, MOD_MAPPER);
}

TEST(SystemMidiServices, InstalledTheyCarryTheLoopThroughTheFreeFunctions) {
  const auto turn = JackTestTurn();
  ScopedMidiServices installed(CreateSystemMidiServices());
  const int inId = InputIdOf(CurrentMidiServices(), LoopbackSource::kName);
  const int outId = OutputIdOf(CurrentMidiServices(), LoopbackSource::kName);
  ASSERT_GE(inId, 0);
  ASSERT_GE(outId, 0);
  NoticeRecorder received;
  HMIDI in = 0;
  HMIDI out = 0;
  ASSERT_EQ(midiInOpen(&in, static_cast<uint32_t>(inId), &NoticeRecorder::Callback,
                       received.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutOpen(&out, static_cast<uint32_t>(outId), nullptr, 0, 0), MMSYSERR_NOERROR);
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x403C90), MMSYSERR_NOERROR);
  ASSERT_TRUE(received.WaitFor(1));
  EXPECT_EQ(received.Notices()[0].param1, 0x403C90u);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

}  // namespace

namespace {

TEST_F(BackendServices, SourcesAreWatchedFromTheFirstListenerOnAndTheirNoticesReachTheListener) {
  EXPECT_EQ(first->watched, 0) << "nobody listens yet";
  int heard = 0;
  midi->SetDevicesChangedListener([&] { ++heard; });
  EXPECT_EQ(first->watched, 1);
  EXPECT_EQ(second->watched, 1);
  second->changed();
  first->changed();
  EXPECT_EQ(heard, 2);

  int other = 0;
  midi->SetDevicesChangedListener([&] { ++other; });
  EXPECT_EQ(first->watched, 1) << "watched once";
  first->changed();
  EXPECT_EQ(heard, 2);
  EXPECT_EQ(other, 1);

  midi->SetDevicesChangedListener(nullptr);
  first->changed();
  EXPECT_EQ(other, 1);
}

TEST_F(BackendServices, AListenerMayReplaceItselfWhileItRuns) {
  int replaced = 0;
  midi->SetDevicesChangedListener([&] { midi->SetDevicesChangedListener([&] { ++replaced; }); });
  first->changed();
  first->changed();
  EXPECT_EQ(replaced, 1);
}

TEST_F(BackendServices, TheDeviceOfAnOpenHandleIsCheckedOnItsConnection) {
  const HMIDI in = OpenIn();
  const HMIDI out = OpenOut();
  EXPECT_EQ(midi->midiInCheckDevice(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiOutCheckDevice(out), MMSYSERR_NOERROR);
  first->gone = true;
  EXPECT_EQ(midi->midiInCheckDevice(in), MIDIERR_NODEVICE);
  EXPECT_EQ(midi->midiOutCheckDevice(out), MIDIERR_NODEVICE);
  EXPECT_EQ(midi->midiInCheckDevice(0x77), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(midi->midiOutCheckDevice(in), MMSYSERR_INVALHANDLE) << "an input's handle is no output's";
  EXPECT_EQ(midi->midiInClose(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiInCheckDevice(in), MMSYSERR_INVALHANDLE);
}

}  // namespace
