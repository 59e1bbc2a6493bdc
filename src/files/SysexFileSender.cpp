#include "SysexFileSender.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>

#include "FileDialogs.h"
#include "FilePrefs.h"
#include "FileTexts.h"
#include "QtSendTimer.h"
#include "SysexFile.h"
#include "SysexMessageListModel.h"
#include "SysexSendJob.h"

namespace {

const QString kFilter = QStringLiteral("Fichiers SysEx (*.syx *.txt);;Tous les fichiers (*)");

QString Summary(const SysexFile& file) {
  const qsizetype count = file.MessageCount();
  if (count == 1) return QStringLiteral("1 message de %1.").arg(ByteCountText(file.TotalBytes()));
  qsizetype smallest = file.MessageSize(0);
  qsizetype largest = smallest;
  for (qsizetype i = 1; i < count; ++i) {
    const qsizetype size = file.MessageSize(i);
    smallest = std::min(smallest, size);
    largest = std::max(largest, size);
  }
  const QString range = smallest == largest
                            ? QStringLiteral("%1 chacun").arg(ByteCountText(smallest))
                            : QStringLiteral("de %1 à %2").arg(GroupedNumber(smallest), ByteCountText(largest));
  return QStringLiteral("%1, %2 en tout (%3).")
      .arg(MessageCountText(count), ByteCountText(file.TotalBytes()), range);
}

}  // namespace

SysexFileSender::SysexFileSender(FileDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), FDialogs(dialogs) {
  setObjectName(QStringLiteral("SysexFileSender"));
  setWindowTitle(QStringLiteral("Envoyer un fichier SysEx"));
  setAttribute(Qt::WA_QuitOnClose, false);
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  setFont(font);

  auto* ownTimer = new QtSendTimer(this);
  FOwnTimer = ownTimer;
  FTimer = FOwnTimer;
  FModel = new SysexMessageListModel(this);

  edFile = new QLineEdit(this);
  edFile->setReadOnly(true);
  edFile->setPlaceholderText(QStringLiteral("Aucun fichier choisi"));
  btnChoose = new QPushButton(QStringLiteral("Choisir…"), this);
  lblOutput = new QLabel(this);
  lblSummary = new QLabel(this);
  lblSummary->setWordWrap(true);
  lstMessages = new QListView(this);
  lstMessages->setModel(FModel);
  lstMessages->setUniformItemSizes(true);
  lstMessages->setEditTriggers(QAbstractItemView::NoEditTriggers);
  lstMessages->setSelectionMode(QAbstractItemView::SingleSelection);
  sePause = new QSpinBox(this);
  sePause->setRange(0, FilePrefs::MaxSendPauseMs);
  sePause->setSingleStep(10);
  sePause->setValue(FilePrefs::DefaultSendPauseMs);
  sePause->setSuffix(QStringLiteral(" ms"));
  pbProgress = new QProgressBar(this);
  pbProgress->setRange(0, 1);
  pbProgress->setValue(0);
  pbProgress->setFormat(QStringLiteral("%p %"));
  lblBytes = new QLabel(this);
  lblTimeLeft = new QLabel(this);
  lblStatus = new QLabel(this);
  lblStatus->setWordWrap(true);
  btnSend = new QPushButton(QStringLiteral("Envoyer"), this);
  btnStop = new QPushButton(QStringLiteral("Arrêter"), this);
  btnClose = new QPushButton(QStringLiteral("Fermer"), this);

  auto* layout = new QVBoxLayout(this);
  auto* fileRow = new QHBoxLayout;
  auto* fileLabel = new QLabel(QStringLiteral("Fichier :"), this);
  fileLabel->setBuddy(edFile);
  fileRow->addWidget(fileLabel);
  fileRow->addWidget(edFile, 1);
  fileRow->addWidget(btnChoose);
  layout->addLayout(fileRow);
  layout->addWidget(lblOutput);
  layout->addWidget(lblSummary);
  layout->addWidget(lstMessages, 1);
  auto* pauseRow = new QHBoxLayout;
  auto* pauseLabel = new QLabel(QStringLiteral("Pause entre les messages :"), this);
  pauseLabel->setBuddy(sePause);
  pauseRow->addWidget(pauseLabel);
  pauseRow->addWidget(sePause);
  pauseRow->addStretch(1);
  layout->addLayout(pauseRow);
  layout->addWidget(pbProgress);
  auto* countRow = new QHBoxLayout;
  countRow->addWidget(lblBytes, 1);
  countRow->addWidget(lblTimeLeft);
  layout->addLayout(countRow);
  layout->addWidget(lblStatus);
  auto* buttonRow = new QHBoxLayout;
  buttonRow->addStretch(1);
  buttonRow->addWidget(btnSend);
  buttonRow->addWidget(btnStop);
  buttonRow->addWidget(btnClose);
  layout->addLayout(buttonRow);
  resize(460, 380);

  connect(btnChoose, &QPushButton::clicked, this, &SysexFileSender::ChooseFile);
  connect(btnSend, &QPushButton::clicked, this, &SysexFileSender::StartSend);
  connect(btnStop, &QPushButton::clicked, this, &SysexFileSender::StopSend);
  connect(btnClose, &QPushButton::clicked, this, &QWidget::close);
  connect(sePause, &QSpinBox::valueChanged, this, [this](int ms) {
    if (FJob) FJob->SetPauseMs(ms);
    ShowProgress();
    emit PauseChanged(ms);
  });
  UpdateControls();
}

