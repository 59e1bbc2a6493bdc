#pragma once
// The program's MIDI client on the ALSA sequencer, kOwnClientName: one client
// for all its ports, an input port "MIDI In" and an output port "MIDI Out"
// for each open device (AlsaInput, AlsaOutput), so that `aconnect -l` shows
// one "Orvalis" connected to the devices in use.
//
// What arrives at the input ports is read by one thread of the client's own,
// which runs while at least one input port is registered: it waits in poll()
// on the client's descriptors and on an eventfd that wakes it to stop, reads
// every waiting event, turns each into MIDI bytes (alsa-lib's decoder) and
// hands them to the InputDelivery registered for the port the event came to.
// It never locks and never waits for the user-interface thread. What one read
// brings is held until the next read tells whether the client's queue
// overflowed meanwhile (AlsaInputBatch), so that a system-exclusive message
// that lost bytes ends cut short instead of looking whole or being joined to
// another. A loss is told to every input (InputDelivery::Lost): an overflow
// of the queue (-ENOSPC, how many unknown unless the kernel's count of the
// client's lost events says), and that count rising without one.
//
// Times: the client has a queue of its own, started when the client opens,
// whose real-time clock stamps every event that arrives at an input port
// (the kernel stamps it as it queues the event), so that an event's time is
// when the sequencer received it, not when the reading thread ran. The queue
// counts from its start on the kernel's monotonic clock, as the steady clock
// does: one offset, measured at the start, turns its times into steady ones.
//
// Threads: every member is called on the user-interface thread, except
// TimeOf, which the reading thread also calls. Registering
// or unregistering an input stops the reading thread (wakes it and joins it),
// changes the table and starts it again, so that the table is never changed
// while the thread reads it; once UnregisterInput has returned, no event is
// handed to that delivery any more. The thread only reads from the client;
// the user-interface thread makes ports, connections and sends, which alsa-lib
// keeps apart from reading (separate buffers; the rest are kernel calls).

#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "AlsaSequencer.h"

class AlsaInputBatch;
class InputDelivery;

class AlsaClient {
 public:
  // Null when the sequencer cannot be opened here.
  static std::unique_ptr<AlsaClient> Open();
  ~AlsaClient();
  AlsaClient(const AlsaClient&) = delete;
  AlsaClient& operator=(const AlsaClient&) = delete;

  int Id() const { return id_; }
  snd_seq_t* Seq() const { return seq_.get(); }
  // The queue that stamps what arrives at the input ports; negative without one.
  int Queue() const { return queue_; }
  // The steady clock's time of a time of the queue.
  std::chrono::steady_clock::time_point TimeOf(const snd_seq_real_time_t& queueTime) const;
  // The queue's time now, as a time of the steady clock; none without a queue.
  std::optional<std::chrono::steady_clock::time_point> QueueNow() const;

  // What arrives at the port goes to the delivery from now on.
  void RegisterInput(int port, InputDelivery& delivery);
  void UnregisterInput(int port);

 private:
  struct Registration {
    int port;
    InputDelivery* delivery;
  };

  AlsaClient(Sequencer seq, int wake);
  void StartQueue();
  void StartReading();
  void StopReading();
  void Read();
  void Hold(const snd_seq_event_t& event, snd_midi_event_t* decoder, AlsaInputBatch& batch) const;
  std::optional<unsigned> EventsLost() const;

  Sequencer seq_;
  const int id_;
  const int wake_;  // eventfd: written to stop the reading thread
  int queue_ = -1;
  std::chrono::nanoseconds queueStart_{0};  // the steady clock's time of the queue's 0
  std::vector<Registration> inputs_;  // the reading thread's, while it runs
  std::thread reader_;
};
