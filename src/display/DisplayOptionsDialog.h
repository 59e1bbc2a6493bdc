#pragma once
// "Affichage du journal": the log's display options in one small dialog.
//   Messages affichés: the directions, the kinds of message and the
//   channels that the log shows (LogFilter), and, with them, the receive
//   section's "Filtrer TimeCode", which drops timing clock at the input
//   (not counted, no tempo);
//   Détails: what each line gets (MessageDetails), the controller pairs, the
//   clock's tempo.
// "OK" keeps what the dialog shows, "Annuler" nothing; the caller reads the
// values back. Every control has a mnemonic (its own or its caption's).
//
// User-interface thread only; owned by its Qt parent.

#include <QDialog>

#include "DisplayPrefs.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;
class QTabWidget;

class DisplayOptionsDialog : public QDialog {
  Q_OBJECT

 public:
  enum class Page { Filter, Details };

  DisplayOptionsDialog(const DisplayPrefs& prefs, bool dropClockAtInput, QWidget* parent);

  void ShowPage(Page page);
  // What the dialog shows now.
  DisplayPrefs Prefs() const;
  bool DropClockAtInput() const;

  QTabWidget* tabs;
  // Messages affichés
  QCheckBox* cbShowIn;
  QCheckBox* cbShowOut;
  QLabel* lblKinds;
  QListWidget* lstKinds;      // one checkable item per MessageKind, in its order
  QLabel* lblChannels;
  QListWidget* lstChannels;   // channels 1 to 16, checkable
  QCheckBox* cbDropClockAtInput;
  QPushButton* btnShowAll;
  // Détails
  QCheckBox* cbDecimal;
  QCheckBox* cbChannel;
  QCheckBox* cbNoteName;
  QLabel* lblMiddleC;
  QComboBox* cbMiddleC;       // "C4" (index 0) or "C3"
  QCheckBox* cbControllerName;
  QCheckBox* cbProgramNumber;
  QCheckBox* cbControllerPairs;
  QCheckBox* cbClockTempo;
};

// The dialog's caption of a kind ("Notes (Note On, Note Off)").
QString MessageKindCaption(MessageKind kind);
