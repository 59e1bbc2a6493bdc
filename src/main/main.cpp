// Program entry: the port manager starts before any window and ends after the
// event loop; the main window, then the hidden bulk-send window, are created
// in between.
#include <QTimer>
#include <QtGlobal>

#include <memory>

#include "MidiServices.h"
#include "OrvalisApplication.h"
#include "QtTranslations.h"
#include "TerminationSignals.h"
#include "backends/SystemMidiServices.h"
#include "frmMain.h"
#include "frmSendBulk.h"
#include "uComm.h"

namespace {

// The program has no console output: the toolkit's own diagnostics are dropped too.
void DiscardMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

}  // namespace

int main(int argc, char** argv) {
  qInstallMessageHandler(DiscardMessage);
  TOrvalisApplication app(argc, argv);
  InstallQtFrenchTexts(app);
  InstallMidiServices(CreateSystemMidiServices());
  TMidiPortsSession ports;
  int result = 0;
  {
    // A session ending or `kill` closes the program like its own close
    // command; a signal that comes during start-up is acted on once the main
    // event loop runs.
    TTerminationSignals termination([] {
      if (fmMain) fmMain->CloseAtSessionEnd();
      QCoreApplication::quit();
    });
    auto mainWindow = std::make_unique<TfmMain>();
    fmMain = mainWindow.get();
    try {
      fmMain->FormCreate(fmMain);
    } catch (...) {
      // The window stays up in the state the completed steps left.
    }
    auto bulkWindow = std::make_unique<TfmSendBulk>();
    bulkWindow->setAttribute(Qt::WA_QuitOnClose, false);
    fmSendBulk = bulkWindow.get();
    TOrvalisApplication::RunGuarded([&] { fmSendBulk->FormCreate(fmSendBulk); });

    QTimer::singleShot(0, &termination, &TTerminationSignals::Enable);
    result = app.exec();
  }
  return result;
}
