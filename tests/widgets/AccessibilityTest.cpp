// What assistive technology reads of the program's own widgets, through the
// interfaces Qt hands to it, and how often it is told of a change. (Whether
// the events reach the accessibility bus is seen by the test that drives the
// program through it, tests/a11y.)
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <QWidget>

#include <memory>
#include <utility>
#include <vector>

#include "AccessibleAnnouncer.h"
#include "AccessibleWidgets.h"
#include "CounterDisplay.h"
#include "HexSpinBox.h"
#include "LogView.h"
#include "StatusShape.h"
#include "WidgetTestUtil.h"
#include "rmLed.h"

namespace {

class AccessibilityTest : public ::testing::Test {
 protected:
  void SetUp() override {
    Accessibility_Install();
    layout = new QVBoxLayout(&window);
  }

  static QAccessibleInterface* Interface(QWidget* widget) {
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(widget);
    EXPECT_NE(iface, nullptr);
    return iface;
  }

  static QString Text(QWidget* widget, QAccessible::Text kind) { return Interface(widget)->text(kind); }

  template <typename W> W* Add(W* widget) {
    layout->addWidget(widget);
    return widget;
  }

  QWidget window;
  QVBoxLayout* layout = nullptr;
};

TEST_F(AccessibilityTest, ALampIsAnImageNamedByItsCaptionThatSaysWhetherItIsLitAndWhy) {
  auto* led = Add(new TrmLed);
  auto* caption = Add(new QLabel("MIDI In"));
  caption->setBuddy(led);
  led->SetLitMeaning("des messages MIDI arrivent");

  EXPECT_EQ(Interface(led)->role(), QAccessible::Graphic);
  EXPECT_EQ(Text(led, QAccessible::Name), "MIDI In");
  EXPECT_EQ(Text(led, QAccessible::Value), QString::fromUtf8("éteinte"));
  EXPECT_EQ(Text(led, QAccessible::Description), QString::fromUtf8("éteinte"));
  led->SetLedOn(true);
  EXPECT_EQ(Text(led, QAccessible::Value), QString::fromUtf8("allumée"));
  EXPECT_EQ(Text(led, QAccessible::Description), QString::fromUtf8("allumée : des messages MIDI arrivent"));
}

TEST_F(AccessibilityTest, ALampThatTakesTheFocusIsAButtonThatSpaceEnterAndItsPressActionClick) {
  auto* led = Add(new TrmLed);
  led->setFocusPolicy(Qt::StrongFocus);
  int clicks = 0;
  QObject::connect(led, &TrmLed::clicked, [&] { ++clicks; });

  QAccessibleInterface* iface = Interface(led);
  EXPECT_EQ(iface->role(), QAccessible::Button);
  QAccessibleActionInterface* actions = iface->actionInterface();
  ASSERT_NE(actions, nullptr);
  ASSERT_TRUE(actions->actionNames().contains(QAccessibleActionInterface::pressAction()));
  actions->doAction(QAccessibleActionInterface::pressAction());
  EXPECT_EQ(clicks, 1);

  for (int key : {Qt::Key_Space, Qt::Key_Return, Qt::Key_Enter}) {
    QKeyEvent press(QEvent::KeyPress, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    QApplication::sendEvent(led, &press);
  }
  EXPECT_EQ(clicks, 4);
  QKeyEvent letter(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
  QApplication::sendEvent(led, &letter);
  EXPECT_EQ(clicks, 4);
}

TEST_F(AccessibilityTest, ALampWithoutFocusPolicyIgnoresTheKeys) {
  auto* led = Add(new TrmLed);
  int clicks = 0;
  QObject::connect(led, &TrmLed::clicked, [&] { ++clicks; });
  QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, " ");
  QApplication::sendEvent(led, &press);
  EXPECT_EQ(clicks, 0);
  EXPECT_EQ(Interface(led)->role(), QAccessible::Graphic);
}

// The widget as drawn on screen, in one pixel format.
QImage Grab(QWidget* widget) { return widget->grab().toImage().convertToFormat(QImage::Format_RGB32); }

TEST_F(AccessibilityTest, AFocusedLampShowsAFocusFrameOverItsPicture) {
  auto* other = new QPushButton("Reset", &window);
  other->setGeometry(20, 0, 60, 25);
  auto* led = new TrmLed(&window);
  led->setFocusPolicy(Qt::StrongFocus);
  led->setGeometry(0, 0, 13, 13);
  ShowExposed(window);
  window.activateWindow();
  other->setFocus();
  QApplication::processEvents();
  ASSERT_FALSE(led->hasFocus());
  const QImage unfocused = Grab(led);
  ASSERT_EQ(unfocused.size(), QSize(13, 13));
  EXPECT_EQ(unfocused, led->Buffer().convertToFormat(QImage::Format_RGB32)) << "the picture alone";
  led->setFocus();
  QApplication::processEvents();
  ASSERT_TRUE(led->hasFocus());
  EXPECT_NE(Grab(led), unfocused);
  led->DrawToBuffer();
  EXPECT_EQ(led->Buffer().convertToFormat(QImage::Format_RGB32), unfocused) << "the buffer keeps the plain picture";
}

TEST_F(AccessibilityTest, ACounterGivesItsCountAsValueAndDescription) {
  auto* counter = Add(new TCounterDisplay);
  counter->setAccessibleName("Compteur MIDI In");
  QAccessibleInterface* iface = Interface(counter);
  EXPECT_EQ(iface->role(), QAccessible::StaticText);
  EXPECT_EQ(iface->text(QAccessible::Name), "Compteur MIDI In");
  ASSERT_NE(iface->valueInterface(), nullptr);
  EXPECT_EQ(iface->valueInterface()->currentValue().toLongLong(), 0);
  EXPECT_EQ(iface->valueInterface()->minimumValue().toLongLong(), 0);
  counter->SetValue(1234567);
  EXPECT_EQ(iface->valueInterface()->currentValue().toLongLong(), 1234567);
  EXPECT_EQ(iface->text(QAccessible::Description), "1234567");
  EXPECT_EQ(iface->text(QAccessible::Value), "1234567");
  iface->valueInterface()->setCurrentValue(5);
  EXPECT_EQ(counter->Value(), 1234567) << "a count is not set from outside";
}

TEST_F(AccessibilityTest, AStatusShapeSaysThePortStateItsColourShowsWithItsHint) {
  auto* shape = Add(new TShape);
  shape->setAccessibleName("Port MidiIn");
  struct Case {
    QColor color;
    const char* hint;
    const char* value;
    const char* description;
  };
  const Case cases[] = {
      {QColor(0xFF, 0x00, 0x00), "", "fermé", "fermé"},
      {QColor(0x80, 0x80, 0x80), "", "ouverture en cours", "ouverture en cours"},
      {QColor(0x00, 0xFF, 0x00), "Port MidiIn ouvert", "ouvert", "ouvert (Port MidiIn ouvert)"},
      {QColor(0xFF, 0x00, 0x00), "Port MidiIn fermé", "fermé", "fermé (Port MidiIn fermé)"},
      {QColor(0x12, 0x34, 0x56), "Port MidiIn fermé", "", "Port MidiIn fermé"},
  };
  EXPECT_EQ(Interface(shape)->role(), QAccessible::Graphic);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.description);
    shape->SetBrushColor(c.color);
    shape->SetHint(QString::fromUtf8(c.hint));
    EXPECT_EQ(Text(shape, QAccessible::Name), "Port MidiIn");
    EXPECT_EQ(Text(shape, QAccessible::Value), QString::fromUtf8(c.value));
    EXPECT_EQ(Text(shape, QAccessible::Description), QString::fromUtf8(c.description));
  }
}