SysexFileSender::~SysexFileSender() {
  // The job goes before the timer it uses (children go in creation order).
  delete FJob;
  FJob = nullptr;
}

int SysexFileSender::PauseMs() const { return sePause->value(); }

void SysexFileSender::SetPauseMs(int ms) {
  const QSignalBlocker quiet(sePause);
  sePause->setValue(ms);
  if (FJob) FJob->SetPauseMs(sePause->value());
  ShowProgress();
}

void SysexFileSender::SetOutputNameSource(std::function<QString()> source) {
  FOutputName = std::move(source);
  UpdateControls();
}

void SysexFileSender::SetSendTimer(SendTimer& timer) {
  if (!Sending()) FTimer = &timer;
}

bool SysexFileSender::Sending() const { return FJob && FJob->Running(); }

void SysexFileSender::ChooseFile() {
  if (Sending()) return;
  const QString path =
      FDialogs.AskOpenPath(this, QStringLiteral("Envoyer un fichier SysEx"), FFolder, kFilter);
  if (path.isEmpty()) return;
  FFolder = QFileInfo(path).absolutePath();
  emit FolderChosen(FFolder);
  LoadFile(path);
}

bool SysexFileSender::LoadFile(const QString& path) {
  if (Sending()) return false;
  edFile->setText(QDir::toNativeSeparators(path));
  auto file = std::make_shared<const SysexFile>(SysexFile::Load(path));
  delete FJob;
  FJob = nullptr;
  if (file->Ok()) {
    FFile = file;
    lblSummary->setStyleSheet(QString());
    lblSummary->setText(Summary(*file));
    lblStatus->setText(QStringLiteral("Prêt à envoyer."));
  } else {
    FFile.reset();
    lblSummary->setStyleSheet(QStringLiteral("color: #FF0000;"));
    lblSummary->setText(file->Error());
    lblStatus->clear();
  }
  FModel->SetFile(FFile);
  ShowProgress();
  UpdateControls();
  return FFile != nullptr;
}

void SysexFileSender::StartSend() {
  if (!FFile || Sending()) return;
  delete FJob;
  FJob = new SysexSendJob(FFile, *FTimer, this);
  connect(FJob, &SysexSendJob::Progress, this, &SysexFileSender::ShowProgress);
  connect(FJob, &SysexSendJob::Finished, this, &SysexFileSender::ShowOutcome);
  lblStatus->setText(QStringLiteral("Envoi en cours…"));
  FJob->Start(sePause->value());
  ShowProgress();
  UpdateControls();
}

void SysexFileSender::StopSend() {
  if (FJob) FJob->Stop();
}

void SysexFileSender::ShowProgress() {
  const qint64 total = FFile ? FFile->TotalBytes() : 0;
  const qint64 sent = FJob ? FJob->BytesSent() : 0;
  // The bar counts in bytes up to 64 Mo, which an int holds.
  pbProgress->setRange(0, std::max<int>(1, static_cast<int>(total)));
  pbProgress->setValue(static_cast<int>(sent));
  if (!FFile) {
    lblBytes->clear();
    lblTimeLeft->clear();
    return;
  }
  lblBytes->setText(QStringLiteral("Octets envoyés : %1 sur %2").arg(GroupedNumber(sent), GroupedNumber(total)));
  // The last message sent stays in sight.
  if (FJob && FJob->MessagesSent() > 0) {
    const QModelIndex last = FModel->index(static_cast<int>(FJob->MessagesSent() - 1));
    lstMessages->setCurrentIndex(last);
    lstMessages->scrollTo(last);
  }
  qint64 left = 0;
  if (FJob) {
    left = FJob->RemainingMs();
  } else {
    left = std::max<qint64>(0, FFile->MessageCount() - 1) * sePause->value();
  }
  lblTimeLeft->setText(QStringLiteral("Temps restant : %1").arg(DurationText(left)));
}

void SysexFileSender::ShowOutcome() {
  ShowProgress();
  const qsizetype sent = FJob->MessagesSent();
  const qsizetype count = FFile->MessageCount();
  switch (FJob->CurrentState()) {
    case SysexSendJob::State::Done:
      lblStatus->setText(QStringLiteral("Envoi terminé : %1, %2.")
                             .arg(MessageCountText(count), ByteCountText(FJob->BytesSent())));
      break;
    case SysexSendJob::State::Stopped:
      lblStatus->setText(QStringLiteral("Envoi arrêté après %1 sur %2.")
                             .arg(MessageCountText(sent), GroupedNumber(count)));
      break;
    case SysexSendJob::State::Failed:
      lblStatus->setText(QStringLiteral("Envoi interrompu. %1").arg(FJob->FailureText()));
      break;
    default:
      break;
  }
  UpdateControls();
}

void SysexFileSender::UpdateControls() {
  const bool sending = Sending();
  btnChoose->setEnabled(!sending);
  btnSend->setEnabled(!sending && FFile != nullptr);
  btnStop->setEnabled(sending);
  ShowOutputName();
}

void SysexFileSender::ShowOutputName() {
  const QString output = FOutputName ? FOutputName() : QString();
  lblOutput->setText(QStringLiteral("Sortie MIDI : %1").arg(output.isEmpty() ? QStringLiteral("aucune") : output));
}

void SysexFileSender::showEvent(QShowEvent* event) {
  UpdateControls();
  QWidget::showEvent(event);
}

void SysexFileSender::closeEvent(QCloseEvent* event) {
  StopSend();
  QWidget::closeEvent(event);
}
