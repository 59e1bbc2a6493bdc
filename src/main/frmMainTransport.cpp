// Transport commands: Play, Stop, Continue and Rec as real-time bytes, MMC
// strings or control-surface button presses.
#include <QCheckBox>
#include <QPushButton>
#include <QSignalBlocker>

#include <array>
#include <vector>

#include "frmMain.h"
#include "uComm.h"

namespace {

constexpr uint8_t kMmcPlay = 0x02;
constexpr uint8_t kMmcStop = 0x01;
constexpr uint8_t kMmcRecordStrobe = 0x06;
constexpr uint8_t kMcpPlay = 0x5E;
constexpr uint8_t kMcpStop = 0x5D;
constexpr uint8_t kMcpRec = 0x5F;
constexpr uint32_t kMcpPressMs = 100;

void SendMmc(uint8_t command) {
  const std::array<uint8_t, 6> data{0xF0, 0x7F, 0x00, 0x06, command, 0xF7};
  MidiOut_SendBytes(data, data.size(), true);
}

void SendRealTime(uint8_t status) { MidiOut_SendBytes(&status, 1, true); }

// A control-surface button: press, hold, release. The release is owed to the
// device that got the press.
void SendMcpButton(uint8_t note) {
  const std::array<uint8_t, 3> press{0x90, note, 0x7F};
  MidiOut_SendBytes(press, 3, true);
  TOwedMessage release([note] { return std::vector<uint8_t>{0x90, note, 0x00}; });
  Delay_MsUntilAbort(kMcpPressMs);
  release.Send();
}

}  // namespace

void TfmMain::cbMidiSendRTClick(QObject* Sender) {
  {
    QSignalBlocker rt(cbMidiSendRT), mmc(cbMidiSendMMC), mcp(cbMidiSendMCP);
    cbMidiSendRT->setChecked(Sender == cbMidiSendRT);
    cbMidiSendMMC->setChecked(Sender == cbMidiSendMMC);
    cbMidiSendMCP->setChecked(Sender == cbMidiSendMCP);
  }
  btnSendRTContinue->setEnabled(cbMidiSendRT->isChecked());
  btnSendRTRec->setEnabled(cbMidiSendMCP->isChecked() || cbMidiSendMMC->isChecked());
}

void TfmMain::btnSendRTStartClick(QObject*) {
  if (cbMidiSendMMC->isChecked()) SendMmc(kMmcPlay);
  else if (cbMidiSendRT->isChecked()) SendRealTime(0xFA);
  else if (cbMidiSendMCP->isChecked()) SendMcpButton(kMcpPlay);
}

void TfmMain::btnSendRTStopClick(QObject*) {
  if (cbMidiSendMMC->isChecked()) SendMmc(kMmcStop);
  else if (cbMidiSendRT->isChecked()) SendRealTime(0xFC);
  else if (cbMidiSendMCP->isChecked()) SendMcpButton(kMcpStop);
}

void TfmMain::btnSendRTContinueClick(QObject*) { SendRealTime(0xFB); }

void TfmMain::btnSendRTRecClick(QObject*) {
  if (cbMidiSendMMC->isChecked()) SendMmc(kMmcRecordStrobe);
  else if (cbMidiSendMCP->isChecked()) SendMcpButton(kMcpRec);
}
