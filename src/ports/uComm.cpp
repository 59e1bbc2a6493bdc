#include "uComm.h"

#include <QApplication>
#include <QComboBox>
#include <QSignalBlocker>

#include <climits>
#include <stdexcept>

#include "CircBuf.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "StatusShape.h"
#include "frmMain.h"
#include "uDeviceWatch.h"

std::unique_ptr<TMidiInput> MidiInPort;
std::unique_ptr<TMidiOutput> MidiOutPort;
bool ShuttingDown = false;
int32_t MidiOutCount = 0;

namespace {

const QColor kRed(0xFF, 0x00, 0x00);
const QColor kLime(0x00, 0xFF, 0x00);
const QColor kGrey(0x80, 0x80, 0x80);

constexpr uint32_t kOpenSettleMs = 200;

// Shows the hourglass cursor for its lifetime.
class TBusyCursor {
 public:
  TBusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~TBusyCursor() { QApplication::restoreOverrideCursor(); }
  TBusyCursor(const TBusyCursor&) = delete;
  TBusyCursor& operator=(const TBusyCursor&) = delete;
};

enum class TPortShape { In, Out };

TShape* ShapeOf(TPortShape which) {
  if (!fmMain) return nullptr;
  return which == TPortShape::In ? fmMain->shMidiIn : fmMain->shMidiOut;
}

// Painting a shape or setting its hint never stops an operation.
void Paint(TPortShape which, const QColor& color) {
  try {
    if (TShape* shape = ShapeOf(which)) shape->SetBrushColor(color);
  } catch (...) {
  }
}

void PaintWithHint(TPortShape which, const QColor& color, const QString& hint) {
  try {
    if (TShape* shape = ShapeOf(which)) {
      shape->SetBrushColor(color);
      shape->SetHint(hint);
    }
  } catch (...) {
  }
}

void AppendToMemo(const QString& line) {
  if (fmMain) fmMain->Log_AddNotice(line);
}

// Clears the list and fills it with the product names of the port's devices,
// choosing the first. A device whose name cannot be read (one that went
// between the count and the reading) is left out.
template <typename Port>
void FillDeviceList(QComboBox* list, Port* port, const QString& noneLine) {
  const QSignalBlocker blocker(list);
  list->clear();
  if (!port) {
    AppendToMemo(noneLine);
    return;
  }
  QStringList names;
  {
    TBusyCursor busy;
    const uint32_t count = port->DeviceCount();
    for (uint32_t id = 0; id < count; ++id) {
      try {
        port->SetDeviceID(id);
        names << QString::fromStdString(port->ProductName());
      } catch (...) {
      }
    }
  }
  if (names.isEmpty()) {
    AppendToMemo(noneLine);
  } else {
    list->addItems(names);
    list->setCurrentIndex(0);
  }
}

}  // namespace

void MidiPorts_Start() {
  ShuttingDown = false;
  try {
    auto port = std::make_unique<TMidiInput>();
    // As deep as one ring block allows: 0.4 s of traffic at 10 000 messages
    // per second, so that a window busy for that long loses nothing.
    port->SetCapacity(kMaxCircularBufferCapacity);
    // Under heavy traffic the window takes the input once per screen frame,
    // not once per burst of the driver (a JACK period can be a few ms).
    port->SetBatchMs(16);
    port->SetSysexBufferCount(16);
    port->SetSysexBufferSize(63999);
    port->SetFilteredMessages({msgActiveSensing});
    MidiInPort = std::move(port);
  } catch (...) {
    MidiInPort.reset();
  }
  try {
    MidiOutPort = std::make_unique<TMidiOutput>();
  } catch (...) {
    MidiOutPort.reset();
  }
}

void MidiPorts_End() {
  ShuttingDown = true;
  MidiPorts_StopWatchingDevices();
  if (MidiInPort) {
    MidiIn_Close();
    MidiInPort.reset();
  }
  if (MidiOutPort) {
    MidiOut_Close();
    MidiOutPort.reset();
  }
}

