// Sending a system-exclusive file: every message byte for byte through the
// send routine, paced by the pause on a clock the test runs, and ending at
// once on a refusal, on Stop and when the program closes.
#include <memory>

#include "FilesFixture.h"
#include "MidiOut.h"
#include "SysexFile.h"
#include "SysexSendJob.h"

namespace {

class SysexSendJobTest : public FilesFixture {
 protected:
  void SetUp() override { StartFiles(); }
  void TearDown() override {
    job.reset();
    FilesFixture::TearDown();
  }

  // Makes the job for these messages (written to a file and read back).
  void Prepare(const std::vector<Bytes>& messages) {
    ASSERT_TRUE(WriteFile(FilePath("bank.syx"), Joined(messages)));
    auto file = std::make_shared<const SysexFile>(SysexFile::Load(FilePath("bank.syx")));
    ASSERT_TRUE(file->Ok()) << file->Error().toStdString();
    job = std::make_unique<SysexSendJob>(file, timer);
    // Notes the clock at each outgoing message, and lets it advance by
    // `sendingMs` as an output that takes time to accept a message would.
    window->OnMidiOutLine = [this](const QString&) {
      sentAt.push_back(timer.Now);
      timer.Now += sendingMs;
    };
  }

  static std::vector<Bytes> OneMegabyte() {
    std::vector<Bytes> messages;
    for (unsigned i = 0; i < 256; ++i) messages.push_back(SysexMessage(4096, i));
    return messages;
  }

