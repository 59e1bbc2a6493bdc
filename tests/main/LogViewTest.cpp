// The event log's model and view: lines under a limit, wrapping, following
// the newest line, and what the user reads staying in place while lines come
// and go.
#include <QApplication>
#include <QClipboard>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QTextLayout>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "LogView.h"

// Readable failure messages.
inline void PrintTo(const QString& text, std::ostream* os) { *os << '"' << text.toStdString() << '"'; }

namespace {

QStringList LinesOf(const TLogModel& log) {
  QStringList lines;
  for (int i = 0; i < log.LineCount(); ++i) lines << log.Line(i);
  return lines;
}

QStringList Numbered(const QString& prefix, int count, int from = 0) {
  QStringList lines;
  for (int i = from; i < from + count; ++i) lines << prefix + QString::number(i);
  return lines;
}

QString SysexLine() {
  QString line = "[MIDI-In] - F0 ";
  for (int i = 0; i < 120; ++i) line += QString::asprintf("%02X ", i);
  return line + " (Sysex - 121)";
}

// ---------------------------------------------------------------------------
// The model.

struct LimitCase {
  const char* name;
  int before;  // lines "a0", "a1", ... already there
  int limit;
  int added;   // lines "b0", "b1", ...
  QStringList expected;
  int64_t firstSerial;
};

void PrintTo(const LimitCase& c, std::ostream* os) { *os << c.name; }

class LogModelLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(LogModelLimit, EachAddedLineFirstRemovesTheOldestWhenTheLogIsFull) {
  const LimitCase& c = GetParam();
  TLogModel log;
  log.AppendLines(Numbered("a", c.before), 100);
  log.AppendLines(Numbered("b", c.added), c.limit);
  EXPECT_EQ(LinesOf(log), c.expected);
  EXPECT_EQ(log.FirstSerial(), c.firstSerial);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LogModelLimit,
    ::testing::Values(LimitCase{"UnderTheLimit", 2, 5, 2, {"a0", "a1", "b0", "b1"}, 0},
                      LimitCase{"AtTheLimit", 3, 3, 1, {"a1", "a2", "b0"}, 1},
                      LimitCase{"MoreAddedThanTheLimitHolds", 2, 3, 5, {"b2", "b3", "b4"}, 4},
                      LimitCase{"ALoweredLimitKeepsTheLength", 5, 2, 2, {"a2", "a3", "a4", "b0", "b1"}, 2},
                      LimitCase{"LimitZeroKeepsTheLengthItFinds", 2, 0, 2, {"b0", "b1"}, 2},
                      LimitCase{"LimitZeroFromOneLineKeepsOnlyTheNewest", 1, 0, 3, {"b2"}, 3},
                      LimitCase{"EmptyLogLimitOne", 0, 1, 3, {"b2"}, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(LogModel, ATextWithLineBreaksBecomesOneLinePerPiece) {
  TLogModel log;
  log.AppendLines({"x\ny", "z"}, 10);
  log.AppendLine("p\n");
  EXPECT_EQ(LinesOf(log), (QStringList{"x", "y", "z", "p", ""}));
  EXPECT_EQ(log.Text(), "x\ny\nz\np\n");
  EXPECT_EQ(log.Text(1, 2), "y\nz");

  log.SetText("a\n\nb");
  EXPECT_EQ(LinesOf(log), (QStringList{"a", "", "b"}));
  log.SetText("");
  EXPECT_EQ(log.LineCount(), 0);
  EXPECT_EQ(log.Text(), "");
}

TEST(LogModel, AppendLineIgnoresTheLimitAndClearKeepsCountingSerials) {
  TLogModel log;
  log.AppendLines({"a", "b"}, 1);
  log.AppendLine("notice");
  EXPECT_EQ(LinesOf(log), (QStringList{"b", "notice"}));
  EXPECT_EQ(log.FirstSerial(), 1);
  log.Clear();
  EXPECT_EQ(log.LineCount(), 0);
  EXPECT_EQ(log.FirstSerial(), 3);
  log.AppendLine("next");
  EXPECT_EQ(log.FirstSerial(), 3);
  EXPECT_EQ(log.data(log.index(0), Qt::DisplayRole).toString(), "next");
  EXPECT_EQ(log.rowCount(), 1);
}

TEST(LogModel, EachOperationSignalsItsRowsThenOneChange) {
  TLogModel log;
  log.AppendLines(Numbered("a", 3), 10);
  std::vector<std::string> signals_;
  QObject::connect(&log, &QAbstractItemModel::rowsRemoved, [&](const QModelIndex&, int first, int last) {
    signals_.push_back("removed " + std::to_string(first) + "-" + std::to_string(last));
  });
  QObject::connect(&log, &QAbstractItemModel::rowsInserted, [&](const QModelIndex&, int first, int last) {
    signals_.push_back("inserted " + std::to_string(first) + "-" + std::to_string(last));
  });
  QObject::connect(&log, &TLogModel::LinesChanged, [&] { signals_.push_back("changed"); });
  log.AppendLines(Numbered("b", 2), 3);
  EXPECT_EQ(signals_, (std::vector<std::string>{"removed 0-1", "inserted 1-2", "changed"}));
}

// ---------------------------------------------------------------------------
// The view.

class LogViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    view = std::make_unique<TLogView>();
    view->resize(300, 200);
    view->show();
    QObject::connect(view.get(), &TLogView::clicked, [this] { ++clicks; });
    QObject::connect(view.get(), &TLogView::doubleClicked, [this] { ++doubleClicks; });
    QCoreApplication::processEvents();
  }

  TLogModel& Log() { return *view->Model(); }
  QScrollBar* Bar() { return view->verticalScrollBar(); }
  void Add(int count, int from, int limit = 10000) { Log().AppendLines(Numbered("line ", count, from), limit); }

  QPoint PointOf(int line) { return view->LineRect(line).center(); }

  void Mouse(QEvent::Type type, QPoint at, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, at, view->viewport()->mapToGlobal(at), Qt::LeftButton, held, modifiers);
    QApplication::sendEvent(view->viewport(), &event);
  }
  void Click(int line, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    Mouse(QEvent::MouseButtonPress, PointOf(line), modifiers);
    Mouse(QEvent::MouseButtonRelease, PointOf(line), modifiers);
  }
  void Key(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(view.get(), &event);
  }
  bool NewestLineShown() { return view->viewport()->rect().contains(view->LineRect(Log().LineCount() - 1)); }

