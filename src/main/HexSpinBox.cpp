#include "HexSpinBox.h"

#include "MidiText.h"

THexSpinBox::THexSpinBox(QWidget* parent) : QSpinBox(parent) {
  setRange(0, 255);
  setDisplayIntegerBase(16);
  DescribeValue();
  connect(this, &QSpinBox::valueChanged, this, &THexSpinBox::DescribeValue);
}

void THexSpinBox::DescribeValue() {
  setAccessibleDescription(QStringLiteral("valeur hexadécimale %1").arg(textFromValue(value())));
}

QString THexSpinBox::textFromValue(int value) const {
  return HexByteText(static_cast<uint8_t>(value & 0xFF));
}

int THexSpinBox::valueFromText(const QString& text) const {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 16);
  return ok ? value : 0;
}

QValidator::State THexSpinBox::validate(QString& input, int&) const {
  const QString text = input.trimmed();
  if (text.isEmpty()) return QValidator::Intermediate;
  if (text.size() > 2) return QValidator::Invalid;
  bool ok = false;
  const int value = text.toInt(&ok, 16);
  if (!ok) return QValidator::Invalid;
  return value >= minimum() && value <= maximum() ? QValidator::Acceptable : QValidator::Invalid;
}
