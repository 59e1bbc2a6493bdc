#pragma once
// One connection test: sends the messages of LinkMessageCodec at the chosen
// pace, matches every answer to the message it answers, and keeps each
// message's figures and the latencies.
//
// The latency of a message runs from the moment it left the output (by the
// driver's time where the output tells it, SetSendTime; else the clock read
// just before the send) to the moment the input driver received its answer
// (the event's TimeUs, the driver's time of its arrival). Both are
// microseconds of the steady clock, so neither the time that a message waits
// for its driver's cycle nor the time that the answer then waits for the
// user-interface thread counts.
//
// Each message ends as one of:
//   Received    answered, unchanged, within the time-out
//   OutOfOrder  the same, but after the answer of a message sent later
//   Corrupted   an answer carrying its number came back changed
//   Lost        no answer within the time-out (a late answer does not change that)
//   Unanswered  still waiting when the run was stopped or failed
// Answers that carry no number of this run (garbage, a message of another
// kind) are counted as corrupted answers; an answer to a message that was
// answered already is counted as a duplicate. Real-time bytes (clock, active
// sensing) are no answers and are left out.
//
// The owner calls Tick when it asks to be called (the return value), and
// hands every incoming event to Receive. Nothing here waits. User-interface
// thread only; the send function belongs to the owner and is called only
// from Start and Tick.

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include "LatencyStats.h"
#include "LinkMessageCodec.h"
#include "LinkTestSettings.h"

struct TMyMidiEvent;

class LinkTestRun {
 public:
  enum class State { Ready, Running, Done, Stopped, Failed };
  enum class MessageStatus : uint8_t { Pending, Received, OutOfOrder, Corrupted, Lost, Unanswered };
  struct Record {
    uint64_t HandedUs = 0;    // when it was handed to the output: the run's clock, microseconds
    uint64_t SentUs = 0;      // when it left, by the output's driver where it tells (else HandedUs)
    uint64_t ReceivedUs = 0;  // the answer's TimeUs; 0 without an accepted answer
    MessageStatus Status = MessageStatus::Pending;
  };
  struct Counts {
    uint64_t Sent = 0;
    uint64_t Received = 0;  // out-of-order answers included
    uint64_t Lost = 0;
    uint64_t OutOfOrder = 0;
    uint64_t Corrupted = 0;  // changed answers, matched to a message or not
    uint64_t Duplicates = 0;
    uint64_t Finished = 0;  // messages that have ended (received, changed or lost)
  };

  // Microseconds of the steady clock, as the input driver stamps events.
  using Clock = std::function<uint64_t()>;
  // Hands the bytes to the output; raises (std::exception) when it refuses them.
  using Sender = std::function<void(std::span<const uint8_t>)>;
  static uint64_t SteadyMicros();
  // When the message just sent leaves, by its driver; none when the output
  // does not tell.
  using SendTime = std::function<std::optional<uint64_t>()>;

  // At most this many messages, or this much time, per Tick.
  static constexpr int MostPerTick = 2000;
  static constexpr uint64_t SliceUs = 20000;
  // A rate that fell this far behind starts again from now instead of
  // sending everything that is late at once.
  static constexpr uint64_t MostBehindUs = 100000;

  LinkTestRun(const LinkTestSettings& settings, Sender send, Clock clock = &LinkTestRun::SteadyMicros);

  void SetSendTime(SendTime sendTime) { FSendTime = std::move(sendTime); }
  // The random moments of the messages follow from this number (a new one
  // for each run unless given), so that a run can be made again exactly.
  void SetRandomSeed(uint64_t seed) { FSeed = seed; }
  // Sends the first message (and whatever else is due); only from Ready.
  void Start();
  // Sends what is due, gives up what waited too long, ends the run when every
  // message has ended. Returns the microseconds after which it wants to be
  // called again; none once the run has ended.
  std::optional<uint64_t> Tick();
  // An incoming event: parts of a system-exclusive message that the input
  // handed over in several pieces are joined first.
  void Receive(const TMyMidiEvent& event);
  // One whole incoming message and when the driver received it.
  void Answer(std::span<const uint8_t> bytes, uint64_t receivedUs);
  // Ends the run now; nothing is sent afterwards (but the Note Off of a Note On).
  void Stop();
  // Ends the run now with the reason (a device went away).
  void Fail(const QString& reason);

  State CurrentState() const { return FState; }
  bool Running() const { return FState == State::Running; }
  const QString& FailureText() const { return FFailureText; }
  const LinkTestSettings& Settings() const { return FSettings; }
  const std::vector<Record>& Records() const { return FRecords; }
  const LatencyStats& Latencies() const { return FLatencies; }
  Counts GetCounts() const;
  uint64_t StartUs() const { return FStartUs; }

 private:
  bool CanSendNext(uint64_t nowUs) const;
  uint64_t DueUs(uint64_t index) const;
  // The random part of the message's moment: below `spanUs`, 0 when evenly.
  uint64_t RandomOffsetUs(uint64_t index, uint64_t spanUs) const;
  void NoteIfFree(uint64_t nowUs);
  bool SendNext();
  void GiveUpOverdue(uint64_t nowUs);
  void AdvanceOldest();
  void End(State state);
  void CorruptedAnswer() { ++FCorruptedAnswers; }

  const LinkTestSettings FSettings;
  const LinkMessageCodec FCodec;
  const Sender FSend;
  const Clock FClock;
  const uint64_t FTimeoutUs;
  SendTime FSendTime;
  uint64_t FSeed;

  State FState = State::Ready;
  QString FFailureText;
  std::vector<Record> FRecords;  // one per message sent, by index
  LatencyStats FLatencies;
  uint64_t FStartUs = 0;
  uint64_t FOldest = 0;      // no message before it is pending
  uint64_t FRateIndex = 0;   // the pace counts from this message ...
  uint64_t FRateUs = 0;      // ... sent at this time
  uint64_t FFreeSinceUs = 0;  // one at a time: when the last message ended
  std::optional<uint64_t> FHighestAnswered;
  uint64_t FReceived = 0;
  uint64_t FOutOfOrder = 0;
  uint64_t FLost = 0;
  uint64_t FCorruptedMessages = 0;
  uint64_t FCorruptedAnswers = 0;
  uint64_t FDuplicates = 0;
  std::vector<uint8_t> FPartialSysex;  // a system-exclusive message still arriving
};
