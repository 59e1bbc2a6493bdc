#pragma once

#include <QWidget>

class QComboBox;

// The bulk-send window "Envoi par paquets": created hidden at start, shown by
// the main window's tool action; closing it only hides it.
class TfmSendBulk : public QWidget {
  Q_OBJECT

 public:
  explicit TfmSendBulk(QWidget* parent = nullptr);
  ~TfmSendBulk() override;

  void FormCreate(QObject* Sender);
  void cbMIDIOutChange(QObject* Sender);

  QComboBox* cbMIDIOut;
};

// The bulk-send window; none before it is created and after it is destroyed.
extern TfmSendBulk* fmSendBulk;
