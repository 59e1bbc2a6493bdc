#pragma once
// The output side of a raw MIDI device opened by a test (by its file, not
// through alsa-lib), where the kernel's ioctls are the only way to reach it.

#include <cstddef>
#include <optional>

// The size of a raw MIDI device's buffer when opened.
constexpr size_t kRawMidiOutputDefault = 4096;

// Makes the device's buffer hold at least `bytes` (at most 1 MiB). The kernel
// first waits until what it holds has been sent (and throws away what has not
// after 10 s). Its new size; 0 if the kernel refused.
size_t ReserveRawMidiOutput(int fd, size_t bytes);
// The free room in the device's buffer: its size once everything written has
// been sent. None if the kernel refused.
std::optional<size_t> RawMidiOutputRoom(int fd);
