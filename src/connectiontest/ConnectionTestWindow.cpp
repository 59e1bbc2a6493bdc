#include "ConnectionTestWindow.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTimer>
#include <QVBoxLayout>

#include <stdexcept>

#include "CsvExport.h"
#include "FileDialogs.h"
#include "IniFile.h"
#include "LatencyCharts.h"
#include "LinkTestTexts.h"
#include "MidiIn.h"
#include "MidiOut.h"
#include "frmMain.h"
#include "uComm.h"
#include "uDeviceWatch.h"

namespace {

const QString kCsvFilter = QStringLiteral("Fichiers CSV (*.csv);;Tous les fichiers (*)");

QString CountText(uint64_t count) {
  static const QLocale french(QLocale::French, QLocale::France);
  return french.toString(static_cast<qulonglong>(count));
}

QLabel* FigureLabel(QWidget* parent) {
  auto* label = new QLabel(QStringLiteral("–"), parent);
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  label->setMinimumWidth(70);
  QFont bold = label->font();
  bold.setBold(true);
  label->setFont(bold);
  return label;
}

}  // namespace

ConnectionTestWindow::ConnectionTestWindow(TfmMain& mainWindow, FileDialogs& dialogs, QWidget* parent)
    : QWidget(parent, Qt::Window), FMain(mainWindow), FDialogs(dialogs) {
  setObjectName(QStringLiteral("ConnectionTestWindow"));
  setWindowTitle(QStringLiteral("Test de liaison"));
  setAttribute(Qt::WA_QuitOnClose, false);
  setLocale(QLocale(QLocale::French, QLocale::France));
  QFont font(QStringLiteral("Arial"));
  font.setPixelSize(11);
  setFont(font);

  FTickTimer = new QTimer(this);
  FTickTimer->setSingleShot(true);
  FTickTimer->setTimerType(Qt::PreciseTimer);
  connect(FTickTimer, &QTimer::timeout, this, &ConnectionTestWindow::Tick);
  FFiguresTimer = new QTimer(this);
  FFiguresTimer->setInterval(FiguresIntervalMs);
  connect(FFiguresTimer, &QTimer::timeout, this, &ConnectionTestWindow::RefreshFigures);

  lblRoute = new QLabel(this);
  lblRoute->setWordWrap(true);

  cbKind = new QComboBox(this);
  cbKind->addItems({QStringLiteral("Note On / Note Off"), QStringLiteral("Control Change"), QStringLiteral("SysEx")});
  seSysexLength = new QSpinBox(this);
  seSysexLength->setRange(LinkTestSettings::MinSysexLength, LinkTestSettings::MaxSysexLength);
  seSysexLength->setSuffix(QStringLiteral(" octets"));
  seSysexLength->setGroupSeparatorShown(true);
  seCount = new QSpinBox(this);
  seCount->setRange(LinkTestSettings::MinCount, LinkTestSettings::MaxCount);
  seCount->setGroupSeparatorShown(true);
  rbRate = new QRadioButton(QStringLiteral("Cadence fixe :"), this);
  seRate = new QSpinBox(this);
  seRate->setRange(LinkTestSettings::MinRate, LinkTestSettings::MaxRate);
  seRate->setSuffix(QStringLiteral(" messages/s"));
  seRate->setGroupSeparatorShown(true);
  rbOneInFlight = new QRadioButton(QStringLiteral("Un message à la fois, dès la réponse"), this);
  seTimeout = new QSpinBox(this);
  seTimeout->setRange(LinkTestSettings::MinTimeoutMs, LinkTestSettings::MaxTimeoutMs);
  seTimeout->setSuffix(QStringLiteral(" ms"));
  seTimeout->setGroupSeparatorShown(true);
  seWarmUp = new QSpinBox(this);
  seWarmUp->setRange(0, LinkTestSettings::MaxWarmUp);
  seWarmUp->setSuffix(QStringLiteral(" premières réponses écartées des mesures"));
  seWarmUp->setGroupSeparatorShown(true);
  chkRandomMoments = new QCheckBox(QStringLiteral("Envois à des instants aléatoires (rythme tenu en moyenne)"), this);

  auto* settings = new QGroupBox(QStringLiteral("Réglages"), this);
  auto* form = new QFormLayout(settings);
  form->addRow(QStringLiteral("Messages :"), cbKind);
  form->addRow(QStringLiteral("Longueur du SysEx :"), seSysexLength);
  form->addRow(QStringLiteral("Nombre de messages :"), seCount);
  auto* pace = new QHBoxLayout;
  pace->addWidget(rbRate);
  pace->addWidget(seRate);
  pace->addSpacing(12);
  pace->addWidget(rbOneInFlight);
  pace->addStretch(1);
  form->addRow(QStringLiteral("Rythme :"), pace);
  form->addRow(QStringLiteral("Attente max. d'une réponse :"), seTimeout);
  form->addRow(QStringLiteral("Démarrage :"), seWarmUp);
  form->addRow(QString(), chkRandomMoments);

  btnStart = new QPushButton(QStringLiteral("Démarrer"), this);
  btnStop = new QPushButton(QStringLiteral("Arrêter"), this);
  btnSaveCsv = new QPushButton(QStringLiteral("Enregistrer en CSV…"), this);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(btnStart);
  buttons->addWidget(btnStop);
  buttons->addStretch(1);
  buttons->addWidget(btnSaveCsv);

  pbProgress = new QProgressBar(this);
  pbProgress->setRange(0, 1000);
  pbProgress->setValue(0);
  pbProgress->setFormat(QStringLiteral("%p %"));

  auto* figures = new QGroupBox(QStringLiteral("Résultats"), this);
  auto* grid = new QGridLayout(figures);
  const auto place = [&](int row, int column, const QString& caption, QLabel*& value) {
    value = FigureLabel(figures);
    grid->addWidget(new QLabel(caption, figures), row, column * 2);
    grid->addWidget(value, row, column * 2 + 1);
  };
  place(0, 0, QStringLiteral("Envoyés :"), lblSent);
  place(0, 1, QStringLiteral("Reçus :"), lblReceived);
  place(0, 2, QStringLiteral("Perdus :"), lblLost);
  place(1, 0, QStringLiteral("Hors d'ordre :"), lblOutOfOrder);
  place(1, 1, QStringLiteral("Corrompus :"), lblCorrupted);
  place(1, 2, QStringLiteral("En double :"), lblDuplicates);
  place(2, 0, QStringLiteral("Latence min. :"), lblMin);
  place(2, 1, QStringLiteral("Médiane :"), lblMedian);
  place(2, 2, QStringLiteral("Moyenne :"), lblMean);
  place(3, 0, QStringLiteral("95 % sous :"), lblP95);
  place(3, 1, QStringLiteral("99 % sous :"), lblP99);
  place(3, 2, QStringLiteral("Max. :"), lblMax);
  place(4, 0, QStringLiteral("Gigue :"), lblJitter);
  place(4, 1, QStringLiteral("Crête à crête :"), lblPeakToPeak);
  place(4, 2, QStringLiteral("Écart moyen :"), lblMeanDeviation);
  auto* measured = new QLabel(
      QStringLiteral("Latence : aller-retour, de l'envoi d'un message à la réception de sa réponse par le pilote "
                     "d'entrée (heure notée par le pilote, horloge monotone, en µs) ; le temps que les fenêtres "
                     "mettent ensuite à la traiter n'en fait pas partie. Les réponses du démarrage n'y comptent "
                     "pas. Gigue : écart type de la latence ; crête à crête : latence max. moins latence min. ; "
                     "écart moyen : moyenne des écarts à la latence moyenne."),
      figures);
  measured->setWordWrap(true);
  QFont small = measured->font();
  small.setItalic(true);
  measured->setFont(small);
  grid->addWidget(measured, 5, 0, 1, 6);

  lblMessage = new QLabel(this);
  lblMessage->setWordWrap(true);
  lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
  Charts = new LatencyCharts(this);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(lblRoute);
  layout->addWidget(settings);
  layout->addLayout(buttons);
  layout->addWidget(pbProgress);
  layout->addWidget(figures);
  layout->addWidget(lblMessage);
  layout->addWidget(Charts, 1);
  resize(720, 700);

  connect(btnStart, &QPushButton::clicked, this, &ConnectionTestWindow::StartRun);
  connect(btnStop, &QPushButton::clicked, this, &ConnectionTestWindow::StopRun);
  connect(btnSaveCsv, &QPushButton::clicked, this, &ConnectionTestWindow::SaveCsv);
  connect(cbKind, &QComboBox::currentIndexChanged, this, &ConnectionTestWindow::UpdateControls);
  connect(rbRate, &QRadioButton::toggled, this, &ConnectionTestWindow::UpdateControls);

  connect(&MidiDeviceEvents(), &TMidiDeviceEvents::DeviceGone, this,
          [this](TMidiPortKind kind, const QString& name) {
            EndOnChange(kind == mpkIn ? QStringLiteral("L'entrée « %1 » a disparu pendant le test.").arg(name)
                                      : QStringLiteral("La sortie « %1 » a disparu pendant le test.").arg(name));
          });
  connect(FMain.cbMIDIIn, &QComboBox::currentTextChanged, this, [this] {
    ShowRoute();
    EndOnChange(QStringLiteral("L'entrée a été changée dans la fenêtre principale pendant le test."));
  });
  connect(FMain.cbMIDIOut, &QComboBox::currentTextChanged, this, [this] {
    ShowRoute();
    EndOnChange(QStringLiteral("La sortie a été changée dans la fenêtre principale pendant le test."));
  });

  FPrefs = LinkTestPrefs::Load(PrefsFileName);
  ShowSettings(FPrefs.Settings);
  ShowRoute();
  UpdateControls();
}

