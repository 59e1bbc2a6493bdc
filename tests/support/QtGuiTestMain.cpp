#include <QApplication>
#include <gtest/gtest.h>

#include "CrashBacktrace.h"

// Window tests run headless: the offscreen platform unless one is chosen.
int main(int argc, char** argv) {
  InstallCrashBacktrace();
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
