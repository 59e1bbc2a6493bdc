#pragma once
// The search field under the event log: Ctrl+F shows it and puts the
// keyboard in it; Enter or F3 shows the next line that holds the text (or the
// hexadecimal bytes, LogSearch.h), Shift+Enter or Shift+F3 the previous one,
// round the end of the log. A found line becomes the log's cursor line and is
// selected, so the log stops following the newest line, as when the user
// scrolls; End or Escape in the log follow it again. Escape in the field, or
// "Fermer", hides the bar and gives the keyboard back to the log. The bar
// hides with the log (the receive section hidden) and comes back with it.
//
// User-interface thread only; owned by its Qt parent (the window's central
// widget).

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;
class TLogView;

class LogSearchBar : public QWidget {
  Q_OBJECT

 public:
  LogSearchBar(TLogView& log, QWidget* parent);

  // Shows the bar with the keyboard in the field, its text selected.
  void Open();
  void Close();
  bool IsOpen() const { return FOpen; }
  // The next (previous) line that matches, shown in the log; opens the bar
  // when its field is empty. False when no line matches.
  bool FindNext();
  bool FindPrevious();

  QLabel* lblFind;
  QLineEdit* edFind;
  QPushButton* btnFindPrevious;
  QPushButton* btnFindNext;
  QLabel* lblFindResult;
  QPushButton* btnFindClose;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool Find(bool forward);

  TLogView& FLog;
  bool FOpen = false;
};
