#pragma once
// A connection test run made by hand, with the test's own clock: `count`
// messages at 1000 per second, evenly, with a time-out of 100 ms and no
// warm-up, all sent by Make; the test then answers (Echo) with known
// latencies and lets the time pass (Wait).

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <vector>

#include "LinkTestRun.h"

class HandMadeLinkTestRun : public ::testing::Test {
 protected:
  using Bytes = std::vector<uint8_t>;

  void Make(int count, LinkMessageKind kind = LinkMessageKind::NoteOnOff) {
    LinkTestSettings s;
    s.Kind = kind;
    s.SysexLength = 6;
    s.Count = count;
    s.RatePerSecond = 1000;
    s.TimeoutMs = 100;
    s.WarmUp = 0;
    s.RandomMoments = false;
    run = std::make_unique<LinkTestRun>(
        s,
        [this](std::span<const uint8_t> bytes) {
          if (refuse) throw std::runtime_error("Device gone");
          sent.emplace_back(bytes.begin(), bytes.end());
          sentAt.push_back(now);
        },
        [this] { return now; });
    run->Start();
    for (int i = 1; i < count; ++i) {
      now += 1000;
      run->Tick();
    }
  }
  // Answers message `index` with its own bytes, received `latencyUs` after it left.
  void Echo(size_t index, uint64_t latencyUs) { run->Answer(sent.at(index), sentAt.at(index) + latencyUs); }
  void Wait(uint64_t us) {
    now += us;
    run->Tick();
  }

  uint64_t now = 1000000;
  bool refuse = false;  // the output refuses every message from now on
  std::vector<Bytes> sent;
  std::vector<uint64_t> sentAt;
  std::unique_ptr<LinkTestRun> run;
};
