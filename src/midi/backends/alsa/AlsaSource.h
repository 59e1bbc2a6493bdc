#pragma once
// The ALSA sequencer's ports, through RtMidi. Where the sequencer cannot be
// opened (no /dev/snd/seq, as on machines without sound hardware) it simply
// has no devices. Threads: user-interface thread only.

#include <memory>

#include "backends/common/DeviceSource.h"

class RtMidiIn;
class RtMidiOut;

class AlsaSource final : public DeviceSource {
 public:
  AlsaSource();
  ~AlsaSource() override;

  std::vector<std::string> InputNames() override;
  std::vector<std::string> OutputNames() override;
  MMRESULT OpenInput(const std::string& name, InputDelivery& delivery,
                     std::unique_ptr<InputConnection>* connection) override;
  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override;
  uint16_t ProductId() const override { return 1; }
  uint32_t DriverVersion() const override { return 0x0500; }

 private:
  bool Available();

  // Port listers, made the first time the sequencer can be opened.
  std::unique_ptr<RtMidiIn> inputs_;
  std::unique_ptr<RtMidiOut> outputs_;
};
