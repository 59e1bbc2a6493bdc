// The bulk sweep: bytes sent, Memo1 lines, waits, Start/Stop and errors.

#include <algorithm>

#include "BulkFixture.h"

#include "MidiOut.h"

namespace {

class SweepTest : public BulkFixture {};

uint32_t Pack(uint32_t status, uint32_t d1, uint32_t d2 = 0) { return status + 256 * d1 + 65536 * d2; }

TEST_F(SweepTest, DefaultPassSweepsByte2ThenByte3OverFullRangeOnChannel1) {
  StartBulk();
  midi->ClearSent();
  QStringList memoAtFirstWait;
  sweepClock.OnWait = [&] {
    if (sweepClock.Waits.size() == 1) memoAtFirstWait = MemoLines();
  };
  bulk->btnSendBulkStart->click();

  EXPECT_EQ(memoAtFirstWait, QStringList{"B0 00 00"});
  const auto sent = Sent();
  ASSERT_EQ(sent.size(), 16384u);
  for (uint32_t i = 0; i < sent.size(); ++i) {
    ASSERT_EQ(sent[i], Pack(0xB0, i / 128, i % 128)) << "message " << i;
  }
  const QStringList memo = MemoLines();
  // 16385 lines, of which Memo1 keeps the newest.
  ASSERT_EQ(memo.size(), TfmSendBulk::MemoMaxLines);
  const int firstKept = 16385 - TfmSendBulk::MemoMaxLines;
  for (int i = 0; i + 1 < memo.size(); ++i) {
    const int message = firstKept + i;
    ASSERT_EQ(memo[i], QString::asprintf("B0 %.2X %.2X", message / 128, message % 128)) << "line " << i;
  }
  EXPECT_EQ(memo[memo.size() - 2], "B0 7F 7F");
  EXPECT_EQ(memo.last(), kEndLine);
  EXPECT_EQ(sweepClock.Waits, std::vector<uint32_t>(16384, 100));
  EXPECT_FALSE(SendBulkRunning);
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
  EXPECT_FALSE(bulk->btnSendBulkStop->isEnabled());
  EXPECT_EQ(MidiOutCount, 16384);
}

struct TSweepCase {
  const char* name;
  std::function<void(TfmSendBulk&)> setup;
  std::vector<uint32_t> sent;
  QStringList memo;  // without the end line
  std::vector<uint32_t> waits;
};

std::vector<uint32_t> Repeat(size_t n, uint32_t v) { return std::vector<uint32_t>(n, v); }

class SweepCaseTest : public SweepTest, public ::testing::WithParamInterface<TSweepCase> {};

TEST_P(SweepCaseTest, SendsExpectedBytesLinesAndWaits) {
  StartBulk();
  midi->ClearSent();
  FixAll(1, 0, 0);
  GetParam().setup(*bulk);
  sweepClock.Waits.clear();
  bulk->btnSendBulkStartClick(bulk->btnSendBulkStart);

  EXPECT_EQ(Sent(), GetParam().sent);
  QStringList memo = GetParam().memo;
  memo << kEndLine;
  EXPECT_EQ(MemoLines(), memo);
  EXPECT_EQ(sweepClock.Waits, GetParam().waits);
  EXPECT_FALSE(SendBulkRunning);
}

std::vector<TSweepCase> SweepCases() {
  std::vector<TSweepCase> cases;
  {
    TSweepCase c{"ChannelLoop1To16", [](TfmSendBulk& w) {
                   w.cbData0Loop->setChecked(true);
                   w.edData1Min->SetValue(7);
                   w.edData2Min->SetValue(0x7F);
                 }, {}, {}, Repeat(16, 100)};
    for (uint32_t ch = 0; ch < 16; ++ch) {
      c.sent.push_back(Pack(0xB0 + ch, 7, 0x7F));
      c.memo << QString::asprintf("B%X 07 7F", ch);
    }
    cases.push_back(c);
  }
  cases.push_back({"NoteOnThen10msNoteOffThenDelay", [](TfmSendBulk& w) {
                     w.rbNote->setChecked(true);
                     w.edData1Min->SetValue(0x3C);
                     w.edData2Min->SetValue(0x40);
                     w.edLoopDelay->SetValue(250);
                   },
                   {Pack(0x90, 0x3C, 0x40), Pack(0x80, 0x3C, 0x40)}, {"90 3C 40", "80 3C 40"}, {10, 250}});
  cases.push_back({"NoteOnChannel16TwoVelocities", [](TfmSendBulk& w) {
                     w.rbNote->setChecked(true);
                     w.edData0Min->SetValue(16);
                     w.cbData2Loop->setChecked(true);
                     w.edData2Min->SetValue(1);
                     w.edData2Max->SetValue(2);
                   },
                   {Pack(0x9F, 0, 1), Pack(0x8F, 0, 1), Pack(0x9F, 0, 2), Pack(0x8F, 0, 2)},
                   {"9F 00 01", "8F 00 01", "9F 00 02", "8F 00 02"}, {10, 100, 10, 100}});
  {
    TSweepCase c{"ProgramChangeSweepWaitsTheDelayAfterEachMessage", [](TfmSendBulk& w) {
                   w.rbProgramChange->setChecked(true);
                   w.edData0Min->SetValue(10);
                   w.cbData1Loop->setChecked(true);
                   w.cbData2Loop->setChecked(true);
                   w.edLoopDelay->SetValue(30);
                 }, {}, {}, Repeat(128, 30)};
    for (uint32_t p = 0; p < 128; ++p) {
      c.sent.push_back(Pack(0xC9, p));
      c.memo << QString::asprintf("C9 %.2X", p);
    }
    cases.push_back(c);
  }
  cases.push_back({"ProgramChangeWithEmptyByte3RangeSendsNothing", [](TfmSendBulk& w) {
                     w.rbProgramChange->setChecked(true);
                     w.cbData1Loop->setChecked(true);
                     w.cbData2Loop->setChecked(true);
                     w.edData2Min->SetValue(5);
                     w.edData2Max->SetValue(4);
                   },
                   {}, {}, {}});
  cases.push_back({"EmptyChannelRangeSendsNothing", [](TfmSendBulk& w) {
                     w.cbData0Loop->setChecked(true);
                     w.edData0Min->SetValue(9);
                     w.edData0Max->SetValue(8);
                   },
                   {}, {}, {}});
  cases.push_back({"EmptyByte2RangeSendsNothing", [](TfmSendBulk& w) {
                     w.cbData1Loop->setChecked(true);
                     w.edData1Min->SetValue(0x11);
                     w.edData1Max->SetValue(0x10);
                   },
                   {}, {}, {}});
  // A hand-edited preset can put a byte above 0x7F into a hexadecimal box;
  // the sweep still sends only data bytes.
  cases.push_back({"DataBytesStayBelow0x80", [](TfmSendBulk& w) {
                     w.cbData1Loop->setChecked(true);
                     w.edData1Min->SetValue(0x7E);
                     w.edData1Max->SetValue(200);
                   },
                   {Pack(0xB0, 0x7E, 0), Pack(0xB0, 0x7F, 0)}, {"B0 7E 00", "B0 7F 00"}, {100, 100}});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Cases, SweepCaseTest, ::testing::ValuesIn(SweepCases()),
                         [](const auto& info) { return std::string(info.param.name); });

// A clock whose blocking waits let at most `slice` milliseconds pass each, so
// that a wait is seen to end early.
class TSlicedClock : public TFastDelayClock {
 public:
  explicit TSlicedClock(uint32_t slice) : Slice(slice) {}
  void WaitForEvents(uint32_t maxMs, bool pump) override {
    TFastDelayClock::WaitForEvents(0, pump);
    Now += std::min(maxMs, Slice);
  }
  const uint32_t Slice;
};

// Stop ends the delay under way at once, and Start stays disabled until the
// sweep has returned: a second sweep never runs inside the first.
TEST_F(SweepTest, StopEndsALongDelayAtOnceAndStartWaitsForTheSweepToEnd) {
  StartBulk();
  midi->ClearSent();
  FixAll(1, 0x10, 0x20);
  bulk->edLoopDelay->SetValue(10000);
  TSlicedClock sliced(10);
  TScopedDelayClock useSliced(sliced);
  int waits = 0;
  uint32_t stoppedAt = 0;
  bool startEnabledAfterStop = true;
  sliced.OnWait = [&] {
    if (++waits != 5) return;
    bulk->btnSendBulkStop->click();
    stoppedAt = sliced.Now;
    startEnabledAfterStop = bulk->btnSendBulkStart->isEnabled();
    bulk->btnSendBulkStart->click();  // does nothing while disabled
  };
  const uint32_t start = sliced.Now;
  bulk->btnSendBulkStart->click();

  EXPECT_FALSE(startEnabledAfterStop);
  EXPECT_EQ(stoppedAt - start, 40u);
  EXPECT_LE(sliced.Now - stoppedAt, 10u) << "the wait ends at its next poll";
  EXPECT_EQ(Sent(), std::vector<uint32_t>{Pack(0xB0, 0x10, 0x20)});
  EXPECT_EQ(MemoLines(), (QStringList{"B0 10 20", kEndLine}));
  EXPECT_FALSE(SendBulkRunning);
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
  EXPECT_FALSE(bulk->btnSendBulkStop->isEnabled());
}

TEST_F(SweepTest, EndlessSweepRepeatsPassesUntilStopped) {
  StartBulk();
  midi->ClearSent();
  FixAll(3, 1, 2);
  bulk->cbLoopInfinite->setChecked(true);
  int passes = 0;
  sweepClock.OnWait = [&] {
    if (++passes == 3) bulk->btnSendBulkStop->click();
  };
  bulk->btnSendBulkStart->click();

  EXPECT_EQ(Sent(), std::vector<uint32_t>(3, Pack(0xB2, 1, 2)));
  EXPECT_EQ(MemoLines(), (QStringList{"B2 01 02", kEndLine, "B2 01 02", kEndLine, "B2 01 02", kEndLine}));
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
}

TEST_F(SweepTest, EndlessSweepOverEmptyRangesStillLetsStopAct) {
  StartBulk();
  midi->ClearSent();
  bulk->cbData0Loop->setChecked(true);
  bulk->edData0Min->SetValue(2);
  bulk->edData0Max->SetValue(1);
  bulk->cbLoopInfinite->setChecked(true);
  // The Stop click is queued as a user's would be: only the event loop runs it.
  int passes = 0;
  sweepClock.OnWait = [&] {
    if (++passes == 5) QMetaObject::invokeMethod(bulk->btnSendBulkStop, &QPushButton::click, Qt::QueuedConnection);
  };
  bulk->btnSendBulkStart->click();

  EXPECT_TRUE(Sent().empty());
  EXPECT_GE(passes, 5);
  EXPECT_EQ(MemoLines(), QStringList(passes, kEndLine));
  for (uint32_t ms : sweepClock.Waits) EXPECT_GT(ms, 0u) << "a pass must block, not spin";
  EXPECT_FALSE(SendBulkRunning);
}

TEST_F(SweepTest, ClosingTheMainWindowEndsAnEndlessSweepAfterItsPass) {
  StartBulk();
  midi->ClearSent();
  FixAll(1, 5, 6);
  bulk->cbData2Loop->setChecked(true);
  bulk->edData2Max->SetValue(8);
  bulk->cbLoopInfinite->setChecked(true);
  sweepClock.OnWait = [&] {
    if (sweepClock.Waits.size() == 1) window->close();
  };
  bulk->btnSendBulkStart->click();

  EXPECT_TRUE(AbortDelay);
  EXPECT_EQ(Sent(), std::vector<uint32_t>{Pack(0xB0, 5, 6)});  // nothing once closing
  EXPECT_EQ(MemoLines(), (QStringList{"B0 05 06", "B0 05 07", "B0 05 08", kEndLine}));
  EXPECT_FALSE(SendBulkRunning);
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
}

TEST_F(SweepTest, Memo1KeepsOnlyTheNewestLines) {
  StartBulk();
  bulk->cbData0Loop->setChecked(true);
  bulk->edData0Min->SetValue(2);
  bulk->edData0Max->SetValue(1);
  bulk->cbLoopInfinite->setChecked(true);
  bulk->Memo1->appendPlainText("first");
  int passes = 0;
  sweepClock.OnWait = [&] {
    if (++passes == TfmSendBulk::MemoMaxLines + 50) bulk->btnSendBulkStop->click();
  };
  bulk->btnSendBulkStart->click();

  const QStringList memo = MemoLines();
  EXPECT_EQ(memo.size(), TfmSendBulk::MemoMaxLines);
  EXPECT_FALSE(memo.contains("first"));
}

// A message that does not leave ends the sweep: the window is idle again and
// its memo says which message was not sent, and why.
TEST_F(SweepTest, ARefusedMessageEndsTheSweepAndTheMemoSaysItWasNotSent) {
  StartBulk();
  midi->ClearSent();
  FixAll(1, 0, 0);
  bulk->cbData2Loop->setChecked(true);
  bulk->edData2Max->SetValue(9);
  midi->FailNext("midiOutShortMsg", MIDIERR_NOTREADY, 1, 2);  // the third send fails

  bulk->btnSendBulkStart->click();
  EXPECT_EQ(Sent().size(), 2u);
  EXPECT_EQ(MemoLines(), (QStringList{"B0 00 00", "B0 00 01",
                                      "B0 00 02 (Non envoyé : (Short Msg) The hardware is busy with other data.)"}));
  EXPECT_FALSE(SendBulkRunning);
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
  EXPECT_FALSE(bulk->btnSendBulkStop->isEnabled());
}

TEST_F(SweepTest, ClosedOutputEndsTheSweepAtTheFirstMessage) {
  StartBulk();
  MidiOut_Close();
  bulk->btnSendBulkStart->click();
  EXPECT_EQ(MemoLines(), QStringList{"B0 00 00 (Non envoyé : MIDI Output device not open)"});
  EXPECT_FALSE(SendBulkRunning);
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
  EXPECT_FALSE(bulk->btnSendBulkStop->isEnabled());
}

TEST_F(SweepTest, StopWhileIdleOnlySwapsTheButtons) {
  StartBulk();
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
  EXPECT_TRUE(bulk->btnSendBulkStop->isEnabled());
  bulk->btnSendBulkStop->click();
  EXPECT_TRUE(bulk->btnSendBulkStart->isEnabled());
  EXPECT_FALSE(bulk->btnSendBulkStop->isEnabled());
  EXPECT_TRUE(MemoLines().isEmpty());
}

TEST_F(SweepTest, ControlsChangedDuringSweepTakeEffectAtTheirReadPoints) {
  StartBulk();
  midi->ClearSent();
  FixAll(1, 0, 0);
  bulk->cbData2Loop->setChecked(true);
  bulk->edData2Max->SetValue(2);
  sweepClock.OnWait = [&] {
    if (sweepClock.Waits.size() == 1) bulk->rbProgramChange->setChecked(true);  // next message's form
  };
  bulk->btnSendBulkStart->click();
  EXPECT_EQ(Sent(), (std::vector<uint32_t>{Pack(0xB0, 0, 0), Pack(0xB0, 0)}));
  EXPECT_EQ(MemoLines(), (QStringList{"B0 00 00", "B0 00", kEndLine}));
}

}  // namespace
