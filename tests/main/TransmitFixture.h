#pragma once
// The main window on the scriptable back end, with helpers for what the
// transmit side sent: the outgoing log lines and the messages on the wire.
#include <QCheckBox>
#include <QPushButton>
#include <QSignalBlocker>

#include "MainWindowFixture.h"

class TransmitFixture : public MainWindowFixture {
 protected:
  // The outgoing lines of the log, without their "[Midi-Out] - " prefix.
  QStringList OutLines() const {
    QStringList out;
    for (const QString& line : LogLines()) {
      if (line.startsWith("[Midi-Out] - ")) out << line.mid(13);
    }
    return out;
  }

  // Short messages on the wire as their bytes' text ("90 3C 40"), by count.
  static QString Packed(uint32_t message, int count) {
    QStringList bytes;
    for (int i = 0; i < count; ++i) {
      bytes << QStringLiteral("%1").arg((message >> (8 * i)) & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    }
    return bytes.join(' ');
  }

  // Sets a check box without running its handler.
  static void SetQuietly(QCheckBox* box, bool checked) {
    const QSignalBlocker blocker(box);
    box->setChecked(checked);
  }
};
