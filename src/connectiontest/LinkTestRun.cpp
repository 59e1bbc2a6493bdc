#include "LinkTestRun.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <random>

#include "MidiBytes.h"
#include "MidiType.h"

namespace {

// Longer than any message the input can hand over in pieces.
constexpr size_t kMostJoinedBytes = 70000;
// One at a time, the random pause before a message: up to a USB frame.
constexpr uint64_t kMostPauseUs = 1000;

// A well-mixed number from the seed and the message's index (SplitMix64):
// the moment of each message is known without keeping a generator's state.
uint64_t Mixed(uint64_t seed, uint64_t index) {
  uint64_t z = seed + (index + 1) * 0x9E3779B97F4A7C15ULL;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

}  // namespace

uint64_t LinkTestRun::SteadyMicros() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

LinkTestRun::LinkTestRun(const LinkTestSettings& settings, Sender send, Clock clock)
    : FSettings(settings.Clamped()),
      FCodec(FSettings.Kind, FSettings.SysexLength),
      FSend(std::move(send)),
      FClock(std::move(clock)),
      FTimeoutUs(static_cast<uint64_t>(FSettings.TimeoutMs) * 1000),
      FSeed(std::random_device()()) {}

void LinkTestRun::Start() {
  if (FState != State::Ready) return;
  FRecords.reserve(static_cast<size_t>(FSettings.Count));
  FState = State::Running;
  FStartUs = FRateUs = FFreeSinceUs = FClock();
  Tick();
}

uint64_t LinkTestRun::RandomOffsetUs(uint64_t index, uint64_t spanUs) const {
  return FSettings.RandomMoments && spanUs > 0 ? Mixed(FSeed, index) % spanUs : 0;
}

// Evenly: the message's share of the pace begins at its moment. At random:
// anywhere inside its share, so that two messages never change places.
uint64_t LinkTestRun::DueUs(uint64_t index) const {
  if (FSettings.OneInFlight) return FFreeSinceUs + (index == 0 ? 0 : RandomOffsetUs(index, kMostPauseUs));
  const auto rate = static_cast<uint64_t>(FSettings.RatePerSecond);
  const uint64_t share = (index - FRateIndex) * 1000000 / rate;
  const uint64_t nextShare = (index + 1 - FRateIndex) * 1000000 / rate;
  return FRateUs + share + RandomOffsetUs(index, nextShare - share);
}

void LinkTestRun::NoteIfFree(uint64_t nowUs) {
  if (FOldest == FRecords.size()) FFreeSinceUs = nowUs;
}

bool LinkTestRun::CanSendNext(uint64_t nowUs) const {
  const uint64_t next = FRecords.size();
  if (next >= static_cast<uint64_t>(FSettings.Count)) return false;
  // The answer of the message Window() before this one would be taken for its own.
  if (next >= FOldest + FCodec.Window()) return false;
  if (FSettings.OneInFlight && FOldest != next) return false;
  return nowUs >= DueUs(next);
}

bool LinkTestRun::SendNext() {
  const uint64_t index = FRecords.size();
  const std::vector<uint8_t> bytes = FCodec.Encode(index);
  // Recorded first: should the send let other work run, an answer finds it.
  Record record;
  record.HandedUs = record.SentUs = FClock();
  FRecords.push_back(record);
  QString refusal;
  try {
    FSend(bytes);
  } catch (const std::exception& error) {
    refusal = QStringLiteral("La sortie refuse le message %1 : %2").arg(index + 1).arg(QString::fromUtf8(error.what()));
  } catch (...) {
    refusal = QStringLiteral("La sortie refuse le message %1.").arg(index + 1);
  }
  if (!refusal.isEmpty()) {
    if (FRecords.size() == index + 1) FRecords.pop_back();
    Fail(refusal);
    return false;
  }
  if (FSendTime && FRecords.size() > index && FRecords[index].Status == MessageStatus::Pending) {
    if (const std::optional<uint64_t> left = FSendTime()) FRecords[index].SentUs = *left;
  }
  // The send may have let other work run that ended the run (a device gone).
  return FState == State::Running;
}

void LinkTestRun::AdvanceOldest() {
  while (FOldest < FRecords.size() && FRecords[FOldest].Status != MessageStatus::Pending) ++FOldest;
}

void LinkTestRun::GiveUpOverdue(uint64_t nowUs) {
  AdvanceOldest();
  // Messages wait in the order they were sent, so the oldest is the first overdue.
  while (FOldest < FRecords.size() && nowUs >= FRecords[FOldest].HandedUs + FTimeoutUs) {
    FRecords[FOldest].Status = MessageStatus::Lost;
    ++FLost;
    AdvanceOldest();
    NoteIfFree(nowUs);
  }
}

std::optional<uint64_t> LinkTestRun::Tick() {
  if (FState != State::Running) return std::nullopt;
  const uint64_t sliceStart = FClock();
  GiveUpOverdue(sliceStart);
  if (!FSettings.OneInFlight && FRecords.size() < static_cast<uint64_t>(FSettings.Count) &&
      sliceStart > DueUs(FRecords.size()) + MostBehindUs) {
    FRateIndex = FRecords.size();
    FRateUs = sliceStart;
  }
  int sent = 0;
  uint64_t now = sliceStart;
  while (CanSendNext(now)) {
    if (!SendNext()) return std::nullopt;
    now = FClock();
    GiveUpOverdue(now);
    if (++sent >= MostPerTick || now - sliceStart >= SliceUs) return 0;
  }
  if (FRecords.size() == static_cast<uint64_t>(FSettings.Count) && FOldest == FRecords.size()) {
    End(State::Done);
    return std::nullopt;
  }
  // The next thing to do: the next message's time, or the time-out of the oldest waiting one.
  uint64_t wake = UINT64_MAX;
  const uint64_t next = FRecords.size();
  const bool nextMayGo = FSettings.OneInFlight ? FOldest == next : next < FOldest + FCodec.Window();
  if (next < static_cast<uint64_t>(FSettings.Count) && nextMayGo) wake = DueUs(next);
  if (FOldest < FRecords.size()) wake = std::min(wake, FRecords[FOldest].HandedUs + FTimeoutUs);
  if (wake == UINT64_MAX) return 0;
  return wake > now ? wake - now : 0;
}

void LinkTestRun::Receive(const TMyMidiEvent& event) {
  if (FState != State::Running) return;
  if (event.MidiMessage == 0xF0 && event.Sysex) {
    const std::span<const uint8_t> bytes(event.Sysex.get(), event.SysexLength);
    if (bytes.empty()) return;
    if (bytes.front() == 0xF0) {
      if (!FPartialSysex.empty()) CorruptedAnswer();  // cut short by this one
      FPartialSysex.clear();
      if (bytes.back() == 0xF7) {
        Answer(bytes, event.TimeUs);
        return;
      }
      FPartialSysex.assign(bytes.begin(), bytes.end());
      return;
    }
    // The rest of a message that the input handed over in pieces.
    if (FPartialSysex.empty()) {
      CorruptedAnswer();
      return;
    }
    FPartialSysex.insert(FPartialSysex.end(), bytes.begin(), bytes.end());
    if (bytes.back() == 0xF7) {
      const std::vector<uint8_t> whole = std::move(FPartialSysex);
      FPartialSysex.clear();
      Answer(whole, event.TimeUs);
    } else if (FPartialSysex.size() > kMostJoinedBytes) {
      FPartialSysex.clear();
      CorruptedAnswer();
    }
    return;
  }
  if (IsRealTime(event.MidiMessage)) return;
  if (!FPartialSysex.empty()) {
    FPartialSysex.clear();
    CorruptedAnswer();
  }
  const uint8_t bytes[3] = {event.MidiMessage, event.Data1, event.Data2};
  const int length = std::max(ShortMessageLength(event.MidiMessage), 1);
  Answer(std::span<const uint8_t>(bytes, static_cast<size_t>(length)), event.TimeUs);
}

void LinkTestRun::Answer(std::span<const uint8_t> bytes, uint64_t receivedUs) {
  if (FState != State::Running) return;
  const std::optional<uint32_t> residue = FCodec.Residue(bytes);
  if (!residue || FRecords.empty()) {
    CorruptedAnswer();
    return;
  }
  // The one message of that residue among the last Window() sent.
  const uint64_t window = FCodec.Window();
  const uint64_t last = FRecords.size() - 1;
  const uint64_t back = (last % window + window - *residue) % window;
  if (back > last) {
    CorruptedAnswer();
    return;
  }
  const uint64_t index = last - back;
  Record& record = FRecords[index];
  switch (record.Status) {
    case MessageStatus::Pending:
      break;
    case MessageStatus::Lost:
    case MessageStatus::Unanswered:
      return;  // too late: it stays lost
    default:
      ++FDuplicates;
      return;
  }
  const std::vector<uint8_t> expected = FCodec.Encode(index);
  if (!std::equal(bytes.begin(), bytes.end(), expected.begin(), expected.end())) {
    record.Status = MessageStatus::Corrupted;
    ++FCorruptedMessages;
  } else {
    record.ReceivedUs = receivedUs;
    const bool late = FHighestAnswered && *FHighestAnswered > index;
    record.Status = late ? MessageStatus::OutOfOrder : MessageStatus::Received;
    ++FReceived;
    if (late) ++FOutOfOrder;
    if (!FHighestAnswered || *FHighestAnswered < index) FHighestAnswered = index;
    if (FReceived > static_cast<uint64_t>(FSettings.WarmUp)) {
      FLatencies.Add(receivedUs > record.SentUs ? receivedUs - record.SentUs : 0);
    }
  }
  AdvanceOldest();
  if (FSettings.OneInFlight) NoteIfFree(FClock());
}

void LinkTestRun::Stop() {
  if (FState == State::Running) End(State::Stopped);
}

void LinkTestRun::Fail(const QString& reason) {
  if (FState != State::Running) return;
  FFailureText = reason;
  End(State::Failed);
}

void LinkTestRun::End(State state) {
  FState = state;
  FPartialSysex.clear();
  for (uint64_t i = FOldest; i < FRecords.size(); ++i) {
    if (FRecords[i].Status == MessageStatus::Pending) FRecords[i].Status = MessageStatus::Unanswered;
  }
  FOldest = FRecords.size();
  // A Note On that went out gets its Note Off, outside the run's figures.
  if (FSettings.Kind == LinkMessageKind::NoteOnOff && FRecords.size() % 2 == 1) {
    try {
      FSend(FCodec.Encode(FRecords.size()));
    } catch (...) {
      // The output refuses it as it refused the run's message: nothing more to do.
    }
  }
}

LinkTestRun::Counts LinkTestRun::GetCounts() const {
  Counts c;
  c.Sent = FRecords.size();
  c.Received = FReceived;
  c.Lost = FLost;
  c.OutOfOrder = FOutOfOrder;
  c.Corrupted = FCorruptedMessages + FCorruptedAnswers;
  c.Duplicates = FDuplicates;
  c.Finished = FReceived + FLost + FCorruptedMessages;
  return c;
}
