#pragma once
// The program's watch on the ALSA sequencer: a client of its own
// (kWatcherName) that lists the ports and, once watched, hears the
// sequencer's announcements of clients and ports that start, change and end.
// Its one port only takes the announcements: it cannot be connected to by
// others, so `aconnect -l` and other programs' lists do not show it.
//
// Threads: user-interface thread only. The announcements are read there, when
// the client's poll descriptors become readable (QSocketNotifier), never on a
// thread of their own.

#include <QSocketNotifier>

#include <functional>
#include <memory>
#include <vector>

#include "AlsaSequencer.h"

class AlsaObserver {
 public:
  static constexpr const char* kWatcherName = "Orvalis device list";

  // Null when the sequencer cannot be opened here.
  static std::unique_ptr<AlsaObserver> Open();

  int ClientId() const { return snd_seq_client_id(seq_.get()); }
  std::vector<SequencerPort> Ports() const { return SequencerPorts(seq_.get()); }
  // From now on `changed` runs after announcements came (or were lost: the
  // client's queue overflowed), once for all that were waiting.
  void Watch(std::function<void()> changed);

 private:
  explicit AlsaObserver(Sequencer seq) : seq_(std::move(seq)) {}
  void ReadAnnouncements();

  Sequencer seq_;
  std::function<void()> changed_;
  std::vector<std::unique_ptr<QSocketNotifier>> notifiers_;  // before seq_ goes
};
