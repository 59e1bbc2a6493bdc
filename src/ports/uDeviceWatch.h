#pragma once
// Devices that come and go while the program runs, on the port manager's side.
//
// From the enumeration on (MidiPorts_WatchDevices), the MIDI services call
// MidiPorts_DevicesChanged whenever the system's devices may have changed.
// Each call:
//  - closes a port whose device went away (its shape turns red, its hint says
//    why, the log names the device) and makes the port wait for that device;
//    a chosen device that goes while its port is closed is awaited too;
//  - reads both device lists again and shows them in the main window and in
//    the bulk window's output list: the chosen entry stays chosen by its name,
//    and an awaited device keeps its entry, marked, where it was;
//  - opens a port again on its awaited device once that is back, and logs it.
// Choosing another device in a list ends the waiting (MidiPort_EndWaiting,
// from the list's change handler).
//
// Threads: user-interface thread only. A call that comes while a port is being
// opened or closed (their waits process events) is held until the last such
// operation has ended, then made once.

#include <QObject>
#include <QString>

enum TMidiPortKind { mpkIn, mpkOut };

// The notices of this unit, for whoever follows the devices (the log is
// written here already). Signals are emitted on the user-interface thread.
class TMidiDeviceEvents : public QObject {
  Q_OBJECT

 signals:
  // The chosen device of the port went away; the port is closed and waits for it.
  void DeviceGone(TMidiPortKind kind, const QString& name);
  // The awaited device came back and the port is open on it again.
  void DeviceBack(TMidiPortKind kind, const QString& name);
  // The device lists were read again and shown.
  void ListsChanged();
};
TMidiDeviceEvents& MidiDeviceEvents();

// The device that the port waits for (its chosen device, gone away); empty
// when it waits for none.
QString MidiPort_AwaitedDevice(TMidiPortKind kind);

// Has the services call MidiPorts_DevicesChanged from now on (the
// enumeration does it); MidiPorts_StopWatchingDevices ends it and forgets
// every waiting (the port manager's end).
void MidiPorts_WatchDevices();
void MidiPorts_StopWatchingDevices();
void MidiPorts_DevicesChanged();

// A list's change handler, before it opens the device of the entry now chosen
// (`chosen`): returns true when that is the awaited device itself (the port
// keeps waiting, nothing is to be opened); otherwise ends the waiting, takes
// the awaited device's entry out of the lists and returns false.
bool MidiPort_EndWaiting(TMidiPortKind kind, const QString& chosen);

// Held by the port manager's open and close operations for their length.
class TPortOperation {
 public:
  TPortOperation();
  ~TPortOperation();
  TPortOperation(const TPortOperation&) = delete;
  TPortOperation& operator=(const TPortOperation&) = delete;
};
