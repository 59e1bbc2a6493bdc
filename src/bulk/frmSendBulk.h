#pragma once

#include <QWidget>

#include <array>
#include <cstdint>

#include "uUserPrefs.h"

class QButtonGroup;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QToolButton;
class TBulkSpinBox;

// True while a bulk sweep runs (inside the handling of the Start click).
// User-interface thread only.
extern bool SendBulkRunning;

// The bulk-send window "Envoi par paquets": sweeps the channel, byte #2 and
// byte #3 of Control Change, Program Change or Note messages over ranges, and
// keeps its settings in the current one of sixteen presets of UserPrefs.
// Created hidden at start, shown by the main window's tool action; closing it
// only hides it. It owns its controls (Qt parent ownership); everything runs
// on the user-interface thread, and a sweep pumps events, so the other
// handlers may run nested inside it.
class TfmSendBulk : public QWidget {
  Q_OBJECT

 public:
  explicit TfmSendBulk(QWidget* parent = nullptr);
  ~TfmSendBulk() override;

  void FormCreate(QObject* Sender);
  void cbMIDIOutChange(QObject* Sender);
  void cbData0LoopClick(QObject* Sender);
  void rbControlChangeClick(QObject* Sender);
  void edData0MinChange(QObject* Sender);
  // Runs the whole sweep. A message that the port refuses ends it, the memo
  // saying which and why. Does nothing while a sweep runs.
  void btnSendBulkStartClick(QObject* Sender);
  // Ends the sweep: at once during a wait, otherwise at its next check. Start
  // is enabled again once the sweep has returned.
  void btnSendBulkStopClick(QObject* Sender);
  void AdvToolButton1Click(QObject* Sender);
  void Preset_Recall(int32_t Index);

  // Preset buttons by tag (caption "1" is tag 0); their object names are
  // AdvToolButton1..16 in the order of the preset table.
  std::array<QToolButton*, SendBulkPresetCount> PresetButtons{};
  QButtonGroup* PresetGroup;
  QLabel* Label3;
  QLabel* Label1;
  QComboBox* cbMIDIOut;
  QPushButton* btnSendBulkStart;
  QPushButton* btnSendBulkStop;
  QGroupBox* GroupBox3;
  QCheckBox* cbData0Loop;
  QCheckBox* cbData1Loop;
  QCheckBox* cbData2Loop;
  QCheckBox* cbLoopInfinite;
  QLabel* lblData0Min;
  TBulkSpinBox* edData0Min;
  QLabel* lblData0Max;
  TBulkSpinBox* edData0Max;
  QLabel* lblData1Min;
  TBulkSpinBox* edData1Min;
  QLabel* lblData1Max;
  TBulkSpinBox* edData1Max;
  QLabel* lblData2Min;
  TBulkSpinBox* edData2Min;
  QLabel* lblData2Max;
  TBulkSpinBox* edData2Max;
  QLabel* Label9;
  TBulkSpinBox* edLoopDelay;
  QLabel* Label11;
  QRadioButton* rbControlChange;
  QRadioButton* rbProgramChange;
  QRadioButton* rbNote;
  QLabel* Label2;
  QPlainTextEdit* Memo1;

  // Lines Memo1 keeps: the newest ones, so that an endless sweep does not
  // grow it without end.
  static constexpr int MemoMaxLines = 10000;

 private:
  void CreatePresetButtons();
  void CreateControls();
  void ConnectHandlers();
  void SetTabOrder();
  // Accessible names and descriptions; Enter on the buttons.
  void SetUpAccessibility();
  void AddLine(const QString& line);
  // One pass over the three ranges; returns the number of messages sent.
  int SweepPass();
  int SweepByte3(uint8_t status, int d1);

  bool FSweeping = false;  // inside btnSendBulkStartClick
};

// The bulk-send window; none before it is created and after it is destroyed.
extern TfmSendBulk* fmSendBulk;
