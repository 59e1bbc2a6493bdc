#include "FileCommands.h"

#include <QAction>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTimer>

#include "FileTexts.h"
#include "IniFile.h"
#include "MidiType.h"
#include "ReceivedSysexStore.h"
#include "StatusBar.h"
#include "SysexFileSender.h"
#include "TrafficRecorder.h"
#include "WholeFile.h"
#include "frmMain.h"

namespace {

const QString kTextFilter = QStringLiteral("Fichiers texte (*.txt);;Tous les fichiers (*)");
const QString kSysexFilter = QStringLiteral("Fichiers SysEx (*.syx);;Tous les fichiers (*)");

QLabel* NewStatusLabel(QWidget* bar) {
  auto* label = new QLabel(bar);
  label->setStyleSheet(QStringLiteral("color: #C00000;"));
  label->hide();
  return label;
}

}  // namespace

FileCommands::FileCommands(TfmMain& window)
    : QObject(&window),
      FWindow(window),
      FReceivedSysex(new ReceivedSysexStore(ReceivedSysexStore::DefaultCapacity, this)),
      FStatusTimer(new QTimer(this)),
      FPauseSaveTimer(new QTimer(this)) {
  // A pause stepped with the arrows or the wheel is written once it settles.
  FPauseSaveTimer->setSingleShot(true);
  FPauseSaveTimer->setInterval(PauseSaveDelayMs);
  connect(FPauseSaveTimer, &QTimer::timeout, this, &FileCommands::SavePrefs);
  lblRecording = NewStatusLabel(window.sbMain);
  lblSysexDropped = NewStatusLabel(window.sbMain);
  window.sbMain->addPermanentWidget(lblSysexDropped);
  window.sbMain->addPermanentWidget(lblRecording);
  FStatusTimer->setInterval(StatusIntervalMs);
  connect(FStatusTimer, &QTimer::timeout, this, &FileCommands::UpdateRecordingStatus);

  connect(FReceivedSysex, &ReceivedSysexStore::OldestDropped, this, [this] {
    lblSysexDropped->setText(QStringLiteral("SysEx reçus : anciens retirés"));
    lblSysexDropped->setToolTip(QStringLiteral("Les SysEx reçus les plus anciens sont retirés : la mémoire est limitée à %1.")
                                    .arg(ByteSizeText(FReceivedSysex->Capacity())));
    lblSysexDropped->show();
  });
  connect(window.btnLogClear, &QPushButton::clicked, this, [this] {
    FReceivedSysex->Clear();
    lblSysexDropped->hide();
  });

  window.OnMidiInEvent = [this](const TMyMidiEvent& event) {
    FReceivedSysex->Feed(event);
    if (FRecorder) FRecorder->Append(FWindow.LogTimeStampOf(event) + MidiInEventText(event));
  };
  window.OnMidiOutLine = [this](const QString& line) {
    if (FRecorder) FRecorder->Append(FWindow.LogTimeStamp() + line);
  };
}

FileCommands::~FileCommands() {
  // The window's members may be gone already (this object goes with the
  // window's children): only what this object owns is touched here.
  delete FSender.data();
}

FilePrefs& FileCommands::Prefs() {
  if (!FPrefs) FPrefs = FilePrefs::Load(PrefsFileName);
  return *FPrefs;
}

void FileCommands::SavePrefs() {
  if (PrefsFileName.isEmpty()) return;
  try {
    Prefs().Save(PrefsFileName);
  } catch (const EIniWriteError&) {
    // A preferences file that cannot be written only means the choice is not
    // remembered, as with the program's other preferences.
  }
}

QString FileCommands::FolderOr(const QString& folder) {
  if (!folder.isEmpty() && QFileInfo(folder).isDir()) return folder;
  const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
  return QFileInfo(documents).isDir() ? documents : QDir::homePath();
}

QString FileCommands::ProposedPath(const QString& folder, const QString& kind, const QString& extension) {
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
  return QDir(folder).filePath(QStringLiteral("orvalis-%1-%2.%3").arg(kind, stamp, extension));
}

// --- The log ---

void FileCommands::SaveLogAs() {
  const QString path = Dialogs.AskSavePath(&FWindow, QStringLiteral("Enregistrer le journal"),
                                           ProposedPath(FolderOr(Prefs().LogFolder), QStringLiteral("journal"),
                                                        QStringLiteral("txt")),
                                           kTextFilter);
  if (path.isEmpty()) return;
  Prefs().LogFolder = QFileInfo(path).absolutePath();
  SavePrefs();
  const QString error = SaveLogTo(path);
  if (!error.isEmpty()) Dialogs.Warn(&FWindow, error + QLatin1Char('.'));
}

QString FileCommands::SaveLogTo(const QString& path) {
  QString text = FWindow.Log_Text();
  if (!text.isEmpty() && !text.endsWith(QLatin1Char('\n'))) text += QLatin1Char('\n');
  return WriteWholeFile(path, text.toUtf8());
}

// --- The traffic ---

bool FileCommands::Recording() const { return FRecorder && FRecorder->Running(); }

void FileCommands::RecordTrafficAs() {
  if (FRecorder) return;
  const QString path = Dialogs.AskSavePath(&FWindow, QStringLiteral("Enregistrer le trafic"),
                                           ProposedPath(FolderOr(Prefs().TrafficFolder), QStringLiteral("trafic"),
                                                        QStringLiteral("txt")),
                                           kTextFilter);
  if (path.isEmpty()) return;
  Prefs().TrafficFolder = QFileInfo(path).absolutePath();
  SavePrefs();
  const QString error = RecordTrafficTo(path);
  if (!error.isEmpty()) Dialogs.Warn(&FWindow, error);
}

