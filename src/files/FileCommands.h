#pragma once
// The main window's file commands:
//   Fichier → "Enregistrer le journal…"        the log as shown, as UTF-8 text
//   Fichier → "Enregistrer le trafic…" / "Arrêter l'enregistrement du trafic"
//             every incoming and outgoing message from now on, as time-stamped
//             log lines, paused or not and without the log's line limit
//   Fichier → "Enregistrer les SysEx reçus…"   the system-exclusive messages
//             received since start or "Effacer", as a .syx file
//   Outils  → "Envoyer un fichier SysEx…"      the SysexFileSender window
// and the status bar's notices of a running recording and of received
// messages dropped to keep within the memory bound.
//
// The main window makes the object (its QObject child) and binds its actions
// to it; the object takes the window's incoming events and outgoing lines
// through OnMidiInEvent and OnMidiOutLine, the log's text through Log_Text
// and the clearing of the log through btnLogClear.
//
// User-interface thread only. The object owns the recording (whose writer
// thread TrafficRecorder describes), the store of received messages and the
// sender window (a child window of the main window that the object deletes
// with itself). FormCloseQuery stops a send and a recording.

#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>

#include "FileDialogs.h"
#include "FilePrefs.h"

class QLabel;
class QTimer;
class ReceivedSysexStore;
class SysexFileSender;
class TfmMain;
class TrafficRecorder;

class FileCommands : public QObject {
  Q_OBJECT

 public:
  static constexpr int StatusIntervalMs = 500;
  static constexpr int PauseSaveDelayMs = 1000;

  explicit FileCommands(TfmMain& window);
  ~FileCommands() override;

  // "Enregistrer le journal…": asks for a file, then SaveLogTo.
  void SaveLogAs();
  // The log's text, one line per log line; the error text, empty on success.
  QString SaveLogTo(const QString& path);

  // "Enregistrer le trafic…": asks for a file, then RecordTrafficTo.
  void RecordTrafficAs();
  // Starts recording into the file (created or emptied); the error text,
  // empty on success. Refused while a recording runs.
  QString RecordTrafficTo(const QString& path);
  // "Arrêter l'enregistrement du trafic".
  void StopTrafficRecording();
  bool Recording() const;
  // The running recording; none when no recording runs.
  TrafficRecorder* Recorder() const { return FRecorder.get(); }

  // "Enregistrer les SysEx reçus…": shows the count and size, asks for a
  // file, then SaveReceivedSysexTo.
  void SaveReceivedSysexAs();
  QString SaveReceivedSysexTo(const QString& path);
  ReceivedSysexStore& ReceivedSysex() const { return *FReceivedSysex; }

  // "Envoyer un fichier SysEx…": shows the sender window, made at first use.
  void ShowSysexFileSender();
  SysexFileSender* Sender() const;

  // The main window's close request: stops a send and a recording, closes
  // the sender window.
  void FormCloseQuery();

  // Checks the recording (ended by a failure?) and shows its size; run every
  // StatusIntervalMs while a recording runs.
  void UpdateRecordingStatus();

  // The remembered folders and pause (read from the preferences file at first use).
  FilePrefs& Prefs();
  FileDialogs Dialogs;  // tests answer in advance

  QLabel* lblRecording;     // status bar: the running recording and its size
  QLabel* lblSysexDropped;  // status bar: received messages were dropped

 private:
  void SavePrefs();
  // `folder`, or the user's documents folder when it is empty or gone.
  static QString FolderOr(const QString& folder);
  // "<folder>/orvalis-<kind>-<date>-<time>.<extension>".
  static QString ProposedPath(const QString& folder, const QString& kind, const QString& extension);
  void EndRecording();
  void UpdateActions();

  TfmMain& FWindow;
  ReceivedSysexStore* FReceivedSysex;  // child
  std::unique_ptr<TrafficRecorder> FRecorder;
  QTimer* FStatusTimer;     // child
  QTimer* FPauseSaveTimer;  // child
  QPointer<SysexFileSender> FSender;  // child window of the main window
  std::optional<FilePrefs> FPrefs;
};
