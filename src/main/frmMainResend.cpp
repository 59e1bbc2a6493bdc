// Re-send from the log: a click shows a line's bytes, a double click sends them.
#include "frmMain.h"

void TfmMain::MemoLogClick(QObject*) {}
void TfmMain::MemoLogDblClick(QObject*) {}
void TfmMain::Log_PickLine(bool) {}
void TfmMain::Log_SendHexText(const QString&) {}

uint32_t ParseHexText(const QString&) { return 0; }
