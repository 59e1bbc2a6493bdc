// The input path: driver callback, ring buffer, GetMidiEvent and the log line
// of each event, on an input port opened on the scriptable back end.
//
// Input: a list of steps, each an operation byte (taken modulo the number of
// operations) and its arguments; missing argument bytes read as 0.
//   0 short message   u32 packed value (any status byte, real-time bytes too)
//   1 sysex           u16 length, bytes: spread over the added buffers in order
//   2 long error      u8 length, bytes: one buffer returned with MIM_LONGERROR
//   3 forged buffer   u8 kind, u32 bytes recorded, u8 length, bytes: the next
//                     added buffer comes back with that count, whatever its size
//   4 foreign buffer  u16 bytes recorded: a header the port never added
//   5 filters         u8: bit 0 clock, bit 1 active sensing, bit 2 sysex only
//   6 drain           takes every waiting event
// The input ends with a drain. The port is opened afresh for every input, and
// the driver's side is played here: buffers are taken from the back end in the
// order they were added and handed to the port's callback.
//
// What the callback stores is worked out step by step (the filters, the ring's
// capacity, the buffers the back end holds); every drain must take exactly
// those events, in order, each as delivered, and report every lost one as an
// overflow. Each event's log line must show its bytes.
#include <QCoreApplication>
#include <QString>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <memory>
#include <vector>

#include "MidiCallback.h"
#include "MidiIn.h"
#include "TestMidiServices.h"
#include "frmMain.h"

namespace {

constexpr uint16_t kCapacity = 32;  // small, so that overflows happen
constexpr uint16_t kSysexBufferSize = 24;
constexpr uint16_t kSysexBufferCount = 4;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_midi_input: %s\n", what);
  __builtin_trap();
}

void Quiet(QtMsgType, const QMessageLogContext&, const QString&) {}

struct TSetup {
  TSetup() {
    auto owned = std::make_unique<TestMidiServices>();
    midi = owned.get();
    midi->AddInputDevice("Keyboard");
    services = std::make_unique<ScopedMidiServices>(std::move(owned));
    port = std::make_unique<TMidiInput>();
    port->SetCapacity(kCapacity);
    port->SetSysexBufferSize(kSysexBufferSize);
    port->SetSysexBufferCount(kSysexBufferCount);
    port->SetOnOverflow([this](QObject*) { ++overflows; });
  }

  TestMidiServices* midi = nullptr;
  std::unique_ptr<ScopedMidiServices> services;
  std::unique_ptr<TMidiInput> port;
  int overflows = 0;
};

TSetup* setup = nullptr;

class TReader {
 public:
  TReader(const uint8_t* data, size_t size) : FData(data), FSize(size) {}
  bool AtEnd() const { return FPos >= FSize; }
  uint8_t Byte() { return FPos < FSize ? FData[FPos++] : 0; }
  uint32_t Number(int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= uint32_t{Byte()} << (8 * i);
    return value;
  }
  std::vector<uint8_t> Bytes(size_t count) {
    const size_t n = std::min(count, FSize - std::min(FPos, FSize));
    std::vector<uint8_t> bytes(FData + FPos, FData + FPos + n);
    FPos += n;
    return bytes;
  }

 private:
  const uint8_t* FData;
  size_t FSize;
  size_t FPos = 0;
};

struct TExpected {
  bool sysex = false;
  uint32_t packed = 0;         // short message
  std::vector<uint8_t> bytes;  // sysex
  uint32_t time = 0;
};

QString Hex(const uint8_t* bytes, size_t count, const char* separator) {
  QString text;
  for (size_t i = 0; i < count; ++i) {
    if (i > 0) text += QLatin1String(separator);
    text += QStringLiteral("%1").arg(bytes[i], 2, 16, QLatin1Char('0')).toUpper();
  }
  return text;
}

// The number of bytes the log line of a short message shows.
size_t ShownBytes(uint8_t status) {
  if (status < 0x80) return 3;
  switch (status >> 4) {
    case 0xC:
    case 0xD:
      return 2;
    case 0xF:
      return status == 0xF2 ? 3 : (status == 0xF1 || status == 0xF3) ? 2 : 1;
    default:
      return 3;
  }
}

