// The application-wide exception hook: once installed, an error leaving an
// event handler is discarded and the next events are handled as usual.
#include <gtest/gtest.h>

#include <QApplication>
#include <QEvent>

#include <stdexcept>

#include "OrvalisApplication.h"

namespace {

class TThrowingReceiver : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() != QEvent::User) return QObject::event(e);
    ++Handled;
    if (Throw) throw std::runtime_error("handler failed");
    return true;
  }
  bool Throw = true;
  int Handled = 0;
};

TEST(ExceptionHookTest, DiscardsErrorsLeavingHandlersOnceInstalled) {
  auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
  ASSERT_NE(app, nullptr);
  TThrowingReceiver receiver;
  QEvent event(QEvent::User);
  TOrvalisApplication::UninstallExceptionHook();

  EXPECT_THROW(TOrvalisApplication::Deliver(*app, &receiver, &event), std::runtime_error);
  EXPECT_THROW(TOrvalisApplication::RunGuarded([] { throw std::runtime_error("x"); }),
               std::runtime_error);

  TOrvalisApplication::InstallExceptionHook();
  EXPECT_FALSE(TOrvalisApplication::Deliver(*app, &receiver, &event));
  receiver.Throw = false;
  EXPECT_TRUE(TOrvalisApplication::Deliver(*app, &receiver, &event));
  EXPECT_EQ(receiver.Handled, 3);
  EXPECT_NO_THROW(TOrvalisApplication::RunGuarded([] { throw std::runtime_error("x"); }));
  TOrvalisApplication::UninstallExceptionHook();
}

}  // namespace
