#include "uDeviceWatch.h"

#include <QComboBox>
#include <QFont>
#include <QSignalBlocker>
#include <QTimer>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "MidiDevices.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "StatusShape.h"
#include "frmMain.h"
#include "frmSendBulk.h"
#include "uComm.h"

namespace {

const QColor kRed(0xFF, 0x00, 0x00);

struct TPortWatch {
  QString Awaited;  // the chosen device, gone away; empty when none
};

bool gWatching = false;
int gOperationDepth = 0;
bool gPending = false;  // a notice came during an operation
std::array<TPortWatch, 2> gPorts;

TPortWatch& WatchOf(TMidiPortKind kind) { return gPorts[kind == mpkIn ? 0 : 1]; }

QComboBox* ListOf(TMidiPortKind kind) {
  if (!fmMain) return nullptr;
  return kind == mpkIn ? fmMain->cbMIDIIn : fmMain->cbMIDIOut;
}

QString GoneHint(TMidiPortKind kind) {
  return kind == mpkIn
             ? QStringLiteral("Port MidiIn fermé : périphérique déconnecté, en attente de son retour")
             : QStringLiteral("Port MidiOut fermé : périphérique déconnecté, en attente de son retour");
}

QString GoneLine(TMidiPortKind kind, const QString& name) {
  return (kind == mpkIn ? QStringLiteral("Périphérique MIDI In déconnecté : ")
                        : QStringLiteral("Périphérique MIDI Out déconnecté : ")) +
         name;
}

QString BackLine(TMidiPortKind kind, const QString& name) {
  return (kind == mpkIn ? QStringLiteral("Périphérique MIDI In de retour, port rouvert : ")
                        : QStringLiteral("Périphérique MIDI Out de retour, port rouvert : ")) +
         name;
}

const QString kAwaitedEntryHint = QStringLiteral("Périphérique déconnecté, en attente de son retour");

void ShowWaiting(TMidiPortKind kind) {
  if (!fmMain || ShuttingDown) return;
  try {
    TShape* shape = kind == mpkIn ? fmMain->shMidiIn : fmMain->shMidiOut;
    shape->SetBrushColor(kRed);
    shape->SetHint(GoneHint(kind));
  } catch (...) {
  }
}

void Log(const QString& line) {
  if (fmMain) fmMain->Log_AddLine(line);
}

bool PortOpen(TMidiPortKind kind) {
  if (kind == mpkIn) return MidiInPort && MidiInPort->State() == misOpen;
  return MidiOutPort && MidiOutPort->State() == mosOpen;
}

bool DeviceGone(TMidiPortKind kind) {
  try {
    if (kind == mpkIn) return MidiInPort && MidiInPort->DeviceGone();
    return MidiOutPort && MidiOutPort->DeviceGone();
  } catch (...) {
    return false;
  }
}

void ClosePort(TMidiPortKind kind) {
  if (kind == mpkIn) {
    MidiIn_Close();
  } else {
    MidiOut_Close();
  }
}

// Opens the port on the device of that name; true when it is open.
bool OpenPort(TMidiPortKind kind, const QString& name) {
  if (kind == mpkIn) {
    MidiIn_SelectByName(name);
    MidiIn_Open();
  } else {
    MidiOut_SelectByName(name);
    MidiOut_Open();
  }
  return PortOpen(kind);
}

// One entry of a device list: its text, and whether it is an awaited device's.
struct TEntry {
  QString Text;
  bool Awaited = false;
  bool operator==(const TEntry&) const = default;
};

std::vector<TEntry> EntriesOf(const QComboBox* list) {
  std::vector<TEntry> entries;
  for (int i = 0; i < list->count(); ++i) {
    entries.push_back({list->itemText(i), !list->itemData(i, Qt::ToolTipRole).toString().isEmpty()});
  }
  return entries;
}

// The names of the system, with the awaited device's entry where it was (but
// never after the last entry, "Orvalis Loopback" with the system's services).
std::vector<TEntry> WantedEntries(const QComboBox* list, const std::vector<std::string>& names,
                                  const QString& awaited) {
  std::vector<TEntry> entries;
  bool listed = false;
  for (const std::string& name : names) {
    entries.push_back({QString::fromStdString(name), false});
    listed = listed || entries.back().Text == awaited;
  }
  if (!awaited.isEmpty() && !listed) {
    int at = list->findText(awaited, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (at < 0) at = std::max(list->currentIndex(), 0);
    at = std::min(at, std::max(static_cast<int>(entries.size()) - 1, 0));
    entries.insert(entries.begin() + at, TEntry{awaited, true});
  }
  return entries;
}

// Fills the list with the entries and chooses `chosen` by its text (nothing
// when it is not there); the list's handler does not run.
void ShowEntries(QComboBox* list, const std::vector<TEntry>& entries, const QString& chosen) {
  const QSignalBlocker blocker(list);
  if (EntriesOf(list) != entries) {
    list->clear();
    for (const TEntry& entry : entries) {
      list->addItem(entry.Text);
      if (!entry.Awaited) continue;
      const int index = list->count() - 1;
      QFont italic = list->font();
      italic.setItalic(true);
      list->setItemData(index, italic, Qt::FontRole);
      list->setItemData(index, QColor(0x80, 0x80, 0x80), Qt::ForegroundRole);
      list->setItemData(index, kAwaitedEntryHint, Qt::ToolTipRole);
    }
  }
  list->setCurrentIndex(chosen.isEmpty() ? -1 : list->findText(chosen, Qt::MatchExactly | Qt::MatchCaseSensitive));
}

// The bulk window's output list holds what the main window's holds.
void MirrorBulkList() {
  if (!fmMain || !fmSendBulk) return;
  QComboBox* mirror = fmSendBulk->cbMIDIOut;
  const QSignalBlocker blocker(mirror);
  if (EntriesOf(mirror) != EntriesOf(fmMain->cbMIDIOut)) {
    mirror->clear();
    for (int i = 0; i < fmMain->cbMIDIOut->count(); ++i) {
      mirror->addItem(fmMain->cbMIDIOut->itemText(i));
      for (int role : {Qt::FontRole, Qt::ForegroundRole, Qt::ToolTipRole}) {
        const QVariant data = fmMain->cbMIDIOut->itemData(i, role);
        if (data.isValid()) mirror->setItemData(i, data, role);
      }
    }
  }
  mirror->setCurrentIndex(fmMain->cbMIDIOut->currentIndex());
}

void Follow(TMidiPortKind kind, const std::vector<std::string>& names, bool gone) {
  QComboBox* list = ListOf(kind);
  if (!list) return;
  TPortWatch& watch = WatchOf(kind);
  const QString chosen = list->currentText();
  const bool listed = std::find(names.begin(), names.end(), chosen.toStdString()) != names.end();

  if (watch.Awaited.isEmpty() && !chosen.isEmpty() && (gone || !listed)) {
    ClosePort(kind);
    watch.Awaited = chosen;
    ShowWaiting(kind);
    Log(GoneLine(kind, chosen));
    emit MidiDeviceEvents().DeviceGone(kind, chosen);
  }

  ShowEntries(list, WantedEntries(list, names, watch.Awaited),
              watch.Awaited.isEmpty() ? chosen : watch.Awaited);

  const QString awaited = watch.Awaited;
  if (awaited.isEmpty() || std::find(names.begin(), names.end(), awaited.toStdString()) == names.end()) {
    return;
  }
  if (OpenPort(kind, awaited)) {
    watch.Awaited.clear();
    Log(BackLine(kind, awaited));
    emit MidiDeviceEvents().DeviceBack(kind, awaited);
  } else {
    ShowWaiting(kind);  // tried again at the next notice
  }
}

}  // namespace

TMidiDeviceEvents& MidiDeviceEvents() {
  static TMidiDeviceEvents events;
  return events;
}

QString MidiPort_AwaitedDevice(TMidiPortKind kind) { return WatchOf(kind).Awaited; }

void MidiPorts_WatchDevices() {
  gWatching = true;
  midiSetDevicesChangedListener([] { MidiPorts_DevicesChanged(); });
}

void MidiPorts_StopWatchingDevices() {
  if (gWatching) midiSetDevicesChangedListener(nullptr);
  gWatching = false;
  gPending = false;
  for (TPortWatch& watch : gPorts) watch = TPortWatch{};
}

void MidiPorts_DevicesChanged() {
  if (!gWatching || ShuttingDown || AbortDelay || !fmMain) return;
  if (gOperationDepth > 0) {
    gPending = true;
    return;
  }
  TPortOperation operation;
  // What went first: the ports that were open on it are closed before the
  // lists are read.
  const bool inGone = DeviceGone(mpkIn);
  const bool outGone = DeviceGone(mpkOut);
  const std::vector<std::string> inputs = MidiInDeviceNames();
  const std::vector<std::string> outputs = MidiOutDeviceNames();
  Follow(mpkIn, inputs, inGone);
  Follow(mpkOut, outputs, outGone);
  MirrorBulkList();
  emit MidiDeviceEvents().ListsChanged();
}

bool MidiPort_EndWaiting(TMidiPortKind kind, const QString& chosen) {
  TPortWatch& watch = WatchOf(kind);
  if (watch.Awaited.isEmpty()) return false;
  QComboBox* list = ListOf(kind);
  const int entry = list ? list->findText(watch.Awaited, Qt::MatchExactly | Qt::MatchCaseSensitive) : -1;
  const bool entryMarked = entry >= 0 && !list->itemData(entry, Qt::ToolTipRole).toString().isEmpty();
  if (chosen == watch.Awaited && entryMarked) return true;
  watch.Awaited.clear();
  if (entryMarked) {
    {
      const QSignalBlocker blocker(list);
      list->removeItem(entry);
    }
    if (kind == mpkOut) MirrorBulkList();
  }
  return false;
}

TPortOperation::TPortOperation() { ++gOperationDepth; }

TPortOperation::~TPortOperation() {
  if (--gOperationDepth > 0 || !gPending) return;
  gPending = false;
  QTimer::singleShot(0, [] { MidiPorts_DevicesChanged(); });
}
