#pragma once
// Sends the messages of a system-exclusive file one by one through the send
// routine (MidiOut_SendBytes, so each is logged and counted like any other
// outgoing message), with a pause between two messages. A timer drives it, so
// the window stays responsive however long the send takes; with a pause of 0
// it sends for at most SliceMs per turn of the event loop.
//
// It ends by itself when every message was sent (Done), when the send routine
// refuses a message (Failed; that message is not counted and FailureText says
// which and why) and when the program is closing (AbortDelay set; Stopped).
// Stop ends it at once (Stopped): no message is sent after Stop returns.
//
// User-interface thread only. The timer belongs to the caller and outlives the
// job; the file is shared, unchanged, with whoever else shows it.

#include <QObject>
#include <QString>

#include <memory>

class SendTimer;
class SysexFile;

class SysexSendJob : public QObject {
  Q_OBJECT

 public:
  enum class State { Ready, Running, Done, Stopped, Failed };
  static constexpr qint64 SliceMs = 10;

  SysexSendJob(std::shared_ptr<const SysexFile> file, SendTimer& timer, QObject* parent = nullptr);
  ~SysexSendJob() override;

  // Sends the first message at once, the next ones each `pauseMs` after the
  // previous one was handed over. Only from Ready.
  void Start(int pauseMs);
  // The pause before each message from the next one on.
  void SetPauseMs(int pauseMs);
  void Stop();

  State CurrentState() const { return FState; }
  bool Running() const { return FState == State::Running; }
  qsizetype MessagesSent() const { return FNext; }
  qint64 BytesSent() const { return FBytesSent; }
  qint64 TotalBytes() const;
  // Estimated time until the last message is sent: the pauses still to come
  // and the bytes still to send at the pace the output took them so far.
  qint64 RemainingMs() const;
  const QString& FailureText() const { return FFailureText; }

 signals:
  // After each turn that sent at least one message.
  void Progress();
  // Once, when the state leaves Running.
  void Finished();

 private:
  void Turn();
  void Finish(State state);

  const std::shared_ptr<const SysexFile> FFile;
  SendTimer& FTimer;
  State FState = State::Ready;
  int FPauseMs = 0;
  qsizetype FNext = 0;  // index of the next message to send
  qint64 FBytesSent = 0;
  qint64 FSendingMs = 0;  // time spent inside the send routine
  QString FFailureText;
};