ConnectionTestWindow::~ConnectionTestWindow() {
  // The main window may be half gone already (this window goes with its
  // children): its hook holds a guarded pointer and is left alone here.
}

LinkTestSettings ConnectionTestWindow::SettingsShown() const {
  LinkTestSettings s;
  s.Kind = static_cast<LinkMessageKind>(cbKind->currentIndex());
  s.SysexLength = seSysexLength->value();
  s.Count = seCount->value();
  s.RatePerSecond = seRate->value();
  s.OneInFlight = rbOneInFlight->isChecked();
  s.TimeoutMs = seTimeout->value();
  s.WarmUp = seWarmUp->value();
  s.RandomMoments = chkRandomMoments->isChecked();
  return s.Clamped();
}

void ConnectionTestWindow::ShowSettings(const LinkTestSettings& settings) {
  const LinkTestSettings s = settings.Clamped();
  cbKind->setCurrentIndex(static_cast<int>(s.Kind));
  seSysexLength->setValue(s.SysexLength);
  seCount->setValue(s.Count);
  seRate->setValue(s.RatePerSecond);
  (s.OneInFlight ? rbOneInFlight : rbRate)->setChecked(true);
  seTimeout->setValue(s.TimeoutMs);
  seWarmUp->setValue(s.WarmUp);
  chkRandomMoments->setChecked(s.RandomMoments);
  UpdateControls();
}

