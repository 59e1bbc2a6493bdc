#include "RtMidiOutput.h"

#include <vector>

#include "MidiBytes.h"
#include "backends/common/MidiParser.h"

namespace {

class RtMidiOutput final : public OutputConnection, private MidiParser::Sink {
 public:
  RtMidiOutput(const LongMessageDone& done, const OutputLimits& limits)
      : done_(done), limits_(limits), midi_(RtMidi::UNIX_JACK, kOwnClientName) {
    errors_.Watch(midi_);
  }

  MMRESULT OpenAndConnect(const ConnectByName& connect) {
    return OpenPortConnectedByName(midi_, errors_, kOutputPortName, connect);
  }

  MMRESULT SendShort(const uint8_t* bytes, size_t count) override {
    parser_.Reset();  // a short message ends a system-exclusive message left open
    return Send(bytes, count);
  }

  // The bytes may hold several messages, or a system-exclusive message in
  // pieces over several calls: RtMidi (JACK above all) wants one message per
  // send, and each piece goes out when its call ends.
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
    const unsigned before = errors_.Seen();
    try {
      midi_.sendMessage(bytes, count);
    } catch (...) {
      return ResultOf(std::current_exception());
    }
    return errors_.Seen() == before ? MMSYSERR_NOERROR : MMSYSERR_ERROR;
  }

  const LongMessageDone done_;
  const OutputLimits limits_;
  MidiParser parser_;
  std::vector<uint8_t> sysex_;
  MMRESULT result_ = MMSYSERR_NOERROR;
  RtMidiErrors errors_;
  RtMidiOut midi_;  // last
};

}  // namespace

MMRESULT OpenRtMidiOutputAndConnect(const LongMessageDone& done,
                                    const OutputLimits& limits, const ConnectByName& connect,
                                    std::unique_ptr<OutputConnection>* connection) {
  return MakeAndOpen(
      [&] { return std::make_unique<RtMidiOutput>(done, limits); },
      [&](RtMidiOutput& output) { return output.OpenAndConnect(connect); }, connection);
}
