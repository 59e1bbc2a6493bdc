#include "DriverTime.h"

namespace {

thread_local uint64_t tEventTimeUs = 0;

}  // namespace

uint64_t DriverEventTimeUs() noexcept { return tEventTimeUs; }

DriverTimeScope::DriverTimeScope(uint64_t steadyUs) noexcept : previous_(tEventTimeUs) {
  tEventTimeUs = steadyUs;
}

DriverTimeScope::~DriverTimeScope() { tEventTimeUs = previous_; }
