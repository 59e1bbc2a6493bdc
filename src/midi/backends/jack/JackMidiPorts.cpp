#include "JackMidiPorts.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "JackOutputQueue.h"
#include "MidiBytes.h"
#include "backends/common/InputDelivery.h"
#include "backends/common/MidiParser.h"
#include "backends/common/ParsedSend.h"

namespace {

constexpr const char* kInputPortName = "MIDI In";
constexpr const char* kOutputPortName = "MIDI Out";
// Messages queued for the process thread: many cycles' worth of a flood, and
// always room for the longest message.
constexpr size_t kQueueBytes = 256 * 1024;
// How long a send waits for room in a full queue before it gives up.
constexpr int kFullWaitMs = 500;

// The device's port and the program's port connected to it: the device is
// gone once that connection is, or its port (also when its client was started
// again: the port of that name is another's), or the server. A connection
// just made may show in the graph only a little later (PipeWire tells other
// clients of it in its own time): until it has been seen, only the port or
// the server tells that the device went, and each look makes the connection
// again by name. On PipeWire a device's client that has just been started
// again may still show its old port of the same name for a moment: a
// connection made to that one goes with it, and the next look connects the
// new one.
class JackLink {
 public:
  JackLink(JackSession& session, std::string devicePort, std::string ownPort, bool deviceSends)
      : session_(session),
        devicePort_(std::move(devicePort)),
        ownPort_(std::move(ownPort)),
        deviceSends_(deviceSends),
        deviceClient_(session.ClientIdOfPort(devicePort_)) {}

  bool Gone() {
    if (gone_) return true;
    if (!deviceClient_ || session_.ClientIdOfPort(devicePort_) != deviceClient_) {
      gone_ = true;
      return gone_;
    }
    switch (session_.Connection(devicePort_, ownPort_)) {
      case JackSession::Link::kConnected:
        seen_ = true;
        break;
      case JackSession::Link::kNotConnected:
        gone_ = seen_;
        if (!seen_) {
          deviceSends_ ? session_.ConnectPorts(devicePort_, ownPort_) : session_.ConnectPorts(ownPort_, devicePort_);
        }
        break;
      case JackSession::Link::kNoPort:
        gone_ = true;
        break;
    }
    return gone_;
  }

 private:
  JackSession& session_;
  const std::string devicePort_;
  const std::string ownPort_;
  const bool deviceSends_;  // the device's port is the source
  const std::optional<std::string> deviceClient_;  // the id of the device's client
  bool seen_ = false;  // the connection showed in the graph
  bool gone_ = false;
};

// What an input and an output share: the JACK port, its place in the
// session's cycles and its link to the device.
class JackPortBase : public JackCyclePort {
 public:
  JackPortBase(JackSession& session, _jack_port* port, const std::string& devicePort, bool deviceSends)
      : session_(session),
        use_(session.InUse()),
        alive_(session.ServerAlive()),
        port_(port),
        link_(session, devicePort, session.PortName(port), deviceSends) {}

  ~JackPortBase() override {
    session_.Detach(*this);
    if (!orphaned_) session_.UnregisterPort(port_);
  }

  void Orphan() noexcept override { orphaned_ = true; }

 protected:
  bool LinkGone() { return orphaned_ || !alive_->load() || link_.Gone(); }

  JackSession& session_;
  const JackSession::ServerUse use_;
  const std::shared_ptr<const std::atomic<bool>> alive_;
  _jack_port* const port_;
  JackLink link_;
  bool orphaned_ = false;  // user-interface thread
};

class JackInput final : public InputConnection, public JackPortBase {
 public:
  JackInput(JackSession& session, _jack_port* port, const std::string& devicePort,
            InputDelivery& delivery)
      : JackPortBase(session, port, devicePort, true), delivery_(delivery) {}
  // Out of the cycles before anything of this object goes.
  ~JackInput() override { session_.Detach(*this); }

  bool Gone() override { return LinkGone(); }

  void Process(uint32_t firstFrame, uint32_t frames) noexcept override {
    void* buffer = jack_port_get_buffer(port_, frames);
    const uint32_t count = jack_midi_get_event_count(buffer);
    for (uint32_t i = 0; i < count; ++i) {
      jack_midi_event_t event;
      if (jack_midi_event_get(&event, buffer, i) != 0 || event.size == 0) continue;
      delivery_.Receive(event.buffer, event.size, session_.TimeOfFrame(firstFrame + event.time));
    }
  }

 private:
  InputDelivery& delivery_;
};

class JackOutput final : public OutputConnection, public JackPortBase, private MidiParser::Sink {
 public:
  JackOutput(JackSession& session, _jack_port* port, const std::string& devicePort,
             const LongMessageDone& done, size_t mostMessageBytes)
      : JackPortBase(session, port, devicePort, false),
        done_(done),
        cycleBudget_(mostMessageBytes),
        queue_(std::max(kQueueBytes, 2 * mostMessageBytes), mostMessageBytes) {
    sysex_.reserve(mostMessageBytes);
  }
  ~JackOutput() override { session_.Detach(*this); }

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    parser_.Reset();  // a short message ends a system-exclusive message left open
    return Queue(bytes, count);
  }

