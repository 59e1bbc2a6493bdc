#include "RtMidiConnections.h"

#include <RtMidi.h>

#include <unistd.h>

#include <new>
#include <vector>

#include "InputDelivery.h"
#include "MidiBytes.h"
#include "MidiParser.h"

namespace {

RtMidi::Api ApiOf(PortFamily family) {
  return family == PortFamily::kAlsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

// RtMidi reports to this instead of printing; every report counts as a failure
// of the call under way.
void CountError(RtMidiError::Type, const std::string&, void* errors) {
  static_cast<std::atomic<unsigned>*>(errors)->fetch_add(1);
}

// RtMidi's number for the port that bears the product name now, or -1.
int FindPort(PortFamily family, RtMidi& midi, const std::string& name) {
  std::vector<std::string> ports;
  const unsigned count = midi.getPortCount();
  for (unsigned i = 0; i < count; ++i) ports.push_back(midi.getPortName(i));
  const auto names = ProductNames(family, ports);
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i] == name) return static_cast<int>(i);
  }
  return -1;
}

// A temporary port name that no other port bears: the process id tells this
// program from other copies of it, the count one port from the next.
std::string TemporaryPortName(const char* lastingName) {
  static unsigned count = 0;
  return std::string(lastingName) + " ~" + std::to_string(getpid()) + "." + std::to_string(++count);
}

MMRESULT OpenByName(RtMidi& midi, const std::atomic<unsigned>& errors, const char* lastingName,
                    const ConnectByName& connect) {
  const std::string temporary = TemporaryPortName(lastingName);
  const unsigned before = errors.load();
  midi.openVirtualPort(temporary);
  if (errors.load() != before) return MMSYSERR_ERROR;
  if (!connect(temporary)) return MIDIERR_NODEVICE;
  midi.setPortName(lastingName);  // on failure it keeps working under the temporary name
  return MMSYSERR_NOERROR;
}

MMRESULT ResultOf(const std::exception_ptr& error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return MMSYSERR_NOMEM;
  } catch (...) {
    return MMSYSERR_ERROR;
  }
}

class RtMidiInput final : public InputConnection {
 public:
  RtMidiInput(PortFamily family, InputDelivery& delivery)
      : delivery_(delivery), midi_(ApiOf(family), kOwnClientName) {
    midi_.setErrorCallback(&CountError, &errors_);
    midi_.ignoreTypes(false, false, false);
    midi_.setCallback(&RtMidiInput::OnMessage, &delivery_);
  }

  MMRESULT Open(PortFamily family, const std::string& name) {
    const int port = FindPort(family, midi_, name);
    if (port < 0) return MIDIERR_NODEVICE;
    const unsigned before = errors_.load();
    midi_.openPort(static_cast<unsigned>(port), kInputPortName);
    return errors_.load() == before && midi_.isPortOpen() ? MMSYSERR_NOERROR : MIDIERR_NODEVICE;
  }

  MMRESULT OpenAndConnect(const ConnectByName& connect) {
    return OpenByName(midi_, errors_, kInputPortName, connect);
  }

 private:
  static void OnMessage(double, std::vector<unsigned char>* message, void* delivery) noexcept {
    static_cast<InputDelivery*>(delivery)->Receive(message->data(), message->size());
  }

  std::atomic<unsigned> errors_{0};
  InputDelivery& delivery_;
  RtMidiIn midi_;  // last: gone, with its thread, before the members it calls back into
};

class RtMidiOutput final : public OutputConnection, private MidiParser::Sink {
 public:
  RtMidiOutput(PortFamily family, const LongMessageDone& done, const OutputLimits& limits)
      : done_(done), limits_(limits), midi_(ApiOf(family), kOwnClientName) {
    midi_.setErrorCallback(&CountError, &errors_);
  }

  MMRESULT Open(PortFamily family, const std::string& name) {
    const int port = FindPort(family, midi_, name);
    if (port < 0) return MIDIERR_NODEVICE;
    const unsigned before = errors_.load();
    midi_.openPort(static_cast<unsigned>(port), kOutputPortName);
    return errors_.load() == before && midi_.isPortOpen() ? MMSYSERR_NOERROR : MIDIERR_NODEVICE;
  }

