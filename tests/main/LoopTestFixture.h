#pragma once
// The main window for the loop test: a scripted device that answers during
// the test's waits, and the choice of a device by its listed name.
#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>

#include "TransmitFixture.h"
#include "backends/SystemMidiServices.h"

class LoopTestTest : public TransmitFixture {
 protected:
  // During each wait, the device answers every message sent since the last
  // wait with what `answer` makes of it (0: no answer).
  void EchoDuringWaits(std::function<uint32_t(uint32_t)> answer) {
    clock.OnWait = [this, answer] {
      const std::vector<uint32_t> sent = midi->ShortMessages();
      for (; echoed_ < sent.size(); ++echoed_) {
        if (const uint32_t reply = answer(sent[echoed_])) {
          ASSERT_TRUE(midi->DeliverShort(reply));
        }
      }
      runningDuringWaits_ = runningDuringWaits_ && LoopTestRunning;
    };
  }


  size_t echoed_ = 0;
  bool runningDuringWaits_ = true;
};

