#pragma once
// What orvalis-linktest does once its command line is read: lists the
// devices, or opens the output and the input by their names, runs one
// connection test (LinkTestRun) through them in the event loop, and prints the
// report (LinkTestReport.h) on standard output; errors (each line starting
// "orvalis-linktest: "), and a progress line when asked, on standard error. Returns the exit status (LinkTestExit).
//
// Needs a QCoreApplication and the installed MIDI services; runs on the
// user-interface thread, the one of the event loop. The ports, the run and
// the timers are the call's own and are gone when it returns.

#include <QString>

#include <functional>

#include "LinkTestOptions.h"

// Where the command writes: standard output and standard error in the
// program, strings in tests.
struct LinkTestConsole {
  std::function<void(const QString&)> Out;
  std::function<void(const QString&)> Err;
  // Keep one line on Err up to date while the run goes (for a terminal).
  bool Progress = false;
};

int ListLinkTestDevices(const LinkTestOptions& options, const LinkTestConsole& console);
int RunLinkTest(const LinkTestOptions& options, const LinkTestConsole& console);
