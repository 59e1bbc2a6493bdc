#pragma once
// The MIDI ports of a running JACK server, opened through RtMidi. Without a
// server it has no devices; a server that starts later is found at the next
// listing, and one that goes away leaves its open outputs refusing to send
// (MIDIERR_NODEVICE) until they are closed; until its last port is closed, no
// JACK device is listed or opened (JackSession::InUse says why). Threads:
// user-interface thread only.

#include "backends/common/DeviceSource.h"
#include "JackSession.h"

class JackSource final : public DeviceSource {
 public:
  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MMRESULT OpenInput(const std::string& name, InputDelivery& delivery,
                     std::unique_ptr<InputConnection>* connection) override;
  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override;
  uint16_t ProductId() const override { return 2; }
  uint32_t DriverVersion() const override { return 0x0500; }

 private:
  JackSession session_;
};
