// Loop test: checks that what leaves the output comes back on the input.
#include <QAction>

#include <array>
#include <functional>

#include "MidiOut.h"
#include "frmMain.h"
#include "uComm.h"

bool LoopTestRunning = false;

namespace {

constexpr uint32_t kLoopTestWaitMs = 100;

// While it lives, the receive monitor captures the last incoming message and
// the menu entry is disabled: a test started inside the running one (its
// waits process events) would end the capture under it. Both end also when a
// send raises.
class TLoopTestScope {
 public:
  explicit TLoopTestScope(QAction* entry) : FEntry(entry) {
    LoopTestRunning = true;
    FEntry->setEnabled(false);
  }
  ~TLoopTestScope() {
    LoopTestRunning = false;
    FEntry->setEnabled(true);
  }
  TLoopTestScope(const TLoopTestScope&) = delete;
  TLoopTestScope& operator=(const TLoopTestScope&) = delete;

 private:
  QAction* const FEntry;
};

bool LastCaptureIs(uint8_t status, uint8_t data1, uint8_t data2) {
  return LoopRxStatus == status && LoopRxData1 == data1 && LoopRxData2 == data2;
}

}  // namespace

void TfmMain::ActToolsLoopTestExecute(QObject*) {
  if (LoopTestRunning) return;
  TLoopTestScope running(ActToolsLoopTest);
  Log_AddLine(QStringLiteral("Test boucle..."));

  // A message that does not leave ends the test; the log says why above.
  const auto sent = [this](const std::function<void()>& send) {
    try {
      send();
      return true;
    } catch (const EMidiOutputError&) {
      Log_AddLine(QStringLiteral("Test boucle : Envoi impossible !"));
      return false;
    }
  };

  const std::array<uint8_t, 3> noteOn{0x90, 0x3C, 0x40};
  if (!sent([&] { MidiOut_SendBytes(noteOn, noteOn.size(), true); })) return;
  // The Note Off is owed to the device that got the Note On.
  TOwedMessage noteOff([] { return std::vector<uint8_t>{0x80, 0x3C, 0x40}; });
  Delay_MsUntilAbort(kLoopTestWaitMs);
  const bool firstAnswered = LastCaptureIs(0x90, 0x3C, 0x40);

  if (!sent([&] { noteOff.Send(); })) return;
  Delay_MsUntilAbort(kLoopTestWaitMs);
  const bool secondAnswered = LastCaptureIs(0x80, 0x3C, 0x40);

  Log_AddLine(firstAnswered && secondAnswered ? QStringLiteral("Test boucle : OK.")
                                              : QStringLiteral("Test boucle : Pas de réponse !"));
}
