#pragma once
// The connection test window on the main window as the program builds it:
// on the scriptable back end (a device that answers as the test says) or on
// the program's own back ends (a real route).
#include <QComboBox>
#include <QElapsedTimer>

#include <functional>
#include <optional>

#include "../main/MainWindowFixture.h"
#include "ConnectionTestWindow.h"
#include "FileCommands.h"

class ConnectionTestFixture : public MainWindowFixture {
 protected:
  ConnectionTestWindow* Window() {
    if (!window->ConnectionTest) window->ActToolsConnectionTestExecute(window->ActToolsConnectionTest);
    return window->ConnectionTest;
  }

  static LinkTestSettings Settings(LinkMessageKind kind, int count, int rate, int timeoutMs, bool oneInFlight = false,
                                   int sysexLength = 128) {
    LinkTestSettings s;
    s.Kind = kind;
    s.Count = count;
    s.RatePerSecond = rate;
    s.TimeoutMs = timeoutMs;
    s.OneInFlight = oneInFlight;
    s.SysexLength = sysexLength;
    return s;
  }

  // Starts a run with the settings and processes events until it ends or
  // `timeoutMs` pass. On the scriptable back end, every short message sent
  // meanwhile is answered with what `answer` makes of it (none: no answer).
  bool RunToEnd(const LinkTestSettings& settings, int timeoutMs = 30000,
                const std::function<std::optional<uint32_t>(uint32_t)>& answer = nullptr) {
    ConnectionTestWindow* test = Window();
    test->ShowSettings(settings);
    test->StartRun();
    return WaitForEnd(timeoutMs, answer);
  }

  bool WaitForEnd(int timeoutMs, const std::function<std::optional<uint32_t>(uint32_t)>& answer = nullptr) {
    QElapsedTimer watch;
    watch.start();
    while (Window()->Running() && watch.elapsed() < timeoutMs) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
      if (answer && midi) {
        const std::vector<uint32_t> sent = midi->ShortMessages();
        for (; answered_ < sent.size(); ++answered_) {
          if (const auto reply = answer(sent[answered_])) midi->DeliverShort(*reply);
        }
      }
    }
    return !Window()->Running();
  }

  LinkTestRun::Counts Counts() { return Window()->Run()->GetCounts(); }

  static bool Choose(QComboBox* list, const QString& name) {
    const int index = list->findText(name);
    if (index < 0) return false;
    list->setCurrentIndex(index);
    return list->currentText() == name;
  }

  size_t answered_ = 0;
};
