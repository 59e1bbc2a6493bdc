#pragma once
// The MIDI ports of a running JACK server, opened as ports of the program's
// own client (JackSession.h, JackMidiPorts.h). Without a
// server it has no devices; a server that starts later is found at the next
// listing. Watched, it reports the server's changes as they happen (JACK's
// registration, connection and shutdown notices) and, while no server is
// reached, looks for one twice a second: JACK has no notice for a server that
// starts. An open port whose device went away (its port gone, its connection
// broken, the server ended) is gone for good and refuses to send
// (MIDIERR_NODEVICE); until the last port of a server that went away is
// closed, no JACK device is listed or opened (JackSession::InUse says why).
// Threads: user-interface thread only.

#include <QTimer>

#include "backends/common/DeviceSource.h"
#include "JackSession.h"

class JackSource final : public DeviceSource {
 public:
  JackSource();

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MMRESULT OpenInput(const std::string& name, InputDelivery& delivery,
                     std::unique_ptr<InputConnection>* connection) override;
  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override;
  void Watch(std::function<void()> changed) override;
  uint16_t ProductId() const override { return 2; }
  uint32_t DriverVersion() const override { return 0x0600; }

 private:
  static constexpr int kServerPollMs = 500;
  static constexpr int kClockFollowMs = 1000;

  void OnServerChanged();
  void LookForServer();

  std::function<void()> changed_;
  QTimer serverPoll_;
  QTimer clockFollow_;  // keeps the frames' times with the server's clock
  JackSession session_;  // last: its client ends before the rest
};
