#include "LogView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMarginX = 4;  // left and right of the text
constexpr int kMarginY = 2;  // above the first row

}  // namespace

TLogView::TLogView(QWidget* parent) : QAbstractScrollArea(parent), FModel(new TLogModel(this)) {
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setFocusPolicy(Qt::StrongFocus);
  viewport()->setBackgroundRole(QPalette::Base);
  viewport()->setAutoFillBackground(true);
  connect(FModel, &QAbstractItemModel::rowsInserted, this,
          [this](const QModelIndex&, int first, int last) { OnRowsInserted(first, last); });
  connect(FModel, &QAbstractItemModel::rowsRemoved, this,
          [this](const QModelIndex&, int first, int last) { OnRowsRemoved(first, last); });
  connect(FModel, &QAbstractItemModel::modelReset, this, [this] { OnModelReset(); });
  connect(FModel, &TLogModel::LinesChanged, this, [this] { Changed(); });
  MeasureFont();
  Relayout();
}

TLogView::~TLogView() = default;

// --- Wrapping ---

void TLogView::MeasureFont() {
  const QFontMetricsF metrics(font());
  FLineHeight = std::max<qreal>(1, std::ceil(metrics.lineSpacing()));
  FAscent = metrics.ascent();
  FMaxAdvance = 0;
  for (int c = 0; c < 128; ++c) {
    FAdvance[c] = c >= 0x20 && c < 0x7F ? metrics.horizontalAdvance(QChar(c)) : 0;
    FMaxAdvance = std::max(FMaxAdvance, FAdvance[c]);
  }
  FRawFont = QRawFont::fromFont(font());
  FGlyphsReady = false;
  if (!FRawFont.isValid()) return;
  QString printable;
  for (char16_t c = 0x20; c < 0x7F; ++c) printable += QChar(c);
  const QList<quint32> glyphs = FRawFont.glyphIndexesForString(printable);
  if (glyphs.size() != printable.size()) return;
  for (qsizetype i = 0; i < glyphs.size(); ++i) {
    if (glyphs[i] == 0) return;  // missing from this font: drawn through the text engine
    FGlyph[0x20 + i] = glyphs[i];
  }
  FGlyphsReady = true;
}

void TLogView::DrawRow(QPainter& painter, const QString& line, bool plainAscii, int first, int count,
                       qreal y) {
  if (!FGlyphsReady || !plainAscii) {
    painter.drawText(QPointF(kMarginX, y), first == 0 && count == line.size() ? line : line.mid(first, count));
    return;
  }
  FRunGlyphs.clear();
  FRunPositions.clear();
  qreal x = kMarginX;
  for (int i = first; i < first + count; ++i) {
    const char16_t c = line[i].unicode();
    if (c != u' ') {
      FRunGlyphs.append(FGlyph[c]);
      FRunPositions.append(QPointF(x, y));
    }
    x += FAdvance[c];
  }
  if (FRunGlyphs.isEmpty()) return;
  QGlyphRun run;
  run.setRawFont(FRawFont);
  run.setGlyphIndexes(FRunGlyphs);
  run.setPositions(FRunPositions);
  painter.drawGlyphRun(QPointF(0, 0), run);
}

int TLogView::TextWidth() const { return std::max(1, viewport()->width() - 2 * kMarginX); }

bool TLogView::IsPlainAscii(const QString& line) const {
  return std::all_of(line.cbegin(), line.cend(), [](QChar c) { return c.unicode() >= 0x20 && c.unicode() < 0x7F; });
}

// Fits on one row whatever its characters' widths: most log lines, without
// looking at their characters beyond the count.
bool TLogView::IsShortPlain(const QString& line) const {
  return static_cast<qreal>(line.size()) * FMaxAdvance <= TextWidth() && IsPlainAscii(line);
}

int TLogView::RowCount(const QString& line) const {
  if (IsShortPlain(line)) return 1;
  TRows rows;
  WrapRows(line, rows);
  return static_cast<int>(rows.size());
}

