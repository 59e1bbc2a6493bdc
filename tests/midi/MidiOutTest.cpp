#include "MidiOut.h"

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "MidiWindow.h"
#include "PortTestFixture.h"

namespace {

class MidiOutTest : public PortTest {
 protected:
  // An open port on "Synth A" (id 0) of two devices.
  TMidiOutput& OpenPort() {
    midi->AddOutputDevice("Synth A");
    midi->AddOutputDevice("Synth B", MOD_SYNTH, MIDICAPS_VOLUME);
    port_.emplace();
    port_->SetDeviceID(0);
    EXPECT_TRUE(port_->Open());
    return *port_;
  }

  std::optional<TMidiOutput> port_;
};

}  // namespace

TEST_F(MidiOutTest, CreationReadsTheCountButNoDevice) {
  midi->AddOutputDevice("Synth A");
  midi->AddOutputDevice("Synth B");
  TMidiOutput port;
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(port.NumDevs(), 2);
  EXPECT_EQ(port.DeviceID(), 0u);
  EXPECT_EQ(port.ProductName(), "");
  EXPECT_FALSE(port.FullResetOnClose());
  EXPECT_EQ(midi->CallCount("midiOutGetDevCaps"), 0);
  midi->AddOutputDevice("Synth C");
  EXPECT_EQ(port.DeviceCount(), 3u);
  EXPECT_EQ(port.NumDevs(), 3);
}

TEST_F(MidiOutTest, SelectingAnIdCopiesItsCapabilitiesAndFiresOnDeviceChanged) {
  midi->AddOutputDevice("Synth A");
  const uint32_t id = midi->AddOutputDevice("FM Box", MOD_FMSYNTH, 0x0F);
  MIDIOUTCAPS& caps = midi->OutputCaps(id);
  caps.wMid = 7;
  caps.wPid = 8;
  caps.vDriverVersion = 0x0502;
  caps.wVoices = 32;
  caps.wNotes = 16;
  caps.wChannelMask = 0x00FF;
  caps.wTechnology = 0x0304;  // only the low byte counts
  TMidiOutput port;
  int changed = 0;
  port.SetOnDeviceChanged([&](QObject* sender) {
    EXPECT_EQ(sender, &port);
    ++changed;
  });
  port.SetDeviceID(id);
  EXPECT_EQ(changed, 1);
  EXPECT_EQ(port.DeviceID(), id);
  EXPECT_EQ(port.ProductName(), "FM Box");
  EXPECT_EQ(port.MID(), 7);
  EXPECT_EQ(port.PID(), 8);
  EXPECT_EQ(port.DriverVersion(), 0x0502u);
  EXPECT_EQ(port.Technology(), opt_FMSynth);
  EXPECT_EQ(port.Voices(), 32);
  EXPECT_EQ(port.Notes(), 16);
  EXPECT_EQ(port.ChannelMask(), 0x00FF);
  EXPECT_EQ(port.Support(), 0x0Fu);
  EXPECT_TRUE(port.SupportsCaching() && port.SupportsStreaming() && port.SupportsVolumeControl() &&
              port.SupportsStereoVolumeControl());
}

TEST_F(MidiOutTest, TheMapperIdIsAcceptedWithoutDevicesAndAnIdPastTheCountIsRefused) {
  TMidiOutput port;
  port.SetDeviceID(MIDI_MAPPER);  // accepted with no device at all
  EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
  EXPECT_EQ(port.ProductName(), "MIDI Mapper");
  EXPECT_EQ(port.Technology(), opt_Mapper);
  midi->AddOutputDevice("Synth A");
  EXPECT_THROW_TEXT(port.SetDeviceID(1), EMidiOutputError, "Invalid device ID");
  EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
}

