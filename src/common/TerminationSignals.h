// Turns SIGTERM, SIGINT and SIGHUP into an orderly close on the UI thread, so
// that a desktop session ending, `kill` or Ctrl+C in a terminal saves the
// preferences and closes the ports like the window's own close does.
//
// Owned by main() for the life of the event loop; one instance at a time. The
// signal handler only writes one byte to a socket pair (async-signal-safe);
// a QSocketNotifier on the UI thread reads it and runs the handler given to
// the constructor, once Enable() has been called: start-up runs nested event
// loops before the main one starts, and a close then would be lost. Signals
// that come before are kept and acted on at Enable(). The previous signal
// dispositions come back on destruction.
#pragma once

#include <QObject>

#include <functional>
#include <memory>

class QSocketNotifier;

class TTerminationSignals : public QObject {
  Q_OBJECT
public:
  explicit TTerminationSignals(std::function<void()> onTerminate, QObject* parent = nullptr);
  ~TTerminationSignals() override;

  TTerminationSignals(const TTerminationSignals&) = delete;
  TTerminationSignals& operator=(const TTerminationSignals&) = delete;

  // Starts acting on signals, including those that came before.
  void Enable();

  // False when the socket pair or a handler could not be set up; the program
  // then runs with the default dispositions.
  bool IsActive() const { return Active; }

private:
  void Drain();

  std::function<void()> OnTerminate;
  struct Saved;
  std::unique_ptr<Saved> Previous;
  QSocketNotifier* Notifier = nullptr;  // Qt child
  bool Active = false;
};
