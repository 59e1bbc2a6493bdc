#pragma once

#include <QSpinBox>

// A spin edit for one byte in hexadecimal: 0x00 to 0xFF, shown as two
// upper-case digits, edited by typing or with its arrows.
class THexSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  explicit THexSpinBox(QWidget* parent = nullptr);

  // The value's low 8 bits.
  uint8_t Byte() const { return static_cast<uint8_t>(value() & 0xFF); }

 protected:
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
};