void CheckLine(const TMyMidiEvent& event) {
  const QString line = MidiInEventText(event);
  QString expected;
  if (event.MidiMessage == 0xF0) {
    // Every byte up to 500, each followed by a blank.
    const size_t shown = std::min<size_t>(event.SysexLength, 500);
    QString hex = Hex(event.Sysex.get(), event.Sysex ? shown : 0, " ");
    if (!hex.isEmpty()) hex += QLatin1Char(' ');
    expected = QStringLiteral("[MIDI-In] - %1 (Sysex - %2)").arg(hex).arg(event.SysexLength);
    if (line != expected) Fail("the log line of a sysex event is wrong");
    return;
  }
  const uint8_t bytes[3] = {event.MidiMessage, event.Data1, event.Data2};
  expected = QStringLiteral("[MIDI-In] - ") + Hex(bytes, ShownBytes(event.MidiMessage), " ") + QStringLiteral(" (");
  if (!line.startsWith(expected) || !line.endsWith(QLatin1Char(')')) || line.size() <= expected.size() + 1)
    Fail("the log line of a short message is wrong");
}

struct TRun {
  std::deque<TExpected> waiting;  // stored by the callback, not yet taken
  int lost = 0;
  bool filterClock = false;
  bool filterSensing = false;
  bool sysexOnly = false;

  // One notice reaching the callback: stored unless filtered or the ring is full.
  void Notice(TExpected expected, bool shortMessage) {
    if (shortMessage) {
      if ((expected.packed == 0xF8 && filterClock) || (expected.packed == 0xFE && filterSensing) || sysexOnly)
        return;
    }
    if (waiting.size() < kCapacity) {
      waiting.push_back(std::move(expected));
    } else {
      ++lost;
    }
  }

  void Drain() {
    TMidiInput& port = *setup->port;
    setup->overflows = 0;
    // The port hears of stored and lost messages through its wake-up, then
    // whatever that posts.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    if (setup->overflows != lost) Fail("overflow notices differ from the messages lost");
    size_t taken = 0;
    while (port.MessageCount() > 0) {
      std::unique_ptr<TMyMidiEvent> event = port.GetMidiEvent();
      if (!event) Fail("a waiting message gave no event");
      if (taken >= waiting.size()) Fail("more events than the callback stored");
      const TExpected& want = waiting[taken++];
      if (event->Time != want.time) Fail("an event lost its time");
      if (want.sysex) {
        if (event->MidiMessage != 0xF0 || event->SysexLength != want.bytes.size() ||
            (event->SysexLength > 0) != static_cast<bool>(event->Sysex) ||
            (event->Sysex && !std::equal(want.bytes.begin(), want.bytes.end(), event->Sysex.get())))
          Fail("a sysex event differs from what was received");
      } else if (event->MidiMessage != (want.packed & 0xFF) || event->Data1 != ((want.packed >> 8) & 0xFF) ||
                 event->Data2 != ((want.packed >> 16) & 0xFF) || event->Sysex || event->SysexLength != 0) {
        Fail("a short event differs from what was received");
      }
      CheckLine(*event);
    }
    if (taken != waiting.size()) Fail("fewer events than the callback stored");
    if (port.GetMidiEvent()) Fail("an event after the queue was empty");
    waiting.clear();
    lost = 0;
  }
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  qInstallMessageHandler(Quiet);
  new QCoreApplication(*argc, *argv);  // lives as long as the process
  setup = new TSetup;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TestMidiServices& midi = *setup->midi;
  TMidiInput& port = *setup->port;
  port.SetSysexOnly(false);
  port.SetFilteredMessages({});
  midi.ClearCalls();
  port.OpenAndStart();
  uintptr_t instance = 0;
  for (const TestMidiServices::Call& call : midi.Calls())
    if (call.op == "midiInOpen") instance = static_cast<uintptr_t>(call.args.at(1));
  midi.ClearCalls();
  // The driver's side, run here rather than on a thread of the back end: the
  // same callback and ring, thousands of times faster per message.
  auto deliver = [&](uint32_t msg, uintptr_t param1, uint32_t time) {
    MidiDriverCallback(port.MIDIHandle(), msg, instance, param1, time);
  };

