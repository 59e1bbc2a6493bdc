// Transmit panel: two rows of three bytes, four send modes, single and
// continuous sending.
#include <QCheckBox>
#include <QCoreApplication>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <vector>

#include "HexSpinBox.h"
#include "MidiOut.h"
#include "frmMain.h"
#include "uComm.h"

TTxModeValues TxModeValues{};

void TxModeValues_SetDefaults() {
  TxModeValues[txmNote] = {TTxModeRow{0x90, 0x3C, 0x40}, TTxModeRow{0x80, 0x3C, 0x00}};
  TxModeValues[txmControlChange] = {TTxModeRow{0xB0, 0x01, 0x02}, TTxModeRow{0xB0, 0x01, 0x02}};
  TxModeValues[txmProgramChange] = {TTxModeRow{0xC0, 0x01, 0x00}, TTxModeRow{0xC0, 0x01, 0x00}};
  TxModeValues[txmOther] = {TTxModeRow{0x90, 0x3C, 0x40}, TTxModeRow{0x80, 0x3C, 0x00}};
}

namespace {

struct TTxModeCaptions {
  const char* Data[2][3];
  const char* Send[2];
};

const TTxModeCaptions kTxModeCaptions[4] = {
    {{{"NoteOn", "Valeur", "Vélocité"}, {"NoteOff", "Valeur", "Vélocité"}},
     {"Envoyer NoteOn", "Envoyer NoteOff"}},
    {{{"CC", "Numéro", "Valeur"}, {"CC", "Numéro", "Valeur"}}, {"Envoyer C.C.", "Envoyer C.C."}},
    {{{"PC", "Numéro", ""}, {"PC", "Numéro", ""}}, {"Envoyer P.C.", "Envoyer P.C."}},
    {{{"DataA1", "DataA2", "DataA3"}, {"DataB1", "DataB2", "DataB3"}},
     {"Envoyer Data A", "Envoyer Data B"}},
};

// A delay field as an unsigned wait; the field never holds a negative value,
// and anything below 0 would otherwise become a wait of about 49 days.
uint32_t DelayMs(const QSpinBox* edit) { return static_cast<uint32_t>(std::max(0, edit->value())); }

}  // namespace

void TfmMain::rbSendNoteClick(QObject* Sender) {
  THexSpinBox* const fields[2][3] = {{edData11, edData12, edData13}, {edData21, edData22, edData23}};
  QLabel* const labels[2][3] = {{lblData11, lblData12, lblData13}, {lblData21, lblData22, lblData23}};
  {
    // Loading a mode's values must not store them back.
    QSignalBlocker b11(edData11), b12(edData12), b13(edData13);
    QSignalBlocker b21(edData21), b22(edData22), b23(edData23);

    const bool thirdByte = !rbSendPC->isChecked();
    for (QWidget* w : {static_cast<QWidget*>(edData13), static_cast<QWidget*>(edData23),
                       static_cast<QWidget*>(lblData13), static_cast<QWidget*>(lblData23)}) {
      w->setVisible(thirdByte);
    }

    int mode = -1;
    if (Sender == rbSendNote) mode = txmNote;
    else if (Sender == rbSendCC) mode = txmControlChange;
    else if (Sender == rbSendPC) mode = txmProgramChange;
    else if (Sender == rbSendOther) mode = txmOther;
    if (mode >= 0) {
      const TTxModeCaptions& captions = kTxModeCaptions[mode];
      for (int row = 0; row < 2; ++row) {
        for (int col = 0; col < 3; ++col) {
          labels[row][col]->setText(QString::fromUtf8(captions.Data[row][col]));
          labels[row][col]->adjustSize();
          fields[row][col]->setValue(TxModeValues[mode][row][col]);
        }
      }
      btnSendData1->setText(QString::fromUtf8(captions.Send[0]));
      btnSendData2->setText(QString::fromUtf8(captions.Send[1]));
    }
  }
  lblNoteOnNotEqualNoteOff->setVisible(rbSendNote->isChecked() && edData12->value() != edData22->value());
}

void TfmMain::edData11Change(QObject*) {
  int mode = -1;
  if (rbSendNote->isChecked()) mode = txmNote;
  else if (rbSendCC->isChecked()) mode = txmControlChange;
  else if (rbSendPC->isChecked()) mode = txmProgramChange;
  else if (rbSendOther->isChecked()) mode = txmOther;
  if (mode >= 0) {
    TxModeValues[mode][0] = {edData11->Byte(), edData12->Byte(), edData13->Byte()};
    TxModeValues[mode][1] = {edData21->Byte(), edData22->Byte(), edData23->Byte()};
  }
  lblNoteOnNotEqualNoteOff->setVisible(rbSendNote->isChecked() && edData12->value() != edData22->value());
}

void TfmMain::btnSendData1Click(QObject*) {
  const size_t count = rbSendPC->isChecked() ? 2 : 3;
  const uint8_t data[3] = {edData11->Byte(), edData12->Byte(), edData13->Byte()};
  MidiOut_SendBytes(data, count, true);
}

void TfmMain::btnSendData2Click(QObject*) {
  const size_t count = rbSendPC->isChecked() ? 2 : 3;
  const uint8_t data[3] = {edData21->Byte(), edData22->Byte(), edData23->Byte()};
  MidiOut_SendBytes(data, count, true);
}

// Runs inside the click that checks the box and returns at the end of the
// first cycle that finds it unchecked. A message that the port refuses stops
// the loop at once: the reason goes into the log and the box is unchecked.
// Every value is read when it is used, so edits made meanwhile take effect at
// once.
void TfmMain::btnMidiSendContinuousClick(QObject*) {
  cbMidiSendWithDelay->setEnabled(btnMidiSendContinuous->isChecked());
  if (!btnMidiSendContinuous->isChecked()) return;
  try {
    do {
      QCoreApplication::processEvents();
      const uint8_t rowA[3] = {edData11->Byte(), edData12->Byte(), edData13->Byte()};
      MidiOut_SendBytes(rowA, 3, true);
      // Row B completes the cycle (the Note Off of Note mode), on this device.
      TOwedMessage rowB([this] { return std::vector<uint8_t>{edData21->Byte(), edData22->Byte(), edData23->Byte()}; });
      if (cbMidiSendWithDelay->isChecked()) Delay_MsUntilAbort(DelayMs(edMidiSendDelayBeforeNoteOff));
      rowB.Send();
      if (cbMidiSendWithDelay->isChecked()) Delay_MsUntilAbort(DelayMs(edMidiSendDelayBeforeNoteOn));
    } while (btnMidiSendContinuous->isChecked());
  } catch (const EMidiOutputError& error) {
    Log_AddLine(QStringLiteral("Envoi en continu arrêté : ") + QString::fromUtf8(error.what()));
    btnMidiSendContinuous->setChecked(false);
  }
}

void TfmMain::cbMidiSendWithDelayClick(QObject*) {
  const bool enabled = btnMidiSendContinuous->isChecked() && cbMidiSendWithDelay->isChecked();
  edMidiSendDelayBeforeNoteOn->setEnabled(enabled);
  edMidiSendDelayBeforeNoteOff->setEnabled(enabled);
}
