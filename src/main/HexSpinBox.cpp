#include "HexSpinBox.h"

THexSpinBox::THexSpinBox(QWidget* parent) : QSpinBox(parent) {
  setRange(0, 255);
  setDisplayIntegerBase(16);
}

QString THexSpinBox::textFromValue(int value) const {
  return QStringLiteral("%1").arg(value, 2, 16, QLatin1Char('0')).toUpper();
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
