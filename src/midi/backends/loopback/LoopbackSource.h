#pragma once
// The built-in loopback device "Orvalis Loopback": whatever is sent to its
// output arrives on its input, as through a cable from a MIDI out to a MIDI in.
// It is the device that is always there, so the program and the loop test work
// on a machine without MIDI hardware.
//
// Threads: a worker thread of its own, started by the constructor and joined by
// the destructor, delivers every sent message to the open input (if any, and if
// started) and then, for a long message, gives its header back with MOM_DONE.
// Senders only queue; closing waits for the worker, never the other way round.
// At most one input is open at a time; any number of outputs.

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "backends/common/DeviceSource.h"

class LoopbackSource final : public DeviceSource {
 public:
  static constexpr const char* kName = "Orvalis Loopback";

  LoopbackSource();
  ~LoopbackSource() override;
  LoopbackSource(const LoopbackSource&) = delete;
  LoopbackSource& operator=(const LoopbackSource&) = delete;

  std::vector<std::string> InputNames() override { return {kName}; }
  std::vector<std::string> OutputNames() override { return {kName}; }
  MMRESULT OpenInput(const std::string& name, InputDelivery& delivery,
                     std::unique_ptr<InputConnection>* connection) override;
  MMRESULT OpenOutput(const std::string& name, const LongMessageDone& done,
                      std::unique_ptr<OutputConnection>* connection) override;
  uint16_t ProductId() const override { return 3; }
  uint32_t DriverVersion() const override { return 0x0100; }

 private:
  class Input;
  class Output;

  // One sent message: a short one in `bytes`, or a long one in `hdr`.
  struct Item {
    uint8_t bytes[3] = {};
    uint8_t count = 0;
    MIDIHDR* hdr = nullptr;
    Output* from = nullptr;
  };

  void Enqueue(const Item& item);
  void WaitUntilDelivered(const Output& output);
  void Detach(const Input& input);
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;  // an item was queued, or quit
  std::condition_variable idle_;  // an item was finished
  std::deque<Item> queue_;
  InputDelivery* input_ = nullptr;  // the open input
  bool delivering_ = false;         // the worker is delivering to input_
  bool quit_ = false;
  std::thread worker_;  // last: starts after everything above exists
};
