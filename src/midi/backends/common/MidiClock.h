#pragma once
// The clock that time-stamps received MIDI messages: the steady clock, unless
// a test gives the services one that it sets itself. It is read on the back
// ends' threads, so it must neither block nor allocate.

#include <chrono>
#include <functional>

using MidiClock = std::function<std::chrono::steady_clock::time_point()>;

inline MidiClock SteadyMidiClock() {
  return [] { return std::chrono::steady_clock::now(); };
}
