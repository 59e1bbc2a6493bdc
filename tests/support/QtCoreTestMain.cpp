#include <QCoreApplication>
#include <gtest/gtest.h>

#include "CrashBacktrace.h"

// Ports post their notices to objects of this thread, so every test runs with
// a core application and may pump its event loop.
int main(int argc, char** argv) {
  InstallCrashBacktrace();
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