QString ConnectionTestWindow::MessageText() const { return lblMessage->text(); }

void ConnectionTestWindow::ShowRoute() {
  const QString out = FMain.cbMIDIOut->currentText();
  const QString in = FMain.cbMIDIIn->currentText();
  lblRoute->setText(QStringLiteral("De la sortie « %1 » à l'entrée « %2 » (choisies dans la fenêtre principale)")
                        .arg(out.isEmpty() ? QStringLiteral("aucune") : out, in.isEmpty() ? QStringLiteral("aucune") : in));
}

void ConnectionTestWindow::UpdateControls() {
  const bool running = Running();
  for (QWidget* setting : {static_cast<QWidget*>(cbKind), static_cast<QWidget*>(seCount),
                           static_cast<QWidget*>(rbRate), static_cast<QWidget*>(rbOneInFlight),
                           static_cast<QWidget*>(seTimeout), static_cast<QWidget*>(seWarmUp),
                           static_cast<QWidget*>(chkRandomMoments)}) {
    setting->setEnabled(!running);
  }
  seSysexLength->setEnabled(!running && cbKind->currentIndex() == static_cast<int>(LinkMessageKind::Sysex));
  seRate->setEnabled(!running && rbRate->isChecked());
  btnStart->setEnabled(!running);
  btnStop->setEnabled(running);
  btnSaveCsv->setEnabled(!running && FRun && !FRun->Records().empty());
}

void ConnectionTestWindow::SavePrefs() {
  if (PrefsFileName.isEmpty()) return;
  try {
    FPrefs.Save(PrefsFileName);
  } catch (const EIniWriteError&) {
    // A preferences file that cannot be written only means the settings are
    // not remembered, as with the program's other preferences.
  }
}

