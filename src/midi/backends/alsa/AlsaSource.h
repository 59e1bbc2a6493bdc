#pragma once
// The ALSA sequencer's ports, on alsa-lib directly: AlsaObserver lists them
// and hears them come and go; the program's client AlsaClient ("Orvalis")
// carries the open devices, one port per open direction; names as AlsaNames
// gives them. Where the sequencer cannot be opened (no /dev/snd/seq, as on
// machines without sound hardware) it simply has no devices.
//
// Not through RtMidi, for what RtMidi's ALSA back end (Debian's 5.0) cannot
// do right: it has no notices of devices that come and
// go; each of its objects is a sequencer client of its own, so that the
// program showed up as several clients all named "Orvalis"; its input thread
// marks itself finished before it ends, so that closing a port may leave it
// running (a thread leak and a data race under ThreadSanitizer, on every
// close of a device that comes and goes); and when a flood of system-exclusive
// bytes overflows the client's queue, it prints to stderr and delivers the
// message with its middle missing as if it were whole.
//
// Threads: user-interface thread only; AlsaClient says what its reading thread does.

#include <memory>
#include <optional>

#include "AlsaClient.h"
#include "AlsaNames.h"
#include "AlsaObserver.h"
#include "backends/common/DeviceSource.h"

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
  void Watch(std::function<void()> changed) override;
  uint16_t ProductId() const override { return 1; }
  uint32_t DriverVersion() const override { return 0x0600; }

 private:
  struct Device {
    std::string name;
    SequencerAddress address;
  };

  bool Available();
  // The devices of that direction now, named.
  std::vector<Device> Devices(AlsaDirection direction);
  std::vector<std::string> Names(AlsaDirection direction);
  // The device of that name now, if there is one and the program's client can be opened.
  std::optional<SequencerAddress> Find(const std::string& name, AlsaDirection direction);

  std::unique_ptr<AlsaObserver> observer_;  // opened by the first listing
  std::unique_ptr<AlsaClient> client_;      // opened by the first open
  AlsaNames inputNames_;
  AlsaNames outputNames_;
};
