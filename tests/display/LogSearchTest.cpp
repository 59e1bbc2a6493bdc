// Finding a text or hexadecimal bytes in the log's lines.
#include <gtest/gtest.h>

#include <QStringList>

#include "LogModel.h"
#include "LogSearch.h"

namespace {

TEST(LogSearchTest, ATextIsFoundInAnyLetterCaseAndBytesWhateverTheirBlanks) {
  struct Case {
    const char* query;
    const char* line;
    bool found;
  };
  const Case cases[] = {
      {"note on", "[MIDI-In] - 90 3C 40 (Note On)", true},
      {"3C 40", "[MIDI-In] - 90 3C 40 (Note On)", true},
      {"3c40", "[MIDI-In] - 90 3C 40 (Note On)", true},
      {"903C40", "[14:05:09:123] [MIDI-In] - 90 3C 40 (Note On)", true},
      {"903c", "[Midi-Out] - 90 3C 40", true},
      {"C3 C4", "[MIDI-In] - 90 3C 40 (Note On)", false},  // "3C 40" seen from the middle of bytes
      {"03C4", "[MIDI-In] - 90 3C 40 (Note On)", false},
      {"C4", "[MIDI-In] - 90 3C 40 (Note On)  canal 1, note 60, C4, vel. 64", true},  // as text
      {"C4", "[MIDI-In] - C4 05 (Program Change)", true},                              // as a byte
      {"05", "[MIDI-In] - C4 05 (Program Change)", true},
      {"FA", "[MIDI-In] - FA (Start)", true},
      {"F0 7E", "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)", true},
      {"  sysex  ", "[MIDI-In] - F0 7E 00 06 01 F7  (Sysex - 6)", true},
      {"Test boucle", "Test boucle : OK.", true},
      {"90", "Test boucle : OK.", false},
      {"", "[MIDI-In] - 90 3C 40 (Note On)", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LogSearch(QString::fromUtf8(c.query)).Matches(QString::fromUtf8(c.line)), c.found)
        << c.query << " in " << c.line;
  }
}

TEST(LogSearchTest, FindGoesForwardOrBackRoundTheEnd) {
  TLogModel log;
  log.AppendLines({"[MIDI-In] - FA (Start)", "[MIDI-In] - 90 3C 40 (Note On)", "[MIDI-In] - FC (Stop)",
                   "[MIDI-In] - 90 3E 40 (Note On)"},
                  100);
  const LogSearch notes("note on");
  EXPECT_EQ(notes.Find(log, -1, true), 1) << "from nothing, forward: the first";
  EXPECT_EQ(notes.Find(log, -1, false), 3) << "from nothing, back: the last";
  EXPECT_EQ(notes.Find(log, 1, true), 3);
  EXPECT_EQ(notes.Find(log, 3, true), 1) << "round the end";
  EXPECT_EQ(notes.Find(log, 1, false), 3) << "round the start";
  EXPECT_EQ(LogSearch("FC").Find(log, 2, true), 2) << "the only match is the line itself";
  EXPECT_EQ(LogSearch("Pitch").Find(log, 0, true), -1);
  EXPECT_EQ(LogSearch("FA").Find(TLogModel(), -1, true), -1);
}

}  // namespace