// As the text engine wraps at word boundaries or anywhere: a row ends after
// the last blank that fits (blanks may hang past the edge), or before the
// first character that does not fit when the row has no blank.
void TLogView::WrapRows(const QString& line, TRows& rows) const {
  rows.clear();
  const int n = static_cast<int>(line.size());
  if (IsShortPlain(line)) {
    rows.append({0, n});
    return;
  }
  if (!IsPlainAscii(line)) {
    WrapWithLayout(line, rows);
    return;
  }
  const qreal width = TextWidth();
  int rowStart = 0;
  int lastBreak = -1;  // a row may end just before this index (after blanks)
  qreal used = 0;
  for (int i = 0; i < n; ++i) {
    const char16_t c = line[i].unicode();
    const qreal advance = FAdvance[c];
    if (c == u' ') {
      used += advance;
      lastBreak = i + 1;
      continue;
    }
    if (used + advance > width && i > rowStart) {
      const int end = lastBreak > rowStart ? lastBreak : i;
      rows.append({rowStart, end - rowStart});
      rowStart = end;
      lastBreak = -1;
      used = 0;
      for (int j = rowStart; j < i; ++j) used += FAdvance[line[j].unicode()];
    }
    used += advance;
  }
  rows.append({rowStart, n - rowStart});
}

void TLogView::WrapWithLayout(const QString& line, TRows& rows) const {
  QTextLayout layout(line, font());
  QTextOption option;
  option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
  layout.setTextOption(option);
  layout.beginLayout();
  for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
    row.setLineWidth(TextWidth());
    rows.append({row.textStart(), row.textLength()});
  }
  layout.endLayout();
  if (rows.isEmpty()) rows.append({0, 0});
}

// --- Rows of the lines ---

void TLogView::RecountRows() {
  const int count = FModel->LineCount();
  FRowStart.resize(count);
  int64_t row = 0;
  for (int i = 0; i < count; ++i) {
    FRowStart[i] = row;
    row += RowCount(FModel->Line(i));
  }
  FRowsEnd = row;
  FLaidOutWidth = TextWidth();
}

void TLogView::Relayout() {
  // The top line keeps its place, as far as its rows allow.
  const int topLine = TopLine();
  const int64_t topSerial = topLine >= 0 ? SerialOf(topLine) : -1;
  const int64_t rowInTop = topLine >= 0 ? FTopRow - FRowStart[topLine] : 0;

  RecountRows();
  const int top = topSerial >= 0 ? LineOfSerial(topSerial) : -1;
  FTopRow = top >= 0 ? FRowStart[top] + std::min(rowInTop, RowsOf(top) - 1) : 0;
  UpdateScrollBar();
  viewport()->update();
}

void TLogView::OnRowsInserted(int first, int last) {
  if (first != LineTotal()) {
    RecountRows();
    return;
  }
  for (int i = first; i <= last; ++i) {
    FRowStart.push_back(FRowsEnd);
    FRowsEnd += RowCount(FModel->Line(i));
  }
}

void TLogView::OnRowsRemoved(int first, int last) {
  if (first != 0) {
    RecountRows();
    return;
  }
  FRowStart.erase(FRowStart.begin(), FRowStart.begin() + (last - first + 1));
}

void TLogView::OnModelReset() {
  FCursor = FAnchor = -1;
  FSelected = false;
  FFollow = true;
  RecountRows();
}

void TLogView::Changed() {
  UpdateScrollBar();
  viewport()->update();
}

int64_t TLogView::RowsOf(int line) const {
  const int64_t next = line + 1 < LineTotal() ? FRowStart[line + 1] : FRowsEnd;
  return next - FRowStart[line];
}

int TLogView::LineAtRow(int64_t row) const {
  const auto it = std::upper_bound(FRowStart.cbegin(), FRowStart.cend(), row);
  return std::max(0, static_cast<int>(it - FRowStart.cbegin()) - 1);
}

int TLogView::LineAtY(int y) const {
  if (FRowStart.empty()) return -1;
  const int64_t row = FTopRow + static_cast<int64_t>(std::floor((y - kMarginY) / FLineHeight));
  if (row >= FRowsEnd) return LineTotal() - 1;
  return LineAtRow(std::max(row, FirstRow()));
}