void ConnectionTestWindow::StartRun() {
  // Not inside a Tick either: the run under way there must stay.
  if (Running() || AbortDelay || FInTick) return;
  ShowRoute();
  if (!MidiOutPort || MidiOutPort->State() != mosOpen) {
    lblMessage->setText(QStringLiteral("Aucune sortie MIDI ouverte : choisissez-en une dans la fenêtre principale."));
    return;
  }
  if (!MidiInPort || MidiInPort->State() != misOpen) {
    lblMessage->setText(QStringLiteral("Aucune entrée MIDI ouverte : choisissez-en une dans la fenêtre principale."));
    return;
  }
  FPrefs.Settings = SettingsShown();
  SavePrefs();

  const auto send = [](std::span<const uint8_t> bytes) {
    if (AbortDelay) throw std::runtime_error("le programme se ferme");
    MidiOut_SendBytes(bytes, bytes.size(), false);
  };
  FRun = std::make_unique<LinkTestRun>(FPrefs.Settings, send, FClock);
  FRunRoute = {FMain.cbMIDIOut->currentText(), FMain.cbMIDIIn->currentText()};
  if (FUseDriverSendTimes) {
    FRun->SetSendTime([]() -> std::optional<uint64_t> {
      uint64_t left = 0;
      if (!MidiOutPort || midiOutGetSendTime(MidiOutPort->MIDIHandle(), &left) != MMSYSERR_NOERROR) {
        return std::nullopt;
      }
      return left;
    });
  }
  QPointer<ConnectionTestWindow> self(this);
  FMain.OnConnectionTestEvent = [self](const TMyMidiEvent& event) {
    if (!self || !self->FRun || !self->FRun->Running()) return;
    self->FRun->Receive(event);
    // An answer may let the next message go (one at a time) or end the run.
    const LinkTestRun& run = *self->FRun;
    if (run.Settings().OneInFlight || run.Records().size() == static_cast<size_t>(run.Settings().Count)) {
      self->FTickTimer->start(0);
    }
  };
  Charts->Clear();
  lblMessage->setText(QStringLiteral("Test en cours…"));
  FFiguresSinceCharts = 0;
  FRun->Start();
  UpdateControls();
  FFiguresTimer->start();
  RefreshFigures();
  if (FRun->Running()) {
    FTickTimer->start(0);
  } else {
    Finish();
  }
}

void ConnectionTestWindow::Tick() {
  if (!FRun || !FRun->Running()) return;
  // Should a send let the event loop run, this timer may come again inside it.
  if (FInTick) {
    FTickTimer->start(1);
    return;
  }
  std::optional<uint64_t> next;
  {
    FInTick = true;
    const struct TInTick {
      bool& flag;
      ~TInTick() { flag = false; }
    } inTick{FInTick};
    next = FRun->Tick();
  }
  if (!FRun->Running()) {
    Finish();
    return;
  }
  if (next) FTickTimer->start(static_cast<int>(std::min<uint64_t>((*next + 999) / 1000, 60000)));
}

void ConnectionTestWindow::StopRun() {
  if (!Running()) return;
  FRun->Stop();
  Finish();
}

void ConnectionTestWindow::EndOnChange(const QString& reason) {
  if (!Running()) return;
  FRun->Fail(reason);
  Finish();
}

void ConnectionTestWindow::Finish() {
  FTickTimer->stop();
  FFiguresTimer->stop();
  FMain.OnConnectionTestEvent = nullptr;
  FFiguresSinceCharts = 0;
  RefreshFigures();
  FMain.Log_AddLine(LinkTestSummaryLine(*FRun));
  lblMessage->setText(Verdict());
  UpdateControls();
  emit RunEnded();
}

QString ConnectionTestWindow::Verdict() const {
  const LinkTestRun& run = *FRun;
  switch (run.CurrentState()) {
    case LinkTestRun::State::Failed:
      if (run.Settings().Kind == LinkMessageKind::Sysex && run.GetCounts().Received == 0 &&
          run.FailureText().startsWith(QStringLiteral("La sortie refuse"))) {
        return run.FailureText() + QStringLiteral(" Elle ne prend peut-être pas de SysEx de %1 octets.")
                                       .arg(CountText(run.Settings().SysexLength));
      }
      return run.FailureText();
    case LinkTestRun::State::Stopped:
      return QStringLiteral("Test arrêté.");
    default:
      break;
  }
  const LinkTestRun::Counts c = run.GetCounts();
  if (c.Received == c.Sent && c.Corrupted == 0 && c.Duplicates == 0 && c.OutOfOrder == 0) {
    return QStringLiteral("Terminé : tous les messages sont revenus, intacts et dans l'ordre.");
  }
  if (c.Received == 0 && c.Corrupted == 0) {
    QString text = QStringLiteral("Aucune réponse : rien n'est revenu sur l'entrée. Vérifiez que la sortie y est reliée");
    if (run.Settings().Kind == LinkMessageKind::Sysex) {
      text += QStringLiteral(", et qu'elle transmet des SysEx de %1 octets").arg(CountText(run.Settings().SysexLength));
    }
    return text + QLatin1Char('.');
  }
  if (c.Received == 0) {
    return QStringLiteral("Des messages reviennent, mais aucun n'est celui qui a été envoyé : la liaison les modifie, "
                          "ou un autre appareil émet sur l'entrée.");
  }
  QStringList faults;
  if (c.Lost > 0) faults << QStringLiteral("des messages se perdent en route");
  if (c.OutOfOrder > 0) faults << QStringLiteral("des messages arrivent dans le désordre");
  if (c.Corrupted > 0) faults << QStringLiteral("des messages reviennent modifiés");
  if (c.Duplicates > 0) faults << QStringLiteral("des messages reviennent en double");
  return QStringLiteral("Terminé : ") + faults.join(QStringLiteral(", ")) + QLatin1Char('.');
}

