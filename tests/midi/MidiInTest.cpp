#include "MidiIn.h"

#include <algorithm>
#include <QElapsedTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "MidiWindow.h"
#include "PortTestFixture.h"

namespace {

class MidiInTest : public PortTest {
 protected:
  MidiInTest() {
    midi->AddInputDevice("Keyboard", 3, 4, 0x0105);
    midi->AddInputDevice("Pads");
  }

  TMidiInput& Port() {
    if (!port_) {
      port_.emplace();
      port_->SetOnMidiInput([this](QObject* sender) {
        EXPECT_EQ(sender, &*port_);
        ++inputs;
      });
      port_->SetOnOverflow([this](QObject*) { ++overflows; });
    }
    return *port_;
  }

  TMidiInput& OpenStarted() {
    Port().OpenAndStart();
    return *port_;
  }

  std::vector<std::unique_ptr<TMyMidiEvent>> Drain() {
    Pump();
    std::vector<std::unique_ptr<TMyMidiEvent>> events;
    while (auto event = Port().GetMidiEvent()) events.push_back(std::move(event));
    return events;
  }

  std::optional<TMidiInput> port_;
  int inputs = 0;
  int overflows = 0;
};

uint32_t Packed(uint8_t status, uint8_t data1 = 0, uint8_t data2 = 0) {
  return status + 256u * data1 + 65536u * data2;
}

}  // namespace

TEST_F(MidiInTest, CreationSelectsDeviceZeroWithDefaults) {
  TMidiInput& port = Port();
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_EQ(port.NumDevs(), 2u);
  EXPECT_EQ(port.DeviceID(), 0u);
  EXPECT_EQ(port.ProductName(), "Keyboard");
  EXPECT_EQ(port.MID(), 3);
  EXPECT_EQ(port.PID(), 4);
  EXPECT_EQ(port.DriverVersion(), 0x0105u);
  EXPECT_EQ(port.Capacity(), 1024);
  EXPECT_EQ(port.SysexBufferSize(), 4096);
  EXPECT_EQ(port.SysexBufferCount(), 16);
  EXPECT_FALSE(port.SysexOnly());
  EXPECT_EQ(port.FilteredMessages(), (TMidiMsgFilter{msgActiveSensing, msgMidiTimeCode}));
  EXPECT_EQ(port.MIDIHandle(), 0u);
  EXPECT_EQ(port.MessageCount(), 0);
  EXPECT_EQ(port.GetMidiEvent(), nullptr);
}

TEST_F(MidiInTest, WithoutDevicesNothingIsSelectedAndNoNameIsInstalled) {
  midi->RemoveAllDevices();
  TMidiInput& port = Port();
  EXPECT_EQ(port.DeviceID(), 0u);
  EXPECT_EQ(port.ProductName(), "");
  EXPECT_THROW_TEXT(port.SetProductName("Keyboard"), EMidiInputError,
                    "MIDI Input Device Keyboard not installed ");
}

TEST_F(MidiInTest, AnUnreadableDeviceZeroStillGivesAPort) {
  midi->FailInputCaps(0, MMSYSERR_NODRIVER);
  TMidiInput& port = Port();
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_EQ(port.ProductName(), "");
  EXPECT_EQ(port.Error(), MMSYSERR_NODRIVER);
}

TEST_F(MidiInTest, ANameSelectsItsDeviceAndFiresOnDeviceChangedOnce) {
  TMidiInput& port = Port();
  int changed = 0;
  port.SetOnDeviceChanged([&](QObject*) { ++changed; });
  port.SetProductName("Pads");
  EXPECT_EQ(port.DeviceID(), 1u);
  EXPECT_EQ(port.ProductName(), "Pads");
  EXPECT_EQ(changed, 1);
}

namespace {

// A selection tried on a port that has "Pads" (id 1) selected.
struct RefusedSelection {
  const char* name;
  std::function<void(TMidiInput&)> select;
  MMRESULT keyboardCapsFailure;  // what reading "Keyboard" (id 0) returns; 0: it reads
  std::string text;
  uint32_t idAfter;
  MMRESULT errorAfter;
};

void PrintTo(const RefusedSelection& c, std::ostream* os) { *os << c.name; }

class InputRefusedSelection : public MidiInTest,
                              public ::testing::WithParamInterface<RefusedSelection> {};

}  // namespace

