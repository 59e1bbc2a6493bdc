#pragma once

#include <QPlainTextEdit>

// The event log's text view: an editable plain-text view that also reports
// clicks and double clicks on its text, after the caret has moved. The release
// that ends a double click is not reported as a click.
class TLogMemo : public QPlainTextEdit {
  Q_OBJECT

 public:
  explicit TLogMemo(QWidget* parent = nullptr);

  // Number of logical lines (a wrapped line counts once); 0 when empty.
  int LineCount() const;

 signals:
  void clicked();
  void doubleClicked();

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  bool FInDoubleClick = false;  // from a double click to its release
};
