#include "AlsaSource.h"

#include <RtMidi.h>
#include <unistd.h>

#include "backends/rtmidi/RtMidiInput.h"
#include "backends/rtmidi/RtMidiOutput.h"
#include "backends/rtmidi/RtMidiPorts.h"

namespace {

void IgnoreError(RtMidiError::Type, const std::string&, void*) {}

// Opening the sequencer without this device makes alsa-lib and RtMidi print.
bool SequencerPresent() { return access("/dev/snd/seq", R_OK | W_OK) == 0; }

}  // namespace

AlsaSource::AlsaSource() = default;
AlsaSource::~AlsaSource() = default;

bool AlsaSource::Available() {
  if (inputs_ && outputs_) return true;
  if (!SequencerPresent()) return false;
  try {
    auto inputs = std::make_unique<RtMidiIn>(RtMidi::LINUX_ALSA, kOwnClientName);
    inputs->setErrorCallback(&IgnoreError);
    auto outputs = std::make_unique<RtMidiOut>(RtMidi::LINUX_ALSA, kOwnClientName);
    outputs->setErrorCallback(&IgnoreError);
    inputs_ = std::move(inputs);
    outputs_ = std::move(outputs);
    return true;
  } catch (...) {
    return false;
  }
}

std::vector<std::string> AlsaSource::InputNames() {
  if (!Available()) return {};
  try {
    return ListedProductNames(PortFamily::kAlsa, RtMidiPortNames(*inputs_));
  } catch (...) {
    return {};
  }
}

std::vector<std::string> AlsaSource::OutputNames() {
  if (!Available()) return {};
  try {
    return ListedProductNames(PortFamily::kAlsa, RtMidiPortNames(*outputs_));
  } catch (...) {
    return {};
  }
}

MMRESULT AlsaSource::OpenInput(const std::string& name, InputDelivery& delivery,
                               std::unique_ptr<InputConnection>* connection) {
  if (!Available()) return MIDIERR_NODEVICE;
  return OpenRtMidiInput(PortFamily::kAlsa, name, delivery, connection);
}

MMRESULT AlsaSource::OpenOutput(const std::string& name, const LongMessageDone& done,
                                std::unique_ptr<OutputConnection>* connection) {
  if (!Available()) return MIDIERR_NODEVICE;
  return OpenRtMidiOutput(PortFamily::kAlsa, name, done, OutputLimits{}, connection);
}
