#pragma once

#include <QSpinBox>

// A spin edit for one byte in hexadecimal: 0x00 to 0xFF, shown as two
// upper-case digits, edited by typing or with its arrows. Assistive
// technology gets the value in hexadecimal as the field's description
// ("valeur hexadécimale 3C"), beside the decimal value of a spin box; its name
// comes from the label whose buddy it is.
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

 private:
  void DescribeValue();
};
