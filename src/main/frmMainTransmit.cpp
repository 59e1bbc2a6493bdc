// Transmit panel: two rows of three bytes, four send modes, single and
// continuous sending.
#include "frmMain.h"

TTxModeValues TxModeValues{};

void TxModeValues_SetDefaults() {}

void TfmMain::rbSendNoteClick(QObject*) {}
void TfmMain::edData11Change(QObject*) {}
void TfmMain::btnSendData1Click(QObject*) {}
void TfmMain::btnSendData2Click(QObject*) {}
void TfmMain::btnMidiSendContinuousClick(QObject*) {}
void TfmMain::cbMidiSendWithDelayClick(QObject*) {}