TEST_F(AccessibilityTest, AByteFieldDescribesItsValueInHexadecimalAndTakesItsNameFromItsLabel) {
  auto* caption = Add(new QLabel("NoteOn"));
  auto* field = Add(new THexSpinBox);
  caption->setBuddy(field);
  field->setValue(0x90);
  EXPECT_EQ(Interface(field)->role(), QAccessible::SpinBox);
  EXPECT_EQ(Text(field, QAccessible::Name), "NoteOn");
  EXPECT_EQ(Text(field, QAccessible::Description), QString::fromUtf8("valeur hexadécimale 90"));
  field->setValue(0x0A);
  EXPECT_EQ(Text(field, QAccessible::Description), QString::fromUtf8("valeur hexadécimale 0A"));
  caption->setText("CC");
  EXPECT_EQ(Text(field, QAccessible::Name), "CC") << "the name follows the caption";
}

// --- The event log as text ---

class LogAccessibilityTest : public AccessibilityTest {
 protected:
  void SetUp() override {
    AccessibilityTest::SetUp();
    log = Add(new TLogView);
    log->setAccessibleName("Messages");
    log->Model()->AppendLines({"[MIDI-In] - 90 3C 40 (Note On)", "Test boucle...", "[Midi-Out] - C0 01"}, 400);
  }

