// Transport commands: Play, Stop, Continue and Rec as real-time bytes, MMC
// strings or control-surface button presses.
#include "frmMain.h"

void TfmMain::cbMidiSendRTClick(QObject*) {}
void TfmMain::btnSendRTStartClick(QObject*) {}
void TfmMain::btnSendRTStopClick(QObject*) {}
void TfmMain::btnSendRTContinueClick(QObject*) {}
void TfmMain::btnSendRTRecClick(QObject*) {}
