#include "RawMidiOutput.h"

#include <sound/asound.h>
#include <sys/ioctl.h>

#include <cerrno>

namespace {

int Ioctl(int fd, unsigned long request, void* argument) {
  int result = 0;
  do {
    result = ioctl(fd, request, argument);
  } while (result < 0 && errno == EINTR);
  return result;
}

}  // namespace

size_t ReserveRawMidiOutput(int fd, size_t bytes) {
  snd_rawmidi_params params{};
  params.stream = SNDRV_RAWMIDI_STREAM_OUTPUT;
  params.buffer_size = kRawMidiOutputDefault;
  while (params.buffer_size < bytes && params.buffer_size < 1024 * 1024) params.buffer_size *= 2;
  params.avail_min = 1;
  params.no_active_sensing = 1;  // as opened: no Active Sensing byte when closed
  return Ioctl(fd, SNDRV_RAWMIDI_IOCTL_PARAMS, &params) == 0 ? params.buffer_size : 0;
}

std::optional<size_t> RawMidiOutputRoom(int fd) {
  snd_rawmidi_status status{};
  status.stream = SNDRV_RAWMIDI_STREAM_OUTPUT;
  if (Ioctl(fd, SNDRV_RAWMIDI_IOCTL_STATUS, &status) != 0) return std::nullopt;
  return status.avail;
}
