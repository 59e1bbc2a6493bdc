#include "AlsaOutput.h"

#include <cerrno>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "MidiBytes.h"
#include "backends/common/MidiParser.h"
#include "backends/common/ParsedSend.h"

namespace {

struct EncoderDeleter {
  void operator()(snd_midi_event_t* encoder) const { snd_midi_event_free(encoder); }
};

class AlsaOutput final : public OutputConnection, private MidiParser::Sink {
 public:
  AlsaOutput(AlsaClient& client, SequencerAddress device, const LongMessageDone& done, int port,
             snd_midi_event_t* encoder)
      : client_(client), device_(device), done_(done), port_(port), encoder_(encoder) {}

  ~AlsaOutput() override { snd_seq_delete_simple_port(client_.Seq(), port_); }

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    parser_.Reset();  // a short message ends a system-exclusive message left open
    sysex_.clear();
    return Encode(bytes, count);
  }

  MMRESULT SendLong(MIDIHDR* hdr) override {
    sysex_.clear();
    if (MMRESULT result = SendParsed(parser_, *this, *hdr, result_, [this] { return SendSysex(); })) return result;
    done_(hdr);
    return MMSYSERR_NOERROR;
  }

  void Flush() override {}

  std::optional<std::chrono::steady_clock::time_point> LastSendTime() override { return lastSent_; }

  bool Gone() override {
    gone_ = gone_ || !Subscribed(client_.Seq(), {client_.Id(), port_}, device_);
    return gone_;
  }

 private:
  void OnShortMessage(uint32_t packed) override {
    const uint8_t bytes[3] = {static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                              static_cast<uint8_t>(packed >> 16)};
    // A real-time byte inside a system-exclusive message goes out in its place.
    result_ = SendSysex();
    if (result_ == MMSYSERR_NOERROR) result_ = Encode(bytes, static_cast<size_t>(ShortMessageLength(bytes[0])));
  }
  void OnSysexByte(uint8_t byte) override {
    sysex_.push_back(byte);
    if (sysex_.size() == kSysexPiece) result_ = SendSysex();
  }
  void OnSysexEnd(bool) override { result_ = SendSysex(); }

  MMRESULT SendSysex() {
    if (sysex_.empty()) return MMSYSERR_NOERROR;
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_seq_ev_set_sysex(&event, static_cast<unsigned>(sysex_.size()), sysex_.data());
    const MMRESULT result = Send(event);
    sysex_.clear();
    return result;
  }

  MMRESULT Encode(const uint8_t* bytes, size_t count) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_midi_event_reset_encode(encoder_.get());
    const long used = snd_midi_event_encode(encoder_.get(), bytes, static_cast<long>(count), &event);
    if (used != static_cast<long>(count) || event.type == SND_SEQ_EVENT_NONE) {
      return MMSYSERR_INVALPARAM;  // no event of the sequencer's carries it
    }
    return Send(event);
  }

  MMRESULT Send(snd_seq_event_t& event) {
    if (gone_) return MIDIERR_NODEVICE;
    snd_seq_ev_set_source(&event, static_cast<unsigned char>(port_));
    snd_seq_ev_set_dest(&event, static_cast<unsigned char>(device_.client),
                        static_cast<unsigned char>(device_.port));
    snd_seq_ev_set_direct(&event);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kFullWaitMs);
    for (;;) {
      const int result = snd_seq_event_output_direct(client_.Seq(), &event);
      if (result >= 0) {
        lastSent_ = client_.QueueNow();
        return MMSYSERR_NOERROR;
      }
      if (result == -ENOENT || result == -ENXIO) {
        gone_ = true;
        return MIDIERR_NODEVICE;
      }
      if (result != -EAGAIN && result != -ENOMEM) return MMSYSERR_ERROR;
      if (!WaitForRoom(deadline)) return MIDIERR_NOTREADY;
    }
  }

  // A receiver whose queue is full (a program that reads slower than this
  // sends) refuses the event for now: try again a little later, until the deadline.
  static bool WaitForRoom(std::chrono::steady_clock::time_point deadline) {
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return true;
  }

  AlsaClient& client_;
  const SequencerAddress device_;
  const LongMessageDone done_;
  const int port_;
  const std::unique_ptr<snd_midi_event_t, EncoderDeleter> encoder_;
  MidiParser parser_;
  std::vector<uint8_t> sysex_;  // bytes of the piece being made
  MMRESULT result_ = MMSYSERR_NOERROR;
  bool gone_ = false;
  // The queue's time when the last event was handed to the sequencer.
  std::optional<std::chrono::steady_clock::time_point> lastSent_;
};

}  // namespace

MMRESULT OpenAlsaOutput(AlsaClient& client, SequencerAddress device, const LongMessageDone& done,
                        std::unique_ptr<OutputConnection>* connection) {
  snd_midi_event_t* encoder = nullptr;
  if (snd_midi_event_new(kSysexPiece, &encoder) < 0) return MMSYSERR_NOMEM;
  std::unique_ptr<snd_midi_event_t, EncoderDeleter> owned(encoder);
  const int port = snd_seq_create_simple_port(
      client.Seq(), "MIDI Out", SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (port < 0) return port == -ENOMEM ? MMSYSERR_NOMEM : MMSYSERR_ERROR;
  auto output = std::make_unique<AlsaOutput>(client, device, done, port, owned.release());
  if (snd_seq_connect_to(client.Seq(), port, device.client, device.port) < 0) return MIDIERR_NODEVICE;
  *connection = std::move(output);
  return MMSYSERR_NOERROR;
}
