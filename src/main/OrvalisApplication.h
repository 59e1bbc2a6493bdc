#pragma once

#include <QApplication>

#include <functional>

// The application object. Once the exception hook is installed, every error
// that leaves an event handler of any window is discarded silently: no dialog,
// no output. Before that, errors pass on as with a plain QApplication.
class TOrvalisApplication : public QApplication {
  Q_OBJECT

 public:
  TOrvalisApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  static void InstallExceptionHook() { FHookInstalled = true; }
  static void UninstallExceptionHook() { FHookInstalled = false; }
  // Runs an action and discards what it raises once the hook is installed.
  static void RunGuarded(const std::function<void()>& action);
  // Delivers an event through `app` as notify does.
  static bool Deliver(QApplication& app, QObject* receiver, QEvent* event);

 private:
  static inline bool FHookInstalled = false;
};
