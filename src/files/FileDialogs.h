#pragma once
// The questions and notices that the file commands put to the user, as
// replaceable functions: the desktop's file dialogs (QFileDialog) and message
// boxes by default, answers given in advance in tests. User-interface thread
// only.

#include <QString>

#include <functional>

class QWidget;

class FileDialogs {
 public:
  // A path to write, starting from `proposedPath`; empty when cancelled.
  std::function<QString(QWidget* parent, const QString& caption, const QString& proposedPath,
                        const QString& filter)>
      AskSavePath;
  // An existing file to read, starting in `folder`; empty when cancelled.
  std::function<QString(QWidget* parent, const QString& caption, const QString& folder,
                        const QString& filter)>
      AskOpenPath;
  // True when the user goes on.
  std::function<bool(QWidget* parent, const QString& text, const QString& goOnCaption)> Confirm;
  // A notice that does not wait for the user: the program goes on meanwhile.
  std::function<void(QWidget* parent, const QString& text)> Warn;

  // The desktop's dialogs.
  FileDialogs();
};
