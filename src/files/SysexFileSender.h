#pragma once
// The window "Envoyer un fichier SysEx": reads a .syx file (or a file of
// hexadecimal text), shows how many messages it holds and their sizes, and
// sends them to the main window's output with a chosen pause between two
// messages (0 to 1 000 ms), showing a progress bar, the bytes sent and the
// time left, with a button that stops the send. A file that is not a sequence
// of whole, valid messages is refused with a French text and nothing of it
// can be sent.
//
// Not modal: the send is driven by a timer (SysexSendJob), so this window and
// the main window stay responsive however long it takes. Closing the window
// stops a send under way.
//
// User-interface thread only. The window owns its controls, its timer and its
// send job (Qt parent ownership); the dialogs belong to the caller and outlive
// the window.

#include <QWidget>

#include <functional>
#include <memory>

class FileDialogs;
class QLabel;
class QLineEdit;
class QListView;
class QProgressBar;
class QPushButton;
class QSpinBox;
class SendTimer;
class SysexFile;
class SysexMessageListModel;
class SysexSendJob;

class SysexFileSender : public QWidget {
  Q_OBJECT

 public:
  explicit SysexFileSender(FileDialogs& dialogs, QWidget* parent = nullptr);
  ~SysexFileSender() override;

  // Reads the file and shows its messages, or why it is refused; true when it
  // can be sent. Nothing is done while a send runs.
  bool LoadFile(const QString& path);
  // Asks for a file in Folder(), then loads it ("Choisir…").
  void ChooseFile();
  // "Envoyer": sends the loaded file from its first message.
  void StartSend();
  // "Arrêter".
  void StopSend();

  QString Folder() const { return FFolder; }
  void SetFolder(const QString& folder) { FFolder = folder; }
  int PauseMs() const;
  void SetPauseMs(int ms);
  // Names the output that the messages go to; ShowOutputName shows it again
  // (the main window's output changed).
  void SetOutputNameSource(std::function<QString()> source);
  void ShowOutputName();
  // For tests: the time source of the sends started from now on.
  void SetSendTimer(SendTimer& timer);

  // The loaded file (none before one is loaded or after a refused one) and
  // the current or last send (none before one is started).
  std::shared_ptr<const SysexFile> File() const { return FFile; }
  SysexSendJob* Job() const { return FJob; }
  bool Sending() const;

  QLineEdit* edFile;
  QPushButton* btnChoose;
  QLabel* lblOutput;
  QLabel* lblSummary;
  QListView* lstMessages;
  QSpinBox* sePause;
  QProgressBar* pbProgress;
  QLabel* lblBytes;
  QLabel* lblTimeLeft;
  QLabel* lblStatus;
  QPushButton* btnSend;
  QPushButton* btnStop;
  QPushButton* btnClose;

 signals:
  // The folder of a file chosen in the dialog.
  void FolderChosen(const QString& folder);
  // The pause as the user set it.
  void PauseChanged(int ms);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void ShowProgress();
  void ShowOutcome();
  void UpdateControls();

  FileDialogs& FDialogs;
  SendTimer* FTimer;  // FOwnTimer unless a test gave one
  SendTimer* FOwnTimer;
  std::function<QString()> FOutputName;
  QString FFolder;
  std::shared_ptr<const SysexFile> FFile;
  SysexMessageListModel* FModel;
  SysexSendJob* FJob = nullptr;  // child; replaced by each send
};
