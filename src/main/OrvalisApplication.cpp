#include "OrvalisApplication.h"

TOrvalisApplication::TOrvalisApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool TOrvalisApplication::notify(QObject* receiver, QEvent* event) {
  if (!FHookInstalled) return QApplication::notify(receiver, event);
  try {
    return QApplication::notify(receiver, event);
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