  QAccessibleTextInterface* TextOf() { return Interface(log)->textInterface(); }

  TLogView* log = nullptr;
};

TEST_F(LogAccessibilityTest, TheLogIsAReadOnlyMultiLineTextOfItsLines) {
  QAccessibleInterface* iface = Interface(log);
  EXPECT_EQ(iface->role(), QAccessible::EditableText);
  EXPECT_TRUE(iface->state().readOnly);
  EXPECT_TRUE(iface->state().multiLine);
  EXPECT_EQ(iface->text(QAccessible::Name), "Messages");
  QAccessibleTextInterface* text = TextOf();
  ASSERT_NE(text, nullptr);
  const QString all = "[MIDI-In] - 90 3C 40 (Note On)\nTest boucle...\n[Midi-Out] - C0 01";
  EXPECT_EQ(text->characterCount(), all.size());
  EXPECT_EQ(text->text(0, text->characterCount()), all);
  EXPECT_EQ(text->text(31, 45), "Test boucle...");
  EXPECT_EQ(text->text(-5, 1000), all) << "offsets are kept inside the text";
  EXPECT_EQ(iface->text(QAccessible::Value), all);
}

TEST_F(LogAccessibilityTest, AScreenReaderReadsTheLogLineByLine) {
  QAccessibleTextInterface* text = TextOf();
  int start = -1;
  int end = -1;
  EXPECT_EQ(text->textAtOffset(35, QAccessible::LineBoundary, &start, &end).trimmed(), "Test boucle...");
  EXPECT_EQ(start, 31);
}

TEST_F(LogAccessibilityTest, TheCursorIsAtTheEndWhileTheLogFollowsItAndOnTheCursorLineOtherwise) {
  QAccessibleTextInterface* text = TextOf();
  EXPECT_EQ(text->cursorPosition(), text->characterCount());
  log->SetCurrentLine(1);
  EXPECT_EQ(text->cursorPosition(), 31);
  text->setCursorPosition(50);  // inside the third line
  EXPECT_EQ(log->CurrentLine(), 2);
}

TEST_F(LogAccessibilityTest, TheSelectionIsTheSelectedLinesWhole) {
  QAccessibleTextInterface* text = TextOf();
  EXPECT_EQ(text->selectionCount(), 0);
  log->SelectLines(0, 1);
  ASSERT_EQ(text->selectionCount(), 1);
  int start = -1;
  int end = -1;
  text->selection(0, &start, &end);
  EXPECT_EQ(start, 0);
  EXPECT_EQ(end, 45);
  text->setSelection(0, 33, 50);  // from the second line into the third
  EXPECT_EQ(log->Selection(), (std::pair<int, int>{1, 2}));
  text->removeSelection(0);
  EXPECT_FALSE(log->HasSelection());
}

