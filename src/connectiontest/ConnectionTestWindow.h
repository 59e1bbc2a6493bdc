#pragma once
// The window "Test de liaison" (Outils → "Test de liaison…"): sends a run of
// numbered messages to the main window's output and matches what comes back
// on its input (a cable from an interface's out to its in, a device that
// echoes, a through port, the built-in loopback, a JACK route), showing while
// it runs the progress, the counts of what was sent, received, lost, out of
// order, corrupted and duplicated, the latency figures and two charts. At the
// end the main window's log gets one summary line, and every message's
// figures can be saved as CSV.
//
// It shares the main window's ports: it sends through the send routine
// (unlogged, counted) and is handed every incoming event by the main
// window's receive monitor (TfmMain::OnConnectionTestEvent) while a run goes
// on, so the log and the counters work as ever. A device that goes away, a
// device list changed in the main window, or an output that refuses a
// message ends the run with the reason shown.
//
// Not modal; timers drive the run, so both windows stay responsive. Closing
// it stops a run. User-interface thread only. The window owns its controls,
// timers and the last run (Qt parent ownership, unique_ptr); the main window
// and the dialogs outlive it (it is the main window's child).

#include <QPointer>
#include <QWidget>

#include <memory>

#include "CsvExport.h"
#include "LinkTestPrefs.h"
#include "LinkTestRun.h"

class FileDialogs;
class LatencyCharts;
class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTimer;
class TfmMain;

class ConnectionTestWindow : public QWidget {
  Q_OBJECT

 public:
  static constexpr int FiguresIntervalMs = 100;
  static constexpr int ChartsIntervalMs = 500;

  ConnectionTestWindow(TfmMain& mainWindow, FileDialogs& dialogs, QWidget* parent = nullptr);
  ~ConnectionTestWindow() override;

  // "Démarrer": checks that an output and an input are open, remembers the
  // settings, and starts a run; the reason in the window when it cannot.
  void StartRun();
  // "Arrêter".
  void StopRun();
  // "Enregistrer en CSV…": asks for a file, then SaveCsvTo.
  void SaveCsv();
  // The error text, empty on success.
  QString SaveCsvTo(const QString& path);

  bool Running() const { return FRun && FRun->Running(); }
  // The last run, running or ended; none before the first.
  const LinkTestRun* Run() const { return FRun.get(); }
  LinkTestSettings SettingsShown() const;
  void ShowSettings(const LinkTestSettings& settings);
  // The text under the figures: what happened, what went wrong.
  QString MessageText() const;
  // Draws the counts, the latency figures and the charts now.
  void RefreshFigures();
  // For tests: the clock of the runs started from now on. With a clock of
  // the test's own, the output's driver times are left out, so
  // that both ends of a latency come from that clock.
  void SetClock(LinkTestRun::Clock clock) {
    FClock = std::move(clock);
    FUseDriverSendTimes = false;
  }

  QComboBox* cbKind;
  QSpinBox* seSysexLength;
  QSpinBox* seCount;
  QRadioButton* rbRate;
  QSpinBox* seRate;
  QRadioButton* rbOneInFlight;
  QSpinBox* seTimeout;
  QSpinBox* seWarmUp;
  QCheckBox* chkRandomMoments;
  QLabel* lblRoute;
  QPushButton* btnStart;
  QPushButton* btnStop;
  QPushButton* btnSaveCsv;
  QProgressBar* pbProgress;
  QLabel* lblSent;
  QLabel* lblReceived;
  QLabel* lblLost;
  QLabel* lblOutOfOrder;
  QLabel* lblCorrupted;
  QLabel* lblDuplicates;
  QLabel* lblMin;
  QLabel* lblMedian;
  QLabel* lblP95;
  QLabel* lblP99;
  QLabel* lblMax;
  QLabel* lblMean;
  QLabel* lblJitter;
  QLabel* lblPeakToPeak;
  QLabel* lblMeanDeviation;
  QLabel* lblMessage;
  LatencyCharts* Charts;

 signals:
  // Once per run, when it has ended, after the log line.
  void RunEnded();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Tick();
  void Finish();
  void ShowRoute();
  void UpdateControls();
  void SavePrefs();
  void EndOnChange(const QString& reason);
  QString Verdict() const;

  TfmMain& FMain;
  FileDialogs& FDialogs;
  LinkTestPrefs FPrefs;
  bool FPrefsLoaded = false;
  LinkTestRun::Clock FClock = &LinkTestRun::SteadyMicros;
  bool FUseDriverSendTimes = true;
  std::unique_ptr<LinkTestRun> FRun;
  LinkTestRoute FRunRoute;  // the devices of FRun
  QTimer* FTickTimer;
  QTimer* FFiguresTimer;
  int FFiguresSinceCharts = 0;
  bool FInTick = false;
};
