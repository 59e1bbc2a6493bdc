#pragma once
// End-to-end tests on a real ALSA sequencer: the one of the small VM that
// scripts/with-alsa-vm.sh starts, whose only clients are "Midi Through"
// (snd-seq-dummy: port 0 sends back whatever it receives) and
// "Virtual Raw MIDI 0-0" to "0-3" (snd-virmidi: each port is joined to the raw
// MIDI device /dev/snd/midiC0D0 to D3). Every test skips elsewhere: without a
// sequencer (/dev/snd/seq), without those clients, or with clients of other
// programs or hardware, whose ports would change the device lists.
//
// AlsaTest installs the machine's MIDI services (CreateSystemMidiServices) for
// each test; the tests of one program run one after the other (ctest's
// resource lock), as they share the devices. Threads: the test's thread only.

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "MidiServices.h"
#include "RawMidiOutput.h"

// Product names of the VM's devices, as the program lists them.
inline const std::string kMidiThrough = "Midi Through:Midi Through Port-0 (ALSA)";
inline const std::string kVirtualRawMidi0 = "Virtual Raw MIDI 0-0:VirMIDI 0-0 (ALSA)";
inline const std::string kVirtualRawMidi1 = "Virtual Raw MIDI 0-1:VirMIDI 0-1 (ALSA)";
inline const std::string kVirtualRawMidi2 = "Virtual Raw MIDI 0-2:VirMIDI 0-2 (ALSA)";
inline const std::string kVirtualRawMidi3 = "Virtual Raw MIDI 0-3:VirMIDI 0-3 (ALSA)";
// The raw MIDI devices behind them.
inline const std::string kRawMidi0 = "/dev/snd/midiC0D0";
inline const std::string kRawMidi1 = "/dev/snd/midiC0D1";

struct SequencerClient {
  int number;
  std::string name;
  int ports;
};

// The clients of the sequencer, read through alsa-lib (independently of the
// program); empty when it cannot be opened.
std::vector<SequencerClient> SequencerClients();
// The number of the client of that name; -1 when there is none.
int SequencerClientNumber(const std::string& name);
// Whether port 0 of the client is connected to a port of the program's
// client "Orvalis": with `sending`, the device sends to it; otherwise it
// receives from it.
bool ConnectedToOrvalis(int client, bool sending);

// Empty when this is the VM's sequencer as described above; otherwise why the
// tests skip.
std::string WhyNotTheVmSequencer();

class AlsaTest : public ::testing::Test {
 protected:
  void SetUp() override;

  std::optional<ScopedMidiServices> installed;
};

// Unplugs and plugs back the four "Virtual Raw MIDI" devices, as pulling out
// and plugging in a USB interface does (their card's driver unbound and bound
// again, as root); true once the sequencer shows them gone, or back.
// Unplugging unplugged devices, or plugging plugged ones, changes nothing.
// Any thread.
bool UnplugVirtualRawMidi();
bool PlugVirtualRawMidi();

// A device of the test's own: a sequencer client of that name with one port
// that sends and receives, as a software synthesizer or a keyboard's driver
// has. It goes away with the object.
class SequencerTestClient {
 public:
  // Null (with a test failure) when the client cannot be made.
  static std::unique_ptr<SequencerTestClient> Open(const std::string& clientName,
                                                   const std::string& portName = "port");
  ~SequencerTestClient();
  SequencerTestClient(const SequencerTestClient&) = delete;
  SequencerTestClient& operator=(const SequencerTestClient&) = delete;

  int Client() const;
  // Sends one short message to whoever is connected to the port.
  bool Send(const std::vector<uint8_t>& message);
  // The bytes of the short messages received, until `count` bytes came or the
  // timeout passed.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  SequencerTestClient() = default;
  struct Handles;
  std::unique_ptr<Handles> handles_;
};

// A raw MIDI device opened for the test's life. Writes wait until the device
// has sent what was written before (or stopped), then block until the kernel
// took every byte; reads wait for bytes with a deadline.
class RawMidiDevice {
 public:
  // flags: O_WRONLY, or O_RDONLY (the device is then opened non-blocking).
  RawMidiDevice(const std::string& path, int flags);
  ~RawMidiDevice();
  RawMidiDevice(const RawMidiDevice&) = delete;
  RawMidiDevice& operator=(const RawMidiDevice&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // False (with the reason as a test failure) if not every byte was written.
  bool Write(const std::vector<uint8_t>& bytes);
  // Waits until the device has sent every byte written to it (true), or has
  // stopped sending (false): the virtual raw MIDI device stops when the
  // sequencer refuses one of its messages (a full queue), until the next
  // write sets it going again.
  bool WaitUntilSentOrStopped();
  // The bytes read until `count` of them arrived or the timeout passed.
  std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(10));

 private:
  int fd_ = -1;
  std::string path_;
  size_t outputBuffer_ = kRawMidiOutputDefault;
};
