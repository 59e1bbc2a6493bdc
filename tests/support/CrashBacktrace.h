#pragma once
// A test program that crashes (SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT)
// prints a backtrace of every one of its threads on stderr, into the test's
// output, before it dies of the signal as it would have: a crash seen once can
// be read afterwards. gdb attaches to the crashing process ("gdb -batch -p").
//
// A test that still runs after 290 s (ORVALIS_HANG_SECONDS; 0: never), just
// under the test runner's time limit, is taken for hung: the same backtraces,
// then it aborts (in every tree, the sanitizers' too).
//
// Installed by the test programs' main functions, before anything else. Does
// nothing when gdb is not installed, when ORVALIS_NO_CRASH_BACKTRACE is set,
// or when a handler is in place already: the sanitizers' own reports stay as
// they are.

void InstallCrashBacktrace();
