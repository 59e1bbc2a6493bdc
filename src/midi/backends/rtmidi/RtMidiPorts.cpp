#include "RtMidiPorts.h"

#include <unistd.h>

#include <new>
#include <optional>

namespace {

// A temporary port name that no other port bears: the process id tells this
// program from other copies of it, the count one port from the next.
std::string TemporaryPortName(const char* lastingName) {
  static unsigned count = 0;
  return std::string(lastingName) + " ~" + std::to_string(getpid()) + "." + std::to_string(++count);
}

}  // namespace

RtMidi::Api ApiOf(PortFamily family) {
  return family == PortFamily::kAlsa ? RtMidi::LINUX_ALSA : RtMidi::UNIX_JACK;
}

bool RtMidiHasApi(PortFamily family) {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api api : apis) {
    if (api == ApiOf(family)) return true;
  }
  return false;
}

std::vector<std::string> RtMidiPortNames(RtMidi& midi) {
  std::vector<std::string> names;
  const unsigned count = midi.getPortCount();
  for (unsigned i = 0; i < count; ++i) names.push_back(midi.getPortName(i));
  return names;
}

void RtMidiErrors::Count(RtMidiError::Type, const std::string&, void* errors) {
  static_cast<RtMidiErrors*>(errors)->count_.fetch_add(1);
}

MMRESULT OpenPortOfProduct(RtMidi& midi, const RtMidiErrors& errors, PortFamily family,
                           const std::string& productName, const char* portName) {
  const std::optional<size_t> port = IndexOfProduct(family, RtMidiPortNames(midi), productName);
  if (!port) return MIDIERR_NODEVICE;
  const unsigned before = errors.Seen();
  midi.openPort(static_cast<unsigned>(*port), portName);
  return errors.Seen() == before && midi.isPortOpen() ? MMSYSERR_NOERROR : MIDIERR_NODEVICE;
}

MMRESULT OpenPortConnectedByName(RtMidi& midi, const RtMidiErrors& errors,
                                 const char* lastingName, const ConnectByName& connect) {
  const std::string temporary = TemporaryPortName(lastingName);
  const unsigned before = errors.Seen();
  midi.openVirtualPort(temporary);
  if (errors.Seen() != before) return MMSYSERR_ERROR;
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