TEST_F(MidiOutTest, AFailedCapabilityReadKeepsTheNewIdWithTheOldValues) {
  midi->AddOutputDevice("Synth A");
  midi->AddOutputDevice("Synth B");
  midi->FailOutputCaps(1, MMSYSERR_NODRIVER);
  TMidiOutput port;
  port.SetDeviceID(0);
  int changed = 0;
  port.SetOnDeviceChanged([&](QObject*) { ++changed; });
  EXPECT_THROW_TEXT(port.SetDeviceID(1), EMidiOutputError,
                    "No MIDI driver is installed.");
  EXPECT_EQ(port.DeviceID(), 1u);
  EXPECT_EQ(port.ProductName(), "Synth A");
  EXPECT_EQ(port.Error(), MMSYSERR_NODRIVER);
  EXPECT_EQ(changed, 0);
}

namespace {

struct NameCase {
  const char* name;
  std::vector<std::string> devices;
  std::string wanted;
  uint32_t mapperCapsFailure;
  std::optional<uint32_t> id;  // none: expect `error`
  std::string error;
};

// Names the case in test listings.
void PrintTo(const NameCase& c, std::ostream* os) { *os << c.name; }

class OutputSelectionByName : public PortTest, public ::testing::WithParamInterface<NameCase> {};

}  // namespace