int TLogView::VisibleRows() const {
  return std::max(1, static_cast<int>((viewport()->height() - kMarginY) / FLineHeight));
}

int TLogView::TopLine() const { return FRowStart.empty() ? -1 : LineAtRow(FTopRow); }

int TLogView::DisplayRows(int line) const { return static_cast<int>(RowsOf(line)); }

QRect TLogView::LineRect(int line) const {
  const qreal top = kMarginY + static_cast<qreal>(FRowStart[line] - FTopRow) * FLineHeight;
  return QRectF(0, top, viewport()->width(), static_cast<qreal>(RowsOf(line)) * FLineHeight).toRect();
}

// --- Scrolling ---

void TLogView::UpdateScrollBar() {
  const int64_t total = FRowsEnd - FirstRow();
  const int visible = VisibleRows();
  const int64_t maxTop = std::max<int64_t>(0, total - visible);
  if (FFollow) {
    FTopRow = FirstRow() + maxTop;
  } else {
    FTopRow = std::clamp(FTopRow, FirstRow(), FirstRow() + maxTop);
  }
  QScrollBar* bar = verticalScrollBar();
  FSettingScrollBar = true;
  bar->setRange(0, static_cast<int>(std::min<int64_t>(maxTop, INT32_MAX)));
  bar->setPageStep(visible);
  bar->setSingleStep(1);
  bar->setValue(static_cast<int>(FTopRow - FirstRow()));
  FSettingScrollBar = false;
}

void TLogView::scrollContentsBy(int, int) {
  if (FSettingScrollBar) return;
  // The user scrolled: at the very end the view follows again, elsewhere it stays.
  QScrollBar* bar = verticalScrollBar();
  FTopRow = FirstRow() + bar->value();
  FFollow = bar->value() >= bar->maximum();
  viewport()->update();
}

void TLogView::SetTopRow(int64_t row) {
  FTopRow = row;
  UpdateScrollBar();
  viewport()->update();
}

void TLogView::ScrollToShow(int line) {
  if (line < 0) return;
  const int64_t first = FRowStart[line];
  const int64_t last = first + RowsOf(line) - 1;
  const int visible = VisibleRows();
  if (first < FTopRow) {
    SetTopRow(first);
  } else if (last >= FTopRow + visible) {
    SetTopRow(std::min(first, last - visible + 1));
  }
}

void TLogView::FollowEnd() {
  FCursor = FAnchor = -1;
  FSelected = false;
  FFollow = true;
  Changed();
}

void TLogView::Clear() {
  FModel->Clear();  // the reset follows the end
}

// --- Cursor and selection ---

int TLogView::LineOfSerial(int64_t serial) const {
  const int64_t line = serial - FModel->FirstSerial();
  return serial >= 0 && line >= 0 && line < FModel->LineCount() ? static_cast<int>(line) : -1;
}

int TLogView::CurrentLine() const { return LineOfSerial(FCursor); }

void TLogView::SetCurrentLine(int line) {
  if (line < 0 || line >= FModel->LineCount()) return;
  FFollow = false;
  FCursor = FAnchor = SerialOf(line);
  FSelected = false;
  ScrollToShow(line);
  Changed();
}

void TLogView::SelectLines(int first, int last) {
  const int count = FModel->LineCount();
  if (count == 0) return;
  first = std::clamp(first, 0, count - 1);
  last = std::clamp(last, 0, count - 1);
  FFollow = false;
  FAnchor = SerialOf(first);
  FCursor = SerialOf(last);
  FSelected = true;
  ScrollToShow(last);
  Changed();
}

void TLogView::ClearSelection() {
  FSelected = false;
  viewport()->update();
}

std::pair<int, int> TLogView::Selection() const {
  if (!FSelected || FModel->LineCount() == 0) return {-1, -1};
  const int64_t firstSerial = std::min(FAnchor, FCursor);
  const int64_t lastSerial = std::max(FAnchor, FCursor);
  const int64_t base = FModel->FirstSerial();
  const int64_t end = base + FModel->LineCount() - 1;
  if (lastSerial < base || firstSerial > end) return {-1, -1};
  return {static_cast<int>(std::max(firstSerial, base) - base), static_cast<int>(std::min(lastSerial, end) - base)};
}

