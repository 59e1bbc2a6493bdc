#include "frmSendBulk.h"

#include <QComboBox>
#include <QSignalBlocker>

#include "frmMain.h"
#include "uUserPrefs.h"

TfmSendBulk* fmSendBulk = nullptr;

TfmSendBulk::TfmSendBulk(QWidget* parent) : QWidget(parent, Qt::Window) {
  setWindowTitle("Envoi par paquets");
  resize(497, 418);
  cbMIDIOut = new QComboBox(this);
  cbMIDIOut->setGeometry(16, 65, 297, 22);
  connect(cbMIDIOut, &QComboBox::currentIndexChanged, this, [this] { cbMIDIOutChange(cbMIDIOut); });
}

TfmSendBulk::~TfmSendBulk() {
  if (fmSendBulk == this) fmSendBulk = nullptr;
}

void TfmSendBulk::FormCreate(QObject*) {
  const QSignalBlocker blocker(cbMIDIOut);
  cbMIDIOut->clear();
  if (!fmMain) return;
  for (int i = 0; i < fmMain->cbMIDIOut->count(); ++i) cbMIDIOut->addItem(fmMain->cbMIDIOut->itemText(i));
  cbMIDIOut->setCurrentIndex(fmMain->cbMIDIOut->currentIndex());
  UserPrefs.PresetIndex = 0;
}

void TfmSendBulk::cbMIDIOutChange(QObject*) {
  if (!fmMain) return;
  {
    const QSignalBlocker blocker(fmMain->cbMIDIOut);
    fmMain->cbMIDIOut->setCurrentIndex(cbMIDIOut->currentIndex());
  }
  fmMain->cbMIDIOutChange(cbMIDIOut);
}