TEST_P(OutputSelectionByName, FollowsTheSearchOrder) {
  const NameCase& c = GetParam();
  for (const auto& name : c.devices) midi->AddOutputDevice(name);
  midi->FailOutputCaps(MIDI_MAPPER, c.mapperCapsFailure);
  TMidiOutput port;
  if (c.id) {
    port.SetProductName(c.wanted);
    EXPECT_EQ(port.DeviceID(), *c.id);
    EXPECT_EQ(port.ProductName(), c.wanted);
  } else {
    EXPECT_THROW_TEXT(port.SetProductName(c.wanted), EMidiOutputError, c.error);
    if (c.mapperCapsFailure != 0) {
      EXPECT_EQ(midi->CallCount("midiOutGetDevCaps"), 1);  // the search ends at the mapper
      EXPECT_EQ(port.Error(), c.mapperCapsFailure);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputSelectionByName,
    ::testing::Values(
        NameCase{"MapperByItsName", {"Synth A"}, "MIDI Mapper", 0, MIDI_MAPPER, ""},
        NameCase{"PlainDevice", {"Synth A", "Synth B"}, "Synth B", 0, 1u, ""},
        NameCase{"DuplicateNamesGiveTheLowerId", {"X", "Twin", "Twin"}, "Twin", 0, 1u, ""},
        NameCase{"LetterCaseCounts", {"Synth A"}, "synth a", 0, std::nullopt,
                 "MIDI output Device synth a not installed"},
        NameCase{"SpacesCount", {"Synth A"}, "Synth A ", 0, std::nullopt,
                 "MIDI output Device Synth A  not installed"},
        NameCase{"UnreadableMapperEndsEverySearch", {"Synth A"}, "Synth A", MMSYSERR_NODRIVER,
                 std::nullopt, "No MIDI driver is installed."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiOutTest, ANameThatHasGoneIsAnInvalidId) {
  midi->AddOutputDevice("Synth A");
  TMidiOutput port;
  port.SetProductName("Synth A");
  midi->RemoveAllDevices();
  EXPECT_THROW_TEXT(port.SetProductName("Synth A"), EMidiOutputError, "Invalid device ID");
}

// The port bore a device that has gone; another device comes while the port
// seeks it again, between the search and the check of the id: the port must
// not move to the newcomer.
TEST_F(MidiOutTest, ASoughtDeviceThatHasGoneIsNotReplacedByOneThatComesMeanwhile) {
  struct Seek {
    const char* what;
    std::function<void(TMidiOutput&)> seek;
  };
  for (const Seek& seek : {Seek{"by name", [](TMidiOutput& port) { port.SetProductName("Synth A"); }},
                           Seek{"by technology", [](TMidiOutput& port) { port.SetTechnology(opt_Synth); }}}) {
    SCOPED_TRACE(seek.what);
    midi->RemoveAllDevices();
    midi->AddOutputDevice("Synth A", MOD_SYNTH);
    midi->AddOutputDevice("Loopback");
    TMidiOutput port;
    seek.seek(port);
    midi->RemoveOutputDevice("Synth A");
    midi->BeforeNext("midiOutGetNumDevs", [&] { midi->AddOutputDevice("Newcomer"); }, 1);
    EXPECT_THROW_TEXT(seek.seek(port), EMidiOutputError, "Invalid device ID");
    EXPECT_EQ(port.ProductName(), "Synth A");
  }
}

TEST_F(MidiOutTest, ATechnologySelectsItsFirstDeviceAndAMissingOneRaisesNamingIt) {
  midi->AddOutputDevice("Port", MOD_MIDIPORT);
  midi->AddOutputDevice("Synth 1", MOD_SYNTH);
  midi->AddOutputDevice("Synth 2", MOD_SYNTH);
  TMidiOutput port;
  port.SetTechnology(opt_Synth);
  EXPECT_EQ(port.DeviceID(), 1u);
  EXPECT_EQ(port.ProductName(), "Synth 1");
  port.SetTechnology(opt_Mapper);
  EXPECT_EQ(port.DeviceID(), MIDI_MAPPER);
  EXPECT_THROW_TEXT(port.SetTechnology(opt_FMSynth), EMidiOutputError,
                    "MIDI output technology FM Synth not installed");
  EXPECT_THROW_TEXT(port.SetTechnology(static_cast<OutPortTech>(9)), EMidiOutputError,
                    "MIDI output technology 9 not installed");
}

TEST_F(MidiOutTest, SelectionIsRefusedWhileOpen) {
  TMidiOutput& port = OpenPort();
  EXPECT_THROW_TEXT(port.SetDeviceID(1), EMidiOutputError,
                    "Change to DeviceID while device was open");
  EXPECT_THROW_TEXT(port.SetProductName("Synth B"), EMidiOutputError,
                    "Change to ProductName while device was open");
  EXPECT_THROW_TEXT(port.SetTechnology(opt_Synth), EMidiOutputError,
                    "Change to Product Technology while device was open");
  EXPECT_EQ(port.DeviceID(), 0u);
}

namespace {

struct SupportCase {
  const char* name;
  uint32_t support;
  TFeatureSet features;
};

void PrintTo(const SupportCase& c, std::ostream* os) { *os << c.name; }

class OutputSupportBits : public PortTest, public ::testing::WithParamInterface<SupportCase> {};

}  // namespace

TEST_P(OutputSupportBits, GiveFeatures) {
  const SupportCase& c = GetParam();
  midi->AddOutputDevice("Synth", MOD_SYNTH, c.support);
  TMidiOutput port;
  port.SetDeviceID(0);
  EXPECT_EQ(port.SupportedFeatures(), c.features);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputSupportBits,
    ::testing::Values(
        SupportCase{"None", 0, {}},
        SupportCase{"CachingAndVolume", 5, {ftCaching, ftVolume}},
        SupportCase{"StereoVolumeAlone", 2, {ftStereoVolume}},
        SupportCase{"StreamingAmongUnknownBits", 8 | 0x30, {ftStreaming}},
        SupportCase{"Every", 0x0F, {ftCaching, ftStreaming, ftVolume, ftStereoVolume}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiOutTest, OpenAndCloseReturnWhetherTheyActedAndClosingDoesNotReset) {
  TMidiOutput& port = OpenPort();
  EXPECT_EQ(port.State(), mosOpen);
  EXPECT_NE(port.MIDIHandle(), 0u);
  EXPECT_FALSE(port.Open());  // already open: refused, still open
  EXPECT_EQ(port.State(), mosOpen);
  EXPECT_TRUE(port.Close());
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(port.MIDIHandle(), 0u);
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(port.MIDIHandle(), 0u);
  EXPECT_EQ(midi->CallCount("midiOutReset"), 0);
  EXPECT_FALSE(midi->OutputOpen());
}

TEST_F(MidiOutTest, RefusedOpenReturnsFalseAndReleasesTheRecord) {
  midi->AddOutputDevice("Synth A");
  TMidiOutput port;
  port.SetDeviceID(0);
  midi->FailNext("midiOutOpen", MMSYSERR_ALLOCATED);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(port.Error(), MMSYSERR_ALLOCATED);
  EXPECT_EQ(SharedBlockCount(), blocksBefore);
}

TEST_F(MidiOutTest, OpenWithoutMemoryForTheRecordRaises) {
  midi->AddOutputDevice("Synth A");
  TMidiOutput port;
  ScopedSharedBlockFailure noMemory(0);
  EXPECT_THROW_TEXT(port.Open(), EMidiOutputError,
                    "Not enough memory for the MIDI output control record");
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(midi->CallCount("midiOutOpen"), 0);
}

TEST_F(MidiOutTest, FullResetOnCloseResetsFirst) {
  TMidiOutput& port = OpenPort();
  port.SetFullResetOnClose(true);
  midi->ClearCalls();
  EXPECT_TRUE(port.Close());
  const std::vector<std::string> expected{"midiOutReset", "midiOutClose"};
  EXPECT_EQ(midi->CallNames(), expected);
}

namespace {

// A failing platform operation, named by itself.
struct FailingOp {
  const char* op;
};

void PrintTo(const FailingOp& c, std::ostream* os) { *os << c.op; }

class OutputRefusedResetOrClose : public MidiOutTest,
                                  public ::testing::WithParamInterface<FailingOp> {};

}  // namespace

TEST_P(OutputRefusedResetOrClose, LeavesThePortOpen) {
  TMidiOutput& port = OpenPort();
  port.SetFullResetOnClose(true);
  const HMIDI handle = port.MIDIHandle();
  midi->FailNext(GetParam().op, MIDIERR_STILLPLAYING);
  EXPECT_THROW_TEXT(port.Close(), EMidiOutputError, "The MIDI buffer is still with the device.");
  EXPECT_EQ(port.State(), mosOpen);
  EXPECT_EQ(port.MIDIHandle(), handle);
  EXPECT_EQ(port.Error(), MIDIERR_STILLPLAYING);
  EXPECT_TRUE(port.Close());
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputRefusedResetOrClose,
                         ::testing::Values(FailingOp{"midiOutReset"}, FailingOp{"midiOutClose"}),
                         [](const auto& info) { return std::string(info.param.op); });

TEST_F(MidiOutTest, ChangeDeviceClosesSelectsAndOptionallyOpens) {
  TMidiOutput& port = OpenPort();
  EXPECT_TRUE(port.ChangeDevice(1, true));
  EXPECT_EQ(port.State(), mosOpen);
  EXPECT_EQ(port.ProductName(), "Synth B");
  EXPECT_FALSE(port.ChangeDevice(1, false));  // the same id is not skipped
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(midi->CallCount("midiOutClose"), 2);
}

TEST_F(MidiOutTest, SendingOnAClosedPortRaisesWithoutTouchingTheDevice) {
  midi->AddOutputDevice("Synth A");
  TMidiOutput port;
  const uint8_t bytes[] = {0xF0, 0x7E, 0xF7};
  TMyMidiEvent shortEvent;
  shortEvent.MidiMessage = 0x90;
  TMyMidiEvent sysexEvent;
  sysexEvent.SetSysex(bytes, 3);
  EXPECT_THROW_TEXT(port.PutShort(0x90, 60, 100), EMidiOutputError,
                    "(Short Msg) Device not opened.");
  EXPECT_THROW_TEXT(port.PutLong(bytes, 3), EMidiOutputError, "(Long Msg) Device not opened.");
  EXPECT_THROW_TEXT(port.PutMidiEvent(shortEvent), EMidiOutputError, "MIDI Output device not open");
  EXPECT_THROW_TEXT(port.PutMidiEvent(sysexEvent), EMidiOutputError, "MIDI Output device not open");
  EXPECT_THROW_TEXT(port.NoteOn(0, 60, 100), EMidiOutputError, "(Short Msg) Device not opened.");
  EXPECT_EQ(midi->CallCount("midiOutShortMsg") + midi->CallCount("midiOutPrepareHeader"), 0);
}

TEST_F(MidiOutTest, AnEmptyLongMessageIsRefused) {
  TMidiOutput& port = OpenPort();
  const uint8_t byte = 0xF0;
  EXPECT_THROW_TEXT(port.PutLong(&byte, 0), EMidiOutputError,
                    "(Long Msg) There is no message to send.");
  EXPECT_EQ(midi->CallCount("midiOutPrepareHeader"), 0);
}

namespace {

struct NoMemoryCase {
  const char* name;
  int blocksThatExist;
};

void PrintTo(const NoMemoryCase& c, std::ostream* os) { *os << c.name; }

class OutputLongMessageWithoutMemory : public MidiOutTest,
                                       public ::testing::WithParamInterface<NoMemoryCase> {};

}  // namespace

TEST_P(OutputLongMessageWithoutMemory, RaisesAndLeaksNothing) {
  TMidiOutput& port = OpenPort();
  const size_t withRecord = SharedBlockCount();
  const uint8_t bytes[] = {0xF0, 0x01, 0xF7};
  {
    ScopedSharedBlockFailure noMemory(GetParam().blocksThatExist);
    EXPECT_THROW_TEXT(port.PutLong(bytes, 3), EMidiOutputError,
                      "(Long Msg) Not enough memory for the message buffer.");
  }
  EXPECT_EQ(SharedBlockCount(), withRecord);
  EXPECT_EQ(midi->CallCount("midiOutPrepareHeader"), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputLongMessageWithoutMemory,
                         ::testing::Values(NoMemoryCase{"NoBlockForTheHeader", 0},
                                           NoMemoryCase{"NoBlockForTheData", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

namespace {

struct ErrorCase {
  const char* name;
  const char* op;  // failing platform operation
  MMRESULT code;
  std::string text;
};

void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.name; }

class OutputSendFailure : public MidiOutTest, public ::testing::WithParamInterface<ErrorCase> {};

}  // namespace

TEST_P(OutputSendFailure, RaisesTheTextOfItsContextAndLeaksNothing) {
  const ErrorCase& c = GetParam();
  TMidiOutput& port = OpenPort();
  const size_t withRecord = SharedBlockCount();
  const uint8_t sysex[] = {0xF0, 0x43, 0x10, 0xF7};
  midi->FailNext(c.op, c.code);
  if (std::string(c.op) == "midiOutShortMsg") {
    EXPECT_THROW_TEXT(port.PutShort(0x90, 1, 2), EMidiOutputError, c.text);
  } else {
    EXPECT_THROW_TEXT(port.PutLong(sysex, sizeof sysex), EMidiOutputError, c.text);
  }
  EXPECT_EQ(port.Error(), c.code);
  EXPECT_EQ(port.PendingLongMessages(), 0u);
  EXPECT_EQ(SharedBlockCount(), withRecord);
  EXPECT_TRUE(midi->ShortMessages().empty());
  EXPECT_TRUE(midi->LongMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputSendFailure,
    ::testing::Values(
        ErrorCase{"ShortMsgInvalidHandle", "midiOutShortMsg", 5,
                  "(Short Msg) The specified device handle is invalid."},
        ErrorCase{"ShortMsgNotReady", "midiOutShortMsg", 67,
                  "(Short Msg) The hardware is busy with other data."},
        ErrorCase{"ShortMsgBadOpenMode", "midiOutShortMsg", 70,
                  "(Short Msg) The application sent a message without a status byte to a stream "
                  "handle."},
        ErrorCase{"ShortMsgNoMemory", "midiOutShortMsg", 7,
                  "There is not enough memory for this MIDI operation."},
        ErrorCase{"ShortMsgUnknownCode", "midiOutShortMsg", 999,
                  "Specified error number is out of range"},
        ErrorCase{"LongMsgInvalidHandle", "midiOutLongMsg", 5,
                  "(Long Msg) The specified device handle is invalid."},
        ErrorCase{"LongMsgInvalidParameter", "midiOutLongMsg", 11,
                  "(Long Msg) The specified pointer or structure is invalid."},
        ErrorCase{"LongMsgUnprepared", "midiOutLongMsg", 64,
                  "(Long Msg) The buffer pointed to by lpMidiOutHdr has not been prepared."},
        ErrorCase{"LongMsgNotReady", "midiOutLongMsg", 67,
                  "(Long Msg) The hardware is busy with other data."},
        ErrorCase{"LongMsgBadOpenMode", "midiOutLongMsg", 70,
                  "A MIDI message was sent without a status byte."},
        ErrorCase{"PrepareHeaderInvalidHandle", "midiOutPrepareHeader", 5,
                  "(Prep Header) The specified device handle is invalid."},
        ErrorCase{"PrepareHeaderNoMemory", "midiOutPrepareHeader", 7,
                  "(Prep Header) The system is unable to allocate or lock memory."},
        ErrorCase{"PrepareHeaderInvalidParameter", "midiOutPrepareHeader", 11,
                  "(Prep Header) The specified address is invalid or the given stream buffer is "
                  "greater than 64K."},
        ErrorCase{"PrepareHeaderNotReady", "midiOutPrepareHeader", 67,
                  "The MIDI device is busy; try again later."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiOutTest, ErrorTextOfTheGeneralContextIsThePlatformsText) {
  EXPECT_EQ(TMidiOutput::ErrorText(5, ecGeneral), "The handle does not belong to an open MIDI device.");
  EXPECT_EQ(TMidiOutput::ErrorText(64, ecShortMsg), "The MIDI buffer has not been prepared.");
  midi->ForgetErrorText(5);
  EXPECT_EQ(TMidiOutput::ErrorText(5, ecGeneral), "Specified error number is out of range");
  EXPECT_EQ(MidiOutErrorText(4242), "Specified error number is out of range");
  EXPECT_EQ(TMidiOutput::ErrorText(5, ecShortMsg),
            "(Short Msg) The specified device handle is invalid.");
}

namespace {

struct ChannelCase {
  const char* name;
  std::function<void(TMidiOutput&)> send;
  uint32_t packed;
};

void PrintTo(const ChannelCase& c, std::ostream* os) { *os << c.name; }

class OutputChannelMessage : public MidiOutTest,
                             public ::testing::WithParamInterface<ChannelCase> {};

}  // namespace

TEST_P(OutputChannelMessage, PacksStatusChannelAndData) {
  const ChannelCase& c = GetParam();
  TMidiOutput& port = OpenPort();
  c.send(port);
  EXPECT_EQ(midi->ShortMessages(), std::vector<uint32_t>{c.packed}) << std::hex << c.packed;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, OutputChannelMessage,
    ::testing::Values(
        ChannelCase{"NoteOnKeepsTheLowFourBitsOfTheChannel",
                    [](TMidiOutput& port) { port.NoteOn(0x13, 60, 100); }, 0x643C93},
        ChannelCase{"NoteOff", [](TMidiOutput& port) { port.NoteOff(1, 60, 0x40); }, 0x403C81},
        ChannelCase{"NoteAftertouchOnTheLastChannel",
                    [](TMidiOutput& port) { port.NoteAftertouch(15, 0x7F, 0x7F); }, 0x7F7FAF},
        ChannelCase{"ControllerChange", [](TMidiOutput& port) { port.ControllerChange(4, 7, 100); },
                    0x6407B4},
        ChannelCase{"ProgramChange", [](TMidiOutput& port) { port.ProgramChange(2, 5); }, 0x0005C2},
        ChannelCase{"ChannelAftertouchOnChannel255",
                    [](TMidiOutput& port) { port.ChannelAftertouch(0xFF, 0x22); }, 0x0022DF},
        ChannelCase{"ChangeInstrumentToTheLastProgram",
                    [](TMidiOutput& port) { port.ChangeInstrument(9, gmpGunshot); }, 0x007FC9},
        ChannelCase{"ChangeInstrumentToTheFirstProgram",
                    [](TMidiOutput& port) { port.ChangeInstrument(0, gmpAcousticGrandPiano); },
                    0x0000C0},
        ChannelCase{"PutShortOfASystemMessage",
                    [](TMidiOutput& port) { port.PutShort(0xF8, 0, 0); }, 0x0000F8}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

// Devices "Mono" (id 0) and "Stereo" (id 1); the port stays closed, as
// volume works on DeviceID, open or not.
struct VolumeCase {
  const char* name;
  uint32_t id;
  uint32_t set;          // what SetVolume(1, 2) passes
  uint16_t left, right;  // what a stored 0x00030004 reads as
};

void PrintTo(const VolumeCase& c, std::ostream* os) { *os << c.name; }

class OutputVolume : public PortTest, public ::testing::WithParamInterface<VolumeCase> {
 protected:
  OutputVolume() {
    midi->AddOutputDevice("Mono", MOD_SYNTH, MIDICAPS_VOLUME);
    midi->AddOutputDevice("Stereo", MOD_SYNTH, MIDICAPS_VOLUME | MIDICAPS_LRVOLUME);
  }
};

}  // namespace

TEST_P(OutputVolume, IsWrittenAndReadInTheDevicesEncoding) {
  const VolumeCase& c = GetParam();
  TMidiOutput port;
  port.SetDeviceID(c.id);
  port.SetVolume(1, 2);
  EXPECT_EQ(midi->DeviceVolume(c.id), c.set);
  port.SetVolume(0x1234);
  EXPECT_EQ(midi->DeviceVolume(c.id), 0x12341234u);
  midi->SetDeviceVolume(c.id, 0x00030004);
  uint16_t left = 0;
  uint16_t right = 0;
  port.GetVolume(left, right);
  EXPECT_EQ(left, c.left);
  EXPECT_EQ(right, c.right);
  uint16_t mono = 0;
  port.GetVolume(mono);
  EXPECT_EQ(mono, 3);
  EXPECT_EQ(port.GetVolume(), 3);
}

INSTANTIATE_TEST_SUITE_P(Cases, OutputVolume,
                         ::testing::Values(VolumeCase{"Mono", 0, 0x00010001, 3, 3},
                                           VolumeCase{"Stereo", 1, 0x00010002, 3, 4}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiOutTest, AFailedVolumeCallRaisesThePlatformsText) {
  midi->AddOutputDevice("Stereo", MOD_SYNTH, MIDICAPS_VOLUME | MIDICAPS_LRVOLUME);
  TMidiOutput port;
  port.SetDeviceID(0);
  midi->FailNext("midiOutSetVolume", MMSYSERR_NODRIVER);
  EXPECT_THROW_TEXT(port.SetVolume(1), EMidiOutputError,
                    "No MIDI driver is installed.");
  midi->FailNext("midiOutGetVolume", MMSYSERR_INVALHANDLE);
  EXPECT_THROW_TEXT(port.GetVolume(), EMidiOutputError, "The handle does not belong to an open MIDI device.");
}

TEST_F(MidiOutTest, CachingAndDriverMessagesReportResultsWithoutRaising) {
  TMidiOutput& port = OpenPort();
  TKeyPatchArray patches{};
  EXPECT_TRUE(port.CachePatches(0, patches, 1));
  midi->FailNext("midiOutCachePatches", MMSYSERR_NOMEM);
  EXPECT_FALSE(port.CachePatches(0, patches, 1));
  EXPECT_EQ(port.Error(), MMSYSERR_NOMEM);
  midi->FailNext("midiOutCacheDrumPatches", MMSYSERR_INVALPARAM);
  EXPECT_FALSE(port.CacheDrumPatches(3, patches, 0));
  EXPECT_EQ(port.Error(), MMSYSERR_INVALPARAM);

  midi->SetDriverMessageResult(42);
  EXPECT_EQ(port.DriverMidiMessage(0x800, 1, 2), 42u);
  EXPECT_EQ(port.Error(), MMSYSERR_INVALPARAM);  // untouched
  const auto calls = midi->Calls();
  EXPECT_EQ(calls.back().op, "midiOutMessage");
  EXPECT_EQ(calls.back().args, (std::vector<uint64_t>{0, 0x800, 1, 2}));
}

TEST_F(MidiOutTest, ASysexEventLeavesAsOneLongMessageAndMayGoAtOnce) {
  TMidiOutput& port = OpenPort();
  midi->SetAutoCompleteLongMessages(false);
  int done = 0;
  port.SetOnMidiOutput([&](QObject* sender) {
    EXPECT_EQ(sender, &port);
    ++done;
  });
  const std::vector<uint8_t> first{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7};
  const std::vector<uint8_t> second{0xF0, 0x43, 0xF7};
  for (const auto& bytes : {first, second}) {
    auto event = std::make_unique<TMyMidiEvent>();
    event->MidiMessage = 0x90;  // ignored when Sysex is set
    event->Data1 = 1;
    event->SetSysex(bytes.data(), static_cast<uint16_t>(bytes.size()));
    port.PutMidiEvent(*event);
    event.reset();
  }
  EXPECT_EQ(midi->LongMessages(), (std::vector<std::vector<uint8_t>>{first, second}));
  EXPECT_TRUE(midi->ShortMessages().empty());
  EXPECT_EQ(port.PendingLongMessages(), 2u);
  Pump();
  EXPECT_EQ(done, 0);

  midi->CompleteLongMessages(1);
  Pump();
  EXPECT_EQ(done, 1);
  EXPECT_EQ(port.PendingLongMessages(), 1u);
  midi->CompleteLongMessages();
  Pump();
  EXPECT_EQ(done, 2);
  EXPECT_EQ(port.PendingLongMessages(), 0u);
  EXPECT_EQ(midi->CallCount("midiOutUnprepareHeader"), 2);
}

TEST_F(MidiOutTest, ShortEventsGoThroughPutShort) {
  TMidiOutput& port = OpenPort();
  TMyMidiEvent event;
  event.MidiMessage = 0xB0;
  event.Data1 = 7;
  event.Data2 = 100;
  event.Time = 12345;
  port.PutMidiEvent(event);
  EXPECT_EQ(midi->ShortMessages(), std::vector<uint32_t>{0x6407B0});
}

TEST_F(MidiOutTest, CompletionAfterCloseStillReleasesTheHeaderAndFires) {
  TMidiOutput& port = OpenPort();
  int done = 0;
  port.SetOnMidiOutput([&](QObject*) { ++done; });
  const uint8_t bytes[] = {0xF0, 0x01, 0xF7};
  port.PutLong(bytes, 3);
  port.Close();  // the notice is still queued
  Pump();
  EXPECT_EQ(done, 1);
  EXPECT_EQ(port.PendingLongMessages(), 0u);
}

namespace {

struct DestructionCase {
  const char* name;
  bool completedAtOnce;  // notices queued, or headers still with the driver
};

void PrintTo(const DestructionCase& c, std::ostream* os) { *os << c.name; }

class DestroyedOutputPort : public MidiOutTest,
                            public ::testing::WithParamInterface<DestructionCase> {};

}  // namespace

TEST_P(DestroyedOutputPort, ReleasesItsHeadersAndFiresNothing) {
  TMidiOutput& port = OpenPort();
  midi->SetAutoCompleteLongMessages(GetParam().completedAtOnce);
  int done = 0;
  port.SetOnMidiOutput([&](QObject*) { ++done; });
  const uint8_t bytes[] = {0xF0, 0x01, 0x02, 0xF7};
  port.PutLong(bytes, 4);
  port.PutLong(bytes, 4);
  port_.reset();
  Pump();
  EXPECT_EQ(done, 0);
  EXPECT_EQ(SharedBlockCount(), blocksBefore);
}

INSTANTIATE_TEST_SUITE_P(Cases, DestroyedOutputPort,
                         ::testing::Values(DestructionCase{"NoticesQueued", true},
                                           DestructionCase{"HeadersWithTheDriver", false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiOutTest, ForeignHeadersInNoticesAreIgnored) {
  TMidiOutput& port = OpenPort();
  int done = 0;
  port.SetOnMidiOutput([&](QObject*) { ++done; });
  auto* window = port.findChild<TMidiWindow*>();
  ASSERT_NE(window, nullptr);
  MIDIHDR foreign{};
  window->Send(MOM_DONE, 0, reinterpret_cast<uintptr_t>(&foreign));
  window->Send(MIM_DATA, 0, 0);
  EXPECT_EQ(done, 0);
}