  MMRESULT OpenAndConnect(const ConnectByName& connect) {
    return OpenByName(midi_, errors_, kOutputPortName, connect);
  }

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    parser_.Reset();  // a short message ends a system-exclusive message left open
    return Send(bytes, count);
  }

  // The bytes may hold several messages, or a system-exclusive message in
  // pieces over several calls: RtMidi (JACK above all) wants one message per send.
  MMRESULT SendLong(MIDIHDR* hdr) override {
    result_ = MMSYSERR_NOERROR;
    sysex_.clear();
    for (uint32_t i = 0; i < hdr->dwBufferLength && result_ == MMSYSERR_NOERROR; ++i) {
      parser_.Feed(hdr->lpData[i], *this);
    }
    if (result_ == MMSYSERR_NOERROR && !sysex_.empty()) result_ = Send(sysex_.data(), sysex_.size());
    if (result_ != MMSYSERR_NOERROR) {
      parser_.Reset();
      return result_;
    }
    done_(hdr);
    return MMSYSERR_NOERROR;
  }

  void Flush() override {}

 private:
  void OnShortMessage(uint32_t packed) override {
    const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    result_ = Send(bytes, static_cast<size_t>(ShortMessageLength(bytes[0])));
  }
  void OnSysexByte(uint8_t byte) override { sysex_.push_back(byte); }
  // A message cut short at the start of a call (an F0 string without F7,
  // then another F0) went out with the call before: nothing is left to send.
  void OnSysexEnd(bool) override {
    if (!sysex_.empty()) result_ = Send(sysex_.data(), sysex_.size());
    sysex_.clear();
  }

  MMRESULT Send(const uint8_t* bytes, size_t count) {
    if (limits_.alive && !limits_.alive->load()) return MIDIERR_NODEVICE;
    if (count > limits_.maxMessageBytes) return MMSYSERR_INVALPARAM;
    const unsigned before = errors_.load();
    try {
      midi_.sendMessage(bytes, count);
    } catch (...) {
      return ResultOf(std::current_exception());
    }
    return errors_.load() == before ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

  const LongMessageDone done_;
  const OutputLimits limits_;
  MidiParser parser_;
  std::vector<uint8_t> sysex_;
  MMRESULT result_ = MMSYSERR_NOERROR;
  std::atomic<unsigned> errors_{0};
  RtMidiOut midi_;  // last
};

// Makes the connection and opens it; no exception leaves.
template <typename Connection, typename Make, typename Open>
MMRESULT OpenWith(Make make, Open open, std::unique_ptr<Connection>* connection) {
  try {
    auto opened = make();
    if (MMRESULT result = open(*opened)) return result;
    *connection = std::move(opened);
    return MMSYSERR_NOERROR;
  } catch (...) {
    return ResultOf(std::current_exception());
  }
}

}  // namespace

bool RtMidiHasApi(PortFamily family) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api api : apis) {
    if (api == ApiOf(family)) return true;
  }
  return false;
}

MMRESULT OpenRtMidiInput(PortFamily family, const std::string& name, InputDelivery& delivery,
                         std::unique_ptr<InputConnection>* connection) {
  return OpenWith(
      [&] { return std::make_unique<RtMidiInput>(family, delivery); },
      [&](RtMidiInput& input) { return input.Open(family, name); }, connection);
}

MMRESULT OpenRtMidiOutput(PortFamily family, const std::string& name,
                          const LongMessageDone& done, const OutputLimits& limits,
                          std::unique_ptr<OutputConnection>* connection) {
  return OpenWith(
      [&] { return std::make_unique<RtMidiOutput>(family, done, limits); },
      [&](RtMidiOutput& output) { return output.Open(family, name); }, connection);
}

MMRESULT OpenRtMidiInputAndConnect(PortFamily family, InputDelivery& delivery,
                                   const ConnectByName& connect,
                                   std::unique_ptr<InputConnection>* connection) {
  return OpenWith(
      [&] { return std::make_unique<RtMidiInput>(family, delivery); },
      [&](RtMidiInput& input) { return input.OpenAndConnect(connect); }, connection);
}

MMRESULT OpenRtMidiOutputAndConnect(PortFamily family, const LongMessageDone& done,
                                    const OutputLimits& limits, const ConnectByName& connect,
                                    std::unique_ptr<OutputConnection>* connection) {
  return OpenWith(
      [&] { return std::make_unique<RtMidiOutput>(family, done, limits); },
      [&](RtMidiOutput& output) { return output.OpenAndConnect(connect); }, connection);
}