  // Each message is one JACK event, and each piece of a system-exclusive
  // message one event.
  MMRESULT SendLong(MIDIHDR* hdr) override {
    sysex_.clear();
    const auto sendHeldPiece = [this] {
      return sysex_.empty() ? MMSYSERR_NOERROR : Queue(sysex_.data(), sysex_.size());
    };
    if (MMRESULT result = SendParsed(parser_, *this, *hdr, result_, sendHeldPiece)) return result;
    done_(hdr);
    return MMSYSERR_NOERROR;
  }

  void Flush() override {}
  bool Gone() override { return LinkGone(); }

  std::optional<std::chrono::steady_clock::time_point> LastSendTime() override {
    if (!lastFrame_) return std::nullopt;
    return session_.TimeOfFrame(*lastFrame_);
  }

  void Process(uint32_t firstFrame, uint32_t frames) noexcept override {
    void* buffer = jack_port_get_buffer(port_, frames);
    jack_midi_clear_buffer(buffer);
    size_t spent = 0;
    queue_.Drain(firstFrame, frames, [&](uint32_t offset, std::span<const uint8_t> bytes) {
      const size_t cost = CycleCost(bytes.size());
      if (spent > 0 && spent + cost > cycleBudget_) return false;  // the rest in the next cycle
      if (jack_midi_event_write(buffer, offset, bytes.data(), bytes.size()) != 0) return false;
      spent += cost;
      return true;
    });
  }

 private:
  void OnShortMessage(uint32_t packed) override {
    const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    result_ = Queue(bytes, static_cast<size_t>(ShortMessageLength(bytes[0])));
  }
  void OnSysexByte(uint8_t byte) override {
    if (sysex_.size() == queue_.MostMessageBytes()) {
      result_ = MMSYSERR_INVALPARAM;  // longer than a cycle can carry
      return;
    }
    sysex_.push_back(byte);
  }
  // A message cut short at the start of a call (an F0 string without F7,
  // then another F0) went out with the call before: nothing is left to send.
  void OnSysexEnd(bool) override {
    if (!sysex_.empty()) result_ = Queue(sysex_.data(), sysex_.size());
    sysex_.clear();
  }

  MMRESULT Queue(const uint8_t* bytes, size_t count) {
    if (orphaned_ || !alive_->load()) return MIDIERR_NODEVICE;
    if (count > queue_.MostMessageBytes()) return MMSYSERR_INVALPARAM;
    const std::span<const uint8_t> message(bytes, count);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFullWaitMs);
    for (;;) {
      // Before the first cycle, no frame: the message leaves in that cycle.
      const std::optional<uint32_t> frame = session_.NextCycleFrame();
      if (queue_.Push(frame, message)) {
        lastFrame_ = frame;
        return MMSYSERR_NOERROR;
      }
      if (std::chrono::steady_clock::now() >= deadline || !alive_->load()) return MIDIERR_NOTREADY;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  // What an event takes in a cycle's buffer as PipeWire carries it: its bytes
  // rounded up to 8 and a record of its own. PipeWire's JACK library (0.3.65)
  // loses a whole cycle whose events do not fit its buffer (2000 clocks sent
  // at once arrived as nothing), so a burst is spread over as many cycles as
  // it needs; jackd2's records are smaller, so the same bound suits it.
  static size_t CycleCost(size_t bytes) { return (bytes + 7) / 8 * 8 + 32; }

  const LongMessageDone done_;
  const size_t cycleBudget_;  // of CycleCost; a single message may exceed it alone
  JackOutputQueue queue_;
  MidiParser parser_;
  std::vector<uint8_t> sysex_;  // the piece being made
  MMRESULT result_ = MMSYSERR_NOERROR;
  std::optional<uint32_t> lastFrame_;  // that of the last message queued, when it had one
};

}  // namespace

MMRESULT OpenJackInput(JackSession& session, const std::string& devicePort,
                       InputDelivery& delivery, std::unique_ptr<InputConnection>* connection) {
  _jack_port* port = session.RegisterPort(kInputPortName, PortDirection::kReceives);
  if (port == nullptr) return session.Connected() ? MMSYSERR_ERROR : MIDIERR_NODEVICE;
  auto input = std::make_unique<JackInput>(session, port, devicePort, delivery);
  // Attached first, so that nothing the device sends is missed.
  if (!session.Attach(*input)) return MMSYSERR_ALLOCATED;
  if (!session.ConnectPorts(devicePort, session.PortName(port))) return MIDIERR_NODEVICE;
  *connection = std::move(input);
  return MMSYSERR_NOERROR;
}

MMRESULT OpenJackOutput(JackSession& session, const std::string& devicePort,
                        const LongMessageDone& done, std::unique_ptr<OutputConnection>* connection) {
  const size_t most = session.MaxMessageBytes();
  _jack_port* port = session.RegisterPort(kOutputPortName, PortDirection::kSends);
  if (port == nullptr) return session.Connected() ? MMSYSERR_ERROR : MIDIERR_NODEVICE;
  auto output = std::make_unique<JackOutput>(session, port, devicePort, done, most);
  if (!session.Attach(*output)) return MMSYSERR_ALLOCATED;
  if (!session.ConnectPorts(session.PortName(port), devicePort)) return MIDIERR_NODEVICE;
  *connection = std::move(output);
  return MMSYSERR_NOERROR;
}
