#pragma once
// The main window on the scriptable back end, with what the file commands'
// tests share: a send timer that runs time at the test's pace, dialogs
// answered in advance, files in a folder of the test's own.

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "../main/MainWindowFixture.h"
#include "FileCommands.h"
#include "FileDialogs.h"
#include "FileTestSupport.h"
#include "SendTimer.h"

// Each call comes when the test runs it, after exactly the time asked for.
class FakeSendTimer : public SendTimer {
 public:
  qint64 NowMs() override { return Now; }
  void CallAfter(int ms, std::function<void()> due) override {
    Due = std::move(due);
    DueAt = Now + ms;
    Delays.push_back(ms);
  }
  void Cancel() override { Due = nullptr; }

  // Lets time pass to the next call and makes it; false when none is due.
  bool RunNext() {
    if (!Due) return false;
    Now = DueAt;
    std::exchange(Due, nullptr)();
    return true;
  }
  // Runs the calls one after the other until none is left.
  void RunAll() {
    while (RunNext()) {
    }
  }

  qint64 Now = 0;
  qint64 DueAt = 0;
  std::function<void()> Due;
  std::vector<int> Delays;  // every delay asked for, in order
};

// The main window with its file commands; their dialogs answer from the
// fields below and note what they were shown.
class FilesFixture : public MainWindowFixture {
 protected:
  void StartFiles(const TDevices& devices = {}) {
    Start(devices);
    AnswerDialogs();
  }

  void AnswerDialogs() {
    FileDialogs& dialogs = window->Files->Dialogs;
    dialogs.AskSavePath = [this](QWidget*, const QString&, const QString& proposed, const QString&) {
      proposedPaths.push_back(proposed);
      return savePath;
    };
    dialogs.AskOpenPath = [this](QWidget*, const QString&, const QString& folder, const QString&) {
      openFolders.push_back(folder);
      return openPath;
    };
    dialogs.Confirm = [this](QWidget*, const QString& text, const QString&) {
      confirmations.push_back(text);
      return confirm;
    };
    dialogs.Warn = [this](QWidget*, const QString& text) { warnings.push_back(text); };
  }

  QString FilePath(const QString& name) const { return files.filePath(name); }

  QTemporaryDir files;
  QString savePath;  // the answer to a save dialog ("": cancelled)
  QString openPath;  // the answer to an open dialog
  bool confirm = true;
  QStringList proposedPaths;
  QStringList openFolders;
  QStringList confirmations;
  QStringList warnings;
};
