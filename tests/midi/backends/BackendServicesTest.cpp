// The services over device sources: lists, ids, capabilities, handles, header
// bookkeeping and result codes, with scripted sources.

#include <gtest/gtest.h>

#include <deque>
#include <algorithm>
#include <functional>
#include <set>

#include "BackendTestSupport.h"
#include "backends/common/BackendMidiServices.h"
#include "backends/common/ErrorTexts.h"
#include "backends/loopback/LoopbackSource.h"
#include "backends/SystemMidiServices.h"

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
    *connection = std::make_unique<InputConnection>();
    return MMSYSERR_NOERROR;
  }

  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override {
    if (!Has(outputs, name)) return MIDIERR_NODEVICE;
    opened.push_back(name);
    *connection = std::make_unique<Output>(*this, done);
    return MMSYSERR_NOERROR;
  }

  uint16_t ProductId() const override { return pid_; }
  uint32_t DriverVersion() const override { return 0x0102; }

  std::vector<std::string> inputs;
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
    FakeSource& source;
    LongMessageDone done;
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
  first->inputs = {"a2"};  // a1 unplugged: a2 moves to RtMidi's index 0

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

TEST_F(BackendServices, CapabilitiesOfDevicesAndOfTheMapper) {
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

  EXPECT_EQ(midi->midiInGetDevCaps(3, &in), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiInGetDevCaps(MIDI_MAPPER, &in), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiOutGetDevCaps(3, &out), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiInGetDevCaps(0, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiOutGetDevCaps(MIDI_MAPPER, nullptr), MMSYSERR_INVALPARAM);
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

TEST_F(BackendServices, OpeningChecksItsArguments) {
  HMIDI handle = 0x55;
  EXPECT_EQ(midi->midiInOpen(nullptr, 0, nullptr, 0, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiOutOpen(nullptr, 0, nullptr, 0, 0), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiInOpen(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
  EXPECT_EQ(handle, 0u);
  EXPECT_EQ(midi->midiOutOpen(&handle, 0, nullptr, 0, CALLBACK_FUNCTION), MMSYSERR_INVALPARAM);
  EXPECT_EQ(midi->midiInOpen(&handle, 0, &NoticeRecorder::Callback, 0, 0x00010000),
            MMSYSERR_INVALPARAM);  // window callbacks are not offered
  EXPECT_EQ(midi->midiInOpen(&handle, 3, nullptr, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(midi->midiOutOpen(&handle, 3, nullptr, 0, 0), MMSYSERR_BADDEVICEID);
  EXPECT_EQ(handle, 0u);
}

TEST_F(BackendServices, OperationsOnHandlesThatAreNotOpenFail) {
  const HMIDI in = OpenIn();
  const HMIDI out = OpenOut();
  HMIDI closedIn = OpenIn(1);
  HMIDI closedOut = OpenOut(1);
  ASSERT_EQ(midi->midiInClose(closedIn), MMSYSERR_NOERROR);
  ASSERT_EQ(midi->midiOutClose(closedOut), MMSYSERR_NOERROR);
  TestHeader& header = headers.emplace_back(8);
  uint16_t patches[128] = {};

  const std::vector<std::pair<const char*, std::function<MMRESULT(HMIDI)>>> inputOps = {
      {"midiInClose", [&](HMIDI h) { return midi->midiInClose(h); }},
      {"midiInPrepareHeader",
       [&](HMIDI h) { return midi->midiInPrepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiInUnprepareHeader",
       [&](HMIDI h) { return midi->midiInUnprepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiInAddBuffer",
       [&](HMIDI h) { return midi->midiInAddBuffer(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiInStart", [&](HMIDI h) { return midi->midiInStart(h); }},
      {"midiInStop", [&](HMIDI h) { return midi->midiInStop(h); }},
      {"midiInReset", [&](HMIDI h) { return midi->midiInReset(h); }},
  };
  const std::vector<std::pair<const char*, std::function<MMRESULT(HMIDI)>>> outputOps = {
      {"midiOutClose", [&](HMIDI h) { return midi->midiOutClose(h); }},
      {"midiOutShortMsg", [&](HMIDI h) { return midi->midiOutShortMsg(h, 0x403C90); }},
      {"midiOutPrepareHeader",
       [&](HMIDI h) { return midi->midiOutPrepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiOutUnprepareHeader",
       [&](HMIDI h) { return midi->midiOutUnprepareHeader(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiOutLongMsg",
       [&](HMIDI h) { return midi->midiOutLongMsg(h, header.get(), sizeof(MIDIHDR)); }},
      {"midiOutReset", [&](HMIDI h) { return midi->midiOutReset(h); }},
      {"midiOutCachePatches", [&](HMIDI h) { return midi->midiOutCachePatches(h, 0, patches, 0); }},
      {"midiOutCacheDrumPatches",
       [&](HMIDI h) { return midi->midiOutCacheDrumPatches(h, 0, patches, 0); }},
  };
  for (const auto& [name, op] : inputOps) {
    for (HMIDI bad : {HMIDI{0}, closedIn, out}) {
      EXPECT_EQ(op(bad), MMSYSERR_INVALHANDLE) << name << " with handle " << bad;
    }
  }
  for (const auto& [name, op] : outputOps) {
    for (HMIDI bad : {HMIDI{0}, closedOut, in}) {
      EXPECT_EQ(op(bad), MMSYSERR_INVALHANDLE) << name << " with handle " << bad;
    }
  }
}

TEST_F(BackendServices, HeadersAreCheckedBeforeTheDriverTakesThem) {
  const HMIDI in = OpenIn();
  const HMIDI out = OpenOut();
  constexpr uint32_t kSize = sizeof(MIDIHDR);
  TestHeader& unprepared = headers.emplace_back(8);
  TestHeader& empty = headers.emplace_back(0);
  MIDIHDR noData{};
  noData.dwBufferLength = 8;

  struct Case {
    const char* what;
    std::function<MMRESULT()> op;
    MMRESULT expected;
  };
  const Case cases[] = {
      {"in: no header", [&] { return midi->midiInPrepareHeader(in, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
      {"in: header size too small",
       [&] { return midi->midiInPrepareHeader(in, unprepared.get(), kSize - 1); },
       MMSYSERR_INVALPARAM},
      {"in: header without data", [&] { return midi->midiInPrepareHeader(in, &noData, kSize); },
       MMSYSERR_INVALPARAM},
      {"in: header of 0 bytes", [&] { return midi->midiInPrepareHeader(in, empty.get(), kSize); },
       MMSYSERR_INVALPARAM},
      {"in: unprepared header added",
       [&] { return midi->midiInAddBuffer(in, unprepared.get(), kSize); }, MIDIERR_UNPREPARED},
      {"in: no header added", [&] { return midi->midiInAddBuffer(in, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
      {"in: unprepare without header",
       [&] { return midi->midiInUnprepareHeader(in, nullptr, kSize); }, MMSYSERR_INVALPARAM},
      {"out: no header", [&] { return midi->midiOutPrepareHeader(out, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
      {"out: header size too small",
       [&] { return midi->midiOutLongMsg(out, unprepared.get(), kSize - 1); },
       MMSYSERR_INVALPARAM},
      {"out: unprepared header sent",
       [&] { return midi->midiOutLongMsg(out, unprepared.get(), kSize); }, MIDIERR_UNPREPARED},
      {"out: no header sent", [&] { return midi->midiOutLongMsg(out, nullptr, kSize); },
       MMSYSERR_INVALPARAM},
  };
  for (const Case& c : cases) EXPECT_EQ(c.op(), c.expected) << c.what;
  EXPECT_TRUE(first->sent.empty());
  EXPECT_EQ(notices.Count(), 0u);
}

TEST_F(BackendServices, AHeaderWithTheDriverCannotBeAddedAgainOrUnprepared) {
  const HMIDI in = OpenIn();
  TestHeader& header = headers.emplace_back(8);
  AddInputHeader(*midi, in, header);
  EXPECT_EQ(header->dwFlags & (MHDR_PREPARED | MHDR_INQUEUE), MHDR_PREPARED | MHDR_INQUEUE);
  EXPECT_EQ(midi->midiInAddBuffer(in, header.get(), sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midi->midiInUnprepareHeader(in, header.get(), sizeof(MIDIHDR)), MIDIERR_STILLPLAYING);
  EXPECT_EQ(midi->midiInPrepareHeader(in, header.get(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  ASSERT_EQ(midi->midiInReset(in), MMSYSERR_NOERROR);
  EXPECT_EQ(midi->midiInUnprepareHeader(in, header.get(), sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(header->dwFlags & MHDR_PREPARED, 0u);
  EXPECT_EQ(midi->midiInAddBuffer(in, header.get(), sizeof(MIDIHDR)), MIDIERR_UNPREPARED);
}

TEST_F(BackendServices, ShortMessagesAreCheckedAndSentWithTheLengthOfTheirStatus) {
  const HMIDI out = OpenOut();
  struct Case {
    uint32_t packed;
    MMRESULT expected;
    std::vector<uint8_t> sent;
  };
  const Case cases[] = {
      {0x403C90, MMSYSERR_NOERROR, {0x90, 0x3C, 0x40}},
      {0xFF05C2, MMSYSERR_NOERROR, {0xC2, 0x05}},
      {0x1234D0, MMSYSERR_NOERROR, {0xD0, 0x34}},
      {0x7F7FFA, MMSYSERR_NOERROR, {0xFA}},
      {0x00403C, MIDIERR_BADOPENMODE, {}},  // a data byte where the status belongs
      {0x000000, MIDIERR_BADOPENMODE, {}},
      {0x0000F0, MMSYSERR_INVALPARAM, {}},  // system exclusive needs a long message
      {0x40103C90, MMSYSERR_NOERROR, {0x90, 0x3C, 0x10}},  // bits above the third byte ignored
      {0x80BC90, MMSYSERR_INVALPARAM, {}},  // a data byte that would read as a status
  };
  for (const Case& c : cases) {
    first->sent.clear();
    EXPECT_EQ(midi->midiOutShortMsg(out, c.packed), c.expected) << std::hex << c.packed;
    if (c.sent.empty()) {
      EXPECT_TRUE(first->sent.empty()) << std::hex << c.packed;
    } else {
      EXPECT_EQ(first->sent, std::vector<std::vector<uint8_t>>{c.sent}) << std::hex << c.packed;
    }
  }
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
  EXPECT_EQ(midi->midiOutCacheDrumPatches(out, 0, nullptr, 0), MMSYSERR_INVALPARAM);
  for (uint32_t bad : {3u, 100u}) {
    EXPECT_EQ(midi->midiOutGetVolume(bad, &volume), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midi->midiOutSetVolume(bad, 0), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(midi->midiOutMessage(bad, 0, 0, 0), MMSYSERR_BADDEVICEID);
  }
}

TEST_F(BackendServices, ErrorTextsExistForEveryCodeTheServicesReturn) {
  const MMRESULT known[] = {MMSYSERR_NOERROR,    MMSYSERR_ERROR,     MMSYSERR_BADDEVICEID,
                            MMSYSERR_ALLOCATED,  MMSYSERR_INVALHANDLE, MMSYSERR_NODRIVER,
                            MMSYSERR_NOMEM,      kMidiNotSupported,  MMSYSERR_INVALPARAM,
                            MIDIERR_UNPREPARED,  MIDIERR_STILLPLAYING, MIDIERR_NOTREADY,
                            MIDIERR_NODEVICE,    MIDIERR_BADOPENMODE};
  std::set<std::string> texts;
  for (MMRESULT code : known) {
    std::string in;
    std::string out;
    EXPECT_EQ(midi->midiInGetErrorText(code, &in), MMSYSERR_NOERROR) << code;
    EXPECT_EQ(midi->midiOutGetErrorText(code, &out), MMSYSERR_NOERROR) << code;
    EXPECT_FALSE(in.empty()) << code;
    EXPECT_EQ(in, out) << code;
    texts.insert(in);
  }
  EXPECT_EQ(texts.size(), std::size(known)) << "every code has a text of its own";

  for (MMRESULT unknown : {3u, 9u, 63u, 71u, 0xFFFFFFFFu}) {
    std::string text = "unchanged";
    EXPECT_NE(midi->midiInGetErrorText(unknown, &text), MMSYSERR_NOERROR) << unknown;
    EXPECT_NE(midi->midiOutGetErrorText(unknown, &text), MMSYSERR_NOERROR) << unknown;
    EXPECT_EQ(text, "unchanged");
  }
  EXPECT_NE(midi->midiOutGetErrorText(MMSYSERR_NOERROR, nullptr), MMSYSERR_NOERROR);
}

// ---- The services of this machine -------------------------------------------

// Other test programs may add and remove JACK ports meanwhile; the stability of
// names is shown by the JACK tests with a client of their own.
TEST(SystemMidiServices, ListTheLoopbackLastAndNeverTheProgramsOwnPorts) {
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
