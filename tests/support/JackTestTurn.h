#pragma once
// The turn that tests touching the default JACK server take: test processes
// run side by side (ctest -j), and a JACK graph that changes under a test (a
// client or port of another test coming or going) may skip a period and lose
// what was sent in it. Whoever holds the turn has the server to itself.
//
// The turn is a lock on one file for every server, held by this process while
// any object returned by JackTestTurn lives; taking it again in the same
// process only shares it. Without the lock file the tests simply do not take
// turns. Test thread only.

#include <memory>

std::shared_ptr<const void> JackTestTurn();
