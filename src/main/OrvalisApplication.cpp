#include "OrvalisApplication.h"

TOrvalisApplication::TOrvalisApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TOrvalisApplication::notify(QObject* receiver, QEvent* event) {
  return Deliver(*this, receiver, event);
}

bool TOrvalisApplication::Deliver(QApplication& app, QObject* receiver, QEvent* event) {
  if (!FHookInstalled) return app.QApplication::notify(receiver, event);
  try {
    return app.QApplication::notify(receiver, event);
  } catch (...) {
    return false;
  }
}

void TOrvalisApplication::RunGuarded(const std::function<void()>& action) {
  if (!FHookInstalled) {
    action();
    return;
  }
  try {
    action();
  } catch (...) {
  }
}