  TRun run;
  MIDIHDR foreign{};
  uint8_t foreignData[4] = {0xF0, 0x01, 0x02, 0xF7};
  foreign.lpData = foreignData;
  foreign.dwBufferLength = sizeof foreignData;

  // Returns the next added buffer holding `bytes` (cut to its size) as `msg`.
  auto returnBuffer = [&](uint32_t msg, const uint8_t* bytes, size_t count, uint32_t recorded, uint32_t time) {
    MIDIHDR* hdr = midi.TakeInputHeader();
    if (!hdr) return false;
    const size_t n = std::min<size_t>(count, hdr->dwBufferLength);
    std::copy_n(bytes, n, hdr->lpData);
    hdr->dwBytesRecorded = recorded;
    TExpected e;
    e.sysex = true;
    e.time = time;
    e.bytes.assign(hdr->lpData, hdr->lpData + std::min(recorded, hdr->dwBufferLength));
    deliver(msg, reinterpret_cast<uintptr_t>(hdr), time);
    run.Notice(std::move(e), false);
    return true;
  };

  TReader in(data, size);
  uint32_t time = 0;
  while (!in.AtEnd()) {
    ++time;
    switch (in.Byte() % 7) {
      case 0: {
        TExpected e;
        e.packed = in.Number(4);
        e.time = time;
        deliver(MIM_DATA, e.packed, time);
        run.Notice(e, true);
        break;
      }
      case 1: {
        // Fills the buffers in order, as many as the message needs and the
        // driver holds; an empty message returns one buffer with no bytes.
        const std::vector<uint8_t> bytes = in.Bytes(in.Number(2));
        size_t offset = 0;
        do {
          const size_t n = std::min<size_t>(bytes.size() - offset, kSysexBufferSize);
          if (!returnBuffer(MIM_LONGDATA, bytes.data() + offset, n, static_cast<uint32_t>(n), time)) break;
          offset += n;
        } while (offset < bytes.size());
        break;
      }
      case 2: {
        const std::vector<uint8_t> bytes = in.Bytes(in.Byte());
        const size_t n = std::min<size_t>(bytes.size(), kSysexBufferSize);
        returnBuffer(MIM_LONGERROR, bytes.data(), n, static_cast<uint32_t>(n), time);
        break;
      }
      case 3: {
        const uint32_t msg = (in.Byte() & 1) ? MIM_LONGERROR : MIM_LONGDATA;
        const uint32_t recorded = in.Number(4);  // 0, or beyond the buffer
        const std::vector<uint8_t> bytes = in.Bytes(in.Byte());
        returnBuffer(msg, bytes.data(), bytes.size(), recorded, time);
        break;
      }
      case 4: {
        foreign.dwBytesRecorded = in.Number(2);
        TExpected e;
        e.sysex = true;  // taken as a sysex event without bytes
        e.time = time;
        deliver(MIM_LONGDATA, reinterpret_cast<uintptr_t>(&foreign), time);
        run.Notice(std::move(e), false);
        break;
      }
      case 5: {
        const uint8_t bits = in.Byte();
        run.filterClock = bits & 1;
        run.filterSensing = bits & 2;
        run.sysexOnly = bits & 4;
        TMidiMsgFilter filter;
        if (run.filterClock) filter.Include(msgMidiTimeCode);
        if (run.filterSensing) filter.Include(msgActiveSensing);
        port.SetFilteredMessages(filter);
        port.SetSysexOnly(run.sysexOnly);
        break;
      }
      default:
        run.Drain();
        break;
    }
  }
  run.Drain();
  port.StopAndClose();
  QCoreApplication::sendPostedEvents();
  midi.ClearCalls();
  return 0;
}
