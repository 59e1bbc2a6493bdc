#include "AccessibleWidgets.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QScrollBar>

#include <algorithm>
#include <limits>

#include "CounterDisplay.h"
#include "LogView.h"
#include "StatusShape.h"
#include "frmSendBulk.h"
#include "rmLed.h"

namespace {

// --- Lamps ---

class TAccessibleLed : public QAccessibleWidget {
 public:
  explicit TAccessibleLed(TrmLed* led) : QAccessibleWidget(led, QAccessible::Graphic) {}

  // A lamp that takes the focus acts on a click: a button.
  QAccessible::Role role() const override {
    return widget()->focusPolicy() != Qt::NoFocus ? QAccessible::Button : QAccessible::Graphic;
  }

  QString text(QAccessible::Text t) const override {
    const auto* led = static_cast<const TrmLed*>(widget());
    switch (t) {
      case QAccessible::Value:
        return led->LedOn() ? QStringLiteral("allumée") : QStringLiteral("éteinte");
      case QAccessible::Description:
        if (!led->LedOn()) return QStringLiteral("éteinte");
        return led->LitMeaning().isEmpty() ? QStringLiteral("allumée")
                                           : QStringLiteral("allumée : %1").arg(led->LitMeaning());
      default:
        return QAccessibleWidget::text(t);
    }
  }

  QStringList actionNames() const override {
    QStringList names = QAccessibleWidget::actionNames();
    if (role() == QAccessible::Button) names.prepend(pressAction());
    return names;
  }

  void doAction(const QString& actionName) override {
    if (actionName == pressAction() && role() == QAccessible::Button) {
      emit static_cast<TrmLed*>(widget())->clicked();
      return;
    }
    QAccessibleWidget::doAction(actionName);
  }
};

// --- Counters ---

class TAccessibleCounter : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit TAccessibleCounter(TCounterDisplay* counter) : QAccessibleWidget(counter, QAccessible::StaticText) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value || t == QAccessible::Description) return QString::number(Counter()->Value());
    return QAccessibleWidget::text(t);
  }

  QVariant currentValue() const override { return QVariant::fromValue<qlonglong>(Counter()->Value()); }
  void setCurrentValue(const QVariant&) override {}  // shows a count; not set from outside
  QVariant maximumValue() const override { return QVariant::fromValue(std::numeric_limits<qlonglong>::max()); }
  QVariant minimumValue() const override { return QVariant::fromValue<qlonglong>(0); }
  QVariant minimumStepSize() const override { return QVariant::fromValue<qlonglong>(1); }

 private:
  const TCounterDisplay* Counter() const { return static_cast<const TCounterDisplay*>(widget()); }
};

// --- Port status shapes ---

class TAccessibleShape : public QAccessibleWidget {
 public:
  explicit TAccessibleShape(TShape* shape) : QAccessibleWidget(shape, QAccessible::Graphic) {}

  QString text(QAccessible::Text t) const override {
    const auto* shape = static_cast<const TShape*>(widget());
    switch (t) {
      case QAccessible::Value:
        return shape->StateText();
      case QAccessible::Description: {
        const QString state = shape->StateText();
        const QString hint = shape->Hint();
        if (hint.isEmpty()) return state;
        if (state.isEmpty()) return hint;
        return QStringLiteral("%1 (%2)").arg(state, hint);
      }
      default:
        return QAccessibleWidget::text(t);
    }
  }
};

// --- Event log ---

// The log as one text, a line break between lines; the cursor sits at the
// start of the cursor line, or at the end while the log follows the end.
class TAccessibleLog : public QAccessibleWidget, public QAccessibleTextInterface {
 public:
  explicit TAccessibleLog(TLogView* log) : QAccessibleWidget(log, QAccessible::EditableText) {}

