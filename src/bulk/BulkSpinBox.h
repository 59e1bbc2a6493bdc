#pragma once

#include <QSpinBox>

// A spin edit of the bulk-send window, decimal or hexadecimal ("0x" and
// upper-case digits without leading zeros, 0 shows 0x0), with a range of its
// own that is wider-tolerant than QSpinBox's: the user may type a value
// outside it, which is brought to the nearest bound when editing ends; the
// arrows stay inside it. A value set by the program through SetValue is
// brought into the range at once in a decimal box and taken unchanged (any
// byte) in a hexadecimal box. valueChanged fires on every change, typing
// included.
class TBulkSpinBox : public QSpinBox {
  Q_OBJECT

 public:
  TBulkSpinBox(bool hex, int minimum, int maximum, int value, QWidget* parent = nullptr);

  int Minimum() const { return FMin; }
  int Maximum() const { return FMax; }
  // The program's way to set the value (see the class comment).
  void SetValue(int value);

  void stepBy(int steps) override;

 protected:
  QString textFromValue(int value) const override;
  int valueFromText(const QString& text) const override;
  QValidator::State validate(QString& input, int& pos) const override;
  StepEnabled stepEnabled() const override;

 private:
  void ClampTyped();
  int Clamp(int value) const;

  bool FHex;
  int FMin;
  int FMax;
  bool FTyped = false;
};
