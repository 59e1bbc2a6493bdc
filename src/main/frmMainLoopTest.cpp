// Loop test: checks that what leaves the output comes back on the input.
#include "frmMain.h"

bool LoopTestRunning = false;

void TfmMain::ActToolsLoopTestExecute(QObject*) {}
