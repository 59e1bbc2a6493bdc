#include "BulkSpinBox.h"

#include <QLineEdit>

#include <algorithm>

namespace {

// What a box accepts while the user types: every value with no more digits
// than its maximum has (a byte in a hexadecimal box).
int TypingLimit(bool hex, int maximum) {
  if (hex) return 0xFF;
  int limit = 9;
  while (limit < maximum) limit = limit * 10 + 9;
  return limit;
}

QString Digits(bool hex, const QString& text) {
  QString digits = text.trimmed();
  if (hex && (digits.startsWith(QLatin1String("0x")) || digits.startsWith(QLatin1String("0X")))) {
    digits = digits.mid(2);
  }
  return digits;
}

}  // namespace

TBulkSpinBox::TBulkSpinBox(bool hex, int minimum, int maximum, int value, QWidget* parent)
    : QSpinBox(parent), FHex(hex), FMin(minimum), FMax(maximum) {
  setRange(0, TypingLimit(hex, maximum));
  setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
  setValue(Clamp(value));
  connect(lineEdit(), &QLineEdit::textEdited, this, [this] { FTyped = true; });
  connect(this, &QAbstractSpinBox::editingFinished, this, [this] { ClampTyped(); });
}

int TBulkSpinBox::Clamp(int value) const { return std::clamp(value, FMin, FMax); }

void TBulkSpinBox::SetValue(int value) {
  setValue(FHex ? std::clamp(value, 0, 0xFF) : Clamp(value));
}

void TBulkSpinBox::ClampTyped() {
  if (!FTyped) return;
  FTyped = false;
  setValue(Clamp(value()));
}

void TBulkSpinBox::stepBy(int steps) {
  FTyped = false;
  setValue(Clamp(value() + steps));
  selectAll();
}

QAbstractSpinBox::StepEnabled TBulkSpinBox::stepEnabled() const {
  StepEnabled enabled = StepNone;
  if (value() < FMax) enabled |= StepUpEnabled;
  if (value() > FMin) enabled |= StepDownEnabled;
  return enabled;
}

QString TBulkSpinBox::textFromValue(int value) const {
  if (!FHex) return QString::number(value);
  return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

int TBulkSpinBox::valueFromText(const QString& text) const {
  bool ok = false;
  const int parsed = Digits(FHex, text).toInt(&ok, FHex ? 16 : 10);
  return ok ? parsed : value();
}

QValidator::State TBulkSpinBox::validate(QString& input, int&) const {
  const QString digits = Digits(FHex, input);
  if (digits.isEmpty()) return QValidator::Intermediate;
  for (const QChar c : digits) {
    const bool digit = FHex ? (c.isDigit() || QStringLiteral("abcdefABCDEF").contains(c)) : c.isDigit();
    if (!digit) return QValidator::Invalid;
  }
  bool ok = false;
  const int parsed = digits.toInt(&ok, FHex ? 16 : 10);
  if (!ok || parsed > maximum()) return QValidator::Invalid;
  return QValidator::Acceptable;
}