  std::unique_ptr<TLogView> view;
  int clicks = 0;
  int doubleClicks = 0;
};

TEST_F(LogViewTest, WhileNobodyReadsTheNewestLineStaysInSight) {
  Add(100, 0);
  EXPECT_TRUE(view->FollowsEnd());
  EXPECT_TRUE(NewestLineShown());
  EXPECT_GT(view->TopLine(), 0);
  EXPECT_EQ(Bar()->value(), Bar()->maximum());
  Add(10, 100, 50);  // a lowered limit keeps the length
  EXPECT_EQ(Log().LineCount(), 100);
  EXPECT_TRUE(NewestLineShown());
  EXPECT_EQ(Bar()->value(), Bar()->maximum());
}

TEST_F(LogViewTest, ScrolledUpItKeepsItsLinesAndBackAtTheEndItFollowsAgain) {
  Add(100, 0);
  Bar()->setValue(10);  // one row per line here
  EXPECT_FALSE(view->FollowsEnd());
  EXPECT_EQ(view->TopLine(), 10);
  Add(50, 100);
  EXPECT_EQ(view->TopLine(), 10);
  EXPECT_FALSE(NewestLineShown());

  Bar()->setValue(Bar()->maximum());
  EXPECT_TRUE(view->FollowsEnd());
  Add(5, 150);
  EXPECT_TRUE(NewestLineShown());
}

TEST_F(LogViewTest, AClickSelectsItsLineAndTheViewStaysWhileLinesArrive) {
  Add(100, 0);
  const int top = view->TopLine();
  Click(top + 2);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(view->CurrentLine(), top + 2);
  EXPECT_EQ(view->SelectedText(), QString("line %1").arg(top + 2));
  EXPECT_FALSE(view->FollowsEnd());
  Add(30, 100);
  EXPECT_EQ(view->TopLine(), top);
  EXPECT_EQ(view->SelectedText(), QString("line %1").arg(top + 2));
}

TEST_F(LogViewTest, ADragOrAShiftClickSelectsARange) {
  Add(20, 0);
  Bar()->setValue(0);
  Mouse(QEvent::MouseButtonPress, PointOf(2));
  Mouse(QEvent::MouseMove, PointOf(4));
  Mouse(QEvent::MouseButtonRelease, PointOf(4));
  EXPECT_EQ(view->Selection(), (std::pair<int, int>{2, 4}));
  EXPECT_EQ(view->SelectedText(), "line 2\nline 3\nline 4");
  Click(1, Qt::ShiftModifier);
  EXPECT_EQ(view->Selection(), (std::pair<int, int>{1, 2}));
  EXPECT_EQ(clicks, 2);
}

TEST_F(LogViewTest, TheLineAtAPointIsTheOneDrawnThere) {
  Add(3, 0);
  Log().AppendLine(SysexLine());
  Bar()->setValue(0);
  EXPECT_EQ(view->LineAt(view->LineRect(1).center()), 1);
  const QRect wrapped = view->LineRect(3);
  EXPECT_EQ(view->LineAt(QPoint(5, wrapped.bottom() - 1)), 3);
  EXPECT_EQ(view->LineAt(QPoint(5, -40)), 0);
  EXPECT_EQ(view->LineAt(QPoint(5, wrapped.bottom() + 500)), 3);
  view->Clear();
  EXPECT_EQ(view->LineAt(QPoint(5, 5)), -1);
}

TEST_F(LogViewTest, TheReleaseThatEndsADoubleClickIsNoClick) {
  Add(5, 0);
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonPress,
                            QEvent::MouseButtonDblClick, QEvent::MouseButtonRelease}) {
    Mouse(type, PointOf(3));
  }
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(doubleClicks, 1);
  EXPECT_EQ(view->CurrentLine(), 3);
}