TEST_F(LogAccessibilityTest, AnEmptyLogIsAnEmptyText) {
  log->Clear();
  QAccessibleTextInterface* text = TextOf();
  EXPECT_EQ(text->characterCount(), 0);
  EXPECT_EQ(text->text(0, 10), "");
  EXPECT_EQ(text->cursorPosition(), 0);
  text->setCursorPosition(3);
  text->setSelection(0, 0, 3);
  EXPECT_EQ(log->CurrentLine(), -1);
}

// --- How often changes are announced ---

class AnnouncerTest : public AccessibilityTest {
 protected:
  void SetUp() override {
    AccessibilityTest::SetUp();
    widget = Add(new QWidget);
    announcer = new TAccessibleAnnouncer(
        widget, [this] { return state; },
        [this] { announced.push_back(state); });
    announcer->NowMs = [this] { return now; };
    announcer->Listening = [this] { return listening; };
  }

  // Waits (in real time, generously) until the held announcement has gone.
  void WaitForHeld() {
    QElapsedTimer watch;
    watch.start();
    while (held() && watch.elapsed() < 5000) {
      QThread::msleep(5);
      QApplication::processEvents();
    }
  }
  bool held() const { return announcer->Holding(); }

  QWidget* widget = nullptr;
  TAccessibleAnnouncer* announcer = nullptr;
  QString state = "0";
  qint64 now = 1000;
  bool listening = true;
  std::vector<QString> announced;
};

TEST_F(AnnouncerTest, AChangeIsAnnouncedWhenItIsPaintedAndAnUnchangedStateIsNot) {
  announcer->Painted();
  EXPECT_TRUE(announced.empty()) << "the state it started with";
  state = "1";
  announcer->Painted();
  EXPECT_EQ(announced, std::vector<QString>{"1"});
  now += 1000;
  announcer->Painted();
  EXPECT_EQ(announced.size(), 1u);
}

TEST_F(AnnouncerTest, AFloodOfChangesIsAnnouncedOnceAtFirstThenWithItsLastStateAfterTheInterval) {
  // 1000 paintings 4 ms apart, each with a new state, while the event loop
  // does not run: only the first is announced at once.
  for (int i = 1; i <= 1000; ++i) {
    state = QString::number(i);
    now += 4;
    announcer->Painted();
  }
  EXPECT_EQ(announced, std::vector<QString>{"1"});
  EXPECT_TRUE(held());
  WaitForHeld();
  EXPECT_EQ(announced, (std::vector<QString>{"1", "1000"}));
}

TEST_F(AnnouncerTest, AChangeWithinTheIntervalIsAnnouncedAfterItWithTheStateOfThatTime) {
  state = "1";
  announcer->Painted();
  now += 100;
  state = "2";
  announcer->Painted();
  EXPECT_EQ(announced, std::vector<QString>{"1"});
  ASSERT_TRUE(held());
  state = "3";  // changed again, not painted yet
  now += 100;
  QApplication::processEvents();
  now += TAccessibleAnnouncer::MinIntervalMs;
  WaitForHeld();
  EXPECT_EQ(announced, (std::vector<QString>{"1", "3"}));
}

TEST_F(AnnouncerTest, AChangeUndoneWithinTheIntervalIsNotAnnounced) {
  state = "1";
  announcer->Painted();
  now += 50;
  state = "0";
  announcer->Painted();
  state = "1";
  now += TAccessibleAnnouncer::MinIntervalMs;
  WaitForHeld();
  EXPECT_EQ(announced, std::vector<QString>{"1"});
}

TEST_F(AnnouncerTest, NothingIsSentWhileNoAssistiveTechnologyListens) {
  listening = false;
  state = "1";
  announcer->Painted();
  EXPECT_TRUE(announced.empty());
  listening = true;
  now += 1000;
  announcer->Painted();
  EXPECT_TRUE(announced.empty()) << "the change was followed already";
}

}  // namespace