  void* interface_cast(QAccessible::InterfaceType t) override {
    if (t == QAccessible::TextInterface) return static_cast<QAccessibleTextInterface*>(this);
    return QAccessibleWidget::interface_cast(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Model()->Text();
    return QAccessibleWidget::text(t);
  }

  // Selection: the selected lines, whole.
  void selection(int selectionIndex, int* startOffset, int* endOffset) const override {
    *startOffset = *endOffset = 0;
    const auto [first, last] = Log()->Selection();
    if (selectionIndex != 0 || first < 0) return;
    *startOffset = LineStart(first);
    *endOffset = LineStart(last) + static_cast<int>(Model()->Line(last).size());
  }
  int selectionCount() const override { return Log()->HasSelection() ? 1 : 0; }
  void addSelection(int startOffset, int endOffset) override { setSelection(0, startOffset, endOffset); }
  void removeSelection(int selectionIndex) override {
    if (selectionIndex == 0) Log()->ClearSelection();
  }
  void setSelection(int selectionIndex, int startOffset, int endOffset) override {
    if (selectionIndex != 0 || Model()->LineCount() == 0) return;
    const int first = LineAtOffset(std::min(startOffset, endOffset));
    const int last = LineAtOffset(std::max(startOffset, endOffset - 1));
    Log()->SelectLines(first, std::max(first, last));
  }

  int cursorPosition() const override {
    const int line = Log()->CurrentLine();
    return line < 0 ? characterCount() : LineStart(line);
  }
  void setCursorPosition(int position) override {
    if (Model()->LineCount() > 0) Log()->SetCurrentLine(LineAtOffset(position));
  }

  QString text(int startOffset, int endOffset) const override {
    const QString all = Model()->Text();
    startOffset = std::clamp(startOffset, 0, static_cast<int>(all.size()));
    endOffset = std::clamp(endOffset, startOffset, static_cast<int>(all.size()));
    return all.mid(startOffset, endOffset - startOffset);
  }
  int characterCount() const override {
    const TLogModel* model = Model();
    int count = std::max(0, model->LineCount() - 1);
    for (int i = 0; i < model->LineCount(); ++i) count += static_cast<int>(model->Line(i).size());
    return count;
  }

  // Geometry at line precision: a character's box is its line's.
  QRect characterRect(int offset) const override {
    if (Model()->LineCount() == 0) return QRect();
    const QRect line = Log()->LineRect(LineAtOffset(offset));
    return QRect(Log()->viewport()->mapToGlobal(line.topLeft()), line.size());
  }
  int offsetAtPoint(const QPoint& point) const override {
    const int line = Log()->LineAt(Log()->viewport()->mapFromGlobal(point));
    return line < 0 ? -1 : LineStart(line);
  }
  // Scrolling would move the reader's place in the log; the view is left as it is.
  void scrollToSubstring(int, int) override {}
  QString attributes(int offset, int* startOffset, int* endOffset) const override {
    *startOffset = 0;
    *endOffset = std::max(offset, characterCount());
    return QString();
  }

 private:
  TLogView* Log() const { return static_cast<TLogView*>(widget()); }
  const TLogModel* Model() const { return Log()->Model(); }

  int LineStart(int line) const {
    int offset = 0;
    for (int i = 0; i < line; ++i) offset += static_cast<int>(Model()->Line(i).size()) + 1;
    return offset;
  }
  // The line that holds an offset (its line break included); the last one past the end.
  int LineAtOffset(int offset) const {
    const TLogModel* model = Model();
    int start = 0;
    for (int i = 0; i < model->LineCount(); ++i) {
      const int next = start + static_cast<int>(model->Line(i).size()) + 1;
      if (offset < next) return i;
      start = next;
    }
    return std::max(0, model->LineCount() - 1);
  }
};

QAccessibleInterface* CreateInterface(const QString&, QObject* object) {
  if (auto* led = qobject_cast<TrmLed*>(object)) return new TAccessibleLed(led);
  if (auto* counter = qobject_cast<TCounterDisplay*>(object)) return new TAccessibleCounter(counter);
  if (auto* shape = qobject_cast<TShape*>(object)) return new TAccessibleShape(shape);
  if (auto* log = qobject_cast<TLogView*>(object)) return new TAccessibleLog(log);
  // A plain widget as a top-level window would be a mere "filler".
  if (auto* bulk = qobject_cast<TfmSendBulk*>(object)) return new QAccessibleWidget(bulk, QAccessible::Window);
  return nullptr;
}

}  // namespace

void Accessibility_Install() {
  static const bool installed = [] {
    QAccessible::installFactory(CreateInterface);
    return true;
  }();
  (void)installed;
}
