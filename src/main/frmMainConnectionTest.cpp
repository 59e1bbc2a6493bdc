// The connection test window (Outils → "Test de liaison…").
#include "ConnectionTestWindow.h"
#include "FileCommands.h"
#include "frmMain.h"

void TfmMain::ActToolsConnectionTestExecute(QObject*) {
  if (!ConnectionTest) ConnectionTest = new ConnectionTestWindow(*this, Files->Dialogs, this);
  ConnectionTest->show();
  ConnectionTest->raise();
  ConnectionTest->activateWindow();
}