QString FileCommands::RecordTrafficTo(const QString& path) {
  if (FRecorder) return QStringLiteral("Un enregistrement du trafic est déjà en cours.");
  auto recorder = std::make_unique<TrafficRecorder>(path);
  if (!recorder->Running()) {
    return QStringLiteral("Impossible d'enregistrer le trafic dans %1 : %2.")
        .arg(QFileInfo(path).fileName(), recorder->Failure());
  }
  FRecorder = std::move(recorder);
  FStatusTimer->start();
  UpdateRecordingStatus();
  UpdateActions();
  return {};
}

void FileCommands::StopTrafficRecording() { EndRecording(); }

void FileCommands::UpdateRecordingStatus() {
  if (!FRecorder) return;
  if (!FRecorder->Running()) {
    EndRecording();
    return;
  }
  lblRecording->setText(QStringLiteral("\u25CF Enregistrement du trafic : %1").arg(ByteSizeText(FRecorder->BytesWritten())));
  lblRecording->setToolTip(QDir::toNativeSeparators(FRecorder->Path()));
  lblRecording->show();
}

void FileCommands::EndRecording() {
  if (!FRecorder) return;
  FRecorder->Stop();
  const QString failure = FRecorder->Failure();
  const QString name = QFileInfo(FRecorder->Path()).fileName();
  const qint64 written = FRecorder->BytesWritten();
  FRecorder.reset();
  FStatusTimer->stop();
  UpdateActions();
  if (failure.isEmpty()) {
    lblRecording->hide();
    return;
  }
  const QString text = QStringLiteral("Enregistrement du trafic arrêté : %1.").arg(failure);
  lblRecording->setText(text);
  lblRecording->show();
  Dialogs.Warn(&FWindow, text + QStringLiteral("\n%1 garde les %2 enregistrés jusque-là.")
                                    .arg(name, ByteCountText(written)));
}

void FileCommands::UpdateActions() {
  if (FWindow.ActFileRecordTraffic) FWindow.ActFileRecordTraffic->setEnabled(!FRecorder);
  if (FWindow.ActFileStopTraffic) FWindow.ActFileStopTraffic->setEnabled(FRecorder != nullptr);
}

// --- Received system-exclusive messages ---

void FileCommands::SaveReceivedSysexAs() {
  const ReceivedSysexStore& store = *FReceivedSysex;
  if (store.Count() == 0) {
    Dialogs.Warn(&FWindow, QStringLiteral("Aucun SysEx reçu depuis le début ou « Effacer »."));
    return;
  }
  QString text = QStringLiteral("%1 SysEx reçus, %2 en tout.")
                     .arg(GroupedNumber(store.Count()), ByteCountText(store.TotalBytes()));
  if (store.Count() == 1) text = QStringLiteral("1 SysEx reçu, %1.").arg(ByteCountText(store.TotalBytes()));
  if (store.DroppedCount() == 1) {
    text += QStringLiteral("\nLe plus ancien a été retiré (mémoire limitée à %1).").arg(ByteSizeText(store.Capacity()));
  } else if (store.DroppedCount() > 1) {
    text += QStringLiteral("\nLes %1 plus anciens ont été retirés (mémoire limitée à %2).")
                .arg(GroupedNumber(store.DroppedCount()), ByteSizeText(store.Capacity()));
  }
  if (!Dialogs.Confirm(&FWindow, text, QStringLiteral("Enregistrer…"))) return;
  const QString path = Dialogs.AskSavePath(&FWindow, QStringLiteral("Enregistrer les SysEx reçus"),
                                           ProposedPath(FolderOr(Prefs().SysexSaveFolder), QStringLiteral("sysex"),
                                                        QStringLiteral("syx")),
                                           kSysexFilter);
  if (path.isEmpty()) return;
  Prefs().SysexSaveFolder = QFileInfo(path).absolutePath();
  SavePrefs();
  const QString error = SaveReceivedSysexTo(path);
  if (!error.isEmpty()) Dialogs.Warn(&FWindow, error + QLatin1Char('.'));
}

QString FileCommands::SaveReceivedSysexTo(const QString& path) { return FReceivedSysex->SaveTo(path); }

// --- Sending a file ---

void FileCommands::ShowSysexFileSender() {
  if (!FSender) {
    FSender = new SysexFileSender(Dialogs, &FWindow);
    FSender->SetFolder(FolderOr(Prefs().SysexSendFolder));
    FSender->SetPauseMs(Prefs().SendPauseMs);
    FSender->SetOutputNameSource([this] { return FWindow.cbMIDIOut->currentText(); });
    connect(FWindow.cbMIDIOut, &QComboBox::currentIndexChanged, FSender, &SysexFileSender::ShowOutputName);
    connect(FSender, &SysexFileSender::FolderChosen, this, [this](const QString& folder) {
      Prefs().SysexSendFolder = folder;
      SavePrefs();
    });
    connect(FSender, &SysexFileSender::PauseChanged, this, [this](int ms) {
      Prefs().SendPauseMs = ms;
      FPauseSaveTimer->start();
    });
  }
  FSender->show();
  FSender->raise();
  FSender->activateWindow();
}

SysexFileSender* FileCommands::Sender() const { return FSender.data(); }

void FileCommands::FormCloseQuery() {
  if (FSender) {
    FSender->StopSend();
    FSender->close();
  }
  if (FRecorder) EndRecording();
  if (FPauseSaveTimer->isActive()) {
    FPauseSaveTimer->stop();
    SavePrefs();
  }
}