void ConnectionTestWindow::RefreshFigures() {
  if (!FRun) return;
  const LinkTestRun::Counts c = FRun->GetCounts();
  const auto count = static_cast<uint64_t>(FRun->Settings().Count);
  pbProgress->setValue(static_cast<int>(count == 0 ? 0 : c.Finished * 1000 / count));
  lblSent->setText(CountText(c.Sent));
  lblReceived->setText(CountText(c.Received));
  lblLost->setText(CountText(c.Lost));
  lblOutOfOrder->setText(CountText(c.OutOfOrder));
  lblCorrupted->setText(CountText(c.Corrupted));
  lblDuplicates->setText(CountText(c.Duplicates));
  const LatencyStats::Summary s = FRun->Latencies().Summarize();
  const auto ms = [&](double us) { return s.Count == 0 ? QStringLiteral("–") : MillisecondsText(us, 3); };
  lblMin->setText(ms(static_cast<double>(s.MinUs)));
  lblMedian->setText(ms(static_cast<double>(s.MedianUs)));
  lblMean->setText(ms(s.MeanUs));
  lblP95->setText(ms(static_cast<double>(s.P95Us)));
  lblP99->setText(ms(static_cast<double>(s.P99Us)));
  lblMax->setText(ms(static_cast<double>(s.MaxUs)));
  lblJitter->setText(ms(s.JitterUs));
  lblPeakToPeak->setText(ms(static_cast<double>(s.PeakToPeakUs)));
  lblMeanDeviation->setText(ms(s.MeanAbsoluteDeviationUs));
  // The charts cost more: drawn every few refreshes, and at the end.
  if (FFiguresSinceCharts == 0) Charts->Show(*FRun);
  FFiguresSinceCharts = (FFiguresSinceCharts + 1) % (ChartsIntervalMs / FiguresIntervalMs);
}

void ConnectionTestWindow::SaveCsv() {
  if (Running() || !FRun || FRun->Records().empty()) return;
  QString folder = FPrefs.CsvFolder;
  if (folder.isEmpty() || !QFileInfo(folder).isDir()) {
    folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(folder).isDir()) folder = QDir::homePath();
  }
  const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-HHmmss"));
  const QString path =
      FDialogs.AskSavePath(this, QStringLiteral("Enregistrer les mesures du test de liaison"),
                           QDir(folder).filePath(QStringLiteral("orvalis-liaison-%1.csv").arg(stamp)), kCsvFilter);
  if (path.isEmpty()) return;
  FPrefs.CsvFolder = QFileInfo(path).absolutePath();
  SavePrefs();
  const QString error = SaveCsvTo(path);
  if (!error.isEmpty()) FDialogs.Warn(this, error + QLatin1Char('.'));
}

QString ConnectionTestWindow::SaveCsvTo(const QString& path) {
  if (!FRun) return QStringLiteral("Aucun test à enregistrer");
  const QString error = SaveLinkTestCsv(*FRun, FRunRoute, path);
  lblMessage->setText(error.isEmpty() ? QStringLiteral("Mesures enregistrées dans %1.").arg(QDir::toNativeSeparators(path))
                                      : error + QLatin1Char('.'));
  return error;
}

void ConnectionTestWindow::closeEvent(QCloseEvent* event) {
  StopRun();
  event->accept();
}

void ConnectionTestWindow::showEvent(QShowEvent* event) {
  ShowRoute();
  QWidget::showEvent(event);
}