bool TLogView::HasSelection() const { return Selection().first >= 0; }

QString TLogView::SelectedText() const {
  const auto [first, last] = Selection();
  return first < 0 ? QString() : FModel->Text(first, last);
}

void TLogView::CopySelection() const {
  QString text = SelectedText();
  if (!HasSelection()) {
    const int line = CurrentLine();
    if (line < 0) return;
    text = FModel->Line(line);
  }
  QApplication::clipboard()->setText(text);
}

void TLogView::MoveCursorTo(int line, bool extend) {
  if (line < 0) return;
  FFollow = false;
  const int64_t serial = SerialOf(line);
  if (!extend || LineOfSerial(FAnchor) < 0) FAnchor = serial;
  FCursor = serial;
  FSelected = true;
  ScrollToShow(line);
  Changed();
  if (QAccessible::isActive()) {
    int offset = 0;
    for (int i = 0; i < line; ++i) offset += static_cast<int>(FModel->Line(i).size()) + 1;
    QAccessibleTextCursorEvent moved(this, offset);
    QAccessible::updateAccessibility(&moved);
  }
}

// --- Painting ---

void TLogView::paintEvent(QPaintEvent* event) {
  if (FRowStart.empty()) return;
  QPainter painter(viewport());
  const QRect exposed = event->rect();
  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  const QColor text = palette().color(group, QPalette::Text);
  const QColor selectedText = palette().color(group, QPalette::HighlightedText);
  const QBrush highlight = palette().brush(group, QPalette::Highlight);
  const auto [selFirst, selLast] = Selection();
  const int cursor = CurrentLine();
  const int width = viewport()->width();
  const int height = viewport()->height();
  painter.setFont(font());

  TRows rows;
  const int count = LineTotal();
  for (int line = LineAtRow(FTopRow); line < count; ++line) {
    const qreal top = kMarginY + static_cast<qreal>(FRowStart[line] - FTopRow) * FLineHeight;
    if (top >= height) break;
    const int64_t rowCount = RowsOf(line);
    const QRectF box(0, top, width, static_cast<qreal>(rowCount) * FLineHeight);
    if (box.bottom() < exposed.top() || box.top() > exposed.bottom() + 1) continue;
    const bool selected = line >= selFirst && line <= selLast;
    if (selected) painter.fillRect(box, highlight);
    painter.setPen(selected ? selectedText : text);
    const QString& content = FModel->Line(line);
    const bool plainAscii = IsPlainAscii(content);
    const qreal baseline = top + FAscent;
    if (rowCount == 1) {
      DrawRow(painter, content, plainAscii, 0, static_cast<int>(content.size()), baseline);
    } else {
      WrapRows(content, rows);
      for (qsizetype r = 0; r < rows.size(); ++r) {
        const qreal y = baseline + static_cast<qreal>(r) * FLineHeight;
        if (y - FAscent >= height) break;
        if (y + FLineHeight < 0) continue;
        DrawRow(painter, content, plainAscii, rows[r].first, rows[r].second, y);
      }
    }
    if (line == cursor && hasFocus()) {
      QStyleOptionFocusRect option;
      option.initFrom(this);
      option.rect = box.toRect();
      option.backgroundColor = selected ? highlight.color() : palette().color(QPalette::Base);
      style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
    }
  }
}

void TLogView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  if (TextWidth() != FLaidOutWidth) {
    Relayout();
  } else {
    Changed();
  }
}

void TLogView::changeEvent(QEvent* event) {
  QAbstractScrollArea::changeEvent(event);
  if (event->type() == QEvent::FontChange) {
    MeasureFont();
    Relayout();
  }
}

void TLogView::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  viewport()->update();
}

void TLogView::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  viewport()->update();
}

// --- Mouse and keys ---