  FakeSendTimer timer;
  std::unique_ptr<SysexSendJob> job;
  std::vector<qint64> sentAt;
  qint64 sendingMs = 0;
};

class OneMegabyteWithPause : public SysexSendJobTest, public ::testing::WithParamInterface<int> {};

TEST_P(OneMegabyteWithPause, TakesExactlyThePausesBetweenMessagesAndSendsEveryByte) {
  const int pause = GetParam();
  const std::vector<Bytes> messages = OneMegabyte();
  Prepare(messages);
  EXPECT_EQ(job->TotalBytes(), 1048576);
  job->Start(pause);
  EXPECT_EQ(job->RemainingMs(), 255 * pause) << "before the first message: the pauses to come";
  timer.RunAll();

  EXPECT_EQ(job->CurrentState(), SysexSendJob::State::Done);
  EXPECT_EQ(midi->LongMessages(), messages);
  EXPECT_EQ(job->MessagesSent(), 256);
  EXPECT_EQ(job->BytesSent(), 1048576);
  EXPECT_EQ(MidiOutCount, 256);
  EXPECT_EQ(timer.Now, 255 * pause) << "no pause before the first message nor after the last";
  ASSERT_EQ(sentAt.size(), 256u);
  for (size_t i = 0; i < sentAt.size(); ++i) EXPECT_EQ(sentAt[i], static_cast<qint64>(i) * pause) << "message " << i;
  EXPECT_EQ(job->RemainingMs(), 0);
}

INSTANTIATE_TEST_SUITE_P(Pauses, OneMegabyteWithPause, ::testing::Values(0, 1, 20, 1000),
                         [](const auto& info) { return std::to_string(info.param) + "ms"; });

TEST_F(SysexSendJobTest, WithoutPauseItHandsTheEventLoopBackEverySliceOfSending) {
  Prepare(OneMegabyte());
  sendingMs = 1;  // each message takes 1 ms to hand over
  job->Start(0);
  ASSERT_TRUE(timer.RunNext());
  EXPECT_EQ(job->MessagesSent(), SysexSendJob::SliceMs);
  timer.RunAll();
  EXPECT_EQ(job->MessagesSent(), 256);
  EXPECT_EQ(timer.Delays, std::vector<int>(26, 0)) << "the start and 25 turns after the first";
}

TEST_F(SysexSendJobTest, TimeLeftCountsThePausesToComeAndTheBytesAtThePaceTheOutputTookThem) {
  Prepare(OneMegabyte());
  sendingMs = 2;  // 4 096 bytes in 2 ms
  job->Start(20);
  ASSERT_TRUE(timer.RunNext());
  EXPECT_EQ(job->MessagesSent(), 1);
  EXPECT_EQ(job->RemainingMs(), 255 * 20 + 255 * 2);
  for (int i = 0; i < 99; ++i) ASSERT_TRUE(timer.RunNext());
  EXPECT_EQ(job->RemainingMs(), 156 * 20 + 156 * 2);
  timer.RunAll();
  EXPECT_EQ(timer.Now, 255 * 20 + 256 * 2);
}

TEST_F(SysexSendJobTest, APauseChangedDuringTheSendCountsFromTheNextMessage) {
  Prepare({SysexMessage(6, 1), SysexMessage(6, 2), SysexMessage(6, 3), SysexMessage(6, 4)});
  job->Start(100);
  ASSERT_TRUE(timer.RunNext());  // first message
  ASSERT_TRUE(timer.RunNext());  // second, 100 ms later
  job->SetPauseMs(5);            // the third is already due 100 ms after the second
  timer.RunAll();
  EXPECT_EQ(sentAt, (std::vector<qint64>{0, 100, 200, 205}));
}

TEST_F(SysexSendJobTest, AMessageTheOutputRefusesEndsTheSendAndNothingFollows) {
  const std::vector<Bytes> messages{SysexMessage(10, 1), SysexMessage(20, 2), SysexMessage(30, 3), SysexMessage(40, 4)};
  Prepare(messages);
  midi->SetErrorText(MIDIERR_NOTREADY, "The hardware is busy with other data.");
  midi->FailNext("midiOutLongMsg", MIDIERR_NOTREADY, 1, 2);
  job->Start(20);
  timer.RunAll();
  EXPECT_EQ(job->CurrentState(), SysexSendJob::State::Failed);
  EXPECT_EQ(job->FailureText(), QString::fromUtf8("Message 3 refusé : (Long Msg) The hardware is busy with other data."));
  EXPECT_EQ(midi->LongMessages(), std::vector<Bytes>(messages.begin(), messages.begin() + 2));
  EXPECT_EQ(job->MessagesSent(), 2);
  EXPECT_EQ(job->BytesSent(), 30);
  EXPECT_EQ(MidiOutCount, 2);
  EXPECT_FALSE(timer.Due);
}

TEST_F(SysexSendJobTest, AClosedOutputRefusesTheFirstMessage) {
  Prepare({SysexMessage(10, 1), SysexMessage(10, 2)});
  MidiOut_Close();
  job->Start(20);
  timer.RunAll();
  EXPECT_EQ(job->CurrentState(), SysexSendJob::State::Failed);
  EXPECT_EQ(job->FailureText(), QString::fromUtf8("Message 1 refusé : MIDI Output device not open"));
  EXPECT_EQ(job->MessagesSent(), 0);
  EXPECT_TRUE(midi->LongMessages().empty());
}

TEST_F(SysexSendJobTest, StopEndsTheSendAtOnce) {
  Prepare(OneMegabyte());
  job->Start(20);
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(timer.RunNext());
  job->Stop();
  EXPECT_EQ(job->CurrentState(), SysexSendJob::State::Stopped);
  EXPECT_FALSE(timer.Due) << "nothing more is scheduled";
  EXPECT_EQ(midi->LongMessages().size(), 3u);
  EXPECT_EQ(job->RemainingMs(), 0);
}

// The close request sets AbortDelay before anything else: a turn that comes
// afterwards sends nothing.
TEST_F(SysexSendJobTest, AClosingProgramEndsTheSendAtTheNextTurn) {
  Prepare(OneMegabyte());
  job->Start(20);
  ASSERT_TRUE(timer.RunNext());
  AbortDelay = true;
  timer.RunAll();
  EXPECT_EQ(job->CurrentState(), SysexSendJob::State::Stopped);
  EXPECT_EQ(midi->LongMessages().size(), 1u);
}

TEST_F(SysexSendJobTest, EachMessageIsLoggedAsAnOutgoingLine) {
  Prepare({{0xF0, 0x7E, 0x7F, 0x06, 0x01, 0xF7}, {0xF0, 0x43, 0x10, 0xF7}});
  window->OnMidiOutLine = nullptr;
  job->Start(0);
  timer.RunAll();
  EXPECT_EQ(LogLines(), (QStringList{"[Midi-Out] - F0 7E 7F 06 01 F7", "[Midi-Out] - F0 43 10 F7"}));
}

}  // namespace
