// The connection test window on the scriptable back end: a device that
// echoes, answers half, answers garbage or nothing, goes away; the window's
// settings, its messages, the main window's log and counters meanwhile.
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>

#include "ConnectionTestFixture.h"
#include "IniFile.h"
#include "LatencyCharts.h"
#include "LinkTestTexts.h"

namespace {

using Kind = LinkMessageKind;

class ConnectionTestWindowTest : public ConnectionTestFixture {
 protected:
  // The scriptable devices, looped: what the output accepts arrives at the input.
  void StartLooped() {
    Start();
    midi->Loop(0, 0);
  }
};

TEST_F(ConnectionTestWindowTest, OpensFromTheToolsMenuBesideTheLoopTest) {
  Start();
  const QList<QAction*> tools = window->mnuTools->actions();
  ASSERT_GE(tools.size(), 2);
  // The '&' marks the letter of the entry's mnemonic.
  EXPECT_EQ(tools[0]->text(), "Test &boucle (sortie sur entrée)");
  EXPECT_EQ(tools[1]->text(), "Test de &liaison…");
  tools[1]->trigger();
  ASSERT_TRUE(window->ConnectionTest);
  EXPECT_TRUE(window->ConnectionTest->isVisible());
  EXPECT_EQ(window->ConnectionTest->windowTitle(), "Test de liaison");
  EXPECT_EQ(window->ConnectionTest->lblRoute->text(),
            "De la sortie « Synth A » à l'entrée « Keyboard » (choisies dans la fenêtre principale)");
  tools[1]->trigger();
  EXPECT_EQ(window->findChildren<ConnectionTestWindow*>().size(), 1);
}

TEST_F(ConnectionTestWindowTest, ALoopedRouteBringsEveryMessageBackAndTheLogGetsOneSummaryLine) {
  StartLooped();
  ASSERT_TRUE(RunToEnd(Settings(Kind::NoteOnOff, 300, 5000, 2000)));
  const LinkTestRun::Counts c = Counts();
  EXPECT_EQ(c.Sent, 300u);
  EXPECT_EQ(c.Received, 300u);
  EXPECT_EQ(c.Lost + c.OutOfOrder + c.Corrupted + c.Duplicates, 0u);
  EXPECT_EQ(Window()->Run()->CurrentState(), LinkTestRun::State::Done);
  EXPECT_EQ(Window()->MessageText(), "Terminé : tous les messages sont revenus, intacts et dans l'ordre.");
  EXPECT_EQ(Window()->lblSent->text(), "300");
  EXPECT_EQ(Window()->lblReceived->text(), "300");
  EXPECT_EQ(Window()->lblLost->text(), "0");
  EXPECT_EQ(Window()->pbProgress->value(), 1000);
  // Every figure shown is that of the answers after the warm-up.
  const LatencyStats::Summary f = Window()->Run()->Latencies().Summarize();
  EXPECT_EQ(f.Count, 300u - static_cast<uint64_t>(LinkTestSettings{}.WarmUp));
  const std::pair<QLabel*, double> shown[] = {
      {Window()->lblMin, static_cast<double>(f.MinUs)},     {Window()->lblMedian, static_cast<double>(f.MedianUs)},
      {Window()->lblMean, f.MeanUs},                       {Window()->lblP95, static_cast<double>(f.P95Us)},
      {Window()->lblP99, static_cast<double>(f.P99Us)},     {Window()->lblMax, static_cast<double>(f.MaxUs)},
      {Window()->lblJitter, f.JitterUs},                   {Window()->lblPeakToPeak, static_cast<double>(f.PeakToPeakUs)},
      {Window()->lblMeanDeviation, f.MeanAbsoluteDeviationUs}};
  for (const auto& [label, us] : shown) EXPECT_EQ(label->text(), MillisecondsText(us, 3));
  // The log and the counters went on as ever: every echo logged and counted,
  // the test's own sends counted but not logged one by one.
  const QStringList lines = LogLines();
  EXPECT_TRUE(lines.last().startsWith("Test de liaison : 300/300 reçus, latence médiane ")) << lines.last().toStdString();
  EXPECT_EQ(lines.filter("[MIDI-In] - 90 00 0C (Note On)").size(), 1);
  EXPECT_EQ(lines.filter("[Midi-Out]").size(), 0);
  EXPECT_EQ(MidiInCount, 300);
  EXPECT_EQ(MidiOutCount, 300);
  EXPECT_FALSE(Window()->Charts->HistogramPoints().empty());
  EXPECT_TRUE(Window()->Charts->HistogramTitle().contains(
      QRegularExpression("^Latences par tranches de 0,(001|002|005|01|02|05|1|2|5) ms<br>\\(le 1 % le plus lent à droite\\)$")))
      << Window()->Charts->HistogramTitle().toStdString();
  EXPECT_FALSE(Window()->Charts->TracePoints().empty());
  EXPECT_TRUE(Window()->btnStart->isEnabled());
  EXPECT_FALSE(Window()->btnStop->isEnabled());
  EXPECT_TRUE(Window()->btnSaveCsv->isEnabled());
}

TEST_F(ConnectionTestWindowTest, AnswersReachTheTestWhileTheMonitorIsPaused) {
  StartLooped();
  window->btnRxPauseClick(window->btnRxPause);
  ASSERT_TRUE(RunToEnd(Settings(Kind::ControlChange, 50, 1000, 2000, true)));
  EXPECT_EQ(Counts().Received, 50u);
  EXPECT_EQ(LogLines().filter("[MIDI-In]").size(), 0);
}

TEST_F(ConnectionTestWindowTest, ASysexLongerThanOneInputBufferComesBackWhole) {
  StartLooped();
  ASSERT_TRUE(RunToEnd(Settings(Kind::Sysex, 3, 100, 5000, true, 65000)));
  EXPECT_EQ(Counts().Received, 3u);
  EXPECT_EQ(Counts().Corrupted, 0u);
}

TEST_F(ConnectionTestWindowTest, ARouteThatAnswersHalfLosesTheOtherHalf) {
  Start();
  bool answer = true;
  ASSERT_TRUE(RunToEnd(Settings(Kind::NoteOnOff, 40, 2000, 100), 30000, [&](uint32_t sent) -> std::optional<uint32_t> {
    answer = !answer;
    if (answer) return std::nullopt;
    return sent;
  }));
  const LinkTestRun::Counts c = Counts();
  EXPECT_EQ(c.Received, 20u);
  EXPECT_EQ(c.Lost, 20u);
  EXPECT_EQ(Window()->MessageText(), "Terminé : des messages se perdent en route.");
  EXPECT_TRUE(LogLines().last().endsWith(" ; 20 perdus")) << LogLines().last().toStdString();
}

TEST_F(ConnectionTestWindowTest, ARouteThatAnswersGarbageSaysSo) {
  Start();
  ASSERT_TRUE(RunToEnd(Settings(Kind::NoteOnOff, 10, 1000, 100), 30000,
                       [](uint32_t sent) -> std::optional<uint32_t> { return sent & 0x00FFFF; }));
  const LinkTestRun::Counts c = Counts();
  EXPECT_EQ(c.Received, 0u);
  EXPECT_EQ(c.Corrupted, 10u);
  EXPECT_EQ(c.Lost, 10u);
  EXPECT_EQ(Window()->MessageText(),
            "Des messages reviennent, mais aucun n'est celui qui a été envoyé : la liaison les modifie, ou un autre "
            "appareil émet sur l'entrée.");
}

TEST_F(ConnectionTestWindowTest, ARouteThatAnswersNothingEndsAfterTheTimeOut) {
  Start();
  ASSERT_TRUE(RunToEnd(Settings(Kind::NoteOnOff, 5, 1000, 50)));
  EXPECT_EQ(Counts().Lost, 5u);
  EXPECT_EQ(Window()->MessageText(), "Aucune réponse : rien n'est revenu sur l'entrée. Vérifiez que la sortie y est reliée.");
  EXPECT_EQ(LogLines().last(), "Test de liaison : 0/5 reçus, aucune réponse ; 5 perdus");
  // The Note On of the odd fifth message got its Note Off after the run.
  EXPECT_EQ(midi->ShortMessages().size(), 6u);

  ASSERT_TRUE(RunToEnd(Settings(Kind::Sysex, 2, 1000, 50, false, 300)));
  EXPECT_EQ(Window()->MessageText(),
            "Aucune réponse : rien n'est revenu sur l'entrée. Vérifiez que la sortie y est reliée, et qu'elle transmet "
            "des SysEx de 300 octets.");
}

struct ClosedCase {
  const char* name;
  TDevices devices;
  const char* message;
};

class ConnectionTestWithoutAPort : public ConnectionTestWindowTest, public ::testing::WithParamInterface<ClosedCase> {};

TEST_P(ConnectionTestWithoutAPort, SaysWhichIsMissingAndSendsNothing) {
  Start(GetParam().devices);
  Window()->ShowSettings(Settings(Kind::NoteOnOff, 10, 100, 100));
  Window()->StartRun();
  EXPECT_FALSE(Window()->Running());
  EXPECT_EQ(Window()->Run(), nullptr);
  EXPECT_EQ(Window()->MessageText(), QString::fromUtf8(GetParam().message));
  EXPECT_TRUE(midi->ShortMessages().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Ports, ConnectionTestWithoutAPort,
    ::testing::Values(ClosedCase{"NoOutput", TDevices{{"Keyboard"}, {}},
                                 "Aucune sortie MIDI ouverte : choisissez-en une dans la fenêtre principale."},
                      ClosedCase{"NoInput", TDevices{{}, {"Synth A"}},
                                 "Aucune entrée MIDI ouverte : choisissez-en une dans la fenêtre principale."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ConnectionTestWindowTest, AnInputThatGoesAwayEndsTheRunWithItsName) {
  StartLooped();
  Window()->ShowSettings(Settings(Kind::NoteOnOff, 100000, 200, 1000));
  Window()->StartRun();
  WaitForEnd(100);
  ASSERT_TRUE(Window()->Running());
  ASSERT_TRUE(midi->RemoveInputDevice("Keyboard"));
  midi->NotifyDevicesChanged();
  ASSERT_TRUE(WaitForEnd(10000));
  EXPECT_EQ(Window()->Run()->CurrentState(), LinkTestRun::State::Failed);
  EXPECT_EQ(Window()->MessageText(), "L'entrée « Keyboard » a disparu pendant le test.");
  EXPECT_TRUE(LogLines().last().startsWith("Test de liaison interrompu : ")) << LogLines().last().toStdString();
  EXPECT_TRUE(LogLines().last().endsWith("(L'entrée « Keyboard » a disparu pendant le test.)"));
}

TEST_F(ConnectionTestWindowTest, AnOutputThatGoesAwayEndsTheRunAndNothingMoreIsSent) {
  StartLooped();
  Window()->ShowSettings(Settings(Kind::ControlChange, 100000, 200, 1000));
  Window()->StartRun();
  WaitForEnd(100);
  ASSERT_TRUE(midi->RemoveOutputDevice("Synth A"));
  midi->NotifyDevicesChanged();
  ASSERT_TRUE(WaitForEnd(10000));
  EXPECT_EQ(Window()->Run()->CurrentState(), LinkTestRun::State::Failed);
  // Whichever came first: the notice, or the refusal of the next send.
  EXPECT_TRUE(Window()->MessageText() == "La sortie « Synth A » a disparu pendant le test." ||
              Window()->MessageText().startsWith("La sortie refuse le message "))
      << Window()->MessageText().toStdString();
  const size_t sent = midi->ShortMessages().size();
  WaitForEnd(0);
  QElapsedTimer watch;
  watch.start();
  while (watch.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(midi->ShortMessages().size(), sent);
}

TEST_F(ConnectionTestWindowTest, ChoosingAnotherDeviceInTheMainWindowEndsTheRun) {
  Start(TDevices{{"Keyboard", "Pads"}, {"Synth A"}});
  Window()->ShowSettings(Settings(Kind::NoteOnOff, 100000, 200, 1000));
  Window()->StartRun();
  ASSERT_TRUE(Window()->Running());
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Pads"));
  EXPECT_FALSE(Window()->Running());
  EXPECT_EQ(Window()->MessageText(), "L'entrée a été changée dans la fenêtre principale pendant le test.");
  EXPECT_EQ(Window()->lblRoute->text(), "De la sortie « Synth A » à l'entrée « Pads » (choisies dans la fenêtre principale)");
}

TEST_F(ConnectionTestWindowTest, StopEndsTheRunAtOnceAndTheLogSaysSo) {
  StartLooped();
  Window()->ShowSettings(Settings(Kind::NoteOnOff, 100000, 1000, 1000));
  Window()->StartRun();
  WaitForEnd(100);
  ASSERT_TRUE(Window()->btnStop->isEnabled());
  Window()->btnStop->click();
  EXPECT_FALSE(Window()->Running());
  EXPECT_EQ(Window()->Run()->CurrentState(), LinkTestRun::State::Stopped);
  EXPECT_EQ(Window()->MessageText(), "Test arrêté.");
  EXPECT_TRUE(LogLines().last().startsWith("Test de liaison arrêté : ")) << LogLines().last().toStdString();
  const size_t sent = midi->ShortMessages().size();
  EXPECT_EQ(sent % 2, 0u) << "every Note On has its Note Off";
  QElapsedTimer watch;
  watch.start();
  while (watch.elapsed() < 100) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  EXPECT_EQ(midi->ShortMessages().size(), sent);
}

TEST_F(ConnectionTestWindowTest, ClosingTheMainWindowStopsARun) {
  StartLooped();
  Window()->ShowSettings(Settings(Kind::NoteOnOff, 100000, 1000, 1000));
  Window()->StartRun();
  bool canClose = false;
  window->FormCloseQuery(window.get(), canClose);
  EXPECT_TRUE(canClose);
  EXPECT_FALSE(Window()->Running());
  EXPECT_FALSE(window->OnConnectionTestEvent);
}

TEST_F(ConnectionTestWindowTest, SettingsAreRememberedInTheirOwnSection) {
  StartLooped();
  ConnectionTestWindow* test = Window();
  EXPECT_EQ(test->SettingsShown(), LinkTestSettings{});
  test->cbKind->setCurrentIndex(2);
  test->seSysexLength->setValue(4000);
  test->seCount->setValue(7);
  test->rbOneInFlight->setChecked(true);
  test->seTimeout->setValue(900);
  EXPECT_TRUE(test->seSysexLength->isEnabled());
  EXPECT_FALSE(test->seRate->isEnabled());
  test->StartRun();
  WaitForEnd(10000);
  const QString prefs = prefsDir.filePath("orvalis.ini");
  TIniFile ini(prefs);
  EXPECT_EQ(ini.ReadString("LinkTest", "MessageKind", ""), "2");
  EXPECT_EQ(ini.ReadString("LinkTest", "SysexLength", ""), "4000");
  EXPECT_EQ(ini.ReadString("LinkTest", "MessageCount", ""), "7");
  EXPECT_EQ(ini.ReadString("LinkTest", "OneInFlight", ""), "1");
  EXPECT_EQ(ini.ReadString("LinkTest", "TimeoutMs", ""), "900");

  delete window->ConnectionTest.data();
  EXPECT_EQ(Window()->SettingsShown(), Settings(Kind::Sysex, 7, 100, 900, true, 4000));
}

TEST_F(ConnectionTestWindowTest, EveryMessageCanBeSavedAsCsvWhereTheUserChose) {
  StartLooped();
  ASSERT_TRUE(RunToEnd(Settings(Kind::NoteOnOff, 20, 2000, 1000)));
  QString proposed;
  const QString path = prefsDir.filePath("liaison.csv");
  window->Files->Dialogs.AskSavePath = [&](QWidget*, const QString&, const QString& offered, const QString&) {
    proposed = offered;
    return path;
  };
  Window()->btnSaveCsv->click();
  EXPECT_TRUE(proposed.endsWith(".csv"));
  EXPECT_TRUE(QFileInfo(proposed).fileName().startsWith("orvalis-liaison-"));
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = file.readAll().split('\n');
  ASSERT_EQ(lines.size(), 23);  // settings, header, 20 messages, nothing after the last line break
  EXPECT_EQ(lines[0], "# sortie=" + window->cbMIDIOut->currentText().toUtf8() + ";entree=" +
                          window->cbMIDIIn->currentText().toUtf8() +
                          ";type=note;messages=20;rythme=2000;moments=aleatoires;attente_ms=1000;demarrage=10");
  EXPECT_EQ(lines[1], "numero,envoi_us,reception_us,latence_us,etat");
  EXPECT_TRUE(lines[21].startsWith("20,"));
  EXPECT_TRUE(lines[21].endsWith(",re\xC3\xA7u"));
  EXPECT_EQ(Window()->MessageText(), "Mesures enregistrées dans " + path + ".");
  EXPECT_EQ(TIniFile(prefsDir.filePath("orvalis.ini")).ReadString("LinkTest", "CsvFolder", ""), prefsDir.path());

  QString warned;
  window->Files->Dialogs.AskSavePath = [&](QWidget*, const QString&, const QString&, const QString&) {
    return prefsDir.filePath("missing/liaison.csv");
  };
  window->Files->Dialogs.Warn = [&](QWidget*, const QString& text) { warned = text; };
  Window()->SaveCsv();
  EXPECT_EQ(warned, "Impossible d'écrire dans liaison.csv.");
}

}  // namespace
