#include "RtMidiPorts.h"

#include <unistd.h>

#include <new>

namespace {

// A temporary port name that no other port bears: the process id tells this
// program from other copies of it, the count one port from the next.
std::string TemporaryPortName(const char* lastingName) {
  static unsigned count = 0;
  return std::string(lastingName) + " ~" + std::to_string(getpid()) + "." + std::to_string(++count);
}

}  // namespace

bool RtMidiHasJack() {
  std::vector<RtMidi::Api> apis;
  RtMidi::getCompiledApi(apis);
  for (RtMidi::Api api : apis) {
    if (api == RtMidi::UNIX_JACK) return true;
  }
  return false;
}

void RtMidiErrors::Count(RtMidiError::Type, const std::string&, void* errors) {
  static_cast<RtMidiErrors*>(errors)->count_.fetch_add(1);
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
