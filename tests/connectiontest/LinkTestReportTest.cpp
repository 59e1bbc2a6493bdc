// What a connection test leaves behind: the summary line of the event log,
// and every message's figures as CSV.
#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <stdexcept>
#include <vector>

#include "CsvExport.h"
#include "HandMadeLinkTestRun.h"
#include "LinkTestRun.h"
#include "LinkTestTexts.h"

namespace {

using LinkTestReportTest = HandMadeLinkTestRun;

TEST_F(LinkTestReportTest, SummaryOfARunWhereEverythingCameBack) {
  Make(4);
  const uint64_t latencies[] = {1000, 1230, 1230, 2010};
  for (size_t i = 0; i < 4; ++i) Echo(i, latencies[i]);
  Wait(0);
  EXPECT_EQ(LinkTestSummaryLine(*run),
            QString::fromUtf8("Test de liaison : 4/4 reçus, latence médiane 1,23 ms (max 2,01 ms), gigue 0,38 ms"));
}

TEST_F(LinkTestReportTest, SummaryNamesWhatWentWrong) {
  Make(4);
  Echo(0, 1500);
  Echo(2, 1500);
  Echo(1, 1500);
  Echo(1, 1500);
  run->Answer(Bytes{0x90, 0x00, 0x00}, now);
  Wait(200000);
  EXPECT_EQ(LinkTestSummaryLine(*run),
            QString::fromUtf8("Test de liaison : 3/4 reçus, latence médiane 1,50 ms (max 1,50 ms), gigue 0,00 ms ; "
                              "1 perdu, 1 hors d'ordre, 1 corrompu, 1 en double"));
}

TEST_F(LinkTestReportTest, SummaryOfARunThatGotNoAnswer) {
  Make(2);
  Wait(200000);
  EXPECT_EQ(LinkTestSummaryLine(*run), QString::fromUtf8("Test de liaison : 0/2 reçus, aucune réponse ; 2 perdus"));
}

TEST_F(LinkTestReportTest, SummaryOfAStoppedAndOfAFailedRun) {
  Make(2);
  Echo(0, 250);
  run->Stop();
  EXPECT_EQ(LinkTestSummaryLine(*run), QString::fromUtf8("Test de liaison arrêté : 1/2 reçus, latence médiane 0,25 ms "
                                                         "(max 0,25 ms), gigue 0,00 ms"));
  sent.clear();
  sentAt.clear();
  Make(1);
  run->Fail(QString::fromUtf8("La sortie « Synth » a disparu pendant le test."));
  EXPECT_EQ(LinkTestSummaryLine(*run),
            QString::fromUtf8("Test de liaison interrompu : 0/1 reçus, aucune réponse (La sortie « Synth » a disparu "
                              "pendant le test.)"));
}

TEST_F(LinkTestReportTest, MillisecondsHaveADecimalCommaAndNoGrouping) {
  EXPECT_EQ(MillisecondsText(0), "0,00 ms");
  EXPECT_EQ(MillisecondsText(1234), "1,23 ms");
  EXPECT_EQ(MillisecondsText(1235000), "1235,00 ms");
}

TEST_F(LinkTestReportTest, CsvHasOneLinePerMessageSentWithItsFiguresAndOutcome) {
  Make(5);
  Echo(0, 1200);
  Echo(2, 800);
  Echo(1, 3000);
  run->Answer(Bytes{0x92, 0x00, 0x57}, now);  // a Note On whose velocity belongs to no message
  Wait(200000);
  ASSERT_EQ(run->CurrentState(), LinkTestRun::State::Done);
  EXPECT_EQ(LinkTestCsv(*run, {"Synth; port 1", "Interface\nIn"}),
            QByteArray("# sortie=Synth  port 1;entree=Interface In;type=note;messages=5;rythme=1000;"
                       "moments=reguliers;attente_ms=100;demarrage=0\n"
                       "numero,envoi_us,reception_us,latence_us,etat\n"
                                          "1,0,1200,1200,re\xC3\xA7u\n"
                                          "2,1000,4000,3000,hors d'ordre\n"
                                          "3,2000,2800,800,re\xC3\xA7u\n"
                                          "4,3000,,,perdu\n"
                                          "5,4000,,,perdu\n"));
}

TEST_F(LinkTestReportTest, CsvOfAStoppedRunSaysWhichHadNoAnswerYetAndIsWrittenWhole) {
  Make(3);
  Echo(0, 500);
  run->Stop();
  QTemporaryDir folder;
  const QString path = folder.filePath("mesures.csv");
  EXPECT_EQ(SaveLinkTestCsv(*run, {"Synth", "Synth"}, path), "");
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), QByteArray("# sortie=Synth;entree=Synth;type=note;messages=3;rythme=1000;"
                                       "moments=reguliers;attente_ms=100;demarrage=0\n"
                                       "numero,envoi_us,reception_us,latence_us,etat\n"
                                       "1,0,500,500,re\xC3\xA7u\n"
                                       "2,1000,,,sans r\xC3\xA9ponse\n"
                                       "3,2000,,,sans r\xC3\xA9ponse\n"));
  EXPECT_EQ(SaveLinkTestCsv(*run, {}, folder.filePath("missing/mesures.csv")).left(25), "Impossible d'écrire dans ");
}

}  // namespace