TEST_P(InputRefusedSelection, RaisesAndFiresNoDeviceChange) {
  const RefusedSelection& c = GetParam();
  TMidiInput& port = Port();
  port.SetProductName("Pads");
  int changed = 0;
  port.SetOnDeviceChanged([&](QObject*) { ++changed; });
  midi->FailInputCaps(0, c.keyboardCapsFailure);
  EXPECT_THROW_TEXT(c.select(port), EMidiInputError, c.text);
  EXPECT_EQ(port.DeviceID(), c.idAfter);
  EXPECT_EQ(port.Error(), c.errorAfter);
  EXPECT_EQ(changed, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputRefusedSelection,
    ::testing::Values(
        RefusedSelection{"NameInOtherLetterCase",
                         [](TMidiInput& port) { port.SetProductName("pads"); }, 0,
                         "MIDI Input Device pads not installed ", 1u, MMSYSERR_NOERROR},
        // The input port does not search the mapper.
        RefusedSelection{"MapperByItsName",
                         [](TMidiInput& port) { port.SetProductName("MIDI Mapper"); }, 0,
                         "MIDI Input Device MIDI Mapper not installed ", 1u, MMSYSERR_NOERROR},
        RefusedSelection{"IdPastTheCount", [](TMidiInput& port) { port.SetDeviceID(2); }, 0,
                         "Invalid device ID", 1u, MMSYSERR_NOERROR},
        // The mapper id passes the range check; the capability read decides,
        // and the id stays selected.
        RefusedSelection{"MapperId", [](TMidiInput& port) { port.SetDeviceID(MIDI_MAPPER); }, 0,
                         "There is no MIDI device with this number.",
                         MIDI_MAPPER, MMSYSERR_BADDEVICEID},
        RefusedSelection{"NameSearchThroughAnUnreadableDevice",
                         [](TMidiInput& port) { port.SetProductName("Pads"); }, MMSYSERR_NOMEM,
                         "There is not enough memory for this MIDI operation.", 1u, MMSYSERR_NOMEM}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiInTest, ANameThatHasGoneIsAnInvalidId) {
  TMidiInput& port = Port();
  port.SetProductName("Pads");
  midi->RemoveAllDevices();
  EXPECT_THROW_TEXT(port.SetProductName("Pads"), EMidiInputError, "Invalid device ID");
}

TEST_F(MidiInTest, ASoughtDeviceThatHasGoneIsNotReplacedByOneThatComesMeanwhile) {
  TMidiInput& port = Port();
  port.SetProductName("Pads");
  midi->RemoveInputDevice("Pads");
  // Between the search and the check of the id.
  midi->BeforeNext("midiInGetNumDevs", [&] { midi->AddInputDevice("Newcomer"); }, 1);
  EXPECT_THROW_TEXT(port.SetProductName("Pads"), EMidiInputError, "Invalid device ID");
  EXPECT_EQ(port.ProductName(), "Pads");
}

namespace {

struct SettingChange {
  const char* name;
  std::function<void(TMidiInput&)> change;
  std::string text;
};

void PrintTo(const SettingChange& c, std::ostream* os) { *os << c.name; }

class InputSettingChangeWhileOpen : public MidiInTest,
                                    public ::testing::WithParamInterface<SettingChange> {};

}  // namespace

TEST_P(InputSettingChangeWhileOpen, IsRefusedAndChangesNothing) {
  const SettingChange& c = GetParam();
  TMidiInput& port = Port();
  port.Open();
  EXPECT_THROW_TEXT(c.change(port), EMidiInputError, c.text);
  EXPECT_EQ(port.State(), misOpen);
  EXPECT_EQ(port.DeviceID(), 0u);
  EXPECT_EQ(port.ProductName(), "Keyboard");
  EXPECT_EQ(port.SysexBufferSize(), 4096);
  EXPECT_EQ(port.SysexBufferCount(), 16);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputSettingChangeWhileOpen,
    ::testing::Values(
        SettingChange{"DeviceID", [](TMidiInput& port) { port.SetDeviceID(1); },
                      "Change to DeviceID while device was open"},
        SettingChange{"ProductName", [](TMidiInput& port) { port.SetProductName("Pads"); },
                      "Change to ProductName while device was open"},
        SettingChange{"SysexBufferSize", [](TMidiInput& port) { port.SetSysexBufferSize(16); },
                      "Change to SysexBufferSize while device was open"},
        SettingChange{"SysexBufferCount", [](TMidiInput& port) { port.SetSysexBufferCount(2); },
                      "Change to SysexBufferCount while device was open"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiInTest, OpenHandsEveryBufferToTheDriverWithoutStarting) {
  TMidiInput& port = Port();
  midi->ClearCalls();
  port.Open();
  EXPECT_EQ(port.State(), misOpen);
  EXPECT_NE(port.MIDIHandle(), 0u);
  EXPECT_EQ(midi->CallCount("midiInOpen"), 1);
  EXPECT_EQ(midi->CallCount("midiInPrepareHeader"), 16);
  EXPECT_EQ(midi->CallCount("midiInAddBuffer"), 16);
  EXPECT_EQ(midi->CallNames().front(), "midiInOpen");
  EXPECT_EQ(midi->CallNames().back(), "midiInAddBuffer");
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
  EXPECT_FALSE(midi->InputStarted());
  EXPECT_THROW_TEXT(port.Open(), EMidiInputError, "The MIDI input device is already open");
  EXPECT_EQ(port.State(), misOpen);
  port.Start();
  EXPECT_TRUE(midi->InputStarted());
  port.Stop();
  EXPECT_FALSE(midi->InputStarted());
}

TEST_F(MidiInTest, StartAndStopOnAClosedPortDoNothing) {
  TMidiInput& port = Port();
  midi->ClearCalls();
  port.Start();
  port.Stop();
  EXPECT_TRUE(midi->Calls().empty());
}

namespace {

struct UnbuildableCapacity {
  const char* name;
  uint16_t capacity;
  std::string text;
};

void PrintTo(const UnbuildableCapacity& c, std::ostream* os) { *os << c.name; }

class InputUnbuildableCapacity : public MidiInTest,
                                 public ::testing::WithParamInterface<UnbuildableCapacity> {};

}  // namespace

TEST_P(InputUnbuildableCapacity, IsRefusedAtOpenWithNothingHeld) {
  const UnbuildableCapacity& c = GetParam();
  TMidiInput& port = Port();
  port.SetCapacity(c.capacity);
  EXPECT_THROW_TEXT(port.Open(), EMidiInputError, c.text);
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_EQ(midi->CallCount("midiInOpen"), 0);
  EXPECT_EQ(SharedBlockCount(), blocksBefore);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputUnbuildableCapacity,
    ::testing::Values(
        UnbuildableCapacity{"Zero", 0, "Invalid queue capacity 0: it must be 1 to 4095 messages"},
        UnbuildableCapacity{"OnePastTheLargest", 4096,
                            "Invalid queue capacity 4096: it must be 1 to 4095 messages"}),
    [](const auto& info) { return std::string(info.param.name); });

namespace {

struct OpenFailure {
  const char* name;
  const char* op;  // failing platform operation, or none
  MMRESULT code;
  int after;            // calls of op that succeed first
  int blocksThatExist;  // shared blocks had before allocation fails; -1: no failure
  std::string text;
};

// Names the case in test listings.
void PrintTo(const OpenFailure& c, std::ostream* os) { *os << c.name; }

class InputOpenFailure : public MidiInTest, public ::testing::WithParamInterface<OpenFailure> {};

}  // namespace

TEST_P(InputOpenFailure, LeavesThePortClosedWithNothingHeld) {
  const OpenFailure& c = GetParam();
  TMidiInput& port = Port();
  if (c.op != nullptr) midi->FailNext(c.op, c.code, 1, c.after);
  {
    std::optional<ScopedSharedBlockFailure> noMemory;
    if (c.blocksThatExist >= 0) noMemory.emplace(c.blocksThatExist);
    EXPECT_THROW_TEXT(port.Open(), EMidiInputError, c.text);
  }
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_EQ(port.MIDIHandle(), 0u);
  EXPECT_EQ(port.MessageCount(), 0);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_EQ(SharedBlockCount(), blocksBefore);
  EXPECT_EQ(midi->CallCount("midiInPrepareHeader"), midi->CallCount("midiInUnprepareHeader") +
                                                          (std::string(c.name) == "PrepareFails"));
  // Nothing stands in the way of the next attempt.
  port.OpenAndStart();
  midi->DeliverShort(Packed(0x90, 1, 2));
  EXPECT_EQ(Drain().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputOpenFailure,
    ::testing::Values(
        OpenFailure{"OpenRefused", "midiInOpen", MMSYSERR_ALLOCATED, 0, -1,
                    "The MIDI device is already in use."},
        OpenFailure{"PrepareFails", "midiInPrepareHeader", MMSYSERR_NOMEM, 2, -1,
                    "There is not enough memory for this MIDI operation."},
        OpenFailure{"AddBufferFails", "midiInAddBuffer", MMSYSERR_INVALPARAM, 4, -1,
                    "A parameter or buffer passed to the MIDI device is invalid."},
        OpenFailure{"NoMemoryForTheQueue", nullptr, 0, 0, 1,
                    "Not enough memory for the MIDI input queue"},
        OpenFailure{"NoMemoryForTheRecord", nullptr, 0, 0, 2,
                    "Not enough memory for the MIDI input control record"},
        OpenFailure{"NoMemoryForTheFifthHeader", nullptr, 0, 0, 3 + 2 * 4,
                    "Not enough memory for the system-exclusive buffers"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiInTest, AShortMessageBecomesAnEvent) {
  OpenStarted();
  ASSERT_TRUE(midi->DeliverShort(Packed(0x90, 0x3C, 0x40), 1500));
  EXPECT_EQ(Port().MessageCount(), 1);
  Pump();
  EXPECT_GE(inputs, 1);
  auto event = Port().GetMidiEvent();
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->MidiMessage, 0x90);
  EXPECT_EQ(event->Data1, 0x3C);
  EXPECT_EQ(event->Data2, 0x40);
  EXPECT_EQ(event->Time, 1500u);
  EXPECT_EQ(event->Sysex, nullptr);
  EXPECT_EQ(event->SysexLength, 0);
  EXPECT_EQ(Port().GetMidiEvent(), nullptr);
}

TEST_F(MidiInTest, EveryEventCarriesWhenTheDriverReceivedItInSteadyMicroseconds) {
  const auto micros = [] {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
  };
  OpenStarted();
  const uint64_t before = micros();
  ASSERT_TRUE(midi->DeliverShort(Packed(0x90, 0x3C, 0x40)));
  ASSERT_TRUE(midi->DeliverSysex({0xF0, 0x01, 0xF7}));
  const uint64_t after = micros();
  const auto events = Drain();
  ASSERT_EQ(events.size(), 2u);
  EXPECT_GE(events[0]->TimeUs, before);
  EXPECT_LE(events[0]->TimeUs, events[1]->TimeUs);
  EXPECT_LE(events[1]->TimeUs, after);
}

namespace {

struct SysexCase {
  const char* name;
  std::vector<uint8_t> bytes;
};

void PrintTo(const SysexCase& c, std::ostream* os) { *os << c.name; }

class InputSysexEvent : public MidiInTest, public ::testing::WithParamInterface<SysexCase> {};

}  // namespace

TEST_P(InputSysexEvent, CopiesTheBytesAndGivesTheBufferBackAtOnce) {
  const std::vector<uint8_t>& bytes = GetParam().bytes;
  OpenStarted();
  ASSERT_TRUE(midi->DeliverSysex(bytes, 77));
  EXPECT_EQ(midi->QueuedInputHeaders(), 15u);
  Pump();
  midi->ClearCalls();
  auto event = Port().GetMidiEvent();
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
  EXPECT_EQ(midi->CallNames(),
            (std::vector<std::string>{"midiInPrepareHeader", "midiInAddBuffer"}));
  ASSERT_NE(event, nullptr);
  EXPECT_EQ(event->MidiMessage, 0xF0);
  EXPECT_EQ(event->Data1, 0);
  EXPECT_EQ(event->Data2, 0);
  EXPECT_EQ(event->Time, 77u);
  ASSERT_EQ(event->SysexLength, bytes.size());
  if (bytes.empty()) {
    EXPECT_EQ(event->Sysex, nullptr);
  } else {
    EXPECT_EQ(std::vector<uint8_t>(event->Sysex.get(), event->Sysex.get() + bytes.size()), bytes);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, InputSysexEvent,
    ::testing::Values(SysexCase{"IdentityRequest", {0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}},
                      SysexCase{"Empty", {}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiInTest, FiltersActOnAnOpenPortFromTheNextMessage) {
  TMidiInput& port = OpenStarted();
  auto deliverAll = [&] {
    for (uint32_t packed : {0xF8u, 0xFEu, Packed(0xF1, 0x20), Packed(0x90, 1, 2)}) {
      midi->DeliverShort(packed);
    }
    midi->DeliverSysex({0xF0, 0xF7});
    std::vector<uint8_t> statuses;
    for (const auto& event : Drain()) statuses.push_back(event->MidiMessage);
    return statuses;
  };
  EXPECT_EQ(deliverAll(), (std::vector<uint8_t>{0xF1, 0x90, 0xF0}));
  port.SetFilteredMessages({msgActiveSensing});
  EXPECT_EQ(deliverAll(), (std::vector<uint8_t>{0xF8, 0xF1, 0x90, 0xF0}));
  port.SetFilteredMessages({});
  EXPECT_EQ(deliverAll(), (std::vector<uint8_t>{0xF8, 0xFE, 0xF1, 0x90, 0xF0}));
  port.SetSysexOnly(true);
  EXPECT_EQ(deliverAll(), (std::vector<uint8_t>{0xF0}));
}

TEST_F(MidiInTest, CloseDropsWaitingMessagesAndTheirNotices) {
  TMidiInput& port = OpenStarted();
  for (uint8_t n = 0; n < 3; ++n) midi->DeliverShort(Packed(0x90, n, 1));
  midi->DeliverSysex({0xF0, 0x01, 0xF7});
  port.Close();
  Pump();
  EXPECT_EQ(inputs, 0);
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_EQ(port.MIDIHandle(), 0u);
  EXPECT_EQ(port.MessageCount(), 0);
  EXPECT_EQ(port.GetMidiEvent(), nullptr);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_EQ(SharedBlockCount(), blocksBefore + 1);  // the control record stays
  port.Close();  // closing a closed port does nothing
}

TEST_F(MidiInTest, EachLostMessageGivesOneOverflowAndIsNeverDelivered) {
  TMidiInput& port = Port();
  port.SetCapacity(4);
  OpenStarted();
  for (uint8_t n = 0; n < 6; ++n) midi->DeliverShort(Packed(0x90, n, 0));
  EXPECT_EQ(port.MessageCount(), 4);
  auto events = Drain();
  EXPECT_EQ(overflows, 2);
  ASSERT_EQ(events.size(), 4u);
  for (uint8_t n = 0; n < 4; ++n) EXPECT_EQ(events[n]->Data1, n);
  midi->DeliverShort(Packed(0x80, 100, 0));
  events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->Data1, 100);
  EXPECT_EQ(overflows, 2);
}

TEST_F(MidiInTest, ADriversLossGivesOneOverflowPerMessageItSaysItLost) {
  TMidiInput& port = Port();
  OpenStarted();
  midi->DeliverShort(Packed(0x90, 1, 0));
  ASSERT_TRUE(midi->DeliverRaw(MIM_OVERFLOW, 3, 0));
  midi->DeliverShort(Packed(0x90, 2, 0));
  auto events = Drain();
  EXPECT_EQ(overflows, 3);
  EXPECT_FALSE(port.LossUncounted());
  ASSERT_EQ(events.size(), 2u) << "what came before and after the loss";
  ASSERT_TRUE(midi->DeliverRaw(MIM_OVERFLOW, 0, 0));
  Drain();
  EXPECT_EQ(overflows, 4) << "one when the driver does not say";
  EXPECT_TRUE(port.LossUncounted());
  port.Close();
  EXPECT_FALSE(port.LossUncounted()) << "each opening starts anew";
}

// Under heavy traffic the input comes in batches: after a notice that found
// a batch (16 messages or more), the messages of the next BatchMs wait in the
// queue and come with one notice at its end; a small batch holds nothing.
TEST_F(MidiInTest, AfterABatchTheNextMessagesComeTogetherAtTheEndOfTheBatchTime) {
  TMidiInput& port = Port();
  port.SetBatchMs(500);
  OpenStarted();
  std::vector<uint8_t> taken;
  port.SetOnMidiInput([&](QObject*) {
    ++inputs;
    while (auto event = port.GetMidiEvent()) taken.push_back(event->Data1);
  });
  for (uint8_t n = 0; n < 16; ++n) ASSERT_TRUE(midi->DeliverShort(Packed(0x90, n)));
  Pump();
  EXPECT_EQ(inputs, 1);
  EXPECT_EQ(taken.size(), 16u);

  ASSERT_TRUE(midi->DeliverShort(Packed(0x90, 16)));
  ASSERT_TRUE(midi->DeliverShort(Packed(0x90, 17)));
  Pump();
  QCoreApplication::processEvents();
  EXPECT_EQ(inputs, 1) << "within the batch time";
  EXPECT_EQ(port.MessageCount(), 2);

  QElapsedTimer watch;
  watch.start();
  while (taken.size() < 18 && watch.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(inputs, 2);
  ASSERT_EQ(taken.size(), 18u);
  for (uint8_t n = 0; n < 18; ++n) EXPECT_EQ(taken[n], n);

  // Two messages were no batch: the next one comes at once.
  ASSERT_TRUE(midi->DeliverShort(Packed(0x90, 18)));
  Pump();
  EXPECT_EQ(inputs, 3);
  EXPECT_EQ(taken.size(), 19u);
}

TEST_F(MidiInTest, ASysexLostToAFullQueueGivesItsBufferBackToTheDriver) {
  TMidiInput& port = Port();
  port.SetCapacity(1);
  OpenStarted();
  midi->DeliverShort(Packed(0x90, 1, 1));
  midi->DeliverSysex({0xF0, 0x01, 0xF7});
  EXPECT_EQ(midi->QueuedInputHeaders(), 15u);
  Pump();
  EXPECT_EQ(overflows, 1);
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
  EXPECT_EQ(Drain().size(), 1u);
  port.Close();
  EXPECT_EQ(SharedBlockCount(), blocksBefore + 1);
}

TEST_F(MidiInTest, MoreSysexOverflowsThanBuffersStillLetSysexThrough) {
  TMidiInput& port = Port();
  port.SetCapacity(1);
  OpenStarted();
  midi->DeliverShort(Packed(0x90, 1, 1));  // keeps the queue full
  for (int n = 0; n < 40; ++n) {
    midi->DeliverSysex({0xF0, 0x01, 0xF7});
    Pump();
  }
  EXPECT_EQ(overflows, 40);
  EXPECT_EQ(Drain().size(), 1u);
  midi->DeliverSysex({0xF0, 0x7E, 0x02, 0xF7});
  const auto events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->SysexLength, 4);
  EXPECT_EQ(events[0]->Sysex[1], 0x7E);
}

// A long message comes in buffer-sized pieces: the piece after one the full
// queue lost says so, as a message it continues is not whole.
TEST_F(MidiInTest, TheSysexPieceAfterALossSaysSoAndOnlyThatOne) {
  TMidiInput& port = Port();
  port.SetCapacity(1);
  OpenStarted();
  midi->DeliverSysex({0xF0, 0x01, 0x02});
  EXPECT_FALSE(Drain().at(0)->AfterLoss);
  midi->DeliverShort(Packed(0x90, 1, 1));  // fills the queue
  midi->DeliverSysex({0x03, 0x04});        // lost
  Pump();
  EXPECT_EQ(overflows, 1);
  EXPECT_EQ(Drain().size(), 1u);
  midi->DeliverSysex({0x05, 0xF7});
  auto events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_TRUE(events[0]->AfterLoss);
  midi->DeliverSysex({0xF0, 0x7E, 0xF7});
  events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_FALSE(events[0]->AfterLoss);
}

TEST_F(MidiInTest, ALostSysexNoticeFromAnEarlierOpeningIsIgnored) {
  TMidiInput& port = Port();
  port.SetCapacity(1);
  OpenStarted();
  midi->DeliverShort(Packed(0x90, 1, 1));
  midi->DeliverSysex({0xF0, 0x01, 0xF7});  // its notice is still queued
  port.Close();
  port.OpenAndStart();
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
  Pump();
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u) << "no header of this opening is added twice";
  midi->DeliverSysex({0xF0, 0x02, 0xF7});
  EXPECT_EQ(Drain().size(), 1u);
}

namespace {

// A failing platform operation, named by itself.
struct FailingOp {
  const char* op;
};

void PrintTo(const FailingOp& c, std::ostream* os) { *os << c.op; }

std::string OpName(const ::testing::TestParamInfo<FailingOp>& info) { return info.param.op; }

class InputFailedHandBack : public MidiInTest, public ::testing::WithParamInterface<FailingOp> {};

}  // namespace

TEST_P(InputFailedHandBack, RaisesButTheQueueMovesOn) {
  TMidiInput& port = OpenStarted();
  midi->DeliverSysex({0xF0, 0x01, 0xF7});
  midi->DeliverSysex({0xF0, 0x02, 0xF7});
  Pump();
  midi->FailNext(GetParam().op, MMSYSERR_NOMEM);
  EXPECT_THROW_TEXT(port.GetMidiEvent(), EMidiInputError,
                    "There is not enough memory for this MIDI operation.");
  EXPECT_EQ(port.Error(), MMSYSERR_NOMEM);
  EXPECT_EQ(port.MessageCount(), 1);
  auto next = port.GetMidiEvent();
  ASSERT_NE(next, nullptr);
  ASSERT_EQ(next->SysexLength, 3);
  EXPECT_EQ(next->Sysex[1], 0x02);
  EXPECT_EQ(port.Error(), 0);
  EXPECT_EQ(midi->QueuedInputHeaders(), 15u);
  port.Close();
  EXPECT_EQ(SharedBlockCount(), blocksBefore + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputFailedHandBack,
                         ::testing::Values(FailingOp{"midiInPrepareHeader"},
                                           FailingOp{"midiInAddBuffer"}),
                         OpName);

namespace {

struct NoSysexBuffers {
  const char* name;
  uint16_t count;
  uint16_t size;
};

void PrintTo(const NoSysexBuffers& c, std::ostream* os) { *os << c.name; }

class InputWithoutSysexBuffers : public MidiInTest,
                                 public ::testing::WithParamInterface<NoSysexBuffers> {};

}  // namespace

TEST_P(InputWithoutSysexBuffers, ReceivesNoSysexButShortMessages) {
  const NoSysexBuffers& c = GetParam();
  TMidiInput& port = Port();
  port.SetSysexBufferCount(c.count);
  port.SetSysexBufferSize(c.size);
  OpenStarted();
  EXPECT_EQ(midi->CallCount("midiInPrepareHeader"), 0);
  midi->DeliverSysex({0xF0, 0x01, 0xF7});
  midi->DeliverShort(Packed(0xC0, 5));
  const auto events = Drain();
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0]->MidiMessage, 0xC0);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputWithoutSysexBuffers,
                         ::testing::Values(NoSysexBuffers{"CountZero", 0, 4096},
                                           NoSysexBuffers{"SizeZero", 16, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiInTest, BadInputFromADeviceIsHandledSafely) {
  TMidiInput& port = Port();
  port.SetSysexBufferSize(8);
  port.SetSysexBufferCount(2);
  OpenStarted();

  // Longer than every buffer: two full buffers, the rest is lost.
  std::vector<uint8_t> longSysex(40);
  for (size_t i = 0; i < longSysex.size(); ++i) longSysex[i] = static_cast<uint8_t>(i);
  midi->DeliverSysex(longSysex);
  auto events = Drain();
  ASSERT_EQ(events.size(), 2u);
  ASSERT_EQ(events[0]->SysexLength, 8);
  EXPECT_EQ(std::vector<uint8_t>(events[0]->Sysex.get(), events[0]->Sysex.get() + 8),
            (std::vector<uint8_t>{0, 1, 2, 3, 4, 5, 6, 7}));
  ASSERT_EQ(events[1]->SysexLength, 8);
  EXPECT_EQ(std::vector<uint8_t>(events[1]->Sysex.get(), events[1]->Sysex.get() + 8),
            (std::vector<uint8_t>{8, 9, 10, 11, 12, 13, 14, 15}));
  EXPECT_EQ(midi->QueuedInputHeaders(), 2u);

  // Empty sysex, an error buffer, data bytes without a status.
  midi->DeliverSysex({});
  midi->DeliverLongError({0xF0, 0x11});
  midi->DeliverShort(Packed(0x3C, 0x40));
  // A driver returning a header that is none of ours, or no header at all.
  MIDIHDR foreign{};
  foreign.dwBytesRecorded = 100000;
  midi->DeliverRaw(MIM_LONGDATA, reinterpret_cast<uintptr_t>(&foreign), 5);
  midi->DeliverRaw(MIM_LONGERROR, 0, 6);
  events = Drain();
  ASSERT_EQ(events.size(), 5u);
  EXPECT_EQ(events[0]->MidiMessage, 0xF0);
  EXPECT_EQ(events[0]->SysexLength, 0);
  EXPECT_EQ(events[0]->Sysex, nullptr);
  ASSERT_EQ(events[1]->SysexLength, 2);
  EXPECT_EQ(events[1]->Sysex[1], 0x11);
  EXPECT_EQ(events[2]->MidiMessage, 0x3C);
  EXPECT_EQ(events[2]->Data1, 0x40);
  EXPECT_EQ(events[3]->MidiMessage, 0xF0);
  EXPECT_EQ(events[3]->SysexLength, 0);
  EXPECT_EQ(events[3]->Sysex, nullptr);
  EXPECT_EQ(events[4]->MidiMessage, 0);
  EXPECT_EQ(foreign.dwBytesRecorded, 100000u);  // untouched
  EXPECT_EQ(midi->QueuedInputHeaders(), 2u);
}

TEST_F(MidiInTest, ADriverOverstatingTheRecordedBytesIsNotBelieved) {
  TMidiInput& port = Port();
  port.SetSysexBufferSize(16);
  OpenStarted();
  MIDIHDR* hdr = midi->TakeInputHeader();
  ASSERT_NE(hdr, nullptr);
  std::fill_n(hdr->lpData, 16, uint8_t{0x55});
  hdr->dwBytesRecorded = 70000;
  midi->DeliverRaw(MIM_LONGDATA, reinterpret_cast<uintptr_t>(hdr), 0);
  const auto events = Drain();
  ASSERT_EQ(events.size(), 1u);
  ASSERT_EQ(events[0]->SysexLength, 16);
  EXPECT_EQ(events[0]->Sysex[15], 0x55);
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
}

TEST_F(MidiInTest, ChangeDeviceSkipsTheCurrentIdAndOpensAndStartsOnlyWhenAsked) {
  TMidiInput& port = Port();
  midi->ClearCalls();
  port.ChangeDevice(0, true);  // the current id: nothing happens
  EXPECT_TRUE(midi->Calls().empty());
  EXPECT_EQ(port.State(), misClosed);
  port.Open();
  port.ChangeDevice(1, true);
  EXPECT_EQ(port.ProductName(), "Pads");
  EXPECT_EQ(port.State(), misOpen);
  EXPECT_TRUE(midi->InputStarted());
  port.ChangeDevice(0, false);
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_EQ(port.DeviceID(), 0u);
}

TEST_F(MidiInTest, CapacityTakesEffectAtTheNextOpen) {
  TMidiInput& port = Port();
  port.SetCapacity(8);
  OpenStarted();
  port.SetCapacity(2);
  for (uint8_t n = 0; n < 3; ++n) midi->DeliverShort(Packed(0x90, n));
  EXPECT_EQ(port.MessageCount(), 3);
  port.StopAndClose();
  OpenStarted();
  for (uint8_t n = 0; n < 3; ++n) midi->DeliverShort(Packed(0x90, n));
  EXPECT_EQ(port.MessageCount(), 2);
  Pump();
  EXPECT_EQ(overflows, 1);
}

TEST_F(MidiInTest, FlushQueueDropsEveryWaitingMessage) {
  TMidiInput& port = OpenStarted();
  for (uint8_t n = 0; n < 5; ++n) midi->DeliverShort(Packed(0x90, n));
  midi->DeliverSysex({0xF0, 0xF7});
  port.FlushQueue();
  EXPECT_EQ(port.MessageCount(), 0);
  EXPECT_EQ(midi->QueuedInputHeaders(), 16u);
}

TEST_F(MidiInTest, ErrorTextsComeFromThePlatform) {
  TMidiInput& port = OpenStarted();
  EXPECT_EQ(TMidiInput::ErrorText(MIDIERR_NOTREADY), "The MIDI device is busy; try again later.");
  EXPECT_EQ(TMidiInput::ErrorText(4242), "Specified error number is out of range");
  midi->FailNext("midiInStart", 0x10043);
  EXPECT_THROW_TEXT(port.Start(), EMidiInputError, "Specified error number is out of range");
  EXPECT_EQ(port.Error(), 0x43);  // the low 16 bits
}

namespace {

class InputFailedClose : public MidiInTest, public ::testing::WithParamInterface<FailingOp> {};

}  // namespace

TEST_P(InputFailedClose, CanBeRetried) {
  TMidiInput& port = OpenStarted();
  midi->FailNext(GetParam().op, MMSYSERR_ERROR);
  EXPECT_THROW_TEXT(port.Close(), EMidiInputError, "The MIDI device reported an unspecified error.");
  EXPECT_EQ(port.State(), misClosed);
  EXPECT_NE(port.MIDIHandle(), 0u);
  EXPECT_TRUE(midi->InputOpen());
  port.Close();
  EXPECT_EQ(port.MIDIHandle(), 0u);
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_EQ(SharedBlockCount(), blocksBefore + 1);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputFailedClose,
                         ::testing::Values(FailingOp{"midiInReset"},
                                           FailingOp{"midiInUnprepareHeader"},
                                           FailingOp{"midiInClose"}),
                         OpName);

namespace {

struct Destruction {
  const char* name;
  bool afterAFailedClose;
};

void PrintTo(const Destruction& c, std::ostream* os) { *os << c.name; }

class DestroyedInputPort : public MidiInTest, public ::testing::WithParamInterface<Destruction> {};

}  // namespace

TEST_P(DestroyedInputPort, ReleasesEverythingAndReportsNoInput) {
  TMidiInput& port = OpenStarted();
  midi->DeliverShort(Packed(0x90, 1));
  midi->DeliverSysex({0xF0, 0xF7});
  if (GetParam().afterAFailedClose) {
    midi->FailNext("midiInReset", MMSYSERR_ERROR);
    EXPECT_THROW_TEXT(port.Close(), EMidiInputError, "The MIDI device reported an unspecified error.");
  }
  port_.reset();
  Pump();
  EXPECT_FALSE(midi->InputOpen());
  EXPECT_EQ(SharedBlockCount(), blocksBefore);
  EXPECT_EQ(inputs, 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, DestroyedInputPort,
                         ::testing::Values(Destruction{"WhileOpen", false},
                                           Destruction{"AfterAFailedClose", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MidiInTest, TheWindowConsentsToEndingTheSession) {
  auto* window = Port().findChild<TMidiWindow*>();
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(window->Send(WM_QUERYENDSESSION, 0, 0), 1);
  EXPECT_EQ(window->Send(MIM_DATA, 0, 0), 0);
  EXPECT_EQ(window->Send(0x123, 0, 0), 0);
  EXPECT_EQ(inputs, 0);  // closed: no event
}

// A device delivering from its own thread while the user-interface thread
// drains: every message arrives once and in order, or is counted as lost.
TEST_F(MidiInTest, MessagesFromAnotherThreadArriveInOrder) {
  constexpr uint32_t kMessages = 16000;
  TMidiInput& port = Port();
  port.SetCapacity(64);
  OpenStarted();
  std::vector<uint32_t> received;
  port.SetOnMidiInput([&](QObject*) {
    while (auto event = port.GetMidiEvent()) received.push_back(event->Data1 + 128u * event->Data2);
  });
  std::atomic<bool> done{false};
  std::thread device([&] {
    for (uint32_t n = 0; n < kMessages; ++n) {
      midi->DeliverShort(Packed(0x90, n & 0x7F, (n >> 7) & 0x7F), n);
    }
    done = true;
  });
  while (!done.load() || port.MessageCount() > 0) QCoreApplication::processEvents();
  device.join();
  Pump();
  EXPECT_EQ(received.size() + static_cast<size_t>(overflows), kMessages);
  EXPECT_TRUE(std::is_sorted(received.begin(), received.end()));
  EXPECT_EQ(std::adjacent_find(received.begin(), received.end()), received.end());
}
