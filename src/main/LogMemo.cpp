#include "LogMemo.h"

#include <QMouseEvent>

TLogMemo::TLogMemo(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::WidgetWidth);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setUndoRedoEnabled(false);
}

int TLogMemo::LineCount() const {
  const QTextDocument* doc = document();
  return doc->isEmpty() ? 0 : doc->blockCount();
}

void TLogMemo::mousePressEvent(QMouseEvent* event) {
  FInDoubleClick = false;
  QPlainTextEdit::mousePressEvent(event);
}

void TLogMemo::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  if (FInDoubleClick) {
    FInDoubleClick = false;
    return;
  }
  emit clicked();
}

void TLogMemo::mouseDoubleClickEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseDoubleClickEvent(event);
  if (event->button() != Qt::LeftButton) return;
  FInDoubleClick = true;
  emit doubleClicked();
}