void TLogView::mousePressEvent(QMouseEvent* event) {
  FInDoubleClick = false;
  if (event->button() != Qt::LeftButton) return;
  const int line = LineAtY(static_cast<int>(event->position().y()));
  if (line < 0) return;
  FDragging = true;
  MoveCursorTo(line, event->modifiers() & Qt::ShiftModifier);
}

void TLogView::mouseMoveEvent(QMouseEvent* event) {
  if (!FDragging || !(event->buttons() & Qt::LeftButton)) return;
  const int y = static_cast<int>(event->position().y());
  // Dragging past an edge scrolls one row toward it.
  if (y < 0 && FTopRow > FirstRow()) SetTopRow(FTopRow - 1);
  if (y >= viewport()->height()) SetTopRow(FTopRow + 1);
  MoveCursorTo(LineAtY(y), true);
}

void TLogView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  FDragging = false;
  if (FInDoubleClick) {
    FInDoubleClick = false;
    return;
  }
  emit clicked();
}

void TLogView::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  const int line = LineAtY(static_cast<int>(event->position().y()));
  if (line >= 0) MoveCursorTo(line, false);
  FInDoubleClick = true;
  emit doubleClicked();
}

bool TLogView::event(QEvent* event) {
  if (event->type() == QEvent::Paint) {
    // The view's frame (around the lines): in the highlight colour while the
    // log has the focus, however the focus came.
    const bool done = QAbstractScrollArea::event(event);
    if (hasFocus()) {
      QPainter painter(this);
      painter.setPen(palette().color(QPalette::Highlight));
      painter.setBrush(Qt::NoBrush);
      painter.drawRect(rect().adjusted(0, 0, -1, -1));
    }
    return done;
  }
  if (event->type() == QEvent::ShortcutOverride) {
    auto* key = static_cast<QKeyEvent*>(event);
    const bool plain = (key->modifiers() & ~(Qt::KeypadModifier | Qt::ShiftModifier)) == Qt::NoModifier;
    bool ours = key->matches(QKeySequence::Copy) || key->matches(QKeySequence::SelectAll);
    switch (key->key()) {
      case Qt::Key_Up:
      case Qt::Key_Down:
      case Qt::Key_PageUp:
      case Qt::Key_PageDown:
      case Qt::Key_Home:
      case Qt::Key_End:
      case Qt::Key_Escape:
      case Qt::Key_Return:
      case Qt::Key_Enter:
        ours = ours || plain;
        break;
      default:
        break;
    }
    if (ours) {
      key->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void TLogView::keyPressEvent(QKeyEvent* event) {
  const int count = FModel->LineCount();
  const int cursor = CurrentLine();
  const bool extend = event->modifiers() & Qt::ShiftModifier;
  const int page = std::max(1, VisibleRows() - 1);
  if (event->matches(QKeySequence::Copy)) {
    CopySelection();
  } else if (event->matches(QKeySequence::SelectAll)) {
    if (count > 0) SelectLines(0, count - 1);
  } else if (event->key() == Qt::Key_Escape) {
    FollowEnd();
  } else if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    emit activated();
  } else if (count == 0) {
    QAbstractScrollArea::keyPressEvent(event);
  } else if (event->key() == Qt::Key_Up) {
    MoveCursorTo(cursor < 0 ? count - 1 : std::max(0, cursor - 1), extend);
  } else if (event->key() == Qt::Key_Down) {
    MoveCursorTo(cursor < 0 ? count - 1 : std::min(count - 1, cursor + 1), extend);
  } else if (event->key() == Qt::Key_PageUp) {
    MoveCursorTo(std::max(0, (cursor < 0 ? count - 1 : cursor) - page), extend);
  } else if (event->key() == Qt::Key_PageDown) {
    MoveCursorTo(std::min(count - 1, (cursor < 0 ? count - 1 : cursor) + page), extend);
  } else if (event->key() == Qt::Key_Home) {
    MoveCursorTo(0, extend);
  } else if (event->key() == Qt::Key_End) {
    if (extend) {
      MoveCursorTo(count - 1, true);
    } else {
      FollowEnd();
    }
  } else {
    QAbstractScrollArea::keyPressEvent(event);
  }
}
