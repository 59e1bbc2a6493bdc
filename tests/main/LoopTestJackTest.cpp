// The loop test through a JACK server: a client that echoes, one that is mute.
#include <QElapsedTimer>

#include "JackTestClient.h"
#include "LoopTestFixture.h"

namespace {

TEST_F(LoopTestTest, ThroughAJackServerWithAnEchoingClient) {
  auto echo = JackTestClient::Open("OrvalisLoopTestEcho");
  if (!echo) GTEST_SKIP() << JackTestClient::kNoServer;
  echo->Echo();
  realWaits = true;
  BootSystem();
  const QString client = QString::fromStdString(echo->ClientName());
  ASSERT_TRUE(Choose(window->cbMIDIOut, client + ":in (JACK)"));
  ASSERT_TRUE(Choose(window->cbMIDIIn, client + ":out (JACK)"));
  // A graph that has just changed may drop a period: wait for a round trip first.
  QElapsedTimer watch;
  watch.start();
  while (MidiInCount == 0 && watch.elapsed() < 10000) {
    MidiOutPort->PutShort(0xFC, 0, 0);
    Delay_Ms(250, true);
  }
  ASSERT_GT(MidiInCount, 0);
  // A period can still be lost on a loaded machine: a few attempts.
  QString verdict;
  for (int attempt = 0; attempt < 5 && verdict != "Test boucle : OK."; ++attempt) {
    Delay_Ms(100, true);
    window->ActToolsLoopTestExecute(window->ActToolsLoopTest);
    verdict = LogLines().last();
  }
  EXPECT_EQ(verdict, "Test boucle : OK.") << LogLines().join('\n').toStdString();
}

TEST_F(LoopTestTest, JackClientThatDoesNotAnswerGetsNoAnswer) {
  auto mute = JackTestClient::Open("OrvalisLoopTestMute");
  if (!mute) GTEST_SKIP() << JackTestClient::kNoServer;
  realWaits = true;
  BootSystem();
  const QString client = QString::fromStdString(mute->ClientName());
  ASSERT_TRUE(Choose(window->cbMIDIOut, client + ":in (JACK)"));
  ASSERT_TRUE(Choose(window->cbMIDIIn, client + ":out (JACK)"));
  window->ActToolsLoopTestExecute(window->ActToolsLoopTest);
  EXPECT_EQ(LogLines().last(), "Test boucle : Pas de réponse !");
}

}  // namespace