TEST_F(LogViewTest, KeysMoveTheCursorSelectAndCopyAndEscapeFollowsAgain) {
  Add(10, 0);
  Key(Qt::Key_Up);  // the cursor comes on the newest line
  EXPECT_EQ(view->CurrentLine(), 9);
  Key(Qt::Key_Up);
  EXPECT_EQ(view->Selection(), (std::pair<int, int>{8, 8}));
  Key(Qt::Key_Up, Qt::ShiftModifier);
  Key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(view->Selection(), (std::pair<int, int>{6, 8}));
  EXPECT_EQ(view->CurrentLine(), 6);
  Key(Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "line 6\nline 7\nline 8");
  Key(Qt::Key_Home);
  EXPECT_EQ(view->Selection(), (std::pair<int, int>{0, 0}));
  Key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(view->Selection(), (std::pair<int, int>{0, 9}));
  EXPECT_FALSE(view->FollowsEnd());

  Key(Qt::Key_Escape);
  EXPECT_FALSE(view->HasSelection());
  EXPECT_EQ(view->CurrentLine(), -1);
  EXPECT_TRUE(view->FollowsEnd());
  Key(Qt::Key_Down);
  EXPECT_FALSE(view->FollowsEnd());
  Key(Qt::Key_End);
  EXPECT_TRUE(view->FollowsEnd());
  EXPECT_FALSE(view->HasSelection());
}

TEST_F(LogViewTest, LinesThatTheLimitRemovesLeaveTheViewAndTheSelection) {
  Add(20, 0);
  view->SelectLines(2, 4);
  Bar()->setValue(1);
  Add(3, 20, 20);  // "line 0" to "line 2" go
  EXPECT_EQ(view->SelectedText(), "line 3\nline 4");
  EXPECT_EQ(Log().Line(view->TopLine()), "line 3");
  EXPECT_EQ(view->CurrentLine(), 1);  // "line 4"
  Add(5, 23, 20);
  EXPECT_FALSE(view->HasSelection());
  EXPECT_EQ(view->CurrentLine(), -1);
  EXPECT_EQ(Log().Line(view->TopLine()), "line 8");
}

TEST_F(LogViewTest, EmptyingTheLogForgetsTheSelectionAndFollowsAgain) {
  Add(20, 0);
  view->SelectLines(3, 3);
  view->Clear();
  EXPECT_EQ(Log().LineCount(), 0);
  EXPECT_FALSE(view->HasSelection());
  EXPECT_TRUE(view->FollowsEnd());
  EXPECT_EQ(view->TopLine(), -1);
  Add(1, 0);
  EXPECT_TRUE(NewestLineShown());
}

struct WrapCase {
  const char* name;
  QString line;
};

void PrintTo(const WrapCase& c, std::ostream* os) { *os << c.name; }

