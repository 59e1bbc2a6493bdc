#pragma once
// The event log's view: the lines of a TLogModel, each wrapped at the view's
// width, of which only those on screen are laid out and drawn.

#include <QAbstractScrollArea>
#include <QList>
#include <QPointF>
#include <QRawFont>
#include <QString>
#include <QVarLengthArray>

#include <array>
#include <cstdint>
#include <deque>
#include <utility>

#include "LogModel.h"

// A read-only list of lines with a cursor line and a selection of whole lines.
//
// It follows the end (the newest line stays in sight) until the user reads:
// scrolls up, clicks, drags or moves the cursor with the keys. It then keeps
// what is shown and selected while lines come and go, until the user scrolls
// back to the very end, presses End or Escape, or the log is emptied. Lines
// that the line limit removes leave the view and the selection.
//
// Mouse: a click makes a line the cursor line and selects it, a drag or a
// shift click selects a range; every left release but the one ending a double
// click is reported by clicked(), after the cursor has moved, and a double
// click by doubleClicked(). Keys: arrows, Page Up/Down, Home and End move the
// cursor (shift extends the selection), Ctrl+A selects all, Ctrl+C copies the
// selected lines (the cursor line when none is selected), Escape clears the
// selection and follows the end again, Enter reports activated() (the key's
// double click). These keys stay the log's while it has the focus, before
// any shortcut of the window. The focus shows as the view's frame in the
// highlight colour (and, with the keyboard, a frame around the cursor line). Assistive
// technology reads the lines as one text (AccessibleWidgets.h) and is told
// where the cursor goes when the user moves it.
//
// Geometry: the view knows how many rows each line takes at the current width
// (a short line of plain ASCII is one row without measuring; longer ones are
// wrapped with the font's advances), so scrolling and the scroll bar are
// exact, in rows. User-interface thread only; owned by its Qt parent, the
// model by the view.
class QPainter;

class TLogView : public QAbstractScrollArea {
  Q_OBJECT

 public:
  explicit TLogView(QWidget* parent = nullptr);
  ~TLogView() override;

  TLogModel* Model() const { return FModel; }

  // Empties the log and follows the end.
  void Clear();

  // The cursor line (index), or -1 when there is none or it has left the log.
  int CurrentLine() const;
  // Puts the cursor on a line and shows it, nothing selected; stops following.
  void SetCurrentLine(int line);
  // Selects the lines first to last (indexes, included) with the cursor on
  // the last, and shows it; stops following.
  void SelectLines(int first, int last);
  void ClearSelection();
  bool HasSelection() const;
  // Indexes of the first and last selected lines, {-1, -1} when none.
  std::pair<int, int> Selection() const;
  // The selected lines, joined by '\n'; empty when none.
  QString SelectedText() const;
  // Copies the selected lines, or the cursor line when none is selected.
  void CopySelection() const;

  // Whether new lines scroll the view to keep the newest in sight.
  bool FollowsEnd() const { return FFollow; }
  // Forgets cursor and selection, shows the newest line and follows the end.
  void FollowEnd();

  // The first line at least partly on screen, -1 when the log is empty.
  int TopLine() const;
  // Rows that a line takes at the current width.
  int DisplayRows(int line) const;
  // Where a line is drawn, in viewport coordinates (possibly off screen).
  QRect LineRect(int line) const;
  // The line drawn at a viewport point (the first or last line above or below
  // them), -1 when the log is empty.
  int LineAt(const QPoint& point) const { return LineAtY(point.y()); }

 signals:
  void clicked();
  void doubleClicked();
  void activated();

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  using TRows = QVarLengthArray<std::pair<int, int>, 16>;  // start and length of each row of a line

  // Font metrics and glyphs, and the width lines wrap at.
  void MeasureFont();
  // Draws `count` characters of a line from `first` with their baseline at y.
  void DrawRow(QPainter& painter, const QString& line, bool plainAscii, int first, int count, qreal y);
  int TextWidth() const;
  // Rows of a line at the current width, and where each begins.
  int RowCount(const QString& line) const;
  void WrapRows(const QString& line, TRows& rows) const;
  bool IsShortPlain(const QString& line) const;
  bool IsPlainAscii(const QString& line) const;
  void WrapWithLayout(const QString& line, TRows& rows) const;

  // Row geometry of every line; Relayout also keeps the top line in place
  // (after a change of width or font).
  void RecountRows();
  void Relayout();
  void OnRowsInserted(int first, int last);
  void OnRowsRemoved(int first, int last);
  void OnModelReset();
  int64_t FirstRow() const { return FRowStart.empty() ? FRowsEnd : FRowStart.front(); }
  int64_t RowsOf(int line) const;
  int LineTotal() const { return static_cast<int>(FRowStart.size()); }
  int LineAtRow(int64_t row) const;
  // The line under a viewport point, clamped to the log; -1 when empty.
  int LineAtY(int y) const;
  int VisibleRows() const;
  // Puts the scroll bar in line with the rows and the top (at the end when following).
  void UpdateScrollBar();
  void ScrollToShow(int line);
  void SetTopRow(int64_t row);

  int64_t SerialOf(int line) const { return FModel->FirstSerial() + line; }
  int LineOfSerial(int64_t serial) const;
  // Cursor to `line`; with `extend` the selection runs from the anchor to it.
  void MoveCursorTo(int line, bool extend);
  void Changed();

  TLogModel* FModel;
  std::deque<int64_t> FRowStart;  // first row of each line, in rows counted since the first line ever
  int64_t FRowsEnd = 0;      // one past the last row of the last line
  int64_t FTopRow = 0;       // first row on screen
  bool FFollow = true;
  bool FSettingScrollBar = false;

  int64_t FCursor = -1;  // serial of the cursor line
  int64_t FAnchor = -1;  // serial where the selection starts
  bool FSelected = false;
  bool FInDoubleClick = false;  // from a double click to its release
  bool FDragging = false;

  qreal FLineHeight = 1;
  qreal FAscent = 0;
  qreal FMaxAdvance = 1;
  std::array<qreal, 128> FAdvance{};
  // Plain ASCII is drawn from the font's glyphs at these advances, without
  // the text engine's shaping (most of the cost of drawing a log line); when
  // the font lacks one of them, every line goes through the text engine.
  QRawFont FRawFont;
  std::array<quint32, 128> FGlyph{};
  bool FGlyphsReady = false;
  QList<quint32> FRunGlyphs;     // reused from row to row
  QList<QPointF> FRunPositions;
  int FLaidOutWidth = -1;
};
