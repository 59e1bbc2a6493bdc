#pragma once
// The program's two ports over the installed back end, for end-to-end tests:
// an input port (opened and started) and an output port (opened), selected by
// product name, with everything the input delivers collected.

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "MidiIn.h"
#include "MidiOut.h"

class PortPair {
 public:
  PortPair(const std::string& inputName, const std::string& outputName) {
    in.SetOnMidiInput([this](QObject*) {
      while (auto event = in.GetMidiEvent()) events.push_back(std::move(event));
    });
    out.SetOnMidiOutput([this](QObject*) { ++outputsDone; });
    Select(in, inputName);
    Select(out, outputName);
    in.OpenAndStart();
    EXPECT_TRUE(out.Open()) << "error " << out.Error();
  }

  // Selects the device by name. Other test programs add and remove JACK ports
  // meanwhile, which moves the ids between the port's search and its choice
  // by id; the selection is then made again.
  template <typename Port>
  static void Select(Port& port, const std::string& name) {
    for (int attempt = 0; attempt < 10; ++attempt) {
      try {
        port.SetProductName(name);
        if (port.ProductName() == name) return;
      } catch (const std::exception&) {
      }
    }
    port.SetProductName(name);  // raises, or selects, for the test to see
  }

  // Runs the event loop until done() holds; false after the timeout.
  static bool PumpUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds timeout = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      QCoreApplication::processEvents();
      if (done()) return true;
      if (std::chrono::steady_clock::now() > end) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  bool PumpUntilEvents(size_t count) {
    return PumpUntil([&] { return events.size() >= count; });
  }

  TMidiInput in;
  TMidiOutput out;
  std::vector<std::unique_ptr<TMyMidiEvent>> events;
  int outputsDone = 0;
};

inline std::vector<uint8_t> SysexOf(const TMyMidiEvent& event) {
  if (!event.Sysex) return {};
  return {event.Sysex.get(), event.Sysex.get() + event.SysexLength};
}