class LogViewWrap : public LogViewTest, public ::testing::WithParamInterface<WrapCase> {};

// The view counts rows with the font's advances instead of laying every line
// out; it must break where the text engine breaks, or rows would be cut or
// left empty.
TEST_P(LogViewWrap, RowsAreThoseOfTheTextEngineAtEveryWidth) {
  const WrapCase& c = GetParam();
  Log().AppendLine(c.line);
  for (int width : {90, 160, 300, 620}) {
    view->resize(width, 200);
    QCoreApplication::processEvents();
    QTextLayout layout(c.line, view->font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    int rows = 0;
    for (QTextLine row = layout.createLine(); row.isValid(); row = layout.createLine()) {
      row.setLineWidth(view->viewport()->width() - 8);  // the view's text width
      ++rows;
    }
    layout.endLayout();
    EXPECT_EQ(view->DisplayRows(0), rows) << "width " << width;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LogViewWrap,
    ::testing::Values(WrapCase{"NoteOn", "[MIDI-In] - 90 3C 40 (Note On)"},
                      WrapCase{"Stamped", "[14:05:09:123] [MIDI-In] - B0 07 7F (Control Change)"},
                      WrapCase{"SysexWithItsBytes", SysexLine()},
                      WrapCase{"OneLongWord", QString("W").repeated(150)},
                      WrapCase{"Blanks", "a     b" + QString(" ").repeated(80) + "c"},
                      WrapCase{"Accents", "Réception MIDI plus prise en compte (pause) " + QString("é").repeated(60)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LogViewTest, AWrappedLineTakesItsRowsAndTheEndStaysReachable) {
  Add(10, 0);
  Log().AppendLine(SysexLine());
  const int rows = view->DisplayRows(10);
  ASSERT_GT(rows, 3);
  EXPECT_EQ(view->LineRect(10).height(), rows * view->LineRect(0).height());
  EXPECT_TRUE(NewestLineShown());
  Bar()->setValue(Bar()->maximum() - 1);  // one row up: the last row of the line is hidden
  EXPECT_FALSE(NewestLineShown());

  // Narrower, the line takes more rows and the top line stays.
  const int top = view->TopLine();
  view->resize(150, 200);
  QCoreApplication::processEvents();
  EXPECT_GT(view->DisplayRows(10), rows);
  EXPECT_EQ(view->TopLine(), top);
}

// Plain ASCII is drawn from the font's glyphs, other text by the text
// engine: both show in their rows, and nothing below the last line.
TEST_F(LogViewTest, EveryLineIsDrawnInItsRowsAndNothingBelowTheLast) {
  Log().AppendLine("[MIDI-In] - 90 3C 40 (Note On)");
  Log().AppendLine("Réception MIDI plus prise en compte (pause)");
  Log().AppendLine(SysexLine());
  const QImage image = view->viewport()->grab().toImage();
  const QColor base = view->palette().color(QPalette::Base);
  const auto inkIn = [&](int top, int bottom) {
    int ink = 0;
    for (int y = std::max(0, top); y < std::min(bottom, image.height()); ++y)
      for (int x = 0; x < image.width(); ++x) ink += image.pixelColor(x, y) != base;
    return ink;
  };
  for (int line = 0; line < 3; ++line) {
    const QRect box = view->LineRect(line);
    for (int row = 0; row < view->DisplayRows(line); ++row) {
      const int top = box.top() + row * box.height() / view->DisplayRows(line);
      EXPECT_GT(inkIn(top, top + box.height() / view->DisplayRows(line)), 20) << "line " << line << " row " << row;
    }
  }
  EXPECT_EQ(inkIn(view->LineRect(2).bottom() + 2, image.height()), 0);
}

TEST_F(LogViewTest, SelectedLinesArePaintedWithTheHighlight) {
  Add(5, 0);
  view->SelectLines(1, 1);
  const QImage image = view->viewport()->grab().toImage();
  const QColor highlight =
      view->palette().color(view->hasFocus() ? QPalette::Active : QPalette::Inactive, QPalette::Highlight);
  const QColor base = view->palette().color(QPalette::Base);
  const int right = view->viewport()->width() - 2;
  EXPECT_EQ(image.pixelColor(right, view->LineRect(1).center().y()), highlight);
  EXPECT_EQ(image.pixelColor(right, view->LineRect(2).center().y()), base);
}

}  // namespace
