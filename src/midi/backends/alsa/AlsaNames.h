#pragma once
// Which ALSA sequencer ports are devices of the program's lists, and their
// product names: readable, full length, the same from one run to the next (so
// that remembered names still match), without the sequencer's numbers, which
// change from boot to boot and when a device is plugged in again:
//
//   client "UM-ONE", port "UM-ONE MIDI 1"  ->  "UM-ONE:UM-ONE MIDI 1 (ALSA)"
//   a second port of the same names       ->  "UM-ONE:UM-ONE MIDI 1 #2 (ALSA)"
//
// Identical ports are numbered in the sequencer's order when first seen; a
// port keeps its number for as long as it exists, whatever comes and goes
// beside it, and a port that appears takes the lowest number free. So "#2"
// stays "#2" when the first of two identical keyboards is unplugged, and the
// one plugged in again becomes the first again.
//
// Not thread-safe; the source that lists the devices owns it.

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "AlsaSequencer.h"

// Inputs: the ports that send MIDI (readable); outputs: those that take it.
enum class AlsaDirection { kInputs, kOutputs };

// Whether the port is a device of that direction's list: MIDI (generic, a
// synthesizer or an application), open to connections, and not a port of
// the program's own clients (those of the numbers given and any client named
// kOwnClientName).
bool IsDevicePort(const SequencerPort& port, AlsaDirection direction,
                  const std::vector<int>& ownClients);

class AlsaNames {
 public:
  // The product names of the ports, index for index; forgets the ports that
  // are no longer there.
  std::vector<std::string> Name(const std::vector<SequencerPort>& ports);

 private:
  struct Given {
    std::string base;  // "client:port"
    int number;        // 1 for the first of its base
  };
  std::map<std::pair<int, int>, Given> given_;  // by client and port number
};