void MidiPorts_Enumerate() {
  if (!fmMain) return;
  FillDeviceList(fmMain->cbMIDIIn, MidiInPort.get(), QStringLiteral("Aucun port MIDI In trouvé !"));
  if (MidiInPort) {
    MidiInPort->SetOnMidiInput([](QObject* sender) {
      if (fmMain) fmMain->MidiInMidiInput(sender);
    });
    MidiInPort->SetOnOverflow([](QObject* sender) {
      if (fmMain) fmMain->MidiInOverflow(sender);
    });
  }
  FillDeviceList(fmMain->cbMIDIOut, MidiOutPort.get(), QStringLiteral("Aucun port MIDI Out trouvé !"));
  if (MidiOutPort) {
    MidiOutPort->SetOnMidiOutput([](QObject* sender) {
      if (fmMain) fmMain->MidiOutMidiOutput(sender);
    });
  }
  MidiPorts_WatchDevices();
}

// The ports open the device of their DeviceID, a place in the platform's
// device list. Before an open each port looks its chosen device up again by
// its product name (SetProductName), since the list changes as devices come
// and go: a device that has gone then fails to open instead of whichever
// device has moved into its place.
void MidiIn_Open() {
  const TPortOperation operation;
  if (!ShuttingDown) Paint(TPortShape::In, kRed);
  if (!MidiInPort) return;
  try {
    if (MidiInPort->State() != misOpen) MidiInPort->SetProductName(MidiInPort->ProductName());
    MidiInPort->OpenAndStart();
  } catch (...) {
    return;
  }
  Delay_Ms(kOpenSettleMs, true);
  if (!ShuttingDown) PaintWithHint(TPortShape::In, kLime, QStringLiteral("Port MidiIn ouvert"));
}

void MidiIn_Close() {
  const TPortOperation operation;
  if (!ShuttingDown) Paint(TPortShape::In, kRed);
  if (!MidiInPort) return;
  try {
    MidiInPort->Stop();
    MidiInPort->Close();
  } catch (...) {
    return;
  }
  if (!ShuttingDown) PaintWithHint(TPortShape::In, kRed, QStringLiteral("Port MidiIn fermé"));
}

void MidiOut_Open() {
  const TPortOperation operation;
  if (!ShuttingDown) Paint(TPortShape::Out, kGrey);
  if (!MidiOutPort) return;
  bool opened = false;
  try {
    if (MidiOutPort->State() != mosOpen) MidiOutPort->SetProductName(MidiOutPort->ProductName());
    opened = MidiOutPort->Open();
  } catch (const EMidiOutputError&) {
    opened = false;  // the chosen device is gone: a failed open
  } catch (...) {
    return;
  }
  Delay_Ms(kOpenSettleMs, true);
  if (ShuttingDown) return;
  if (opened) {
    PaintWithHint(TPortShape::Out, kLime, QStringLiteral("Port MidiOut ouvert"));
  } else {
    PaintWithHint(TPortShape::Out, kRed, QStringLiteral("Port MidiOut fermé"));
  }
}

void MidiOut_Close() {
  const TPortOperation operation;
  if (!ShuttingDown) Paint(TPortShape::Out, kGrey);
  if (!MidiOutPort) return;
  // The Note Off or release that a sequence under way owes goes to the
  // device that got its first message, before that device is let go.
  MidiOut_SendOwed();
  try {
    MidiOutPort->Close();
  } catch (...) {
    return;
  }
  if (!ShuttingDown) PaintWithHint(TPortShape::Out, kRed, QStringLiteral("Port MidiOut fermé"));
}

void MidiIn_SelectByName(const QString& name) {
  try {
    if (MidiInPort) MidiInPort->SetProductName(name.toStdString());
  } catch (...) {
  }
}

void MidiOut_SelectByName(const QString& name) {
  try {
    if (MidiOutPort) MidiOutPort->SetProductName(name.toStdString());
  } catch (...) {
  }
}
