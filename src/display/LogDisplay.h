#pragma once
// How the main window's event log shows the traffic, beyond its line
// formats: filters, details, controller pairs, the clock's tempo and the
// search. With every option at its default the log is what it is without it.
//
//   Affichage → "Affichage du journal…", "Messages affichés…" (the
//               DisplayOptionsDialog at one of its pages), "Paires de
//               contrôleurs" and "Tempo de l'horloge reçue" (on/off)
//   Edition   → "Rechercher…" (Ctrl+F), "Rechercher le suivant" (F3),
//               "Rechercher le précédent" (Shift+F3): the LogSearchBar
//   status bar: while a filter hides anything, how many messages it left out
//               of the log since it was set
//   receive section: the TempoDisplay, right of "Pause (Rx)"
//
// The window makes the object (its QObject child) after its own controls;
// the object adds its actions, widgets and their place in the Tab order. The
// window then asks it, for each traffic line, whether the log shows it and
// with what (Show), gives it every received message for the tempo (Observe)
// and the preferences file at start (LoadPrefs). The options are written to
// that file as soon as they change (DisplayPrefs).
//
// User-interface thread only.

#include <QObject>
#include <QString>

#include <array>
#include <cstdint>

#include "ControllerPairs.h"
#include "DisplayOptionsDialog.h"
#include "DisplayPrefs.h"

class QAction;
class QLabel;
class QTimer;
class LogSearchBar;
class TempoDisplay;
class TfmMain;
struct TMyMidiEvent;

class LogDisplay : public QObject {
  Q_OBJECT

 public:
  explicit LogDisplay(TfmMain& window);

  // What the log shows of one traffic message.
  struct Shown {
    bool Hidden = false;  // left out by the filter (and counted)
    QString Details;      // to append to its line: empty, or the details after their separator
    QString PairLine;     // a line to add after it (a controller pair's value), without time stamp; or empty
  };
  // A received message (its status byte and up to two data bytes).
  Shown ShowIncoming(uint8_t status, uint8_t data1, uint8_t data2);
  // A sent message, from the text of its outgoing line ("90 3C 40", or with
  // " (Non envoyé : …)" after the bytes when the port refused it).
  Shown ShowOutgoing(const QString& text);

  // Every message drained from the input port, logged or not.
  void Observe(const TMyMidiEvent& event);

  // Reads the options from the preferences file and applies them.
  void LoadPrefs(const QString& fileName);
  const DisplayPrefs& Prefs() const { return FPrefs; }
  // Applies new options (and writes them to the preferences file when they changed).
  void SetPrefs(const DisplayPrefs& prefs);

  // Messages the filter left out of the log since it was last changed.
  uint64_t HiddenCount() const { return FHidden; }

  // Opens the dialog at a page, modal; applies what "OK" keeps.
  void ShowOptions(DisplayOptionsDialog::Page page);
  // The dialog while it is open (tests); none otherwise.
  DisplayOptionsDialog* OpenDialog() const { return FDialog; }

  QAction* ActViewLogOptions;
  QAction* ActViewLogFilter;
  QAction* ActViewControllerPairs;
  QAction* ActViewClockTempo;
  QAction* ActEditFind;
  QAction* ActEditFindNext;
  QAction* ActEditFindPrevious;
  QLabel* lblHidden;  // status bar
  TempoDisplay* Tempo;
  LogSearchBar* Search;

 private:
  Shown Show(LogDirection direction, uint8_t status, uint8_t data1, uint8_t data2, bool sent, const char* open,
             const char* close);
  void ShowHiddenCount();
  void SavePrefs() const;

  TfmMain& FWindow;
  DisplayPrefs FPrefs;
  std::array<ControllerPairs, 2> FPairs;  // received, sent
  uint64_t FHidden = 0;
  QTimer* FHiddenTimer;  // shows the count a few times a second at most
  DisplayOptionsDialog* FDialog = nullptr;
};
