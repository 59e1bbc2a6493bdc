#pragma once
// The ALSA sequencer through alsa-lib: opening a client, and the ports of the
// other clients as they are now.
//
// Threads: a handle is used from the thread that opened it, except where its
// owner says otherwise. alsa-lib's error messages are silenced for the whole
// process the first time a client is opened (the program prints nothing).

#include <alsa/asoundlib.h>

#include <memory>
#include <string>
#include <vector>

struct SequencerCloser {
  void operator()(snd_seq_t* seq) const { snd_seq_close(seq); }
};
using Sequencer = std::unique_ptr<snd_seq_t, SequencerCloser>;

// Whether this machine has a sequencer that can be opened (/dev/snd/seq).
bool SequencerPresent();

// A new client of that name, for input and output, in non-blocking mode;
// null when the sequencer cannot be opened.
Sequencer OpenSequencer(const char* clientName);

struct SequencerAddress {
  int client = 0;
  int port = 0;
  bool operator==(const SequencerAddress&) const = default;
};

struct SequencerPort {
  SequencerAddress address;
  std::string clientName;
  std::string portName;
  unsigned capability = 0;  // SND_SEQ_PORT_CAP_*
  unsigned type = 0;        // SND_SEQ_PORT_TYPE_*
};

// Every port of every client except the system's and the asking client's,
// in the sequencer's order (by client number, then port number).
std::vector<SequencerPort> SequencerPorts(snd_seq_t* seq);

// Whether the subscription from sender to destination exists.
bool Subscribed(snd_seq_t* seq, SequencerAddress sender, SequencerAddress destination);
