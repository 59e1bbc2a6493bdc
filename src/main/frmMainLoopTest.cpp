// Loop test: checks that what leaves the output comes back on the input.
#include <array>

#include "frmMain.h"
#include "uComm.h"

bool LoopTestRunning = false;

namespace {

constexpr uint32_t kLoopTestWaitMs = 100;

// While it lives, the receive monitor captures the last incoming message; it
// stops also when a send raises.
class TLoopTestScope {
 public:
  TLoopTestScope() { LoopTestRunning = true; }
  ~TLoopTestScope() { LoopTestRunning = false; }
  TLoopTestScope(const TLoopTestScope&) = delete;
  TLoopTestScope& operator=(const TLoopTestScope&) = delete;
};

bool LastCaptureIs(uint8_t status, uint8_t data1, uint8_t data2) {
  return LoopRxStatus == status && LoopRxData1 == data1 && LoopRxData2 == data2;
}

}  // namespace

void TfmMain::ActToolsLoopTestExecute(QObject*) {
  TLoopTestScope running;
  Log_AddLine(QStringLiteral("Test boucle..."));

  const std::array<uint8_t, 3> noteOn{0x90, 0x3C, 0x40};
  MidiOut_SendBytes(noteOn, 3, true);
  Delay_MsUntilAbort(kLoopTestWaitMs);
  const bool firstAnswered = LastCaptureIs(0x90, 0x3C, 0x40);

  const std::array<uint8_t, 3> noteOff{0x80, 0x3C, 0x40};
  MidiOut_SendBytes(noteOff, 3, true);
  Delay_MsUntilAbort(kLoopTestWaitMs);
  const bool secondAnswered = LastCaptureIs(0x80, 0x3C, 0x40);

  Log_AddLine(firstAnswered && secondAnswered ? QStringLiteral("Test boucle : OK.")
                                              : QStringLiteral("Test boucle : Pas de réponse !"));
}
