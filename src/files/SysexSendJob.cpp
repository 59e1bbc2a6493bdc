#include "SysexSendJob.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <span>

#include "SendTimer.h"
#include "SysexFile.h"
#include "uComm.h"

SysexSendJob::SysexSendJob(std::shared_ptr<const SysexFile> file, SendTimer& timer, QObject* parent)
    : QObject(parent), FFile(std::move(file)), FTimer(timer) {}

SysexSendJob::~SysexSendJob() {
  if (FState == State::Running) FTimer.Cancel();
}

qint64 SysexSendJob::TotalBytes() const { return FFile->TotalBytes(); }

void SysexSendJob::Start(int pauseMs) {
  if (FState != State::Ready) return;
  FPauseMs = std::max(pauseMs, 0);
  FState = State::Running;
  FTimer.CallAfter(0, [this] { Turn(); });
}

void SysexSendJob::SetPauseMs(int pauseMs) { FPauseMs = std::max(pauseMs, 0); }

void SysexSendJob::Stop() {
  if (FState != State::Running) return;
  FTimer.Cancel();
  Finish(State::Stopped);
}

qint64 SysexSendJob::RemainingMs() const {
  const qsizetype count = FFile->MessageCount();
  if (FState != State::Ready && FState != State::Running) return 0;
  // Every message but the first is preceded by a pause.
  const qint64 pauses = std::max<qsizetype>(0, count - std::max<qsizetype>(FNext, 1));
  const qint64 bytesLeft = TotalBytes() - FBytesSent;
  const double msPerByte = FBytesSent > 0 ? static_cast<double>(FSendingMs) / static_cast<double>(FBytesSent) : 0.0;
  return pauses * FPauseMs + std::llround(static_cast<double>(bytesLeft) * msPerByte);
}

void SysexSendJob::Turn() {
  if (FState != State::Running) return;
  const qsizetype count = FFile->MessageCount();
  const qint64 turnStart = FTimer.NowMs();
  bool sent = false;
  do {
    if (FNext >= count) break;
    if (AbortDelay) {
      if (sent) emit Progress();
      Finish(State::Stopped);
      return;
    }
    const std::span<const uint8_t> message = FFile->Message(FNext);
    const qint64 before = FTimer.NowMs();
    try {
      MidiOut_SendBytes(message, message.size(), true);
    } catch (const std::exception& error) {
      FFailureText = QStringLiteral("Message %1 refusé : %2").arg(FNext + 1).arg(QString::fromLocal8Bit(error.what()));
    } catch (...) {
      FFailureText = QStringLiteral("Message %1 refusé.").arg(FNext + 1);
    }
    if (FState != State::Running) return;  // stopped while the message was handed over
    if (!FFailureText.isEmpty()) {
      if (sent) emit Progress();
      Finish(State::Failed);
      return;
    }
    FSendingMs += FTimer.NowMs() - before;
    FBytesSent += static_cast<qint64>(message.size());
    ++FNext;
    sent = true;
  } while (FPauseMs == 0 && FTimer.NowMs() - turnStart < SliceMs);
  if (sent) emit Progress();
  if (FState != State::Running) return;  // stopped by a receiver of Progress
  if (FNext >= count) {
    Finish(State::Done);
    return;
  }
  FTimer.CallAfter(FPauseMs, [this] { Turn(); });
}

void SysexSendJob::Finish(State state) {
  FState = state;
  emit Finished();
}
