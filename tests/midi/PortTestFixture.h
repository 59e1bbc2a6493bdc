#pragma once
// Installs a fresh TestMidiServices for each test of the ports.

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <memory>

#include "CircBuf.h"
#include "MidiServices.h"
#include "TestMidiServices.h"

class PortTest : public ::testing::Test {
 protected:
  PortTest() {
    auto owned = std::make_unique<TestMidiServices>();
    midi = owned.get();
    installed_ = std::make_unique<ScopedMidiServices>(std::move(owned));
  }

  // Delivers the notices posted to the ports' windows.
  // Runs what the event loop would: posted events and the ports' wake-ups.
  static void Pump() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
  }

  TestMidiServices* midi = nullptr;
  const size_t blocksBefore = SharedBlockCount();

 private:
  std::unique_ptr<ScopedMidiServices> installed_;
};

// Expects `statement` to throw `exception` with exactly `text`.
#define EXPECT_THROW_TEXT(statement, exception, text)                  \
  do {                                                                 \
    try {                                                              \
      statement;                                                       \
      ADD_FAILURE() << "no exception from " #statement;               \
    } catch (const exception& e) {                                     \
      EXPECT_EQ(std::string(e.what()), std::string(text)) << #statement; \
    }                                                                  \
  } while (false)
