// The loop test: its messages, waits and verdicts through a scripted device and
// the built-in loopback (the JACK cases are in LoopTestJackTest.cpp).
#include "LoopTestFixture.h"

namespace {

TEST_F(LoopTestTest, EchoedMessagesGiveOkWithTheEchoesInTheLog) {
  Start();
  EchoDuringWaits([](uint32_t m) { return m; });
  const uint32_t start = clock.Now;
  window->ActToolsLoopTest->trigger();
  EXPECT_EQ(LogLines(), (QStringList{"Test boucle...", "[Midi-Out] - 90 3C 40", "[MIDI-In] - 90 3C 40 (Note On)",
                                     "[Midi-Out] - 80 3C 40", "[MIDI-In] - 80 3C 40 (Note Off)",
                                     "Test boucle : OK."}));
  EXPECT_EQ(clock.Now - start, 200u);
  EXPECT_TRUE(runningDuringWaits_);
  EXPECT_FALSE(LoopTestRunning);
}

// The menu entry is disabled while a test runs, so that a second test cannot
// start inside the first and spoil its verdict.
TEST_F(LoopTestTest, TheMenuEntryIsDisabledWhileATestRuns) {
  Start();
  EchoDuringWaits([](uint32_t m) { return m; });
  const std::function<void()> echo = clock.OnWait;
  bool enabledDuringTheTest = true;
  int waits = 0;
  clock.OnWait = [&] {
    echo();
    if (++waits != 1) return;
    enabledDuringTheTest = window->ActToolsLoopTest->isEnabled();
    window->ActToolsLoopTest->trigger();  // the user picks the entry again
  };
  window->ActToolsLoopTest->trigger();

  EXPECT_FALSE(enabledDuringTheTest);
  EXPECT_EQ(LogLines(), (QStringList{"Test boucle...", "[Midi-Out] - 90 3C 40", "[MIDI-In] - 90 3C 40 (Note On)",
                                     "[Midi-Out] - 80 3C 40", "[MIDI-In] - 80 3C 40 (Note Off)",
                                     "Test boucle : OK."}));
  EXPECT_TRUE(window->ActToolsLoopTest->isEnabled());
  EXPECT_FALSE(LoopTestRunning);
}

struct VerdictCase {
  const char* name;
  std::function<uint32_t(uint32_t)> answer;
  bool paused;
  const char* verdict;
};

TEST_F(LoopTestTest, VerdictsOfScriptedDevices) {
  const VerdictCase cases[] = {
      {"nothing connected", [](uint32_t) { return 0u; }, false, "Test boucle : Pas de réponse !"},
      {"NoteOff answered as 90 3C 00",
       [](uint32_t m) { return (m & 0xF0) == 0x80 ? 0x003C90u : m; }, false, "Test boucle : Pas de réponse !"},
      {"other velocity", [](uint32_t m) { return (m & 0xFFFF) | 0x7F0000u; }, false,
       "Test boucle : Pas de réponse !"},
      {"monitor paused", [](uint32_t m) { return m; }, true, "Test boucle : OK."},
  };
  for (const VerdictCase& c : cases) {
    SCOPED_TRACE(c.name);
    Start();
    echoed_ = 0;
    if (c.paused) window->btnRxPause->click();
    EchoDuringWaits(c.answer);
    window->ActToolsLoopTestExecute(window->ActToolsLoopTest);
    const QStringList lines = LogLines();
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_EQ(lines.first(), "Test boucle...");
    EXPECT_EQ(lines.last(), c.verdict);
    if (c.paused) {
      EXPECT_EQ(lines.size(), 4);  // the echoes are not logged
    }
    EXPECT_FALSE(LoopTestRunning);
    TearDown();
  }
}

TEST_F(LoopTestTest, WithoutOutputTheVerdictSaysNothingCouldBeSent) {
  Start();
  MidiOut_Close();
  window->ActToolsLoopTest->trigger();
  EXPECT_EQ(LogLines(), (QStringList{"Test boucle...",
                                     "[Midi-Out] - 90 3C 40 (Non envoyé : MIDI Output device not open)",
                                     "Test boucle : Envoi impossible !"}));
  EXPECT_FALSE(LoopTestRunning);
  EXPECT_TRUE(window->ActToolsLoopTest->isEnabled());
}

TEST_F(LoopTestTest, ThroughTheBuiltInLoopback) {
  realWaits = true;
  BootSystem();
  ASSERT_TRUE(Choose(window->cbMIDIIn, "Orvalis Loopback"));
  ASSERT_TRUE(Choose(window->cbMIDIOut, "Orvalis Loopback"));
  window->btnLogClearClick(window->btnLogClear);
  window->ActToolsLoopTestExecute(window->ActToolsLoopTest);
  EXPECT_EQ(LogLines().last(), "Test boucle : OK.") << LogLines().join('\n').toStdString();
}


}  // namespace
